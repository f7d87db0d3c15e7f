// The update engine's pure rules.
#include "engine/engine_rules.h"

#include "base/StrUtils.h"

namespace engine {

const char kUninstallArgument[] = "/uninstall";

std::string CommandLineArgument(std::string_view line, int index) {
  size_t p = 0;
  auto at = [&](size_t i) -> unsigned char { return i < line.size() ? static_cast<unsigned char>(line[i]) : 0; };
  for (int current = 0;; ++current) {
    for (;;) {
      while (at(p) != 0 && at(p) <= ' ') ++p;
      if (at(p) == '"' && at(p + 1) == '"') {
        p += 2;
      } else {
        break;
      }
    }
    std::string arg;
    while (at(p) > ' ') {
      if (at(p) == '"') {
        ++p;
        while (at(p) != 0 && at(p) != '"') arg += line[p++];
        if (at(p) != 0) ++p;
      } else {
        arg += line[p++];
      }
    }
    if (current == index) return arg;
    if (at(p) == 0) return std::string();
  }
}

std::string ApplicationFileNameValue(std::string_view exePath, std::string_view startParameters) {
  std::string value = "\"";
  value += exePath;
  value += '"';
  if (!startParameters.empty()) {
    value += ' ';
    value += startParameters;
  }
  return value;
}

std::string DriveRootOf(std::string_view exePath) { return std::string(exePath.substr(0, 3)); }

bool DriveAllowsSearch(unsigned driveType) {
  return driveType == 2 || driveType == 3 || driveType == 4 || driveType == 6;
}

base::TDateTime LastReminderDate(std::optional<base::TDateTime> stored, int32_t today) {
  return stored ? *stored : static_cast<base::TDateTime>(today) - 1;
}

bool WizardOpens(bool manual, bool onlyUpdate, bool noUpdate, int32_t today, base::TDateTime last) {
  if (manual || onlyUpdate) return true;
  return static_cast<base::TDateTime>(today) > last && !noUpdate;
}

base::TDateTime EffectiveReferenceDate(base::TDateTime given, base::TDateTime programFileDate) {
  return given != 0 ? given : programFileDate;
}

std::string ServerSetting::Authority() const {
  return port ? host + ":" + base::IntToStr(port) : host;
}

std::optional<ServerSetting> ParseServerSetting(std::string_view text) {
  ServerSetting s;
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

}  // namespace engine
