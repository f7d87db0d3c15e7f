// The update server setting a maker sets for testing.
#include "settings/settings_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

TEST(SettingsRules, ServerSettingForTesting) {
  struct Case {
    const char* text;
    const char* authority;  // null: refused
    const char* host;
    int port;
  } cases[] = {
      {"127.0.0.1:8080", "127.0.0.1:8080", "127.0.0.1", 8080},
      {"staging.example", "staging.example", "staging.example", 0},
      {"h:1", "h:1", "h", 1},
      {"h:65535", "h:65535", "h", 65535},
      {"h:65536", nullptr, nullptr, 0},
      {"h:0", nullptr, nullptr, 0},
      {"h:", nullptr, nullptr, 0},
      {":80", nullptr, nullptr, 0},
      {"", nullptr, nullptr, 0},
      {"h:8o", nullptr, nullptr, 0},
      {"h:80:81", nullptr, nullptr, 0},
      {"http://h", nullptr, nullptr, 0},
      // A server that speaks TLS; the scheme's name in any case, nothing else before the host.
      {"https://upd.example.net", "upd.example.net", "upd.example.net", 0},
      {"HTTPS://h:8443", "h:8443", "h", 8443},
      {"https://", nullptr, nullptr, 0},
      {"https://h/x", nullptr, nullptr, 0},
      {"https:/h", nullptr, nullptr, 0},
      {"ftp://h", nullptr, nullptr, 0},
      {"h/x", nullptr, nullptr, 0},
      {"a b", nullptr, nullptr, 0},
      {"h:0000080", nullptr, nullptr, 0},
  };
  for (const Case& c : cases) {
    auto s = settings::ParseServerSetting(c.text);
    if (!c.authority) {
      EXPECT_FALSE(s) << c.text;
      continue;
    }
    ASSERT_TRUE(s) << c.text;
    EXPECT_EQ(s->Authority(), c.authority);
    const bool secure = std::string(c.text).find("://") != std::string::npos;
    EXPECT_EQ(s->Origin(), (secure ? "https://" : "http://") + std::string(c.authority));
    EXPECT_EQ(s->host, c.host);
    EXPECT_EQ(s->port, c.port);
  }
}

namespace {

using settings::RawPolicyValue;

RawPolicyValue Dword(std::uint32_t v) {
  RawPolicyValue r;
  r.type = RawPolicyValue::Dword;
  r.dword = v;
  return r;
}
RawPolicyValue Text(const char* t) {
  RawPolicyValue r;
  r.type = RawPolicyValue::Text;
  r.text = t;
  return r;
}
RawPolicyValue Binary() {
  RawPolicyValue r;
  r.type = RawPolicyValue::Other;
  return r;
}

}  // namespace

// One value in the family's key, the program's, or both: which applies, and what is ignored.
TEST(SettingsRules, PolicyValuesWinByKeyAndAreIgnoredWhenInvalid) {
  struct Case {
    const char* name;
    std::optional<RawPolicyValue> family, program;
    std::string applies;  // the resolved member as text; "" none
    std::string ignored;  // the names ignored, joined by ","
  } cases[] = {
      {"DisableUpdates", Dword(1), std::nullopt, "off", ""},
      {"DisableUpdates", Dword(1), Dword(0), "on", ""},  // the program's value wins
      {"DisableUpdates", Dword(0), Dword(1), "off", ""},
      {"DisableUpdates", Dword(2), std::nullopt, "", "F\\DisableUpdates"},
      {"DisableUpdates", Dword(1), Text("1"), "off", "P\\DisableUpdates"},  // the family's stands in
      {"UpdateInterval", Dword(14), std::nullopt, "14", ""},
      {"UpdateInterval", Dword(14), Dword(3), "3", ""},
      {"UpdateInterval", Dword(0), std::nullopt, "", "F\\UpdateInterval"},
      {"UpdateInterval", Dword(365), Dword(366), "365", "P\\UpdateInterval"},
      {"UpdateInterval", Binary(), std::nullopt, "", "F\\UpdateInterval"},
      {"UpdateServer", Text("mirror.intern:8080"), std::nullopt, "http://mirror.intern:8080", ""},
      {"UpdateServer", Text("https://m.intern"), Text("ftp://x"), "https://m.intern", "P\\UpdateServer"},
      {"UpdateServer", Dword(1), std::nullopt, "", "F\\UpdateServer"},
      {"PinnedDate", Text("01.03.2026"), std::nullopt, "46082", ""},
      {"PinnedDate", Text("1.3.2026"), std::nullopt, "46082", ""},
      {"PinnedDate", Text("2026-03-01"), std::nullopt, "", "F\\PinnedDate"},
      {"PinnedSerial", Dword(0), std::nullopt, "0", ""},
      {"PinnedSerial", Text("5"), std::nullopt, "", "F\\PinnedSerial"},
  };
  for (const Case& c : cases) {
    settings::PolicyKeyValues family{"F", {}}, program{"P", {}};
    if (c.family) family.values.emplace_back(c.name, *c.family);
    if (c.program) program.values.emplace_back(c.name, *c.program);
    const settings::Policy p = settings::ResolvePolicy(family, program);
    std::string applies;
    if (p.updatesOff) applies = *p.updatesOff ? "off" : "on";
    if (p.interval) applies = std::to_string(*p.interval);
    if (p.server) applies = p.server->Origin();
    if (p.pinnedDate) applies = std::to_string(static_cast<long>(*p.pinnedDate));
    if (p.pinnedSerial) applies = std::to_string(*p.pinnedSerial);
    std::string ignored;
    for (const std::string& n : p.ignored) ignored += (ignored.empty() ? "" : ",") + n;
    EXPECT_EQ(applies, c.applies) << c.name;
    EXPECT_EQ(ignored, c.ignored) << c.name;
  }
  // Nothing at all: nothing decided, as without policies.
  const settings::Policy none = settings::ResolvePolicy({}, {});
  EXPECT_FALSE(none.FixesReminder());
  EXPECT_FALSE(none.server || none.pinnedDate || none.pinnedSerial || none.updatesOff);
}

TEST(SettingsRules, ReminderUnderThePolicy) {
  settings::Policy off, fixed, bounded, largest, smallest, crossed;
  off.updatesOff = true;
  fixed.interval = 30;
  bounded.minInterval = 3;
  bounded.maxInterval = 14;
  largest.maxInterval = 14;
  smallest.minInterval = 10;
  struct Case {
    const settings::Policy* policy;
    bool noUpdate;
    std::optional<std::int32_t> interval;
    bool never;
    std::optional<std::int32_t> result;
  } cases[] = {
      {&crossed, false, std::nullopt, false, std::nullopt},  // no policy: the user's own
      {&crossed, true, std::nullopt, true, std::nullopt},
      {&crossed, false, 0, false, std::nullopt},  // below 1: the default
      {&off, false, 5, true, std::nullopt},
      {&fixed, true, 5, false, 30},
      {&bounded, false, 1, false, 3},
      {&bounded, false, 20, false, 14},
      {&bounded, false, 7, false, 7},
      {&bounded, false, std::nullopt, false, std::nullopt},  // the default of 7 lies within
      {&bounded, true, std::nullopt, false, 14},            // "never" becomes the largest
      {&largest, false, 100, false, 14},
      {&smallest, false, std::nullopt, false, 10},  // the default of 7 is brought up
      {&smallest, true, std::nullopt, true, std::nullopt},  // no largest: "never" stays
  };
  for (const Case& c : cases) {
    const settings::EffectiveReminder r = settings::ApplyPolicyToReminder(*c.policy, c.noUpdate, c.interval);
    EXPECT_EQ(r.never, c.never) << &c - cases;
    EXPECT_EQ(r.interval, c.result) << &c - cases;
  }
  // A smallest interval above the largest: both ignored.
  settings::PolicyKeyValues family{"F", {{"MinUpdateInterval", Dword(20)}, {"MaxUpdateInterval", Dword(10)}}};
  const settings::Policy p = settings::ResolvePolicy(family, {});
  EXPECT_FALSE(p.minInterval || p.maxInterval);
  EXPECT_EQ(p.ignored.size(), 1u);
}

TEST(SettingsRules, PinKeepsOutLaterListsOnly) {
  settings::Policy date, serial, none;
  date.pinnedDate = 46082;  // 1.3.2026
  serial.pinnedSerial = 7;
  EXPECT_TRUE(settings::PassesPin(date, 46082, false, std::nullopt));
  EXPECT_TRUE(settings::PassesPin(date, 46081.75, false, std::nullopt));
  EXPECT_FALSE(settings::PassesPin(date, 46083, false, std::nullopt));
  EXPECT_FALSE(settings::PassesPin(date, std::nullopt, false, std::nullopt));  // no date: not comparable
  EXPECT_TRUE(settings::PassesPin(serial, 99999, true, 7));
  EXPECT_FALSE(settings::PassesPin(serial, 1, true, 8));
  EXPECT_FALSE(settings::PassesPin(serial, 1, true, std::nullopt));
  EXPECT_TRUE(settings::PassesPin(serial, 1, false, std::nullopt));  // an unsigned list has no serial to pin
  EXPECT_TRUE(settings::PassesPin(none, std::nullopt, true, std::nullopt));
}
