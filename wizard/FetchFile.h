// The one way the wizard fetches a file from the update server: the update list, its signature
// and the archive. The result says whether the file arrived whole, and if not, why. Every fetch
// goes through the proxy that the user's Internet options name for the server's host (none when
// they name none, or the host bypasses it).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "net/HttpClient.h"

namespace wizard {

struct FetchResult {
  bool arrived = false;  // a whole reply with a status below 400 came: the file holds its body
  int status = 0;        // the reply's status; 0 when no whole reply came
  bool tooLong = false;  // the body passed the size limit (the file holds no more than its first bytes)
  // The body of a reply with status 200 or 206 broke off (reset, time-out, cut short): the file
  // holds its first bytes (FetchArchive only).
  bool broken = false;
  std::string proxy;     // "host:port" of the proxy the request went through; empty: direct
  std::string reason;    // why the file did not arrive, for messages (naming the proxy when one
                         // was used); empty when it arrived
  // No secure connection: why, and the host it was to.
  net::TTlsFault tls = net::TTlsFault::None;
  std::string tlsHost;
  bool proxyAuth = false;  // the proxy asks for a password (a 407, also for a tunnel)
};

// Fetches `url` with `http` (borrowed; its settings and events stay as they are) into `file`,
// taking at most `limit` bytes of body (-1: any). A reply with an error status is written into
// the file like any other and counts as not arrived. Through a proxy the request says that no
// cached copy will do (the list and its signature must be the server's current pair). Throws
// nothing.
FetchResult FetchFile(net::THttpClient& http, const std::string& url, const std::string& file, std::int64_t limit);

// Fetches the archive at `url` into `file` (borrowed: open for reading and writing; `name`
// names it in errors), the whole archive taking at most `limit` bytes (-1: any). When `point`
// keeps bytes of an earlier attempt, only the rest is asked for ("Range", and "If-Range" with the
// point's validator) and appended behind them if the reply fits exactly (net::JudgeResumeReply);
// a reply of the whole archive replaces them, and a reply that does not fit (416, another range,
// another validator) is dropped and the whole archive asked for again; the body of any other
// reply (a redirection, an error page) goes behind them, never over them. While a body comes and
// after it, `point.BodyStart` tells how many bytes of the file lie in front of it. Afterwards
// `point` tells what a further attempt can continue from: the bytes in the file, the validator and
// length the reply of the whole archive gave (Kept 0 unless the result is `broken`). Throws
// nothing.
FetchResult FetchArchive(net::THttpClient& http, const std::string& url, HANDLE file, const std::string& name,
                         std::int64_t limit, net::TResumePoint& point);

}  // namespace wizard
