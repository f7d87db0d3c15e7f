// The publishing tool's pure rules: Base64, characters, release dates, the news value read back
// through the list reader and the comma-list rule, the update list edited line by line, the
// command line, the check of a server folder and the Update.bat that publish writes.
#include "publish/publish_rules.h"
#include "publish/template_rules.h"
#include "publish/verify_rules.h"
#include "base/signed_update.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>

#include "base/DateTime.h"
#include "base/StrUtils.h"
#include "base/batch_template.h"

namespace {

using publish::EPublishError;
using publish::UpdateList;

TEST(PublishRules, Hex) {
  EXPECT_TRUE(publish::IsHexOfLength("00ffAAbb", 4));
  EXPECT_FALSE(publish::IsHexOfLength("00ffAAb", 4));
  EXPECT_FALSE(publish::IsHexOfLength("00ffAAbg", 4));
  EXPECT_FALSE(publish::IsHexOfLength(" 0ffAAbb", 4));
}

TEST(PublishRules, Characters) {
  struct Case {
    const char* utf8;
    const char* cp1252;  // nullptr: no Windows-1252 form
  } cases[] = {
      {"Gr\xC3\xB6\xC3\x9F" "e", "Gr\xF6\xDF" "e"},
      {"\xE2\x82\xAC 5", "\x80 5"},
      {"\xE2\x80\x9Ezitiert\xE2\x80\x9C", "\x84zitiert\x93"},
      {"Gr\xF6\xDF" "e", "Gr\xF6\xDF" "e"},  // not UTF-8: already the code page's bytes
      {"\xC0\xAF", "\xC0\xAF"},               // an overlong form is no UTF-8 either
      {"\xC5\x81\xC3\xB3" "d\xC5\xBA", nullptr},
      {"\xF0\x9F\x98\x80", nullptr},
  };
  for (const Case& c : cases) {
    if (c.cp1252) {
      EXPECT_EQ(publish::Utf8ToCp1252(c.utf8), c.cp1252) << c.utf8;
    } else {
      EXPECT_THROW(publish::Utf8ToCp1252(c.utf8), EPublishError) << c.utf8;
    }
  }
  // Every byte of the code page that has a character comes back through UTF-8.
  for (int b = 1; b < 256; ++b) {
    std::string one(1, static_cast<char>(b));
    if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
      EXPECT_EQ(publish::Cp1252ToUtf8(one), "\xEF\xBF\xBD");
      continue;
    }
    EXPECT_EQ(publish::Utf8ToCp1252(publish::Cp1252ToUtf8(one)), one) << b;
  }
}

TEST(PublishRules, ReleaseDates) {
  struct Case {
    const char* text;
    const char* normal;  // nullptr: refused
  } cases[] = {
      {"15.03.2024", "15.03.2024"}, {"1.2.2024", "01.02.2024"}, {"29.02.2024", "29.02.2024"},
      {"31.12.9999", "31.12.9999"}, {"29.02.2023", nullptr},   {"31.04.2024", nullptr},
      {"15.3.24", nullptr},         {"15.03", nullptr},        {"2024-03-15", nullptr},
      {"03/15/2024", nullptr},      {" 15.03.2024", nullptr},  {"15.03.2024.", nullptr},
      {"015.03.2024", nullptr},     {"0.03.2024", nullptr},    {"15.13.2024", nullptr},
      {"", nullptr},                {"15..2024", nullptr},     {"15.03.20245", nullptr},
  };
  for (const Case& c : cases) {
    auto normal = publish::NormalizeReleaseDate(c.text);
    if (c.normal) {
      EXPECT_EQ(normal, std::string(c.normal)) << c.text;
    } else {
      EXPECT_FALSE(normal) << c.text << " -> " << normal.value_or("");
    }
  }
  EXPECT_EQ(publish::FormatReleaseDate(2003, 3, 5), "05.03.2003");
}

// The items as a program reads them back: the value written into a list, read with the list's
// rules and split by the comma-list rule.
std::vector<std::string> ReadBack(const std::string& value) {
  UpdateList list("");
  list.SetValues("P", {{"News", value}});
  return base::SplitCommaList(*UpdateList(list.Bytes()).ReadValue("P", "News"));
}

TEST(PublishRules, NewsRoundTrip) {
  struct Case {
    std::vector<std::string> items;
    const char* value;
  } cases[] = {
      {{}, ""},
      {{"15.03.2024:Neu"}, "15.03.2024:Neu"},
      {{"a", "b"}, "a,b"},
      {{"15.03.2024: Neue Suche"}, "\"\"15.03.2024: Neue Suche\"\""},
      {{"15.03.2024: Suche, schneller", "Fix"}, "\"15.03.2024: Suche, schneller\",Fix"},
      {{"Fix", "mit Blank"}, "Fix,\"mit Blank\""},
      {{"a b", "c d"}, "\"\"a b\",\"c d\"\""},
      {{"sagt \"hallo\""}, "\"\"sagt \"\"hallo\"\"\"\""},
      {{"\"vorn"}, "\"\"\"\"vorn\"\""},
      {{""}, "\"\"\"\""},
      {{"a", ""}, "a,\"\""},
      {{"", "a"}, "\"\",a"},
      {{" vorn", "hinten "}, "\"\" vorn\",\"hinten \"\""},
      {{"'einfach'"}, "\"'einfach'\""},
      {{"'a", "b'"}, "\"'a,b'\""},
      {{"Tab\there"}, "\"\"Tab\there\"\""},
      {{"Gr\xF6\xDF" "e:\x80"}, "Gr\xF6\xDF" "e:\x80"},
      {{"x=y", "[z]", ";k"}, "x=y,[z],;k"},
  };
  for (const Case& c : cases) {
    std::string value = publish::NewsValue(c.items);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(ReadBack(value), c.items) << value;
  }
  // The longest value the programs read whole, and one more character.
  std::vector<std::string> longest(1, std::string(publish::kMaxValueLength, 'x'));
  EXPECT_EQ(ReadBack(publish::NewsValue(longest)), longest);
  longest[0] += 'x';
  EXPECT_THROW(publish::NewsValue(longest), EPublishError);
  std::vector<std::string> quoted(1, std::string(publish::kMaxValueLength - 2, ' '));
  EXPECT_EQ(ReadBack(publish::NewsValue(quoted)), quoted);  // two quotes make 2047
  quoted[0] += ' ';
  EXPECT_THROW(publish::NewsValue(quoted), EPublishError);
  for (const char* bad : {"zwei\r\nZeilen", "a\nb", "a\rb"})
    EXPECT_THROW(publish::NewsValue({"ok", bad}), EPublishError) << bad;
  EXPECT_THROW(publish::NewsValue({std::string("a\0b", 3)}), EPublishError);
}

TEST(PublishRules, ListReading) {
  const std::string list =
      "Date=vor jedem Abschnitt\r\n"
      "[Leer]\r\n"
      "   \r\n"
      "[Kasse]\r\n"
      "  date  =  15.03.2024  \r\n"
      "File='Kasse.zip'\r\n"
      "News=\"a b\"\r\n"
      "Eins=\"\r\n"
      "Halb=\"a'\r\n"
      "ohne Gleich\r\n"
      "Gleich=a=b\r\n"
      "Doppelt=erstes\r\n"
      "Doppelt=zweites\r\n"
      "Lang=" + std::string(3000, 'x') + "\r\n"
      "[KASSE]\r\n"
      "Neu=im zweiten\n"
      "  [ Mit Blanks ] Rest\rX=1\r"
      "[Offen\r\n"
      "[Zuletzt]\r\n"
      "Y=2";
  UpdateList reader(list);
  EXPECT_EQ(reader.Bytes(), list);
  struct Case {
    const char* section;
    const char* key;
    const char* value;  // nullptr: absent
  } cases[] = {
      {"Kasse", "Date", "15.03.2024"},   {"kasse", "DATE", "15.03.2024"}, {"  Kasse ", " Date", "15.03.2024"},
      {"Kasse", "File", "Kasse.zip"},    {"Kasse", "News", "a b"},        {"Kasse", "Eins", "\""},
      {"Kasse", "Halb", "\"a'"},         {"Kasse", "ohne Gleich", nullptr},    {"Kasse", "Gleich", "a=b"},
      {"Kasse", "Doppelt", "erstes"},    {"Kasse", "Neu", nullptr},       {" Mit Blanks ", "X", "1"},
      {"Mit Blanks", "X", "1"},         {"mit blanks", "[Offen", nullptr},      {"Zuletzt", "Y", "2"},           {"Leer", "Date", nullptr},
      {"Kasse", "[Offen", nullptr},      {"Zuletzt", "[Offen", nullptr},  {"Fehlt", "Date", nullptr},
  };
  for (const Case& c : cases) {
    auto value = reader.ReadValue(c.section, c.key);
    if (c.value) {
      EXPECT_EQ(value, std::string(c.value)) << c.section << "/" << c.key;
    } else {
      EXPECT_FALSE(value) << c.section << "/" << c.key << " = " << value.value_or("");
    }
  }
  EXPECT_EQ(reader.ReadValue("Kasse", "Lang")->size(), publish::kMaxValueLength);
  // "[Offen" has no "]": a key without value of the section before it.
  std::vector<std::string> names = {"Kasse", "Mit Blanks", "Zuletzt"};
  EXPECT_EQ(reader.SectionNames(), names);
  EXPECT_FALSE(reader.HasSection("Leer"));
  EXPECT_TRUE(reader.HasSection("KASSE"));

  EXPECT_THROW(UpdateList("\xEF\xBB\xBF[Kasse]\r\n"), EPublishError);
  EXPECT_THROW(UpdateList(std::string("[\0K\0]\0", 6)), EPublishError);
}

TEST(PublishRules, ListEditing) {
  const std::vector<std::pair<std::string, std::string>> kValues = {
      {"Date", "15.03.2024"}, {"File", "Kasse.zip"}, {"SHA256", "ab"}};
  const std::string kNew = "[Kasse]\r\nDate=15.03.2024\r\nFile=Kasse.zip\r\nSHA256=ab\r\n";
  struct Case {
    const char* name;
    std::string before;
    const char* section;
    std::string after;
  } cases[] = {
      {"empty file", "", "Kasse", kNew},
      {"new section after others", "; Liste\r\n[Andere]\r\nDate=1.2.2003\r\n", "Kasse",
       "; Liste\r\n[Andere]\r\nDate=1.2.2003\r\n\r\n" + kNew},
      {"new section after a blank line", "[Andere]\r\nA=1\r\n\r\n", "Kasse", "[Andere]\r\nA=1\r\n\r\n" + kNew},
      {"last line without line end", "[Andere]\r\nA=1", "Kasse", "[Andere]\r\nA=1\r\n\r\n" + kNew},
      {"LF lines stay LF", "[Andere]\nA=1\n", "Kasse", "[Andere]\nA=1\n\r\n" + kNew},
      {"existing section with other values",
       "[Andere]\r\nDate=1.1.2001\r\n\r\n[Kasse]\r\nNews=\"alt\"\r\ndate = 1.2.2003\r\n; Kommentar\r\nFile=alt.zip\n"
       "Extra=bleibt\r\n\r\n\r\n[Letzte]\r\nZ=9\r\n",
       "Kasse",
       "[Andere]\r\nDate=1.1.2001\r\n\r\n[Kasse]\r\nNews=\"alt\"\r\ndate =15.03.2024\r\n; Kommentar\r\n"
       "File=Kasse.zip\nExtra=bleibt\r\nSHA256=ab\r\n\r\n\r\n[Letzte]\r\nZ=9\r\n"},
      {"section found without regard to case", "[KASSE]\rDate=1\r", "kasse",
       "[KASSE]\rDate=15.03.2024\rFile=Kasse.zip\r\nSHA256=ab\r\n"},
      {"the first of two sections", "[Kasse]\r\nDate=1\r\n[Kasse]\r\nDate=2\r\nFile=x\r\n", "Kasse",
       "[Kasse]\r\nDate=15.03.2024\r\nFile=Kasse.zip\r\nSHA256=ab\r\n[Kasse]\r\nDate=2\r\nFile=x\r\n"},
      {"an empty section gets the values", "[Kasse]\r\n\r\n[B]\r\nX=1\r\n", "Kasse",
       kNew + "\r\n[B]\r\nX=1\r\n"},
      {"a key without =", "[Kasse]\r\nSHA256\r\n", "Kasse",
       "[Kasse]\r\nSHA256=ab\r\nDate=15.03.2024\r\nFile=Kasse.zip\r\n"},
      {"lines before any section", "Date=9\r\n", "Kasse", "Date=9\r\n\r\n" + kNew},
  };
  for (const Case& c : cases) {
    UpdateList list(c.before);
    list.SetValues(c.section, kValues);
    EXPECT_EQ(list.Bytes(), c.after) << c.name;
    UpdateList again(list.Bytes());
    for (const auto& [key, value] : kValues) EXPECT_EQ(again.ReadValue(c.section, key), value) << c.name << " " << key;
  }
  UpdateList list("[A]\r\nX=1\r\n");
  for (const char* bad : {"", "  ", "a]b", "a\r\nb"}) EXPECT_THROW(list.SetValues(bad, kValues), EPublishError) << bad;
  EXPECT_THROW(list.SetValues("K", {{"a=b", "1"}}), EPublishError);
  EXPECT_THROW(list.SetValues("K", {{" a", "1"}}), EPublishError);
  EXPECT_THROW(list.SetValues("K", {{"News", "a\nb"}}), EPublishError);
  EXPECT_EQ(list.Bytes(), "[A]\r\nX=1\r\n");
}

TEST(PublishRules, CommandLine) {
  using publish::Command;
  auto a = publish::ParseArguments({"publish", "--news", "eins", "--key", "k", "--server", "s", "--program", "P",
                                    "--from", "f", "--file", "P.zip", "--date", "1.2.2024", "--news", ""});
  EXPECT_EQ(a.command, Command::Publish);
  EXPECT_EQ(a.key + a.server + a.program + a.from + a.file, "ksPfP.zip");
  EXPECT_EQ(a.date, "01.02.2024");
  EXPECT_EQ(a.news, (std::vector<std::string>{"eins", ""}));
  EXPECT_TRUE(a.newsGiven);
  EXPECT_EQ(a.registryKey + a.registryRoot, "");
  EXPECT_EQ(a.waitSeconds, 0);
  a = publish::ParseArguments({"publish", "--key", "k", "--server", "s", "--program", "P", "--from", "f", "--file", "P.zip",
                               "--registry-key", "Trelk Kasse\\2", "--registry-root", "hkcu", "--wait", "600"});
  EXPECT_EQ(a.registryKey + "|" + a.registryRoot + "|" + std::to_string(a.waitSeconds), "Trelk Kasse\\2|hkcu|600");
  EXPECT_EQ(a.rollout, -1) << "no rollout unless asked for";
  EXPECT_EQ(publish::ParseArguments({"renew", "--key", "k", "--server", "s", "--rollout", "0", "--program", "P"}).rollout, 0);
  a = publish::ParseArguments({"verify", "--server", "s"});
  EXPECT_EQ(a.command, Command::Verify);
  EXPECT_EQ(a.publicKey, "");
  EXPECT_EQ(publish::ParseArguments({"keygen", "k"}).keyFolder, "k");
  EXPECT_TRUE(publish::ParseArguments({"keygen", "--root", "k"}).rootKey);
  const publish::Arguments d = publish::ParseArguments({"delegate", "--root", "r", "--release", "p", "--programs", "*",
                                                        "--epoch", "4294967295", "--expires", "1.2.2030", "--out", "o"});
  EXPECT_EQ(d.epoch, 4294967295u);
  EXPECT_EQ(d.expires, "01.02.2030");

  const std::vector<std::string> ok = {"publish", "--key", "k", "--server", "s", "--program", "P",
                                       "--from", "f", "--file", "P.zip"};
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = ok;
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  };
  const char* const kKeygenUsage =
      "keygen takes exactly one argument, the folder for the two key files (after --root for a root key).";
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{}, "No command given."},
      {{"sign"}, "Unknown command \"sign\"."},
      {{"keygen"}, kKeygenUsage},
      {{"keygen", "a", "b"}, kKeygenUsage},
      {{"keygen", "--root"}, kKeygenUsage},
      {{"keygen", "--rot", "a"}, kKeygenUsage},
      {{"delegate", "--root", "r", "--release", "p", "--programs", "*", "--epoch", "1", "--out", "d"},
       "delegate needs the option --expires."},
      {{"delegate", "--root", "r", "--release", "p", "--programs", "*", "--epoch", "01", "--expires", "1.1.2030",
        "--out", "d"},
       "The epoch \"01\" is no whole number from 1 to 4294967295."},
      {{"retire", "--root", "r", "--retired", "p", "--from", "4294967296", "--delegation", "d"},
       "The epoch \"4294967296\" is no whole number from 1 to 4294967295."},
      {{"verify", "--server", "s", "--root", "a", "--root", "b", "--root", "c"},
       "A program carries at most two root keys."},
      {{"verify"}, "verify needs the option --server."},
      {{"verify", "--server"}, "The option --server needs a value."},
      {{"verify", "--server", "s", "--news", "x"}, "Unknown option \"--news\" for verify."},
      {{"verify", "--server", "a", "--server", "b"}, "The option --server is given twice."},
      {{"publish", "--key", "k"}, "publish needs the option --server."},
      {with({"--date", "2024-03-15"}), "The date \"2024-03-15\" is not a date of the form dd.MM.yyyy."},
      {with({"--date", "31.02.2024"}), "The date \"31.02.2024\" is not a date of the form dd.MM.yyyy."},
      {with({"--file"}), "The option --file needs a value."},
      {with({"--public", "p"}), "Unknown option \"--public\" for publish."},
      {with({"--program", ""}), "The option --program is given twice."},
      {with({"--registry-root", "HKEY_USERS"}), "The registry root \"HKEY_USERS\" is neither HKLM nor HKCU."},
      {with({"--registry-key", "Kasse\\"}),
       "The registry key \"Kasse\\\" cannot be written by the batch file: printable ASCII without \" % ! ^ & | < > * ?, no "
       "blank or backslash at either end."},
      {with({"--registry-key", "Kasse & Co"}),
       "The registry key \"Kasse & Co\" cannot be written by the batch file: printable ASCII without \" % ! ^ & | < > * ?, no "
       "blank or backslash at either end."},
      {with({"--wait", "601"}), "The wait \"601\" is no whole number of seconds from 1 to 600."},
      {with({"--wait", "-1"}), "The wait \"-1\" is no whole number of seconds from 1 to 600."},
      {{"renew", "--key", "k", "--server", "s", "--wait", "5"}, "Unknown option \"--wait\" for renew."},
      {with({"--rollout", "101"}), "The rollout \"101\" is no whole number of percent from 0 to 100."},
      {with({"--rollout", "20%"}), "The rollout \"20%\" is no whole number of percent from 0 to 100."},
      {with({"--rollout", " 20"}), "The rollout \" 20\" is no whole number of percent from 0 to 100."},
      {{"renew", "--key", "k", "--server", "s", "--rollout", "20"},
       "renew takes --rollout and --program together: the share of that program's update."},
      {{"renew", "--key", "k", "--server", "s", "--program", "P"},
       "renew takes --rollout and --program together: the share of that program's update."},
  };
  for (const Case& c : cases) {
    try {
      publish::ParseArguments(c.args);
      ADD_FAILURE() << "accepted: " << c.message;
    } catch (const EPublishError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
  for (const char* name : {"Kasse.zip", "kasse-2.0_final+(1).zip", "a~b"}) EXPECT_TRUE(publish::IsPlainArchiveName(name)) << name;
  for (const char* name : {"", ".", "..", "a/b.zip", "a\\b.zip", "a b.zip", "Gr\xF6\xDF" "e.zip", ".zip", "a.zip.", "a?.zip"})
    EXPECT_FALSE(publish::IsPlainArchiveName(name)) << name;
}

// A server folder held in memory; the cryptography is stood in for, since the real one is
// tested through the tool (tests/publish/Publish_test.cpp).
struct Folder {
  std::string list, signedList;
  std::optional<std::string> signature = base::EncodeBase64(std::string(64, 's'));
  std::map<std::string, std::string> archives = {{"Kasse.zip", "ZIP:Update.bat"}};
  std::optional<std::string> batch = std::string("@echo off\r\nrem %s\r\nrem %s\r\ncopy %0:s*.* %1:s\r\n");

  std::vector<std::string> Check(bool withKey) const {
    publish::ServerView view;
    view.list = list;
    view.signature = signature;
    view.readArchive = [this](const std::string& f) -> std::optional<std::string> {
      auto it = archives.find(f);
      if (it == archives.end()) return std::nullopt;
      return it->second;
    };
    view.sha256 = [](std::string_view bytes) { return std::string(32, static_cast<char>(bytes.size())); };
    view.verify = [this](std::string_view sig, std::string_view message, std::string_view key) {
      return sig == std::string(64, 's') && message == signedList && key == std::string(32, 'k');
    };
    view.archiveEntries = [](const std::string& bytes) -> std::optional<std::vector<std::string>> {
      if (!base::StartsWith(bytes, "ZIP:")) return std::nullopt;
      return std::vector<std::string>{"bin/Kasse.exe", bytes.substr(4)};
    };
    view.entryBytes = [this](const std::string&, size_t index, size_t limit) -> std::optional<std::string> {
      EXPECT_EQ(index, 1u);
      EXPECT_EQ(limit, publish::kMaxTemplateBytes);
      return batch;
    };
    view.today = *base::TryEncodeDate(2026, 12, 8);
    return publish::CheckServer(view, withKey ? std::optional<std::string>(std::string(32, 'k')) : std::nullopt);
  }
};

TEST(PublishRules, ServerCheck) {
  auto repeat = [](const char* two) {
    std::string text;
    for (int i = 0; i < 32; ++i) text += two;
    return text;
  };
  const std::string hash = repeat("0e");  // the stand-in's hash of the 14 bytes "ZIP:Update.bat"
  const std::string good = "[Kasse]\r\nDate=15.03.2024\r\nFile=Kasse.zip\r\nSHA256=" + hash + "\r\n";
  struct Case {
    const char* name;
    std::function<void(Folder&)> change;
    bool withKey;
    std::vector<std::string> problems;
  } cases[] = {
      {"all right", [](Folder&) {}, true, {}},
      {"all right without the key and the signature", [](Folder& f) { f.signature.reset(); }, false, {}},
      {"hash in capitals", [&](Folder& f) { f.list = f.signedList = "[Kasse]\r\nDate=15.03.2024\r\nFile=Kasse.zip\r\nSHA256=0E" + hash.substr(2) + "\r\n"; }, true, {}},
      {"no list", [](Folder& f) { f.list.clear(); }, false, {"Updates.ini has no section with a value."}},
      {"signature missing", [](Folder& f) { f.signature.reset(); }, true,
       {"Updates.ini.sig is missing: programs built with the public key install nothing."}},
      {"signature no Base64", [](Folder& f) { f.signature = "kein Base64"; }, true,
       {"Updates.ini.sig is not the Base64 text of a 64-byte signature."}},
      {"signature too short", [](Folder& f) { f.signature = base::EncodeBase64(std::string(63, 's')); }, true,
       {"Updates.ini.sig is not the Base64 text of a 64-byte signature."}},
      {"list changed after signing", [](Folder& f) { f.list += "; neu\r\n"; }, true,
       {"Updates.ini.sig does not fit Updates.ini for this public key: the list was changed after signing or signed "
        "with another key."}},
      {"list changed, no key given", [](Folder& f) { f.list += "; neu\r\n"; }, false, {}},
      {"date in another form", [](Folder& f) { f.list = "[Kasse]\r\nDate=2024-03-15\r\nFile=Kasse.zip\r\n"; }, false,
       {"Section [Kasse]: the Date \"2024-03-15\" is not a date of the form dd.MM.yyyy; programs without the public "
        "key take today's date instead, programs with it refuse the list."}},
      {"no date", [](Folder& f) { f.list = "[Kasse]\r\nDate=\r\nFile=Kasse.zip\r\n"; }, false,
       {"Section [Kasse]: no Date; programs without the public key take today's date and offer the update at every "
        "check, programs with it refuse the list."}},
      // Dates that a day.month.year computer reads, and one whose short date is M/d/yyyy does not.
      {"a date with a two-digit year", [](Folder& f) { f.list = "[Kasse]\r\nDate=15.3.24\r\nFile=Kasse.zip\r\n"; }, false,
       {"Section [Kasse]: the Date \"15.3.24\" is read only where the short date is day.month.year; write it as "
        "15.03.2024: elsewhere programs without the public key take today's date instead, programs with it refuse "
        "the list."}},
      {"news dates",
       [](Folder& f) {
         f.list = "[Kasse]\r\nDate=1.2.2024\r\nFile=Kasse.zip\r\nNews=15.03:Neu,1.2.2024:Alt,Version 2:x,:y\r\n";
       },
       false,
       {"Section [Kasse]: the news item \"15.03:Neu\" has a date that is read only where the short date is "
        "day.month.year; write it as 15.03.2026: elsewhere the item is shown whatever its date."}},
      // The archive's template through the programs' own rules.
      {"a template ending in empty lines", [](Folder& f) { f.batch = "@echo off\r\na\r\nb\r\nc\r\n\r\n\r\n"; }, true, {}},
      {"a template that ends in half a group", [](Folder& f) { f.batch = "@echo off\r\ncopy %s x\r\n"; }, true,
       {"Section [Kasse]: Updates/Kasse.zip: its Update.bat is refused by the programs: Die Vorlage \"Update.bat\" "
        "endet in einer unvollst\xE4ndigen Gruppe (Zeile 1)"}},
      {"a width of 1025", [](Folder& f) { f.batch = " echo %1025s\r\n"; }, true,
       {"Section [Kasse]: Updates/Kasse.zip: its Update.bat is refused by the programs: Format ' echo %1025s' "
        "ung\xFCltig: Breite und Genauigkeit d\xFCrfen h\xF6" "chstens 1024 betragen"}},
      {"a template that does not unpack", [](Folder& f) { f.batch.reset(); }, true,
       {"Section [Kasse]: Updates/Kasse.zip: its Update.bat cannot be unpacked."}},
      {"a template of more than 16 MB", [](Folder& f) { f.batch = std::string(publish::kMaxTemplateBytes + 1, ' '); },
       true,
       {"Section [Kasse]: Updates/Kasse.zip: its Update.bat is larger than 16 MB; the programs refuse a batch file "
        "above 1 MB."}},
      {"no file", [](Folder& f) { f.list = "[Kasse]\r\nDate=1.2.2024\r\n"; }, false,
       {"Section [Kasse]: no File; the programs would fetch \"Updates/\" itself."}},
      {"file outside", [](Folder& f) { f.list = "[Kasse]\r\nDate=1.2.2024\r\nFile=../Kasse.zip\r\n"; }, false,
       {"Section [Kasse]: the File \"../Kasse.zip\" is no plain path below Updates/."}},
      {"archive missing", [](Folder& f) { f.archives.clear(); }, false,
       {"Section [Kasse]: the archive Updates/Kasse.zip is missing."}},
      {"wrong hash", [](Folder& f) { f.archives["Kasse.zip"] = "ZIP:x/Update.bat"; }, false,
       {"Section [Kasse]: the SHA256 does not match Updates/Kasse.zip (the file has " + repeat("10") + ")."}},
      {"hash of another length", [](Folder& f) { f.list = "[Kasse]\r\nDate=1.2.2024\r\nFile=Kasse.zip\r\nSHA256=0e\r\n"; }, false,
       {"Section [Kasse]: the SHA256 \"0e\" is not 64 hexadecimal digits."}},
      {"no hash without the key", [](Folder& f) { f.list = "[Kasse]\r\nDate=1.2.2024\r\nFile=Kasse.zip\r\n"; }, false, {}},
      {"a rollout as trelkpublish writes it",
       [](Folder& f) { f.list = "[Kasse]\r\nDate=1.2.2024\r\nFile=Kasse.zip\r\nRollout=0\r\nRolloutStart=1.2.2024\r\n"; },
       false, {}},
      {"a rollout mistyped",
       [](Folder& f) { f.list = "[Kasse]\r\nDate=1.2.2024\r\nFile=Kasse.zip\r\nRollout=20 %\r\nRolloutStart=2024-02-01\r\n"; },
       false,
       {"Section [Kasse]: the Rollout \"20 %\" is no whole number from 0 to 100; the programs read it as 0 % and offer "
        "the update only to a user's own search.",
        "Section [Kasse]: the RolloutStart \"2024-02-01\" is not a date of the form dd.MM.yyyy; the programs read the "
        "rollout as 0 % and offer the update only to a user's own search."}},
      {"no archive", [](Folder& f) { f.archives["Kasse.zip"] = "kaputt"; f.list = "[Kasse]\r\nDate=1.2.2024\r\nFile=Kasse.zip\r\n"; }, false,
       {"Section [Kasse]: Updates/Kasse.zip is not a readable ZIP archive."}},
      {"no batch template", [](Folder& f) { f.archives["Kasse.zip"] = "ZIP:Update.txt"; f.list = "[Kasse]\r\nDate=1.2.2024\r\nFile=Kasse.zip\r\n"; }, false,
       {"Section [Kasse]: Updates/Kasse.zip holds no Update.bat; the programs cannot install it."}},
      {"two sections, problems named by section",
       [](Folder& f) {
         f.list = "[Kasse]\r\nDate=1.2.2024\r\nFile=Kasse.zip\r\n[Lager]\r\nDate=3.2003\r\nFile=Lager.zip\r\n";
       },
       false,
       {"Section [Lager]: the Date \"3.2003\" is not a date of the form dd.MM.yyyy; programs without the public key "
        "take today's date instead, programs with it refuse the list.",
        "Section [Lager]: the archive Updates/Lager.zip is missing."}},
      {"a section name with blanks", [](Folder& f) { f.list = f.signedList = "[ Kasse]\r\nDate=1.2.2024\r\n"; }, true,
       {"Section [Kasse]: no File; the programs would fetch \"Updates/\" itself."}},
      {"BOM", [](Folder& f) { f.list = "\xEF\xBB\xBF" + f.list; }, true,
       {"Updates.ini begins with a UTF-8 byte order mark; the programs read it in the Windows code page (save it as "
        "Windows-1252 without the mark)."}},
  };
  for (const Case& c : cases) {
    Folder f;
    f.list = f.signedList = good;
    c.change(f);
    EXPECT_EQ(f.Check(c.withKey), c.problems) << c.name;
  }
  Folder f;
  f.list = "[Kasse]\r\nDate=1.2.2024\r\nFile=Kasse.zip\r\n";
  f.signature.reset();
  std::vector<std::string> expected = {
      "Updates.ini.sig is missing: programs built with the public key install nothing.",
      "Section [Kasse]: no SHA256; programs built with the public key do not install Updates/Kasse.zip."};
  EXPECT_EQ(f.Check(true), expected);
}

// The Update.bat publish writes, made into a batch as the programs make it: every name reaches
// the batch only as a data line, and each "for /f ... skip=N" reads exactly the line meant for
// it (a layout one line off would copy the wrong file or none). The fallback for the program
// folder is a line the batch runs; the folders for kept and new files never share a file's name.
TEST(PublishRules, GeneratedTemplate) {
  const std::string program = "C:\\Pro gramm & (1) 100%\\", temp = "C:\\T\x84mp\\Trelk-Kasse-00000001\\";
  struct Case {
    std::vector<std::string> files;      // Windows-1252
    std::vector<std::string> console;    // the same in code page 850
    std::vector<std::string> bytewise;   // the patterns of ASCII of names with 0x80 to 0x9F
    const char* keep;                    // the folder of the kept files
  } cases[] = {
      {{"Kasse.exe"}, {"Kasse.exe"}, {}, "Vorher"},
      {{"100% \xFC" "ber.dat", "a&b (1).txt", "%PATH%", "Kasse.exe"}, {"100% \x81" "ber.dat", "a&b (1).txt", "%PATH%", "Kasse.exe"},
       {}, "Vorher"},
      {{"vorher", "Vorher1", "neu", "\xC4nderung.txt"}, {"vorher", "Vorher1", "neu", "\x8E" "nderung.txt"}, {}, "Vorher2"},
      // The en dash and the euro sign are not in code page 850: patterns, with the probe line.
      {{"Hilfe f\xFCr Anf\xE4nger.txt", "\xDC" "bersicht \x96 Gr\xF6\xDF" "e.dat", "Preis \x80.txt", "\x83(x).txt"},
       {"Hilfe f\x81r Anf\x84nger.txt", "\x9A" "bersicht ? Gr\x94\xE1" "e.dat", "Preis ?.txt", "\x9F(x).txt"},
       {"", "?bersicht???Gr??e.dat", "Preis??.txt", "??x?.txt"}, "Vorher"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.files.back());
    const std::string text =
        publish::SafeUpdateTemplate(c.files, {publish::RegistryRoot::CurrentUser, "Trelk\\Kasse", 30});
    EXPECT_EQ(publish::BatchTemplateRefusal(text), std::nullopt);
    const auto templateLines = base::SplitTemplateLines(text);
    EXPECT_EQ(templateLines.size() % 4, 0u) << "groups of four lines, no tail";
    const auto lines = base::SplitTemplateLines(base::BuildUpdateBatch(templateLines, program, temp, false, ""));
    std::map<std::string, std::string> read;  // variable -> the line its "for /f" reads
    for (const std::string& line : lines) {
      const size_t skip = line.find("skip=");
      const size_t set = line.find("if not defined ");
      if (skip == std::string::npos || set == std::string::npos) continue;
      const size_t n = std::stoul(line.substr(skip + 5));
      ASSERT_LT(n, lines.size()) << line;
      read[line.substr(set + 15, line.find(' ', set + 15) - set - 15)] = lines[n];
    }
    std::map<std::string, std::string> expected = {{"prog", "|P|" + program}};
    bool patterns = false;
    for (size_t k = 0; k < c.files.size(); ++k) {
      const std::string n = std::to_string(k + 1);
      expected["f" + n] = "|F|" + c.console[k];
      expected["g" + n] = "|G|" + c.files[k];
      // A name that a data line gives only as a pattern is looked for in the search folder: the
      // console form's where data lines read as the batch's own text, a pattern of ASCII where
      // they are read byte for byte (0x80 to 0x9F are control characters there).
      const bool console = c.console[k].find('?') != std::string::npos;
      const bool bytewise = std::any_of(c.files[k].begin(), c.files[k].end(), [](char ch) {
        return static_cast<unsigned char>(ch) >= 0x80 && static_cast<unsigned char>(ch) < 0xA0;
      });
      patterns = patterns || console || bytewise;
      if (bytewise) expected["h" + n] = "|H|" + c.bytewise[k];
      EXPECT_EQ(std::count(lines.begin(), lines.end(), "for %%N in (\"%such%%f" + n + "%\") do set \"f" + n + "=%%~nxN\""),
                console ? 1 : 0)
          << n;
      EXPECT_EQ(std::count(lines.begin(), lines.end(), "for %%N in (%kurz%%h" + n + "%) do set \"f" + n + "=%%~nxN\""),
                bytewise ? 1 : 0)
          << n;
    }
    if (patterns) expected["cpt"] = "|C|\x84";
    EXPECT_EQ(read, expected);
    // No name in a line cmd.exe runs; the program folder once, in the fallback that sets it.
    for (size_t i = 0; i < lines.size(); ++i) {
      if (base::StartsWith(lines[i], "|")) continue;
      for (const std::string& name : c.files)
        if (name.size() > 3) EXPECT_EQ(lines[i].find(name), std::string::npos) << lines[i];
      if (lines[i].find(program) != std::string::npos) EXPECT_EQ(lines[i], "set \"prog=" + program + "\"");
    }
    EXPECT_NE(text.find("set \"alt=!such!" + std::string(c.keep) + "\\\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("\\System32\\reg.exe\" add \"HKCU\\Software\\Trelk\\Trelk\\Kasse\" /v UpdateResult /t REG_SZ "
                        "/d \"%%date%% %%time%%|"),
              std::string::npos);
    // The system's programs by their full paths: none by a bare name, none from another folder.
    for (const std::string& line : lines)
      for (const char* bare : {"ping ", "reg ", "fc ", "cmd ", "cd "})
        EXPECT_NE(line.find(bare), 0u) << line;
  }

  struct Refused {
    std::vector<std::string> files;
    publish::TemplateOptions options;
    const char* message;
  } refused[] = {
      {{}, {publish::RegistryRoot::LocalMachine, "Kasse", 30}, "An update needs at least one file besides Update.bat."},
      {{"a.txt"}, {publish::RegistryRoot::LocalMachine, "", 30}, "The registry key \"\" cannot be written"},
      {{"a.txt"}, {publish::RegistryRoot::LocalMachine, "\\Kasse", 30}, "The registry key \"\\Kasse\" cannot be written"},
      {{"a.txt"}, {publish::RegistryRoot::LocalMachine, "K\xE4sse", 30}, "The registry key \"K\xE4sse\" cannot be written"},
      {{"a.txt"}, {publish::RegistryRoot::LocalMachine, "Kasse", 0}, "The wait for a locked file must be 1 to 600 seconds."},
      {{"a|b"}, {publish::RegistryRoot::LocalMachine, "Kasse", 30}, "The file name \"a|b\" cannot be a file of the program folder."},
      {{"a\x01" "b"}, {publish::RegistryRoot::LocalMachine, "Kasse", 30},
       "The file name \"a\x01" "b\" cannot be a file of the program folder."},
      // The batch would find either file through "Preis ?.txt".
      {{"Preis \x80.txt", "Preis $.txt"}, {publish::RegistryRoot::LocalMachine, "Kasse", 30},
       "The file name \"Preis \x80.txt\" has characters that the batch file can name only through the pattern "
       "\"Preis ?.txt\", which also matches \"Preis $.txt\"."},
      {{"Preis \x80.txt", "preis .TXT"}, {publish::RegistryRoot::LocalMachine, "Kasse", 30},
       "The file name \"Preis \x80.txt\" has characters"},  // "?" also matches nothing
      // "\x83" is in code page 850, but read byte for byte it is a control character.
      {{"\x83 x.txt", "a x.txt"}, {publish::RegistryRoot::LocalMachine, "Kasse", 30},
       "The file name \"\x83 x.txt\" has characters that the batch file can name only through the pattern "
       "\"??x.txt\", which also matches \"a x.txt\"."},
      {{"Updat\x80.bat"}, {publish::RegistryRoot::LocalMachine, "Kasse", 30},
       "The file name \"Updat\x80.bat\" has characters that the batch file can name only through the pattern "
       "\"Updat?.bat\", which also matches \"Update.bat\"."},
  };
  for (const Refused& r : refused) {
    try {
      publish::SafeUpdateTemplate(r.files, r.options);
      ADD_FAILURE() << "accepted: " << r.message;
    } catch (const EPublishError& e) {
      EXPECT_TRUE(base::StartsWith(e.Message(), r.message)) << e.Message();
    }
  }
}

}  // namespace
