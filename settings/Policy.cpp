// Reading the administrator's policy keys.
#include "settings/Policy.h"

#include <windows.h>

#include "toolkit/Handles.h"

namespace settings {

const char kPolicyKey[] = "Software\\Policies\\Trelk-Software\\Update";

std::string PolicyKeyPath(const std::string& registryKey) {
  return registryKey.empty() ? std::string(kPolicyKey) : std::string(kPolicyKey) + "\\" + registryKey;
}

namespace {

// The longest text a policy value is read up to; a longer one is of no use to any value and is
// read as another type (and so ignored).
constexpr DWORD kMaxPolicyText = 1024;

RawPolicyValue ReadRaw(HKEY key, const std::string& name) {
  RawPolicyValue value;
  DWORD type = 0;
  char buffer[kMaxPolicyText + 1] = {};
  DWORD size = kMaxPolicyText;
  const LSTATUS status =
      RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  if (status == ERROR_FILE_NOT_FOUND) return value;
  value.type = RawPolicyValue::Other;
  if (status != ERROR_SUCCESS) return value;  // too long, or unreadable: present, and ignored
  if (type == REG_DWORD && size == sizeof(DWORD)) {
    value.type = RawPolicyValue::Dword;
    value.dword = static_cast<std::uint32_t>(static_cast<unsigned char>(buffer[0])) |
                  static_cast<std::uint32_t>(static_cast<unsigned char>(buffer[1])) << 8 |
                  static_cast<std::uint32_t>(static_cast<unsigned char>(buffer[2])) << 16 |
                  static_cast<std::uint32_t>(static_cast<unsigned char>(buffer[3])) << 24;
  } else if (type == REG_SZ) {
    value.type = RawPolicyValue::Text;
    // Up to the first zero byte: a text without its terminator ends at its size.
    value.text.assign(buffer, strnlen(buffer, size));
  }
  return value;
}

}  // namespace

PolicyKeyValues ReadPolicyKey(const std::string& path) {
  PolicyKeyValues values;
  values.where = "HKLM\\" + path;
  // HKLM\Software is split into a 64-bit and a 32-bit view on 64-bit Windows (a 32-bit program
  // reading without the flag is sent below "Wow6432Node"); the Group Policy client is a 64-bit
  // program and writes the 64-bit view. Reading that view by name is right whether or not the
  // system shares this key between the views, and a 32-bit Windows ignores the flag.
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened) != ERROR_SUCCESS)
    return values;
  toolkit::ScopedKey key(opened);
  for (const std::string& name : PolicyValueNames()) {
    RawPolicyValue raw = ReadRaw(key.get(), name);
    if (raw.type != RawPolicyValue::Absent) values.values.emplace_back(name, std::move(raw));
  }
  return values;
}

Policy ReadPolicy(const std::string& registryKey) {
  PolicyKeyValues program;
  if (!registryKey.empty()) program = ReadPolicyKey(PolicyKeyPath(registryKey));
  return ResolvePolicy(ReadPolicyKey(PolicyKeyPath("")), program);
}

std::vector<std::string> IgnoredPolicyValues() {
  const PolicyKeyValues family = ReadPolicyKey(PolicyKeyPath(""));
  std::vector<std::string> ignored = ResolvePolicy(family, PolicyKeyValues()).ignored;
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPolicyKey, 0, KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_64KEY, &opened) !=
      ERROR_SUCCESS)
    return ignored;
  toolkit::ScopedKey key(opened);
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    const LSTATUS status = RegEnumKeyExA(key.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) break;
    // The family's own values were named above.
    for (const std::string& value : ResolvePolicy(PolicyKeyValues(), ReadPolicyKey(PolicyKeyPath(name))).ignored)
      ignored.push_back(value);
  }
  return ignored;
}

}  // namespace settings
