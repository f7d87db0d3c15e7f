// The check of a server folder ("trelkpublish verify", and publish before it writes): what the
// programs would refuse or leave out of the update list, its signature, the archives and their
// batch templates. Nothing here touches the platform; publish/Publish.cpp feeds it.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/zip_rules.h"
#include "publish/publish_rules.h"

namespace publish {

// ---- File names as the programs read and make them ------------------------------------------
// The programs' reading on a German Windows: the ANSI code page 1252, the OEM code page 850.

// An archive entry's name in UTF-8 as the programs read it (base::NameCodingOf, an unflagged
// name in code page 850); empty result for a name flagged as UTF-8 that is none, which makes
// them refuse the archive.
std::optional<std::string> ProgramsEntryName(const base::ZipEntryRecord& entry);

// Why the programs do not make a file of the update under exactly `name` (Windows-1252), as a
// clause for "is refused by the programs: ..."; empty result when they do. The rules of
// base::ExtractedName, and every character in Windows-1252.
std::optional<std::string> FileNameRefusal(std::string_view name);

// ---- The check of a server folder -----------------------------------------------------------

// What the check needs from the folder and from the cryptography; `readArchive` gets a "File"
// value and gives the file's bytes below "Updates/", or nothing when there is none.
struct ServerView {
  std::optional<std::string> list;       // "Updates.ini"
  std::optional<std::string> signature;  // "Updates.ini.sig" as text
  std::optional<std::string> chain;      // "Updates.ini.chain"
  std::function<std::optional<std::string>(const std::string& file)> readArchive;
  std::function<std::string(std::string_view bytes)> sha256;  // 32 bytes
  // Whether `signature` (64 bytes) is right for `message` under `publicKey` (32 bytes).
  std::function<bool(std::string_view signature, std::string_view message, std::string_view publicKey)> verify;
  // Names of the entries of a ZIP archive, or nothing when the bytes are no readable archive.
  std::function<std::optional<std::vector<std::string>>(const std::string& bytes)> archiveEntries;
  // The unpacked bytes of entry `index` (in the order of archiveEntries), at most `limit` + 1 of
  // them; nothing when the entry cannot be unpacked.
  std::function<std::optional<std::string>(const std::string& bytes, size_t index, size_t limit)> entryBytes;
  // Today, for the dates of the list that leave out the century or the year.
  double today = 0;
  // What the programs' extraction refuses or leaves out of an archive, one sentence each
  // (ArchiveProblems); unassigned: not checked.
  std::function<std::vector<std::string>(const std::string& bytes)> archiveProblems;
};

// ---- The batch template ---------------------------------------------------------------------

// The most bytes of an "Update.bat" that the check unpacks and reads.
constexpr size_t kMaxTemplateBytes = 16 * 1024 * 1024;

// What the programs say when they turn `bytes` (an archive's "Update.bat") into the batch file
// they run, with a program and a temporary folder as long as a path can be; empty result when
// they take it. The text is the programs' own (Windows-1252).
std::optional<std::string> BatchTemplateRefusal(std::string_view bytes);

// The problems of the folder, one sentence each, naming the section; empty when it is right.
// With `publicKey` (32 bytes) the signature must be present and right and every section with a
// "File" needs a "SHA256"; without it the signature is not looked at. The list's dates are
// checked against both readings of the programs (a computer whose short date is day.month.year,
// and the published form that every computer reads), the archive's "Update.bat" against the
// programs' template rules.
// Also: the list's [<Liste>] section when present (a serial or expiry that the
// programs do not read, an expiry day passed) and each section's "Size" against its archive.
std::vector<std::string> CheckServer(const ServerView& view, const std::optional<std::string>& publicKey);

// The warnings that are no problem yet: the list expires within kExpiryWarningDays.
constexpr int kExpiryWarningDays = 14;
std::vector<std::string> ListWarnings(const ServerView& view);

// What programs built with the root keys `roots` (32 bytes each; one or two) that never accepted
// a chain make of the chain beside the list: for each program section, the line saying that they
// take the list or why not (a problem), every "File" without "SHA256" (a problem), and a warning
// when the delegation expires within kExpiryWarningDays.
struct ChainCheck {
  std::vector<std::string> problems, taken, warnings;
};
ChainCheck CheckChain(const ServerView& view, const std::vector<std::string>& roots);

}  // namespace publish
