// The pure rules of the HTTP client and the socket session, without any socket.
#include "net/http_rules.h"

#include <limits>

#include "base/StrUtils.h"

namespace net {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The word at `index` when the text is cut at every single blank (two blanks in a row make an
// empty word); empty when there are fewer words.
std::string_view Word(std::string_view text, int index) {
  std::size_t start = 0;
  for (int i = 0; i < index; ++i) {
    std::size_t blank = text.find(' ', start);
    if (blank == std::string_view::npos) return {};
    start = blank + 1;
  }
  std::size_t end = text.find(' ', start);
  return text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// The line from character `from` (0-based) on, without its line end.
std::string HeaderValue(std::string_view line, std::size_t from) {
  std::string_view value = WithoutLineEnd(line);
  return std::string(from < value.size() ? value.substr(from) : std::string_view{});
}

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Length of a scheme name at the start of `url` that "://" follows; 0 when there is none.
std::size_t SchemeLength(std::string_view url) {
  if (url.empty() || !IsAlpha(url[0])) return 0;
  std::size_t i = 1;
  while (i < url.size() &&
         (IsAlpha(url[i]) || IsDigit(url[i]) || url[i] == '+' || url[i] == '-' || url[i] == '.')) {
    ++i;
  }
  return url.substr(i, 3) == "://" ? i : 0;
}

std::int16_t To16(std::int64_t value) {
  if (value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::int16_t>::max()) {
    return 0;
  }
  return static_cast<std::int16_t>(value);
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
    if (scheme == "https") throw base::Exception(kHttpsText);
    if (scheme != "http") {
      throw base::Exception("URL scheme '" + url.substr(0, schemeLength) + "' is not supported");
    }
    target.Port = 80;
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

  const THeaderInfo& info = in.HeaderInfo;
  if (!info.LocalProgram.empty()) SetHeader(lines, "User-Agent", info.LocalProgram);
  if (!info.LocalMailAddress.empty()) SetHeader(lines, "From", info.LocalMailAddress);
  const bool cookieHere = in.CookieHost.empty() || SameTextAscii(in.CookieHost, in.Host);
  if (!info.Cookie.empty() && cookieHere) SetHeader(lines, "Cookie", info.Cookie);
  if (!info.Referer.empty()) SetHeader(lines, "Referer", info.Referer);
  if (!info.UserId.empty() && !info.Password.empty()) {
    SetHeader(lines, "Authorization", "Basic " + Base64Encode(info.UserId + ":" + info.Password));
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

// ---------------------------------------------------------------------------------------------

std::optional<int> ParseStatusLine(std::string_view statusLine) {
  std::string_view line = WithoutLineEnd(statusLine);
  if (!base::StartsWith(line, "HTTP/")) return std::nullopt;
  std::size_t i = 5;
  while (i < line.size() && (IsDigit(line[i]) || line[i] == '.')) ++i;
  if (i == 5 || i >= line.size() || line[i] != ' ') return std::nullopt;
  while (i < line.size() && line[i] == ' ') ++i;
  if (line.size() - i < 3) return std::nullopt;
  int code = 0;
  for (std::size_t k = i; k < i + 3; ++k) {
    if (!IsDigit(line[k])) return std::nullopt;
    code = code * 10 + (line[k] - '0');
  }
  if (line.size() > i + 3 && line[i + 3] != ' ') return std::nullopt;
  if (code < 100) return std::nullopt;
  return code;
}

std::int16_t ParseTransactionCode(std::string_view reply) {
  std::int64_t value = 0;
  std::size_t i = 0;
  for (; i < reply.size() && i < 10 && IsDigit(reply[i]); ++i) value = value * 10 + (reply[i] - '0');
  return i == 0 ? 0 : To16(value);
}

void ApplyHeaderLine(std::string_view line, TResponseInfo& info) {
  std::string name;
  for (char c : Word(line, 0)) name += Upper(c);
  // Without a blank the first word runs to the line end and never matches.
  if (line.find(' ') == std::string_view::npos) return;

  if (name == "SET-COOKIE:") {
    info.ReceivedCookie = HeaderValue(line, 12);
  } else if (name == "LOCATION:") {
    info.RedirectLocation = HeaderValue(line, 10);
  } else if (name == "CONTENT-LENGTH:") {
    std::string_view rest = line.size() > 16 ? line.substr(16) : std::string_view{};
    std::size_t start = 0;
    while (start < rest.size() && !IsDigit(rest[start])) ++start;
    std::size_t end = start;
    std::int64_t value = 0;
    bool fits = true;
    for (; end < rest.size() && IsDigit(rest[end]); ++end) {
      int digit = rest[end] - '0';
      if (value > (std::numeric_limits<std::int64_t>::max() - digit) / 10) fits = false;
      if (fits) value = value * 10 + digit;
    }
    info.HasLength = end > start && fits;
    info.ExpectedBytes = info.HasLength ? value : 0;
  }
}

bool IsHeaderEnd(std::string_view line) { return line.empty() || line == "\n" || line == "\r\n"; }

// ---------------------------------------------------------------------------------------------

std::size_t TLineSplitter::Feed(std::string_view data) {
  if (state_ != State::NeedMore) return 0;
  std::size_t room = maxLine_ - pending_.size();
  std::size_t lf = data.substr(0, room).find('\n');
  if (lf != std::string_view::npos) {
    pending_.append(data.data(), lf + 1);
    state_ = State::LineReady;
    return lf + 1;
  }
  std::size_t take = data.size() < room ? data.size() : room;
  pending_.append(data.data(), take);
  if (pending_.size() >= maxLine_) {
    // A full buffer without a line end: the line cannot be held.
    pending_.clear();
    state_ = State::TooLong;
  }
  return take;
}

void TLineSplitter::Close() {
  closed_ = true;
  if (state_ == State::NeedMore) state_ = State::LineReady;
}

std::string TLineSplitter::TakeLine() {
  if (state_ != State::LineReady) return {};
  std::string line;
  line.swap(pending_);
  // After the peer closed, every further line is the empty one.
  state_ = closed_ ? State::LineReady : State::NeedMore;
  return line;
}

// ---------------------------------------------------------------------------------------------

std::size_t TResponseHeaderReader::Feed(std::string_view data) {
  std::size_t used = 0;
  while (!done_ && used < data.size()) {
    std::size_t taken = splitter_.Feed(data.substr(used));
    used += taken;
    if (splitter_.state() == TLineSplitter::State::TooLong) throw EHttpError(kLineTooLongText);
    if (splitter_.state() == TLineSplitter::State::LineReady) {
      TakeLine(splitter_.TakeLine());
    } else if (taken == 0) {
      break;  // the splitter takes no more; never spin on the same bytes
    }
  }
  return used;
}

void TResponseHeaderReader::Close() {
  splitter_.Close();
  while (!done_ && splitter_.state() == TLineSplitter::State::LineReady) {
    const std::string line = splitter_.TakeLine();
    if (line.empty()) break;  // nothing more came
    TakeLine(line);
  }
  if (done_) return;
  done_ = true;
  throw EHttpError(haveStatus_ ? kHeaderCutText : kNoStatusText);
}

void TResponseHeaderReader::TakeLine(const std::string& line) {
  if (header_.size() + line.size() > kMaxReplyHeaderBytes) throw EHttpError(kHeaderTooLargeText);
  if (++lines_ > kMaxReplyHeaderLines) throw EHttpError(kHeaderTooManyLinesText);
  header_ += line;
  if (!haveStatus_) {
    haveStatus_ = true;
    statusLine_ = line;
    const std::optional<int> code = ParseStatusLine(line);
    if (!code) throw EHttpError(kNoStatusText);
    if (*code < 200) throw EHttpError(kInterimStatusText);
    info_.ReplyCode = static_cast<std::int16_t>(*code);
    return;
  }
  ApplyHeaderLine(line, info_);
  if (IsHeaderEnd(line)) done_ = true;
}

std::optional<std::int64_t> BodyLengthFor(CmdType cmd, int replyCode, const TResponseInfo& info) {
  if (cmd == CmdType::Head || replyCode == 204 || replyCode == 304) return 0;
  if (info.HasLength) return info.ExpectedBytes;
  return std::nullopt;
}

std::string ShortBodyText(std::int64_t received, std::int64_t announced) {
  return "Reply body ended after " + base::IntToStr(received) + " of " + base::IntToStr(announced) +
         " bytes";
}

std::string LongBodyText(std::int64_t limit) {
  return "Reply body longer than " + base::IntToStr(limit) + " bytes";
}

// ---------------------------------------------------------------------------------------------

TReplyDecision DecideReply(int code) {
  TReplyDecision d;
  d.Success = code < 299;
  d.Failure = code > 399;
  d.TakeLocation = code >= 300 && code <= 302;
  d.Redirect = code >= 300 && code <= 398;
  d.AuthNeeded = code == 401;
  d.Repeat = code >= 299 && code <= 399;
  return d;
}

std::string ResolveRedirectURL(std::string_view url, std::string_view host, std::int32_t port) {
  if (url.empty()) throw EHttpError(kNoLocationText);
  if (SchemeLength(url) > 0) return std::string(url);
  if (base::StartsWith(url, "//")) return "http:" + std::string(url);
  if (url[0] == '/') return std::string(url);
  std::string root = "http://" + std::string(host);
  if (port != 80) root += ":" + base::IntToStr(port);
  return root + "/" + std::string(url);
}

void TRedirectLimit::CountHop() {
  if (hops_ >= kMaxRedirects) throw EHttpError(kTooManyRedirectsText);
  ++hops_;
}

// ---------------------------------------------------------------------------------------------

const std::vector<TSocketErrorRow>& SocketErrorTable() {
  static const std::vector<TSocketErrorRow> kTable = {
      {10004, "Interrupted system call"},
      {10009, "Bad file number"},
      {10013, "Permission denied"},
      {10014, "Bad address"},
      {10022, "Invalid argument"},
      {10024, "Too many open files"},
      {10035, "Operation would block"},
      {10036, "Operation now in progress"},
      {10037, "Operation already in progress"},
      {10038, "Socket operation on non-socket"},
      {10039, "Destination address required"},
      {10040, "Message too long"},
      {10041, "Wrong protocol type for socket"},
      {10042, "Bad protocol option"},
      {10043, "Protocol not supported"},
      {10044, "Socket type not supported"},
      {10045, "Operation not supported on socket"},
      {10046, "Protocol family not supported"},
      {10047, "Address family not supported by protocol family"},
      {10048, "Address already in use"},
      {10049, "Can't assign requested address"},
      {10050, "Network is down"},
      {10051, "Network is unreachable"},
      {10052, "Network dropped connection or reset"},
      {10053, "Software caused connection abort"},
      {10054, "Connection reset by peer"},
      {10055, "No buffer space available"},
      {10056, "Socket is already connected"},
      {10057, "Socket is not connected"},
      {10058, "Can't send after socket shutdown"},
      {10059, "Too many references, can't splice"},
      {10060, "Connection timed out"},
      {10061, "Connection refused"},
      {10062, "Too many levels of symbolic links"},
      {10063, "File name too long"},
      {10064, "Host is down"},
      {10065, "No route to Host"},
      {10066, "Directory not empty"},
      {10067, "Too many processes"},
      {10068, "Too many users"},
      {10069, "Disc quota exceeded"},
      {10070, "Stale NFS file handle"},
      {10071, "Too many levels of remote in path"},
      {10091, "Network subsystem is unavailable"},
      {10092, "Incompatible version of WINSOCK.DLL"},
      {10093, "Successful WSAStartup not yet performed"},
      {11001, "Host not found"},
      {11002, "Non-Authoritative Host not found"},
      {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
      {11004, "Valid name, no data record of requested type"},
      {0, "Unrecognized error code"},
  };
  return kTable;
}

std::string ErrorText(int error) {
  if (error != 0) {
    for (const TSocketErrorRow& row : SocketErrorTable()) {
      if (row.Number == error) return base::IntToStr(error) + ":" + row.Text;
    }
  }
  return "Unknown Error No. " + base::IntToStr(error);
}

bool IsRaisedSocketError(int error, int ignore) { return error != ignore && error > 10000; }

}  // namespace net
