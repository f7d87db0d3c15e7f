// The update server setting's parsing, and the administrator's policies: their values, which
// one applies, and what they leave of the user's reminder.
#include "settings/settings_rules.h"

#include "base/StrUtils.h"
#include "base/list_dates.h"

namespace settings {

std::string ServerSetting::Authority() const {
  return port ? host + ":" + base::IntToStr(port) : host;
}

std::string ServerSetting::Origin() const { return (secure ? "https://" : "http://") + Authority(); }

std::optional<ServerSetting> ParseServerSetting(std::string_view text) {
  ServerSetting s;
  auto startsWith = [&](std::string_view scheme) {
    if (text.size() < scheme.size()) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
      const char c = text[i];
      if ((c >= 'A' && c <= 'Z' ? c + 32 : c) != scheme[i]) return false;
    }
    return true;
  };
  if (startsWith("https://")) {
    s.secure = true;
    text.remove_prefix(8);
  }
  size_t colon = text.find(':');
  s.host = std::string(text.substr(0, colon));
  if (s.host.empty()) return std::nullopt;
  for (unsigned char c : s.host)
    if (c <= ' ' || c == '/' || c == '\\' || c == '@' || c == '?' || c == '#') return std::nullopt;
  if (colon != std::string_view::npos) {
    std::string_view digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    int port = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return std::nullopt;
      port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) return std::nullopt;
    s.port = port;
  }
  return s;
}

// ---- The administrator's policies ---------------------------------------------------------------

const char kDisableUpdatesPolicy[] = "DisableUpdates";
const char kUpdateIntervalPolicy[] = "UpdateInterval";
const char kMinUpdateIntervalPolicy[] = "MinUpdateInterval";
const char kMaxUpdateIntervalPolicy[] = "MaxUpdateInterval";
const char kUpdateServerPolicy[] = "UpdateServer";
const char kPinnedDatePolicy[] = "PinnedDate";
const char kPinnedSerialPolicy[] = "PinnedSerial";

std::vector<std::string> PolicyValueNames() {
  return {kDisableUpdatesPolicy, kUpdateIntervalPolicy, kMinUpdateIntervalPolicy, kMaxUpdateIntervalPolicy,
          kUpdateServerPolicy,   kPinnedDatePolicy,     kPinnedSerialPolicy};
}

RawPolicyValue PolicyKeyValues::Get(const std::string& name) const {
  for (const auto& [n, value] : values)
    if (n == name) return value;
  return RawPolicyValue();
}

namespace {

// One value read from the program's key, else from the family's: the first that `read` takes.
// A present value that `read` refuses is named in `ignored`.
template <typename T, typename Read>
std::optional<T> Resolve(const PolicyKeyValues& family, const PolicyKeyValues& program, const char* name, Read read,
                         std::vector<std::string>& ignored) {
  std::optional<T> found;
  for (const PolicyKeyValues* key : {&program, &family}) {
    const RawPolicyValue raw = key->Get(name);
    if (raw.type == RawPolicyValue::Absent) continue;
    std::optional<T> value = read(raw);
    if (!value) {
      ignored.push_back(key->where + "\\" + name);
      continue;
    }
    if (!found) found = value;
  }
  return found;
}

std::optional<std::int32_t> ReadInterval(const RawPolicyValue& raw) {
  if (raw.type != RawPolicyValue::Dword || raw.dword < kMinPolicyInterval || raw.dword > kMaxPolicyInterval)
    return std::nullopt;
  return static_cast<std::int32_t>(raw.dword);
}

}  // namespace

Policy ResolvePolicy(const PolicyKeyValues& family, const PolicyKeyValues& program) {
  Policy p;
  p.updatesOff = Resolve<bool>(
      family, program, kDisableUpdatesPolicy,
      [](const RawPolicyValue& raw) -> std::optional<bool> {
        if (raw.type != RawPolicyValue::Dword || raw.dword > 1) return std::nullopt;
        return raw.dword == 1;
      },
      p.ignored);
  p.interval = Resolve<std::int32_t>(family, program, kUpdateIntervalPolicy, ReadInterval, p.ignored);
  p.minInterval = Resolve<std::int32_t>(family, program, kMinUpdateIntervalPolicy, ReadInterval, p.ignored);
  p.maxInterval = Resolve<std::int32_t>(family, program, kMaxUpdateIntervalPolicy, ReadInterval, p.ignored);
  if (p.minInterval && p.maxInterval && *p.minInterval > *p.maxInterval) {
    p.ignored.push_back(std::string(kMinUpdateIntervalPolicy) + " > " + kMaxUpdateIntervalPolicy);
    p.minInterval.reset();
    p.maxInterval.reset();
  }
  p.server = Resolve<ServerSetting>(
      family, program, kUpdateServerPolicy,
      [](const RawPolicyValue& raw) -> std::optional<ServerSetting> {
        if (raw.type != RawPolicyValue::Text) return std::nullopt;
        return ParseServerSetting(raw.text);
      },
      p.ignored);
  p.pinnedDate = Resolve<base::TDateTime>(
      family, program, kPinnedDatePolicy,
      [](const RawPolicyValue& raw) -> std::optional<base::TDateTime> {
        if (raw.type != RawPolicyValue::Text) return std::nullopt;
        return base::TryParsePublishedDate(raw.text);
      },
      p.ignored);
  p.pinnedSerial = Resolve<std::uint32_t>(
      family, program, kPinnedSerialPolicy,
      [](const RawPolicyValue& raw) -> std::optional<std::uint32_t> {
        if (raw.type != RawPolicyValue::Dword) return std::nullopt;
        return raw.dword;
      },
      p.ignored);
  return p;
}

EffectiveReminder ApplyPolicyToReminder(const Policy& policy, bool noUpdate, std::optional<std::int32_t> interval) {
  EffectiveReminder r;
  if (policy.UpdatesOff()) {
    r.never = true;
    return r;
  }
  if (policy.interval) {
    r.interval = policy.interval;
    return r;
  }
  r.never = noUpdate;
  // A stored interval below 1 is the program's default of 7 days.
  if (interval && *interval >= 1) r.interval = interval;
  if (!policy.minInterval && !policy.maxInterval) return r;
  if (r.never) {
    if (!policy.maxInterval) return r;
    r.never = false;
    r.interval = policy.maxInterval;
    return r;
  }
  std::int32_t days = r.interval.value_or(7);
  if (policy.minInterval && days < *policy.minInterval) days = *policy.minInterval;
  if (policy.maxInterval && days > *policy.maxInterval) days = *policy.maxInterval;
  if (r.interval || days != 7) r.interval = days;
  return r;
}

bool PassesPin(const Policy& policy, std::optional<base::TDateTime> listDate, bool signedList,
               std::optional<std::uint32_t> listSerial) {
  if (policy.pinnedDate && (!listDate || static_cast<std::int64_t>(*listDate) > static_cast<std::int64_t>(*policy.pinnedDate)))
    return false;
  if (signedList && policy.pinnedSerial && (!listSerial || *listSerial > *policy.pinnedSerial)) return false;
  return true;
}

}  // namespace settings
