// Base64, hex, keys, signature files and checksum values.
#include "base/signed_update.h"

#include <cstdint>

namespace base {

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

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

std::string EncodeBase64(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t n = static_cast<unsigned char>(bytes[i]) << 16;
    size_t left = bytes.size() - i;
    if (left > 1) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (left > 2) n |= static_cast<unsigned char>(bytes[i + 2]);
    out += kBase64Alphabet[(n >> 18) & 63];
    out += kBase64Alphabet[(n >> 12) & 63];
    out += left > 1 ? kBase64Alphabet[(n >> 6) & 63] : '=';
    out += left > 2 ? kBase64Alphabet[n & 63] : '=';
  }
  return out;
}

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

const char kListSection[] = "<Liste>";
const char kSerialKey[] = "Serial";
const char kExpiresKey[] = "Expires";
const char kSizeKey[] = "Size";

std::optional<std::uint64_t> ReadListNumber(std::string_view text, std::uint64_t maximum) {
  const std::string_view digits = TrimBlanksAndBreaks(text);
  if (digits.empty() || digits.size() > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > maximum) return std::nullopt;
  return value;
}

}  // namespace base
