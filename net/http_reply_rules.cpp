// The pure rules of the HTTP client's replies, without any socket: the status line, the reply
// header reader, the body's length, redirections and the socket error table (declared in
// http_rules.h with the request rules).
#include "net/http_rules.h"

#include <limits>

#include "base/StrUtils.h"
#include "net/http_text.h"

namespace net {

using text::IsDigit;
using text::SchemeLength;

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

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

// A header value without its line end and without blanks and tabs around it.
std::string TrimmedValue(std::string_view line, std::size_t from) {
  std::string value = HeaderValue(line, from);
  const std::size_t first = value.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return value.substr(first, value.find_last_not_of(" \t") - first + 1);
}

// Reads the decimal number that makes up all of `text` (blanks around it allowed).
std::optional<std::int64_t> WholeNumber(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::int16_t To16(std::int64_t value) {
  if (value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::int16_t>::max()) {
    return 0;
  }
  return static_cast<std::int16_t>(value);
}

}  // namespace

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
  } else if (name == "CONTENT-RANGE:") {
    info.ContentRange = TrimmedValue(line, 15);
  } else if (name == "ETAG:") {
    info.ETag = TrimmedValue(line, 6);
  } else if (name == "LAST-MODIFIED:") {
    info.LastModified = TrimmedValue(line, 15);
  }
}

std::optional<TContentRange> ParseContentRange(std::string_view value) {
  while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  if (value.size() < 6) return std::nullopt;
  for (std::size_t i = 0; i < 5; ++i) {
    if (Upper(value[i]) != "BYTES"[i]) return std::nullopt;
  }
  if (value[5] != ' ') return std::nullopt;
  value.remove_prefix(6);
  const std::size_t dash = value.find('-'), slash = value.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) return std::nullopt;
  const auto first = WholeNumber(value.substr(0, dash));
  const auto last = WholeNumber(value.substr(dash + 1, slash - dash - 1));
  std::string_view total = value.substr(slash + 1);
  while (!total.empty() && total.front() == ' ') total.remove_prefix(1);
  while (!total.empty() && total.back() == ' ') total.remove_suffix(1);
  if (!first || !last || *last < *first) return std::nullopt;
  TContentRange range{*first, *last, -1};
  if (total != "*") {
    const auto whole = WholeNumber(total);
    if (!whole || *last >= *whole) return std::nullopt;
    range.Total = *whole;
  }
  return range;
}

std::string IfRangeValidator(const TResponseInfo& info) {
  // A weak ETag ("W/...") may stand for other bytes; only a strong one says that they are the same.
  const bool strongTag = info.ETag.size() >= 2 && info.ETag.front() == '"' && info.ETag.back() == '"';
  const std::string& validator = strongTag ? info.ETag : info.LastModified;
  if (HasControlBytes(validator, false)) return {};
  return validator;
}

TResumeVerdict JudgeResumeReply(const TResumePoint& point, int replyCode, const TResponseInfo& info) {
  if (replyCode == 200) return TResumeVerdict::Whole;
  if (replyCode == 416) return TResumeVerdict::Refetch;
  if (replyCode != 206) return TResumeVerdict::Other;
  const std::optional<TContentRange> range = ParseContentRange(info.ContentRange);
  if (!range || range->Total < 0 || range->First != point.Kept || range->Last != range->Total - 1)
    return TResumeVerdict::Refetch;
  if (point.Total >= 0 && range->Total != point.Total) return TResumeVerdict::Refetch;
  if (info.HasLength && info.ExpectedBytes != range->Total - point.Kept) return TResumeVerdict::Refetch;
  // The validator the reply sends of the kind the point holds must be the same; a reply without
  // one leaves it to the range and, with a key, to the archive's checksum.
  if (!point.Validator.empty()) {
    const bool isTag = point.Validator.front() == '"';
    const std::string& sent = isTag ? info.ETag : info.LastModified;
    if (!sent.empty() && sent != point.Validator) return TResumeVerdict::Refetch;
  }
  return TResumeVerdict::Append;
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

std::string ResolveRedirectURL(std::string_view url, std::string_view host, std::int32_t port, bool secure) {
  if (url.empty()) throw EHttpError(kNoLocationText);
  if (SchemeLength(url) > 0) return std::string(url);
  const std::string scheme = secure ? "https:" : "http:";
  if (base::StartsWith(url, "//")) return scheme + std::string(url);
  if (url[0] == '/') return std::string(url);
  std::string root = scheme + "//" + std::string(host);
  if (port != (secure ? 443 : 80)) root += ":" + base::IntToStr(port);
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
