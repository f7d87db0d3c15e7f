// TSocketSession: the socket, its notifications, the waits and the time-out.
#include "net/SocketSession.h"

#include <algorithm>
#include <cstring>

#include "base/StrUtils.h"
#include "toolkit/Application.h"
#include "toolkit/Handles.h"
#include "toolkit/MessageWindow.h"

namespace net {

namespace {

constexpr char kSessionClass[] = "SocketSessionWindow";
constexpr std::size_t kLookupBufferSize = 1024;
// A wait for the next message is bounded so that a loop looks at its socket at least this often
// even if a notification should never come.
constexpr DWORD kIdleBound = 100;
// Longest time between two looks at the message queue while data streams in.
constexpr DWORD kPumpSpacing = 5;
// Longest wait for the close notification once the data has ended.
constexpr DWORD kCloseNoticeWait = 2000;
// FD_READ | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE, and FD_WRITE so that a send that would
// block can wait for room instead of polling.
constexpr long kSocketEvents = FD_READ | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE | FD_WRITE;

int liveSessions = 0;

// The hidden windows: message-only, a tool window of the pop-up style and no size.
toolkit::MessageWindow::Options HiddenWindowOptions() {
  toolkit::MessageWindow::Options options;
  options.style = WS_POPUP;
  options.exStyle = WS_EX_TOOLWINDOW;
  return options;
}

std::string Dotted(int high, int low) { return base::IntToStr(high) + "." + base::IntToStr(low); }

}  // namespace

// =============================================================================================
// TSocketSession: life

TSocketSession::TSocketSession(TComponent* owner) try
    : TComponent(owner),
      window_(kSessionClass,
              [this](UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
                if (msg < kSocketMessage || msg >= WM_APP) return false;
                result = 0;
                try {
                  HandleSocketMessage(msg, wp, lp);
                } catch (...) {
                  // A notification's handler must not end the wait that dispatched it.
                }
                return true;
              },
              HiddenWindowOptions()) {
  ReportStatus(kLevelTrace, "Create");
  lookupBuffer_ = std::make_unique<char[]>(kLookupBufferSize);
  timer_ = new TMessageTimer(this);
  timer_->SetEnabled(false);
  timer_->SetOnTimer([this](TComponent*) { TimerFired(); });
  StartWinsock();
  // A constructor that throws leaves no window: the window is a member and goes with it.
} catch (const ESockError&) {
  throw;
} catch (const base::Exception&) {
  throw ESockError("Initializaton of windows sockets failed");
}

TSocketSession::~TSocketSession() {
  silent_ = true;
  ReportStatus(kLevelTrace, "Destroy");
  TSocketSession::Abort();
  Cancel();
  if (lookupHandle_) WSACancelAsyncRequest(lookupHandle_);
  destroying_ = true;
  socket_.reset();
  window_.Destroy();
  if (winsockStarted_ && --liveSessions == 0) WSACleanup();
  // The timer is an owned component; TComponent deletes it.
}

void TSocketSession::StartWinsock() {
  ReportStatus(kLevelTrace, "Initializing Winsock");
  ++liveSessions;
  winsockStarted_ = true;
  if (liveSessions == 1) {
    WSADATA data{};
    WSAStartup(MAKEWORD(1, 1), &data);
    winsockInfo_.push_back("Version= " + Dotted(HIBYTE(data.wVersion), LOBYTE(data.wVersion)));
    winsockInfo_.push_back("High Version= " +
                           Dotted(HIBYTE(data.wHighVersion), LOBYTE(data.wHighVersion)));
    winsockInfo_.push_back(std::string("Description= ") + data.szDescription);
    winsockInfo_.push_back(std::string("System= ") + data.szSystemStatus);
    winsockInfo_.push_back("Max Sockets= " + base::IntToStr(data.iMaxSockets));
    winsockInfo_.push_back("Max Udp pack size= " + base::IntToStr(data.iMaxUdpDg));
  }
  bool made = false;
  try {
    MakeSocket(true);
    made = true;
  } catch (const ESockError&) {
  }
  if (!made) {
    winsockStarted_ = false;
    if (--liveSessions == 0) WSACleanup();
    throw ESockError("Initializaton of windows sockets failed");
  }
}

void TSocketSession::MakeSocket(bool withLinger) {
  ScopedSocket made(socket(AF_INET, SOCK_STREAM, withLinger ? IPPROTO_TCP : 0));
  if (!made) RaiseSocketError(WSAGetLastError(), 0);
  if (withLinger) {
    // A close resets the connection at once instead of lingering.
    linger off{1, 0};
    setsockopt(made.get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&off), sizeof(off));
  }
  // Without its notifications the socket would stay blocking and every wait would hang in it.
  if (WSAAsyncSelect(made.get(), window_.Handle(), kSocketMessage, kSocketEvents) == SOCKET_ERROR) {
    RaiseSocketError(WSAGetLastError(), 0);
  }
  socket_ = std::move(made);
  peerClosed_ = false;
  closeError_ = 0;
}

void TSocketSession::ReportStatus(int level, const std::string& text) {
  if (ReportLevel < level) return;
  statusText_ = text;
  if (silent_ || !OnStatus) return;
  try {
    OnStatus(this, text);
  } catch (...) {
  }
}

// =============================================================================================
// Errors

std::string TSocketSession::ErrorText(int error) {
  ReportStatus(kLevelTrace, "Looking Up Error Message");
  return net::ErrorText(error);
}

void TSocketSession::RaiseSocketError(int error, int ignore) {
  lastError_ = error;
  if (!IsRaisedSocketError(lastError_, ignore)) return;
  std::string message = ErrorText(lastError_);
  if (OnSocketError) OnSocketError(this, lastError_, message);
  throw ESockError(message);
}

void TSocketSession::RaiseCloseError() {
  // The end of the data has been read. Whether the peer closed in order or reset the connection
  // only the close notification tells (the platform hands the reset's error to it, and the
  // receive then just ends), so it is awaited; it is normally queued already.
  const DWORD start = GetTickCount();
  while (!peerClosed_ && !cancelRequested_ && GetTickCount() - start < kCloseNoticeWait) {
    Idle(true);
  }
  // A close that carried an error (a reset, an abort) is no orderly end of the data.
  if (peerClosed_ && closeError_ != 0) RaiseSocketError(closeError_, 0);
  // Some platforms (Wine) hand the reset's error neither to the notification nor to the receive;
  // a send of nothing puts no byte on the wire and is refused by a reset connection only.
  char none = 0;
  if (socket_ && send(socket_.get(), &none, 0, 0) == SOCKET_ERROR) {
    const int error = WSAGetLastError();
    if (error == WSAECONNRESET || error == WSAECONNABORTED) RaiseSocketError(error, 0);
  }
}

void TSocketSession::RaiseAbort(const char* text) {
  cancelRequested_ = false;
  throw EAbortError(text);
}

// =============================================================================================
// Messages and waits

void TSocketSession::HandleSocketMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kLookupMessage) {
    // A late answer to a lookup that was given up belongs to nobody.
    if (reinterpret_cast<HANDLE>(wp) != lookupHandle_) return;
    lastEventOk_ = WSAGETASYNCERROR(lp) == 0;
    lookupHandle_ = nullptr;
    eventArrived_ = true;
    return;
  }
  if (msg == kAcceptedMessage) {
    // The accepted sockets belong to the caller; what they tell is data arriving.
    if (WSAGETSELECTEVENT(lp) == FD_READ && OnDataAvailable) {
      try {
        OnDataAvailable(this);
      } catch (...) {
      }
    }
    return;
  }
  if (msg != kSocketMessage || !socket_ || static_cast<SOCKET>(wp) != socket_.get()) return;
  lastEventOk_ = WSAGETSELECTERROR(lp) == 0;
  switch (WSAGETSELECTEVENT(lp)) {
    case FD_READ:
      if (OnDataAvailable) {
        try {
          OnDataAvailable(this);
        } catch (...) {
        }
      }
      break;
    case FD_ACCEPT:
      connected_ = true;
      if (OnAccept) OnAccept(this);
      break;
    case FD_CONNECT:
      if (lastEventOk_) {
        connected_ = true;
        if (OnConnect) OnConnect(this);
      }
      break;
    case FD_CLOSE:
      // The socket stays: the loops read what came before the close to its end and then see
      // the close for what it was (an orderly end, or a reset with its error).
      peerClosed_ = true;
      closeError_ = WSAGETSELECTERROR(lp);
      break;
    default:
      break;
  }
}

void TSocketSession::Idle(bool idle) {
  lastPump_ = GetTickCount();
  // What the messages just handled changed (a notification, a cancel) is looked at before any
  // wait.
  if (toolkit::ProcessMessages() || !idle || cancelRequested_) return;
  toolkit::WaitForMessage(kIdleBound);
}

void TSocketSession::IdleAfterBlock() {
  // While blocks stream in, every one of them brings a notification; handling the queue a few
  // hundred times a second keeps the user interface as alive as handling it after every block,
  // at a fraction of the cost.
  if (GetTickCount() - lastPump_ >= kPumpSpacing) Idle(false);
}

// =============================================================================================
// Time-out

void TSocketSession::TimerOn() {
  ReportStatus(kLevelTrace, "Timer On");
  timedOut_ = false;
  waitStart_ = GetTickCount();
  if (TimeOut <= 0) {
    timer_->SetEnabled(false);
    return;
  }
  DWORD interval = static_cast<DWORD>(TimeOut);
  if (overallLimit_ > 0) {
    // The whole bound ends before the silence would: the timer must fire then.
    const DWORD spent = GetTickCount() - overallStart_;
    interval = std::min(interval, spent >= overallLimit_ ? DWORD{1} : overallLimit_ - spent);
  }
  timer_->SetInterval(interval);
  if (timer_->Enabled()) {
    timer_->Restart();
  } else {
    timer_->SetEnabled(true);
  }
}

void TSocketSession::TimerRestart() {
  // Only the start of the silence moves; the running platform timer finds out when it fires.
  // Setting the platform timer again for every block would cost more than the block itself.
  ReportStatus(kLevelTrace, "Timer On");
  timedOut_ = false;
  waitStart_ = GetTickCount();
}

void TSocketSession::TimerOff() {
  ReportStatus(kLevelTrace, "Timer Off");
  timer_->SetEnabled(false);
}

void TSocketSession::LimitOverall(DWORD milliseconds) {
  overallLimit_ = milliseconds;
  overallStart_ = GetTickCount();
  overallExpired_ = false;
}

void TSocketSession::TimerFired() {
  const DWORD now = GetTickCount();
  DWORD left = 0;  // until the nearer limit; 0 when one is reached
  const DWORD silent = now - waitStart_;
  if (TimeOut > 0 && silent < static_cast<DWORD>(TimeOut)) left = static_cast<DWORD>(TimeOut) - silent;
  if (left > 0 && overallLimit_ > 0) {
    const DWORD spent = now - overallStart_;
    if (spent >= overallLimit_) {
      left = 0;
      overallExpired_ = true;
    } else {
      left = std::min(left, overallLimit_ - spent);
    }
  }
  if (left > 0) {
    // Data came meanwhile: wait for the rest of the limit from the last block on.
    timer_->SetInterval(left);
    timer_->Restart();
    return;
  }
  ReportStatus(kLevelTrace, "Timer Triggered");
  TimerOff();
  timedOut_ = true;
  eventArrived_ = true;
  Abort();
}

void TSocketSession::Cancel() {
  ReportStatus(kLevelTrace, "Canceling");
  cancelRequested_ = true;
}

void TSocketSession::Abort() {
  ReportStatus(kLevelTrace, "Abort");
  Cancel();
}

// =============================================================================================
// Connecting

void TSocketSession::ResolveHost() {
  ReportStatus(kLevelTrace, "Resolve Host");
  const std::string name = ConnectTargetFor(Host, Port, Proxy, ProxyPort).Name;
  unsigned long dotted = inet_addr(name.c_str());
  if (!name.empty() && dotted != INADDR_NONE) {
    remoteAddress_.sin_addr.s_addr = dotted;
    return;
  }
  remoteAddress_.sin_addr.s_addr = 0;
  TimeOutRun timeOut(*this);
  eventArrived_ = false;
  lastEventOk_ = false;
  lookupHandle_ = WSAAsyncGetHostByName(window_.Handle(), kLookupMessage, name.c_str(), lookupBuffer_.get(),
                                        static_cast<int>(kLookupBufferSize));
  if (!lookupHandle_) throw ESockError("Host Lookup Failed");
  while (!eventArrived_ && !timedOut_ && !cancelRequested_) Idle(true);
  timeOut.Off();
  if (lookupHandle_) {
    // Given up: the answer must not land in the buffer later.
    WSACancelAsyncRequest(lookupHandle_);
    lookupHandle_ = nullptr;
  }
  if (timedOut_) throw ESockError("Host Lookup Timed Out");
  if (cancelRequested_) throw ESockError("Host Lookup Canceled");
  if (!lastEventOk_) throw ESockError("Host Lookup Failed");
  const hostent* entry = reinterpret_cast<const hostent*>(lookupBuffer_.get());
  if (entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0]) {
    throw ESockError("Host Lookup Failed");
  }
  std::memcpy(&remoteAddress_.sin_addr.s_addr, entry->h_addr_list[0], 4);
  if (OnHostResolved) OnHostResolved(this);
}

void TSocketSession::Connect() {
  ReportStatus(kLevelTrace, "Connecting");
  cancelRequested_ = false;
  if (connected_) throw ESockError("Already connected");
  const std::int32_t port = ConnectTargetFor(Host, Port, Proxy, ProxyPort).Port;
  // A port outside the range would wrap to another one.
  if (port < 1 || port > 65535) throw ESockError("Invalid port " + base::IntToStr(port));
  for (int pass = 0;; ++pass) {
    try {
      ResolveHost();
    } catch (const ESockError& e) {
      if (e.Message() == "Host Lookup Timed Out" || e.Message() == "Host Lookup Canceled") throw;
    }
    if (remoteAddress_.sin_addr.s_addr != 0) break;
    if (pass == 0 && OnInvalidHost) {
      bool handled = false;
      OnInvalidHost(handled);
      if (handled) continue;
    }
    throw ESockError("Null Remote Address");
  }
  remoteAddress_.sin_family = AF_INET;
  remoteAddress_.sin_port = htons(static_cast<u_short>(port));
  // After a close that failed there is no socket yet.
  if (!socket_) MakeSocket(false);
  peerClosed_ = false;
  closeError_ = 0;
  eventArrived_ = false;
  lastEventOk_ = true;
  if (connect(socket_.get(), reinterpret_cast<const sockaddr*>(&remoteAddress_),
              sizeof(remoteAddress_)) == SOCKET_ERROR) {
    RaiseSocketError(WSAGetLastError());
  }
  TimeOutRun timeOut(*this);
  while (!connected_ && !timedOut_ && !cancelRequested_ && lastEventOk_) Idle(true);
  timeOut.Off();
  if (!timedOut_ && !cancelRequested_ && lastEventOk_) return;
  // The cancel stays requested: only the loops that raise EAbortError take it back.
  const bool timedOut = timedOut_, cancelled = cancelRequested_;
  if (OnConnectionFailed) OnConnectionFailed(this);
  if (timedOut) throw ESockError("Connection Timed out");
  if (cancelled) throw ESockError("Connection Canceled");
  throw ESockError("Connection Failed");
}

void TSocketSession::Disconnect() {
  ReportStatus(kLevelTrace, "Disconnecting");
  CloseSocket();
}

void TSocketSession::CloseSocket() {
  ReportStatus(kLevelSocket, "Request Close Socket");
  connected_ = false;
  if (!socket_) return;
  const SOCKET old = socket_.release();
  const int error = closesocket(old) == SOCKET_ERROR ? WSAGetLastError() : 0;
  peerClosed_ = false;
  closeError_ = 0;
  // Notifications of the old socket still queued would be taken for the new one's (the handle
  // value comes again).
  MSG stale;
  while (window_.Handle() &&
         PeekMessageA(&stale, window_.Handle(), kSocketMessage, kSocketMessage, PM_REMOVE)) {
  }
  if (error != 0) RaiseSocketError(error, 0);
  if (destroying_) return;
  if (OnDisconnect) OnDisconnect(this);
  MakeSocket(false);
}

int TSocketSession::Listen(int port) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  local.sin_port = htons(static_cast<u_short>(port));
  if (bind(socket_.get(), reinterpret_cast<const sockaddr*>(&local), sizeof(local)) == SOCKET_ERROR ||
      listen(socket_.get(), 5) == SOCKET_ERROR) {
    RaiseSocketError(WSAGetLastError(), 0);
  }
  int size = sizeof(local);
  getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&local), &size);
  return ntohs(local.sin_port);
}

ScopedSocket TSocketSession::Accept() {
  ReportStatus(kLevelSocket, "Accepting");
  TimeOutRun timeOut(*this);
  // FD_ACCEPT marks the session connected; that ends the wait.
  while (!connected_ && !timedOut_ && !cancelRequested_) Idle(true);
  timeOut.Off();
  if (cancelRequested_) RaiseAbort("Socket send aborted");  // a time-out cancels too
  connected_ = false;  // the listening socket itself stays unconnected
  if (!lastEventOk_) throw ESockError("Accepting Canceled");
  sockaddr_in peer{};
  int size = sizeof(peer);
  ScopedSocket accepted(accept(socket_.get(), reinterpret_cast<sockaddr*>(&peer), &size));
  if (!accepted) throw ESockError("Error creating Data Connection");
  if (WSAAsyncSelect(accepted.get(), window_.Handle(), kAcceptedMessage, kSocketEvents) == SOCKET_ERROR) {
    RaiseSocketError(WSAGetLastError(), 0);
  }
  remoteAddress_ = peer;
  return accepted;
}

// =============================================================================================
// Sending

void TSocketSession::SendLoop(const char* data, std::size_t length,
                              const std::function<void(int)>& sentHandler) {
  std::size_t done = 0;
  while (done < length && !cancelRequested_) {
    int chunk = static_cast<int>(length - done > kTransferBufferSize ? kTransferBufferSize
                                                                      : length - done);
    int sent = send(socket_.get(), data + done, chunk, 0);
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
// Receiving

bool TSocketSession::DataAvailable() {
  ReportStatus(kLevelTrace, "Data Available");
  char byte;
  return recv(socket_.get(), &byte, 1, MSG_PEEK) > 0;
}

std::string TSocketSession::ReadLn() {
  ReportStatus(kLevelTrace, "ReadLn");
  TimeOutRun timeOut(*this);
  TLineSplitter line;
  while (line.state() == TLineSplitter::State::NeedMore) {
    if (cancelRequested_) RaiseAbort("Socket readln aborted");
    int peeked = recv(socket_.get(), transferBuffer_, kTransferBufferSize, MSG_PEEK);
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
        int got = recv(socket_.get(), transferBuffer_, static_cast<int>(taken), 0);
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

TSocketSession::ReadNoticesOff::ReadNoticesOff(TSocketSession& session) : session_(session) {
  session_.SelectEvents(kSocketEvents & ~FD_READ);
}

TSocketSession::ReadNoticesOff::~ReadNoticesOff() {
  if (session_.socket_)
    WSAAsyncSelect(session_.socket_.get(), session_.window_.Handle(), kSocketMessage, kSocketEvents);
}

void TSocketSession::SelectEvents(long events) {
  if (WSAAsyncSelect(socket_.get(), window_.Handle(), kSocketMessage, events) == SOCKET_ERROR) {
    RaiseSocketError(WSAGetLastError(), 0);
  }
}

void TSocketSession::ReceiveBlocks(const std::function<void(const char*, int)>& take,
                                   const std::function<bool()>& wantsMore, std::int64_t length) {
  // The loop asks the socket itself until it would block. The data-readable notification would
  // come once for every block meanwhile, each a message through the queue that costs more than
  // the block; so it is off while blocks stream in and on again only to wake the wait.
  ReadNoticesOff noticesOff(*this);
  std::int64_t left = length;
  while (!cancelRequested_ && left != 0 && wantsMore()) {
    // Bytes past an announced length are no part of this body.
    const int ask = left < 0 || left > static_cast<std::int64_t>(kTransferBufferSize)
                        ? static_cast<int>(kTransferBufferSize)
                        : static_cast<int>(left);
    const int got = recv(socket_.get(), transferBuffer_, ask, 0);
    if (got > 0) {
      take(transferBuffer_, got);
      receivedBytes_ += got;
      if (left > 0) left -= got;
      if (OnPacketRecvd) OnPacketRecvd(this);
      TimerRestart();
      IdleAfterBlock();
    } else if (got == 0) {
      RaiseCloseError();
      break;
    } else {
      lastError_ = WSAGetLastError();
      if (lastError_ == kWSAENOTCONN) break;
      RaiseSocketError(lastError_);
      // Most stalls last far less than the spacing of the queue's handling: for those the socket
      // itself tells when data is there, at the cost of one call. Only a longer silence goes
      // through the notification and the message wait.
      if (AwaitReadable(kPumpSpacing)) continue;
      SelectEvents(kSocketEvents);  // data arrived meanwhile is announced at once
      Idle(true);
      SelectEvents(kSocketEvents & ~FD_READ);
    }
  }
}

void TSocketSession::CaptureFile(const std::string& fileName, std::int64_t length) {
  ReportStatus(kLevelTrace, "CaptureFile");
  receivedBytes_ = 0;
  TimeOutRun timeOut(*this);
  toolkit::ScopedFile file(CreateFileA(fileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw base::Exception("Datei " + fileName + " kann nicht erstellt werden");
  ReceiveBlocks(
      [&](const char* data, int size) {
        DWORD written = 0;
        if (!WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) ||
            written != static_cast<DWORD>(size))
          throw base::Exception("Fehler beim Schreiben der Datei " + fileName);
      },
      [] { return true; }, length);
  file.reset();
  timeOut.Off();
  if (cancelRequested_) RaiseAbort("Socket send aborted");
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
