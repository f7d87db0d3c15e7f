// TTlsChannel: TLS on Schannel through SSPI.
#include "net/TlsChannel.h"

#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace net {

namespace {

// The longest record TLS allows (its header, 2^14 bytes of plain text and the expansion of the
// cipher). A peer that announces more, or sends more than this without a whole record, lies.
constexpr std::size_t kLongestRecord = 5 + 16384 + 2048;
// The handshake's messages may span several records (a long certificate chain).
constexpr std::size_t kLongestHandshakeInput = 256 * 1024;

constexpr unsigned long kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                        ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_EXTENDED_ERROR |
                                        ISC_REQ_MANUAL_CRED_VALIDATION | ISC_REQ_USE_SUPPLIED_CREDS;

std::string StatusText(long status) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(status));
  return text;
}

}  // namespace

TTlsChannel::TTlsChannel(const std::string& host) : host_(host) {
  // Validation is ours (CheckCertificate): the platform's own may be missing or partial.
  const DWORD flags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
  TimeStamp expiry;
  // The newer structure first: it alone can offer TLS 1.3. Everything before 1.2 stays off.
  TLS_PARAMETERS parameters{};
  parameters.grbitDisabledProtocols = ~static_cast<DWORD>(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT);
  SCH_CREDENTIALS newer{};
  newer.dwVersion = SCH_CREDENTIALS_VERSION;
  newer.dwFlags = flags;
  newer.cTlsParameters = 1;
  newer.pTlsParameters = &parameters;
  SECURITY_STATUS status = AcquireCredentialsHandleA(nullptr, const_cast<SEC_CHAR*>(UNISP_NAME_A),
                                                     SECPKG_CRED_OUTBOUND, nullptr, &newer, nullptr, nullptr,
                                                     &credentials_, &expiry);
  if (status != SEC_E_OK) {
    SCHANNEL_CRED older{};
    older.dwVersion = SCHANNEL_CRED_VERSION;
    older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    older.dwFlags = flags;
    status = AcquireCredentialsHandleA(nullptr, const_cast<SEC_CHAR*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND, nullptr,
                                       &older, nullptr, nullptr, &credentials_, &expiry);
  }
  if (status != SEC_E_OK) throw ETlsError(TTlsFault::Handshake, host_, "credentials " + StatusText(status));
  haveCredentials_ = true;
}

TTlsChannel::~TTlsChannel() {
  if (haveContext_) DeleteSecurityContext(&context_);
  if (haveCredentials_) FreeCredentialsHandle(&credentials_);
}

std::size_t TTlsChannel::Room() const {
  const std::size_t most = sizes_.cbMaximumMessage == 0 ? kLongestHandshakeInput : kLongestRecord;
  return input_.size() < most ? most - input_.size() : 0;
}

void TTlsChannel::Feed(const char* data, std::size_t size) {
  if (size > Room()) throw ESockError("TLS record from '" + host_ + "' longer than allowed");
  input_.append(data, size);
}

bool TTlsChannel::Handshake(std::string& out) {
  for (int pass = 0; pass < 8; ++pass) {
    SecBuffer in[2] = {{static_cast<unsigned long>(input_.size()), SECBUFFER_TOKEN, input_.empty() ? nullptr : &input_[0]},
                       {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
    SecBuffer token{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &token};
    unsigned long attributes = 0;
    const bool first = !haveContext_;
    const SECURITY_STATUS status = InitializeSecurityContextA(
        &credentials_, first ? nullptr : &context_, const_cast<SEC_CHAR*>(host_.c_str()), kContextFlags, 0, 0,
        first ? nullptr : &inDesc, 0, first ? &context_ : nullptr, &outDesc, &attributes, nullptr);
    if (first && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED)) haveContext_ = true;
    if (token.pvBuffer) {
      // An alert that comes with a failure goes out as well: the peer learns why.
      out.append(static_cast<const char*>(token.pvBuffer), token.cbBuffer);
      FreeContextBuffer(token.pvBuffer);
    }
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      if (Room() == 0) throw ETlsError(TTlsFault::Handshake, host_, "handshake message too long");
      return false;
    }
    if (!first) {
      if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer <= input_.size()) {
        input_.erase(0, input_.size() - in[1].cbBuffer);
      } else {
        input_.clear();
      }
    }
    if (status == SEC_E_OK) {
      if (QueryContextAttributesA(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_) != SEC_E_OK ||
          sizes_.cbMaximumMessage == 0) {
        throw ETlsError(TTlsFault::Handshake, host_, "no stream sizes");
      }
      return true;
    }
    if (status == SEC_I_CONTINUE_NEEDED) {
      if (input_.empty()) return false;
      continue;
    }
    if (status == SEC_I_INCOMPLETE_CREDENTIALS) continue;  // the server asks for a certificate: none
    throw ETlsError(TTlsFault::Handshake, host_, StatusText(status));
  }
  throw ETlsError(TTlsFault::Handshake, host_, "no progress");
}

void TTlsChannel::CheckCertificate() {
  PCCERT_CONTEXT certificate = nullptr;
  if (QueryContextAttributesA(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) != SEC_E_OK ||
      !certificate) {
    throw ETlsError(TTlsFault::Untrusted, host_, "no certificate");
  }
  char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {serverAuth};
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof(para);
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT chainContext = nullptr;
  const BOOL built = CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &para,
                                             CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT, nullptr, &chainContext);
  CertFreeCertificateContext(certificate);
  if (!built || !chainContext) throw ETlsError(TTlsFault::Untrusted, host_, "no chain");

  std::vector<wchar_t> name(host_.size() + 1);
  MultiByteToWideChar(CP_ACP, 0, host_.c_str(), -1, name.data(), static_cast<int>(name.size()));
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof(ssl);
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.pwszServerName = name.data();
  // Revocation is the chain's business (its status says revoked); a policy that checked it too
  // would stop at revocation it could not check and never compare the name.
  constexpr DWORD kIgnoreRevocation = 0x00000080;
  ssl.fdwChecks = kIgnoreRevocation;
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof(policy);
  policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS result{};
  result.cbSize = sizeof(result);
  const BOOL checked = CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chainContext, &policy, &result);
  const DWORD trust = chainContext->TrustStatus.dwErrorStatus;
  CertFreeCertificateChain(chainContext);
  const TTlsFault fault = checked ? ChainFault(trust, result.dwError) : TTlsFault::Untrusted;
  if (fault != TTlsFault::None) {
    throw ETlsError(fault, host_, "chain " + StatusText(static_cast<long>(trust)) + ", policy " +
                                      StatusText(static_cast<long>(result.dwError)));
  }
}

TTlsChannel::Read TTlsChannel::Decrypt() {
  if (input_.empty()) return Read::NeedMore;
  SecBuffer buffers[4] = {{static_cast<unsigned long>(input_.size()), SECBUFFER_DATA, &input_[0]},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
  const SECURITY_STATUS status = DecryptMessage(&context_, &desc, 0, nullptr);
  if (status == SEC_E_INCOMPLETE_MESSAGE) {
    if (Room() == 0) throw ESockError("TLS record from '" + host_ + "' longer than allowed");
    return Read::NeedMore;
  }
  if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED) {
    throw ESockError("TLS record from '" + host_ + "' not readable (" + StatusText(status) + ")");
  }
  if (plainStart_ == plain_.size()) {
    plain_.clear();
    plainStart_ = 0;
  }
  std::size_t data = 0;
  const char* extra = nullptr;
  std::size_t extraSize = 0;
  const char* const begin = input_.data();
  const char* const end = begin + input_.size();
  for (const SecBuffer& buffer : buffers) {
    const char* at = static_cast<const char*>(buffer.pvBuffer);
    // Every piece the platform names lies within what it was given.
    if (buffer.cbBuffer == 0 || !at || at < begin || buffer.cbBuffer > static_cast<std::size_t>(end - at)) continue;
    if (buffer.BufferType == SECBUFFER_DATA) {
      plain_.append(at, buffer.cbBuffer);
      data += buffer.cbBuffer;
    } else if (buffer.BufferType == SECBUFFER_EXTRA) {
      extra = at;
      extraSize = buffer.cbBuffer;
    }
  }
  if (extra) {
    // The EXTRA buffer may point at the start of the undecrypted rest; its size says where it
    // lies: the last bytes of the input.
    input_.erase(0, input_.size() - extraSize);
  } else {
    input_.clear();
  }
  if (status == SEC_I_RENEGOTIATE) return Read::Renegotiate;
  // The platform tells the close_notify either way: expired, or a record of no data.
  if (status == SEC_I_CONTEXT_EXPIRED || data == 0) return Read::Closed;
  return Read::Data;
}

std::size_t TTlsChannel::Take(char* buffer, std::size_t size, bool peek) {
  const std::size_t count = std::min(size, Plain());
  std::memcpy(buffer, plain_.data() + plainStart_, count);
  if (!peek) plainStart_ += count;
  return count;
}

void TTlsChannel::Encrypt(const char* data, std::size_t size, std::string& out) {
  std::vector<char> record(sizes_.cbHeader + sizes_.cbMaximumMessage + sizes_.cbTrailer);
  while (size > 0) {
    const std::size_t piece = std::min<std::size_t>(size, sizes_.cbMaximumMessage);
    std::memcpy(record.data() + sizes_.cbHeader, data, piece);
    SecBuffer buffers[4] = {{sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                            {static_cast<unsigned long>(piece), SECBUFFER_DATA, record.data() + sizes_.cbHeader},
                            {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + piece},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = EncryptMessage(&context_, 0, &desc, 0);
    if (status != SEC_E_OK) throw ESockError("TLS record for '" + host_ + "' not made (" + StatusText(status) + ")");
    out.append(record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
    data += piece;
    size -= piece;
  }
}

}  // namespace net
