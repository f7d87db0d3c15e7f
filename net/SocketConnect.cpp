// TSocketSession's connections: the host lookup, the connect, the close, listening and accepting.
#include "net/SocketSession.h"

#include <cstring>

#include "base/StrUtils.h"

namespace net {

TConnectTarget TSocketSession::ConnectTarget() const { return ConnectTargetFor(Host, Port, Proxy, ProxyPort); }

void TSocketSession::ResolveHost() {
  ReportStatus(kLevelTrace, "Resolve Host");
  const std::string name = ConnectTarget().Name;
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
  const std::int32_t port = ConnectTarget().Port;
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
  tls_.reset();
  tlsClosed_ = false;
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

}  // namespace net
