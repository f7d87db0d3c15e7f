// Fetching one file from the update server.
#include "wizard/FetchFile.h"

#include <exception>

namespace wizard {

FetchResult FetchFile(net::THttpClient& http, const std::string& url, const std::string& file, std::int64_t limit) {
  FetchResult result;
  http.Body = file;
  http.MaxBodyBytes = limit;
  try {
    http.Get(url);
    result.status = http.ReplyCode();
    // The client raises nothing for an error status; its failure events have fired.
    result.arrived = result.status < 400;
    if (!result.arrived) result.reason = "Der Server antwortet mit dem Status " + std::to_string(result.status) + ".";
  } catch (const std::exception& e) {
    result.reason = e.what();
  } catch (...) {
    result.reason = "Die Übertragung ist fehlgeschlagen.";
  }
  // A transfer that ended with an error may have stopped at the limit; a whole reply never did.
  if (!result.arrived && result.status == 0) result.tooLong = http.BodyLimitReached();
  http.MaxBodyBytes = -1;
  return result;
}

}  // namespace wizard
