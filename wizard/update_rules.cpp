// The update road's pure rules: news items, dates, progress texts, batch template, entry names.
#include "wizard/update_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/Exception.h"
#include "base/StrUtils.h"

namespace wizard {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The whole day of a date value (towards minus infinity, so that a value before the epoch
// keeps its calendar day).
double CalendarDay(base::TDateTime value) { return std::floor(value); }

}  // namespace

// ---- Update list ----------------------------------------------------------------------------

ShortDateFormat ShortDateFormat::FromPicture(std::string_view picture) {
  ShortDateFormat f;
  std::string order;
  bool separatorSeen = false;
  for (char c : picture) {
    char u = Upper(c);
    if (u == 'D' || u == 'M' || u == 'Y') {
      if (order.find(u) == std::string::npos) order += u;
    } else if (!order.empty() && !separatorSeen && c != '\'' && c != ' ') {
      f.separator = c;
      separatorSeen = true;
    }
  }
  if (order == "MDY") f.order = MDY;
  else if (order == "YMD") f.order = YMD;
  else f.order = DMY;
  return f;
}

std::optional<base::TDateTime> TryParseShortDate(std::string_view text, const ShortDateFormat& format,
                                                 base::TDateTime today) {
  size_t b = 0, e = text.size();
  while (b < e && text[b] == ' ') ++b;
  while (e > b && text[e - 1] == ' ') --e;
  text = text.substr(b, e - b);
  int numbers[3] = {0, 0, 0};
  size_t digits[3] = {0, 0, 0};
  int count = 0;
  size_t i = 0;
  while (true) {
    if (count == 3) return std::nullopt;
    size_t start = i;
    long long v = 0;
    while (i < text.size() && IsDigit(text[i])) {
      v = v * 10 + (text[i] - '0');
      if (v > 99999) return std::nullopt;
      ++i;
    }
    if (i == start) return std::nullopt;
    numbers[count] = static_cast<int>(v);
    digits[count] = i - start;
    ++count;
    if (i == text.size()) break;
    if (text[i] != format.separator) return std::nullopt;
    ++i;
  }
  if (count < 2) return std::nullopt;
  auto now = base::TryDecodeDate(today);
  int currentYear = now ? now->year : 2000;
  int day, month, year;
  size_t yearDigits;
  if (count == 2) {
    year = currentYear;
    yearDigits = 4;
    if (format.order == ShortDateFormat::MDY || format.order == ShortDateFormat::YMD) {
      month = numbers[0];
      day = numbers[1];
    } else {
      day = numbers[0];
      month = numbers[1];
    }
  } else {
    switch (format.order) {
      case ShortDateFormat::MDY: month = numbers[0]; day = numbers[1]; year = numbers[2]; yearDigits = digits[2]; break;
      case ShortDateFormat::YMD: year = numbers[0]; month = numbers[1]; day = numbers[2]; yearDigits = digits[0]; break;
      default: day = numbers[0]; month = numbers[1]; year = numbers[2]; yearDigits = digits[2]; break;
    }
  }
  if (yearDigits <= 2) {
    year += currentYear / 100 * 100;
    if (year > currentYear + 50) year -= 100;
    else if (year <= currentYear - 50) year += 100;
  }
  auto date = base::TryEncodeDate(year, month, day);
  if (!date) return std::nullopt;
  return static_cast<base::TDateTime>(*date);
}

std::optional<base::TDateTime> TryParsePublishedDate(std::string_view text) {
  static const ShortDateFormat kPublished{ShortDateFormat::DMY, '.'};
  size_t b = 0, e = text.size();
  while (b < e && text[b] == ' ') ++b;
  while (e > b && text[e - 1] == ' ') --e;
  const std::string_view date = text.substr(b, e - b);
  const size_t first = date.find('.'), second = first == std::string_view::npos ? first : date.find('.', first + 1);
  // The digits are checked by the reading below; here only their counts: d or dd, M or MM, yyyy.
  if (second == std::string_view::npos || first < 1 || first > 2 || second - first - 1 < 1 ||
      second - first - 1 > 2 || date.size() - second - 1 != 4)
    return std::nullopt;
  // A four-digit year does not depend on today.
  return TryParseShortDate(date, kPublished, 0);
}

std::optional<base::TDateTime> TryParseListDate(std::string_view text, const ShortDateFormat& format,
                                                base::TDateTime today) {
  if (auto date = TryParseShortDate(text, format, today)) return date;
  return TryParsePublishedDate(text);
}

bool UpdateOffered(bool hasSection, const std::string& dateValue, base::TDateTime reference,
                   const ShortDateFormat& format, base::TDateTime today) {
  if (!hasSection) return false;
  auto date = TryParseListDate(dateValue, format, today);
  base::TDateTime listDate = date ? *date : CalendarDay(today);
  return listDate >= reference;
}

std::string NewsListText(const std::optional<std::string>& news, base::TDateTime reference,
                         const ShortDateFormat& format, base::TDateTime today) {
  std::vector<std::string> items = base::SplitCommaList(news ? *news : std::string("\"keine Angaben gefunden\""));
  std::string text;
  for (const std::string& item : items) {
    size_t colon = item.find(':');
    if (colon != std::string::npos && colon > 0) {
      auto date = TryParseListDate(item.substr(0, colon), format, today);
      if (date && CalendarDay(*date) < CalendarDay(reference)) continue;
    }
    text += "- " + item + "\r\n";
  }
  return text;
}

// ---- Download progress ----------------------------------------------------------------------

std::string FormatSize(int64_t bytes, int decimals, char decimalSeparator) {
  static const char* const kUnits[] = {"Byte", "KB", "MB", "GB", "TB"};
  double v = static_cast<double>(bytes);
  int i = 0;
  while (v >= 1024 && i <= 4) {
    v /= 1024;
    ++i;
  }
  if (i == 5) {
    v *= 1024;
    i = 4;
  }
  char whole[64];
  int d = std::snprintf(whole, sizeof whole, "%.0f", v);
  char text[64];
  std::snprintf(text, sizeof text, "%.*g", d + decimals, v);
  std::string result(text);
  for (char& c : result)
    if (c == '.' || c == ',') c = decimalSeparator;
  return result + " " + kUnits[i];
}

std::string PercentText(int64_t received, int64_t expected) {
  if (expected == 0) return "100 %";
  double percent = static_cast<double>(received) / static_cast<double>(expected) * 100.0;
  char text[32];
  std::snprintf(text, sizeof text, "%lld %%", static_cast<long long>(std::llround(percent)));
  return text;
}

double RemainingDays(int64_t expected, int64_t received, double downloadStart, double e1, double e2) {
  if (downloadStart == 0 || received <= 0) return 0;
  return static_cast<double>(expected) / static_cast<double>(received) * e1 - e2;
}

TimeFormat TimeFormat::FromPicture(std::string_view picture) {
  TimeFormat f;
  size_t h = picture.find_first_of("hH");
  if (h == std::string_view::npos) return f;
  size_t end = picture.find_first_not_of("hH", h);
  f.twoDigitHours = (end == std::string_view::npos ? picture.size() : end) - h >= 2;
  if (end == std::string_view::npos) return f;
  std::string separator;
  for (size_t i = end; i < picture.size() && picture[i] != 'm' && picture[i] != 'M'; ++i)
    if (picture[i] != '\'') separator += picture[i];
  if (!separator.empty()) f.separator = separator;
  return f;
}

std::string RemainingTimeText(double days, const TimeFormat& format) {
  if (!(days > 0) || !std::isfinite(days)) days = 0;
  // Bounded far beyond any download, so that the count stays a whole number.
  days = std::min(days, 1e7);
  // To the millisecond first, as a time of day is read, then the whole seconds.
  const long long seconds = std::llround(days * 86400000.0) / 1000;
  char hours[32], rest[8];
  std::snprintf(hours, sizeof hours, format.twoDigitHours ? "%02lld" : "%lld", seconds / 3600);
  std::string text = hours + format.separator;
  std::snprintf(rest, sizeof rest, "%02lld", seconds / 60 % 60);
  text += rest + format.separator;
  std::snprintf(rest, sizeof rest, "%02lld", seconds % 60);
  return text + rest;
}

// ---- Batch template -------------------------------------------------------------------------

std::vector<std::string> SplitTemplateLines(std::string_view text) {
  size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

namespace {

// The batch text so far is above kMaxBatchBytes.
base::EConvertError BatchTooLarge() {
  return base::EConvertError("Die Vorlage \"Update.bat\" ergibt eine Datei von mehr als " +
                             std::to_string(kMaxBatchBytes / 1024) + " KB");
}

// FormatTemplateLine that gives up as soon as its result would pass `room` bytes.
std::string FormatLine(std::string_view line, const std::vector<std::string>& args, size_t room) {
  auto fail = [&]() -> base::EConvertError {
    return base::EConvertError("Format '" + std::string(line) + "' ungültig oder nicht kompatibel mit Argument");
  };
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    if (out.size() > room) throw BatchTooLarge();
    if (line[i] != '%') {
      out += line[i];
      continue;
    }
    ++i;
    if (i < line.size() && line[i] == '%') {
      out += '%';
      continue;
    }
    // %[index:][-][width][.precision]s; a number saturates above the bound, which no index,
    // width or precision may pass.
    auto number = [&](size_t& v) {
      size_t start = i;
      v = 0;
      while (i < line.size() && IsDigit(line[i])) {
        if (v <= kMaxFormatWidth) v = v * 10 + static_cast<size_t>(line[i] - '0');
        ++i;
      }
      return i > start;
    };
    size_t value = 0;
    size_t mark = i;
    if (number(value) && i < line.size() && line[i] == ':') {
      next = value;
      ++i;
    } else {
      i = mark;
    }
    bool left = false;
    if (i < line.size() && line[i] == '-') {
      left = true;
      ++i;
    }
    size_t width = 0;
    number(width);
    bool cut = false;
    size_t precision = 0;
    if (i < line.size() && line[i] == '.') {
      ++i;
      cut = true;
      number(precision);
    }
    if (width > kMaxFormatWidth || precision > kMaxFormatWidth)
      throw base::EConvertError("Format '" + std::string(line) + "' ungültig: Breite und Genauigkeit dürfen höchstens " +
                                std::to_string(kMaxFormatWidth) + " betragen");
    if (i >= line.size() || Upper(line[i]) != 'S' || next >= args.size()) throw fail();
    std::string arg = args[next++];
    if (cut && arg.size() > precision) arg.resize(precision);
    if (arg.size() < width) {
      std::string pad(width - arg.size(), ' ');
      arg = left ? arg + pad : pad + arg;
    }
    out += arg;
  }
  if (out.size() > room) throw BatchTooLarge();
  return out;
}

}  // namespace

std::string FormatTemplateLine(std::string_view line, const std::vector<std::string>& args) {
  return FormatLine(line, args, kMaxBatchBytes);
}

std::string BuildUpdateBatch(const std::vector<std::string>& templateLines, const std::string& programDir,
                             const std::string& tempDir, bool restart, const std::string& exePath) {
  // Empty lines at the end (an editor's habit) neither form a group nor add anything.
  size_t n = templateLines.size();
  while (n > 0 && templateLines[n - 1].empty()) --n;
  if (n == 0) throw base::EConvertError("Die Vorlage \"Update.bat\" ist leer");
  const std::vector<std::string> lines(templateLines.begin(), templateLines.begin() + static_cast<std::ptrdiff_t>(n));
  std::vector<std::string> out(lines);
  size_t size = 0;
  // Each formatted line is counted with its CR LF against the bound of the whole file.
  auto format = [&](const std::string& line, const std::vector<std::string>& args) {
    std::string text = FormatLine(line, args, kMaxBatchBytes - size);
    size += text.size() + 2;
    if (size > kMaxBatchBytes) throw BatchTooLarge();
    return text;
  };
  size_t tail = n;
  for (size_t g = 0; g <= (n - 1) / 4; ++g) {
    size_t first = 4 * g;
    // A line 0 that is empty does not begin with a blank: it is a group's first line, copied
    // as the empty line it is.
    if (!lines[first].empty() && lines[first][0] == ' ') {
      tail = first;
      break;
    }
    if (first + 3 >= n)
      throw base::EConvertError("Die Vorlage \"Update.bat\" endet in einer unvollständigen Gruppe (Zeile " +
                                std::to_string(first + 1) + ")");
    size += lines[first].size() + 2;
    if (size > kMaxBatchBytes) throw BatchTooLarge();
    out[first + 1] = format(lines[first + 1], {programDir});
    out[first + 2] = format(lines[first + 2], {programDir});
    out[first + 3] = format(lines[first + 3], {tempDir, programDir});
  }
  for (size_t k = tail; k < n; ++k) out[k] = format(lines[k], {tempDir});
  if (restart) out.push_back("\"" + exePath + "\"");
  // The last line removes the search folder, the batch itself included. cmd.exe still holds the
  // batch file while it runs a line of it, so a process of its own does it once this batch has
  // ended (two seconds later), from the parent folder, since no folder can go while it is the
  // current one.
  std::string folder = tempDir;
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  const std::size_t cut = folder.find_last_of('\\') + 1;
  out.push_back("cd /d " + BatchPathArgument(folder.substr(0, cut)) +
                " & start \"\" /b cmd /c \"ping -n 3 127.0.0.1 >nul & rd /s /q " + BatchPathArgument(folder.substr(cut)) +
                "\"");
  std::string text;
  for (const std::string& line : out) text += line + "\r\n";
  if (text.size() > kMaxBatchBytes) throw BatchTooLarge();
  return text;
}

std::string BatchPathArgument(const std::string& path) {
  // cmd.exe splits a command's arguments at these; unquoted, "del C:\Dokumente und
  // Einstellungen\...\Update.bat" would delete "und" and other names in the current folder.
  if (path.find_first_of(" \t&()^;,=") == std::string::npos) return path;
  return "\"" + path + "\"";
}

// ---- Signed updates -------------------------------------------------------------------------

namespace {

// The value of a Base64 digit, or -1.
int Base64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> DecodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  size_t padding = 0;
  while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
  const size_t digits = text.size() - padding;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  unsigned bits = 0;
  int held = 0;  // bits waiting in `bits`
  for (size_t i = 0; i < digits; ++i) {
    const int v = Base64Digit(text[i]);
    if (v < 0) return std::nullopt;  // also a "=" before the end
    bits = (bits << 6) | static_cast<unsigned>(v);
    held += 6;
    if (held >= 8) {
      held -= 8;
      out += static_cast<char>((bits >> held) & 0xFF);
    }
  }
  // What is left over must be the zero fill of the last group: 2 bits with "==", 4 with "=".
  if (held != (padding == 0 ? 0 : padding == 2 ? 4 : 2)) return std::nullopt;
  if ((bits & ((1u << held) - 1)) != 0) return std::nullopt;
  return out;
}

std::string_view TrimBlanksAndBreaks(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  size_t b = 0, e = text.size();
  while (b < e && blank(text[b])) ++b;
  while (e > b && blank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

std::optional<std::string> ParsePublicKey(std::string_view text) {
  auto key = DecodeBase64(TrimBlanksAndBreaks(text));
  if (!key || key->size() != kPublicKeyBytes) return std::nullopt;
  return key;
}

std::optional<std::string> ParseSignatureFile(std::string_view bytes) {
  auto signature = DecodeBase64(TrimBlanksAndBreaks(bytes));
  if (!signature || signature->size() != kSignatureBytes) return std::nullopt;
  return signature;
}

std::string HexText(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

bool Sha256ValueMatches(std::string_view value, std::string_view digest) {
  if (digest.size() != kSha256Bytes || value.size() != 2 * kSha256Bytes) return false;
  for (size_t i = 0; i < digest.size(); ++i) {
    const int high = HexDigit(value[2 * i]), low = HexDigit(value[2 * i + 1]);
    if (high < 0 || low < 0 || (high << 4 | low) != static_cast<unsigned char>(digest[i])) return false;
  }
  return true;
}

Refusal JudgeSignedList(std::string_view publicKeyText, bool signatureFound, std::string_view signatureFile,
                        const std::function<bool(const std::string& key, const std::string& signature)>& verifies) {
  if (!signatureFound) return Refusal::ListUnsigned;
  const auto key = ParsePublicKey(publicKeyText);
  const auto signature = ParseSignatureFile(signatureFile);
  if (!key || !signature || !verifies(*key, *signature)) return Refusal::ListSignatureInvalid;
  return Refusal::None;
}

ListVerdict JudgeListOffer(bool signedList, bool hasSection, const std::string& dateValue, base::TDateTime reference,
                           const ShortDateFormat& format, base::TDateTime today) {
  if (signedList && hasSection && !TryParseListDate(dateValue, format, today))
    return ListVerdict{false, Refusal::ListDateUnreadable};
  return ListVerdict{UpdateOffered(hasSection, dateValue, reference, format, today), Refusal::None};
}

Refusal JudgeArchive(std::string_view sha256Value, const std::optional<std::string>& digest) {
  if (TrimBlanksAndBreaks(sha256Value).empty()) return Refusal::ArchiveUnchecked;
  if (!digest || !Sha256ValueMatches(sha256Value, *digest)) return Refusal::ArchiveDamaged;
  return Refusal::None;
}

// ---- Archive entries ------------------------------------------------------------------------

std::optional<std::string> ExtractedName(std::string_view entryName) {
  size_t cut = entryName.find_last_of("/\\");
  std::string name(cut == std::string_view::npos ? entryName : entryName.substr(cut + 1));
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  for (char c : name) {
    auto u = static_cast<unsigned char>(c);
    if (u < 32 || c == ':' || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') return std::nullopt;
  }
  // Windows drops trailing dots and blanks, so "x. " names the file "x" and "..." names nothing.
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && (stem.back() == ' ' || stem.back() == '.')) stem.pop_back();
  if (name.find_first_not_of(". ") == std::string::npos) return std::nullopt;
  std::string upper;
  for (char c : stem) upper += Upper(c);
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* device : kDevices)
    if (upper == device) return std::nullopt;
  if (upper.size() >= 4 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0)) {
    // Windows also takes the superscript digits for these devices: "COM¹" is a port. The
    // extraction hands libzip's UTF-8 names in, other callers Windows-1252 ones: both forms.
    static const char* const kDigits[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "\xB9", "\xB2", "\xB3",
                                          "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};
    for (const char* digit : kDigits)
      if (upper.compare(3, std::string::npos, digit) == 0) return std::nullopt;
  }
  return name;
}

}  // namespace wizard
