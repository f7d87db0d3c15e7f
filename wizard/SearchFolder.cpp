// Search folders below the user's temporary directory: made new, removed again, never followed
// through a link.
#include "wizard/SearchFolder.h"

#include <windows.h>

#include <cctype>
#include <vector>

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

std::string FinalPathOf(HANDLE handle) {
  using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
  static const auto finalPath = reinterpret_cast<FinalPathFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA")));
  if (!finalPath) return std::string();
  std::string buffer(MAX_PATH * 4, '\0');
  const DWORD n = finalPath(handle, &buffer[0], static_cast<DWORD>(buffer.size()), 0);
  if (n == 0 || n >= buffer.size()) return std::string();
  buffer.resize(n);
  return buffer;
}

namespace {

std::wstring Wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
  return wide;
}

// The file system's comparison of names: each character in capitals, nothing else folded.
std::wstring Folded(std::wstring text) {
  while (!text.empty() && text.back() == L'\\') text.pop_back();
  if (!text.empty()) CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

std::wstring FinalPathOfW(HANDLE handle) {
  using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
  static const auto finalPath = reinterpret_cast<FinalPathFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW")));
  if (!finalPath) return std::wstring();
  std::wstring buffer(32768, L'\0');
  const DWORD n = finalPath(handle, &buffer[0], static_cast<DWORD>(buffer.size()), 0);
  if (n == 0 || n >= buffer.size()) return std::wstring();
  buffer.resize(n);
  return buffer;
}

// The removal of one folder or file through a handle of its own; a folder's entries are read
// through that handle too, so that they are the entries of the folder that was checked.
class TreeRemover {
 public:
  TreeRemover() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    setInformation_ =
        reinterpret_cast<SetInfoFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetFileInformationByHandle")));
    getInformation_ =
        reinterpret_cast<GetInfoFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetFileInformationByHandleEx")));
  }
  bool Available() const { return setInformation_ && getInformation_; }

  // Removes `path` (no trailing backslash), which the file system must name as `expected` (its
  // parent's final path and its name); false when something stays.
  bool Remove(const std::wstring& path, const std::wstring& expected) {
    toolkit::ScopedFile item(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES |
                                                           FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!item) return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(item.get(), &info)) return false;
    // A link the system shows as one is removed as the link; its target is not looked at.
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return Delete(item.get(), info.dwFileAttributes);
    // One it does not show (the handle then is the target's): the target's path is another.
    const std::wstring final = FinalPathOfW(item.get());
    if (final.empty() || Folded(final) != Folded(expected)) return false;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !RemoveEntries(item.get(), path, final)) return false;
    return Delete(item.get(), info.dwFileAttributes);
  }

 private:
  using SetInfoFn = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
  using GetInfoFn = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);

  // Removes every entry of the folder open in `folder` (borrowed). The folder is held without
  // delete sharing meanwhile: it cannot be renamed or replaced while its entries go.
  bool RemoveEntries(HANDLE folder, const std::wstring& path, const std::wstring& final) {
    std::vector<std::wstring> names;
    std::vector<char> block(64 * 1024);  // entries are aligned as the allocation is
    char* const buffer = block.data();
    for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;;
         kind = FileIdBothDirectoryInfo) {
      if (!getInformation_(folder, kind, buffer, static_cast<DWORD>(block.size()))) {
        if (GetLastError() == ERROR_NO_MORE_FILES) break;
        return false;
      }
      for (const char* at = buffer;;) {
        const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
        std::wstring name(entry->FileName, entry->FileNameLength / sizeof(WCHAR));
        if (name != L"." && name != L"..") names.push_back(std::move(name));
        if (!entry->NextEntryOffset) break;
        at += entry->NextEntryOffset;
      }
    }
    bool all = true;
    for (const std::wstring& name : names) all = Remove(path + L"\\" + name, final + L"\\" + name) && all;
    return all;
  }

  // Deletes what `file` (borrowed) is open on: a read-only file loses that attribute first.
  bool Delete(HANDLE file, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_READONLY) {
      FILE_BASIC_INFO basic{};
      basic.FileAttributes = (attributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL;
      setInformation_(file, FileBasicInfo, &basic, sizeof basic);
    }
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return setInformation_(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
  }

  SetInfoFn setInformation_ = nullptr;
  GetInfoFn getInformation_ = nullptr;
};

// Systems without deletion through a handle know no links but junctions, which they show.
bool RemoveByName(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return RemoveDirectoryA(path.c_str()) || DeleteFileA(path.c_str());
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(path.c_str()) != 0;
  }
  WIN32_FIND_DATAA found;
  {
    const toolkit::ScopedFind find(FindFirstFileA((path + "\\*").c_str(), &found));
    if (find) {
      do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") RemoveByName(path + "\\" + name);
      } while (FindNextFileA(find.get(), &found));
    }
  }
  return RemoveDirectoryA(path.c_str()) != 0;
}

// The final path of the folder `path` (with or without its backslash); empty when unknown.
std::wstring FinalFolderPath(const std::string& path) {
  const toolkit::ScopedFile folder(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  std::wstring final = folder ? FinalPathOfW(folder.get()) : std::wstring();
  while (!final.empty() && final.back() == L'\\') final.pop_back();
  return final;
}

}  // namespace

bool SamePath(const std::string& a, const std::string& b) { return Folded(Wide(a)) == Folded(Wide(b)); }

bool RemoveFolderTree(const std::string& folder) {
  std::string path = folder;
  while (!path.empty() && path.back() == '\\') path.pop_back();
  const std::size_t cut = path.find_last_of('\\');
  if (cut == std::string::npos) return false;
  TreeRemover remover;
  if (!remover.Available()) return RemoveByName(path);
  // The folder must lie where its parent is, whatever links lead to the parent itself.
  const std::wstring parent = FinalFolderPath(path.substr(0, cut + 1));
  if (parent.empty()) return false;
  return remover.Remove(Wide(path), parent + L"\\" + Wide(path.substr(cut + 1)));
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
    if (!(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) continue;
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && InstallationPending(folder + "\\")) continue;
    RemoveFolderTree(folder);
  } while (FindNextFileA(find.get(), &found));
}

}  // namespace wizard
