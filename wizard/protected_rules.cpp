// The request of an installation with consent, written and read back.
#include "wizard/protected_rules.h"

#include "base/StrUtils.h"

namespace wizard {

const char kProtectedInstallArgument[] = "/trelk-install";

const char kProtectedFilesChangedText[] =
    "Das Update wurde nicht installiert: Die Update-Dateien wurden nach ihrer Prüfung verändert. Das Programm "
    "bleibt unverändert.\r\n\r\nBei der nächsten Suche nach Updates können Sie das Update erneut installieren.";
const char kProtectedFailedText[] =
    "Das Update wurde nicht installiert: Die Installation mit Administratorrechten ist fehlgeschlagen. Das Programm "
    "bleibt unverändert.\r\n\r\nBei der nächsten Suche nach Updates können Sie das Update erneut installieren.";

namespace {

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool AllOf(std::string_view text, bool (*test)(char)) {
  for (char c : text)
    if (!test(c)) return false;
  return true;
}

// A full path: a drive ("C:\") or a share ("\\server\"), with a backslash at its end, and no
// quote, no control character and no "." or ".." component.
bool IsFullFolder(std::string_view path) {
  const bool drive = path.size() >= 3 && IsAlnum(path[0]) && path[1] == ':' && path[2] == '\\';
  const bool share = path.size() >= 3 && path[0] == '\\' && path[1] == '\\';
  if (!(drive || share) || path.back() != '\\') return false;
  for (char c : path)
    if (static_cast<unsigned char>(c) < 0x20 || c == '"') return false;
  std::size_t start = drive ? 3 : 2;
  while (start < path.size()) {
    const std::size_t end = path.find('\\', start);
    const std::string_view part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

std::string ProtectedInstallParameters(const ProtectedRequest& request) {
  auto quoted = [](const std::string& text) { return "\"" + (text.empty() ? std::string("-") : text) + "\""; };
  return std::string(kProtectedInstallArgument) + " " + quoted(request.searchDir) + " " + quoted(request.listFile) +
         " " + quoted(request.signature) + " " + quoted(request.sha256) + " " + quoted(request.chainFile);
}

ProtectedArguments ReadProtectedInstallArguments(std::string_view commandLine, std::string_view searchFolderName) {
  ProtectedArguments result;
  if (base::CommandLineArgument(commandLine, 1) != kProtectedInstallArgument) return result;
  result.present = true;
  auto arg = [&](int index) {
    std::string text = base::CommandLineArgument(commandLine, index);
    return text == "-" ? std::string() : text;
  };
  ProtectedRequest r{arg(2), arg(3), arg(4), arg(5), arg(6)};
  if (!base::CommandLineArgument(commandLine, 7).empty()) return result;

  if (!IsFullFolder(r.searchDir)) return result;
  const std::string_view folder(r.searchDir.data(), r.searchDir.size() - 1);
  const std::string_view name = folder.substr(folder.find_last_of('\\') + 1);
  if (name.size() != searchFolderName.size() + 8 || name.substr(0, searchFolderName.size()) != searchFolderName ||
      !AllOf(name.substr(searchFolderName.size()), IsHex))
    return result;
  // Plain names of the folder: no path, and not "." or "..".
  auto plainName = [](const std::string& file) {
    const bool onlyDots = !file.empty() && file.find_first_not_of('.') == std::string::npos;
    return file.size() <= 64 && !onlyDots && AllOf(file, [](char c) { return IsAlnum(c) || c == '$' || c == '.'; });
  };
  if (!plainName(r.listFile) || !plainName(r.chainFile)) return result;
  // A chain stands for the signature line, beside a list of another name.
  if (!r.chainFile.empty() && (r.listFile.empty() || !r.signature.empty() || r.chainFile == r.listFile)) return result;
  if (r.signature.size() > 200 ||
      !AllOf(r.signature, [](char c) { return IsAlnum(c) || c == '+' || c == '/' || c == '='; }) ||
      (r.listFile.empty() && !r.signature.empty()))
    return result;
  if (r.sha256.size() != 64 || !AllOf(r.sha256, IsHex)) return result;
  for (char& c : r.sha256) c = Lower(c);
  result.request = std::move(r);
  return result;
}

const char* ProtectedOutcomeText(unsigned long exitCode) {
  return exitCode == static_cast<unsigned long>(ProtectedOutcome::FilesChanged) ? kProtectedFilesChangedText
                                                                                : kProtectedFailedText;
}

}  // namespace wizard
