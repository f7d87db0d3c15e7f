// THttpClient: the HTTP/1.0 client on the socket session, with the encoders TUrlEncoder and
// TUUEncoder that its requests use.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "net/SocketSession.h"

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

// One call (Get, Post, ...) performs a whole exchange: URL, request header, connect, request,
// response header, body, status events, redirections, disconnect. The body ends with its
// announced Content-Length (bytes past it are not read) or, without one, where the server closes.
// The status events (and "Transaction Completed") come before the disconnect.
// Statuses of 400 and above fire OnFailure and raise nothing; connection, socket and time-out
// failures raise ESockError or EAbortError after the disconnect, and then no status event fires.
// EHttpError (an ESockError) reports a reply that is no complete HTTP reply: no valid status line,
// a header cut off, beyond 1 MiB or 1,000 lines or not complete within HeaderTimeLimit, a body shorter than
// announced (its bytes kept), a redirection without a Location; and a chain of more than 20
// repetitions (redirections, 299 and 399). A cookie received with a redirection goes only to
// the host that sent it.
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
  // After each reply's header, before its body: ReplyCode and ResponseInfo tell what came, and
  // the handler may still change BodyOffset and MaxBodyBytes for this body, or Abort.
  TNotifyEvent OnHeaderReceived;

  // With InputFileMode: an open file (borrowed; opened for writing, the caller keeps it) that
  // takes the body instead of the file named by Body, which then only names it in errors. Each
  // reply's body goes from BodyOffset on, the file cut there first.
  HANDLE BodyHandle = nullptr;
  std::int64_t BodyOffset = 0;

  // --- Requests (the URL first)
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
  // What the last reply header said (status, length, range, validators).
  const TResponseInfo& ResponseInfo() const { return responseInfo_; }
  CmdType CurrentCmd() const { return currentCmd_; }
  // Repetitions the last transfer made (redirections included).
  int Hops() const { return hops_; }

  // The longest body the caller takes, in bytes; -1 = any. A reply that announces a longer body
  // ends with EHttpError before its body is read, one without a length as soon as it passes the
  // limit (the bytes up to it stay in Body); BodyLimitReached then tells why it ended.
  std::int64_t MaxBodyBytes = -1;
  bool BodyLimitReached() const { return bodyLimitReached_; }

  // Longest time in milliseconds that the response header may take in all, when TimeOut is set
  // (the silence limit applies within it); 0 = none.
  int HeaderTimeLimit = 60000;

 protected:
  virtual void Transfer();
  virtual void ParseURL();
  virtual void BuildRequestHeader();
  virtual void ReadResponseHeader();
  virtual void SendRequest();

 private:
  void Start(CmdType cmd, const std::string& url, const std::string& data,
             const std::string& target);
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
  bool hasLength_ = false;
  bool bodyLimitReached_ = false;  // the reply announced its length (ExpectedBytes may be 0)
  std::string cookieValue_;  // the cookie taken from a reply, and the host it came from
  std::string cookieHost_;
  std::string urlUserId_;  // credentials of the current URL
  std::string urlPassword_;
  std::string sendData_;
  std::string targetURI_;
  CmdType currentCmd_ = CmdType::Get;
  int hops_ = 0;
};

// The update engine's transfer settings: port 21 until the URL names its own, 10 s of silence,
// no status reports, the body into `bodyFile`, the header as text. Every fetch of the update
// road uses them, and httpget too, so that a maker checks a server with exactly the client the
// programs use.
void UseUpdateTransferSettings(THttpClient& http, const std::string& bodyFile);

}  // namespace net
