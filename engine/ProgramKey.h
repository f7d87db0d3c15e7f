// The program key "Software\Trelk\<key>" of a program of the family: the names of its values,
// and the reminder setting as the wizard's settings page and the settings tool write it.
#pragma once

#include <string>

#include "base/update_outcome.h"
#include "engine/Registry.h"
#include "engine/engine_rules.h"

namespace engine {

// The root and path of every program key: "Software\Trelk\" + registry key name.
extern const char kTrelkKey[];  // "Software\Trelk"
std::string ProgramKeyPath(const std::string& registryKey);

// The values of a program key.
extern const char kUpdateValue[];               // "Update": the last day without a reminder (date)
extern const char kUpdateIntervalValue[];       // "UpdateInterval": days between two reminders (DWORD)
extern const char kNoUpdateValue[];             // "NoUpdate": present, never reminded (empty text)
extern const char kOnlyUpdateValue[];           // "OnlyUpdate": the next start only searches (empty text)
extern const char kApplicationFileNameValue[];  // "ApplicationFileName": the last start command
// "UpdateSerial": the highest serial of a signed update list that the program accepted (REG_DWORD,
// read as unsigned). Written and read by the wizard of a program with a key only.
extern const char kUpdateSerialValue[];
// "UpdateResult": what the installation's batch recorded when it ended (REG_SZ, see
// UpdateOutcome). Read and deleted by the engine at the next start.
using base::kUpdateResultValue;

// Writes `reminder` into the program key open in `key` (borrowed). Throws ERegistryException
// when a write fails; the value written first then stays as it was ("NoUpdate" of Never is
// only written after "UpdateInterval" is gone; Interval deletes "NoUpdate" only after its
// interval is written, so a failed write never leaves the program without its setting).
void WriteReminder(TRegistry& key, const Reminder& reminder);

}  // namespace engine
