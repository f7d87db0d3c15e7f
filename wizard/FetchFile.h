// The one way the wizard fetches a file from the update server: the update list, its signature
// and the archive. The result says whether the file arrived whole, and if not, why.
#pragma once

#include <cstdint>
#include <string>

#include "net/HttpClient.h"

namespace wizard {

struct FetchResult {
  bool arrived = false;  // a whole reply with a status below 400 came: the file holds its body
  int status = 0;        // the reply's status; 0 when no whole reply came
  bool tooLong = false;  // the body passed the size limit (the file holds its first bytes)
  std::string reason;    // why the file did not arrive, for messages; empty when it arrived
};

// Fetches `url` with `http` (borrowed; its settings and events stay as they are) into `file`,
// taking at most `limit` bytes of body (-1: any). A reply with an error status is written into
// the file like any other and counts as not arrived. Throws nothing.
FetchResult FetchFile(net::THttpClient& http, const std::string& url, const std::string& file, std::int64_t limit);

}  // namespace wizard
