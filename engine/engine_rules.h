// The update engine's pure rules: the start argument that switches it off, the recorded start
// command, the drive test, the reminder date, the decision whether the wizard opens, the
// outcome an installation recorded and its message, and the update server a maker sets for testing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/DateTime.h"
#include "base/StrUtils.h"

namespace engine {

// The first command-line argument that switches the engine off for one start. Compared exactly:
// "/Uninstall" is an ordinary argument.
extern const char kUninstallArgument[];  // "/uninstall"

using base::CommandLineArgument;


// The "ApplicationFileName" value: the program path in double quotes, then a blank and the
// start parameters unchanged when there are any.
std::string ApplicationFileNameValue(std::string_view exePath, std::string_view startParameters);

// The root the drive test asks about: the first three characters of the path ("C:\").
std::string DriveRootOf(std::string_view exePath);

// Whether a search may run from a drive of this type: removable, fixed, network and RAM disk
// (2, 3, 4, 6) may; a CD-ROM (5), an unknown drive (0) and an invalid root (1) may not.
bool DriveAllowsSearch(unsigned driveType);

// The last day on which no reminder is due: the stored "Update" date, or yesterday when there
// is none.
base::TDateTime LastReminderDate(std::optional<base::TDateTime> stored, int32_t today);

// Whether the wizard opens: always for a manual or an update-only start; otherwise only when
// today lies strictly after the last date and "NoUpdate" is absent.
bool WizardOpens(bool manual, bool onlyUpdate, bool noUpdate, int32_t today, base::TDateTime last);

// The reference date handed to the wizard: the given one, or the program file's date for 0.
base::TDateTime EffectiveReferenceDate(base::TDateTime given, base::TDateTime programFileDate);

// What the installation's batch recorded in "UpdateResult" when it ended: "<when>|ok", or
// "<when>|failed|<file name>|<reason>" with the reason "locked", "backup", "copy" or "compare".
// "<when>" is the batch's own date and time text in the computer's format and is never read.
struct UpdateOutcome {
  enum Kind {
    Nothing,    // no value, or one that cannot be read: nothing to tell
    Installed,  // the second field is "ok"
    Failed,     // any other second field
  } kind = Nothing;
  enum Reason {
    Unknown,  // a reason this program does not know, or none
    Locked,   // the program's file was still in use after the retries
    Backup,   // the old file could not be kept
    Copy,     // the new file could not be written
    Compare,  // the written file differs from the update's copy
  } reason = Unknown;
  // Failed: the file that failed; empty when none is named or the name is no file name (a
  // path, characters no file name can hold, longer than 259 characters).
  std::string fileName;
};
// Reads the value's text. A text without a "|", longer than kMaxUpdateResultLength or with
// control characters is Nothing. Field texts are compared exactly.
constexpr std::size_t kMaxUpdateResultLength = 2048;
UpdateOutcome ReadUpdateOutcome(std::string_view value);

// The message after a failed installation: what failed (the file and the reason in words, or a
// general sentence without a file name or for an unknown reason), that the old version was
// restored and that the next search tries again. Empty for an outcome that is not Failed.
std::string UpdateFailedText(const UpdateOutcome& outcome);

// ---- The unattended run -----------------------------------------------------------------------

// The first command-line argument of an unattended run (compared without regard to case):
// search, download, check and install without any window, and end with an UnattendedExit.
extern const char kUnattendedArgument[];  // "/UpdateSilent"
bool IsUnattendedArgument(std::string_view argument);

// The exit codes of an unattended run.
enum class UnattendedExit : int {
  NothingToDo = 0,         // the list offers no update for the program
  Installed = 1,           // the update is installed
  Failed = 2,              // refused (signature, serial, checksum, size) or failed (download, unpacking, batch)
  NoConnection = 3,        // no list came from the server
  NeedsAdministrator = 4,  // the program folder needs an administrator's rights, which the run lacks
  SwitchedOff = 5,         // the administrator switched updates off
  Pinned = 6,              // an update is offered, but it lies after the administrator's pin
};
// The word an exit code is recorded with: "none", "installed", "failed", "connection",
// "administrator", "disabled", "pinned".
const char* UnattendedWord(UnattendedExit code);

// The "UpdateResult" of an unattended run that installed nothing (the batch records its own):
// "<when>|unattended|<code>|<word>", and "|<detail>" when a detail is given. Control characters
// become blanks and the value is cut to kMaxUpdateResultLength, so that a start reads it as an
// unattended record (and deletes it without a word).
std::string UnattendedResultValue(std::string_view when, UnattendedExit code, std::string_view detail);

// The exit code after the installation's batch ended: by what it recorded; a batch that recorded
// nothing counts as installed when the program file is there again (`programPresent`).
UnattendedExit UnattendedExitFor(const UpdateOutcome& batch, bool programPresent);

}  // namespace engine
