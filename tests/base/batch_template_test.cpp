// The batch template: its lines, its placeholders, the batch made of its groups and the lines
// that end it.
#include "base/batch_template.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Exception.h"

namespace {

std::string Joined(const std::vector<std::string>& items) {
  std::string s;
  for (const auto& i : items) s += "[" + i + "]";
  return s;
}

TEST(BatchTemplate, TemplateLinesAndFormats) {
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

TEST(BatchTemplate, UpdateBatchFromTemplate) {
  // Paths in OEM form: ä is 0x84 there.
  const std::string prog = "C:\\Programme\\Kasse\\", temp = "C:\\Temp\\M\x84rz\\", exe = prog + "Kasse.exe";
  const std::vector<std::string> eight = {"@echo off", ":a1 %s", "if exist %sKasse.exe goto a1",
                                          "copy %0:s*.* %1:s", "rem zwei", "cd %s", "echo %s",
                                          "copy %sx.dll %sx.dll"};
  // The last line deletes the batch itself.
  const std::string removal = "del C:\\Temp\\M\x84rz\\Update.bat\r\n";
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
      // Empty lines at the end are lines of the template where they complete a group or stand in
      // the tail; only where they alone cut the last group short are they left out.
      {{"", "%s", "%s", "%s%s", "", "", ""}, false,
       "\r\n" + prog + "\r\n" + prog + "\r\n" + temp + prog + "\r\n" + removal},
      {{"a", "b", "c", "d", "", "%s", "x", "%s", ""}, false,
       "a\r\nb\r\nc\r\nd\r\n\r\n" + prog + "\r\nx\r\n" + temp + "\r\n" + removal},
      {{"a", "%s", "b", "%s", "", "", "", ""}, false,
       "a\r\n" + prog + "\r\nb\r\n" + temp + "\r\n\r\n\r\n\r\n\r\n" + removal},
      {{" %s", "", ""}, false, " " + temp + "\r\n\r\n\r\n" + removal},
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

TEST(BatchTemplate, EndingQuotesFoldersWithBlanks) {
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
            " echo " + temp + "\r\ndel \"" + temp + "Update.bat\"\r\n");
  // With the system folder the folder goes two seconds after the batch, removed by the system's
  // own programs named by their full paths: by "rd" where only administrators can write it, by
  // the program itself (which follows no link) otherwise.
  const std::string system = "C:\\Win Dir\\system32\\", admins = "C:\\Win Dir\\Temp\\Trelk-Kasse-0000abcd\\";
  const std::string start = "cd /d \"C:\\Win Dir\\system32\\\" & start \"\" /b \"C:\\Win Dir\\system32\\cmd.exe\" /d /c "
                            "\"\"C:\\Win Dir\\system32\\ping.exe\" -n 3 127.0.0.1 >nul & ";
  EXPECT_EQ(base::BuildUpdateBatch({" echo %s"}, "C:\\P\\", admins, false, "C:\\P\\p.exe", system, true),
            " echo " + admins + "\r\n" + start + "rd /s /q \"C:\\Win Dir\\Temp\\Trelk-Kasse-0000abcd\"\"\r\ndel \"" +
                admins + "Update.bat\"\r\n");
  EXPECT_EQ(base::BuildUpdateBatch({" echo %s"}, "C:\\P\\", temp, true, "C:\\P\\p.exe", system),
            " echo " + temp + "\r\n\"C:\\P\\p.exe\"\r\n" + start + "\"C:\\P\\p.exe\" /trelk-cleanup\"\r\ndel \"" + temp +
                "Update.bat\"\r\n");
}


}  // namespace
