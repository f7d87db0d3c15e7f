// The previous version a program keeps: the folder beside its files that holds what the last
// installation replaced, the list of that folder ("Trelk-Vorher.txt") and the state the program
// key records of it ("PreviousVersion"). Nothing here touches the platform.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/DateTime.h"

namespace wizard {

// The folder in the program folder that holds the kept files, and the one a new keep is written
// into before it takes that name; the list in it.
extern const char kKeepFolderName[];     // "Trelk-Vorher"
extern const char kKeepNewFolderName[];  // "Trelk-Vorher.neu"
extern const char kKeepListName[];       // "Trelk-Vorher.txt"
// The first argument of a start that restores the kept version, with this user's rights, and the
// one of its start with the user's consent.
extern const char kRestoreArgument[];           // "/trelk-restore"
extern const char kProtectedRestoreArgument[];  // "/trelk-restore-admin"

// The most bytes a keep list may have, and the most files it may name.
constexpr std::size_t kKeepListLimit = 1024 * 1024;
constexpr std::size_t kKeepFilesLimit = 4096;

// What a keep holds: the files an installation replaced, each with the SHA-256 of the copy
// (64 lower-case hex digits), and the files it added, which a restore removes.
struct KeptFile {
  std::string name;
  std::string sha256;
};
struct KeepList {
  std::vector<KeptFile> kept;
  std::vector<std::string> added;
};

// Whether `name` may stand in a keep list: a file name of the program folder itself (1 to 200
// bytes, no control character, none of \ / : * ? " < > |, not "." or "..", no blank or dot at
// its end, no device name such as "CON" or "LPT1.txt"), and not the list's own name.
bool IsKeepFileName(std::string_view name);

// The list's text: a line "K <sha256> <name>" for each kept file, "N <name>" for each added
// one, every line ending with CR LF.
std::string KeepListText(const KeepList& list);
// The list read back: none when a line is not of these kinds, a name is one IsKeepFileName
// refuses or stands twice (letter case ignored), a checksum is no 64 hex digits, the text passes
// kKeepListLimit or names more than kKeepFilesLimit files, or it keeps no file at all.
std::optional<KeepList> ReadKeepList(std::string_view text);

// What a restore came to; also the exit code of the restore with consent.
enum class RestoreOutcome : int {
  Started = 0,       // the batch runs
  FilesChanged = 3,  // a kept file is not what the keep list says
  Failed = 4,        // a folder, a copy, the batch or its start failed
  NoPrevious = 6,    // no kept version (or its list cannot be read)
};
// The user's message for an outcome other than Started.
extern const char kNoPreviousText[];
extern const char kRestoreFilesChangedText[];
extern const char kRestoreFailedText[];
const char* RestoreOutcomeText(RestoreOutcome outcome);

// The state of the kept version, as "PreviousVersion" records it: "<state>|<day>|<sha256>", the
// day and checksum of the version the installation brought (what a restore skips afterwards).
struct PreviousVersion {
  enum State {
    Pending,    // "pending": kept at the preparation; the installation has not told its outcome
    Kept,       // "ok": the installation succeeded; the kept version can be restored
    Restoring,  // "restoring": a restore's batch runs; its outcome decides
  } state = Pending;
  base::TDateTime date = 0;  // whole day of the list's "Date"
  std::string sha256;        // the list's "SHA256", or empty
};
std::string PreviousVersionText(const PreviousVersion& previous);
// None for anything that is not such a text (a day from 1 to 2958465, the checksum empty or 64
// hex digits).
std::optional<PreviousVersion> ReadPreviousVersion(std::string_view text);

// What an installation's outcome ("UpdateResult": ok or not) makes of the recorded state: the
// state to record, or none to remove the value (and with it the kept version).
std::optional<PreviousVersion::State> PreviousStateAfter(PreviousVersion::State state, bool installed);

}  // namespace wizard
