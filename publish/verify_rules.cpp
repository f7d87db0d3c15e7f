// The check of a server folder: the list's sections and dates, the signature, the archives and
// their batch templates, each against the programs' own rules.
#include "publish/verify_rules.h"

#include "base/key_chain.h"

#include <algorithm>
#include <cmath>

#include "base/DateTime.h"
#include "base/StrUtils.h"
#include "base/batch_template.h"
#include "base/list_dates.h"
#include "base/signed_update.h"
#include "base/zip_rules.h"

namespace publish {

// ---- File names as the programs read and make them ------------------------------------------

std::optional<std::string> ProgramsEntryName(const base::ZipEntryRecord& entry) {
  if (base::NameCodingOf(entry) == base::ZipNameCoding::Oem) return base::Cp850ToUtf8(entry.name);
  if (!base::IsUtf8(entry.name)) return std::nullopt;
  return entry.name;
}

std::optional<std::string> FileNameRefusal(std::string_view name) {
  const std::string utf8 = Cp1252ToUtf8(name);
  auto made = base::ExtractedName(utf8);
  if (!made || *made != utf8)
    return std::string("it is no file name they make (a control character, one of / \\ : < > \" | ? *, a blank or a dot "
                       "at its end, or a device name such as CON, NUL, COM1 or LPT1)");
  // Cp1252ToUtf8 gives the five bytes that Windows-1252 leaves unassigned as U+FFFD.
  if (utf8.find("\xEF\xBF\xBD") != std::string::npos)
    return std::string("it holds a byte that is no character of Windows-1252");
  return std::nullopt;
}

// ---- The check of a server folder -----------------------------------------------------------

// ---- The batch template ---------------------------------------------------------------------

std::optional<std::string> BatchTemplateRefusal(std::string_view bytes) {
  // Folders of 259 characters with their backslash, the longest the programs write.
  const std::string programDir = "C:\\" + std::string(255, 'P') + "\\";
  const std::string tempDir = "C:\\" + std::string(255, 'T') + "\\";
  try {
    base::BuildUpdateBatch(base::SplitTemplateLines(bytes), programDir, tempDir, true, programDir + "P.exe");
  } catch (const base::Exception& e) {
    return e.Message();
  }
  return std::nullopt;
}

namespace {

const base::ShortDateFormat kGermanDate{base::ShortDateFormat::DMY, '.'};

// The published form of a date that only a day.month.year computer reads, for the advice.
std::string PublishedForm(double date) {
  auto d = base::TryDecodeDate(date);
  return d ? FormatReleaseDate(d->year, d->month, d->day) : std::string();
}

// The problems of the "Date" value and the news items' dates of one section.
// The list's serial and expiry as the programs with the public key read them.
void CheckSerialSection(const UpdateList& list, double today, std::vector<std::string>& problems) {
  const std::string where = std::string("Section [") + base::kListSection + "]: ";
  // A list without the section is still read by every program that never accepted one with it.
  if (!list.HasSection(base::kListSection)) return;
  auto serial = list.ReadValue(base::kListSection, base::kSerialKey);
  if (!serial || !base::ReadListNumber(*serial, base::kMaxSerial) || *base::ReadListNumber(*serial, base::kMaxSerial) == 0)
    problems.push_back(where + "the Serial \"" + serial.value_or("") +
                       "\" is no whole number from 1 to 4294967295; programs with the public key refuse the list.");
  auto expires = list.ReadValue(base::kListSection, base::kExpiresKey);
  auto day = expires ? base::TryParsePublishedDate(*expires) : std::nullopt;
  if (!day)
    problems.push_back(where + "the Expires \"" + expires.value_or("") +
                       "\" is not a date of the form dd.MM.yyyy; programs with the public key refuse the list.");
  else if (*day < std::floor(today))
    problems.push_back(where + "the list expired on " + *expires +
                       "; programs with the public key refuse it (trelkpublish renew).");
}

void CheckDates(const UpdateList& list, const std::string& name, double today, std::vector<std::string>& problems) {
  const std::string where = "Section [" + name + "]: ";
  const char* const elsewhere = "programs without the public key take today's date instead, programs with it refuse "
                                "the list.";
  auto date = list.ReadValue(name, "Date");
  if (!date || date->empty()) {
    problems.push_back(where + "no Date; programs without the public key take today's date and offer the update at "
                       "every check, programs with it refuse the list.");
  } else if (!base::TryParsePublishedDate(*date)) {
    if (auto german = base::TryParseShortDate(*date, kGermanDate, today))
      problems.push_back(where + "the Date \"" + *date + "\" is read only where the short date is day.month.year; " +
                         "write it as " + PublishedForm(*german) + ": elsewhere " + elsewhere);
    else
      problems.push_back(where + "the Date \"" + *date + "\" is not a date of the form dd.MM.yyyy; " + elsewhere);
  }
  auto news = list.ReadValue(name, "News");
  if (!news) return;
  for (const std::string& item : base::SplitCommaList(*news)) {
    const size_t colon = item.find(':');
    if (colon == std::string::npos || colon == 0) continue;
    const std::string part = item.substr(0, colon);
    if (base::TryParsePublishedDate(part)) continue;
    // A date part that no computer reads is text, shown everywhere; one that only some read is
    // filtered on those alone.
    if (auto german = base::TryParseShortDate(part, kGermanDate, today))
      problems.push_back(where + "the news item \"" + item + "\" has a date that is read only where the short date " +
                         "is day.month.year; write it as " + PublishedForm(*german) +
                         ": elsewhere the item is shown whatever its date.");
  }
}

}  // namespace

std::vector<std::string> ListWarnings(const ServerView& view) {
  std::vector<std::string> warnings;
  if (!view.list) return warnings;
  try {
    const UpdateList list(*view.list);
    auto expires = list.ReadValue(base::kListSection, base::kExpiresKey);
    auto day = expires ? base::TryParsePublishedDate(*expires) : std::nullopt;
    if (day && *day >= std::floor(view.today) && *day < std::floor(view.today) + kExpiryWarningDays)
      warnings.push_back("The list expires on " + *expires + ", within " + std::to_string(kExpiryWarningDays) +
                         " days: run trelkpublish renew before then, or programs with the public key refuse it.");
  } catch (const EPublishError&) {
  }
  return warnings;
}

ChainCheck CheckChain(const ServerView& view, const std::vector<std::string>& roots) {
  ChainCheck check;
  if (!view.list) return check;  // CheckServer says so
  std::optional<UpdateList> list;
  try {
    list.emplace(*view.list);
  } catch (const EPublishError&) {
    return check;
  }
  if (!view.chain) {
    check.problems.push_back("Updates.ini.chain is missing: programs built with the root keys take the list only "
                             "when Updates.ini.sig is signed by one of them.");
    return check;
  }
  const auto chain = base::ParseKeyChain(*view.chain);
  if (!chain) {
    check.problems.push_back("Updates.ini.chain is no chain of trelkpublish: programs built with the root keys "
                             "install nothing.");
    return check;
  }
  const base::Delegation& d = chain->delegation;
  for (const std::string& name : list->SectionNames()) {
    if (SameName(name, base::kListSection)) continue;
    const base::ChainVerdict verdict = base::JudgeKeyChain(
        *chain, *view.list, roots, name, base::ChainMemory{}, view.today,
        [&view](std::string_view message, std::string_view signature, std::string_view key) {
          return view.verify(signature, message, key);
        });
    const std::string section = "[" + name + "]: ";
    switch (verdict.fault) {
      case base::ChainFault::None:
        check.taken.push_back(section + "taken by programs built with the root keys (release key " +
                              base::KeyId(d.key) + ", epoch " + std::to_string(d.epoch) + ", root key " + d.root +
                              ", delegated until " + d.expiresText + ").");
        break;
      case base::ChainFault::SignatureInvalid:
        check.problems.push_back(section + "Updates.ini.chain does not lead from these root keys to the list: a "
                                 "delegation by another root key, or the list changed after signing.");
        break;
      case base::ChainFault::RootRetired:
        check.problems.push_back(section + "the delegation's root key " + d.root + " is retired for its epoch.");
        break;
      case base::ChainFault::EpochLower:  // no remembered epoch here
        break;
      case base::ChainFault::Expired:
        check.problems.push_back(section + "the delegation expired on " + d.expiresText + ".");
        break;
      case base::ChainFault::ProgramNotCovered:
        check.problems.push_back(section + "the delegation does not name this program.");
        break;
    }
    if (list->ReadValue(name, "File") && !list->ReadValue(name, "SHA256"))
      check.problems.push_back(section + "no SHA256: programs built with the root keys install nothing.");
  }
  if (std::floor(d.expires) >= std::floor(view.today) && std::floor(d.expires) < std::floor(view.today) + kExpiryWarningDays)
    check.warnings.push_back("The delegation of release key " + base::KeyId(d.key) + " expires on " + d.expiresText +
                             ", within " + std::to_string(kExpiryWarningDays) +
                             " days: delegate again with the root key before then, or programs with the root keys "
                             "refuse every list.");
  return check;
}

std::vector<std::string> CheckServer(const ServerView& view, const std::optional<std::string>& publicKey) {
  std::vector<std::string> problems;
  if (!view.list) {
    problems.push_back("Updates.ini is missing.");
    return problems;
  }
  std::optional<UpdateList> list;
  try {
    list.emplace(*view.list);
  } catch (const EPublishError& e) {
    problems.push_back(e.Message());
    return problems;
  }
  if (publicKey) {
    if (!view.signature) {
      problems.push_back("Updates.ini.sig is missing: programs built with the public key install nothing.");
    } else {
      // Read as the programs read "Updates.ini.sig": one line, a line break around it allowed.
      auto signature = base::ParseSignatureFile(*view.signature);
      if (!signature)
        problems.push_back("Updates.ini.sig is not the Base64 text of a 64-byte signature.");
      else if (!view.verify(*signature, *view.list, *publicKey))
        problems.push_back("Updates.ini.sig does not fit Updates.ini for this public key: the list was changed after "
                           "signing or signed with another key.");
    }
  }
  CheckSerialSection(*list, view.today, problems);
  auto names = list->SectionNames();
  names.erase(std::remove_if(names.begin(), names.end(),
                             [](const std::string& n) { return SameName(n, base::kListSection); }),
              names.end());
  if (names.empty()) problems.push_back("Updates.ini has no section with a value.");
  for (const std::string& name : names) {
    const std::string where = "Section [" + name + "]: ";
    auto size = list->ReadValue(name, base::kSizeKey);
    if (size && !base::ReadListNumber(*size, base::kMaxArchiveSize))
      problems.push_back(where + "the Size \"" + *size + "\" is no whole number of bytes; programs with the public key "
                         "refuse the list.");
    CheckDates(*list, name, view.today, problems);
    auto file = list->ReadValue(name, "File");
    auto hash = list->ReadValue(name, "SHA256");
    if (hash && !IsHexOfLength(*hash, 32))
      problems.push_back(where + "the SHA256 \"" + *hash + "\" is not 64 hexadecimal digits.");
    // A rollout the programs cannot read holds the update back from every reminder.
    if (auto rollout = list->ReadValue(name, "Rollout"); rollout && !base::ReadListNumber(*rollout, 100))
      problems.push_back(where + "the Rollout \"" + *rollout + "\" is no whole number from 0 to 100; the programs " +
                         "read it as 0 % and offer the update only to a user's own search.");
    if (auto start = list->ReadValue(name, "RolloutStart"); start && !base::TryParsePublishedDate(*start))
      problems.push_back(where + "the RolloutStart \"" + *start + "\" is not a date of the form dd.MM.yyyy; the " +
                         "programs read the rollout as 0 % and offer the update only to a user's own search.");
    if (!file || file->empty()) {
      problems.push_back(where + "no File; the programs would fetch \"Updates/\" itself.");
      continue;
    }
    bool leaves = false;
    for (size_t b = 0; b <= file->size();) {
      size_t e = file->find_first_of("/\\", b);
      if (e == std::string::npos) e = file->size();
      std::string_view part = std::string_view(*file).substr(b, e - b);
      if (part == ".." || part == ".") leaves = true;
      b = e + 1;
    }
    if (leaves || file->find('\\') != std::string::npos || (*file)[0] == '/') {
      problems.push_back(where + "the File \"" + *file + "\" is no plain path below Updates/.");
      continue;
    }
    auto bytes = view.readArchive(*file);
    if (!bytes) {
      problems.push_back(where + "the archive Updates/" + *file + " is missing.");
      continue;
    }
    if (auto given = size ? base::ReadListNumber(*size, base::kMaxArchiveSize) : std::nullopt;
        given && *given != bytes->size())
      problems.push_back(where + "the Size " + *size + " is not the length of Updates/" + *file + " (" +
                         std::to_string(bytes->size()) + " bytes); programs with the public key refuse the download.");
    if (hash && IsHexOfLength(*hash, 32)) {
      std::string actual = base::HexText(view.sha256(*bytes));
      std::string given = *hash;
      std::transform(given.begin(), given.end(), given.begin(), AsciiLower);
      if (actual != given)
        problems.push_back(where + "the SHA256 does not match Updates/" + *file + " (the file has " + actual + ").");
    } else if (!hash && publicKey) {
      problems.push_back(where + "no SHA256; programs built with the public key do not install Updates/" + *file + ".");
    }
    auto entries = view.archiveEntries(*bytes);
    if (!entries) {
      problems.push_back(where + "Updates/" + *file + " is not a readable ZIP archive.");
    } else {
      // The template the programs use: the first entry that unpacks as "Update.bat" (a later
      // one of the same name does not replace it).
      auto batch = std::find_if(entries->begin(), entries->end(), [](const std::string& entry) {
        auto unpacked = base::ExtractedName(entry);
        return unpacked && SameName(*unpacked, "Update.bat");
      });
      if (batch == entries->end()) {
        problems.push_back(where + "Updates/" + *file + " holds no Update.bat; the programs cannot install it.");
        continue;
      }
      const std::string entry = "Updates/" + *file + ": its Update.bat";
      auto text = view.entryBytes(*bytes, static_cast<size_t>(batch - entries->begin()), kMaxTemplateBytes);
      if (!text)
        problems.push_back(where + entry + " cannot be unpacked.");
      else if (text->size() > kMaxTemplateBytes)
        problems.push_back(where + entry + " is larger than " + std::to_string(kMaxTemplateBytes / 1048576) +
                           " MB; the programs refuse a batch file above " +
                           std::to_string(base::kMaxBatchBytes / 1048576) + " MB.");
      else if (auto refusal = BatchTemplateRefusal(*text))
        problems.push_back(where + entry + " is refused by the programs: " + *refusal);
    }
    if (view.archiveProblems)
      for (const std::string& p : view.archiveProblems(*bytes)) problems.push_back(where + "Updates/" + *file + ": " + p);
  }
  return problems;
}

}  // namespace publish
