// The settings tool's pure rules.
#include "tool/tool_rules.h"

#include <cstdio>

#include "base/StrUtils.h"

namespace tool {

const char kStandardEntry[] = "Standard (7/28)";

std::string CatalogLookup(const std::vector<CatalogRow>& table, const std::string& text, int column) {
  if (column != 0 && column != 1) return std::string();
  for (const CatalogRow& row : table) {
    const std::string& cell = column == 0 ? row.first : row.second;
    if (cell == text) return column == 0 ? row.second : row.first;
  }
  return std::string();
}

std::string IntervalEntry(bool noUpdate, bool hasInterval, int interval) {
  if (noUpdate) return "0";
  // The engine reminds every 7 days for a stored interval below 1; the row shows that, and
  // applying it keeps the program reminding as before.
  if (hasInterval) return base::IntToStr(interval >= 1 ? interval : 7);
  return kStandardEntry;
}

std::string IntervalText(const std::string& entry) {
  if (entry == kStandardEntry) return entry;
  auto value = base::TryParseInt32(entry);
  if (!value || *value < 0) return entry;
  if (*value == 0) return "niemals";
  if (*value == 1) return "1 Tag";
  return entry + " Tage";
}

std::optional<std::string> CommitEntry(const std::string& typed) {
  if (base::StartsWith(typed, "$")) return std::nullopt;
  if (typed == "niemals") return std::string("0");
  if (typed == kStandardEntry) return std::string("28");
  std::string number = typed.substr(0, typed.find(' '));
  auto value = base::TryParseInt32(number);
  // Zero in any spelling means never; a negative number of days is no interval.
  if (!value || *value < 0) return std::nullopt;
  if (*value == 0) return std::string("0");
  return number;
}

settings::Reminder ApplyActionFor(const std::string& entry) {
  using settings::Reminder;
  if (entry == kStandardEntry) return {Reminder::Standard, 0};
  auto value = base::TryParseInt32(entry);
  if (!value || *value < 0) return {Reminder::Standard, 0};
  if (*value == 0) return {Reminder::Never, 0};
  return {Reminder::Interval, *value};
}

std::string DefaultEntry(int value) { return base::IntToStr(value); }

const char kLockedRowText[] = "vom Administrator festgelegt";

std::string PolicyEntry(const settings::Policy& policy, bool noUpdate, std::optional<std::int32_t> interval) {
  const settings::EffectiveReminder r = settings::ApplyPolicyToReminder(policy, noUpdate, interval);
  return IntervalEntry(r.never, r.interval.has_value(), r.interval.value_or(0));
}

std::string ForAllLeftAloneText(int lockedRows) {
  return lockedRows == 1 ? std::string("Ein Programm ist vom Administrator festgelegt und bleibt unverändert.")
                         : std::to_string(lockedRows) +
                               " Programme sind vom Administrator festgelegt und bleiben unverändert.";
}

std::string IgnoredPoliciesText(const std::vector<std::string>& ignored) {
  std::string text = "Diese Richtlinienwerte des Administrators sind ungültig und werden nicht beachtet:\r\n";
  for (const std::string& name : ignored) text += "\r\n" + name;
  return text;
}

namespace {

std::string DayText(base::TDateTime date) {
  const std::optional<base::DateParts> d = base::TryDecodeDate(date);
  if (!d || date == 0) return "unbekannt";
  char text[16];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d", d->day, d->month, d->year);
  return text;
}

std::string NotCheckedReason(const FamilyRow& row) {
  using wizard::Refusal;
  switch (row.refusal) {
    case Refusal::None: return "Datum der installierten Version unbekannt";
    case Refusal::ProgramNotCovered: return "Liste nicht für dieses Programm signiert";
    case Refusal::ListReplayed: return "das Programm kennt eine neuere Liste";
    case Refusal::ListWithoutSerial: return "Liste ohne Seriennummer";
    case Refusal::ListDateUnreadable: return "Datum in der Liste unlesbar";
    case Refusal::ListValueUnreadable: return "Angaben der Liste unlesbar";
    default: return "Liste abgelehnt";
  }
}

std::string EndedText(int exitCode) {
  switch (exitCode) {
    case 0: return "kein Update installiert";
    case 1: return "Update installiert";
    case 2: return "Update fehlgeschlagen";
    case 3: return "keine Verbindung";
    case 4: return "Administratorrechte nötig";
    case 5: return "Updates vom Administrator abgeschaltet";
    case 6: return "Update vom Administrator zurückgehalten";
    case kWizardEnded: return "Update-Assistent beendet";
    case kStartFailed: return "Start fehlgeschlagen";
    default: return "beendet (Code " + base::IntToStr(exitCode) + ")";
  }
}

}  // namespace

std::string FamilyStateText(const FamilyRow& row) {
  switch (row.state) {
    case FamilyRow::Current: return "aktuell";
    case FamilyRow::Offered:
      return row.skipped ? "Update verfügbar (übersprungen)"
             : row.heldBack ? "Update verfügbar (noch nicht verteilt)"
                            : "Update verfügbar";
    case FamilyRow::Pinned: return "Update vom Administrator zurückgehalten";
    case FamilyRow::SwitchedOff: return "Updates vom Administrator abgeschaltet";
    case FamilyRow::NotChecked: return "nicht geprüft: " + NotCheckedReason(row);
    case FamilyRow::Running: return row.viaWizard ? "Update-Assistent läuft …" : "wird installiert …";
    case FamilyRow::Ended: return EndedText(row.exitCode);
  }
  return std::string();
}

std::string FamilyItemText(const FamilyRow& row) { return row.name + " – " + FamilyStateText(row); }

std::string FamilyDetailText(const FamilyRow& row) {
  std::string text = "installiert: " + DayText(row.installed);
  if (row.offered != 0 && (row.state == FamilyRow::Offered || row.state == FamilyRow::Pinned))
    text += ", neu: " + DayText(row.offered);
  return text;
}

std::string FamilySummaryText(const std::vector<FamilyRow>& rows) {
  int offered = 0, notChecked = 0;
  for (const FamilyRow& row : rows) {
    offered += FamilyRowStartable(row) ? 1 : 0;
    notChecked += row.state == FamilyRow::NotChecked ? 1 : 0;
  }
  std::string text =
      offered == 0 ? std::string("Für keines der installierten Programme gibt es ein Update.")
                   : "Updates für " + base::IntToStr(offered) + " von " + base::IntToStr(static_cast<int>(rows.size())) +
                         " Programmen. Markieren Sie eines und klicken Sie auf \"Update installieren\".";
  if (notChecked == 1) text += " Ein Programm wurde nicht geprüft.";
  if (notChecked > 1) text += " " + base::IntToStr(notChecked) + " Programme wurden nicht geprüft.";
  return text;
}

bool FamilyRowStartable(const FamilyRow& row) {
  return row.state == FamilyRow::Offered ||
         (row.state == FamilyRow::Ended && row.offered != 0 && row.exitCode != 1 && row.exitCode != 5 && row.exitCode != 6);
}

}  // namespace tool
