// Helpers of the tests that work on program keys below Software\Trelk: seeding values, reading
// what a key holds as text, and locking a key with an empty access list.
#pragma once

#include <windows.h>

#include <aclapi.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace testsupport {

inline std::string ProgramKey(const std::string& name) { return "Software\\Trelk\\" + name; }

inline bool SetValue(HKEY root, const std::string& name, const char* value, DWORD type, const void* data, DWORD size) {
  HKEY key;
  if (RegCreateKeyExA(root, ProgramKey(name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  LONG rc = value ? RegSetValueExA(key, value, 0, type, static_cast<const BYTE*>(data), size) : ERROR_SUCCESS;
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}
inline bool SetString(HKEY root, const std::string& name, const char* value, const std::string& text) {
  return SetValue(root, name, value, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}
inline bool SetDword(HKEY root, const std::string& name, const char* value, int32_t number) {
  return SetValue(root, name, value, REG_DWORD, &number, 4);
}
inline bool SetDate(HKEY root, const std::string& name, const char* value, double date) {
  return SetValue(root, name, value, REG_BINARY, &date, 8);
}

inline bool KeyExists(HKEY root, const std::string& name) {
  HKEY key;
  if (RegOpenKeyExA(root, ProgramKey(name).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// What a program key holds, as "name=type:value" items in name order: "sz:" text, "dword:"
// number, "date:" the day number of an 8-byte binary (with its fraction when it has one),
// "typeN:" for anything else. "<no key>" when the key does not exist.
inline std::string Values(HKEY root, const std::string& name) {
  HKEY key;
  if (RegOpenKeyExA(root, ProgramKey(name).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
  std::vector<std::string> lines;
  for (DWORD i = 0;; ++i) {
    char valueName[256];
    DWORD nameLength = sizeof valueName, type = 0;
    BYTE data[1024];
    DWORD size = sizeof data;
    if (RegEnumValueA(key, i, valueName, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    std::string line = std::string(valueName, nameLength) + "=";
    if (type == REG_DWORD && size == 4) {
      int32_t v;
      memcpy(&v, data, 4);
      line += "dword:" + std::to_string(v);
    } else if (type == REG_SZ) {
      line += "sz:" + std::string(reinterpret_cast<char*>(data), size ? strnlen(reinterpret_cast<char*>(data), size) : 0);
    } else if (type == REG_BINARY && size == 8) {
      double d;
      memcpy(&d, data, 8);
      line += "date:" + (d == static_cast<double>(static_cast<long long>(d)) ? std::to_string(static_cast<long long>(d))
                                                                            : std::to_string(d));
    } else {
      line += "type" + std::to_string(type) + ":" + std::to_string(size);
    }
    lines.push_back(line);
  }
  RegCloseKey(key);
  std::sort(lines.begin(), lines.end());
  std::string all;
  for (const auto& l : lines) all += (all.empty() ? "" : " ") + l;
  return all;
}

// Takes every right on the key away from everybody (an empty access list); Unlock gives them back.
inline bool LockKey(HKEY root, const std::string& name) {
  HKEY key;
  if (RegOpenKeyExA(root, ProgramKey(name).c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS) return false;
  ACL acl;
  InitializeAcl(&acl, sizeof acl, ACL_REVISION);
  DWORD rc = SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl, nullptr);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}
inline void UnlockKey(HKEY root, const std::string& name) {
  HKEY key;
  if (RegOpenKeyExA(root, ProgramKey(name).c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS) return;
  SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
}

// A reminder date a month ahead in the program's key below HKEY_LOCAL_MACHINE: the program's
// start then opens no update wizard (it still records its start command there).
inline bool SeedNothingDue(const std::string& name) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  FILETIME local;  // the local day counted from 1 January 1601, which is day -109205 of the dates
  SystemTimeToFileTime(&now, &local);
  const ULONGLONG days = ((static_cast<ULONGLONG>(local.dwHighDateTime) << 32) | local.dwLowDateTime) / 864000000000ULL;
  return SetDate(HKEY_LOCAL_MACHINE, name, "Update", static_cast<double>(days) - 109205.0 + 30.0);
}

inline void DeleteKey(HKEY root, const std::string& name) {
  UnlockKey(root, name);
  RegDeleteTreeA(root, ProgramKey(name).c_str());
}

// The administrator's policy keys, written as an administrator writes them: with the system's
// reg.exe (the 64-bit one, in the 64-bit view Group Policy writes). `program` empty: the family's
// key; `type` "REG_DWORD" or "REG_SZ". True when reg.exe reported success.
inline bool PolicyAdd(const std::string& program, const std::string& value, const std::string& type,
                      const std::string& data) {
  char system[MAX_PATH];
  GetSystemDirectoryA(system, MAX_PATH);
  const std::string reg = std::string(system) + "\\reg.exe";
  std::string key = "HKLM\\Software\\Policies\\Trelk-Software\\Update";
  if (!program.empty()) key += "\\" + program;
  std::string cmd = "\"" + reg + "\" add \"" + key + "\" /v " + value + " /t " + type + " /d \"" + data + "\" /f";
  STARTUPINFOA si{sizeof si};
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(reg.c_str(), &cmd[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
    return false;
  WaitForSingleObject(pi.hProcess, 30000);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return code == 0;
}
// Every policy key of the family gone.
inline void DeletePolicies() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Policies\\Trelk-Software"); }

}  // namespace testsupport
