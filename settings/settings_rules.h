// The pure rules of a program's update settings: the reminder setting a user chooses, the
// update server a maker sets for testing, and the administrator's policies with what they leave
// of the user's settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/DateTime.h"

namespace settings {

// How often a program reminds its user to search for updates.
struct Reminder {
  enum Kind {
    Never,     // "niemals": "UpdateInterval" deleted, an empty "NoUpdate" written when missing
    Interval,  // every `interval` days: "UpdateInterval" written, then "NoUpdate" deleted
    Standard,  // the program's own default: nothing touched
  } kind = Standard;
  int32_t interval = 0;
};

// The update server as a maker sets it for testing: "host" or "host:port" with a port of 1 to
// 65535, each also after "https://" (the server then speaks TLS). Empty result for
// an empty or malformed text (the built-in server then stays).
struct ServerSetting {
  std::string host;
  int port = 0;  // 0: none given
  bool secure = false;  // "https://"
  // The authority of the server's URLs: "host" or "host:port".
  std::string Authority() const;
  // The start of the server's URLs: "http://" or "https://" and the authority.
  std::string Origin() const;
};
std::optional<ServerSetting> ParseServerSetting(std::string_view text);

// ---- The administrator's policies ---------------------------------------------------------------

// The values of a policy key, for the family ("...\Update") and for one program
// ("...\Update\<registry key>"); they are read only, never written by the family.
extern const char kDisableUpdatesPolicy[];     // "DisableUpdates": DWORD 1 off, 0 on
extern const char kUpdateIntervalPolicy[];     // "UpdateInterval": DWORD, days, the fixed interval
extern const char kMinUpdateIntervalPolicy[];  // "MinUpdateInterval": DWORD, days
extern const char kMaxUpdateIntervalPolicy[];  // "MaxUpdateInterval": DWORD, days
extern const char kUpdateServerPolicy[];       // "UpdateServer": REG_SZ as ParseServerSetting reads it
extern const char kPinnedDatePolicy[];         // "PinnedDate": REG_SZ "dd.MM.yyyy"
extern const char kPinnedSerialPolicy[];       // "PinnedSerial": DWORD, the highest list serial taken
// Every value name above, in that order.
std::vector<std::string> PolicyValueNames();
// The interval values' range in days (the reminder interval's own).
constexpr std::uint32_t kMinPolicyInterval = 1;
constexpr std::uint32_t kMaxPolicyInterval = 365;

// One value of a policy key as the registry holds it.
struct RawPolicyValue {
  enum Type { Absent, Dword, Text, Other } type = Absent;
  std::uint32_t dword = 0;
  std::string text;
};

// The values of one policy key by name; a name not given is absent.
struct PolicyKeyValues {
  std::string where;  // the key's path as the administrator reads it, for the reports
  std::vector<std::pair<std::string, RawPolicyValue>> values;
  RawPolicyValue Get(const std::string& name) const;
};

// What the administrator decided for one program. Without any policy value every member is
// empty and the program behaves as without policies.
struct Policy {
  std::optional<bool> updatesOff;
  std::optional<std::int32_t> interval;  // fixed
  std::optional<std::int32_t> minInterval, maxInterval;
  std::optional<ServerSetting> server;
  std::optional<base::TDateTime> pinnedDate;
  std::optional<std::uint32_t> pinnedSerial;
  // The values that were ignored (wrong type, out of range, min above max), each as
  // "<key path>\<value name>", in the order of reading.
  std::vector<std::string> ignored;

  bool UpdatesOff() const { return updatesOff.value_or(false); }
  // Whether the reminder setting of a user is fixed or bounded by the administrator.
  bool FixesReminder() const { return UpdatesOff() || interval || minInterval || maxInterval; }
};

// The policy from the family's key and the program's: per value, a valid program value wins
// over the family's; an invalid value is ignored (and named in `ignored`), so that the
// family's applies. A "MinUpdateInterval" above the "MaxUpdateInterval" that applies ignores
// both. Text values are compared and read as they are (Windows-1252).
Policy ResolvePolicy(const PolicyKeyValues& family, const PolicyKeyValues& program);

// The reminder as the program applies it under `policy`: `noUpdate` and `interval` are the
// user's stored values ("NoUpdate" present, "UpdateInterval" when readable). Updates off: never.
// A fixed interval: that interval, whatever the user chose. A smallest or largest interval: the
// user's interval brought into the bounds (a user's "never" becomes the largest interval when
// there is one; the program's default of 7 days stands in for a user without an interval).
struct EffectiveReminder {
  bool never = false;
  std::optional<std::int32_t> interval;  // none: the program's default
};
EffectiveReminder ApplyPolicyToReminder(const Policy& policy, bool noUpdate, std::optional<std::int32_t> interval);

// Whether an update of a list passes the pin: its date (`listDate`, none when the list has none
// that can be read) not after "PinnedDate", and, for a signed list (`signedList`), its serial
// (`listSerial`, none when the list has none) not above "PinnedSerial"; the serial pin does not
// apply to lists without a signature. An update whose date or serial cannot be compared with a
// pin that applies does not pass.
bool PassesPin(const Policy& policy, std::optional<base::TDateTime> listDate, bool signedList,
               std::optional<std::uint32_t> listSerial);

}  // namespace settings
