// The update road's pure rules: which update the list offers and its news items, the download's
// progress texts, and the verdicts of a program with a key on the list and the archive. Nothing
// here touches Windows; the wizard hands in what it reads from the platform (the user's date
// format, the decimal separator). The readers the programs share with trelkpublish (dates, keys,
// signatures, the batch template, archives) are in base/.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/DateTime.h"
#include "base/key_chain.h"
#include "base/list_dates.h"
#include "base/signed_update.h"

namespace wizard {

// ---- Update list ----------------------------------------------------------------------------

// Whether an update is offered: the program's section exists (with at least one key) and its
// "Date" (read by base::TryParseListDate; today's date when absent, empty or no date) is not earlier
// than `reference`. The two values are compared as they are, so a list date on the reference
// day loses against a reference after midnight.
bool UpdateOffered(bool hasSection, const std::string& dateValue, base::TDateTime reference,
                   const base::ShortDateFormat& format, base::TDateTime today);

// The news list text for the result page: the items of `news` (the "News" value as read, or
// nullopt when the key is absent, which stands for the one item "keine Angaben gefunden") that
// are not dated on a calendar day before `reference`'s, each as "- " + item + CR LF. An item
// without a date part (no ":" or ":" first), or whose date part is no date (base::TryParseListDate),
// is kept.
std::string NewsListText(const std::optional<std::string>& news, base::TDateTime reference,
                         const base::ShortDateFormat& format, base::TDateTime today);

// ---- The user's word and the maker's caution --------------------------------------------------

// The keys of a program's section that hold an update back: the share of installations that
// take it at a reminder (percent), the day that share starts from (dd.MM.yyyy, as trelkpublish
// writes it), and "1" for an update every installation takes at once.
extern const char kRolloutKey[];       // "Rollout"
extern const char kRolloutStartKey[];  // "RolloutStart"
extern const char kCriticalKey[];      // "Critical"

// What a program's section says of its rollout, as read (nullopt: the key is absent).
struct RolloutValues {
  std::optional<std::string> rollout, start, critical;
};

// The share of installations (0 to 100) that take the update at a reminder on `today`. Without
// "Rollout" (or with "Critical=1") every installation does: 100. Otherwise the share doubles
// every 7 days from "RolloutStart" on ("Rollout=20": 20, 40, 80, then 100; 0 stays 0, which is
// how a maker stops a rollout), before that day it is 0, and without "RolloutStart" it stays as
// given. A "Rollout" that is no whole number from 0 to 100, or a "RolloutStart" that is no date,
// reads as 0: a mistyped value never gives the update to more installations than the maker
// meant; the user's own search still finds it.
int RolloutShare(const RolloutValues& values, base::TDateTime today);

// Whether the installation that drew `number` (0 to 99) waits with the update at a reminder.
bool RolloutHoldsBack(const RolloutValues& values, int number, base::TDateTime today);

// The version a user chose to skip: the day of its list's "Date" and, for a list with
// checksums, its archive's "SHA256" (empty otherwise).
struct SkippedVersion {
  base::TDateTime date = 0;
  std::string sha256;
};

// Whether the offer of a list dated `listDate` with the archive `listSha256` is the skipped
// version or an older one: its day lies before the skipped day, or on it with the same archive
// (or without a checksum to tell them apart). A later day is a newer version, and so is another
// archive on the same day. A renewed list (a new serial and expiry) is the same version.
bool SkipCovers(const std::optional<SkippedVersion>& skipped, base::TDateTime listDate, std::string_view listSha256);

// The day an offer is dated: its "Date" as read (base::TryParseListDate), today's when absent,
// empty or no date, as UpdateOffered reads it.
base::TDateTime OfferDate(const std::string& dateValue, const base::ShortDateFormat& format, base::TDateTime today);

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

// ---- Signed updates -------------------------------------------------------------------------

// Why a program with a built-in public key installs nothing from what the server offered.
enum class Refusal {
  None,
  ListUnsigned,          // the server answered the signature request with an error status
  ListSignatureInvalid,  // the signature file is unreadable, or does not verify with the key
  ListDateUnreadable,    // the program's section has no "Date" that base::TryParseListDate reads
  ArchiveUnchecked,      // the program's section gives no "SHA256"
  ArchiveDamaged,        // the archive's SHA-256 is another than "SHA256", or it cannot be read
  ListReplayed,          // the list's serial is lower than the highest this program accepted
  ListExpired,           // the list's expiry day has passed
  ListWithoutSerial,     // the list has no serial section, though this program accepted one that had it
  ListValueUnreadable,   // the serial, the expiry or the program's "Size" cannot be read
  ArchiveSizeWrong,      // the download ended shorter or longer than the section's "Size"
  DelegationExpired,     // the release key's delegation is past its expiry day
  KeyEpochLower,         // the delegation's epoch is below the highest this program accepted
  ProgramNotCovered,     // the delegation does not name this program
  RootRetired,           // the delegation's root key is retired
};

// The verdict on an update list that arrived, by its one-line signature: `publicKeyText` the
// built-in root keys as stored (base::ParseRootKeys: one key, or two separated by ","; text that
// is no key verifies nothing), `signatureFound` false when the server answered "Updates.ini.sig"
// with an error status, `signatureFile` the bytes it sent, and `verifies` the check of the list's
// bytes against (key bytes, signature bytes). None when a root key whose id is not in `retired`
// signed the list directly; `verifies` is only called with a key and a signature of the right
// sizes.
Refusal JudgeSignedList(std::string_view publicKeyText, bool signatureFound, std::string_view signatureFile,
                        const std::function<bool(const std::string& key, const std::string& signature)>& verifies,
                        const std::vector<std::string>& retired = {});

// The verdict on a list by the chain that came beside it ("Updates.ini.chain", `chainFile`, its
// bytes as sent): base::JudgeKeyChain for the program's root keys (`publicKeyText`), `program`,
// what it remembers and today, its faults in the refusals' words (a chain that cannot be read,
// or that no carried root key signed, as ListSignatureInvalid). With the verdict: the epoch and
// the retired root keys to remember once the whole list is accepted.
struct ChainListVerdict {
  Refusal refusal = Refusal::None;
  std::optional<std::uint32_t> epoch;
  std::vector<std::string> retire;
};
ChainListVerdict JudgeChainedList(std::string_view publicKeyText, std::string_view chainFile, std::string_view listBytes,
                                  std::string_view program, const base::ChainMemory& memory, base::TDateTime today,
                                  const base::SignatureCheck& verifies);

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
                           const base::ShortDateFormat& format, base::TDateTime today);

// The list's serial section and its keys, shared with trelkpublish.
using base::kExpiresKey;
using base::kListSection;
using base::kSerialKey;
using base::kSizeKey;

// What a program with a key reads of a signed list and of its own key for the verdict below.
struct ListFreshness {
  bool hasListSection = false;          // the list has kListSection (with at least one key)
  std::string serial, expires;          // its values as read (empty when absent)
  std::optional<std::string> size;      // the program's "Size" as read; nullopt when absent
  std::optional<std::uint32_t> stored;  // the highest serial this program accepted; nullopt: never one
};

// The verdict of a program with a key on a signed list's serial, expiry and size: a list without
// the section is read as always by a program that never accepted one with it, and refused
// (ListWithoutSerial) by one that did; a serial below the stored one is ListReplayed, an equal
// one is the same list again; the list is good up to and including its "Expires" day, read in
// the form the publishing tool writes it (base::TryParsePublishedDate) whatever the computer's
// date format, so that no computer takes an expired list for a valid one; a serial, an expiry or a "Size" that is not a whole number in its
// range or no date is ListValueUnreadable. `serial` is the serial to store (the list's when it
// is accepted and higher than the stored one); `size` the archive's length when given.
struct FreshnessVerdict {
  Refusal refusal = Refusal::None;
  std::optional<std::uint32_t> serial;
  std::optional<std::int64_t> size;
};
FreshnessVerdict JudgeListFreshness(const ListFreshness& list, base::TDateTime today);

// The verdict on a finished download against the section's `size` (nullopt: no "Size", nothing
// to judge): `tooLong` the transfer stopped at the size limit, `received` the bytes in the file.
Refusal JudgeDownloadSize(const std::optional<std::int64_t>& size, bool tooLong, std::int64_t received);

// The verdict on the downloaded archive: `sha256Value` the section's "SHA256" as read (empty
// when absent), `digest` the archive file's SHA-256 (empty result when the file could not be
// read). None when it may be unpacked.
Refusal JudgeArchive(std::string_view sha256Value, const std::optional<std::string>& digest);

}  // namespace wizard
