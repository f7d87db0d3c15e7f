// Fetching one file from the update server, directly or through the user's proxy.
#include "wizard/FetchFile.h"

#include <exception>
#include <optional>

#include "net/UserProxy.h"

namespace wizard {

namespace {

// The user's proxy for `url`'s host on `http` from its making to its end; the client's own proxy
// settings come back afterwards.
class UserProxyScope {
 public:
  UserProxyScope(net::THttpClient& http, const std::string& url)
      : http_(http), savedProxy_(http.Proxy), savedPort_(http.ProxyPort) {
    net::TUrlTarget target{url, "", http.Host, http.Port};
    try {
      net::ParseURL(target);
    } catch (const std::exception&) {
      return;  // the request itself reports the URL
    }
    proxy_ = net::ProxyFor(net::ReadUserProxySettings(), target.Host);
    if (!proxy_) return;
    http.Proxy = proxy_->Host;
    http.ProxyPort = proxy_->Port;
  }
  ~UserProxyScope() {
    http_.Proxy = savedProxy_;
    http_.ProxyPort = savedPort_;
  }
  UserProxyScope(const UserProxyScope&) = delete;
  UserProxyScope& operator=(const UserProxyScope&) = delete;
  // "host:port" of the proxy in use; empty: direct.
  std::string Text() const { return proxy_ ? net::ProxyText(*proxy_) : std::string(); }

 private:
  net::THttpClient& http_;
  std::string savedProxy_;
  int savedPort_;
  std::optional<net::TProxyAddress> proxy_;
};

// One Get of `url` with the body limit `limit`, and its result. `transferError` tells whether it
// ended with an error of the transfer layer.
FetchResult Fetch(net::THttpClient& http, const std::string& url, std::int64_t limit, bool& transferError) {
  FetchResult result;
  transferError = false;
  const UserProxyScope proxy(http, url);
  result.proxy = proxy.Text();
  http.MaxBodyBytes = limit;
  try {
    http.Get(url);
    result.status = http.ReplyCode();
    // The client raises nothing for an error status; its failure events have fired.
    result.arrived = result.status < 400;
    if (result.status == 407 && !result.proxy.empty()) {
      result.reason = "Der Proxyserver " + result.proxy + " verlangt eine Anmeldung (Status 407).";
    } else if (!result.arrived) {
      result.reason = "Der Server antwortet mit dem Status " + std::to_string(result.status) + ".";
    }
  } catch (const net::ESockError& e) {
    transferError = true;
    result.reason = e.what();
  } catch (const std::exception& e) {
    result.reason = e.what();
  } catch (...) {
    result.reason = "Die Übertragung ist fehlgeschlagen.";
  }
  if (!result.arrived && !result.proxy.empty() && result.status != 407)
    result.reason = "Über den Proxyserver " + result.proxy + ": " + result.reason;
  // A transfer that ended with an error may have stopped at the limit; a whole reply never did.
  if (!result.arrived && result.status == 0) result.tooLong = http.BodyLimitReached();
  http.MaxBodyBytes = -1;
  return result;
}

}  // namespace

FetchResult FetchFile(net::THttpClient& http, const std::string& url, const std::string& file, std::int64_t limit) {
  http.Body = file;
  bool transferError = false;
  return Fetch(http, url, limit, transferError);
}

FetchResult FetchArchive(net::THttpClient& http, const std::string& url, HANDLE file, const std::string& name,
                         std::int64_t limit, net::TResumePoint& point) {
  const net::TResumePoint asked = point;
  const bool resuming = asked.Kept > 0;
  bool taking = false;   // the current reply's body is the archive's (whole, or its rest)
  bool refetch = false;  // the reply cannot be used: the whole archive is asked for again
  http.Body = name;
  http.BodyHandle = file;
  http.BodyOffset = 0;
  http.HeaderInfo.Range = resuming ? "bytes=" + std::to_string(asked.Kept) + "-" : std::string();
  http.HeaderInfo.IfRange = resuming ? asked.Validator : std::string();
  const net::TNotifyEvent saved = http.OnHeaderReceived;
  http.OnHeaderReceived = [&](toolkit::TComponent*) {
    const net::TResponseInfo& info = http.ResponseInfo();
    const int status = http.ReplyCode();
    const net::TResumeVerdict verdict = resuming ? net::JudgeResumeReply(asked, status, info)
                                        : status == 200 ? net::TResumeVerdict::Whole
                                                        : net::TResumeVerdict::Other;
    taking = verdict == net::TResumeVerdict::Append || verdict == net::TResumeVerdict::Whole;
    switch (verdict) {
      case net::TResumeVerdict::Append:
        http.BodyOffset = asked.Kept;
        http.MaxBodyBytes = limit < 0 ? -1 : limit > asked.Kept ? limit - asked.Kept : 0;
        break;
      case net::TResumeVerdict::Whole:
        http.BodyOffset = 0;
        http.MaxBodyBytes = limit;
        point.Validator = net::IfRangeValidator(info);
        point.Total = info.HasLength ? info.ExpectedBytes : -1;
        break;
      case net::TResumeVerdict::Refetch:
        refetch = true;
        http.Abort();
        break;
      case net::TResumeVerdict::Other:
        // A redirection's or an error's body goes behind the kept bytes, never over them.
        http.BodyOffset = asked.Kept;
        break;
    }
  };
  bool transferError = false;
  FetchResult result = Fetch(http, url, limit, transferError);
  http.OnHeaderReceived = saved;
  http.HeaderInfo.Range.clear();
  http.HeaderInfo.IfRange.clear();
  http.BodyHandle = nullptr;
  if (refetch) {
    // The kept bytes cannot be continued: the whole archive from its start.
    point = net::TResumePoint();
    return FetchArchive(http, url, file, name, limit, point);
  }
  result.broken = taking && transferError && !result.tooLong && http.BodyOffset + http.ReceivedBytes() > 0;
  point.Kept = result.broken ? http.BodyOffset + http.ReceivedBytes() : 0;
  if (!result.broken) point = net::TResumePoint();
  return result;
}

}  // namespace wizard
