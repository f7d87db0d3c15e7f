// The pure rules of the HTTP client without any socket: URLs, requests and the encoders. The
// reply's rules are in http_reply_rules.cpp.
#include "net/http_rules.h"

#include "base/StrUtils.h"
#include "net/http_text.h"

namespace net {

using text::IsDigit;
using text::SchemeLength;

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

std::string_view CmdVerb(CmdType cmd) {
  switch (cmd) {
    case CmdType::Get: return "GET ";
    case CmdType::Options: return "OPTIONS ";
    case CmdType::Head: return "HEAD ";
    case CmdType::Post: return "POST ";
    case CmdType::Put: return "PUT ";
    case CmdType::Patch: return "PATCH ";
    case CmdType::Copy: return "COPY ";
    case CmdType::Move: return "MOVE ";
    case CmdType::Delete: return "DELETE ";
    case CmdType::Link: return "LINK ";
    case CmdType::Unlink: return "UNLINK ";
    case CmdType::Trace: return "TRACE ";
    case CmdType::SendRaw: return "";
  }
  return "";
}

bool CmdHasContentLength(CmdType cmd) {
  switch (cmd) {
    case CmdType::Post:
    case CmdType::Put:
    case CmdType::Patch:
    case CmdType::Link:
    case CmdType::Unlink:
    case CmdType::Trace:
    case CmdType::SendRaw:
      return true;
    default:
      return false;
  }
}

bool CmdSendsData(CmdType cmd) {
  return CmdHasContentLength(cmd) && cmd != CmdType::Link && cmd != CmdType::Unlink;
}

// ---------------------------------------------------------------------------------------------

std::int32_t ParsePort(std::string_view text) {
  std::int32_t port = 0;
  bool valid = !text.empty() && text.size() <= 5;
  for (char c : text) {
    if (!IsDigit(c)) valid = false;
    if (valid) port = port * 10 + (c - '0');
  }
  if (!valid || port < 1 || port > 65535) {
    throw base::EConvertError("'" + std::string(text) + "' is not a valid port (1 to 65535)");
  }
  return port;
}

bool HasControlBytes(std::string_view text, bool tabAllowed) {
  for (char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    if ((b < 32 && !(tabAllowed && b == '\t')) || b == 127) return true;
  }
  return false;
}

void ParseURL(TUrlTarget& target) {
  const std::string& url = target.CurrentURL;
  if (url.empty()) throw base::Exception(kEmptyUrlText);
  if (target.Port == 0) target.Port = 80;
  // CR LF in a URL would start header lines of its own on the wire.
  if (HasControlBytes(url, false)) throw base::Exception(kUrlControlText);

  // Where the host part starts and whether there is one: after "scheme://", after a leading
  // "//", nowhere for a path from the root, else at the start ("host:port/path").
  std::size_t hostStart = 0;
  bool hasHost = true;
  const std::size_t schemeLength = SchemeLength(url);
  if (schemeLength > 0) {
    std::string scheme;
    for (std::size_t i = 0; i < schemeLength; ++i) scheme += Lower(url[i]);
    if (scheme != "http" && scheme != "https") {
      throw base::Exception("URL scheme '" + url.substr(0, schemeLength) + "' is not supported");
    }
    target.Secure = scheme == "https";
    target.Port = target.Secure ? 443 : 80;
    hostStart = schemeLength + 3;
  } else if (base::StartsWith(url, "//")) {
    hostStart = 2;
  } else if (url[0] == '/') {
    hasHost = false;
  }

  const std::size_t pathStart = hasHost ? url.find('/', hostStart) : 0;
  target.RequestPath = pathStart == std::string::npos ? std::string() : url.substr(pathStart);
  target.UserId.clear();
  target.Password.clear();

  if (hasHost) {
    std::string hostPart = url.substr(hostStart, pathStart == std::string::npos
                                                     ? std::string::npos
                                                     : pathStart - hostStart);
    // "user:password@host": the credentials are this URL's own, never part of the host.
    const std::size_t at = hostPart.rfind('@');
    if (at != std::string::npos) {
      std::string credentials = hostPart.substr(0, at);
      hostPart.erase(0, at + 1);
      const std::size_t colon = credentials.find(':');
      target.UserId = credentials.substr(0, colon);
      if (colon != std::string::npos) target.Password = credentials.substr(colon + 1);
    }
    const std::size_t portColon = hostPart.find(':');
    if (portColon != std::string::npos) {
      const std::size_t portEnd = hostPart.find(':', portColon + 1);
      target.Port = ParsePort(std::string_view(hostPart).substr(
          portColon + 1, portEnd == std::string::npos ? std::string::npos : portEnd - portColon - 1));
      hostPart.resize(portColon);
    }
    if (!hostPart.empty()) target.Host = hostPart;
  }

  if (target.RequestPath.empty()) {
    target.RequestPath = "/";
    target.CurrentURL += '/';
  }
}

TConnectTarget ConnectTargetFor(std::string_view host, std::int32_t port, std::string_view proxy,
                                std::int32_t proxyPort) {
  if (!proxy.empty()) return {std::string(proxy), proxyPort};
  return {std::string(host), port};
}

// ---------------------------------------------------------------------------------------------

int IndexOfHeader(const std::vector<std::string>& lines, std::string_view name) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::size_t colon = lines[i].find(':');
    if (colon == std::string::npos) continue;
    if (SameTextAscii(std::string_view(lines[i]).substr(0, colon), name)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

void SetHeader(std::vector<std::string>& lines, std::string_view name, std::string_view value) {
  int index = IndexOfHeader(lines, name);
  if (value.empty()) {
    if (index >= 0) lines.erase(lines.begin() + index);
    return;
  }
  std::string line = std::string(name) + ": " + std::string(value);
  if (index >= 0) {
    lines[static_cast<std::size_t>(index)] = std::move(line);
  } else {
    lines.push_back(std::move(line));
  }
}

// ---------------------------------------------------------------------------------------------

std::vector<std::string> BuildRequestHeader(const TRequestInput& in) {
  std::vector<std::string> lines;
  const bool viaProxy = !in.Proxy.empty();

  if (in.Cmd != CmdType::SendRaw) {
    // A blank would end the request target early ("GET /Updates/Neue Version.zip HTTP/1.0" is
    // no request line a server can read); it travels as "%20", which the server reads back as
    // the blank. Everything else of the target goes as it was given.
    std::string target = viaProxy ? in.CurrentURL : in.RequestPath;
    for (std::size_t at = target.find(' '); at != std::string::npos; at = target.find(' ', at + 3))
      target.replace(at, 1, "%20");
    lines.push_back(std::string(CmdVerb(in.Cmd)) + target + " HTTP/1.0");
  }
  if (viaProxy) {
    lines.push_back("Proxy-Connection: Keep-Alive");
    lines.push_back("Host: " + in.Host);
  }
  // Replaces the proxy's Host line rather than adding a second one.
  SetHeader(lines, "Host", in.Host);
  lines.push_back("Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
  lines.push_back("Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");
  if (in.NoCache) {
    lines.push_back("Pragma: no-cache");
    lines.push_back("Cache-Control: no-cache");
  }

  const THeaderInfo& info = in.HeaderInfo;
  if (!info.LocalProgram.empty()) SetHeader(lines, "User-Agent", info.LocalProgram);
  if (!info.LocalMailAddress.empty()) SetHeader(lines, "From", info.LocalMailAddress);
  const bool cookieHere = in.CookieHost.empty() || SameTextAscii(in.CookieHost, in.Host);
  if (!info.Cookie.empty() && cookieHere) SetHeader(lines, "Cookie", info.Cookie);
  if (!info.Referer.empty()) SetHeader(lines, "Referer", info.Referer);
  if (!info.UserId.empty() && !info.Password.empty()) {
    SetHeader(lines, "Authorization", "Basic " + Base64Encode(info.UserId + ":" + info.Password));
  }
  if (!info.Range.empty()) {
    SetHeader(lines, "Range", info.Range);
    if (!info.IfRange.empty()) SetHeader(lines, "If-Range", info.IfRange);
  }

  lines.push_back("Content-type: application/x-www-form-urlencoded");

  if (in.Cmd == CmdType::Copy || in.Cmd == CmdType::Move) {
    lines.push_back("URI-header: " + in.TargetURI);
  } else if (in.Cmd == CmdType::Link || in.Cmd == CmdType::Unlink) {
    lines.push_back("Link: " + in.TargetURI);
  }

  if (CmdHasContentLength(in.Cmd)) {
    // A length that no data follows would leave the server waiting for it.
    std::int64_t length = CmdSendsData(in.Cmd) ? in.DataLength : 0;
    lines.push_back("Content-Length: " + base::IntToStr(length));
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!HasControlBytes(lines[i])) continue;
    const bool requestLine = i == 0 && in.Cmd != CmdType::SendRaw;
    const std::string name = requestLine ? "request line" : lines[i].substr(0, lines[i].find(':'));
    throw EHttpError("Control characters in the request header line '" + name + "'");
  }
  return lines;
}

std::string RequestHeaderText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  text += "\r\n";
  return text;
}

std::string_view WritePortion(std::string_view text) {
  std::size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  return text.substr(0, kMaxWriteLength);
}

// ---------------------------------------------------------------------------------------------

std::string UrlEncode(std::string_view input) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(input.size());
  for (char c : input) {
    if (c == ' ') {
      out += '+';
    } else if (IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
      out += c;
    } else {
      unsigned char b = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

namespace {

constexpr std::size_t kUULineBytes = 45;

const char kMimeAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

char UUChar(unsigned value) { return value == 0 ? '`' : static_cast<char>(' ' + value); }

// Encodes up to 45 bytes as one line without its line end.
void EncodeGroupLine(std::string_view bytes, UUMethods method, std::string& out) {
  if (method == UUMethods::uuCode) out += UUChar(static_cast<unsigned>(bytes.size()));
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
    unsigned b0 = static_cast<unsigned char>(bytes[i]);
    unsigned b1 = n > 1 ? static_cast<unsigned char>(bytes[i + 1]) : 0;
    unsigned b2 = n > 2 ? static_cast<unsigned char>(bytes[i + 2]) : 0;
    unsigned sextets[4] = {b0 >> 2, ((b0 & 3) << 4) | (b1 >> 4), ((b1 & 15) << 2) | (b2 >> 6),
                           b2 & 63};
    for (int k = 0; k < 4; ++k) {
      if (method == UUMethods::uuMime) {
        // Sextets beyond the input bytes are padding.
        out += static_cast<std::size_t>(k) <= n ? kMimeAlphabet[sextets[k]] : '=';
      } else {
        out += UUChar(sextets[k]);
      }
    }
  }
}

}  // namespace

std::string UUEncode(std::string_view input, UUMethods method) {
  std::string out;
  for (std::size_t pos = 0; pos < input.size(); pos += kUULineBytes) {
    EncodeGroupLine(input.substr(pos, kUULineBytes), method, out);
    out += "\r\n";
  }
  if (method == UUMethods::uuCode) out += "`\r\n";
  return out;
}

std::string Base64Encode(std::string_view input) {
  std::string out;
  for (std::size_t pos = 0; pos < input.size(); pos += kUULineBytes) {
    EncodeGroupLine(input.substr(pos, kUULineBytes), UUMethods::uuMime, out);
  }
  return out;
}

}  // namespace net
