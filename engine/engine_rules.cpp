// The update engine's pure rules.
#include "engine/engine_rules.h"

#include <vector>

#include "base/StrUtils.h"
#include "base/update_outcome.h"

namespace engine {

const char kUninstallArgument[] = "/uninstall";

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

namespace {

std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  for (size_t start = 0;;) {
    const size_t bar = text.find('|', start);
    fields.push_back(text.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
    if (bar == std::string_view::npos) return fields;
    start = bar + 1;
  }
}

// A name as the batch writes it: one file of the program's folder, nothing a file name cannot hold.
bool IsFileName(std::string_view name) {
  if (name.empty() || name.size() > 259) return false;
  for (unsigned char c : name)
    if (c < ' ' || std::string_view("<>:\"/\\|?*").find(static_cast<char>(c)) != std::string_view::npos) return false;
  return name != "." && name != "..";
}

}  // namespace

UpdateOutcome ReadUpdateOutcome(std::string_view value) {
  UpdateOutcome outcome;
  if (value.size() > kMaxUpdateResultLength || value.find('|') == std::string_view::npos) return outcome;
  for (unsigned char c : value)
    if (c < ' ') return outcome;
  const std::vector<std::string_view> fields = SplitFields(value);
  if (fields[1] == base::kResultOk) {
    outcome.kind = UpdateOutcome::Installed;
    return outcome;
  }
  // An unattended run's own record: its script has read it; nothing to tell the user.
  if (fields[1] == base::kResultUnattended) return outcome;
  outcome.kind = UpdateOutcome::Failed;
  if (fields.size() > 2 && IsFileName(fields[2])) outcome.fileName = std::string(fields[2]);
  if (fields.size() > 3) {
    const std::string_view reason = fields[3];
    if (reason == base::kResultLocked) outcome.reason = UpdateOutcome::Locked;
    if (reason == base::kResultBackup) outcome.reason = UpdateOutcome::Backup;
    if (reason == base::kResultCopy) outcome.reason = UpdateOutcome::Copy;
    if (reason == base::kResultCompare) outcome.reason = UpdateOutcome::Compare;
  }
  return outcome;
}

std::string UpdateFailedText(const UpdateOutcome& outcome) {
  if (outcome.kind != UpdateOutcome::Failed) return std::string();
  const std::string file = "\"" + outcome.fileName + "\"";
  std::string what;
  if (outcome.fileName.empty()) {
    what = "Beim Ersetzen der Programmdateien ist ein Fehler aufgetreten.";
  } else {
    switch (outcome.reason) {
      case UpdateOutcome::Locked: what = "Die Datei " + file + " war noch in Gebrauch und konnte nicht ersetzt werden."; break;
      case UpdateOutcome::Backup: what = "Von der Datei " + file + " konnte keine Sicherungskopie angelegt werden."; break;
      case UpdateOutcome::Copy: what = "Die neue Datei " + file + " konnte nicht geschrieben werden."; break;
      case UpdateOutcome::Compare:
        what = "Die neue Datei " + file + " wurde nicht fehlerfrei geschrieben: Sie stimmt nicht mit der Datei des "
               "Updates überein.";
        break;
      case UpdateOutcome::Unknown: what = "Beim Ersetzen der Datei " + file + " ist ein Fehler aufgetreten."; break;
    }
  }
  return "Das letzte Update konnte nicht installiert werden. " + what +
         "\r\n\r\nDie bisherige Version des Programms wurde wiederhergestellt und kann wie gewohnt verwendet werden. "
         "Bei der nächsten Suche nach Updates wird erneut versucht, das Update zu installieren.";
}

// ---- The unattended run -----------------------------------------------------------------------

const char kUnattendedArgument[] = "/UpdateSilent";

bool IsUnattendedArgument(std::string_view argument) {
  const std::string_view name = kUnattendedArgument;
  if (argument.size() != name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(argument[i]) != lower(name[i])) return false;
  }
  return true;
}

const char* UnattendedWord(UnattendedExit code) {
  switch (code) {
    case UnattendedExit::NothingToDo: return "none";
    case UnattendedExit::Installed: return "installed";
    case UnattendedExit::Failed: return "failed";
    case UnattendedExit::NoConnection: return "connection";
    case UnattendedExit::NeedsAdministrator: return "administrator";
    case UnattendedExit::SwitchedOff: return "disabled";
    case UnattendedExit::Pinned: return "pinned";
  }
  return "failed";
}

std::string UnattendedResultValue(std::string_view when, UnattendedExit code, std::string_view detail) {
  std::string value = std::string(when) + "|" + base::kResultUnattended + "|" +
                      std::to_string(static_cast<int>(code)) + "|" + UnattendedWord(code);
  if (!detail.empty()) value += "|" + std::string(detail);
  // Within what a start reads, without control characters.
  for (char& c : value)
    if (static_cast<unsigned char>(c) < ' ') c = ' ';
  if (value.size() > kMaxUpdateResultLength) value.resize(kMaxUpdateResultLength);
  return value;
}

UnattendedExit UnattendedExitFor(const UpdateOutcome& batch, bool programPresent) {
  switch (batch.kind) {
    case UpdateOutcome::Installed: return UnattendedExit::Installed;
    case UpdateOutcome::Failed: return UnattendedExit::Failed;
    case UpdateOutcome::Nothing: break;
  }
  // A batch that records nothing (a maker's own template): it ran to its end, and the program
  // is there or not.
  return programPresent ? UnattendedExit::Installed : UnattendedExit::Failed;
}

}  // namespace engine
