// The pure rules of a program's update settings: the reminder setting a user chooses, and the
// update server a maker sets for testing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

}  // namespace settings
