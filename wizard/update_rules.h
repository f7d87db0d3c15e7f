// The update road's pure rules: the update list's news items and dates, the download's progress
// texts, the batch template and the names of archive entries. Nothing here touches Windows; the
// wizard hands in what it reads from the platform (the user's date format, the decimal
// separator, the OEM form of the paths).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/DateTime.h"

namespace wizard {

// ---- Update list ----------------------------------------------------------------------------

// The user's short date format as the platform gives it ("d.M.yyyy", "dd.MM.yyyy", "M/d/yy",
// "yyyy-MM-dd"): the order of day, month and year and the separator between them.
struct ShortDateFormat {
  enum Order { DMY, MDY, YMD } order = DMY;
  char separator = '.';
  // Reads the picture; a picture without a recognisable order gives day.month.year with ".".
  static ShortDateFormat FromPicture(std::string_view picture);
};

// Reads a date the way the platform's date conversion does for the given format: two or three
// whole numbers separated by the format's separator, blanks around the text allowed; without a
// year the current year (`today`) is taken; a year of one or two digits lies within 50 years
// of `today`. Empty result for anything else or a date that does not exist.
std::optional<base::TDateTime> TryParseShortDate(std::string_view text, const ShortDateFormat& format,
                                                 base::TDateTime today);

// The form in which the publishing tool writes the list's dates, whatever the computer: day,
// month and year separated by ".", one or two digits for day and month, four for the year
// ("15.03.2003", "1.2.2003"), blanks around the text allowed. Empty result for anything else or
// a date that does not exist.
std::optional<base::TDateTime> TryParsePublishedDate(std::string_view text);

// A date of the update list ("Date", the date part of a news item): read in the user's short
// date format first and, when that fails, in the published form. The user's reading wins where
// both read the text: with a user format of day.month.year it is the same reading; month first
// with "." ("M.d.yyyy") reads "03.04.2024" as 4 March, as the platform does for every other
// date the user sees; formats with another separator ("M/d/yyyy", "dd/MM/yyyy", "yyyy-MM-dd")
// never read the published form, so it falls through to the second reading.
std::optional<base::TDateTime> TryParseListDate(std::string_view text, const ShortDateFormat& format,
                                                base::TDateTime today);

// Whether an update is offered: the program's section exists (with at least one key) and its
// "Date" (read by TryParseListDate; today's date when absent, empty or no date) is not earlier
// than `reference`. The two values are compared as they are, so a list date on the reference
// day loses against a reference after midnight.
bool UpdateOffered(bool hasSection, const std::string& dateValue, base::TDateTime reference,
                   const ShortDateFormat& format, base::TDateTime today);

// The news list text for the result page: the items of `news` (the "News" value as read, or
// nullopt when the key is absent, which stands for the one item "keine Angaben gefunden") that
// are not dated on a calendar day before `reference`'s, each as "- " + item + CR LF. An item
// without a date part (no ":" or ":" first), or whose date part is no date (TryParseListDate),
// is kept.
std::string NewsListText(const std::optional<std::string>& news, base::TDateTime reference,
                         const ShortDateFormat& format, base::TDateTime today);

// ---- Download progress ----------------------------------------------------------------------

// A byte count in units of 1024 with `decimals` significant digits beyond the whole part
// ("1,5 KB", "9,96 KB", "1023 Byte", "1024 TB"), with the given decimal separator.
std::string FormatSize(int64_t bytes, int decimals, char decimalSeparator);

// "37 %" (received / expected × 100, rounded); "100 %" when nothing was announced.
std::string PercentText(int64_t received, int64_t expected);

// The remaining time in days: expected / received × e1 − e2 with the two elapsed times e1 and
// e2; 0 when the download has no start time or nothing was received yet.
double RemainingDays(int64_t expected, int64_t received, double downloadStart, double e1, double e2);

// The user's time format as far as a duration uses it: the separator between hours, minutes
// and seconds, and whether hours are written with two digits.
struct TimeFormat {
  std::string separator = ":";
  bool twoDigitHours = true;
  // Reads the picture ("HH:mm:ss", "h:mm:ss tt", "H.mm' Uhr'"); one without hours gives ":"
  // and two digits.
  static TimeFormat FromPicture(std::string_view picture);
};

// The remaining time shown beside the download: hours, minutes and seconds of `days`, the hours
// counting on past 24 ("25:00:00") instead of wrapping as a time of day would; minutes and
// seconds with two digits, no AM/PM marker. A negative estimate (a download across midnight, or
// no announced length) shows as zero.
std::string RemainingTimeText(double days, const TimeFormat& format);

// ---- Batch template -------------------------------------------------------------------------

// Splits a template into lines at CR LF, a single CR and a single LF; a zero byte ends the
// text; a line break at the very end adds no empty line.
std::vector<std::string> SplitTemplateLines(std::string_view text);

// The largest width or precision of a placeholder: far above any path, far below what would
// make "Update.bat" large.
constexpr std::size_t kMaxFormatWidth = 1024;
// The most bytes a generated "Update.bat" may have.
constexpr std::size_t kMaxBatchBytes = 1024 * 1024;

// Formats one template line: "%s" takes the next argument, "%0:s" / "%1:s" the numbered one (a
// following "%s" goes on after it), "%%" is one percent sign; a width ("%10s", "%-10s") pads
// with blanks and a precision ("%.3s") cuts. More arguments than given, another type than "s",
// a line ending inside a placeholder, a width or precision above kMaxFormatWidth, or a result
// above kMaxBatchBytes raise base::EConvertError naming the line.
std::string FormatTemplateLine(std::string_view line, const std::vector<std::string>& args);

// The whole "Update.bat" from the template's lines: groups of four lines (line 0 as it is,
// lines 1 and 2 with the program folder, line 3 with the temporary and the program folder)
// until a group's first line starts with a blank; from that line on, every line with the
// temporary folder. Empty lines at the end of the template are left out; an empty line 0 is a
// group's first line like any other that does not begin with a blank. Then the quoted program
// path when `restart`, then the line that removes the temporary folder (the search's own) with
// the batch in it once the batch has ended: "cd /d " + its parent folder + " & start "" /b cmd /c
// "ping -n 3 127.0.0.1 >nul & rd /s /q " + the folder's name + """ (paths through
// BatchPathArgument). Every line ends with CR LF. The paths are given in their OEM form, each
// folder with its trailing backslash. A template without a line that is not empty, a last
// group of fewer than four lines without a tail, a bad format string, or a result above
// kMaxBatchBytes raise base::EConvertError; memory stays within that bound meanwhile.
std::string BuildUpdateBatch(const std::vector<std::string>& templateLines, const std::string& programDir,
                             const std::string& tempDir, bool restart, const std::string& exePath);

// A path as one argument of a batch command: as it is, or in double quotes when it holds a
// character at which cmd.exe splits arguments (a blank, a tab, & ( ) ^ ; , =).
std::string BatchPathArgument(const std::string& path);

// ---- Signed updates -------------------------------------------------------------------------

constexpr std::size_t kPublicKeyBytes = 32;  // an Ed25519 public key
constexpr std::size_t kSignatureBytes = 64;  // a detached Ed25519 signature
constexpr std::size_t kSha256Bytes = 32;

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

// Why a program with a built-in public key installs nothing from what the server offered.
enum class Refusal {
  None,
  ListUnsigned,          // the server answered the signature request with an error status
  ListSignatureInvalid,  // the signature file is unreadable, or does not verify with the key
  ListDateUnreadable,    // the program's section has no "Date" that TryParseListDate reads
  ArchiveUnchecked,      // the program's section gives no "SHA256"
  ArchiveDamaged,        // the archive's SHA-256 is another than "SHA256", or it cannot be read
};

// The verdict on an update list that arrived: `publicKeyText` the built-in key as stored (a
// key that is no key verifies nothing), `signatureFound` false when the server answered
// "Updates.ini.sig" with an error status, `signatureFile` the bytes it sent, and `verifies`
// the check of the list's bytes against (key bytes, signature bytes). None when the list may
// be read; `verifies` is only called with a key and a signature of the right sizes.
Refusal JudgeSignedList(std::string_view publicKeyText, bool signatureFound, std::string_view signatureFile,
                        const std::function<bool(const std::string& key, const std::string& signature)>& verifies);

// The check's answer on a list that may be read: whether an update is offered, or why the list
// is refused.
struct ListVerdict {
  bool offered = false;
  Refusal refusal = Refusal::None;
};

// The verdict on the program's section of a list that may be read. Without a key
// (`signedList` false) as UpdateOffered. With a key, a section whose "Date" is absent, empty or
// unreadable is refused: a signed list stays valid for ever, and taking today's date for it
// would offer a replayed old list (and the installed update at every reminder) as new.
ListVerdict JudgeListOffer(bool signedList, bool hasSection, const std::string& dateValue, base::TDateTime reference,
                           const ShortDateFormat& format, base::TDateTime today);

// The verdict on the downloaded archive: `sha256Value` the section's "SHA256" as read (empty
// when absent), `digest` the archive file's SHA-256 (empty result when the file could not be
// read). None when it may be unpacked.
Refusal JudgeArchive(std::string_view sha256Value, const std::optional<std::string>& digest);

// ---- Archive entries ------------------------------------------------------------------------

// The file name under which an archive entry is extracted into the temporary folder: the last
// component after both "/" and "\". Nothing (the entry is skipped) when that is empty, "." or
// "..", contains ":" or a control character, or is a device name (CON, PRN, AUX, NUL, COM1-9,
// LPT1-9, COM¹-³ and LPT¹-³ with the superscript digits in Windows-1252 or in UTF-8, also with
// an extension or trailing dots and blanks).
std::optional<std::string> ExtractedName(std::string_view entryName);

}  // namespace wizard
