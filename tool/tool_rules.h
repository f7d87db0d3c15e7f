// The settings tool's pure rules: catalogue lookup and the interval entries of the product list.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/DateTime.h"
#include "settings/settings_rules.h"
#include "wizard/update_rules.h"

namespace tool {

// One catalogue row: column 0 the registry key name, column 1 the display name.
using CatalogRow = std::pair<std::string, std::string>;

// The entry of a program that has nothing stored: its own default applies.
extern const char kStandardEntry[];  // "Standard (7/28)"

// The other column of the first row whose cell in `column` (0 or 1) equals `text` exactly
// (byte-wise, case-sensitive); empty when no row matches or the column is neither 0 nor 1.
std::string CatalogLookup(const std::vector<CatalogRow>& table, const std::string& text, int column);

// The list entry made from a program key: "0" when "NoUpdate" exists, else the decimal text of
// "UpdateInterval" when it exists (7, the interval the engine then uses, for a stored value
// below 1), else the standard entry.
std::string IntervalEntry(bool noUpdate, bool hasInterval, int interval);

// The text a row and the in-row editor show for an entry: "Standard (7/28)" as it is, 0 as
// "niemals", 1 as "1 Tag", more as the entry's own text with " Tage" ("007 Tage"), a negative
// number as the entry's text. An entry that is no number at all is shown as it is.
std::string IntervalText(const std::string& entry);

// The entry made from the editor's text when it is committed, or nothing when the text is not
// taken (the entry then keeps its value). "niemals" gives "0", "Standard (7/28)" gives "28";
// anything else is cut before its first blank and must then be a decimal number within 32 bits:
// zero in any spelling ("00", "+0", "-0", "0 Tage") gives "0", a positive number is kept
// exactly as typed ("+5", "007"). Negative numbers, texts starting with "$" and hexadecimal
// texts are not taken.
std::optional<std::string> CommitEntry(const std::string& typed);

// What applying an entry does to the program's key (settings::WriteReminder carries it out):
// zero means never, "Standard (7/28)" the standard; a positive number its interval. An entry that is
// no number or negative (none of the tool's own ways makes one) is kept rather than written as
// something else.
settings::Reminder ApplyActionFor(const std::string& entry);

// The entry "für alle" gives every program: the spin field's value in decimal.
std::string DefaultEntry(int value);

// A row the administrator's policy fixes: its entry (the reminder the program applies, as
// IntervalEntry writes it), the mark under its value, the message of "für alle" when it left
// `lockedRows` rows alone, and the message at the tool's start naming the ignored values.
std::string PolicyEntry(const settings::Policy& policy, bool noUpdate, std::optional<std::int32_t> interval);
extern const char kLockedRowText[];  // "vom Administrator festgelegt"
std::string ForAllLeftAloneText(int lockedRows);
std::string IgnoredPoliciesText(const std::vector<std::string>& ignored);

// ---- The look at all programs ------------------------------------------------------------

// One installed program in the look at all programs, and what came of its update started from
// there.
struct FamilyRow {
  enum State {
    Current,      // the list offers nothing newer than the installed version
    Offered,      // the list offers an update
    Pinned,       // ... that lies after the administrator's pin
    SwitchedOff,  // the administrator switched its updates off; the list is not looked at for it
    NotChecked,   // the list cannot be judged for it: `refusal`, or its version's date is unknown
    Running,      // its update runs (`viaWizard`: in its own wizard)
    Ended,        // its update ended: `exitCode`
  } state = Current;
  std::string name;     // the display name (catalogue column 1)
  std::string keyName;  // its program key's name (column 0)
  wizard::Refusal refusal = wizard::Refusal::None;
  bool skipped = false, heldBack = false;  // Offered: the user skipped it, the rollout holds it back
  base::TDateTime installed = 0;          // its version's date; 0: unknown
  base::TDateTime offered = 0;            // Offered, Pinned: the list's date for it
  std::string news;                       // Offered, Pinned: the news list, as the wizard shows it
  bool viaWizard = false;
  // Ended: the unattended run's exit code (0 to 6), kWizardEnded after its wizard, kStartFailed
  // when it could not be started.
  int exitCode = 0;
};
constexpr int kWizardEnded = -1;
constexpr int kStartFailed = -2;

// The state as the row shows it: "aktuell", "Update verfügbar", "nicht geprüft: …", and the
// administrator's and the update's outcomes.
std::string FamilyStateText(const FamilyRow& row);
// The row's text in the list (what a screen reader reads): name, " – ", state.
std::string FamilyItemText(const FamilyRow& row);
// The row's second line: the installed version's date and the offered one's ("dd.mm.yyyy").
std::string FamilyDetailText(const FamilyRow& row);
// The line above the list: how many programs have an update, how many were not looked at.
std::string FamilySummaryText(const std::vector<FamilyRow>& rows);
// Whether an update may be started for the row (one that is offered, or that ended without
// installing what is still offered).
bool FamilyRowStartable(const FamilyRow& row);

}  // namespace tool
