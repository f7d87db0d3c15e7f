// The file system and the clock of the publishing tool: ANSI Win32 calls on Windows, POSIX
// calls natively.
#include "publish/Files.h"

#include <algorithm>
#include <cstring>

#include "publish/publish_rules.h"

#ifdef _WIN32
#include <windows.h>
#include <sddl.h>

#include "toolkit/Handles.h"
#else
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace publish {

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  char last = folder.back();
  if (last == kPathSeparator || last == '/') return folder + name;
  return folder + kPathSeparator + name;
}

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, const std::string& reason) {
  throw EPublishError("Cannot " + what + " \"" + path + "\": " + reason + ".");
}

std::string TemporaryNameBeside(const std::string& path) { return path + ".trelkpublish-new"; }

}  // namespace

#ifdef _WIN32

namespace {

std::string SystemReason(DWORD code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                           reinterpret_cast<char*>(&text), 0, nullptr);
  std::string reason = n && text ? std::string(text, n) : std::string();
  if (text) LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ' ||
                             reason.back() == '.'))
    reason.pop_back();
  return reason.empty() ? "Windows error " + std::to_string(code) : reason + " (Windows error " + std::to_string(code) + ")";
}

// Closes the file now and says whether the system took its last writes.
bool CloseChecked(toolkit::ScopedFile& file) { return CloseHandle(file.release()) != FALSE; }

void WriteAll(HANDLE h, std::string_view bytes, const std::string& path) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
    DWORD written = 0;
    if (!WriteFile(h, bytes.data() + done, chunk, &written, nullptr) || written == 0)
      Fail("write", path, SystemReason(GetLastError()));
    done += written;
  }
}

// A security descriptor that lets the current user alone at the file; LocalFree it.
PSECURITY_DESCRIPTOR OwnerOnlyDescriptor() {
  HANDLE opened = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) return nullptr;
  const toolkit::ScopedHandle token(opened);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size ? size : 1);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
    char* sid = nullptr;
    if (ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
      std::string sddl = std::string("D:P(A;;FA;;;") + sid + ")";
      LocalFree(sid);
      if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        descriptor = nullptr;
    }
  }
  return descriptor;
}

}  // namespace

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeDirectory(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return;
  DWORD code = GetLastError();
  if (code == ERROR_ALREADY_EXISTS && IsDirectory(path)) return;
  Fail("create the folder", path, SystemReason(code));
}

std::optional<std::string> TryReadFile(const std::string& path) {
  if (IsDirectory(path)) return std::nullopt;
  const toolkit::ScopedFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return std::nullopt;
    Fail("open", path, SystemReason(code));
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) Fail("read", path, SystemReason(GetLastError()));
    if (got == 0) break;
    bytes.append(buffer, got);
  }
  return bytes;
}

void WriteFileReplacing(const std::string& path, std::string_view bytes) {
  const std::string temp = TemporaryNameBeside(path);
  {
    toolkit::ScopedFile file(
        CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) Fail("create", temp, SystemReason(GetLastError()));
    try {
      WriteAll(file.get(), bytes, temp);
      if (!FlushFileBuffers(file.get())) Fail("write", temp, SystemReason(GetLastError()));
    } catch (...) {
      file.reset();
      DeleteFileA(temp.c_str());
      throw;
    }
    if (!CloseChecked(file)) Fail("write", temp, SystemReason(GetLastError()));
  }
  if (!MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DWORD code = GetLastError();
    DeleteFileA(temp.c_str());
    Fail("replace", path, SystemReason(code));
  }
}

void CreateNewFile(const std::string& path, std::string_view bytes, bool ownerOnly) {
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
  PSECURITY_DESCRIPTOR descriptor = ownerOnly ? OwnerOnlyDescriptor() : nullptr;
  attributes.lpSecurityDescriptor = descriptor;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, descriptor ? &attributes : nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD code = GetLastError();
  if (descriptor) LocalFree(descriptor);
  toolkit::ScopedFile file(h);
  if (!file) {
    if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) Fail("create", path, "it exists already");
    Fail("create", path, SystemReason(code));
  }
  try {
    WriteAll(file.get(), bytes, path);
    if (!CloseChecked(file)) Fail("write", path, SystemReason(GetLastError()));
  } catch (...) {
    file.reset();
    DeleteFileA(path.c_str());
    throw;
  }
}

void RemoveFileNoThrow(const std::string& path) { DeleteFileA(path.c_str()); }

std::vector<FolderEntry> ListFolder(const std::string& path) {
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAA data;
  const toolkit::ScopedFind find(FindFirstFileA(JoinPath(path, "*").c_str(), &data));
  if (!find) {
    DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return entries;
    Fail("list the folder", path, SystemReason(code));
  }
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    FolderEntry e;
    e.name = name;
    e.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    ULARGE_INTEGER t;
    t.LowPart = data.ftLastWriteTime.dwLowDateTime;
    t.HighPart = data.ftLastWriteTime.dwHighDateTime;
    // FILETIME counts 100 ns from 1601; time_t seconds from 1970.
    const unsigned long long kEpochDifference = 116444736000000000ULL;
    e.modified = t.QuadPart > kEpochDifference ? static_cast<std::time_t>((t.QuadPart - kEpochDifference) / 10000000ULL) : 0;
    entries.push_back(std::move(e));
  } while (FindNextFileA(find.get(), &data));
  DWORD code = GetLastError();
  if (code != ERROR_NO_MORE_FILES) Fail("list the folder", path, SystemReason(code));
  std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return entries;
}

LocalDate Today() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay};
}

std::string ListTextFromArgument(const std::string& text, const std::string&) { return text; }
std::string ConsoleTextFromList(const std::string& text) { return text; }

#else  // POSIX

namespace {

std::string Reason(int code) { return std::strerror(code); }

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail("write", path, Reason(errno));
    done += static_cast<size_t>(n);
  }
}

}  // namespace

bool PathExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void MakeDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return;
  int code = errno;
  if (code == EEXIST && IsDirectory(path)) return;
  Fail("create the folder", path, Reason(code));
}

std::optional<std::string> TryReadFile(const std::string& path) {
  if (IsDirectory(path)) return std::nullopt;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    Fail("open", path, Reason(errno));
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int code = errno;
      ::close(fd);
      Fail("read", path, Reason(code));
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return bytes;
}

void WriteFileReplacing(const std::string& path, std::string_view bytes) {
  const std::string temp = TemporaryNameBeside(path);
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) Fail("create", temp, Reason(errno));
  try {
    WriteAll(fd, bytes, temp);
    if (::fsync(fd) != 0) Fail("write", temp, Reason(errno));
  } catch (...) {
    ::close(fd);
    ::unlink(temp.c_str());
    throw;
  }
  if (::close(fd) != 0) {
    int code = errno;
    ::unlink(temp.c_str());
    Fail("write", temp, Reason(code));
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    int code = errno;
    ::unlink(temp.c_str());
    Fail("replace", path, Reason(code));
  }
}

void CreateNewFile(const std::string& path, std::string_view bytes, bool ownerOnly) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ownerOnly ? 0600 : 0644);
  if (fd < 0) {
    if (errno == EEXIST) Fail("create", path, "it exists already");
    Fail("create", path, Reason(errno));
  }
  try {
    if (ownerOnly && ::fchmod(fd, 0600) != 0) Fail("protect", path, Reason(errno));
    WriteAll(fd, bytes, path);
    if (::fsync(fd) != 0) Fail("write", path, Reason(errno));
  } catch (...) {
    ::close(fd);
    ::unlink(path.c_str());
    throw;
  }
  if (::close(fd) != 0) {
    int code = errno;
    ::unlink(path.c_str());
    Fail("write", path, Reason(code));
  }
}

void RemoveFileNoThrow(const std::string& path) { ::unlink(path.c_str()); }

std::vector<FolderEntry> ListFolder(const std::string& path) {
  DIR* dir = ::opendir(path.c_str());
  if (!dir) Fail("list the folder", path, Reason(errno));
  std::vector<FolderEntry> entries;
  errno = 0;
  while (dirent* d = ::readdir(dir)) {
    std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry e;
    e.name = name;
    struct stat st;
    if (::stat(JoinPath(path, name).c_str(), &st) == 0) {
      e.directory = S_ISDIR(st.st_mode);
      e.modified = st.st_mtime;
    }
    entries.push_back(std::move(e));
  }
  ::closedir(dir);
  std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return entries;
}

LocalDate Today() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::string ListTextFromArgument(const std::string& text, const std::string& what) {
  try {
    return Utf8ToCp1252(text);
  } catch (const EPublishError& e) {
    throw EPublishError(what + ": " + e.Message() + ".");
  }
}

std::string ConsoleTextFromList(const std::string& text) { return Cp1252ToUtf8(text); }

#endif

}  // namespace publish
