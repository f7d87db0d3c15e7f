// THttpClient, TUrlEncoder and TUUEncoder.
#include "net/HttpClient.h"

#include <iostream>
#include <sstream>

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

void THttpClient::Start(CmdType cmd, const std::string& url, const std::string& data,
                        const std::string& target) {
  currentURL_ = url;
  currentCmd_ = cmd;
  sendData_ = data;
  targetURI_ = target;
  Transfer();
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

void THttpClient::Transfer() {
  hops_ = 0;
  TRedirectLimit limit;
  for (;;) {
    ParseURL();
    BuildRequestHeader();
    if (OnAboutToSend) OnAboutToSend(this);

    try {
      Connect();
      SendRequest();
      replyCode_ = 0;
      ReadResponseHeader();
      // The body is received whatever the status, also for redirections and errors.
      if (InputFileMode) {
        CaptureFile(Body);
      } else {
        CaptureString(Body, -1);
      }
    } catch (...) {
      try {
        Disconnect();
      } catch (...) {
      }
      throw;
    }
    Disconnect();

    const TReplyDecision reply = DecideReply(replyCode_);
    if (reply.Success) {
      if (OnSuccess) OnSuccess(currentCmd_);
      ReportStatus(kLevelCompleted, "Transaction Completed");
    }
    if (reply.Failure && OnFailure) OnFailure(currentCmd_);
    if (reply.TakeLocation) currentURL_ = redirectLocation_;

    if (reply.Redirect) {
      if (!receivedCookie_.empty()) HeaderInfo.Cookie = receivedCookie_;
      bool handled = false;
      if (OnRedirect) OnRedirect(handled);
      if (handled) return;
      currentURL_ = ResolveRedirectURL(currentURL_, Host, Port);
    }
    if (reply.AuthNeeded && OnAuthenticationNeeded) OnAuthenticationNeeded(this);
    if (!reply.Repeat) return;
    limit.CountHop();
    hops_ = limit.Hops();
  }
}

void THttpClient::ParseURL() {
  TUrlTarget target{currentURL_, requestPath_, Host, Port};
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
  input.Proxy = Proxy;
  input.HeaderInfo = HeaderInfo;
  input.TargetURI = targetURI_;
  if (CmdSendsData(currentCmd_)) input.DataLength = DataLength();
  headerLines_ = net::BuildRequestHeader(input);
}

void THttpClient::SendRequest() {
  // The whole header and the whole data go out, however long and whatever bytes they hold: the
  // announced Content-Length counts all of them, so a cut would leave the server waiting.
  std::string text;
  for (const std::string& line : headerLines_) text += line + "\r\n";
  WriteAll(text);
  Writeln("");
  if (!CmdSendsData(currentCmd_)) return;
  if (OutputFileMode) {
    SendFile(sendData_);
  } else {
    WriteAll(sendData_);
  }
}

void THttpClient::ReadResponseHeader() {
  expectedBytes_ = 0;
  receivedCookie_.clear();
  toolkit::ScopedFile file;
  if (OutputFileMode) {
    file.reset(CreateFileA(Header.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw base::Exception("Datei " + Header + " kann nicht erstellt werden");
  } else {
    Header.clear();
  }
  auto store = [&](const std::string& line) {
    if (!OutputFileMode) {
      Header += line;
      return;
    }
    DWORD written = 0;
    if (!line.empty() &&
        !WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
      throw base::Exception("Fehler beim Schreiben der Datei " + Header);
    }
  };

  std::string status = ReadLn();
  if (!status.empty()) replyCode_ = ParseStatusCode(status);
  store(status);
  if (status.empty()) return;  // closed before anything came: no header lines either

  TResponseInfo info;
  info.RedirectLocation = redirectLocation_;  // kept from the last reply unless one comes
  for (;;) {
    std::string line = ReadLn();
    ApplyHeaderLine(line, info);
    receivedCookie_ = info.ReceivedCookie;
    redirectLocation_ = info.RedirectLocation;
    expectedBytes_ = info.ExpectedBytes;
    store(line);
    if (IsHeaderEnd(line)) break;
  }
}

void UseWizardSettings(THttpClient& http, const std::string& bodyFile) {
  http.Port = 21;
  http.TimeOut = 10000;
  http.ReportLevel = 0;
  http.InputFileMode = true;
  http.OutputFileMode = false;
  http.Body = bodyFile;
}

}  // namespace net
