// TTlsChannel: one client side of TLS on the platform's Schannel, with no socket of its own. The
// socket session feeds it the bytes that came and sends the bytes it hands out; the channel
// keeps what arrived until it makes whole records, and the plain text until it is taken.
#pragma once

#include <winsock2.h>
#include <windows.h>
#define SECURITY_WIN32
// The newer credentials structure (SCH_CREDENTIALS) is declared only with this.
#define SCHANNEL_USE_BLACKLISTS
#include <subauth.h>
#include <security.h>
#include <schannel.h>

#include <cstddef>
#include <string>

#include "net/tls_rules.h"

namespace net {

class TTlsChannel {
 public:
  // Takes credentials for TLS 1.2 (and 1.3 where the platform has it) with no client
  // certificate. Throws ETlsError (Handshake) when the platform refuses.
  explicit TTlsChannel(const std::string& host);
  ~TTlsChannel();
  TTlsChannel(const TTlsChannel&) = delete;
  TTlsChannel& operator=(const TTlsChannel&) = delete;

  // Bytes that came from the peer. Throws ESockError when they grow past any record's size.
  void Feed(const char* data, std::size_t size);
  // One step of the handshake (also of a renegotiation the peer asked for) with what was fed so
  // far; what must go to the peer is appended to `out`. True when the connection is
  // established; false when more bytes must come. Throws ETlsError (Handshake).
  bool Handshake(std::string& out);
  // Checks the peer's certificate for the host: chain to a trusted root, policy for the name,
  // revocation where it can be checked. Throws ETlsError with the fault.
  void CheckCertificate();

  enum class Read { Data, NeedMore, Closed, Renegotiate };
  // Decrypts the next whole record that was fed into the plain text. Renegotiate: the peer sent
  // handshake data (a renegotiation, a TLS 1.3 ticket or key update); Handshake must run until
  // it is true before anything else is read. Closed: the peer's close_notify. Throws ESockError
  // for a record that does not decrypt.
  Read Decrypt();
  // How many more bytes Feed takes now: what is left of the longest record (of the handshake's
  // messages until it is done).
  std::size_t Room() const;
  // Plain text that has not been taken yet.
  std::size_t Plain() const { return plain_.size() - plainStart_; }
  // Copies up to `size` bytes of the plain text into `buffer`; `peek`: they stay.
  std::size_t Take(char* buffer, std::size_t size, bool peek);
  // The records that carry `data`, appended to `out`.
  void Encrypt(const char* data, std::size_t size, std::string& out);

 private:
  std::string host_;
  CredHandle credentials_{};
  CtxtHandle context_{};
  bool haveCredentials_ = false;
  bool haveContext_ = false;
  SecPkgContext_StreamSizes sizes_{};
  std::string input_;       // bytes from the peer not yet made into plain text
  std::string plain_;
  std::size_t plainStart_ = 0;
};

}  // namespace net
