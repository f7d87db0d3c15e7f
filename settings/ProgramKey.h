// The program key "Software\Trelk\<key>" of a program of the family and its values, typed. Every
// place that reads or writes a program's settings goes through ProgramKey.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/DateTime.h"
#include "base/update_outcome.h"
#include "settings/Registry.h"
#include "settings/settings_rules.h"

namespace settings {

// The root and path of every program key: "Software\Trelk\" + registry key name.
extern const char kTrelkKey[];  // "Software\Trelk"
std::string ProgramKeyPath(const std::string& registryKey);

// The values of a program key.
extern const char kUpdateValue[];               // "Update": the last day without a reminder (date)
extern const char kUpdateIntervalValue[];       // "UpdateInterval": days between two reminders (DWORD)
extern const char kNoUpdateValue[];             // "NoUpdate": present, never reminded (empty text)
extern const char kOnlyUpdateValue[];           // "OnlyUpdate": the next start only searches (empty text)
extern const char kApplicationFileNameValue[];  // "ApplicationFileName": the last start command
// "VersionDate": the date the program's update check compares the list with (its installed
// version's), written at each start beside "ApplicationFileName" (a date, as "Update"). Read by
// the settings tool's look at all programs.
extern const char kVersionDateValue[];
// "UpdateSerial": the highest serial of a signed update list that the program accepted (REG_DWORD,
// read as unsigned). Written and read by the wizard of a program with a key only.
extern const char kUpdateSerialValue[];
// "UpdateKeyEpoch": the highest epoch of a release key's delegation that the program accepted
// (REG_DWORD, read as unsigned); "UpdateKeyRetired": the key ids of root keys it no longer
// trusts, separated by "," (REG_SZ). Written and read by the wizard of a program with root keys.
extern const char kUpdateKeyEpochValue[];
extern const char kUpdateKeyRetiredValue[];
// "UpdateResult": what the installation's batch recorded when it ended (REG_SZ). Read and deleted
// by the engine at the next start.
using base::kUpdateResultValue;
// "SkippedDate" (a date, as "Update") and "SkippedSHA256" (REG_SZ, absent for a list without
// checksums): the version the user chose to skip, by its list's "Date" and archive. Written by
// the wizard's "Diese Version überspringen"; a reminder offers nothing up to that version.
extern const char kSkippedDateValue[];
extern const char kSkippedSha256Value[];
// "RolloutNumber": the number from 0 to 99 this installation drew once, at the first list with a
// rollout (REG_DWORD). It never leaves the computer.
extern const char kRolloutNumberValue[];
// "PreviousVersion": the state of the version kept in the program folder's "Trelk-Vorher" and
// the version that replaced it (REG_SZ, "<state>|<day>|<sha256>").
extern const char kPreviousVersionValue[];

// One program's key, open for the life of the object. The open never throws: a key that did not
// open answers the presence tests with false and the Try reads with none, and its strict reads
// and its writes fail with the registry errors ("Fehler beim Setzen der Daten für 'Update'"), so
// a key without write access fails at the write, as the settings do everywhere.
//   - Strict reads: none when the value is absent; ERegistryException for a value of another
//     type (or one that cannot be read).
//   - Try reads: none when absent or unreadable; they never throw.
//   - Writes and Set...: ERegistryException on failure. Remove...: false when nothing was removed.
class ProgramKey {
 public:
  enum class Access {
    Read,    // an existing key, for reading only: a user without write rights still reads it
    Change,  // an existing key, for reading and writing; a missing one is not made
    Create,  // made when missing, for reading and writing
  };
  ProgramKey(HKEY root, const std::string& registryKey, Access access);
  // The root of a program's key: HKEY_CURRENT_USER for a per-user program, else HKEY_LOCAL_MACHINE.
  static HKEY RootFor(bool perUser) { return perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }
  // The names of the program keys below `root`'s "Software\Trelk" in the registry's order; none
  // when it cannot be opened.
  static std::vector<std::string> Names(HKEY root);

  bool IsOpen() const { return open_; }

  // "Update": the last day on which no reminder is due.
  std::optional<base::TDateTime> Update() const;
  std::optional<base::TDateTime> TryUpdate() const;
  void SetUpdate(base::TDateTime day);
  bool RemoveUpdate();
  // "UpdateInterval": days between two reminders.
  std::optional<std::int32_t> Interval() const;
  std::optional<std::int32_t> TryInterval() const;
  // "NoUpdate" and "OnlyUpdate": their presence is the setting.
  bool NoUpdate() const;
  bool OnlyUpdate() const;
  void SetOnlyUpdate();
  bool RemoveOnlyUpdate();
  // "ApplicationFileName": the command of the program's last start.
  std::optional<std::string> ApplicationFileName() const;
  void SetApplicationFileName(const std::string& command);
  // "VersionDate": none when absent, of another type or unreadable.
  std::optional<base::TDateTime> TryVersionDate() const;
  void SetVersionDate(base::TDateTime date);
  // "UpdateSerial": the highest serial of an accepted signed list (the registry's DWORD, unsigned).
  std::optional<std::uint32_t> UpdateSerial() const;
  void SetUpdateSerial(std::uint32_t serial);
  // "UpdateKeyEpoch" and "UpdateKeyRetired", read and written as "UpdateSerial".
  std::optional<std::uint32_t> UpdateKeyEpoch() const;
  void SetUpdateKeyEpoch(std::uint32_t epoch);
  std::optional<std::string> UpdateKeyRetired() const;
  void SetUpdateKeyRetired(const std::string& ids);
  // "SkippedDate" and "SkippedSHA256": the skipped version; none when there is no date (a
  // checksum alone skips nothing). Strict read: ERegistryException for a date of another type.
  std::optional<std::pair<base::TDateTime, std::string>> Skipped() const;
  // Writes both (the checksum removed when `sha256` is empty): the checksum first, so that a
  // failed write never leaves a new date beside an old archive's checksum.
  void SetSkipped(base::TDateTime date, const std::string& sha256);
  // "RolloutNumber": none when absent, of another type or not from 0 to 99.
  std::optional<int> TryRolloutNumber() const;
  void SetRolloutNumber(int number);
  // "PreviousVersion": as written; none when absent or unreadable.
  std::optional<std::string> TryPreviousVersion() const;
  void SetPreviousVersion(const std::string& text);
  bool RemovePreviousVersion();
  // "UpdateResult": what the last installation recorded.
  bool HasUpdateResult() const;
  std::optional<std::string> TryUpdateResult() const;
  bool RemoveUpdateResult();
  // Written by an unattended run that installed nothing (the batch writes its own).
  void SetUpdateResult(const std::string& value);

  // The reminder setting as a user chooses it. Never: "UpdateInterval" deleted, then an empty
  // "NoUpdate" written when missing; Interval: "UpdateInterval" written, then "NoUpdate" deleted;
  // Standard: nothing. A failed write throws and leaves the value written first as it was, so
  // the program is never left without its setting.
  void WriteReminder(const Reminder& reminder);

 private:
  TRegistry reg_;
  bool open_ = false;
};

}  // namespace settings
