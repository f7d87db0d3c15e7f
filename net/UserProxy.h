// The user's proxy settings, read from where Windows' Internet options write them:
// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings.
#pragma once

#include <windows.h>

#include <string>

#include "net/proxy_rules.h"

namespace net {

// The key below HKEY_CURRENT_USER that holds the values.
inline constexpr char kInternetSettingsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Reads "ProxyEnable" (REG_DWORD), "ProxyServer" and "ProxyOverride" (REG_SZ) below `root` (the
// key is opened for this read and closed again). A key or value that is missing, of another type
// or longer than 32 KiB reads as absent. Throws nothing.
TUserProxySettings ReadUserProxySettings(HKEY root = HKEY_CURRENT_USER);

}  // namespace net
