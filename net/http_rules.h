// The pure rules of the HTTP client and the socket session: URLs, request text, encoders, reply parsing, redirects, socket error texts, line splitting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Exception.h"

namespace net {

// The errors of the transfer layer: every failure of a socket, a lookup, a connection or a reply.
class ESockError : public base::Exception {
 public:
  using base::Exception::Exception;
};

// A transfer ended by Cancel, Abort or a time-out.
class EAbortError : public ESockError {
 public:
  using ESockError::ESockError;
};

// Raised where a reply or a request breaks the rules of the protocol or the transfer layer's own
// limits: no valid status line, a header cut off or too large, a body shorter than announced, a
// redirection without a target, control characters bound for the wire, an endless chain of
// redirections. A transfer error like any other, so a caller that catches ESockError sees it too.
class EHttpError : public ESockError {
 public:
  using ESockError::ESockError;
};

// Size of the socket session's transfer buffer; also the longest line (line end included) that
// reading a reply accepts.
constexpr std::size_t kTransferBufferSize = 65536;

// Write sends at most this many characters of a string.
constexpr std::size_t kMaxWriteLength = 65535;

// Bounds of a whole reply header (status line, header lines and the blank line).
constexpr std::size_t kMaxReplyHeaderBytes = 1 << 20;
constexpr std::size_t kMaxReplyHeaderLines = 1000;

// Redirections (and repeated requests for 299 and 399) followed by one request before it fails.
constexpr int kMaxRedirects = 20;

// Texts of the errors raised here.
inline constexpr char kEmptyUrlText[] = "Empty URL";
inline constexpr char kLineTooLongText[] = "Reply line longer than 65536 bytes";
inline constexpr char kTooManyRedirectsText[] = "Too many redirections (more than 20)";
inline constexpr char kHeaderTooLargeText[] = "Reply header larger than 1 MiB";
inline constexpr char kHeaderTooManyLinesText[] = "Reply header with more than 1000 lines";
inline constexpr char kNoStatusText[] = "Reply without a valid HTTP status line";
inline constexpr char kInterimStatusText[] = "Reply with an interim status (1xx) only";
inline constexpr char kHeaderCutText[] = "Connection closed inside the reply header";
inline constexpr char kNoLocationText[] = "Redirection without a Location";
inline constexpr char kUrlControlText[] = "URL contains control characters";

// ---------------------------------------------------------------------------------------------
// Request kinds

enum class CmdType : std::uint8_t {
  Get = 0,
  Options = 1,
  Head = 2,
  Post = 3,
  Put = 4,
  Patch = 5,
  Copy = 6,
  Move = 7,
  Delete = 8,
  Link = 9,
  Unlink = 10,
  Trace = 11,
  SendRaw = 12,
};

// The request-line verb with its trailing blank ("GET "); empty for SendRaw, which sends no
// request line.
std::string_view CmdVerb(CmdType cmd);

// True for the kinds whose header announces a "Content-Length" (POST, PUT, PATCH, LINK, UNLINK,
// TRACE, SendRaw).
bool CmdHasContentLength(CmdType cmd);

// True for the kinds whose data follows the header on the wire (POST, PUT, PATCH, TRACE,
// SendRaw). LINK and UNLINK announce a length but send nothing.
bool CmdSendsData(CmdType cmd);

// ---------------------------------------------------------------------------------------------
// URL parsing

// What a request leaves behind: the URL (a "/" may be appended), the path for a direct request
// line, and the server's host and port, which keep their values from one request to the next.
// UserId and Password come from a "user:password@" before the host, only for this URL.
struct TUrlTarget {
  std::string CurrentURL;
  std::string RequestPath;
  std::string Host;
  std::int32_t Port = 0;
  std::string UserId;
  std::string Password;
  bool Secure = false;  // the scheme is "https": TLS, port 443 unless the URL names one
};

// Splits `target.CurrentURL` into path, host and port, updating `target` in place. A port of 0
// becomes 80. A scheme counts only as a name before "://": "http" sets the port 80 and clears
// Secure, "https" sets the port 443 and Secure, every other one is refused, since the request
// would go to a server of another protocol; without a scheme Secure stays as it was. A ":" port in the
// host part (decimal 1 to 65535) wins over the scheme's. An empty host part keeps the old `Host`.
// Throws base::Exception "Empty URL", "URL scheme 'x' is not supported" or "URL contains control characters", and base::EConvertError for a port that is
// not a decimal number from 1 to 65535; what was set before the error (the port 80 for a port of
// 0, the path) stays in `target`.
void ParseURL(TUrlTarget& target);

// Throws base::EConvertError "'text' is not a valid port (1 to 65535)" unless `text` is a decimal
// number in that range; returns it.
std::int32_t ParsePort(std::string_view text);

// The name to look up and the port to connect to: the proxy's when one is set, else the host's.
struct TConnectTarget {
  std::string Name;
  std::int32_t Port = 0;
};
TConnectTarget ConnectTargetFor(std::string_view host, std::int32_t port, std::string_view proxy,
                                std::int32_t proxyPort);

// True when `text` holds a byte that must never reach the wire inside a line: below 32 or 127
// (a tab is allowed within header values, never in a URL).
bool HasControlBytes(std::string_view text, bool tabAllowed = true);

// ---------------------------------------------------------------------------------------------
// Header lists ("Name: value" lines)

// Index of the first line holding ":" whose text before the first ":" equals `name`, ignoring
// case; -1 when there is none.
int IndexOfHeader(const std::vector<std::string>& lines, std::string_view name);

// Overwrites the line of `name` with name + ": " + value, or appends it; an empty value deletes
// the line instead.
void SetHeader(std::vector<std::string>& lines, std::string_view name, std::string_view value);

// ---------------------------------------------------------------------------------------------
// Request text

// Optional values of the request header; empty means "not sent".
struct THeaderInfo {
  std::string LocalMailAddress;
  std::string LocalProgram;
  std::string Cookie;
  std::string Referer;
  std::string UserId;
  std::string Password;
  // A request for the rest of a body: "Range" ("bytes=N-") and "If-Range" (the validator the
  // first reply gave). If-Range goes only with a Range.
  std::string Range;
  std::string IfRange;
};

// Everything the request header is built from.
struct TRequestInput {
  CmdType Cmd = CmdType::Get;
  std::string CurrentURL;   // sent in the request line through a proxy
  std::string RequestPath;  // sent in the request line of a direct request
  std::string Host;
  std::string Proxy;
  THeaderInfo HeaderInfo;
  std::string TargetURI;     // COPY, MOVE, LINK, UNLINK
  std::int64_t DataLength = 0;  // length of the data that follows the header
  // The host a received cookie came from; the cookie goes to no other host. Empty: the cookie was
  // set by the caller and goes wherever the request goes.
  std::string CookieHost;
  // "Pragma: no-cache" and "Cache-Control: no-cache" after the Accept lines: no cache on the way
  // may answer.
  bool NoCache = false;
};

// The header lines, without line ends, in the order they go on the wire. LINK and UNLINK send no
// data, so their "Content-Length" is 0 whatever `DataLength` says. Throws EHttpError "Control
// characters in the request header line 'Name'" when a value would carry one onto the wire.
std::vector<std::string> BuildRequestHeader(const TRequestInput& input);

// The header as sent: every line followed by CR LF, then the blank line (CR LF).
std::string RequestHeaderText(const std::vector<std::string>& lines);

// What Write puts on the wire for `text`: cut at its first zero character and after 65,535
// characters.
std::string_view WritePortion(std::string_view text);

// ---------------------------------------------------------------------------------------------
// Encoders

// Form encoding: a space becomes "+", 0-9, A-Z and a-z stay, every other byte becomes "%" and two
// lower-case hexadecimal digits. Never fails.
std::string UrlEncode(std::string_view input);

enum class UUMethods { uuMime = 0, uuCode = 1 };

// Encodes `input` into lines of up to 45 input bytes each, every line ending in CR LF. uuMime is
// Base64 with "=" padding; uuCode starts each line with its byte count and ends with a line
// holding only "`". Never fails.
std::string UUEncode(std::string_view input, UUMethods method);

// Base64 of `input` as one line (uuMime without the line ends), as the Authorization line
// carries it.
std::string Base64Encode(std::string_view input);

// ---------------------------------------------------------------------------------------------
// Reply parsing

// Status code of an HTTP status line ("HTTP/" version, blanks, three digits, then a blank or the
// line end; the line end is stripped first, so "HTTP/1.0 404\r\n" gives 404). Empty when the line
// is not a status line.
std::optional<int> ParseStatusLine(std::string_view statusLine);

// Reply code of a session transaction: the leading decimal digits (at most 10) of the reply; 0
// when there are none or their value does not fit 16 bits.
std::int16_t ParseTransactionCode(std::string_view reply);

// What the response header has told so far.
struct TResponseInfo {
  std::int16_t ReplyCode = 0;  // 0 until a valid status line came
  std::string ReceivedCookie;
  std::string RedirectLocation;
  std::int64_t ExpectedBytes = 0;
  bool HasLength = false;  // a readable "Content-Length" came (ExpectedBytes may be 0)
  // The values of "Content-Range", "ETag" and "Last-Modified" as sent, blanks around them
  // removed; empty when absent.
  std::string ContentRange;
  std::string ETag;
  std::string LastModified;
};

// Interprets one header line (with or without its line end): "Set-Cookie: ", "Location: ",
// "Content-Length: ", "Content-Range: ", "ETag: " and "Last-Modified: " are recognised without
// regard to case, only when a blank follows the colon.
// Values are taken whole, without the line end. Other lines change nothing.
void ApplyHeaderLine(std::string_view line, TResponseInfo& info);

// True for the line that ends a response header: exactly LF, exactly CR LF, or empty (the peer
// closed the connection).
bool IsHeaderEnd(std::string_view line);

// ---------------------------------------------------------------------------------------------
// Line splitting

// Cuts a byte stream, arriving in chunks of any size, into lines that keep their line end (LF,
// and the CR before it when there is one). A line is refused once 65,536 bytes have gathered
// without an LF; the splitter then takes nothing more. Holds at most one line.
class TLineSplitter {
 public:
  enum class State { NeedMore, LineReady, TooLong };

  explicit TLineSplitter(std::size_t maxLine = kTransferBufferSize) : maxLine_(maxLine) {}

  // Takes bytes of `data` up to and including the next LF, so nothing behind a line is consumed;
  // returns how many were taken. Takes nothing while a line is ready or after a refusal.
  std::size_t Feed(std::string_view data);

  // The peer closed: a started line without its LF becomes the last line.
  void Close();

  State state() const { return state_; }

  // The ready line (with its line end); the splitter then waits for the next. Empty when no
  // line is ready.
  std::string TakeLine();

 private:
  std::size_t maxLine_;
  std::string pending_;
  State state_ = State::NeedMore;
  bool closed_ = false;
};

// Reads a response header from bytes: the status line, then header lines up to the blank line,
// stored byte for byte as they arrived. The whole header is bounded (1 MiB, 1,000 lines), so a
// server cannot make it grow without end.
class TResponseHeaderReader {
 public:
  // Takes bytes up to the end of the header and returns how many; the rest is body. Throws
  // EHttpError for a line that does not fit the 64 KiB buffer ("Reply line longer than 65536
  // bytes"), for a header beyond its bounds, for a first line that is no valid status line, and
  // for an interim (1xx) status.
  std::size_t Feed(std::string_view data);

  // The peer closed: a started line is read as the last one. Throws EHttpError when the header
  // has not ended ("Reply without a valid HTTP status line" when not even a status line came,
  // else "Connection closed inside the reply header").
  void Close();

  bool Done() const { return done_; }
  const TResponseInfo& Info() const { return info_; }
  const std::string& StatusLine() const { return statusLine_; }
  // The status line, all header lines and the blank line, as received.
  const std::string& HeaderText() const { return header_; }

 private:
  void TakeLine(const std::string& line);

  TLineSplitter splitter_;
  TResponseInfo info_;
  std::string statusLine_;
  std::string header_;
  std::size_t lines_ = 0;
  bool haveStatus_ = false;
  bool done_ = false;
};

// How many body bytes the reply has: none for HEAD and for the statuses 204 and 304, the
// announced length when there is one, else empty (the body ends where the server closes).
std::optional<std::int64_t> BodyLengthFor(CmdType cmd, int replyCode, const TResponseInfo& info);

// The text of a body that ended before its announced length ("Reply body ended after 300 of 1000
// bytes").
std::string ShortBodyText(std::int64_t received, std::int64_t announced);

// The text of a body beyond the caller's limit ("Reply body longer than 4096 bytes").
std::string LongBodyText(std::int64_t limit);

// ---------------------------------------------------------------------------------------------
// Resuming a body that broke off

// A "Content-Range" of a partial reply: bytes First to Last of Total (-1: "*", unknown).
struct TContentRange {
  std::int64_t First = 0;
  std::int64_t Last = 0;
  std::int64_t Total = -1;
};

// Reads "bytes A-B/C" (C may be "*"; case of "bytes" and blanks around the parts do not matter).
// Empty for anything else: no "bytes" unit, B before A, B not before C, numbers that do not fit.
std::optional<TContentRange> ParseContentRange(std::string_view value);

// The validator a request for the rest carries in "If-Range": the ETag when it is strong, else
// Last-Modified; empty when the reply gave neither (or only a weak ETag), or one that could not
// go onto the wire.
std::string IfRangeValidator(const TResponseInfo& info);

// What is known of a body that broke off: how many of its first bytes are kept, the validator of
// the reply they came from (empty: none) and the whole body's length (-1: unknown). BodyStart is
// no part of that: while a reply's body is received, and after it, it tells how many bytes of the
// file lie in front of that body (the kept ones when it continues them or goes behind them, 0
// when it replaces them).
struct TResumePoint {
  std::int64_t Kept = 0;
  std::string Validator;
  std::int64_t Total = -1;
  std::int64_t BodyStart = 0;
};

// What to do with the reply to a request for the rest ("Range: bytes=Kept-").
enum class TResumeVerdict {
  Append,   // 206 with exactly the rest: its body goes behind the kept bytes
  Whole,    // 200: the server sends the whole body (range ignored or the file changed)
  Refetch,  // a reply that cannot be used (416, a range or validator that does not fit): the
            // kept bytes go, and the body is asked for again from its start
  Other,    // any other status (a redirection, an error): nothing to judge here
};

// The verdict on a reply to a request for the rest of `point`. A 206 is taken only when its
// Content-Range is exactly "bytes Kept-(T-1)/T" with T the known total (when one is known) and
// at least Kept + 1, its Content-Length (when sent) is T - Kept, and its validator (when it sends
// the kind the point holds) is the point's.
TResumeVerdict JudgeResumeReply(const TResumePoint& point, int replyCode, const TResponseInfo& info);

// ---------------------------------------------------------------------------------------------
// Status evaluation and redirections

// What one exchange's status code asks of the transfer loop.
struct TReplyDecision {
  bool Success = false;        // below 299: OnSuccess, "Transaction Completed"
  bool Failure = false;        // above 399: OnFailure
  bool TakeLocation = false;   // 300 to 302: the Location becomes the URL
  bool Redirect = false;       // 300 to 398: cookie, OnRedirect, relative URL
  bool AuthNeeded = false;     // 401
  bool Repeat = false;         // 299 to 399: the request runs again
};
TReplyDecision DecideReply(int replyCode);

// The next URL after a redirection. An absolute URL ("scheme://...") and a path from the root
// ("/x") stay as they are; "//host/x" gets the scheme "http:" ("https:" when `secure`); any other
// relative name is taken relative to the root of the host at `port` (written into the URL unless
// it is the scheme's own 80 or 443, so that the scheme's port does not replace it). Throws EHttpError "Redirection without a Location" for an
// empty one.
std::string ResolveRedirectURL(std::string_view url, std::string_view host, std::int32_t port,
                               bool secure = false);

// Counts the repetitions of one transfer. Throws EHttpError "Too many redirections (more than
// 20)" when one more than kMaxRedirects is asked for.
class TRedirectLimit {
 public:
  void CountHop();
  int Hops() const { return hops_; }

 private:
  int hops_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Socket errors

constexpr int kWSAEWOULDBLOCK = 10035;
constexpr int kWSAENOTCONN = 10057;

struct TSocketErrorRow {
  std::int32_t Number;
  const char* Text;
};

// The 50 known errors in table order, then the closing row (0, "Unrecognized error code"), which
// no look-up matches.
const std::vector<TSocketErrorRow>& SocketErrorTable();

// The text of a socket error: the number, ":" and the table text ("10061:Connection refused"),
// or "Unknown Error No. " + number.
std::string ErrorText(int error);

// True when an error raises ESockError: above 10000 and not the one the caller ignores.
bool IsRaisedSocketError(int error, int ignore = kWSAEWOULDBLOCK);

}  // namespace net
