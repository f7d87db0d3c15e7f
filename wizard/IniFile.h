// TIniFile: a reader of one INI file with the platform's own private-profile rules
// (GetPrivateProfileString): section and key names without regard to case, values trimmed and
// freed of one enclosing pair of quotes, at most 2,047 characters.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace wizard {

class TIniFile {
 public:
  // `fileName` is a full path; the file is read anew by every call, and a missing file reads as
  // an empty one. Nothing here throws.
  explicit TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

  // The value of `key` in `section`, or `defaultValue` when the key is absent.
  std::string ReadString(const std::string& section, const std::string& key, const std::string& defaultValue) const;
  // The key names of `section` in file order (empty when the section is absent or has none).
  std::vector<std::string> ReadSection(const std::string& section) const;
  // Whether the section holds at least one key.
  bool SectionExists(const std::string& section) const { return !ReadSection(section).empty(); }
  bool ValueExists(const std::string& section, const std::string& key) const;

 private:
  std::string fileName_;
};

}  // namespace wizard
