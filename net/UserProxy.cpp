// Reading the user's proxy settings from the registry.
#include "net/UserProxy.h"

#include "toolkit/Handles.h"

namespace net {

namespace {

constexpr DWORD kLongestValue = 32 * 1024;

// A REG_SZ value without its closing zero; empty when it is absent, of another type or too long.
std::string ReadText(HKEY key, const char* name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ ||
      size > kLongestValue)
    return {};
  std::string value(size, '\0');
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return {};
  value.resize(size);
  // The value may or may not carry its closing zero, and stops at the first one.
  const std::size_t zero = value.find('\0');
  if (zero != std::string::npos) value.resize(zero);
  return value;
}

}  // namespace

TUserProxySettings ReadUserProxySettings(HKEY root) {
  TUserProxySettings settings;
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, kInternetSettingsKey, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return settings;
  const toolkit::ScopedKey key(opened);
  DWORD type = 0, enabled = 0, size = sizeof enabled;
  settings.Enabled = RegQueryValueExA(key.get(), "ProxyEnable", nullptr, &type, reinterpret_cast<BYTE*>(&enabled),
                                      &size) == ERROR_SUCCESS &&
                     type == REG_DWORD && size == sizeof enabled && enabled != 0;
  settings.Server = ReadText(key.get(), "ProxyServer");
  settings.Override = ReadText(key.get(), "ProxyOverride");
  return settings;
}

}  // namespace net
