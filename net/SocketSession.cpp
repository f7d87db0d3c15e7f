// TSocketSession: its life, the socket library, errors, the notifications, the waits and the
// time-out. Connecting is in SocketConnect.cpp, sending and receiving in SocketTransfer.cpp.
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
// A wait for the next message is bounded so that a loop looks at its socket at least this often
// even if a notification should never come.
constexpr DWORD kIdleBound = 100;
// Longest wait for the close notification once the data has ended.
constexpr DWORD kCloseNoticeWait = 2000;

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

}  // namespace net
