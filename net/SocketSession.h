// TSocketSession: one TCP client socket driven synchronously from the user-interface thread, with
// its message timer TMessageTimer, host lookup, time-outs, cancel and status reports.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/BodySink.h"
#include "net/TlsChannel.h"
#include "net/http_rules.h"
#include "toolkit/Component.h"
#include "toolkit/Handles.h"
#include "toolkit/MessageWindow.h"
#include "toolkit/Timer.h"

namespace net {

using toolkit::TComponent;

struct SocketTraits {
  using Handle = SOCKET;
  static SOCKET Invalid() { return INVALID_SOCKET; }
  static void Close(SOCKET s) { closesocket(s); }
};
// A socket closed exactly once, by its owner.
using ScopedSocket = toolkit::UniqueHandle<SocketTraits>;

using TNotifyEvent = std::function<void(TComponent* sender)>;
// Handled starts false; a handler sets it to ask for the follow-up (one more lookup, or no
// redirection, depending on the event).
using THandlerEvent = std::function<void(bool& handled)>;
using TOnHostResolved = std::function<void(TComponent* sender)>;
using TOnStatus = std::function<void(TComponent* sender, const std::string& status)>;
using TOnSocketError = std::function<void(TComponent* sender, int error, const std::string& message)>;

// Window messages of the hidden window: socket notifications and the end of a host lookup.
constexpr UINT kSocketMessage = WM_USER + 101;  // 1125
constexpr UINT kLookupMessage = WM_USER + 102;  // 1126
// Notifications of the sockets Accept handed out: a number of their own, so that dropping the
// stale notifications of the session's closed socket never drops theirs.
constexpr UINT kAcceptedMessage = WM_USER + 103;  // 1127
// The notifications every socket of the session is registered for: FD_READ | FD_OOB | FD_ACCEPT |
// FD_CONNECT | FD_CLOSE, and FD_WRITE so that a send that would block can wait for room instead
// of polling.
constexpr long kSocketEvents = FD_READ | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE | FD_WRITE;
// Size of the host lookup's result area.
constexpr std::size_t kLookupBufferSize = 1024;
// Longest time between two looks at the message queue while data streams in.
constexpr DWORD kPumpSpacing = 5;

// Status levels.
constexpr int kLevelReply = 1;
constexpr int kLevelCompleted = 2;
constexpr int kLevelSocket = 4;
constexpr int kLevelTrace = 8;

// The session's time-out timer: the toolkit's timer (Timer.h) on a hidden window of class
// "MessageTimerWindow". Throws base::Exception "No Timer" when the platform refuses the timer.
class TMessageTimer : public toolkit::TTimer {
 public:
  explicit TMessageTimer(TComponent* owner) : TTimer(owner, "MessageTimerWindow") {}
};

// The socket session. Every blocking call (Connect, ReadLn, the captures, the sends) returns when
// its work is done, failed, timed out or was cancelled; while it waits it dispatches the thread's
// messages through the toolkit's one message pump, so handlers, the timer and the socket
// notifications (to a hidden window of class "SocketSessionWindow") run inside it. Failures raise
// ESockError (with the texts of the error table for platform errors); a cancel, an Abort or a
// time-out raises EAbortError. No state is rolled back: counters and captured files keep what
// they had when the error came.
class TSocketSession : public TComponent {
 public:
  // Throws ESockError "Initializaton of windows sockets failed" when no socket can be made; the
  // hidden window is gone again then.
  explicit TSocketSession(TComponent* owner);
  ~TSocketSession() override;

  // --- Properties
  std::string Host;     // name or dotted IPv4 address
  int Port = 0;
  int TimeOut = 0;      // milliseconds for each wait; 0 = no limit
  int ReportLevel = 0;  // highest status level reported
  std::string Proxy;    // empty = direct connection
  int ProxyPort = 0;

  TNotifyEvent OnConnect;
  TNotifyEvent OnDisconnect;
  THandlerEvent OnInvalidHost;  // Handled = true: look the name up once more
  TOnHostResolved OnHostResolved;
  TOnStatus OnStatus;
  TNotifyEvent OnConnectionFailed;
  TNotifyEvent OnPacketRecvd;  // after each received block
  TNotifyEvent OnPacketSent;   // after each block sent by SendFile
  TNotifyEvent OnDataAvailable;
  TNotifyEvent OnAccept;
  TOnSocketError OnSocketError;  // just before a platform error is raised

  // --- Operations
  // Resolves Proxy (when set) or Host and connects to ProxyPort or Port (1 to 65535, else
  // ESockError "Invalid port N"), as ConnectTarget names them. A cancel ends the wait with
  // "Connection Canceled" and stays requested until the next Connect.
  virtual void Connect();
  virtual void Disconnect();
  // Waits for an incoming connection on a socket made ready by Listen and returns the accepted
  // socket, registered for notifications (its FD_READ reaches OnDataAvailable). RemoteAddress
  // holds its peer. A cancel or time-out raises EAbortError "Socket send aborted", a failed
  // notification ESockError "Accepting Canceled", a failed accept "Error creating Data
  // Connection".
  virtual ScopedSocket Accept();
  // Sends `command` with CR LF and reads one reply line; ReplyCode takes its leading digits.
  virtual std::string Transaction(const std::string& command);
  // Cancels the running operation (also called by the time-out).
  virtual void Abort();
  void Cancel();

  // Makes the connection secure: the TLS handshake with `host` (its name goes to the server and
  // is the name its certificate must carry), then the certificate check. From then on every send
  // and receive of the session goes through TLS, with the same time-outs, cancel and counters,
  // until the disconnect. Throws ETlsError (a handshake that failed, a certificate refused),
  // ESockError (a socket error, the peer's close) or EAbortError (a cancel or time-out).
  void StartTls(const std::string& host);
  bool Secured() const { return tls_ != nullptr; }

  // Binds the session's socket to 127.0.0.1:`port` (0 = any free port) and listens; returns the
  // port. For Accept.
  int Listen(int port);

  // Sends `length` bytes of `data` (0 = up to the first zero byte).
  void SendBuffer(const char* data, std::uint16_t length);
  // Sends `text` up to its first zero character, at most 65,535 characters (also nothing at all:
  // the timer, the report and a pending cancel work as for any send).
  void Write(const std::string& text);
  void Writeln(const std::string& text);
  // Sends every byte of `bytes`, zero bytes included, in pieces of the transfer buffer's size.
  void WriteAll(const std::string& bytes);
  // Sends the whole file block by block; SentBytes and OnPacketSent follow every successful send.
  // Throws base::Exception when it cannot be opened.
  void SendFile(const std::string& fileName);
  // One line with its line end; empty when the peer closed first. Nothing behind the line end is
  // consumed. The silence limit restarts with every byte. Throws EHttpError for a line longer
  // than the 64 KiB buffer, ESockError for a reset.
  std::string ReadLn();
  // Receive into a new (truncated) file or into `text` until the peer closes, or until `length`
  // bytes have come when it is not -1 (the rest stays unread). What came before the peer's close
  // is read to its end; a reset then raises ESockError ("10054:Connection reset by peer") with
  // the bytes so far kept.
  void CaptureFile(const std::string& fileName, std::int64_t length = -1);
  void CaptureString(std::string& text, std::int64_t maxLength = -1, std::int64_t length = -1);
  // The same for any body: each block goes to `take` (which may throw; the capture then ends with
  // that error), reported and cancelled as CaptureFile or CaptureString by `kind`.
  void CaptureBody(TCaptureKind kind, const std::function<void(const char*, int)>& take,
                   std::int64_t length = -1);
  bool DataAvailable();

  // --- State
  bool Connected() const { return connected_; }
  bool TimedOut() const { return timedOut_; }
  bool CancelRequested() const { return cancelRequested_; }
  int LastError() const { return lastError_; }
  const std::string& StatusText() const { return statusText_; }
  std::int16_t ReplyCode() const { return replyCode_; }
  const std::string& LastReply() const { return lastReply_; }
  std::int64_t ReceivedBytes() const { return receivedBytes_; }
  std::int64_t ExpectedBytes() const { return expectedBytes_; }
  std::int64_t SentBytes() const { return sentBytes_; }
  const sockaddr_in& RemoteAddress() const { return remoteAddress_; }
  const std::vector<std::string>& WinsockInfo() const { return winsockInfo_; }
  SOCKET Socket() const { return socket_.get(); }

  // The text of a platform socket error number ("10061:Connection refused").
  std::string ErrorText(int error);

 protected:
  // The name Connect looks up and the port it connects to: the proxy's when Proxy is set, else
  // the host's.
  virtual TConnectTarget ConnectTarget() const;
  void ReportStatus(int level, const std::string& text);
  // Raises ESockError for the platform error `error` (read by the caller at once after the call
  // that failed) unless it is `ignore` or not above 10000.
  void RaiseSocketError(int error, int ignore = kWSAEWOULDBLOCK);

  // Bounds the waits from now on to `milliseconds` in all, beside the silence limit (0 = no such
  // bound); only while TimeOut is set. When it ends a wait, OverallExpired is true.
  void LimitOverall(DWORD milliseconds);
  bool OverallExpired() const { return overallExpired_; }
  // LimitOverall(milliseconds) from its making, LimitOverall(0) at its end on every way out.
  class OverallLimit {
   public:
    OverallLimit(TSocketSession& session, DWORD milliseconds) : session_(session) {
      session_.LimitOverall(milliseconds);
    }
    ~OverallLimit() { session_.LimitOverall(0); }
    OverallLimit(const OverallLimit&) = delete;
    OverallLimit& operator=(const OverallLimit&) = delete;

   private:
    TSocketSession& session_;
  };

  // Called by the socket and lookup messages of the hidden window.
  virtual void HandleSocketMessage(UINT msg, WPARAM wp, LPARAM lp);

  // The one wait of every loop: dispatch what is pending, and when `idle`, sleep until the next
  // message (socket notification, timer, input) instead of polling again at once.
  void Idle(bool idle);
  // The wait after a received block: messages are dispatched at least every few milliseconds.
  void IdleAfterBlock();
  // Receives blocks into `take` until the peer closes, `length` bytes came (-1: no such end),
  // `wantsMore` says enough, or a cancel; the silence time-out restarts with every block. While
  // it reads, the socket is in the body's receive mode (BodyReceiveMode): no notifications (and
  // so no OnDataAvailable) while data streams in, messages handled every few milliseconds; the
  // loop reads until the socket would block and waits for data only then.
  void ReceiveBlocks(const std::function<void(const char*, int)>& take,
                     const std::function<bool()>& wantsMore, std::int64_t length);

  std::int16_t replyCode_ = 0;
  std::int64_t receivedBytes_ = 0;
  std::int64_t expectedBytes_ = 0;
  bool eventArrived_ = false;

 private:
  void StartWinsock();
  // Makes the session's socket and registers it for notifications. Throws ESockError.
  void MakeSocket(bool withLinger);
  // Registers the socket for the notifications `events`. Throws ESockError.
  void SelectEvents(long events);
  void ResolveHost();
  void CloseSocket();
  void TimerOn();
  void TimerRestart();  // the silence starts again (after a received block)
  void TimerOff();
  void TimerFired();
  // The time-out of one wait: TimerOn at its making, TimerOff at Off or at its end, on every way
  // out of the wait.
  class TimeOutRun {
   public:
    explicit TimeOutRun(TSocketSession& session) : session_(session) { session_.TimerOn(); }
    ~TimeOutRun() { Off(); }
    TimeOutRun(const TimeOutRun&) = delete;
    TimeOutRun& operator=(const TimeOutRun&) = delete;
    void Off() {
      if (on_) session_.TimerOff();
      on_ = false;
    }

   private:
    TSocketSession& session_;
    bool on_ = true;
  };
  // The body's receive mode, from its making to its end on every way out: the socket has no
  // notifications at all. With any notification registered (even without the data-readable
  // one), the platform looks at the socket again after every receive to find its close, which
  // costs more than the block itself; without them a receive is one plain call. A longer
  // silence waits with the notifications on (WaitForNotice), pumping messages until data
  // arrives. The end restores the notifications. Throws ESockError when the socket refuses.
  class BodyReceiveMode {
   public:
    explicit BodyReceiveMode(TSocketSession& session);
    ~BodyReceiveMode();
    BodyReceiveMode(const BodyReceiveMode&) = delete;
    BodyReceiveMode& operator=(const BodyReceiveMode&) = delete;
    // Waits with the notifications on for the next message (see Idle), then turns them off.
    void WaitForNotice();
    // Notifications on again: after the data's end, for the close notification.
    void Notify();

   private:
    void Quiet();
    TSocketSession& session_;
    bool quiet_ = false;
  };
  // Waits at most `milliseconds` (no messages handled) until the socket has data or its end;
  // false when it has not, or the wait failed.
  bool AwaitReadable(DWORD milliseconds);
  // Sends until all is out or a cancel; `sent` (when given) hears of every successful send.
  void SendLoop(const char* data, std::size_t length, const std::function<void(int)>& sent = {});
  // CaptureBody after its status report.
  void ReceiveBody(TCaptureKind kind, const std::function<void(const char*, int)>& take, std::int64_t length);
  // recv and send of the connection: through TLS once StartTls made it secure. Receive answers as
  // recv does (bytes, 0 at the peer's end, SOCKET_ERROR with the platform's error); SendSome
  // sends all of a piece's record before it returns the piece's size.
  int Receive(char* buffer, int size, int flags);
  int SendSome(const char* data, int size);
  // Sends every byte of `bytes` as they are, waiting for room.
  void SendAllRaw(const std::string& bytes);
  // The TLS handshake until it is done: after StartTls's first step, and for a renegotiation.
  void RunHandshake();
  // Waits a few milliseconds for the socket to be readable, handling messages; raises EAbortError
  // after a cancel or time-out.
  void WaitForTlsInput();

  // Raises the reset or error that the peer's close carried, if any.
  void RaiseCloseError();
  // Clears the cancel and raises EAbortError with `text`.
  [[noreturn]] void RaiseAbort(const char* text);

  // Declared first of the members that messages reach, made first, gone last.
  toolkit::MessageWindow window_;
  ScopedSocket socket_;
  TMessageTimer* timer_ = nullptr;  // owned as a component
  std::unique_ptr<char[]> lookupBuffer_;
  HANDLE lookupHandle_ = nullptr;
  std::vector<std::string> winsockInfo_;
  sockaddr_in remoteAddress_{};
  bool connected_ = false;
  bool cancelRequested_ = false;
  bool timedOut_ = false;
  bool lastEventOk_ = false;
  bool peerClosed_ = false;  // FD_CLOSE came; closeError_ is what it carried
  int closeError_ = 0;
  bool destroying_ = false;
  bool silent_ = false;  // no status events any more (destruction has begun)
  bool winsockStarted_ = false;
  int lastError_ = 0;
  DWORD waitStart_ = 0;
  DWORD lastPump_ = 0;  // tick count at the start of the current wait or silence
  DWORD overallLimit_ = 0;
  DWORD overallStart_ = 0;
  bool overallExpired_ = false;
  std::string statusText_;
  std::string lastReply_;
  std::int64_t sentBytes_ = 0;
  std::unique_ptr<TTlsChannel> tls_;  // set while the connection is secure
  bool tlsClosed_ = false;            // the peer ended the secure stream
  char transferBuffer_[kTransferBufferSize];
  char cipherBuffer_[kTransferBufferSize];
};

}  // namespace net
