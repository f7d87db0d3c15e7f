// The update road's pure rules: comma list, the offer, news filter, progress texts and the
// verdicts of a program with a key.
#include "wizard/update_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "base/Exception.h"
#include "base/StrUtils.h"
#include "wizard/keep_rules.h"

namespace {

using base::ShortDateFormat;


double Day(int y, int m, int d) { return *base::TryEncodeDate(y, m, d); }

const double kToday = Day(2026, 12, 8);

std::string Joined(const std::vector<std::string>& items) {
  std::string s;
  for (const auto& i : items) s += "[" + i + "]";
  return s;
}

TEST(UpdateRules, CommaList) {
  struct Case {
    std::string value;
    const char* items;
  } cases[] = {
      {std::string("a\0b,c", 5), "[a]"},
      {std::string("a,\0", 3), "[a][]"},
      {std::string("\"x\0y\",z", 7), "[x]"},
      {"", ""},
      {"a,b", "[a][b]"},
      {"  a , b", "[a][b]"},
      {"\t\x01" "a", "[a]"},
      {"\"x y\",z", "[x y][z]"},
      {"\"a\"\"b\"", "[a\"b]"},
      {"\"open end", "[open end]"},
      {"a b", "[a][b]"},
      {"a,", "[a][]"},
      {"a, ", "[a]"},
      {",", "[][]"},
      {"a,,b", "[a][][b]"},
      {"1.2.2003:Neu,\"2.2.2003:Mit Blank\"", "[1.2.2003:Neu][2.2.2003:Mit Blank]"},
      {"\"q\"x", "[q][x]"},
  };
  for (const Case& c : cases) EXPECT_EQ(Joined(base::SplitCommaList(c.value)), c.items) << c.value;
}

TEST(UpdateRules, UpdateOfferedComparesTheValuesAsTheyAre) {
  using wizard::Refusal;
  const double yesterday = kToday - 1, noon = 0.5;
  const double installed2 = Day(2026, 11, 20) + noon;  // version 2.0, installed after the list of 1.3.2024
  struct Case {
    bool section;
    const char* date;
    double reference;
    bool offered;
    const char* picture = "d.M.yyyy";
    bool signedList = false;
    Refusal refusal = Refusal::None;
  } cases[] = {
      {true, "8.12.2026", yesterday, true},
      {true, "8.12.2026", kToday, true},
      {true, "8.12.2026", kToday + noon, false},  // same calendar day, reference after midnight
      {true, "7.12.2026", kToday, false},
      {true, "", kToday, true},                   // no date: today at midnight
      {true, "bald", kToday + noon, false},
      {true, "bald", yesterday + noon, true},
      {false, "1.1.2030", yesterday, false},
      // A list written in the published form, read on a computer with "M/d/yyyy".
      {true, "08.12.2026", kToday + noon, false, "M/d/yyyy"},  // the installed update is not offered again
      {true, "8.12.2026", yesterday + noon, true, "M/d/yyyy"},
      {true, "01.03.2024", installed2, false, "M/d/yyyy", true},  // a replayed old signed list
      {true, "09.12.2026", installed2, true, "M/d/yyyy", true},
      // With a key, a date that is not read refuses the list instead of counting as today.
      {true, "", installed2, false, "M/d/yyyy", true, Refusal::ListDateUnreadable},
      {true, "1.3.24", installed2, false, "M/d/yyyy", true, Refusal::ListDateUnreadable},
      {true, "bald", yesterday, false, "d.M.yyyy", true, Refusal::ListDateUnreadable},
      {false, "", yesterday, false, "d.M.yyyy", true},  // no section: nothing to refuse
  };
  for (const Case& c : cases) {
    const ShortDateFormat format = ShortDateFormat::FromPicture(c.picture);
    const wizard::ListVerdict verdict =
        wizard::JudgeListOffer(c.signedList, c.section, c.date, c.reference, format, kToday + 0.75);
    EXPECT_EQ(verdict.offered, c.offered) << c.date << " / " << c.reference;
    EXPECT_EQ(verdict.refusal, c.refusal) << c.date << " / " << c.reference;
    if (!c.signedList)
      EXPECT_EQ(wizard::UpdateOffered(c.section, c.date, c.reference, format, kToday + 0.75), c.offered) << c.date;
  }
}

TEST(UpdateRules, NewsListKeepsItemsFromTheReferenceDayOn) {
  const double reference = Day(2003, 3, 15) + 0.6;
  struct Case {
    std::optional<std::string> news;
    const char* text;
    const char* picture = "d.M.yyyy";
  } cases[] = {
      {std::nullopt, "- keine Angaben gefunden\r\n"},
      {std::string(""), ""},
      {std::string("14.03.2003:Alt,15.03.2003:Heute,16.03.2003:Neu"), "- 15.03.2003:Heute\r\n- 16.03.2003:Neu\r\n"},
      {std::string("\"16.03.2003:Mit Blank\""), "- 16.03.2003:Mit Blank\r\n"},
      // unquoted with blanks: falls apart; the pieces without a date part stay
      {std::string("16.03.2003:Neue Funktion"), "- 16.03.2003:Neue\r\n- Funktion\r\n"},
      {std::string("14.03.2003:Alt Fehler"), "- Fehler\r\n"},
      {std::string("Ohne Datum,:leer"), "- Ohne\r\n- Datum\r\n- :leer\r\n"},
      {std::string("Version 2:neu,bald:kommt"), "- Version\r\n- 2:neu\r\n- bald:kommt\r\n"},
      {std::string("\"keine Angaben gefunden\""), "- keine Angaben gefunden\r\n"},
      {std::string("14.03.2003:Alt,15.3.2003:Heute,3/16/2003:Neu"), "- 15.3.2003:Heute\r\n- 3/16/2003:Neu\r\n",
       "M/d/yyyy"},
      {std::string("14.03.2003:Alt,3/14/2003:Alt"), "", "M/d/yyyy"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(wizard::NewsListText(c.news, reference, ShortDateFormat::FromPicture(c.picture), kToday), c.text);
}

TEST(UpdateRules, ProgressTexts) {
  const int64_t kTB = 1024LL * 1024 * 1024 * 1024;
  struct Case {
    int64_t bytes;
    const char* text;
  } sizes[] = {
      {0, "0 Byte"},           {1023, "1023 Byte"},   {1024, "1 KB"},           {1536, "1,5 KB"},
      {10137, "9,9 KB"},       {10199, "9,96 KB"},    {1048575, "1024 KB"},     {1048576, "1 MB"},
      {20000000, "19,1 MB"},   {kTB * 1024, "1024 TB"}, {kTB * 1024 * 1024, "1048576 TB"},
  };
  for (const Case& c : sizes) EXPECT_EQ(wizard::FormatSize(c.bytes, 1, ','), c.text) << c.bytes;
  EXPECT_EQ(wizard::FormatSize(1536, 1, '.'), "1.5 KB");

  struct Percent {
    int64_t received, expected;
    const char* text;
  } percents[] = {{0, 0, "100 %"}, {500, 0, "100 %"}, {50, 200, "25 %"}, {1, 3, "33 %"},
                  {2, 3, "67 %"},  {300, 200, "150 %"}, {20000000, 20000000, "100 %"},
                  {3000000000LL, 6000000000LL, "50 %"}};
  for (const Percent& p : percents) EXPECT_EQ(wizard::PercentText(p.received, p.expected), p.text);

  EXPECT_EQ(wizard::RemainingDays(100, 25, 0, 0.01, 0.01), 0);       // no start time
  EXPECT_EQ(wizard::RemainingDays(100, 0, 0.3, 0.01, 0.01), 0);      // nothing received yet
  EXPECT_DOUBLE_EQ(wizard::RemainingDays(100, 25, 0.3, 0.01, 0.01), 0.03);
  EXPECT_LT(wizard::RemainingDays(0, 25, 0.3, 0.01, 0.01), 0);       // no length: minus the elapsed time

  const double second = 1.0 / 86400;
  struct Clock {
    double days;
    const char* picture;
    const char* text;
  } clocks[] = {
      {0, "HH:mm:ss", "00:00:00"},
      {-0.25, "HH:mm:ss", "00:00:00"},  // across midnight
      {std::nan(""), "HH:mm:ss", "00:00:00"},
      {3601.4 * second, "HH:mm:ss", "01:00:01"},
      {1, "HH:mm:ss", "24:00:00"},
      {25.0 / 24, "HH:mm:ss", "25:00:00"},  // counts on instead of "01:00:00"
      {1000 + 0.5, "HH:mm:ss", "24012:00:00"},
      {25.0 / 24 + 61 * second, "h:mm:ss tt", "25:01:01"},
      {90 * second, "h:mm:ss tt", "0:01:30"},
      {90 * second, "H.mm.ss", "0.01.30"},
      {90 * second, "", "00:01:30"},
  };
  for (const Clock& c : clocks)
    EXPECT_EQ(wizard::RemainingTimeText(c.days, wizard::TimeFormat::FromPicture(c.picture)), c.text)
        << c.days << " " << c.picture;
}

// The verdicts of a program with a key: which list is read, which archive unpacked. The
// signature check itself is libsodium's; here it is a stand-in that records what it was given.
TEST(UpdateRules, SignedListAndArchiveVerdicts) {
  using wizard::Refusal;
  const std::string key = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=";
  const std::string signature = std::string(84, 'Q') + "Qw==";  // 64 bytes
  const std::string backup = "ICEiIyQlJicoKSorLC0uLzAxMjM0NTY3ODk6Ozw9Pj8=", third = std::string(43, 'B') + "=";
  const std::string keyId = base::KeyId(*base::DecodeBase64(key));
  struct Case {
    const char* name;
    std::string keyText;
    bool found;
    std::string file;
    bool good;        // what the stand-in answers
    Refusal verdict;
    bool asked;       // the stand-in was called
    std::vector<std::string> retired = {};
  } cases[] = {
      {"verifies", key, true, signature + "\r\n", true, Refusal::None, true},
      {"does not verify", key, true, signature, false, Refusal::ListSignatureInvalid, true},
      {"error status for the signature", key, false, signature, true, Refusal::ListUnsigned, false},
      {"an empty signature file", key, true, "", true, Refusal::ListSignatureInvalid, false},
      {"an error page as signature", key, true, "<html>404</html>", true, Refusal::ListSignatureInvalid, false},
      {"a signature one byte short", key, true, std::string(84, 'Q'), true, Refusal::ListSignatureInvalid,
       false},
      {"a built-in key that is no key", "kein Schluessel", true, signature, true, Refusal::ListSignatureInvalid, false},
      // Root keys: the first that is no key spoils both; a third is none a program carries.
      {"two root keys, the second verifies", key + "," + backup, true, signature, true, Refusal::None, true},
      {"two root keys, the first no key", "kein," + key, true, signature, true, Refusal::ListSignatureInvalid, false},
      {"three root keys", key + "," + backup + "," + third, true, signature, true, Refusal::ListSignatureInvalid,
       false},
      {"the one root key retired", key, true, signature, true, Refusal::ListSignatureInvalid, false, {keyId}},
  };
  for (const Case& c : cases) {
    std::string gotKey, gotSignature;
    bool asked = false;
    // The stand-in takes the last key it is asked with: with two, that is the backup.
    const Refusal verdict = wizard::JudgeSignedList(
        c.keyText, c.found, c.file,
        [&](const std::string& k, const std::string& sig) {
          asked = true;
          gotKey = k;
          gotSignature = sig;
          return c.good && (c.keyText.find(',') == std::string::npos || k == *base::DecodeBase64(backup));
        },
        c.retired);
    EXPECT_EQ(verdict, c.verdict) << c.name;
    EXPECT_EQ(asked, c.asked) << c.name;
    if (asked) {
      EXPECT_EQ(gotKey, *base::DecodeBase64(c.keyText.find(',') == std::string::npos ? key : backup)) << c.name;
      EXPECT_EQ(gotSignature, *base::ParseSignatureFile(c.file)) << c.name;
    }
  }

  const std::string digest(32, '\x5A');
  const std::string hex = base::HexText(digest);
  struct Archive {
    std::string value;
    std::optional<std::string> digest;
    Refusal verdict;
  } archives[] = {
      {hex, digest, Refusal::None},
      {"", digest, Refusal::ArchiveUnchecked},
      {"", std::nullopt, Refusal::ArchiveUnchecked},
      {hex, std::nullopt, Refusal::ArchiveDamaged},
      {hex, std::string(32, '\x5B'), Refusal::ArchiveDamaged},
      {"ja", digest, Refusal::ArchiveDamaged},
  };
  for (const Archive& a : archives)
    EXPECT_EQ(wizard::JudgeArchive(a.value, a.digest), a.verdict) << a.value << " " << a.digest.has_value();

  // Serial, expiry and "Size" of a signed list against the serial the program stored.
  using Stored = std::optional<std::uint32_t>;
  using Size = std::optional<std::string>;
  struct Fresh {
    const char* name;
    wizard::ListFreshness list;
    Refusal verdict;
    Stored store;                        // the serial written to the program key
    std::optional<std::int64_t> size;
  } fresh[] = {
      {"an old list, never a serial seen", {false, "", "", Size(), Stored()}, Refusal::None, {}, {}},
      {"an old list after a serial", {false, "", "", Size(), Stored(1)}, Refusal::ListWithoutSerial, {}, {}},
      {"the first serial", {true, "1", "08.12.2026", Size("2048"), Stored()}, Refusal::None, Stored(1), 2048},
      {"a higher serial", {true, " 8 ", "31.12.2027", Size(), Stored(7)}, Refusal::None, Stored(8), {}},
      {"the same list again", {true, "7", "31.12.2027", Size(), Stored(7)}, Refusal::None, {}, {}},
      {"a replayed list", {true, "6", "31.12.2027", Size(), Stored(7)}, Refusal::ListReplayed, {}, {}},
      {"the highest serial", {true, "4294967295", "31.12.2027", Size(), Stored(4294967294u)},
       Refusal::None, Stored(4294967295u), {}},
      {"expired yesterday", {true, "9", "07.12.2026", Size(), Stored(7)}, Refusal::ListExpired, {}, {}},
      {"good today", {true, "9", "08.12.2026", Size(), Stored()}, Refusal::None, Stored(9), {}},
      // Read as the tool writes it, whatever the computer's format: on a month-first computer
      // "12.11.2026" would be 11 December.
      {"expired on 12 November", {true, "9", "12.11.2026", Size(), Stored()}, Refusal::ListExpired, {}, {}},
      {"a serial past 32 bits", {true, "4294967296", "31.12.2027", Size(), Stored()},
       Refusal::ListValueUnreadable, {}, {}},
      {"serial 0", {true, "0", "31.12.2027", Size(), Stored()}, Refusal::ListValueUnreadable, {}, {}},
      {"a negative serial", {true, "-3", "31.12.2027", Size(), Stored()}, Refusal::ListValueUnreadable, {}, {}},
      {"no serial", {true, "", "31.12.2027", Size(), Stored()}, Refusal::ListValueUnreadable, {}, {}},
      {"no expiry", {true, "3", "", Size(), Stored()}, Refusal::ListValueUnreadable, {}, {}},
      {"a size that is no number", {true, "3", "31.12.2027", Size("1e6"), Stored()},
       Refusal::ListValueUnreadable, {}, {}},
      {"an empty size", {false, "", "", Size(""), Stored()}, Refusal::ListValueUnreadable, {}, {}},
  };
  for (const Fresh& f : fresh) {
    const wizard::FreshnessVerdict v =
        wizard::JudgeListFreshness(f.list, kToday + 0.75);
    EXPECT_EQ(v.refusal, f.verdict) << f.name;
    EXPECT_EQ(v.serial, f.store) << f.name;
    EXPECT_EQ(v.size, f.size) << f.name;
  }

  // The download's end against "Size".
  using Bytes = std::optional<std::int64_t>;
  EXPECT_EQ(wizard::JudgeDownloadSize(Bytes(), false, 12345), Refusal::None);  // no "Size": as before
  EXPECT_EQ(wizard::JudgeDownloadSize(Bytes(2048), false, 2048), Refusal::None);
  EXPECT_EQ(wizard::JudgeDownloadSize(Bytes(2048), false, 2047), Refusal::ArchiveSizeWrong);
  EXPECT_EQ(wizard::JudgeDownloadSize(Bytes(2048), true, 2048), Refusal::ArchiveSizeWrong);  // stopped at the limit
  EXPECT_EQ(wizard::JudgeDownloadSize(Bytes(2048), false, -1), Refusal::ArchiveSizeWrong);
}

}  // namespace

// The share of a rollout by its day, and which drawn numbers it holds back: 0 and 100 at the
// edges, the doubling by weeks, and every value a maker can mistype read as 0.
TEST(UpdateRules, RolloutShareByDate) {
  using wizard::RolloutValues;
  const std::optional<std::string> none;
  auto S = [](const char* text) { return std::optional<std::string>(text); };
  struct Case {
    RolloutValues values;
    double today;
    int share;
  };
  const double start = Day(2026, 12, 1);
  const Case cases[] = {
      {{none, none, none}, kToday, 100},                         // a list as always: no restriction
      {{S("0"), none, none}, kToday, 0},                         // stopped
      {{S("100"), none, none}, kToday, 100},
      {{S(" 20 "), none, none}, kToday, 20},                     // no start: as given, for ever
      {{S("20"), S("01.12.2026"), none}, start, 20},             // the first week
      {{S("20"), S("01.12.2026"), none}, start + 7, 40},         // doubled each week
      {{S("20"), S("1.12.2026"), none}, start + 14.5, 80},
      {{S("20"), S("01.12.2026"), none}, start + 21, 100},       // and never beyond all
      {{S("1"), S("01.12.2026"), none}, start + 7000, 100},
      {{S("0"), S("01.12.2026"), none}, start + 700, 0},         // a stopped rollout stays stopped
      {{S("20"), S("01.12.2026"), none}, start - 0.5, 0},        // before its day: nobody
      {{S("101"), none, none}, kToday, 0},                       // mistyped: the safe reading
      {{S("20%"), none, none}, kToday, 0},
      {{S("20"), S("2026-12-01"), none}, kToday, 0},             // a start that is no date
      {{S("0"), S("01.12.2026"), S("1")}, kToday, 100},          // critical: everybody at once
      {{S("0"), none, S("ja")}, kToday, 0},                      // only "1" is critical
      {{none, none, S("0")}, kToday, 100},
  };
  for (const Case& c : cases) {
    const std::string what = c.values.rollout.value_or("-") + "/" + c.values.start.value_or("-") + "/" +
                             c.values.critical.value_or("-") + " at " + std::to_string(c.today - kToday);
    const int share = wizard::RolloutShare(c.values, c.today);
    EXPECT_EQ(share, c.share) << what;
    // The numbers below the share take it, the rest wait: 0 and 99 are the edges.
    EXPECT_EQ(wizard::RolloutHoldsBack(c.values, 0, c.today), share == 0) << what;
    EXPECT_EQ(wizard::RolloutHoldsBack(c.values, 99, c.today), share < 100) << what;
    if (share > 0 && share < 100) {
      EXPECT_FALSE(wizard::RolloutHoldsBack(c.values, share - 1, c.today)) << what;
      EXPECT_TRUE(wizard::RolloutHoldsBack(c.values, share, c.today)) << what;
    }
  }
}

// A skipped version against the offers that come after it: older and the same are covered, a
// later day or another archive on the same day is newer, a renewed list is the same version.
TEST(UpdateRules, SkipComparison) {
  using wizard::SkippedVersion;
  const double d = Day(2026, 11, 20);
  const std::string a(64, 'a'), b(64, 'b'), upperA(64, 'A');
  struct Case {
    std::optional<SkippedVersion> skipped;
    double listDate;
    std::string listSha;
    bool covered;
  };
  const Case cases[] = {
      {std::nullopt, d, "", false},             // nothing skipped: as always
      {SkippedVersion{d, ""}, d, "", true},     // the skipped list again (or renewed)
      {SkippedVersion{d + 0.5, ""}, d, "", true},
      {SkippedVersion{d, ""}, d - 30, "", true},  // an older list served again
      {SkippedVersion{d, ""}, d + 1, "", false},  // a newer version
      {SkippedVersion{d, a}, d, a, true},
      {SkippedVersion{d, a}, d, upperA, true},
      {SkippedVersion{d, a}, d, b, false},        // another archive published the same day
      {SkippedVersion{d, a}, d, "", true},        // nothing to tell them apart by
      {SkippedVersion{d, a}, d - 1, b, true},     // older, whatever its archive
      {SkippedVersion{d, a}, d + 1, a, false},
      {SkippedVersion{d, a}, d, a.substr(1), false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(wizard::SkipCovers(c.skipped, c.listDate, c.listSha), c.covered)
        << (c.skipped ? std::to_string(c.skipped->date - d) + "/" + c.skipped->sha256.substr(0, 1) : "none") << " vs "
        << c.listDate - d << "/" << c.listSha.substr(0, 1);
  // An offer without a readable date is dated today, as the check reads it.
  const ShortDateFormat dmy{ShortDateFormat::DMY, '.'};
  EXPECT_EQ(wizard::OfferDate("", dmy, kToday + 0.3), kToday);
  EXPECT_EQ(wizard::OfferDate("20.11.2026", dmy, kToday), d);
  EXPECT_EQ(wizard::OfferDate("irgendwann", dmy, kToday), kToday);
}

// The kept version's list: what a restore reads from a folder another process may have written.
TEST(UpdateRules, KeepListRoundTripAndRefusals) {
  const std::string a(64, 'a'), b = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
  const wizard::KeepList list{{{"Notizkasten.exe", a}, {"M\xFCller & 100 %.dat", b}}, {"neu.dll"}};
  const std::string text = wizard::KeepListText(list);
  EXPECT_EQ(text, "K " + a + " Notizkasten.exe\r\nK " + b + " M\xFCller & 100 %.dat\r\nN neu.dll\r\n");
  const auto back = wizard::ReadKeepList(text);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->kept.size(), 2u);
  EXPECT_EQ(back->kept[1].name, "M\xFCller & 100 %.dat");
  EXPECT_EQ(back->kept[1].sha256, b);
  ASSERT_EQ(back->added.size(), 1u);
  EXPECT_EQ(back->added[0], "neu.dll");
  struct Case {
    const char* name;
    std::string text;
  } refused[] = {
      {"empty", ""},
      {"added files only", "N neu.dll\r\n"},
      {"last line without CR LF", "K " + a + " x.exe"},
      {"upper-case checksum", "K " + std::string(64, 'A') + " x.exe\r\n"},
      {"short checksum", "K " + a.substr(1) + " x.exe\r\n"},
      {"another kind of line", "D " + a + " x.exe\r\n"},
      {"a path up", "K " + a + " ..\\x.exe\r\n"},
      {"a drive", "K " + a + " C:x.exe\r\n"},
      {"a device", "K " + a + " con.txt\r\n"},
      {"a device with digit", "K " + a + " LPT1\r\n"},
      {"a trailing dot", "K " + a + " x.exe.\r\n"},
      {"a control character", "K " + a + " x\x01.exe\r\n"},
      {"the list itself", "K " + a + " trelk-vorher.TXT\r\n"},
      {"a name twice, other case", "K " + a + " x.exe\r\nN X.EXE\r\n"},
      {"no name", "K " + a + " \r\n"},
      {"too long", "K " + a + " " + std::string(201, 'x') + "\r\n"},
  };
  for (const Case& c : refused) EXPECT_FALSE(wizard::ReadKeepList(c.text)) << c.name;
}

TEST(UpdateRules, PreviousVersionStates) {
  using S = wizard::PreviousVersion::State;
  const std::string sha(64, 'c');
  struct Case {
    std::string text;
    bool read;
    S state = S::Pending;
    double date = 0;
    std::string sha256;
  } cases[] = {
      {"pending|46000|" + sha, true, S::Pending, 46000, sha},
      {"ok|46000|", true, S::Kept, 46000, ""},
      {"restoring|2958465|" + sha, true, S::Restoring, 2958465, sha},
      {"ok|0|", false},
      {"ok|2958466|", false},
      {"ok|46000", false},
      {"OK|46000|", false},
      {"ok|46000|" + sha.substr(1), false},
      {"ok|4.5e4|", false},
      {"", false},
  };
  for (const Case& c : cases) {
    const auto read = wizard::ReadPreviousVersion(c.text);
    ASSERT_EQ(static_cast<bool>(read), c.read) << c.text;
    if (!read) continue;
    EXPECT_EQ(read->state, c.state) << c.text;
    EXPECT_EQ(read->date, c.date) << c.text;
    EXPECT_EQ(read->sha256, c.sha256) << c.text;
    EXPECT_EQ(wizard::PreviousVersionText(*read), c.text) << "round trip";
  }
  // What an installation's outcome makes of it: only a whole installation makes the keep the
  // previous version; only a whole restore ends it; a failed restore leaves it restorable.
  struct After {
    S state;
    bool installed;
    std::optional<S> next;
  } after[] = {
      {S::Pending, true, S::Kept},    {S::Pending, false, std::nullopt}, {S::Restoring, true, std::nullopt},
      {S::Restoring, false, S::Kept}, {S::Kept, true, std::nullopt},     {S::Kept, false, S::Kept},
  };
  for (const After& c : after)
    EXPECT_EQ(wizard::PreviousStateAfter(c.state, c.installed), c.next) << c.state << " " << c.installed;
}
