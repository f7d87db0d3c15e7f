// The program key's names and the reminder setting's writes.
#include "engine/ProgramKey.h"

namespace engine {

const char kTrelkKey[] = "Software\\Trelk";
const char kUpdateValue[] = "Update";
const char kUpdateIntervalValue[] = "UpdateInterval";
const char kNoUpdateValue[] = "NoUpdate";
const char kOnlyUpdateValue[] = "OnlyUpdate";
const char kApplicationFileNameValue[] = "ApplicationFileName";
const char kUpdateSerialValue[] = "UpdateSerial";

std::string ProgramKeyPath(const std::string& registryKey) { return std::string(kTrelkKey) + "\\" + registryKey; }

void WriteReminder(TRegistry& key, const Reminder& reminder) {
  switch (reminder.kind) {
    case Reminder::Never:
      if (key.ValueExists(kUpdateIntervalValue)) key.DeleteValue(kUpdateIntervalValue);
      if (!key.ValueExists(kNoUpdateValue)) key.WriteString(kNoUpdateValue, "");
      break;
    case Reminder::Interval:
      key.WriteInteger(kUpdateIntervalValue, reminder.interval);
      if (key.ValueExists(kNoUpdateValue)) key.DeleteValue(kNoUpdateValue);
      break;
    case Reminder::Standard:
      break;
  }
}

}  // namespace engine
