// The keep list, the "PreviousVersion" text and what an installation's outcome makes of it.
#include "wizard/keep_rules.h"

#include <cctype>
#include <cmath>
#include <set>

namespace wizard {

const char kKeepFolderName[] = "Trelk-Vorher";
const char kKeepNewFolderName[] = "Trelk-Vorher.neu";
const char kKeepListName[] = "Trelk-Vorher.txt";
const char kRestoreArgument[] = "/trelk-restore";
const char kProtectedRestoreArgument[] = "/trelk-restore-admin";

const char kNoPreviousText[] = "Es ist keine vorherige Version vorhanden, die wiederhergestellt werden kann.";
const char kRestoreFilesChangedText[] =
    "Die aufbewahrten Dateien der vorherigen Version wurden verändert. Die vorherige Version wird nicht "
    "wiederhergestellt.";
const char kRestoreFailedText[] = "Die vorherige Version konnte nicht wiederhergestellt werden.";

const char* RestoreOutcomeText(RestoreOutcome outcome) {
  switch (outcome) {
    case RestoreOutcome::NoPrevious:
      return kNoPreviousText;
    case RestoreOutcome::FilesChanged:
      return kRestoreFilesChangedText;
    default:
      return kRestoreFailedText;
  }
}

namespace {

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

bool IsSha256(std::string_view text) {
  if (text.size() != 64) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

bool IsDeviceName(std::string_view name) {
  // The part before the first dot names the device, whatever follows it.
  const std::string stem = UpperAscii(name.substr(0, name.find('.')));
  static const std::set<std::string> devices = {"CON", "PRN", "AUX", "NUL", "CLOCK$", "CONIN$", "CONOUT$"};
  if (devices.count(stem)) return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '0' &&
         stem[3] <= '9';
}

}  // namespace

bool IsKeepFileName(std::string_view name) {
  if (name.empty() || name.size() > 200 || name == "." || name == "..") return false;
  for (char c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) return false;
  }
  if (name.back() == ' ' || name.back() == '.') return false;
  if (IsDeviceName(name)) return false;
  return UpperAscii(name) != UpperAscii(kKeepListName);
}

std::string KeepListText(const KeepList& list) {
  std::string text;
  for (const KeptFile& f : list.kept) text += "K " + f.sha256 + " " + f.name + "\r\n";
  for (const std::string& name : list.added) text += "N " + name + "\r\n";
  return text;
}

std::optional<KeepList> ReadKeepList(std::string_view text) {
  if (text.size() > kKeepListLimit) return std::nullopt;
  KeepList list;
  std::set<std::string> seen;
  while (!text.empty()) {
    const std::size_t end = text.find("\r\n");
    if (end == std::string_view::npos) return std::nullopt;  // every line ends with CR LF
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 2);
    std::string_view name;
    if (line.size() > 67 && line.compare(0, 2, "K ") == 0 && line[66] == ' ') {
      if (!IsSha256(line.substr(2, 64))) return std::nullopt;
      name = line.substr(67);
      list.kept.push_back({std::string(name), std::string(line.substr(2, 64))});
    } else if (line.size() > 2 && line.compare(0, 2, "N ") == 0) {
      name = line.substr(2);
      list.added.emplace_back(name);
    } else {
      return std::nullopt;
    }
    if (!IsKeepFileName(name) || !seen.insert(UpperAscii(name)).second) return std::nullopt;
    if (seen.size() > kKeepFilesLimit) return std::nullopt;
  }
  if (list.kept.empty()) return std::nullopt;
  return list;
}

std::string PreviousVersionText(const PreviousVersion& previous) {
  static const char* const states[] = {"pending", "ok", "restoring"};
  return std::string(states[previous.state]) + "|" + std::to_string(static_cast<long>(std::floor(previous.date))) +
         "|" + previous.sha256;
}

std::optional<PreviousVersion> ReadPreviousVersion(std::string_view text) {
  const std::size_t bar1 = text.find('|');
  const std::size_t bar2 = bar1 == std::string_view::npos ? bar1 : text.find('|', bar1 + 1);
  if (bar2 == std::string_view::npos) return std::nullopt;
  PreviousVersion previous;
  const std::string_view state = text.substr(0, bar1), day = text.substr(bar1 + 1, bar2 - bar1 - 1),
                         sha = text.substr(bar2 + 1);
  if (state == "pending")
    previous.state = PreviousVersion::Pending;
  else if (state == "ok")
    previous.state = PreviousVersion::Kept;
  else if (state == "restoring")
    previous.state = PreviousVersion::Restoring;
  else
    return std::nullopt;
  if (day.empty() || day.size() > 7) return std::nullopt;
  long number = 0;
  for (char c : day) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + (c - '0');
  }
  if (number < 1 || number > 2958465) return std::nullopt;
  if (!sha.empty() && !IsSha256(sha)) return std::nullopt;
  previous.date = static_cast<base::TDateTime>(number);
  previous.sha256 = std::string(sha);
  return previous;
}

std::optional<PreviousVersion::State> PreviousStateAfter(PreviousVersion::State state, bool installed) {
  switch (state) {
    case PreviousVersion::Pending:
      // Only a version that was replaced whole is one to go back to.
      if (installed) return PreviousVersion::Kept;
      return std::nullopt;
    case PreviousVersion::Restoring:
      // Restored: the kept version is the installed one now. Put back: it can still be restored.
      if (installed) return std::nullopt;
      return PreviousVersion::Kept;
    case PreviousVersion::Kept:
      break;
  }
  // An update installed over a kept version that was not renewed: the kept files are no longer
  // those of the version before it.
  if (installed) return std::nullopt;
  return PreviousVersion::Kept;
}

}  // namespace wizard
