// The outcome an installation's batch records in the program's key when it ends, and that the
// program reads at its next start: the one place where both sides take the value's name and words.
//   "<when>|ok"
//   "<when>|failed|<file name>|<reason>"
// and what an unattended run records when it installed nothing (the next start deletes it
// without a word):
//   "<when>|unattended|<exit code>|<word>"
// <when> is what cmd.exe gives as "%DATE% %TIME%" (for reading by a person, never parsed).
#pragma once

namespace base {

inline constexpr char kUpdateResultValue[] = "UpdateResult";  // REG_SZ in the program's key
inline constexpr char kResultOk[] = "ok";
inline constexpr char kResultFailed[] = "failed";
inline constexpr char kResultUnattended[] = "unattended";
inline constexpr char kResultLocked[] = "locked";    // the program's file stayed in use
inline constexpr char kResultBackup[] = "backup";    // the old file could not be kept
inline constexpr char kResultCopy[] = "copy";        // the new file could not be written
inline constexpr char kResultCompare[] = "compare";  // the written file differs from the archive's

}  // namespace base
