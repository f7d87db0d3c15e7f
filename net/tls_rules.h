// Rules of the transfer over TLS that need no platform: what a certificate chain's check comes
// to, the tunnel a proxy opens for it, and which redirections a secure request may follow.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "net/http_rules.h"

namespace net {

// Why a secure connection was not made. Handshake: the TLS handshake itself failed (the server
// ended it, or no protocol version or cipher suite in common); InsecureRedirect: the server sent
// a secure request on to an "http" URL; the others are the server's certificate.
enum class TTlsFault { None, Handshake, Untrusted, OtherName, Expired, Revoked, InsecureRedirect };

// A secure connection refused: the fault and the host whose server it was.
class ETlsError : public ESockError {
 public:
  ETlsError(TTlsFault fault, const std::string& host, const std::string& detail);
  TTlsFault Fault() const { return fault_; }
  const std::string& Host() const { return host_; }

 private:
  TTlsFault fault_;
  std::string host_;
};

// The transfer layer's text of a fault ("Certificate of 'host' is not trusted"), with `detail`
// (a platform status) behind it when not empty.
std::string TlsFaultText(TTlsFault fault, std::string_view host, std::string_view detail = {});

// The certificate check's outcome from the chain's error status (the platform's trust-status
// bits) and the SSL policy's error (0 when it passed). Any error bit counts, also where the
// policy passed; revocation that could not be checked (no information, server unreachable) is
// no fault. The policy must be asked without its own revocation check: some platforms stop at
// that check and never look at the name; a revocation shows in the chain's status. An expired certificate wins over a wrong name, a wrong name over an unknown issuer.
TTlsFault ChainFault(std::uint32_t chainErrorStatus, std::uint32_t policyError);

// Chain trust-status bits and policy errors as the platform numbers them.
namespace chain {
constexpr std::uint32_t kNotTimeValid = 0x00000001;
constexpr std::uint32_t kRevoked = 0x00000004;
constexpr std::uint32_t kRevocationUnknown = 0x00000040;
constexpr std::uint32_t kOfflineRevocation = 0x01000000;
constexpr std::uint32_t kPolicyExpired = 0x800B0101;
constexpr std::uint32_t kPolicyUntrustedRoot = 0x800B0109;
constexpr std::uint32_t kPolicyNameMismatch = 0x800B010F;
constexpr std::uint32_t kPolicyRevoked = 0x80092010;
constexpr std::uint32_t kPolicyNoRevocationCheck = 0x80092012;
constexpr std::uint32_t kPolicyRevocationOffline = 0x80092013;
}  // namespace chain

// The request that asks a proxy for a tunnel to host:port, CR LF and the blank line included.
std::string TunnelRequestText(std::string_view host, std::int32_t port);

// Texts of a refused tunnel and of a redirection a secure request does not follow.
inline constexpr char kProxyAuthText[] = "Proxy requires authentication (407)";
inline constexpr char kInsecureRedirectText[] = "Redirection from https to http refused";
// The text of a proxy's refusal of the tunnel with `status`.
std::string TunnelRefusedText(int status);

// True when a redirection from a request that was secure (`fromSecure`) to `toUrl` (as resolved)
// may be followed: a secure request never goes on without TLS.
bool RedirectAllowed(bool fromSecure, std::string_view toUrl);

}  // namespace net
