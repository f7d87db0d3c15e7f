// Formatting and number texts of the portable base.
#include "base/StrUtils.h"

#include <limits>

namespace base {

std::string FormatS(std::string_view pattern, std::string_view arg) {
  std::string out;
  out.reserve(pattern.size() + arg.size());
  bool replaced = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c == '%' && i + 1 < pattern.size()) {
      char next = pattern[i + 1];
      if (next == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (next == 's' && !replaced) {
        out.append(arg.data(), arg.size());
        replaced = true;
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

std::string IntToStr(int64_t value) {
  // Built by hand so that INT64_MIN needs no special case through negation.
  char buf[24];
  char* end = buf + sizeof buf;
  char* p = end;
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = '-';
  return std::string(p, end);
}

namespace {

// Reads digits of `base` from `text`; empty result on a foreign character, no digits, or a value
// above `limit`.
std::optional<uint64_t> ReadDigits(std::string_view text, unsigned base, uint64_t limit) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    if (digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value > limit) return std::nullopt;
  }
  return value;
}

// Splits an optional sign off the front.
bool TakeSign(std::string_view& text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  return negative;
}

std::optional<int32_t> Signed(uint64_t magnitude, bool negative) {
  const uint64_t maxPositive = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
  if (negative) {
    if (magnitude > maxPositive + 1) return std::nullopt;
    return static_cast<int32_t>(-static_cast<int64_t>(magnitude));
  }
  if (magnitude > maxPositive) return std::nullopt;
  return static_cast<int32_t>(magnitude);
}

}  // namespace

std::optional<int32_t> TryParseInt32(std::string_view text) {
  bool negative = TakeSign(text);
  auto magnitude = ReadDigits(text, 10, uint64_t{1} << 32);
  if (!magnitude) return std::nullopt;
  return Signed(*magnitude, negative);
}

std::optional<int32_t> TryStrToInt(std::string_view text) {
  bool negative = TakeSign(text);
  bool hex = false;
  if (StartsWith(text, "$") || StartsWith(text, "x") || StartsWith(text, "X")) {
    text.remove_prefix(1);
    hex = true;
  } else if (StartsWith(text, "0x") || StartsWith(text, "0X")) {
    text.remove_prefix(2);
    hex = true;
  }
  if (!hex) return TryParseInt32(negative ? std::string("-").append(text) : std::string(text));
  auto magnitude = ReadDigits(text, 16, 0xFFFFFFFFu);
  if (!magnitude) return std::nullopt;
  uint32_t bits = static_cast<uint32_t>(*magnitude);
  if (negative) bits = 0u - bits;
  return static_cast<int32_t>(bits);
}

std::string IncludeTrailingBackslash(std::string path) {
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path;
}

std::string ExtractFilePath(std::string_view path) {
  size_t pos = path.find_last_of("\\:/");
  if (pos == std::string_view::npos) return std::string();
  return std::string(path.substr(0, pos + 1));
}

namespace {
bool IsBlankOrControl(char c) {
  auto u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}
}  // namespace

std::vector<std::string> SplitCommaList(std::string_view value) {
  // A zero byte ends the text, as it does for every reader of a C string; it would otherwise
  // stop an item without being skipped.
  value = value.substr(0, value.find('\0'));
  std::vector<std::string> items;
  size_t i = 0, n = value.size();
  auto skipBlanks = [&] {
    while (i < n && IsBlankOrControl(value[i])) ++i;
  };
  skipBlanks();
  while (i < n) {
    std::string item;
    if (value[i] == '"') {
      ++i;
      while (i < n) {
        if (value[i] == '"') {
          if (i + 1 < n && value[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += value[i++];
      }
    } else {
      while (i < n && value[i] != ',' && !(static_cast<unsigned char>(value[i]) <= 32)) item += value[i++];
    }
    items.push_back(std::move(item));
    skipBlanks();
    if (i < n && value[i] == ',') {
      ++i;
      if (i == n) items.emplace_back();
      skipBlanks();
    }
  }
  return items;
}

std::string CommandLineArgument(std::string_view line, int index) {
  size_t p = 0;
  auto at = [&](size_t i) -> unsigned char { return i < line.size() ? static_cast<unsigned char>(line[i]) : 0; };
  for (int current = 0;; ++current) {
    for (;;) {
      while (at(p) != 0 && at(p) <= ' ') ++p;
      if (at(p) == '"' && at(p + 1) == '"') {
        p += 2;
      } else {
        break;
      }
    }
    std::string arg;
    while (at(p) > ' ') {
      if (at(p) == '"') {
        ++p;
        while (at(p) != 0 && at(p) != '"') arg += line[p++];
        if (at(p) != 0) ++p;
      } else {
        arg += line[p++];
      }
    }
    if (current == index) return arg;
    if (at(p) == 0) return std::string();
  }
}

std::optional<std::vector<uint32_t>> DecodeUtf8(std::string_view text) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < text.size();) {
    auto b = static_cast<unsigned char>(text[i]);
    int extra;
    uint32_t cp, min;
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    if ((b & 0xE0) == 0xC0) {
      extra = 1, cp = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2, cp = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3, cp = b & 0x07, min = 0x10000;
    } else {
      return std::nullopt;
    }
    if (i + extra >= text.size()) return std::nullopt;
    for (int k = 1; k <= extra; ++k) {
      auto c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) return std::nullopt;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    out.push_back(cp);
    i += extra + 1;
  }
  return out;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace base
