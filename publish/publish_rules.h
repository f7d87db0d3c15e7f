// The publishing tool's pure rules: hex texts, the update list edited line by line,
// the news value built for the comma-list reader, the release date, the command line and the
// names. Nothing here touches the platform; publish/Publish.cpp feeds it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Exception.h"

namespace publish {

// An error of the maker's input or of the files; `Message` is shown as it is.
class EPublishError : public base::Exception {
 public:
  using base::Exception::Exception;
};

// ---- Names --------------------------------------------------------------------------------

// ASCII letters in lower case, every other byte as it is.
char AsciiLower(char c);
// Whether two names are the same without regard to ASCII case, as the list reader and the
// programs compare names.
bool SameName(std::string_view a, std::string_view b);

// ---- Texts of hashes (Base64 and hex: base/signed_update.h) -----------------------------------

// Whether `text` is 2 × `bytes` hex digits (any case); nothing else, no blanks.
bool IsHexOfLength(std::string_view text, size_t bytes);

// ---- Characters -----------------------------------------------------------------------------

// Windows-1252 from UTF-8. Text that is not valid UTF-8 is taken as Windows-1252 bytes already
// and comes back unchanged. Throws EPublishError ("the character U+0141 has no form ...", to be
// prefixed by the caller) when a character has no Windows-1252 form.
std::string Utf8ToCp1252(std::string_view text);

// UTF-8 from Windows-1252 (the five unassigned bytes become U+FFFD).
std::string Cp1252ToUtf8(std::string_view text);

// ---- The release date -----------------------------------------------------------------------

// A date written the way the programs read it on a German system: day, month and a four-digit
// year separated by ".", with one or two digits for day and month, of a day that exists.
// Returns it as dd.MM.yyyy; empty result for anything else ("2024-03-15", "15.3.24", "31.02.2024").
std::optional<std::string> NormalizeReleaseDate(std::string_view text);

// dd.MM.yyyy of a calendar date.
std::string FormatReleaseDate(int year, int month, int day);

// ---- The news value -------------------------------------------------------------------------

// The most the programs read of one value; a longer one is cut.
constexpr size_t kMaxValueLength = 2047;

// One news item as the comma-list reader takes it back: as it is when it holds no comma, no
// double quote and no character of code 32 or less and is not empty; otherwise in double
// quotes with every inner double quote doubled.
std::string QuoteNewsItem(std::string_view item);

// The "News" value for `items` as it is written after "News=": the items joined with ",",
// each through QuoteNewsItem, and the whole put in one more pair of double quotes when it would
// otherwise begin and end with the same quote character (the list reader takes one such pair
// away). Throws EPublishError for an item with CR, LF or a zero byte, or when the value as read
// would be longer than kMaxValueLength.
std::string NewsValue(const std::vector<std::string>& items);

// ---- The update list ------------------------------------------------------------------------

// An update list held as its lines, each with its own line end (CR LF, LF, CR or none at the
// end of the file), so that Bytes() gives back the file byte for byte. Reading follows the
// platform's private-profile rules: blank lines skipped, a line whose first non-blank character
// is "[" and which holds a "]" starts a section named by the trimmed text between "[" and the
// last "]";
// the first section of a name counts; section and key names compare without regard to ASCII
// case and are looked up trimmed; a key is the trimmed text before the first "=" (a line
// without "=" is a key without value), its value the trimmed text after it, freed of one
// enclosing pair of double or single quotes and cut to kMaxValueLength.
class UpdateList {
 public:
  // Throws EPublishError for text that no program reads as an update list in the Windows code
  // page: a zero byte (UTF-16) or a UTF-8 byte order mark.
  explicit UpdateList(std::string_view bytes);

  std::string Bytes() const;

  // Names of the sections with at least one key, each name once, in file order.
  std::vector<std::string> SectionNames() const;
  bool HasSection(std::string_view section) const;
  // The value of `key` in the first section of that name; empty result when the key is absent
  // (a key line without "=" reads as absent, though it makes the section count).
  std::optional<std::string> ReadValue(std::string_view section, std::string_view key) const;

  // Sets each (key, value) in the first section named `section`: an existing key line keeps its
  // text up to and including its "=" and its line end; a missing key is added after the
  // section's last non-blank line; a missing section is added at the end of the file after an
  // empty line. New lines end with CR LF; a last line without a line end gets one. Every other
  // line stays as it was. Throws EPublishError for a value with CR, LF or a zero byte, and for
  // a section or key name that the reader could not find again.
  void SetValues(std::string_view section, const std::vector<std::pair<std::string, std::string>>& values);

 private:
  struct Line {
    std::string text;
    std::string end;
  };
  struct Section {
    std::string name;
    size_t header = 0;  // index of the "[...]" line; npos for the lines before the first header
    size_t first = 0, last = 0;  // lines of the section: [first, last)
  };
  std::vector<Section> Sections() const;
  // The first section named `name` (trimmed first with `trim`, as the reader does).
  const Section* Find(const std::vector<Section>& sections, std::string_view name, bool trim = true) const;

  std::vector<Line> lines_;
};

// ---- Serial and expiry ----------------------------------------------------------------------

// The days a list is good for when the maker names no expiry.
constexpr int kDefaultListDays = 365;
// Sets the list's "Serial" in its section base::kListSection one above the one it has (1 when
// it has none) and its "Expires" to `expires` (dd.MM.yyyy); every other section stays byte for
// byte. Returns the new serial. Throws EPublishError for a serial that cannot be read or that
// is at its highest.
std::uint32_t RenewList(UpdateList& list, const std::string& expires);
// dd.MM.yyyy of the day `days` after the calendar date.
std::string DateAfter(int year, int month, int day, int days);

// ---- The command line -----------------------------------------------------------------------

enum class Command { Keygen, Publish, Renew, Verify, Delegate, Retire, Help };

struct Arguments {
  Command command = Command::Help;
  std::string keyFolder;  // keygen
  bool rootKey = false;   // keygen --root: root-public.key and root-secret.key
  std::string key, server, program, from, file, date;  // publish (date empty: today)
  std::string expires;  // publish, renew: the list's last good day (empty: a year from today)
  std::vector<std::string> news;
  bool newsGiven = false;
  std::string publicKey;  // verify (empty: the signature is not checked)
  // publish, renew: the delegation file of the release key --key (empty: the chain on the server,
  // if any) and the one key of programs built with one key, which signs Updates.ini.sig beside it.
  std::string delegation, legacyKey;
  // verify: the root public key files of the programs built with root keys (one or two).
  std::vector<std::string> rootKeys;
  // delegate: --root (secret), --release (public), --programs ("*" or names), --epoch, --expires,
  // --out; retire: --root (secret), --retired (public), --from (epoch), --delegation (the file).
  std::string rootSecret, releasePublic, programs, retiredPublic, out;
  std::uint32_t epoch = 0;
  // publish, for the Update.bat it writes when the folder has none: the program's key name
  // (empty: the program name), its root ("HKLM" or "HKCU", empty: HKLM) and the seconds a file
  // may stay locked (0: the default). Checked here when given.
  std::string registryKey, registryRoot;
  int waitSeconds = 0;
  // publish, renew: --rollout, the share in percent of the installations that take the update at
  // a reminder (-1: not given). renew needs --program with it.
  int rollout = -1;
};

// Reads the arguments after the program name. Throws EPublishError with the reason for a
// usage error (unknown command or option, a missing or repeated value, a missing required
// option, a bad --date or --file).
Arguments ParseArguments(const std::vector<std::string>& args);

// The usage text, lines ending with "\n".
std::string UsageText();

// Whether an archive name is a plain file name that goes into a URL below "Updates/" as it is
// and means the same file on every server: ASCII letters, digits and "._-+~()", not beginning
// or ending with ".".
bool IsPlainArchiveName(std::string_view name);

}  // namespace publish
