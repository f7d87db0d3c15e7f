// The publishing tool's pure rules: names, hex, characters, the release date, the news value,
// the update list edited line by line and the command line.
#include "publish/publish_rules.h"

#include <algorithm>
#include <cstdio>

#include "base/DateTime.h"
#include "base/StrUtils.h"
#include "base/key_chain.h"
#include "base/list_dates.h"
#include "base/signed_update.h"
#include "publish/template_rules.h"

namespace publish {

namespace {

// What the private-profile reader trims: blanks and the other ASCII white space.
bool IsProfileSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view Trim(std::string_view text, bool (*space)(char)) {
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  return text;
}

bool HasLineBreakOrZero(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// The value as the list reader takes it, before the cut: trimmed, one enclosing pair of quotes
// taken away.
std::string_view StripValue(std::string_view raw) {
  std::string_view v = Trim(raw, IsProfileSpace);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
  return v;
}

std::string ReadAsValue(std::string_view raw) {
  std::string_view v = StripValue(raw);
  if (v.size() > kMaxValueLength) v = v.substr(0, kMaxValueLength);
  return std::string(v);
}

// The Windows-1252 bytes 0x80..0x9F as Unicode; 0 where the code page has no character.
const uint16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::string CodePointName(uint32_t cp) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(cp));
  return text;
}

}  // namespace

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

// ---- Texts of keys, signatures and hashes ---------------------------------------------------

bool IsHexOfLength(std::string_view text, size_t bytes) {
  if (text.size() != bytes * 2) return false;
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  });
}

// ---- Characters -----------------------------------------------------------------------------

std::string Utf8ToCp1252(std::string_view text) {
  auto points = base::DecodeUtf8(text);
  if (!points) return std::string(text);
  std::string out;
  for (uint32_t cp : *points) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    int found = -1;
    for (int k = 0; k < 32; ++k)
      if (cp != 0 && kCp1252High[k] == cp) found = k;
    if (found < 0) throw EPublishError("the character " + CodePointName(cp) + " has no form in the Windows code page 1252");
    out += static_cast<char>(0x80 + found);
  }
  return out;
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  for (char c : text) {
    auto b = static_cast<unsigned char>(c);
    if (b >= 0x80 && b < 0xA0) {
      uint16_t cp = kCp1252High[b - 0x80];
      base::AppendUtf8(out, cp ? cp : 0xFFFD);
    } else {
      base::AppendUtf8(out, b);
    }
  }
  return out;
}

// ---- The release date -----------------------------------------------------------------------

std::optional<std::string> NormalizeReleaseDate(std::string_view text) {
  int parts[3] = {0, 0, 0};
  size_t digits[3] = {0, 0, 0};
  int part = 0;
  for (char c : text) {
    if (c == '.') {
      if (++part > 2) return std::nullopt;
      continue;
    }
    if (c < '0' || c > '9') return std::nullopt;
    if (++digits[part] > 4) return std::nullopt;
    parts[part] = parts[part] * 10 + (c - '0');
  }
  if (part != 2 || digits[0] < 1 || digits[0] > 2 || digits[1] < 1 || digits[1] > 2 || digits[2] != 4)
    return std::nullopt;
  if (!base::TryEncodeDate(parts[2], parts[1], parts[0])) return std::nullopt;
  // What the programs make of it must be the same day; their reading of the published form
  // decides.
  auto read = base::TryParsePublishedDate(text);
  if (!read || *read != *base::TryEncodeDate(parts[2], parts[1], parts[0])) return std::nullopt;
  return FormatReleaseDate(parts[2], parts[1], parts[0]);
}

std::string FormatReleaseDate(int year, int month, int day) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d", day, month, year);
  return text;
}

// ---- The news value -------------------------------------------------------------------------

std::string QuoteNewsItem(std::string_view item) {
  bool plain = !item.empty() && std::none_of(item.begin(), item.end(), [](char c) {
    return c == ',' || c == '"' || static_cast<unsigned char>(c) <= 32;
  });
  if (plain) return std::string(item);
  std::string out = "\"";
  for (char c : item) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string NewsValue(const std::vector<std::string>& items) {
  std::string value;
  for (size_t i = 0; i < items.size(); ++i) {
    if (HasLineBreakOrZero(items[i]))
      throw EPublishError("The news item \"" + items[i] + "\" holds a line break; an update list line cannot.");
    if (i > 0) value += ',';
    value += QuoteNewsItem(items[i]);
  }
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = "\"" + value + "\"";
  if (StripValue(value).size() > kMaxValueLength)
    throw EPublishError("The news items make a value of " + base::IntToStr(static_cast<int64_t>(value.size())) +
                        " characters; the programs read no more than " +
                        base::IntToStr(static_cast<int64_t>(kMaxValueLength)) + " of it.");
  return value;
}

// ---- The update list ------------------------------------------------------------------------

UpdateList::UpdateList(std::string_view bytes) {
  if (bytes.find('\0') != std::string_view::npos)
    throw EPublishError("Updates.ini holds zero bytes (is it saved as UTF-16?); the programs read it in the Windows code page.");
  if (base::StartsWith(bytes, "\xEF\xBB\xBF"))
    throw EPublishError("Updates.ini begins with a UTF-8 byte order mark; the programs read it in the Windows code page (save it as Windows-1252 without the mark).");
  size_t i = 0;
  while (i < bytes.size()) {
    size_t e = bytes.find_first_of("\r\n", i);
    Line line;
    if (e == std::string_view::npos) {
      line.text = std::string(bytes.substr(i));
      i = bytes.size();
    } else {
      line.text = std::string(bytes.substr(i, e - i));
      size_t endLength = (bytes[e] == '\r' && e + 1 < bytes.size() && bytes[e + 1] == '\n') ? 2 : 1;
      line.end = std::string(bytes.substr(e, endLength));
      i = e + endLength;
    }
    lines_.push_back(std::move(line));
  }
}

std::string UpdateList::Bytes() const {
  std::string out;
  for (const Line& line : lines_) out += line.text + line.end;
  return out;
}

namespace {
// The section name of a header line, or nothing when the line is no header.
std::optional<std::string_view> HeaderName(std::string_view text) {
  std::string_view t = Trim(text, IsProfileSpace);
  if (t.empty() || t.front() != '[') return std::nullopt;
  size_t close = t.rfind(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(t.substr(1, close - 1), IsProfileSpace);
}

bool IsBlankLine(std::string_view text) { return Trim(text, IsProfileSpace).empty(); }

std::string_view KeyName(std::string_view text) {
  size_t eq = text.find('=');
  return Trim(eq == std::string_view::npos ? text : text.substr(0, eq), IsProfileSpace);
}
}  // namespace

std::vector<UpdateList::Section> UpdateList::Sections() const {
  std::vector<Section> sections;
  Section current;
  current.header = std::string::npos;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (auto name = HeaderName(lines_[i].text)) {
      current.last = i;
      sections.push_back(current);
      current = Section();
      current.name = std::string(*name);
      current.header = i;
      current.first = i + 1;
    }
  }
  current.last = lines_.size();
  sections.push_back(current);
  return sections;
}

const UpdateList::Section* UpdateList::Find(const std::vector<Section>& sections, std::string_view name,
                                            bool trim) const {
  if (trim) name = Trim(name, IsProfileSpace);
  for (const Section& s : sections)
    if (s.header != std::string::npos && SameName(s.name, name)) return &s;
  return nullptr;
}

std::vector<std::string> UpdateList::SectionNames() const {
  std::vector<std::string> names;
  auto sections = Sections();
  for (const Section& s : sections) {
    if (s.header == std::string::npos || Find(sections, s.name, false) != &s) continue;
    bool hasKey = false;
    for (size_t i = s.first; i < s.last && !hasKey; ++i) hasKey = !IsBlankLine(lines_[i].text);
    if (hasKey) names.push_back(s.name);
  }
  return names;
}

bool UpdateList::HasSection(std::string_view section) const {
  auto names = SectionNames();
  return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return SameName(n, Trim(section, IsProfileSpace)); });
}

std::optional<std::string> UpdateList::ReadValue(std::string_view section, std::string_view key) const {
  auto sections = Sections();
  const Section* s = Find(sections, section);
  if (!s) return std::nullopt;
  key = Trim(key, IsProfileSpace);
  for (size_t i = s->first; i < s->last; ++i) {
    const std::string& text = lines_[i].text;
    if (IsBlankLine(text) || !SameName(KeyName(text), key)) continue;
    size_t eq = text.find('=');
    if (eq == std::string::npos) return std::nullopt;  // a key without value reads as absent
    return ReadAsValue(std::string_view(text).substr(eq + 1));
  }
  return std::nullopt;
}

void UpdateList::SetValues(std::string_view section, const std::vector<std::pair<std::string, std::string>>& values) {
  std::string_view name = Trim(section, IsProfileSpace);
  if (name.empty() || HasLineBreakOrZero(name) || name.find(']') != std::string_view::npos)
    throw EPublishError("\"" + std::string(section) + "\" cannot be a section name of the update list.");
  for (const auto& [key, value] : values) {
    if (key.empty() || key.find('=') != std::string::npos || HasLineBreakOrZero(key) || Trim(key, IsProfileSpace) != key)
      throw EPublishError("\"" + key + "\" cannot be a key of the update list.");
    if (HasLineBreakOrZero(value))
      throw EPublishError("The value of \"" + key + "\" holds a line break; an update list line cannot.");
  }
  if (!lines_.empty() && lines_.back().end.empty()) lines_.back().end = "\r\n";
  auto sections = Sections();
  const Section* found = Find(sections, name);
  if (!found) {
    if (!lines_.empty() && !IsBlankLine(lines_.back().text)) lines_.push_back({"", "\r\n"});
    lines_.push_back({"[" + std::string(name) + "]", "\r\n"});
    for (const auto& [key, value] : values) lines_.push_back({key + "=" + value, "\r\n"});
    return;
  }
  Section s = *found;
  size_t insertAt = s.first;  // after the last non-blank line of the section
  for (size_t i = s.first; i < s.last; ++i)
    if (!IsBlankLine(lines_[i].text)) insertAt = i + 1;
  for (const auto& [key, value] : values) {
    bool set = false;
    for (size_t i = s.first; i < s.last && !set; ++i) {
      std::string& text = lines_[i].text;
      if (IsBlankLine(text) || !SameName(KeyName(text), key)) continue;
      size_t eq = text.find('=');
      text = eq == std::string::npos ? text + "=" + value : text.substr(0, eq + 1) + value;
      set = true;
    }
    if (set) continue;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), Line{key + "=" + value, "\r\n"});
    ++insertAt;
    ++s.last;
  }
}

// ---- Serial and expiry ----------------------------------------------------------------------

std::uint32_t RenewList(UpdateList& list, const std::string& expires) {
  std::uint64_t serial = 0;
  if (auto old = list.ReadValue(base::kListSection, base::kSerialKey); old && !old->empty()) {
    auto number = base::ReadListNumber(*old, base::kMaxSerial);
    if (!number)
      throw EPublishError("The list's Serial \"" + *old + "\" is no whole number from 1 to 4294967295; set it by hand "
                          "to the last serial published.");
    serial = *number;
  }
  if (serial >= base::kMaxSerial) throw EPublishError("The list's Serial is at its highest, 4294967295.");
  ++serial;
  list.SetValues(base::kListSection, {{base::kSerialKey, std::to_string(serial)}, {base::kExpiresKey, expires}});
  return static_cast<std::uint32_t>(serial);
}

std::string DateAfter(int year, int month, int day, int days) {
  const auto start = base::TryEncodeDate(year, month, day);
  if (!start) throw EPublishError("No date: " + std::to_string(year) + "-" + std::to_string(month) + "-" + std::to_string(day));
  const auto parts = base::TryDecodeDate(static_cast<base::TDateTime>(*start + days));
  if (!parts) throw EPublishError("No date " + std::to_string(days) + " days later.");
  return FormatReleaseDate(parts->year, parts->month, parts->day);
}

// ---- The command line -----------------------------------------------------------------------

std::string UsageText() {
  return "Usage:\n"
         "  trelkpublish keygen [--root] <keyfolder>\n"
         "      Makes a key pair: <keyfolder>/update-public.key and update-secret.key\n"
         "      (a release key, or the one key of programs built with one key); with\n"
         "      --root root-public.key and root-secret.key, to keep off every server.\n"
         "      Existing key files are never replaced.\n"
         "  trelkpublish delegate --root <root-secret.key> --release <update-public.key>\n"
         "                        --programs <*|name,name...> --epoch <n>\n"
         "                        --expires <dd.MM.yyyy> --out <delegation file>\n"
         "      Signs with the root key that the release key may sign the lists of the\n"
         "      programs named (* for all) until the expiry day, at the epoch n; a\n"
         "      program refuses every delegation below the highest epoch it accepted.\n"
         "  trelkpublish retire --root <root-secret.key> --retired <root-public.key>\n"
         "                      --from <epoch> --delegation <delegation file>\n"
         "      Adds to the delegation file the record, signed by the one root key, that\n"
         "      the other signs nothing from the epoch on.\n"
         "  trelkpublish publish --key <update-secret.key> --server <serverfolder>\n"
         "                       --program <section> --from <folder> --file <archive.zip>\n"
         "                       [--date <dd.MM.yyyy>] [--expires <dd.MM.yyyy>]\n"
         "                       [--news <item>]... [--registry-key <key>]\n"
         "                       [--registry-root HKLM|HKCU] [--wait <seconds>]\n"
         "                       [--rollout <percent>]\n"
         "      Packs the files of <folder> into\n"
         "      <serverfolder>/Updates/<archive.zip>, writes the section's Date, File,\n"
         "      News and SHA256 into <serverfolder>/Updates.ini and signs the list\n"
         "      (Updates.ini.sig). The date defaults to today. Each --news is one item;\n"
         "      without --news an existing News value stays as it is. The archive's\n"
         "      length goes into the section's Size; the list's [<Liste>] gets a serial\n"
         "      one higher than before and the expiry (default: a year from today).\n"
         "      Without an Update.bat in <folder> publish writes one: it replaces the\n"
         "      program's files one by one (waiting up to --wait seconds, default 30,\n"
         "      for a file in use), puts every old file back when one step fails, and\n"
         "      records the outcome as UpdateResult in <root>\\Software\\Trelk\\<key>\n"
         "      (default: HKLM and the --program name). An Update.bat of your own is\n"
         "      packed as it is. With --delegation (or the chain already on the\n"
         "      server) --key is the delegated release key: the list's signature goes\n"
         "      with the delegation into Updates.ini.chain, and Updates.ini.sig is\n"
         "      signed with --legacy-key for the programs built with one key (removed\n"
         "      without it). With --rollout only that share of the installations\n"
         "      takes the update when reminded (a user's own search always does);\n"
         "      the share doubles every 7 days from today (Rollout, RolloutStart);\n"
         "      without it an earlier rollout of the section ends (Rollout=100).\n"
         "  trelkpublish renew --key <update-secret.key> --server <serverfolder>\n"
         "                     [--expires <dd.MM.yyyy>]\n"
         "                     [--program <section> --rollout <percent>]\n"
         "      Raises the list's serial, sets its expiry (default: a year from today)\n"
         "      and signs it again; no program's section changes. For a scheduled job:\n"
         "      programs with the public key refuse a list after its expiry day.\n"
         "      --delegation and --legacy-key as for publish. With --program and\n"
         "      --rollout the section's share is set anew from today (0 stops it).\n"
         "  trelkpublish verify --server <serverfolder> [--public <update-public.key>]\n"
         "                      [--root <root-public.key>]...\n"
         "      Checks the folder the way the programs read it; with --public also the\n"
         "      signature and that every archive has its SHA256; with --root (the one\n"
         "      or two root keys of the programs) the chain for every section. Says\n"
         "      which programs take the list. Warns when the list or the delegation\n"
         "      expires within 14 days.\n"
         "Exit code: 0 all right, 1 problems found or the operation failed, 2 usage error.\n";
}

bool IsPlainArchiveName(std::string_view name) {
  if (name.empty() || name.front() == '.' || name.back() == '.') return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("._-+~()").find(c) != std::string_view::npos;
  });
}

Arguments ParseArguments(const std::vector<std::string>& args) {
  Arguments a;
  if (args.empty()) throw EPublishError("No command given.");
  const std::string& command = args[0];
  if (command == "help" || command == "--help" || command == "-h") {
    a.command = Command::Help;
    return a;
  }
  if (command == "keygen") {
    a.rootKey = args.size() == 3 && args[1] == "--root";
    const std::string& folder = args.back();
    if (args.size() != (a.rootKey ? 3u : 2u) || folder.empty() || base::StartsWith(folder, "--"))
      throw EPublishError("keygen takes exactly one argument, the folder for the two key files (after --root for a root key).");
    a.command = Command::Keygen;
    a.keyFolder = folder;
    return a;
  }
  std::map<std::string, std::string*> options;
  std::string wait, epoch, rollout;
  if (command == "publish") {
    a.command = Command::Publish;
    options = {{"--key", &a.key}, {"--server", &a.server}, {"--program", &a.program},
               {"--from", &a.from}, {"--file", &a.file}, {"--date", &a.date}, {"--expires", &a.expires},
               {"--registry-key", &a.registryKey}, {"--registry-root", &a.registryRoot}, {"--wait", &wait},
               {"--delegation", &a.delegation}, {"--legacy-key", &a.legacyKey}, {"--rollout", &rollout}};
  } else if (command == "renew") {
    a.command = Command::Renew;
    options = {{"--key", &a.key}, {"--server", &a.server}, {"--expires", &a.expires},
               {"--delegation", &a.delegation}, {"--legacy-key", &a.legacyKey}, {"--rollout", &rollout},
               {"--program", &a.program}};
  } else if (command == "verify") {
    a.command = Command::Verify;
    options = {{"--server", &a.server}, {"--public", &a.publicKey}};
  } else if (command == "delegate") {
    a.command = Command::Delegate;
    options = {{"--root", &a.rootSecret}, {"--release", &a.releasePublic}, {"--programs", &a.programs},
               {"--epoch", &epoch}, {"--expires", &a.expires}, {"--out", &a.out}};
  } else if (command == "retire") {
    a.command = Command::Retire;
    options = {{"--root", &a.rootSecret}, {"--retired", &a.retiredPublic}, {"--from", &epoch},
               {"--delegation", &a.delegation}};
  } else {
    throw EPublishError("Unknown command \"" + command + "\".");
  }
  std::map<std::string, bool> seen;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& option = args[i];
    bool isNews = a.command == Command::Publish && option == "--news";
    const bool isRoot = a.command == Command::Verify && option == "--root";
    auto it = options.find(option);
    if (!isNews && !isRoot && it == options.end()) throw EPublishError("Unknown option \"" + option + "\" for " + command + ".");
    if (i + 1 >= args.size()) throw EPublishError("The option " + option + " needs a value.");
    const std::string& value = args[++i];
    if (isRoot) {
      if (value.empty()) throw EPublishError("The option --root needs a value.");
      if (a.rootKeys.size() == base::kMaxRootKeys) throw EPublishError("A program carries at most two root keys.");
      a.rootKeys.push_back(value);
      continue;
    }
    if (isNews) {
      a.news.push_back(value);
      a.newsGiven = true;
      continue;
    }
    if (seen[option]) throw EPublishError("The option " + option + " is given twice.");
    seen[option] = true;
    if (value.empty()) throw EPublishError("The option " + option + " needs a value.");
    *it->second = value;
  }
  std::vector<std::string> required =
      a.command == Command::Publish    ? std::vector<std::string>{"--key", "--server", "--program", "--from", "--file"}
      : a.command == Command::Renew    ? std::vector<std::string>{"--key", "--server"}
      : a.command == Command::Delegate ? std::vector<std::string>{"--root", "--release", "--programs", "--epoch",
                                                                  "--expires", "--out"}
      : a.command == Command::Retire   ? std::vector<std::string>{"--root", "--retired", "--from", "--delegation"}
                                       : std::vector<std::string>{"--server"};
  for (const std::string& option : required)
    if (!seen[option]) throw EPublishError(command + " needs the option " + option + ".");
  if (!a.expires.empty()) {
    auto date = NormalizeReleaseDate(a.expires);
    if (!date) throw EPublishError("The expiry \"" + a.expires + "\" is not a date of the form dd.MM.yyyy.");
    a.expires = *date;
  }
  if (!rollout.empty()) {
    auto share = base::ReadListNumber(rollout, 100);
    if (!share || rollout.find_first_not_of("0123456789") != std::string::npos)
      throw EPublishError("The rollout \"" + rollout + "\" is no whole number of percent from 0 to 100.");
    a.rollout = static_cast<int>(*share);
  }
  if (a.command == Command::Renew && (a.rollout >= 0) != !a.program.empty())
    throw EPublishError("renew takes --rollout and --program together: the share of that program's update.");
  if (!epoch.empty()) {
    auto number = base::ReadListNumber(epoch, base::kMaxSerial);
    if (!number || *number == 0 || epoch.find_first_not_of("0123456789") != std::string::npos || epoch[0] == '0')
      throw EPublishError("The epoch \"" + epoch + "\" is no whole number from 1 to 4294967295.");
    a.epoch = static_cast<std::uint32_t>(*number);
  }
  if (a.command == Command::Publish) {
    if (SameName(base::TrimBlanksAndBreaks(a.program), base::kListSection))
      throw EPublishError("\"" + a.program + "\" is the list's own section and no program's.");
    if (!a.date.empty()) {
      auto date = NormalizeReleaseDate(a.date);
      if (!date) throw EPublishError("The date \"" + a.date + "\" is not a date of the form dd.MM.yyyy.");
      a.date = *date;
    }
    RegistryRoot root;
    if (!a.registryRoot.empty() && !ParseRegistryRoot(a.registryRoot, root))
      throw EPublishError("The registry root \"" + a.registryRoot + "\" is neither HKLM nor HKCU.");
    if (!a.registryKey.empty() && !IsTemplateRegistryKey(a.registryKey))
      throw EPublishError("The registry key \"" + a.registryKey +
                          "\" cannot be written by the batch file: printable ASCII without \" % ! ^ & | < > * ?, "
                          "no blank or backslash at either end.");
    if (!wait.empty()) {
      auto seconds = base::ReadListNumber(wait, kMaxWaitSeconds);
      if (!seconds || *seconds < static_cast<std::uint64_t>(kMinWaitSeconds))
        throw EPublishError("The wait \"" + wait + "\" is no whole number of seconds from " +
                            std::to_string(kMinWaitSeconds) + " to " + std::to_string(kMaxWaitSeconds) + ".");
      a.waitSeconds = static_cast<int>(*seconds);
    }
    if (!IsPlainArchiveName(a.file))
      throw EPublishError("The archive name \"" + a.file +
                          "\" must be a plain file name such as Notizkasten.zip (ASCII letters, digits and ._-+~() only).");
  }
  return a;
}

}  // namespace publish
