// The typed registry values of a program key and their three error messages.
#include "settings/Registry.h"

#include <cstring>

#include "base/StrUtils.h"

namespace settings {

namespace {
[[noreturn]] void ThrowGet(const std::string& name) {
  throw ERegistryException(base::FormatS("Fehler beim Holen der Daten für '%s'", name));
}
[[noreturn]] void ThrowSet(const std::string& name) {
  throw ERegistryException(base::FormatS("Fehler beim Setzen der Daten für '%s'", name));
}
[[noreturn]] void ThrowType(const std::string& name) {
  throw ERegistryException(base::FormatS("Ungültiger Datentyp für '%s'", name));
}
}  // namespace

bool TRegistry::OpenKey(const std::string& path, bool canCreate) {
  key_.reset();
  HKEY key = nullptr;
  LONG rc;
  if (canCreate) {
    rc = RegCreateKeyExA(root_, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  } else {
    rc = RegOpenKeyExA(root_, path.c_str(), 0, KEY_ALL_ACCESS, &key);
  }
  if (rc != ERROR_SUCCESS) return false;
  key_.reset(key);
  return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& path) {
  key_.reset();
  HKEY key = nullptr;
  if (RegOpenKeyExA(root_, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  key_.reset(key);
  return true;
}

std::vector<std::string> TRegistry::GetKeyNames() const {
  std::vector<std::string> names;
  if (!key_) return names;
  DWORD count = 0, longest = 0;
  if (RegQueryInfoKeyA(key_.get(), nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS)
    return names;
  std::string buffer(longest + 1, '\0');
  for (DWORD i = 0; i < count; ++i) {
    DWORD length = static_cast<DWORD>(buffer.size());
    if (RegEnumKeyExA(key_.get(), i, &buffer[0], &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
      names.emplace_back(buffer.data(), length);
  }
  return names;
}

bool TRegistry::ValueExists(const std::string& name) const {
  if (!key_) return false;
  return RegQueryValueExA(key_.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

void TRegistry::ReadRaw(const std::string& name, void* buffer, DWORD capacity, DWORD& type, DWORD& size) const {
  if (!key_) ThrowGet(name);
  size = capacity;
  type = REG_NONE;
  if (RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, static_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
    ThrowGet(name);
}

std::string TRegistry::ReadString(const std::string& name) const {
  if (!key_) ThrowGet(name);
  for (;;) {
    DWORD type = REG_NONE, size = 0;
    LONG rc = RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, nullptr, &size);
    if (rc == ERROR_FILE_NOT_FOUND) return std::string();
    if (rc != ERROR_SUCCESS) ThrowGet(name);
    if (type != REG_SZ && type != REG_EXPAND_SZ) ThrowType(name);
    std::string data(size + 1, '\0');
    DWORD got = size;
    rc = RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &got);
    if (rc == ERROR_MORE_DATA) continue;  // the value grew in between: read again
    if (rc != ERROR_SUCCESS) ThrowGet(name);
    if (type != REG_SZ && type != REG_EXPAND_SZ) ThrowType(name);
    data.resize(got);
    size_t zero = data.find('\0');
    if (zero != std::string::npos) data.resize(zero);
    return data;
  }
}

int32_t TRegistry::ReadInteger(const std::string& name) const {
  int32_t value = 0;
  DWORD type, size;
  ReadRaw(name, &value, sizeof value, type, size);
  if (type != REG_DWORD) ThrowType(name);
  return value;
}

double TRegistry::ReadDate(const std::string& name) const {
  unsigned char bytes[8] = {};
  DWORD type, size;
  ReadRaw(name, bytes, sizeof bytes, type, size);
  if (type != REG_BINARY || size != sizeof bytes) ThrowType(name);
  double value;
  std::memcpy(&value, bytes, sizeof value);  // both the registry and the processor are little-endian
  return value;
}

void TRegistry::WriteRaw(const std::string& name, DWORD type, const void* data, DWORD size) {
  if (!key_) ThrowSet(name);
  if (RegSetValueExA(key_.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size) != ERROR_SUCCESS)
    ThrowSet(name);
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  WriteRaw(name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

void TRegistry::WriteInteger(const std::string& name, int32_t value) { WriteRaw(name, REG_DWORD, &value, sizeof value); }

void TRegistry::WriteDate(const std::string& name, double value) { WriteRaw(name, REG_BINARY, &value, sizeof value); }

bool TRegistry::DeleteValue(const std::string& name) {
  if (!key_) return false;
  return RegDeleteValueA(key_.get(), name.c_str()) == ERROR_SUCCESS;
}

}  // namespace settings
