// Rules of the transfer over TLS: the certificate check's outcome, the proxy's tunnel, secure
// redirections.
#include "net/tls_rules.h"

#include "base/StrUtils.h"
#include "net/http_text.h"

namespace net {

ETlsError::ETlsError(TTlsFault fault, const std::string& host, const std::string& detail)
    : ESockError(TlsFaultText(fault, host, detail)), fault_(fault), host_(host) {}

std::string TlsFaultText(TTlsFault fault, std::string_view host, std::string_view detail) {
  const std::string name = "'" + std::string(host) + "'";
  std::string text;
  switch (fault) {
    case TTlsFault::None: text = "No TLS fault"; break;
    case TTlsFault::Handshake: text = "TLS handshake with " + name + " failed"; break;
    case TTlsFault::Untrusted: text = "Certificate of " + name + " is not trusted"; break;
    case TTlsFault::OtherName: text = "Certificate of " + name + " names another host"; break;
    case TTlsFault::Expired: text = "Certificate of " + name + " has expired or is not yet valid"; break;
    case TTlsFault::Revoked: text = "Certificate of " + name + " has been revoked"; break;
    case TTlsFault::InsecureRedirect: text = kInsecureRedirectText; break;
  }
  if (!detail.empty()) text += " (" + std::string(detail) + ")";
  return text;
}

TTlsFault ChainFault(std::uint32_t status, std::uint32_t policy) {
  using namespace chain;
  if (policy == kPolicyNoRevocationCheck || policy == kPolicyRevocationOffline) policy = 0;
  status &= ~(kRevocationUnknown | kOfflineRevocation);
  if ((status & kRevoked) != 0 || policy == kPolicyRevoked) return TTlsFault::Revoked;
  if ((status & kNotTimeValid) != 0 || policy == kPolicyExpired) return TTlsFault::Expired;
  if (policy == kPolicyNameMismatch) return TTlsFault::OtherName;
  if (status != 0 || policy != 0) return TTlsFault::Untrusted;
  return TTlsFault::None;
}

std::string TunnelRequestText(std::string_view host, std::int32_t port) {
  const std::string target = std::string(host) + ":" + base::IntToStr(port);
  return "CONNECT " + target + " HTTP/1.0\r\nHost: " + target + "\r\n\r\n";
}

std::string TunnelRefusedText(int status) {
  return "Proxy refused the tunnel (" + base::IntToStr(status) + ")";
}

bool RedirectAllowed(bool fromSecure, std::string_view toUrl) {
  // A URL without a scheme stays on the connection's kind; one with a scheme must name TLS.
  const std::size_t length = text::SchemeLength(toUrl);
  if (!fromSecure || length == 0) return true;
  std::string scheme;
  for (char c : toUrl.substr(0, length)) scheme += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return scheme == "https";
}

}  // namespace net
