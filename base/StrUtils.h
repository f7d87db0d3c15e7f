// String helpers of the portable base: formatting, number texts and small text utilities.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace base {

// Replaces the first "%s" in `pattern` by `arg`; "%%" stands for one "%". Used for the system's
// quoted messages that carry one name ("Fehler beim Holen der Daten für '%s'").
std::string FormatS(std::string_view pattern, std::string_view arg);

// Decimal text of a signed integer, as the registry list and the settings tool show numbers.
std::string IntToStr(int64_t value);

// Strict decimal reading: an optional '+' or '-', then one or more digits and nothing else,
// within the 32-bit signed range. No blanks, no hexadecimal. Empty result on anything else.
std::optional<int32_t> TryParseInt32(std::string_view text);

// Number reading in the manner of the platform's string-to-integer conversion: leading and
// trailing blanks are not allowed, an optional sign, then decimal digits, or hexadecimal after
// "$", "x", "X", "0x" or "0X". Values must fit into 32 bits (hexadecimal may use all 32 bits
// and then reads as the two's-complement value). Empty result on anything else.
std::optional<int32_t> TryStrToInt(std::string_view text);

// True when `text` starts with `prefix`.
inline bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// Appends a backslash unless the text already ends with one (or is empty).
std::string IncludeTrailingBackslash(std::string path);

// The folder part of a Windows path, with its trailing backslash ("C:\a\b.exe" -> "C:\a\").
std::string ExtractFilePath(std::string_view path);

// Splits a comma list (the update list's news, a stored command line): blanks and control characters (codes 1..32) before an item are skipped;
// an item starting with a double quote runs to the next single double quote ("" inside stands
// for one), or to the end without one; any other item ends before the next comma or character
// of code 32 or less; a comma at the very end adds one empty item. An empty text has no items.
// A zero byte ends the text.
std::vector<std::string> SplitCommaList(std::string_view value);

// Argument `index` of a command line read the way the program's own start-up reads it: blanks
// and control characters separate arguments, double quotes group (and are dropped), a leading
// pair of empty quotes is skipped. Index 0 is the program as typed. Empty when there is no such
// argument.
std::string CommandLineArgument(std::string_view commandLine, int index);

// The code points of strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF);
// empty result when the text is not such UTF-8.
std::optional<std::vector<uint32_t>> DecodeUtf8(std::string_view text);

// Appends the UTF-8 form of the code point `cp` (at most U+10FFFF).
void AppendUtf8(std::string& out, uint32_t cp);

}  // namespace base
