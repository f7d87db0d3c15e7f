// The INI-file reader over GetPrivateProfileStringA.
#include "wizard/IniFile.h"

#include <windows.h>

namespace wizard {

namespace {

const DWORD kValueBuffer = 2048;

}  // namespace

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
  char buffer[kValueBuffer];
  DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer, kValueBuffer,
                                     fileName_.c_str());
  return std::string(buffer, n);
}

std::vector<std::string> TIniFile::ReadSection(const std::string& section) const {
  // The names come as a list of zero-terminated texts; a full buffer may have cut it, so it
  // grows until the list fits.
  std::vector<char> buffer(4096);
  DWORD n = 0;
  while (true) {
    n = GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer.data(), static_cast<DWORD>(buffer.size()),
                                 fileName_.c_str());
    if (n + 2 < buffer.size() || buffer.size() >= (1u << 24)) break;
    buffer.resize(buffer.size() * 4);
  }
  std::vector<std::string> names;
  for (DWORD i = 0; i < n;) {
    std::string name(&buffer[i]);
    i += static_cast<DWORD>(name.size()) + 1;
    if (!name.empty()) names.push_back(name);
  }
  return names;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
  for (const std::string& name : ReadSection(section))
    if (lstrcmpiA(name.c_str(), key.c_str()) == 0) return true;
  return false;
}

}  // namespace wizard
