// The settings tool's pure rules.
#include "tool/tool_rules.h"

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

}  // namespace tool
