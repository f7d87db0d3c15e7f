// The file system and the clock as the publishing tool needs them: the ANSI API on Windows,
// POSIX natively. Every function throws EPublishError with the path and the system's reason.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace publish {

// The folder separator of the platform.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// `folder` + separator + `name` (no separator doubled).
std::string JoinPath(const std::string& folder, const std::string& name);

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);

// Creates the folder (its parent must exist); an existing folder is fine.
void MakeDirectory(const std::string& path);

// The whole file; empty result when there is no such file (or it is a folder).
std::optional<std::string> TryReadFile(const std::string& path);

// Replaces the file's content as one step: written beside it under a temporary name, then
// renamed over it, so that a reader sees the old or the new file, never a part.
void WriteFileReplacing(const std::string& path, std::string_view bytes);

// Creates a file that must not exist yet (no file is replaced, also not in a race). With
// `ownerOnly` only the current user may read it: mode 0600 natively, an access list with the
// current user alone on Windows.
void CreateNewFile(const std::string& path, std::string_view bytes, bool ownerOnly);

// Removes a file; a missing one is fine. Nothing here throws.
void RemoveFileNoThrow(const std::string& path);

struct FolderEntry {
  std::string name;  // as the file system names it
  bool directory = false;
  std::time_t modified = 0;
};

// The entries of a folder, "." and ".." left out, sorted by name.
std::vector<FolderEntry> ListFolder(const std::string& path);

struct LocalDate {
  int year = 0, month = 0, day = 0;
};
LocalDate Today();

// Text between the command line, the console and the update list, which is in Windows-1252:
// on Windows all three are already; natively the command line and the console are UTF-8.
std::string ListTextFromArgument(const std::string& text, const std::string& what);
std::string ConsoleTextFromList(const std::string& text);

}  // namespace publish
