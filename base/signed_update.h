// Texts of signed updates: Base64 and hex, the public key built into a program, the signature
// file "Updates.ini.sig" and the "SHA256" value of the update list. The programs read them, and
// trelkpublish writes and checks them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace base {

constexpr std::size_t kPublicKeyBytes = 32;  // an Ed25519 public key
constexpr std::size_t kSignatureBytes = 64;  // a detached Ed25519 signature
constexpr std::size_t kSha256Bytes = 32;

// Standard Base64 (the alphabet A-Z a-z 0-9 + /) with "=" padding: the one Base64 of keys and
// signature files.
std::string EncodeBase64(std::string_view bytes);

// Standard Base64 (the alphabet A-Z a-z 0-9 + /, padded with "=" to a multiple of four)
// decoded. Empty result for any other character (line breaks and blanks included), a length
// that is no multiple of four, padding anywhere but at the end, or padding bits that are not
// zero: every byte string has exactly one text that is accepted.
std::optional<std::string> DecodeBase64(std::string_view text);

// The text without blanks, tabs, CR and LF at both ends.
std::string_view TrimBlanksAndBreaks(std::string_view text);

// The public key built into a program: Base64 of exactly 32 bytes, blanks and line breaks
// around it ignored. Empty result for anything else.
std::optional<std::string> ParsePublicKey(std::string_view text);

// The content of "Updates.ini.sig": one line, Base64 of exactly 64 bytes (the detached
// signature of the list's bytes); blanks and a line break around it are ignored, a second line
// is not. Empty result for anything else.
std::optional<std::string> ParseSignatureFile(std::string_view bytes);

// The 32 bytes of a digest as 64 lower-case hex digits.
std::string HexText(std::string_view bytes);

// Whether the "SHA256" value of the update list (as read, trimmed by the INI reader) names
// `digest`: exactly 64 hex digits, in either case, equal to it. An empty or shorter value, or
// one with any other character, never matches.
bool Sha256ValueMatches(std::string_view value, std::string_view digest);

// ---- Serial, expiry and size of a signed list ----------------------------------------------------

// The section of a signed list that carries its serial and expiry. Its name holds "<" and ">",
// which no program name of the family can hold: a program's name is also its file name, and
// neither character is allowed in a Windows file name; trelkpublish refuses it as a program.
extern const char kListSection[];  // "<Liste>"
extern const char kSerialKey[];    // "Serial": a whole number from 1 to 4294967295, growing with every publication
extern const char kExpiresKey[];   // "Expires": the last day the list is good for, dd.MM.yyyy
extern const char kSizeKey[];      // "Size": in a program's section, the archive's length in bytes
constexpr std::uint64_t kMaxSerial = 0xFFFFFFFFu;
constexpr std::uint64_t kMaxArchiveSize = std::uint64_t{1} << 40;  // 1 TB: no update of ours is larger

// A whole number of decimal digits only (no sign), at most `maximum`; blanks and line breaks
// around it allowed. Empty result for anything else.
std::optional<std::uint64_t> ReadListNumber(std::string_view text, std::uint64_t maximum);

}  // namespace base
