// TSocketSession's transfers: sending, reading lines, receiving blocks into a file or a string.
#include "net/SocketSession.h"

#include <algorithm>
#include <cstring>

#include "toolkit/Application.h"
#include "toolkit/Handles.h"

namespace net {

void TSocketSession::SendLoop(const char* data, std::size_t length,
                              const std::function<void(int)>& sentHandler) {
  std::size_t done = 0;
  while (done < length && !cancelRequested_) {
    int chunk = static_cast<int>(length - done > kTransferBufferSize ? kTransferBufferSize
                                                                      : length - done);
    int sent = SendSome(data + done, chunk);
    if (sent == 0) break;
    if (sent == SOCKET_ERROR) {
      RaiseSocketError(WSAGetLastError());
      Idle(true);  // no room yet: FD_WRITE (or the timer) wakes the wait
      continue;
    }
    done += static_cast<std::size_t>(sent);
    if (sentHandler) sentHandler(sent);
  }
}

void TSocketSession::SendBuffer(const char* data, std::uint16_t length) {
  ReportStatus(kLevelSocket, "Sending Buffer");
  TimeOutRun timeOut(*this);
  if (!cancelRequested_) {
    std::size_t size = length;
    if (size == 0) size = strnlen(data, kMaxWriteLength);
    SendLoop(data, size);
  }
  timeOut.Off();
  if (cancelRequested_) RaiseAbort("Socket send aborted");
}

void TSocketSession::Write(const std::string& text) {
  ReportStatus(kLevelTrace, "Write");
  std::string_view portion = WritePortion(text);
  std::memcpy(transferBuffer_, portion.data(), portion.size());
  transferBuffer_[portion.size()] = '\0';
  // An empty portion is a length of 0, "up to the zero byte": nothing goes out, but the send
  // still runs (a pending cancel ends it).
  SendBuffer(transferBuffer_, static_cast<std::uint16_t>(portion.size()));
}

void TSocketSession::WriteAll(const std::string& bytes) {
  ReportStatus(kLevelTrace, "Write");
  for (std::size_t done = 0; done < bytes.size();) {
    const std::size_t piece = std::min(bytes.size() - done, kMaxWriteLength);
    std::memcpy(transferBuffer_, bytes.data() + done, piece);
    SendBuffer(transferBuffer_, static_cast<std::uint16_t>(piece));
    done += piece;
  }
}

void TSocketSession::Writeln(const std::string& text) {
  ReportStatus(kLevelTrace, "Writeln");
  Write(text + "\r\n");
}

void TSocketSession::SendFile(const std::string& fileName) {
  ReportStatus(kLevelTrace, "SendFile");
  toolkit::ScopedFile file(CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw base::Exception("Datei " + fileName + " kann nicht geöffnet werden");
  while (!cancelRequested_) {
    DWORD got = 0;
    if (!ReadFile(file.get(), transferBuffer_, kTransferBufferSize, &got, nullptr) || got == 0) {
      break;
    }
    SendLoop(transferBuffer_, got, [this](int sent) {
      sentBytes_ += sent;
      if (OnPacketSent) OnPacketSent(this);
      toolkit::ProcessMessages();
    });
  }
  if (cancelRequested_) RaiseAbort("Socket send aborted");
}

// =============================================================================================
// TLS under the session

void TSocketSession::StartTls(const std::string& host) {
  ReportStatus(kLevelTrace, "Start TLS");
  tls_ = std::make_unique<TTlsChannel>(host);
  tlsClosed_ = false;
  TimeOutRun timeOut(*this);
  RunHandshake();
  timeOut.Off();
  tls_->CheckCertificate();
}

void TSocketSession::RunHandshake() {
  std::string out;
  for (;;) {
    bool done = false;
    try {
      done = tls_->Handshake(out);
    } catch (...) {
      if (!out.empty()) {
        try {
          SendAllRaw(out);  // the alert
        } catch (...) {
        }
      }
      throw;
    }
    if (!out.empty()) SendAllRaw(out);
    out.clear();
    if (done) return;
    const int got = recv(socket_.get(), cipherBuffer_, static_cast<int>(std::min(tls_->Room(), sizeof(cipherBuffer_))), 0);
    if (got > 0) {
      tls_->Feed(cipherBuffer_, static_cast<std::size_t>(got));
      TimerRestart();
    } else if (got == 0) {
      throw ETlsError(TTlsFault::Handshake, Host, "connection closed");
    } else {
      lastError_ = WSAGetLastError();
      RaiseSocketError(lastError_);
      WaitForTlsInput();
    }
  }
}

void TSocketSession::WaitForTlsInput() {
  // Both with the socket's notifications on and in the body's quiet mode: the socket itself is
  // asked, and the queue handled in between (the timer, the user's cancel).
  if (!AwaitReadable(kPumpSpacing)) Idle(false);
  if (cancelRequested_) RaiseAbort(timedOut_ ? "TLS handshake timed out" : "TLS handshake aborted");
}

void TSocketSession::SendAllRaw(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const int sent = send(socket_.get(), bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
    if (sent > 0) {
      done += static_cast<std::size_t>(sent);
      continue;
    }
    if (sent == 0) throw ESockError("Connection Failed");
    RaiseSocketError(WSAGetLastError());
    // A record cut in half is no stream any more: a cancel ends the connection.
    if (cancelRequested_) RaiseAbort("Socket send aborted");
    Idle(true);
  }
}

int TSocketSession::SendSome(const char* data, int size) {
  if (!tls_) return send(socket_.get(), data, size, 0);
  std::string records;
  tls_->Encrypt(data, static_cast<std::size_t>(size), records);
  SendAllRaw(records);
  return size;
}

int TSocketSession::Receive(char* buffer, int size, int flags) {
  if (!tls_) return recv(socket_.get(), buffer, size, flags);
  for (;;) {
    if (tls_->Plain() > 0) {
      return static_cast<int>(tls_->Take(buffer, static_cast<std::size_t>(size), (flags & MSG_PEEK) != 0));
    }
    if (tlsClosed_) return 0;
    switch (tls_->Decrypt()) {
      case TTlsChannel::Read::Data:
        continue;
      case TTlsChannel::Read::Closed:
        tlsClosed_ = true;
        continue;
      case TTlsChannel::Read::Renegotiate:
        RunHandshake();
        continue;
      case TTlsChannel::Read::NeedMore:
        break;
    }
    const int got = recv(socket_.get(), cipherBuffer_, static_cast<int>(std::min(tls_->Room(), sizeof(cipherBuffer_))), 0);
    if (got <= 0) {
      // The peer's end without close_notify ends the stream too: a body that needed more is
      // found short by its length. A record cut off there is no data.
      if (got == 0) tlsClosed_ = true;
      return got;
    }
    tls_->Feed(cipherBuffer_, static_cast<std::size_t>(got));
  }
}

// =============================================================================================
// Receiving

bool TSocketSession::DataAvailable() {
  ReportStatus(kLevelTrace, "Data Available");
  char byte;
  return Receive(&byte, 1, MSG_PEEK) > 0;
}

std::string TSocketSession::ReadLn() {
  ReportStatus(kLevelTrace, "ReadLn");
  TimeOutRun timeOut(*this);
  TLineSplitter line;
  while (line.state() == TLineSplitter::State::NeedMore) {
    if (cancelRequested_) RaiseAbort("Socket readln aborted");
    int peeked = Receive(transferBuffer_, kTransferBufferSize, MSG_PEEK);
    bool idle = false;
    if (peeked == 0) {
      RaiseCloseError();
      line.Close();
      break;
    }
    if (peeked == SOCKET_ERROR) {
      lastError_ = WSAGetLastError();
      if (lastError_ == kWSAENOTCONN) {
        line.Close();
        break;
      }
      RaiseSocketError(lastError_);
      idle = true;
    } else {
      // Take only what belongs to this line; the rest stays in the socket.
      std::size_t taken = line.Feed(std::string_view(transferBuffer_, peeked));
      while (taken > 0) {
        int got = Receive(transferBuffer_, static_cast<int>(taken), 0);
        if (got <= 0) break;
        taken -= static_cast<std::size_t>(got);
      }
      if (line.state() == TLineSplitter::State::TooLong) throw EHttpError(kLineTooLongText);
      if (line.state() == TLineSplitter::State::LineReady) break;
      TimerRestart();  // part of a line came: the silence starts again
    }
    Idle(idle);
  }
  timeOut.Off();
  return line.TakeLine();
}

bool TSocketSession::AwaitReadable(DWORD milliseconds) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket_.get(), &readable);
  timeval wait{0, static_cast<long>(milliseconds) * 1000};
  return select(0, &readable, nullptr, nullptr, &wait) > 0;
}

TSocketSession::BodyReceiveMode::BodyReceiveMode(TSocketSession& session) : session_(session) { Quiet(); }

TSocketSession::BodyReceiveMode::~BodyReceiveMode() {
  if (quiet_ && session_.socket_) {
    WSAAsyncSelect(session_.socket_.get(), session_.window_.Handle(), kSocketMessage, kSocketEvents);
  }
}

void TSocketSession::BodyReceiveMode::Quiet() {
  // The socket stays non-blocking: a receive with nothing there says so at once.
  if (WSAAsyncSelect(session_.socket_.get(), session_.window_.Handle(), 0, 0) == SOCKET_ERROR) {
    session_.RaiseSocketError(WSAGetLastError(), 0);
  }
  quiet_ = true;
}

void TSocketSession::BodyReceiveMode::Notify() {
  // Registering again announces data (and a close) that is already there, so nothing that came
  // while the socket was quiet goes unnoticed.
  session_.SelectEvents(kSocketEvents);
  quiet_ = false;
}

void TSocketSession::BodyReceiveMode::WaitForNotice() {
  Notify();
  session_.Idle(true);
  Quiet();
}

void TSocketSession::SelectEvents(long events) {
  if (WSAAsyncSelect(socket_.get(), window_.Handle(), kSocketMessage, events) == SOCKET_ERROR) {
    RaiseSocketError(WSAGetLastError(), 0);
  }
}

void TSocketSession::ReceiveBlocks(const std::function<void(const char*, int)>& take,
                                   const std::function<bool()>& wantsMore, std::int64_t length) {
  BodyReceiveMode mode(*this);
  std::int64_t left = length;
  while (!cancelRequested_ && left != 0 && wantsMore()) {
    // Bytes past an announced length are no part of this body.
    const int ask = left < 0 || left > static_cast<std::int64_t>(kTransferBufferSize)
                        ? static_cast<int>(kTransferBufferSize)
                        : static_cast<int>(left);
    const int got = Receive(transferBuffer_, ask, 0);
    if (got > 0) {
      take(transferBuffer_, got);
      receivedBytes_ += got;
      if (left > 0) left -= got;
      if (OnPacketRecvd) OnPacketRecvd(this);
      TimerRestart();
      IdleAfterBlock();
    } else if (got == 0) {
      mode.Notify();  // the close notification tells an orderly end from a reset
      RaiseCloseError();
      break;
    } else {
      lastError_ = WSAGetLastError();
      if (lastError_ == kWSAENOTCONN) break;
      RaiseSocketError(lastError_);
      // Most stalls last far less than the spacing of the queue's handling: for those the socket
      // itself tells when data is there, at the cost of one call. Only a longer silence goes
      // through the notification and the message wait, which the timer and the user's clicks
      // end too.
      if (!AwaitReadable(kPumpSpacing)) mode.WaitForNotice();
    }
  }
}

void TSocketSession::CaptureFile(const std::string& fileName, std::int64_t length) {
  ReportStatus(kLevelTrace, "CaptureFile");
  TFileSink file(fileName);
  file.Create();
  ReceiveBody(TCaptureKind::File, [&](const char* data, int size) { file.Write(data, static_cast<std::size_t>(size)); },
              length);
}

void TSocketSession::CaptureBody(TCaptureKind kind, const std::function<void(const char*, int)>& take,
                                 std::int64_t length) {
  ReportStatus(kLevelTrace, kind == TCaptureKind::Text ? "Capture String" : "CaptureFile");
  ReceiveBody(kind, take, length);
}

void TSocketSession::ReceiveBody(TCaptureKind kind, const std::function<void(const char*, int)>& take,
                                 std::int64_t length) {
  receivedBytes_ = 0;
  TimeOutRun timeOut(*this);
  ReceiveBlocks(take, [] { return true; }, length);
  timeOut.Off();
  if (cancelRequested_) RaiseAbort(kind == TCaptureKind::Text ? "Socket capture aborted" : "Socket send aborted");
}

void TSocketSession::CaptureString(std::string& text, std::int64_t maxLength, std::int64_t length) {
  ReportStatus(kLevelTrace, "Capture String");
  receivedBytes_ = 0;
  TimeOutRun timeOut(*this);
  text.clear();
  ReceiveBlocks([&](const char* data, int size) { text.append(data, static_cast<std::size_t>(size)); },
                [&] { return maxLength == -1 || static_cast<std::int64_t>(text.size()) < maxLength; },
                length);
  timeOut.Off();
  if (cancelRequested_) RaiseAbort("Socket capture aborted");
}

std::string TSocketSession::Transaction(const std::string& command) {
  ReportStatus(kLevelTrace, "Transaction");
  replyCode_ = 0;
  Writeln(command);
  lastReply_ = ReadLn();
  if (!lastReply_.empty()) {
    ReportStatus(kLevelReply, lastReply_);
    replyCode_ = ParseTransactionCode(lastReply_);
  }
  return lastReply_;
}

}  // namespace net
