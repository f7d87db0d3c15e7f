// The update server setting's parsing.
#include "settings/settings_rules.h"

#include "base/StrUtils.h"

namespace settings {

std::string ServerSetting::Authority() const {
  return port ? host + ":" + base::IntToStr(port) : host;
}

std::string ServerSetting::Origin() const { return (secure ? "https://" : "http://") + Authority(); }

std::optional<ServerSetting> ParseServerSetting(std::string_view text) {
  ServerSetting s;
  auto startsWith = [&](std::string_view scheme) {
    if (text.size() < scheme.size()) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
      const char c = text[i];
      if ((c >= 'A' && c <= 'Z' ? c + 32 : c) != scheme[i]) return false;
    }
    return true;
  };
  if (startsWith("https://")) {
    s.secure = true;
    text.remove_prefix(8);
  }
  size_t colon = text.find(':');
  s.host = std::string(text.substr(0, colon));
  if (s.host.empty()) return std::nullopt;
  for (unsigned char c : s.host)
    if (c <= ' ' || c == '/' || c == '\\' || c == '@' || c == '?' || c == '#') return std::nullopt;
  if (colon != std::string_view::npos) {
    std::string_view digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    int port = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return std::nullopt;
      port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) return std::nullopt;
    s.port = port;
  }
  return s;
}

}  // namespace settings
