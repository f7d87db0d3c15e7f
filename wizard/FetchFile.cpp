// Fetching one file from the update server, directly or through the user's proxy; the archive
// into its held file, continuing what an earlier attempt left.
#include "wizard/FetchFile.h"

#include <exception>
#include <optional>

#include "net/UserProxy.h"
#include "wizard/wizard_rules.h"

namespace wizard {

namespace {

// The proxy the user's Internet options name for `url`'s host; none for a direct connection, and
// none when the URL cannot be read (the request itself reports it).
std::optional<net::TProxyAddress> UserProxyFor(const net::THttpClient& http, const std::string& url) {
  net::TUrlTarget target{url, "", http.Host, http.Port};
  try {
    net::ParseURL(target);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  return net::ProxyFor(net::ReadUserProxySettings(), target.Host, target.Secure);
}

// One GET of `url` into `sink` through the user's proxy, with `options` beside it; `transfer`
// receives the client's own result.
FetchResult Fetch(net::THttpClient& http, const std::string& url, net::TBodySink& sink, net::TRequestOptions options,
                  net::TTransferResult& transfer) {
  FetchResult result;
  options.Proxy = UserProxyFor(http, url);
  if (options.Proxy) result.proxy = net::ProxyText(*options.Proxy);
  transfer = http.Fetch(url, sink, options);
  result.tls = transfer.Tls;
  result.tlsHost = transfer.TlsHost;
  result.proxyAuth = transfer.ProxyAuth || (transfer.Whole && transfer.Status == 407 && !result.proxy.empty());
  if (transfer.Whole) {
    result.status = transfer.Status;
    // The client raises nothing for an error status; its failure events have fired.
    result.arrived = result.status < 400;
    if (result.proxyAuth) {
      result.reason = ProxyAuthText(result.proxy);
    } else if (!result.arrived) {
      result.reason = "Der Server antwortet mit dem Status " + std::to_string(result.status) + ".";
    }
  } else {
    result.reason = result.proxyAuth ? ProxyAuthText(result.proxy) : transfer.Error;
  }
  if (!result.arrived && !result.proxy.empty() && !result.proxyAuth)
    result.reason = "Über den Proxyserver " + result.proxy + ": " + result.reason;
  result.tooLong = transfer.LimitReached;
  return result;
}

// The archive's bodies into its held file. Without kept bytes a reply of status 200 is the
// archive and replaces what the file holds; with them the reply is judged
// (net::JudgeResumeReply): the rest goes behind them, the whole archive replaces them, and a
// reply that does not fit is refused (the whole archive is then asked for again). Any other
// reply's body (a redirection's, an error page) goes behind the kept bytes, never over them. The
// archive takes at most `limit` bytes in all (-1: any), the kept ones included.
class ArchiveSink : public net::TOpenFileSink {
 public:
  ArchiveSink(HANDLE file, const std::string& name, std::int64_t limit, net::TResumePoint& point)
      : TOpenFileSink(file, name), limit_(limit), asked_(point), point_(point) {}

  net::TBodyTake Begin(const net::TResponseInfo& reply, std::optional<std::int64_t> length) override {
    const int status = reply.ReplyCode;
    const net::TResumeVerdict verdict = asked_.Kept > 0 ? net::JudgeResumeReply(asked_, status, reply)
                                        : status == 200 ? net::TResumeVerdict::Whole
                                                        : net::TResumeVerdict::Other;
    taking_ = verdict == net::TResumeVerdict::Append || verdict == net::TResumeVerdict::Whole;
    if (verdict == net::TResumeVerdict::Refetch) return net::TBodyTake::Refuse();
    std::int64_t start = asked_.Kept;
    if (verdict == net::TResumeVerdict::Whole) {
      start = 0;
      point_.Validator = net::IfRangeValidator(reply);
      point_.Total = reply.HasLength ? reply.ExpectedBytes : -1;
    }
    point_.BodyStart = start;
    Place(start, limit_ < 0 ? -1 : limit_ > start ? limit_ - start : 0);
    return TOpenFileSink::Begin(reply, length);
  }

  // The current reply's body is the archive's (whole, or its rest).
  bool Taking() const { return taking_; }

 private:
  std::int64_t limit_;
  const net::TResumePoint asked_;
  net::TResumePoint& point_;
  bool taking_ = false;
};

}  // namespace

FetchResult FetchFile(net::THttpClient& http, const std::string& url, const std::string& file, std::int64_t limit) {
  net::TFileSink sink(file, limit);
  net::TTransferResult transfer;
  net::TRequestOptions options;
  options.NoCache = true;
  return Fetch(http, url, sink, options, transfer);
}

FetchResult FetchArchive(net::THttpClient& http, const std::string& url, HANDLE file, const std::string& name,
                         std::int64_t limit, net::TResumePoint& point) {
  net::TRequestOptions options;
  if (point.Kept > 0) {
    options.Range = "bytes=" + std::to_string(point.Kept) + "-";
    options.IfRange = point.Validator;
  }
  point.BodyStart = 0;
  ArchiveSink sink(file, name, limit, point);
  net::TTransferResult transfer;
  FetchResult result = Fetch(http, url, sink, options, transfer);
  if (transfer.Refused) {
    // The kept bytes cannot be continued: the whole archive from its start.
    point = net::TResumePoint();
    return FetchArchive(http, url, file, name, limit, point);
  }
  const std::int64_t bodyStart = point.BodyStart;
  const std::int64_t held = bodyStart + transfer.BodyBytes;
  result.broken = sink.Taking() && transfer.TransferFailed && held > 0;
  if (result.broken) {
    point.Kept = held;
  } else {
    point = net::TResumePoint();
    point.BodyStart = bodyStart;
  }
  return result;
}

}  // namespace wizard
