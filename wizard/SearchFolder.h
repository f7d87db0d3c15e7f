// The folder of one update search: a new, empty folder below the user's temporary directory
// that holds everything the search fetches and unpacks, and the batch file that installs it.
// Nothing that lies in the shared temporary directory itself is ever used by a search.
#pragma once

#include <cstddef>
#include <string>

#include <windows.h>

#include "toolkit/Handles.h"

namespace wizard {

// The name every search folder of the program with the registry key `registryKey` begins with,
// below `tempDir` (with its trailing backslash): "Trelk-" + the key (characters other than
// letters, digits, "-" and "_" as "_") + "-". A search folder adds eight hex digits.
std::string SearchFolderPrefix(const std::string& tempDir, const std::string& registryKey);

// Makes a new, empty search folder for the program and returns its path with a trailing
// backslash. The folder is new: a name that exists already (whoever made it) is never taken.
// Throws base::Exception when no folder can be made.
std::string MakeSearchFolder(const std::string& tempDir, const std::string& registryKey);

// Removes the search folders an earlier search of the program left below `tempDir`, except
// those whose installation is pending (their "Update.bat" is held open by the program that
// prepared it and has not ended yet), each as RemoveFolderTree does. Does not throw.
void RemoveLeftSearchFolders(const std::string& tempDir, const std::string& registryKey);

// Removes the folder and everything in it without ever following a link: each folder and file
// is opened and deleted through its own handle, and only when the file system names it where it
// was found. A link the system shows as one (a junction, a symbolic link) is removed as the link
// it is; one it shows as the folder or file it leads to (Wine's symbolic links) stays where it
// is, untouched, with the folders that hold it. False when something stays. Does not throw.
bool RemoveFolderTree(const std::string& folder);

// The path the file system gives for the open file or folder behind `handle` (borrowed), as
// "\\?\C:\..." or "\\?\UNC\..."; empty when the system does not tell. Throws nothing.
std::string FinalPathOf(HANDLE handle);

// Whether two paths name the same place as the file system compares names (ordinal, without
// regard to case); a trailing backslash does not count.
bool SamePath(const std::string& a, const std::string& b);

}  // namespace wizard
