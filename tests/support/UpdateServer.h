// Helpers of the update road's tests: the maker's web server that run_with_server.sh --files
// starts (its address, its folder, its modes and request log), files in that folder, ZIP archives
// made with libzip, and the dates of the update list in the user's short date format.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <zip.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TestServer.h"

namespace testsupport {

inline std::string UpdateServerAuthority() { return "127.0.0.1:" + std::to_string(ServerPort()); }

// The Unix folder an environment variable names, as a Windows path with its backslash (Wine's
// drive Z: is the root).
inline std::string FolderOfVariable(const char* variable) {
  const char* v = std::getenv(variable);
  std::string path = std::string("Z:") + (v ? v : "/nonexistent");
  for (char& c : path)
    if (c == '/') c = '\\';
  return path + "\\";
}
// The server's folder, and the mirror's (run_with_server.sh --files).
inline std::string UpdateServerRoot() { return FolderOfVariable("TEST_SERVER_ROOT"); }
inline std::string MirrorRoot() { return FolderOfVariable("TEST_MIRROR_ROOT"); }

// A mode for one path ("rate=1000000", "reset=5000", "status=404", "nolength=1").
inline void ServerMode(const std::string& path, const std::string& mode) {
  ServerGet("/_mode?path=" + path + "&" + mode);
}
inline void ServerClear() { ServerGet("/_clear"); }
// The request lines the server received so far, one per line.
inline std::string ServerLog() { return ServerGet("/_log"); }
// The request lines its forwarding proxy passed on so far, one per line.
inline std::string ProxyLog() { return ServerGet("/_proxylog"); }

// The user's proxy settings as the Internet options write them below HKEY_CURRENT_USER:
// "ProxyEnable" (`enable`; -1: absent), "ProxyServer" and "ProxyOverride" (empty: absent).
// SetUserProxy(-1, "", "") removes them again.
inline void SetUserProxy(int enable, const std::string& server, const std::string& override) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                      nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;
  RegDeleteValueA(key, "ProxyEnable");
  RegDeleteValueA(key, "ProxyServer");
  RegDeleteValueA(key, "ProxyOverride");
  const DWORD value = static_cast<DWORD>(enable);
  if (enable >= 0) RegSetValueExA(key, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  if (!server.empty())
    RegSetValueExA(key, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                   static_cast<DWORD>(server.size() + 1));
  if (!override.empty())
    RegSetValueExA(key, "ProxyOverride", 0, REG_SZ, reinterpret_cast<const BYTE*>(override.c_str()),
                   static_cast<DWORD>(override.size() + 1));
  RegCloseKey(key);
}

inline std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
inline bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Files and folders directly in `folder`, sorted, as "[name]" or "[name/]".
inline std::string Listing(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((folder + "*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string n = fd.cFileName;
      if (n == "." || n == "..") continue;
      names.push_back(n + ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "/" : ""));
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  std::sort(names.begin(), names.end());
  std::string s;
  for (const auto& n : names) s += "[" + n + "]";
  return s;
}

inline void RemoveTree(const std::string& folder) {
  if (folder.empty()) return;  // "" + "*" would be the current folder
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((folder + "*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string n = fd.cFileName;
      if (n == "." || n == "..") continue;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(folder + n + "\\");
      else DeleteFileA((folder + n).c_str());
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryA(folder.c_str());
}

struct ZipEntry {
  std::string name;  // UTF-8 (Windows-1252 umlauts are not used in names here)
  std::string data;
  bool store = false;  // uncompressed
};

// Writes a ZIP archive with these entries to `path`; false when libzip refuses.
inline bool MakeZip(const std::string& path, const std::vector<ZipEntry>& entries) {
  DeleteFileA(path.c_str());
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* file = zip_source_win32a_create(path.c_str(), 0, -1, &error);  // an ANSI path
  zip_t* z = file ? zip_open_from_source(file, ZIP_CREATE | ZIP_TRUNCATE, &error) : nullptr;
  zip_error_fini(&error);
  if (!z) {
    if (file) zip_source_free(file);
    return false;
  }
  for (const ZipEntry& e : entries) {
    zip_source_t* src = zip_source_buffer(z, e.data.data(), e.data.size(), 0);
    zip_int64_t index = zip_file_add(z, e.name.c_str(), src, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
      zip_source_free(src);
      zip_discard(z);
      return false;
    }
    if (e.store) zip_set_file_compression(z, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
  }
  return zip_close(z) == 0;
}

// Bytes that do not compress.
inline std::string RandomBytes(std::size_t size, unsigned seed) {
  std::string s(size, '\0');
  unsigned x = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s[i] = static_cast<char>(x >> 24);
  }
  return s;
}

// A whole day as the user writes it in the short date format (GetDateFormat, DATE_SHORTDATE).
inline std::string ShortDateText(int day) {
  // Day 2 is 1 January 1900; SystemTime from the day number through a FILETIME.
  ULONGLONG ticks = (static_cast<ULONGLONG>(day) + 109205ULL) * 864000000000ULL;  // days from 1601 to 1899-12-30
  FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME st;
  FileTimeToSystemTime(&ft, &st);
  char text[64];
  int n = GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, text, sizeof text);
  return n > 0 ? std::string(text, static_cast<std::size_t>(n - 1)) : std::string();
}

// A date as the maker's publishing tool writes it, dd.MM.yyyy, whatever the user's format.
inline std::string MakerDate(int day) {
  ULONGLONG ticks = (static_cast<ULONGLONG>(day) + 109205ULL) * 864000000000ULL;
  FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME st;
  FileTimeToSystemTime(&ft, &st);
  char text[16];
  wsprintfA(text, "%02u.%02u.%04u", st.wDay, st.wMonth, st.wYear);
  return text;
}

// Today's whole day number.
inline int TodayNumber() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  FILETIME ft;
  SystemTimeToFileTime(&st, &ft);
  ULONGLONG ticks = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return static_cast<int>(ticks / 864000000000ULL) - 109205;
}

}  // namespace testsupport
