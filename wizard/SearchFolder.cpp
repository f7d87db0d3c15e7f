// Search folders below the user's temporary directory: made new, removed again, never followed
// through a link.
#include "wizard/SearchFolder.h"

#include <windows.h>

#include <cctype>

#include "base/Exception.h"

namespace wizard {

namespace {

constexpr int kHexDigits = 8;

bool IsHexName(const std::string& text) {
  if (text.size() != kHexDigits) return false;
  for (char c : text)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// A folder whose installation waits for its program's end: the program that prepared it holds
// its "Update.bat" open and lets no other process open it for deleting.
bool InstallationPending(const std::string& folder) {
  const std::string batch = folder + "Update.bat";
  const toolkit::ScopedFile file(
      CreateFileA(batch.c_str(), DELETE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return !file && GetLastError() == ERROR_SHARING_VIOLATION;
}

}  // namespace

std::string SearchFolderPrefix(const std::string& tempDir, const std::string& registryKey) {
  std::string name;
  for (char c : registryKey) {
    const bool plain = std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80;
    name += plain || c == '-' || c == '_' ? c : '_';
  }
  return tempDir + "Trelk-" + name + "-";
}

std::string MakeSearchFolder(const std::string& tempDir, const std::string& registryKey) {
  const std::string prefix = SearchFolderPrefix(tempDir, registryKey);
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  unsigned value = static_cast<unsigned>(counter.QuadPart) ^ (GetCurrentProcessId() << 16) ^ GetTickCount();
  for (int attempt = 0; attempt < 1000; ++attempt) {
    char digits[16];
    wsprintfA(digits, "%08x", value);
    const std::string folder = prefix + digits;
    if (CreateDirectoryA(folder.c_str(), nullptr)) return folder + "\\";
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    value = value * 1103515245u + 12345u;
  }
  throw base::Exception("Im Ordner \"" + tempDir + "\" kann kein Ordner für die Updates angelegt werden.");
}

bool RemoveFolderTree(const std::string& folder) {
  std::string path = folder;
  if (!path.empty() && path.back() == '\\') path.pop_back();
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  // A link is removed as a link: what it points to is nobody's business here.
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return RemoveDirectoryA(path.c_str()) || DeleteFileA(path.c_str());
  WIN32_FIND_DATAA found;
  const toolkit::ScopedFind find(FindFirstFileA((path + "\\*").c_str(), &found));
  if (find) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string item = path + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolderTree(item);
      } else {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(item.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(item.c_str());
      }
    } while (FindNextFileA(find.get(), &found));
  }
  return RemoveDirectoryA(path.c_str()) != 0;
}

void RemoveLeftSearchFolders(const std::string& tempDir, const std::string& registryKey) {
  const std::string prefix = SearchFolderPrefix(tempDir, registryKey);
  const std::string namePrefix = prefix.substr(tempDir.size());
  WIN32_FIND_DATAA found;
  const toolkit::ScopedFind find(FindFirstFileA((prefix + "*").c_str(), &found));
  if (!find) return;
  do {
    const std::string name = found.cFileName;
    // Only names this program's searches make: the prefix and eight hex digits, nothing longer
    // (another program's key may begin with this one's).
    if (name.size() != namePrefix.size() + kHexDigits || !IsHexName(name.substr(namePrefix.size()))) continue;
    if (_strnicmp(name.c_str(), namePrefix.c_str(), namePrefix.size()) != 0) continue;
    const std::string folder = tempDir + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      RemoveDirectoryA(folder.c_str());
      continue;
    }
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if (InstallationPending(folder + "\\")) continue;
    RemoveFolderTree(folder);
  } while (FindNextFileA(find.get(), &found));
}

}  // namespace wizard
