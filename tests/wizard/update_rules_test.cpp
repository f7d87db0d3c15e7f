// The update road's pure rules: comma list, dates, news filter, progress texts, batch template,
// archive entry names.
#include "base/batch_template.h"
#include "base/zip_rules.h"
#include "wizard/update_rules.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/Exception.h"
#include "base/StrUtils.h"

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

TEST(UpdateRules, ShortDates) {
  struct Case {
    const char* picture;
    const char* text;
    double expected;  // 0 = no date
    bool list = false;  // read as a date of the update list
  } cases[] = {
      {"d.M.yyyy", "15.03.2003", Day(2003, 3, 15)},
      {"dd.MM.yyyy", "1.2.2003", Day(2003, 2, 1)},
      {"d.M.yyyy", " 15.03.2003 ", Day(2003, 3, 15)},
      {"d.M.yyyy", "15.03.03", Day(2003, 3, 15)},
      {"d.M.yyyy", "15.03.99", Day(1999, 3, 15)},
      {"d.M.yyyy", "15.03", Day(2026, 3, 15)},
      {"d.M.yyyy", "29.02.2004", Day(2004, 2, 29)},
      {"d.M.yyyy", "29.02.2003", 0},
      {"d.M.yyyy", "31.04.2003", 0},
      {"d.M.yyyy", "15/03/2003", 0},
      {"d.M.yyyy", "15.03.2003.", 0},
      {"d.M.yyyy", "15", 0},
      {"d.M.yyyy", "", 0},
      {"d.M.yyyy", "Version 2", 0},
      {"d.M.yyyy", "1.2.3.4", 0},
      {"d.M.yyyy", "99999999.1.2003", 0},
      {"M/d/yyyy", "3/15/2003", Day(2003, 3, 15)},
      {"yyyy-MM-dd", "2003-03-15", Day(2003, 3, 15)},
      // The list's dates: the user's reading first, then the form the publishing tool writes.
      {"M/d/yyyy", "03.04.2024", Day(2024, 4, 3), true},
      {"M/d/yyyy", "3.4.2024", Day(2024, 4, 3), true},
      {"M/d/yyyy", "3/4/2024", Day(2024, 3, 4), true},
      {"dd/MM/yyyy", "03.04.2024", Day(2024, 4, 3), true},
      {"yyyy-MM-dd", "15.03.2024", Day(2024, 3, 15), true},
      {"d.M.yyyy", "15.03.24", Day(2024, 3, 15), true},
      {"M.d.yyyy", "03.04.2024", Day(2024, 3, 4), true},   // the user's reading wins
      {"M.d.yyyy", "13.04.2024", Day(2024, 4, 13), true},  // which has no month 13
      {"M/d/yyyy", "15.03.24", 0, true},
      {"M/d/yyyy", "15.03", 0, true},
      {"M/d/yyyy", "31.02.2024", 0, true},
      {"M/d/yyyy", "003.04.2024", 0, true},
      {"M/d/yyyy", "3.4.02024", 0, true},
  };
  for (const Case& c : cases) {
    const ShortDateFormat format = ShortDateFormat::FromPicture(c.picture);
    auto got = c.list ? base::TryParseListDate(c.text, format, kToday) : base::TryParseShortDate(c.text, format, kToday);
    if (c.expected == 0) {
      EXPECT_FALSE(got) << c.picture << " " << c.text;
    } else {
      ASSERT_TRUE(got) << c.picture << " " << c.text;
      EXPECT_EQ(*got, c.expected) << c.picture << " " << c.text;
    }
  }
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

TEST(UpdateRules, TemplateLinesAndFormats) {
  EXPECT_EQ(Joined(base::SplitTemplateLines("a\r\nb\rc\nd")), "[a][b][c][d]");
  EXPECT_EQ(Joined(base::SplitTemplateLines("a\r\n")), "[a]");
  EXPECT_EQ(Joined(base::SplitTemplateLines("\r\n\r\n")), "[][]");
  EXPECT_EQ(Joined(base::SplitTemplateLines(std::string("a\r\nb\0c\r\nd", 9))), "[a][b]");
  EXPECT_EQ(Joined(base::SplitTemplateLines("\n\r")), "[][]");

  const std::vector<std::string> two = {"T\\", "P\\"};
  const std::string wide = "[" + std::string(1022, ' ') + "T\\]";
  const char* const tooWide = "ungültig: Breite und Genauigkeit dürfen höchstens 1024 betragen";
  struct Case {
    std::string line;
    const char* out;             // nullptr: an error
    const char* error = nullptr;  // what the message says after the line; the general text when null
  } cases[] = {
      {"copy %s*.* x", "copy T\\*.* x"},
      {"%1:s %0:s %s", "P\\ T\\ P\\"},
      {"%0:s%s", "T\\P\\"},
      {"echo %%PATH%% 100%%", "echo %PATH% 100%"},
      {"no placeholders", "no placeholders"},
      {"[%5s]", "[   T\\]"},
      {"[%-5s]", "[T\\   ]"},
      {"[%.1s]", "[T]"},
      {"[%1:-4.1s]", "[P   ]"},
      {"%S", "T\\"},
      {"%s %s %s", nullptr},
      {"%2:s", nullptr},
      {"%d", nullptr},
      {"50%", nullptr},
      {"%-", nullptr},
      {"[%1024s]", wide.c_str()},
      {"[%.1024s]", "[T\\]"},
      {"%1025s", nullptr, tooWide},
      {"%-1025s", nullptr, tooWide},
      {"%.1025s", nullptr, tooWide},
      {"%0:100000s", nullptr, tooWide},
      {"%999999999999999999999s", nullptr, tooWide},
      {"%1025:s", nullptr},
  };
  for (const Case& c : cases) {
    if (c.out) {
      EXPECT_EQ(base::FormatTemplateLine(c.line, two), c.out) << c.line;
    } else {
      try {
        base::FormatTemplateLine(c.line, two);
        ADD_FAILURE() << "no error for " << c.line;
      } catch (const base::EConvertError& e) {
        EXPECT_EQ(e.Message(), "Format '" + c.line + "' " + (c.error ? c.error : "ungültig oder nicht kompatibel mit Argument"));
      }
    }
  }
}

TEST(UpdateRules, UpdateBatchFromTemplate) {
  // Paths in OEM form: ä is 0x84 there.
  const std::string prog = "C:\\Programme\\Kasse\\", temp = "C:\\Temp\\M\x84rz\\", exe = prog + "Kasse.exe";
  const std::vector<std::string> eight = {"@echo off", ":a1 %s", "if exist %sKasse.exe goto a1",
                                          "copy %0:s*.* %1:s", "rem zwei", "cd %s", "echo %s",
                                          "copy %sx.dll %sx.dll"};
  // The last line removes the search folder with the batch in it, once the batch has ended.
  const std::string removal =
      "cd /d C:\\Temp\\ & start \"\" /b cmd /c \"ping -n 3 127.0.0.1 >nul & rd /s /q M\x84rz\"\r\n";
  std::string manyPaths;  // one line of 9 KB: 1,100 placeholders of 1,024 bytes each
  for (int i = 0; i < 1100; ++i) manyPaths += "%0:1024s";
  const char* const tooLarge = "Die Vorlage \"Update.bat\" ergibt eine Datei von mehr als 1024 KB";
  struct Case {
    std::vector<std::string> lines;
    bool restart;
    std::string batch;  // empty: an error
    const char* error = nullptr;  // the error's message, when it matters
  } cases[] = {
      {eight, true,
       "@echo off\r\n:a1 " + prog + "\r\nif exist " + prog + "Kasse.exe goto a1\r\ncopy " + temp + "*.* " + prog +
           "\r\nrem zwei\r\ncd " + prog + "\r\necho " + prog + "\r\ncopy " + temp + "x.dll " + prog + "x.dll\r\n\"" +
           exe + "\"\r\n" + removal},
      {{"@echo off", "a %s", "b %s", "c %s %s", " tail %s", "t2 %s%%x%%"}, false,
       "@echo off\r\na " + prog + "\r\nb " + prog + "\r\nc " + temp + " " + prog + "\r\n tail " + temp + "\r\nt2 " +
           temp + "%x%\r\n" + removal},
      {{" %s", "%s", "x", "%s"}, false,
       " " + temp + "\r\n" + temp + "\r\nx\r\n" + temp + "\r\n" + removal},
      {{"", "%s", "%s", "%s%s"}, false,
       "\r\n" + prog + "\r\n" + prog + "\r\n" + temp + prog + "\r\n" + removal},
      // Empty lines at the end are left out; an empty line 0 further on starts a group as well.
      {{"", "%s", "%s", "%s%s", "", "", ""}, false,
       "\r\n" + prog + "\r\n" + prog + "\r\n" + temp + prog + "\r\n" + removal},
      {{"a", "b", "c", "d", "", "%s", "x", "%s", ""}, false,
       "a\r\nb\r\nc\r\nd\r\n\r\n" + prog + "\r\nx\r\n" + temp + "\r\n" + removal},
      {{" %s", "", ""}, false, " " + temp + "\r\n" + removal},
      {{}, true, "", "Die Vorlage \"Update.bat\" ist leer"},
      {{"", ""}, true, "", "Die Vorlage \"Update.bat\" ist leer"},
      {{"a", "b", "c", "d", "", "x"}, true, "", "Die Vorlage \"Update.bat\" endet in einer unvollständigen Gruppe (Zeile 5)"},
      // A template of a few kilobytes that would make a batch of megabytes.
      {{" " + manyPaths}, false, "", tooLarge},
      {std::vector<std::string>(1100, " %1024s"), false, "", tooLarge},
      {{"a", "b", "c", manyPaths}, false, "", tooLarge},
      {{"a", "b", "c", "d", "e", "f"}, true, ""},         // last group short, no tail
      {{"a", "%s %s", "c", "d"}, true, ""},                // too many placeholders
      {{"a", "b", "c", "d", " tail %d"}, true, ""},        // another type
  };
  for (const Case& c : cases) {
    if (!c.batch.empty()) {
      EXPECT_EQ(base::BuildUpdateBatch(c.lines, prog, temp, c.restart, exe), c.batch) << Joined(c.lines);
    } else {
      try {
        base::BuildUpdateBatch(c.lines, prog, temp, c.restart, exe);
        ADD_FAILURE() << "no error for " << Joined(c.lines).substr(0, 80);
      } catch (const base::EConvertError& e) {
        if (c.error) EXPECT_EQ(e.Message(), c.error);
      }
    }
  }
}

TEST(UpdateRules, RemovalLineQuotesATempFolderWithBlanks) {
  struct Case {
    const char* path;
    const char* argument;
  } cases[] = {
      {"C:\\Temp\\Update.bat", "C:\\Temp\\Update.bat"},
      {"C:\\Temp\\M\x84rz\\Update.bat", "C:\\Temp\\M\x84rz\\Update.bat"},
      {"C:\\Dokumente und Einstellungen\\Update.bat", "\"C:\\Dokumente und Einstellungen\\Update.bat\""},
      {"C:\\A&B\\Update.bat", "\"C:\\A&B\\Update.bat\""},
      {"C:\\x(1)\\Update.bat", "\"C:\\x(1)\\Update.bat\""},
      {"C:\\a,b;c=d\\Update.bat", "\"C:\\a,b;c=d\\Update.bat\""},
  };
  for (const Case& c : cases) EXPECT_EQ(base::BatchPathArgument(c.path), c.argument);
  const std::string parent = "C:\\Dokumente und Einstellungen\\Hans\\Lokale Einstellungen\\Temp\\";
  const std::string temp = parent + "Trelk-Kasse-0000abcd\\";
  EXPECT_EQ(base::BuildUpdateBatch({" echo %s"}, "C:\\P\\", temp, false, "C:\\P\\p.exe"),
            " echo " + temp + "\r\ncd /d \"" + parent +
                "\" & start \"\" /b cmd /c \"ping -n 3 127.0.0.1 >nul & rd /s /q Trelk-Kasse-0000abcd\"\r\n");
  EXPECT_EQ(base::BuildUpdateBatch({" echo %s"}, "C:\\P\\", "C:\\A&B\\Tmp 1\\", false, "C:\\P\\p.exe"),
            " echo C:\\A&B\\Tmp 1\\\r\ncd /d \"C:\\A&B\\\" & start \"\" /b cmd /c \"ping -n 3 127.0.0.1 >nul & rd /s /q \"Tmp "
            "1\"\"\r\n");
}

TEST(UpdateRules, ExtractedNamesStayInTheFolder) {
  const std::string longName(300, 'a');
  struct Case {
    std::string entry;
    const char* name;  // nullptr: skipped
  } cases[] = {
      {"Kasse.exe", "Kasse.exe"},   {"bin/Kasse.exe", "Kasse.exe"}, {"a\\b\\Update.bat", "Update.bat"},
      {"../x", "x"},                {"sub\\..\\y", "y"},            {"/abs/z.txt", "z.txt"},
      {"C:evil", nullptr},          {"C:\\evil", "evil"},           {"sub/", nullptr},
      {"..", nullptr},              {"a/..", nullptr},              {".", nullptr},
      {"...", nullptr},             {"CON.txt", nullptr},           {"con", nullptr},
      {"Nul", nullptr},             {"NUL .txt", nullptr},          {"aux.", nullptr},
      {"COM1", nullptr},            {"lpt9.log", nullptr},          {"COM10", "COM10"},
      {"COM0", "COM0"},             {"CONSOLE.txt", "CONSOLE.txt"}, {"a\x01" "b", nullptr},
      {"what?.txt", nullptr},       {longName, longName.c_str()},   {"", nullptr},
      {"COM\xB9", nullptr},          {"lpt\xB3.log", nullptr},       {"Com\xB2 .txt", nullptr},
      {"COM\xC2\xB9", nullptr},      {"lpt\xC2\xB2.txt", nullptr},   {"bin/LPT\xC2\xB3", nullptr},
      {"COM\xB4", "COM\xB4"},        {"COM\xB9\xB9", "COM\xB9\xB9"}, {"LPT\xC2\xB9x", "LPT\xC2\xB9x"},
  };
  for (const Case& c : cases) {
    auto got = base::ExtractedName(c.entry);
    if (c.name) {
      ASSERT_TRUE(got) << c.entry;
      EXPECT_EQ(*got, c.name);
    } else {
      EXPECT_FALSE(got) << c.entry << " -> " << got.value_or("");
    }
  }
}

// Base64 as the key and the signature file carry it: the alphabet's vectors, and everything
// that must not be taken for a key or a signature (a second text for the same bytes included).
TEST(UpdateRules, Base64KeysAndSignatures) {
  struct Case {
    const char* text;
    const char* bytes;  // nullptr: refused
  } cases[] = {
      {"", ""},           {"Zg==", "f"},       {"Zm8=", "fo"},      {"Zm9v", "foo"},
      {"Zm9vYg==", "foob"}, {"Zm9vYmE=", "fooba"}, {"Zm9vYmFy", "foobar"}, {"+/+/", "\xFB\xFF\xBF"},
      {"Zg=", nullptr},   {"Zg", nullptr},     {"Zh==", nullptr},   {"Zm9=", nullptr},
      {"Zg==Zg==", nullptr}, {"Z===", nullptr}, {"====", nullptr},  {"Zm 9v", nullptr},
      {"Zm9v\n", nullptr}, {"Zm-v", nullptr},  {"Zm_v", nullptr},   {"Zm9v=", nullptr},
      {"Zm\xC4v", nullptr},
  };
  for (const Case& c : cases) {
    auto got = base::DecodeBase64(c.text);
    if (c.bytes) {
      ASSERT_TRUE(got) << c.text;
      EXPECT_EQ(*got, c.bytes) << c.text;
    } else {
      EXPECT_FALSE(got) << c.text;
    }
  }

  // 32 bytes 00 01 .. 1F and 64 bytes 00 .. 3F, as the publishing tool writes them.
  const std::string key = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=";
  const std::string signature =
      "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0+Pw==";
  std::string keyBytes, signatureBytes;
  for (int i = 0; i < 64; ++i) (i < 32 ? keyBytes : signatureBytes) += static_cast<char>(i);
  signatureBytes = keyBytes + signatureBytes;
  struct Text {
    std::string text;
    bool key, signature;  // accepted as a key / as a signature file
  } texts[] = {
      {key, true, false},
      {key + "\r\n", true, false},
      {"  " + key + " \t\n", true, false},
      {key.substr(0, 43), false, false},                           // no padding
      {"AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHg==", false, false},  // 31 bytes
      {"AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8g", false, false},  // 33 bytes
      {signature, false, true},
      {signature + "\r\n", false, true},
      {" " + signature + "\n\n", false, true},
      {signature.substr(0, 44) + "\r\n" + signature.substr(44), false, false},  // in two lines
      {signature + "\r\nx", false, false},
      {"", false, false},
      {"\r\n", false, false},
  };
  for (const Text& t : texts) {
    auto k = base::ParsePublicKey(t.text);
    auto s = base::ParseSignatureFile(t.text);
    EXPECT_EQ(k.has_value(), t.key) << t.text;
    EXPECT_EQ(s.has_value(), t.signature) << t.text;
    if (k) EXPECT_EQ(*k, keyBytes);
    if (s) EXPECT_EQ(*s, signatureBytes);
  }
}

TEST(UpdateRules, Sha256ValueNamesTheDigest) {
  std::string digest;
  for (int i = 0; i < 32; ++i) digest += static_cast<char>(i * 8 + 7);
  const std::string lower = base::HexText(digest);
  ASSERT_EQ(lower, "070f171f272f373f474f575f676f777f878f979fa7afb7bfc7cfd7dfe7eff7ff");
  std::string upper = lower, mixed = lower, otherLast = lower;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  for (size_t i = 0; i < mixed.size(); i += 3) mixed[i] = static_cast<char>(toupper(static_cast<unsigned char>(mixed[i])));
  otherLast.back() = 'e';
  struct Case {
    std::string value;
    bool matches;
  } cases[] = {
      {lower, true},           {upper, true},          {mixed, true},
      {otherLast, false},      {lower.substr(1), false}, {lower + "f", false},
      {lower.substr(0, 63) + "g", false}, {lower.substr(0, 31) + " " + lower.substr(32), false},
      {"", false},             {"0x" + lower.substr(2), false}, {std::string(64, '0'), false},
  };
  for (const Case& c : cases) EXPECT_EQ(base::Sha256ValueMatches(c.value, digest), c.matches) << c.value;
  EXPECT_FALSE(base::Sha256ValueMatches(lower, digest.substr(1))) << "a digest of another length";
}

// The verdicts of a program with a key: which list is read, which archive unpacked. The
// signature check itself is libsodium's; here it is a stand-in that records what it was given.
TEST(UpdateRules, SignedListAndArchiveVerdicts) {
  using wizard::Refusal;
  const std::string key = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=";
  const std::string signature = std::string(84, 'Q') + "Qw==";  // 64 bytes
  struct Case {
    const char* name;
    std::string keyText;
    bool found;
    std::string file;
    bool good;        // what the stand-in answers
    Refusal verdict;
    bool asked;       // the stand-in was called
  } cases[] = {
      {"verifies", key, true, signature + "\r\n", true, Refusal::None, true},
      {"does not verify", key, true, signature, false, Refusal::ListSignatureInvalid, true},
      {"error status for the signature", key, false, signature, true, Refusal::ListUnsigned, false},
      {"an empty signature file", key, true, "", true, Refusal::ListSignatureInvalid, false},
      {"an error page as signature", key, true, "<html>404</html>", true, Refusal::ListSignatureInvalid, false},
      {"a signature one byte short", key, true, std::string(84, 'Q'), true, Refusal::ListSignatureInvalid,
       false},
      {"a built-in key that is no key", "kein Schluessel", true, signature, true, Refusal::ListSignatureInvalid, false},
  };
  for (const Case& c : cases) {
    std::string gotKey, gotSignature;
    bool asked = false;
    const Refusal verdict =
        wizard::JudgeSignedList(c.keyText, c.found, c.file, [&](const std::string& k, const std::string& sig) {
          asked = true;
          gotKey = k;
          gotSignature = sig;
          return c.good;
        });
    EXPECT_EQ(verdict, c.verdict) << c.name;
    EXPECT_EQ(asked, c.asked) << c.name;
    if (asked) {
      EXPECT_EQ(gotKey, *base::DecodeBase64(key)) << c.name;
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
}

}  // namespace
