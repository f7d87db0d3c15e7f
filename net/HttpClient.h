// THttpClient: the HTTP/1.0 client on the socket session, with the encoders TUrlEncoder and
// TUUEncoder that its requests use.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "net/BodySink.h"
#include "net/SocketSession.h"
#include "net/proxy_rules.h"
#include "net/tls_rules.h"

namespace net {

using TResultEvent = std::function<void(CmdType cmd)>;
using TOnErrorEvent =
    std::function<void(TComponent* sender, const std::string& operation, const std::string& errMsg)>;

// Form encoding of InputString ("a b&c" becomes "a+b%26c").
class TUrlEncoder : public TComponent {
 public:
  using TComponent::TComponent;
  std::string InputString;
  TOnErrorEvent OnError;
  // The encoded InputString; on a failure OnError(Self, "Error during encode", message) and the
  // input unchanged.
  std::string Encode();
};

// Base64 (uuMime) or uuencode (uuCode) of a stream into lines of 45 input bytes each.
class TUUEncoder : public TComponent {
 public:
  using TComponent::TComponent;
  UUMethods Method = UUMethods::uuMime;
  TNotifyEvent OnBeginEncode, OnEndEncode, OnBeginDecode, OnEndDecode;
  // Reads `input` from its start and writes the encoded lines (CR LF each) to `output`; both are
  // rewound afterwards, also after a failure, and OnEndEncode fires.
  void EncodeStream(std::iostream& input, std::iostream& output);
};

// What one request asks beyond the client's own settings, for every request of its chain of
// redirections.
struct TRequestOptions {
  // The proxy the request goes through (an empty Host: none); unset: the client's own Proxy and
  // ProxyPort.
  std::optional<TProxyAddress> Proxy;
  // "Range" and "If-Range" (see THeaderInfo); empty: the client's own HeaderInfo.
  std::string Range;
  std::string IfRange;
  // Through a proxy, the request says that no cached copy will do ("Pragma: no-cache",
  // "Cache-Control: no-cache"); a direct request stays as it is.
  bool NoCache = false;
};

// What a transfer came to. A whole reply (Whole), a body the sink refused (Refused), a body past
// the sink's limit (LimitReached), or an error (Error, with TransferFailed for one of the
// transfer layer); exactly one of them.
struct TTransferResult {
  int Status = 0;               // the last request's reply status; 0 when its header did not come whole
  bool Whole = false;           // the last reply came whole; its status events have fired
  bool Refused = false;         // the sink refused the last reply's body: it was not read
  bool LimitReached = false;    // the last reply's body was longer than the sink takes
  // The transfer layer failed (an ESockError: no connection, a socket error, a time-out, a
  // cancel, a reply against the rules). Error says why.
  bool TransferFailed = false;
  std::string Error;            // why no whole reply came; empty for Whole and Refused
  std::int64_t BodyBytes = 0;   // bytes of the last reply's body that went into the sink
  // A secure connection that was refused (its certificate, or the handshake), and the host.
  TTlsFault Tls = TTlsFault::None;
  std::string TlsHost;
  bool ProxyAuth = false;       // the proxy wants a password (407)
};

// One call (Get, Post, ..., Fetch) performs a whole exchange: URL, request header, connect,
// request, response header, body, status events, redirections, disconnect. Each reply's body
// goes into a sink (TBodySink): the one Fetch is given, or for the other calls the file named by
// Body (InputFileMode) or Body itself as text. The body ends with its announced Content-Length
// (bytes past it are not read) or, without one, where the server closes. The status events (and
// "Transaction Completed") come before the disconnect.
// Statuses of 400 and above fire OnFailure and raise nothing; connection, socket and time-out
// failures raise ESockError or EAbortError after the disconnect, and then no status event fires.
// EHttpError (an ESockError) reports a reply that is no complete HTTP reply: no valid status line,
// a header cut off, beyond 1 MiB or 1,000 lines or not complete within HeaderTimeLimit, a body shorter than
// announced (its bytes kept), a body longer than the sink takes, a redirection without a Location;
// and a chain of more than 20 repetitions (redirections, 299 and 399). A cookie received with a
// redirection goes only to the host that sent it.
// An "https" URL is fetched over TLS (StartTls): through a proxy, in a tunnel the proxy opens
// (CONNECT; a 407 raises EHttpError "Proxy requires authentication (407)"). A redirection from
// an "https" URL to one without TLS raises EHttpError "Redirection from https to http refused";
// one from "http" to "https" is followed, to any host.
class THttpClient : public TSocketSession {
 public:
  explicit THttpClient(TComponent* owner);

  // --- Properties
  std::string Body = "Default.htm";  // InputFileMode: the body's file; else the body text
  std::string Header = "Head.txt";   // OutputFileMode: the header's file; else the header text
  THeaderInfo HeaderInfo;
  bool InputFileMode = false;
  bool OutputFileMode = false;
  bool EncodePostData = true;

  TNotifyEvent OnAboutToSend;
  TResultEvent OnSuccess;    // status below 299
  TResultEvent OnFailure;    // status above 399
  THandlerEvent OnRedirect;  // status 300 to 398; Handled = true stops following
  TNotifyEvent OnAuthenticationNeeded;  // status 401

  // --- Requests (the URL first)
  // A GET of `url` whose bodies go into `sink` (borrowed), with `options` for this request only;
  // Body and InputFileMode play no part. Raises nothing: the result says how it ended. The
  // events fire as for Get.
  TTransferResult Fetch(const std::string& url, TBodySink& sink, const TRequestOptions& options = {});
  // These raise their errors (see above).
  virtual void Get(const std::string& url);
  virtual void Options(const std::string& url);
  virtual void Head(const std::string& url);
  virtual void Post(const std::string& url, const std::string& data);
  virtual void Put(const std::string& url, const std::string& data);
  virtual void Patch(const std::string& url, const std::string& data);
  virtual void Delete(const std::string& url);
  virtual void Trace(const std::string& url, const std::string& data);
  virtual void Copy(const std::string& url, const std::string& target);
  virtual void Move(const std::string& url, const std::string& target);
  virtual void Link(const std::string& url, const std::string& link);
  virtual void Unlink(const std::string& url, const std::string& link);
  virtual void SendRaw(const std::string& url, const std::string& data);

  // Marks the lookup or wait as ended, then cancels (usable from OnPacketRecvd).
  void Abort() override;

  // --- State of the last request
  const std::string& CurrentURL() const { return currentURL_; }
  const std::string& RequestPath() const { return requestPath_; }
  const std::vector<std::string>& HeaderLines() const { return headerLines_; }
  const std::string& RedirectLocation() const { return redirectLocation_; }
  const std::string& ReceivedCookie() const { return receivedCookie_; }
  CmdType CurrentCmd() const { return currentCmd_; }
  // Repetitions the last transfer made (redirections included).
  int Hops() const { return hops_; }

  // Longest time in milliseconds that the response header may take in all, when TimeOut is set
  // (the silence limit applies within it); 0 = none.
  int HeaderTimeLimit = 60000;

 protected:
  // The exchange of the current request, its bodies into `sink`; raises its errors.
  virtual void Transfer(TBodySink& sink);
  virtual void ParseURL();
  virtual void BuildRequestHeader();
  virtual void ReadResponseHeader();
  virtual void SendRequest();
  // The request's own proxy when it has one.
  TConnectTarget ConnectTarget() const override;
  // True when the request goes through a proxy.
  bool Proxied() const;
  // Asks the proxy for a tunnel to Host:Port and reads its answer. Throws EHttpError.
  void OpenTunnel();

 private:
  // Sets up the request and runs Transfer; `sink` none: the body goes where Body and
  // InputFileMode say.
  void Start(CmdType cmd, const std::string& url, const std::string& data, const std::string& target,
             TBodySink* sink = nullptr, const TRequestOptions& options = {});
  // One reply's body into `sink` as it takes it; `length` as BodyLengthFor gives it.
  void TakeBody(TBodySink& sink, const TBodyTake& take, std::optional<std::int64_t> length);
  std::int64_t DataLength();
  // One exchange's connection: Close disconnects (and may throw); an exchange left by an
  // exception disconnects at the owner's end, dropping that disconnect's own error.
  class Connection {
   public:
    explicit Connection(THttpClient& client) : client_(client) {}
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    void Close();

   private:
    THttpClient& client_;
    bool open_ = true;
  };

  std::string currentURL_;
  std::string requestPath_;
  std::vector<std::string> headerLines_;
  std::string redirectLocation_;
  std::string receivedCookie_;
  TResponseInfo responseInfo_;
  bool hasLength_ = false;  // the reply announced its length (ExpectedBytes may be 0)
  TRequestOptions options_;  // of the request under way
  TTransferResult result_;   // what it has come to so far
  std::string cookieValue_;  // the cookie taken from a reply, and the host it came from
  std::string cookieHost_;
  std::string urlUserId_;  // credentials of the current URL
  std::string urlPassword_;
  std::string sendData_;
  std::string targetURI_;
  CmdType currentCmd_ = CmdType::Get;
  int hops_ = 0;
  bool secure_ = false;  // the current URL is "https"
};

// The update engine's transfer settings: port 21 until the URL names its own, 10 s of silence,
// no status reports, the body into `bodyFile`, the header as text. Every fetch of the update
// road uses them, and httpget too, so that a maker checks a server with exactly the client the
// programs use.
void UseUpdateTransferSettings(THttpClient& http, const std::string& bodyFile);

}  // namespace net
