// THttpClient, TUrlEncoder and TUUEncoder.
#include "net/HttpClient.h"

#include <iostream>
#include <sstream>

#include "base/StrUtils.h"
#include "toolkit/Handles.h"

namespace net {

// =============================================================================================
// Encoders

std::string TUrlEncoder::Encode() {
  try {
    return UrlEncode(InputString.substr(0, kMaxWriteLength));
  } catch (const std::exception& e) {
    if (OnError) OnError(this, "Error during encode", e.what());
    return InputString;
  }
}

void TUUEncoder::EncodeStream(std::iostream& input, std::iostream& output) {
  input.clear();
  input.seekg(0);
  if (OnBeginEncode) OnBeginEncode(this);
  try {
    std::ostringstream all;
    all << input.rdbuf();
    output << UUEncode(all.str(), Method);
  } catch (...) {
    output.clear();
    output.seekg(0);
    output.seekp(0);
    if (OnEndEncode) OnEndEncode(this);
    throw;
  }
  output.clear();
  output.seekg(0);
  if (OnEndEncode) OnEndEncode(this);
}

// =============================================================================================
// THttpClient

THttpClient::THttpClient(TComponent* owner) : TSocketSession(owner) {}

void THttpClient::Abort() {
  eventArrived_ = true;
  Cancel();
}

void THttpClient::Start(CmdType cmd, const std::string& url, const std::string& data, const std::string& target,
                        TBodySink* sink, const TRequestOptions& options) {
  currentURL_ = url;
  currentCmd_ = cmd;
  sendData_ = data;
  targetURI_ = target;
  result_ = TTransferResult();
  options_ = options;
  // The request's options go with it, whichever way it ends.
  struct OptionsEnd {
    TRequestOptions& options;
    ~OptionsEnd() { options = TRequestOptions(); }
  } end{options_};
  if (sink) {
    Transfer(*sink);
  } else if (InputFileMode) {
    TFileSink file(Body);
    Transfer(file);
  } else {
    TStringSink text(Body);
    Transfer(text);
  }
}

TTransferResult THttpClient::Fetch(const std::string& url, TBodySink& sink, const TRequestOptions& options) {
  try {
    Start(CmdType::Get, url, "", "", &sink, options);
    result_.Whole = !result_.Refused;
  } catch (const ETlsError& e) {
    result_.TransferFailed = true;
    result_.Tls = e.Fault();
    result_.TlsHost = e.Host();
    result_.Error = e.what();
  } catch (const ESockError& e) {
    result_.ProxyAuth = std::string(e.what()) == kProxyAuthText;
    // A body past the sink's limit is the sink's refusal, not the transfer's failure.
    result_.TransferFailed = !result_.LimitReached;
    result_.Error = e.what();
  } catch (const std::exception& e) {
    result_.Error = e.what();
  } catch (...) {
    result_.Error = "Transfer failed";
  }
  return result_;
}

void THttpClient::Get(const std::string& url) { Start(CmdType::Get, url, "", ""); }
void THttpClient::Options(const std::string& url) { Start(CmdType::Options, url, "", ""); }
void THttpClient::Head(const std::string& url) { Start(CmdType::Head, url, "", ""); }
void THttpClient::Post(const std::string& url, const std::string& data) {
  Start(CmdType::Post, url, EncodePostData && !OutputFileMode ? UrlEncode(data) : data, "");
}
void THttpClient::Put(const std::string& url, const std::string& data) {
  Start(CmdType::Put, url, data, "");
}
void THttpClient::Patch(const std::string& url, const std::string& data) {
  Start(CmdType::Patch, url, data, "");
}
void THttpClient::Delete(const std::string& url) { Start(CmdType::Delete, url, "", ""); }
void THttpClient::Trace(const std::string& url, const std::string& data) {
  Start(CmdType::Trace, url, data, "");
}
void THttpClient::Copy(const std::string& url, const std::string& target) {
  Start(CmdType::Copy, url, "", target);
}
void THttpClient::Move(const std::string& url, const std::string& target) {
  Start(CmdType::Move, url, "", target);
}
void THttpClient::Link(const std::string& url, const std::string& link) {
  Start(CmdType::Link, url, "Send.dat", link);
}
void THttpClient::Unlink(const std::string& url, const std::string& link) {
  Start(CmdType::Unlink, url, "Send.dat", link);
}
void THttpClient::SendRaw(const std::string& url, const std::string& data) {
  Start(CmdType::SendRaw, url, data, "");
}

void THttpClient::Transfer(TBodySink& sink) {
  hops_ = 0;
  TRedirectLimit limit;
  for (;;) {
    ParseURL();
    BuildRequestHeader();
    if (OnAboutToSend) OnAboutToSend(this);

    TReplyDecision reply;
    result_.Status = 0;
    result_.BodyBytes = 0;
    {
      Connection connection(*this);
      Connect();
      if (secure_) {
        if (Proxied()) OpenTunnel();
        StartTls(Host);
      }
      SendRequest();
      replyCode_ = 0;
      ReadResponseHeader();
      result_.Status = replyCode_;
      // The body is received whatever the status, also for redirections and errors, unless the
      // sink refuses it.
      const std::optional<std::int64_t> length = BodyLengthFor(currentCmd_, replyCode_, responseInfo_);
      const TBodyTake take = sink.Begin(responseInfo_, length);
      if (take.Refused) {
        result_.Refused = true;
        connection.Close();
        return;
      }
      TakeBody(sink, take, length);
      sink.End();

      // The handlers still see the connection.
      reply = DecideReply(replyCode_);
      if (reply.Success) {
        if (OnSuccess) OnSuccess(currentCmd_);
        ReportStatus(kLevelCompleted, "Transaction Completed");
      }
      if (reply.Failure && OnFailure) OnFailure(currentCmd_);
      if (reply.TakeLocation) {
        // Without a target the server's root page would be saved as the requested file.
        if (redirectLocation_.empty()) throw EHttpError(kNoLocationText);
        currentURL_ = redirectLocation_;
      }
      connection.Close();
    }

    if (reply.Redirect) {
      if (!receivedCookie_.empty()) {
        HeaderInfo.Cookie = receivedCookie_;
        cookieValue_ = receivedCookie_;
        cookieHost_ = Host;
      }
      bool handled = false;
      if (OnRedirect) OnRedirect(handled);
      if (handled) return;
      // A Location relative to this server stays on it; a repeated request keeps its URL.
      if (reply.TakeLocation) {
        currentURL_ = ResolveRedirectURL(currentURL_, Host, Port, secure_);
        if (!RedirectAllowed(secure_, currentURL_)) throw ETlsError(TTlsFault::InsecureRedirect, Host, "");
      }
    }
    if (reply.AuthNeeded && OnAuthenticationNeeded) OnAuthenticationNeeded(this);
    if (!reply.Repeat) return;
    limit.CountHop();
    hops_ = limit.Hops();
  }
}

void THttpClient::TakeBody(TBodySink& sink, const TBodyTake& take, std::optional<std::int64_t> length) {
  const std::int64_t most = take.Limit;
  if (most >= 0 && length && *length > most) {
    result_.LimitReached = true;
    throw EHttpError(LongBodyText(most));
  }
  // Without an announced length one byte past the limit is enough to know; that byte is no part
  // of what the sink takes.
  const std::int64_t ask = length ? *length : most >= 0 ? most + 1 : -1;
  std::int64_t& written = result_.BodyBytes;
  CaptureBody(
      sink.Kind(),
      [&](const char* data, int size) {
        std::int64_t piece = size;
        if (most >= 0 && piece > most - written) piece = most - written;
        if (piece <= 0) return;
        sink.Write(data, static_cast<std::size_t>(piece));
        written += piece;
      },
      ask);
  if (length && receivedBytes_ < *length) throw EHttpError(ShortBodyText(receivedBytes_, *length));
  if (most >= 0 && receivedBytes_ > most) {
    result_.LimitReached = true;
    throw EHttpError(LongBodyText(most));
  }
}

TConnectTarget THttpClient::ConnectTarget() const {
  if (options_.Proxy) return ConnectTargetFor(Host, Port, options_.Proxy->Host, options_.Proxy->Port);
  return TSocketSession::ConnectTarget();
}

bool THttpClient::Proxied() const {
  return options_.Proxy ? !options_.Proxy->Host.empty() : !Proxy.empty();
}

void THttpClient::OpenTunnel() {
  WriteAll(TunnelRequestText(Host, Port));
  TResponseHeaderReader reader;
  const OverallLimit limit(*this, static_cast<DWORD>(HeaderTimeLimit > 0 ? HeaderTimeLimit : 0));
  while (!reader.Done()) {
    const std::string line = ReadLn();
    if (line.empty()) {
      reader.Close();
    } else {
      reader.Feed(line);
    }
  }
  const int status = reader.Info().ReplyCode;
  if (status == 407) throw EHttpError(kProxyAuthText);
  if (status < 200 || status > 299) throw EHttpError(TunnelRefusedText(status));
}

THttpClient::Connection::~Connection() {
  if (!open_) return;
  try {
    client_.Disconnect();
  } catch (...) {
    // The error that ended the exchange is the one that counts.
  }
}

void THttpClient::Connection::Close() {
  open_ = false;
  client_.Disconnect();
}

void THttpClient::ParseURL() {
  TUrlTarget target{currentURL_, requestPath_, Host, Port, {}, {}, secure_};
  try {
    net::ParseURL(target);
  } catch (...) {
    Port = target.Port;
    throw;
  }
  currentURL_ = target.CurrentURL;
  requestPath_ = target.RequestPath;
  Host = target.Host;
  Port = target.Port;
  urlUserId_ = target.UserId;
  urlPassword_ = target.Password;
  secure_ = target.Secure;
}

std::int64_t THttpClient::DataLength() {
  if (!OutputFileMode) return static_cast<std::int64_t>(sendData_.size());
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(sendData_.c_str(), GetFileExInfoStandard, &data)) {
    throw base::Exception("Datei " + sendData_ + " kann nicht geöffnet werden");
  }
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void THttpClient::BuildRequestHeader() {
  TRequestInput input;
  input.Cmd = currentCmd_;
  input.CurrentURL = currentURL_;
  input.RequestPath = requestPath_;
  input.Host = Host;
  // Inside a proxy's tunnel the request is the server's own, as without a proxy.
  input.Proxy = secure_ ? std::string() : options_.Proxy ? options_.Proxy->Host : Proxy;
  input.NoCache = options_.NoCache && Proxied();
  input.HeaderInfo = HeaderInfo;
  if (!options_.Range.empty()) {
    input.HeaderInfo.Range = options_.Range;
    input.HeaderInfo.IfRange = options_.IfRange;
  }
  if (!urlUserId_.empty()) {
    input.HeaderInfo.UserId = urlUserId_;
    input.HeaderInfo.Password = urlPassword_;
  }
  // A cookie taken from a reply goes back to its own host only; one the caller set goes along.
  if (!cookieValue_.empty() && HeaderInfo.Cookie == cookieValue_) input.CookieHost = cookieHost_;
  input.TargetURI = targetURI_;
  if (CmdSendsData(currentCmd_)) input.DataLength = DataLength();
  headerLines_ = net::BuildRequestHeader(input);
}

void THttpClient::SendRequest() {
  // The whole header and the whole data go out, however long and whatever bytes they hold: the
  // announced Content-Length counts all of them, so a cut would leave the server waiting.
  WriteAll(RequestHeaderText(headerLines_));
  if (!CmdSendsData(currentCmd_)) return;
  if (OutputFileMode) {
    SendFile(sendData_);
  } else {
    WriteAll(sendData_);
  }
}

void THttpClient::ReadResponseHeader() {
  expectedBytes_ = 0;
  hasLength_ = false;
  receivedCookie_.clear();
  redirectLocation_.clear();
  responseInfo_ = TResponseInfo();
  toolkit::ScopedFile file;
  if (OutputFileMode) {
    file.reset(CreateFileA(Header.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw base::Exception("Datei " + Header + " kann nicht erstellt werden");
  } else {
    Header.clear();
  }

  // The lines come one by one from the socket, so nothing of the body is taken; the reader
  // interprets and bounds them.
  TResponseHeaderReader reader;
  std::size_t stored = 0;
  auto take = [&] {
    const std::string& text = reader.HeaderText();
    if (OutputFileMode) {
      DWORD written = 0;
      if (text.size() > stored &&
          !WriteFile(file.get(), text.data() + stored, static_cast<DWORD>(text.size() - stored),
                     &written, nullptr)) {
        throw base::Exception("Fehler beim Schreiben der Datei " + Header);
      }
    } else {
      Header.append(text, stored, std::string::npos);
    }
    stored = text.size();
    const TResponseInfo& info = reader.Info();
    responseInfo_ = info;
    replyCode_ = info.ReplyCode;
    receivedCookie_ = info.ReceivedCookie;
    redirectLocation_ = info.RedirectLocation;
    expectedBytes_ = info.ExpectedBytes;
    hasLength_ = info.HasLength;
  };

  const OverallLimit limit(*this, static_cast<DWORD>(HeaderTimeLimit > 0 ? HeaderTimeLimit : 0));
  try {
    while (!reader.Done()) {
      const std::string line = ReadLn();
      try {
        if (line.empty()) {
          reader.Close();
        } else {
          reader.Feed(line);
        }
      } catch (...) {
        take();  // what came is kept, also before an error
        throw;
      }
      take();
    }
  } catch (const EAbortError&) {
    if (OverallExpired()) {
      throw EHttpError("Reply header not complete after " + base::IntToStr(HeaderTimeLimit / 1000) +
                       " s");
    }
    throw;
  }
}

void UseUpdateTransferSettings(THttpClient& http, const std::string& bodyFile) {
  http.Port = 21;
  http.TimeOut = 10000;
  http.ReportLevel = 0;
  http.InputFileMode = true;
  http.OutputFileMode = false;
  http.Body = bodyFile;
}

}  // namespace net
