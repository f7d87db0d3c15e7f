// The program key's names, its typed values and the reminder setting's writes.
#include "settings/ProgramKey.h"

namespace settings {

const char kTrelkKey[] = "Software\\Trelk";
const char kUpdateValue[] = "Update";
const char kUpdateIntervalValue[] = "UpdateInterval";
const char kNoUpdateValue[] = "NoUpdate";
const char kOnlyUpdateValue[] = "OnlyUpdate";
const char kApplicationFileNameValue[] = "ApplicationFileName";
const char kVersionDateValue[] = "VersionDate";
const char kUpdateSerialValue[] = "UpdateSerial";
const char kUpdateKeyEpochValue[] = "UpdateKeyEpoch";
const char kUpdateKeyRetiredValue[] = "UpdateKeyRetired";
const char kSkippedDateValue[] = "SkippedDate";
const char kSkippedSha256Value[] = "SkippedSHA256";
const char kRolloutNumberValue[] = "RolloutNumber";
const char kPreviousVersionValue[] = "PreviousVersion";

std::string ProgramKeyPath(const std::string& registryKey) { return std::string(kTrelkKey) + "\\" + registryKey; }

namespace {

// A strict read: none when `name` is absent, the reader's value otherwise (it throws for a value
// it cannot read).
template <typename T, typename Reader>
std::optional<T> ReadIfPresent(const TRegistry& reg, const char* name, Reader read) {
  if (!reg.ValueExists(name)) return std::nullopt;
  return read(reg, name);
}

// The Try form of a strict read.
template <typename T, typename Strict>
std::optional<T> TryRead(Strict strict) {
  try {
    return strict();
  } catch (const ERegistryException&) {
    return std::nullopt;
  }
}

// The tolerant reads of a text and a date value: none when absent or of another type.
std::optional<std::string> TryString(const TRegistry& reg, const char* name) {
  return TryRead<std::string>([&] {
    return ReadIfPresent<std::string>(reg, name, [](const TRegistry& r, const char* n) { return r.ReadString(n); });
  });
}
std::optional<base::TDateTime> TryDate(const TRegistry& reg, const char* name) {
  return TryRead<base::TDateTime>([&] {
    return ReadIfPresent<base::TDateTime>(reg, name, [](const TRegistry& r, const char* n) { return r.ReadDate(n); });
  });
}

}  // namespace

ProgramKey::ProgramKey(HKEY root, const std::string& registryKey, Access access) : reg_(root) {
  const std::string path = ProgramKeyPath(registryKey);
  open_ = access == Access::Read ? reg_.OpenKeyReadOnly(path) : reg_.OpenKey(path, access == Access::Create);
}

std::vector<std::string> ProgramKey::Names(HKEY root) {
  TRegistry reg(root);
  if (!reg.OpenKeyReadOnly(kTrelkKey)) return {};
  return reg.GetKeyNames();
}

std::optional<base::TDateTime> ProgramKey::Update() const {
  return ReadIfPresent<base::TDateTime>(reg_, kUpdateValue, [](const TRegistry& r, const char* n) { return r.ReadDate(n); });
}
std::optional<base::TDateTime> ProgramKey::TryUpdate() const {
  return TryRead<base::TDateTime>([this] { return Update(); });
}
void ProgramKey::SetUpdate(base::TDateTime day) { reg_.WriteDate(kUpdateValue, day); }
bool ProgramKey::RemoveUpdate() { return reg_.DeleteValue(kUpdateValue); }

std::optional<std::int32_t> ProgramKey::Interval() const {
  return ReadIfPresent<std::int32_t>(reg_, kUpdateIntervalValue,
                                     [](const TRegistry& r, const char* n) { return r.ReadInteger(n); });
}
std::optional<std::int32_t> ProgramKey::TryInterval() const {
  return TryRead<std::int32_t>([this] { return Interval(); });
}

bool ProgramKey::NoUpdate() const { return reg_.ValueExists(kNoUpdateValue); }
bool ProgramKey::OnlyUpdate() const { return reg_.ValueExists(kOnlyUpdateValue); }
void ProgramKey::SetOnlyUpdate() { reg_.WriteString(kOnlyUpdateValue, ""); }
bool ProgramKey::RemoveOnlyUpdate() { return reg_.ValueExists(kOnlyUpdateValue) && reg_.DeleteValue(kOnlyUpdateValue); }

std::optional<std::string> ProgramKey::ApplicationFileName() const {
  return ReadIfPresent<std::string>(reg_, kApplicationFileNameValue,
                                    [](const TRegistry& r, const char* n) { return r.ReadString(n); });
}
void ProgramKey::SetApplicationFileName(const std::string& command) {
  reg_.WriteString(kApplicationFileNameValue, command);
}

std::optional<base::TDateTime> ProgramKey::TryVersionDate() const { return TryDate(reg_, kVersionDateValue); }
void ProgramKey::SetVersionDate(base::TDateTime date) { reg_.WriteDate(kVersionDateValue, date); }

std::optional<std::uint32_t> ProgramKey::UpdateSerial() const {
  return ReadIfPresent<std::uint32_t>(reg_, kUpdateSerialValue, [](const TRegistry& r, const char* n) {
    return static_cast<std::uint32_t>(r.ReadInteger(n));
  });
}
void ProgramKey::SetUpdateSerial(std::uint32_t serial) {
  reg_.WriteInteger(kUpdateSerialValue, static_cast<std::int32_t>(serial));
}

std::optional<std::uint32_t> ProgramKey::UpdateKeyEpoch() const {
  return ReadIfPresent<std::uint32_t>(reg_, kUpdateKeyEpochValue, [](const TRegistry& r, const char* n) {
    return static_cast<std::uint32_t>(r.ReadInteger(n));
  });
}
void ProgramKey::SetUpdateKeyEpoch(std::uint32_t epoch) {
  reg_.WriteInteger(kUpdateKeyEpochValue, static_cast<std::int32_t>(epoch));
}
std::optional<std::string> ProgramKey::UpdateKeyRetired() const {
  return ReadIfPresent<std::string>(reg_, kUpdateKeyRetiredValue,
                                    [](const TRegistry& r, const char* n) { return r.ReadString(n); });
}
void ProgramKey::SetUpdateKeyRetired(const std::string& ids) { reg_.WriteString(kUpdateKeyRetiredValue, ids); }

std::optional<std::pair<base::TDateTime, std::string>> ProgramKey::Skipped() const {
  const std::optional<base::TDateTime> date = ReadIfPresent<base::TDateTime>(
      reg_, kSkippedDateValue, [](const TRegistry& r, const char* n) { return r.ReadDate(n); });
  if (!date) return std::nullopt;
  // A checksum that cannot be read tells no archive apart: the day alone counts.
  std::string sha256 = TryString(reg_, kSkippedSha256Value).value_or("");
  return std::make_pair(*date, sha256);
}
void ProgramKey::SetSkipped(base::TDateTime date, const std::string& sha256) {
  if (sha256.empty()) {
    if (reg_.ValueExists(kSkippedSha256Value)) reg_.DeleteValue(kSkippedSha256Value);
  } else {
    reg_.WriteString(kSkippedSha256Value, sha256);
  }
  reg_.WriteDate(kSkippedDateValue, date);
}

std::optional<int> ProgramKey::TryRolloutNumber() const {
  const std::optional<std::int32_t> number = TryRead<std::int32_t>([this] {
    return ReadIfPresent<std::int32_t>(reg_, kRolloutNumberValue,
                                       [](const TRegistry& r, const char* n) { return r.ReadInteger(n); });
  });
  if (!number || *number < 0 || *number > 99) return std::nullopt;
  return *number;
}
void ProgramKey::SetRolloutNumber(int number) { reg_.WriteInteger(kRolloutNumberValue, number); }

std::optional<std::string> ProgramKey::TryPreviousVersion() const { return TryString(reg_, kPreviousVersionValue); }
void ProgramKey::SetPreviousVersion(const std::string& text) { reg_.WriteString(kPreviousVersionValue, text); }
bool ProgramKey::RemovePreviousVersion() { return reg_.DeleteValue(kPreviousVersionValue); }

bool ProgramKey::HasUpdateResult() const { return reg_.ValueExists(kUpdateResultValue); }
std::optional<std::string> ProgramKey::TryUpdateResult() const { return TryString(reg_, kUpdateResultValue); }
void ProgramKey::SetUpdateResult(const std::string& value) { reg_.WriteString(kUpdateResultValue, value); }
bool ProgramKey::RemoveUpdateResult() { return reg_.DeleteValue(kUpdateResultValue); }

void ProgramKey::WriteReminder(const Reminder& reminder) {
  switch (reminder.kind) {
    case Reminder::Never:
      if (reg_.ValueExists(kUpdateIntervalValue)) reg_.DeleteValue(kUpdateIntervalValue);
      if (!reg_.ValueExists(kNoUpdateValue)) reg_.WriteString(kNoUpdateValue, "");
      break;
    case Reminder::Interval:
      reg_.WriteInteger(kUpdateIntervalValue, reminder.interval);
      if (reg_.ValueExists(kNoUpdateValue)) reg_.DeleteValue(kNoUpdateValue);
      break;
    case Reminder::Standard:
      break;
  }
}

}  // namespace settings
