// The update server setting a maker sets for testing.
#include "settings/settings_rules.h"

#include <gtest/gtest.h>

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
