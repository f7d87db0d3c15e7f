// The engine's start rules: the first argument, the recorded start command, the drive test and
// the decision table of the start, and the update server a maker sets for testing.
#include "engine/engine_rules.h"

#include <gtest/gtest.h>

namespace {

using engine::CommandLineArgument;

TEST(EngineRules, CommandLineArgumentsAsTheStartUpReadsThem) {
  struct Case {
    const char* line;
    int index;
    const char* expected;
  } cases[] = {
      {"\"C:\\Programme\\Notiz kasten\\N.exe\" /uninstall", 1, "/uninstall"},
      {"\"C:\\Programme\\Notiz kasten\\N.exe\" /uninstall", 0, "C:\\Programme\\Notiz kasten\\N.exe"},
      {"N.exe /Uninstall", 1, "/Uninstall"},
      {"N.exe \"/uninstall\"", 1, "/uninstall"},       // quotes group and are dropped
      {"N.exe /un\"inst\"all", 1, "/uninstall"},
      {"N.exe \"/uninstall extra\"", 1, "/uninstall extra"},
      {"N.exe\t/uninstall", 1, "/uninstall"},          // control characters separate too
      {"N.exe   a   b", 2, "b"},
      {"N.exe a", 2, ""},
      {"N.exe", 1, ""},
      {"N.exe ", 1, ""},
      {"", 0, ""},
      {"N.exe \"\" /uninstall", 1, "/uninstall"},      // a leading empty pair is skipped
      {"N.exe \"unclosed arg", 1, "unclosed arg"},
      {"N.exe /uninstall2", 1, "/uninstall2"},
  };
  for (const Case& c : cases) EXPECT_EQ(CommandLineArgument(c.line, c.index), c.expected) << c.line << " #" << c.index;
}

TEST(EngineRules, ApplicationFileNameKeepsThePathOneItem) {
  EXPECT_EQ(engine::ApplicationFileNameValue("C:\\Prog Files\\N.exe", ""), "\"C:\\Prog Files\\N.exe\"");
  EXPECT_EQ(engine::ApplicationFileNameValue("C:\\N.exe", "/x \"y z\""), "\"C:\\N.exe\" /x \"y z\"");
  EXPECT_EQ(engine::ApplicationFileNameValue("C:\\N.exe", " "), "\"C:\\N.exe\"  ");  // unchanged
  EXPECT_EQ(engine::ApplicationFileNameValue("C:\\Übersicht\\N.exe", ""), "\"C:\\Übersicht\\N.exe\"");
}

TEST(EngineRules, DriveTest) {
  const bool allowed[] = {false, false, true, true, true, false, true, false};
  for (unsigned type = 0; type < 8; ++type) EXPECT_EQ(engine::DriveAllowsSearch(type), allowed[type]) << type;
  EXPECT_EQ(engine::DriveRootOf("C:\\Programme\\N.exe"), "C:\\");
  EXPECT_EQ(engine::DriveRootOf("\\\\server\\share\\N.exe"), "\\\\s");
  EXPECT_EQ(engine::DriveRootOf("N"), "N");
}

TEST(EngineRules, WhenTheWizardOpens) {
  const int32_t today = 37696;  // 15.03.2003
  struct Case {
    bool manual, onlyUpdate, noUpdate;
    std::optional<double> stored;
    bool opens;
  } cases[] = {
      {false, false, false, std::nullopt, true},  // no "Update": yesterday, due
      {false, false, false, today, false},
      {false, false, false, today - 1, true},
      {false, false, false, today - 0.5, true},    // a date with a time of day before today
      {false, false, false, today + 0.5, false},
      {false, false, false, today + 30, false},
      {false, false, true, today - 400, false},    // "NoUpdate": never at a normal start
      {false, false, true, std::nullopt, false},
      {true, false, true, today - 400, true},      // Ctrl+U
      {true, false, false, today + 30, true},
      {false, true, true, today + 30, true},       // update-only start
      {false, true, false, today, true},
  };
  for (const Case& c : cases) {
    double last = engine::LastReminderDate(c.stored, today);
    EXPECT_EQ(engine::WizardOpens(c.manual, c.onlyUpdate, c.noUpdate, today, last), c.opens)
        << c.manual << c.onlyUpdate << c.noUpdate << " " << (c.stored ? *c.stored - today : -999);
  }
  EXPECT_EQ(engine::LastReminderDate(std::nullopt, today), today - 1);
  EXPECT_EQ(engine::EffectiveReferenceDate(0, 37000.5), 37000.5);
  EXPECT_EQ(engine::EffectiveReferenceDate(36000.25, 37000.5), 36000.25);
}

// The outcome as a planted or damaged value may read it (the registry table of the component's
// tests has each reason and its message): nothing to tell, installed, or failed with a file name
// only when it is one.
TEST(EngineRules, OutcomeOfTheLastInstallation) {
  using engine::UpdateOutcome;
  const UpdateOutcome::Kind N = UpdateOutcome::Nothing, I = UpdateOutcome::Installed, F = UpdateOutcome::Failed;
  struct Case {
    std::string value;
    UpdateOutcome::Kind kind;
    std::string file;
    UpdateOutcome::Reason reason;
  } cases[] = {
      {"|ok", I, "", UpdateOutcome::Unknown},
      {"x|ok|N.exe|copy", I, "", UpdateOutcome::Unknown},  // "ok" decides
      {"x|OK", F, "", UpdateOutcome::Unknown},             // compared exactly: not "ok"
      {"x|failed|N.exe|copy", F, "N.exe", UpdateOutcome::Copy},
      {"x|failed|N.exe|Copy", F, "N.exe", UpdateOutcome::Unknown},
      {"x|failed|N.exe|copy|more", F, "N.exe", UpdateOutcome::Copy},
      {"x|failed|N.exe", F, "N.exe", UpdateOutcome::Unknown},
      {"x|failed||copy", F, "", UpdateOutcome::Copy},
      {"x|", F, "", UpdateOutcome::Unknown},
      {"x|failed|Daten & Übersicht (alt) 100%.dat|copy", F, "Daten & Übersicht (alt) 100%.dat", UpdateOutcome::Copy},
      // A name that is no file name of the folder is not shown.
      {"x|failed|..\\..\\Windows\\x.dll|copy", F, "", UpdateOutcome::Copy},
      {"x|failed|C:x.dll|copy", F, "", UpdateOutcome::Copy},
      {"x|failed|a/b|copy", F, "", UpdateOutcome::Copy},
      {"x|failed|\"N.exe\"|copy", F, "", UpdateOutcome::Copy},
      {"x|failed|..|copy", F, "", UpdateOutcome::Copy},
      {"x|failed|" + std::string(260, 'a') + "|copy", F, "", UpdateOutcome::Copy},
      {"x|failed|" + std::string(259, 'a') + "|copy", F, std::string(259, 'a'), UpdateOutcome::Copy},
      // Nothing that can be read.
      {"", N, "", UpdateOutcome::Unknown},
      {"x|failed|N.exe\r\n|copy", N, "", UpdateOutcome::Unknown},
      {std::string("x|failed|N\0.exe|copy", 20), N, "", UpdateOutcome::Unknown},
      {"x|failed|" + std::string(2048, 'a'), N, "", UpdateOutcome::Unknown},
      // An unattended run's own record: read by its script, deleted by the next start in silence.
      {"09.12.2026 12:00:00|unattended|4|administrator", N, "", UpdateOutcome::Unknown},
      {engine::UnattendedResultValue("x", engine::UnattendedExit::Failed, "refused\r\n2"), N, "", UpdateOutcome::Unknown},
      {engine::UnattendedResultValue("x", engine::UnattendedExit::Failed, std::string(3000, 'a')), N, "",
       UpdateOutcome::Unknown},
  };
  for (const Case& c : cases) {
    const UpdateOutcome o = engine::ReadUpdateOutcome(c.value);
    EXPECT_EQ(o.kind, c.kind) << c.value;
    EXPECT_EQ(o.fileName, c.file) << c.value;
    EXPECT_EQ(o.reason, c.reason) << c.value;
    EXPECT_EQ(engine::UpdateFailedText(o).empty(), c.kind != F) << c.value;
  }
}

TEST(EngineRules, UnattendedRunsSwitchAndExitCodes) {
  for (const char* arg : {"/UpdateSilent", "/updatesilent"}) EXPECT_TRUE(engine::IsUnattendedArgument(arg)) << arg;
  for (const char* arg : {"", "/UpdateSilent ", "UpdateSilent", "/UpdateSilen", "-UpdateSilent", "/UpdateSilentX"})
    EXPECT_FALSE(engine::IsUnattendedArgument(arg)) << arg;
  using engine::UnattendedExit;
  EXPECT_EQ(engine::UnattendedResultValue("d t", UnattendedExit::NeedsAdministrator, ""), "d t|unattended|4|administrator");
  EXPECT_EQ(engine::UnattendedResultValue("d", UnattendedExit::Pinned, "x"), "d|unattended|6|pinned|x");
  // What the batch recorded decides; a batch that records nothing is judged by the program file.
  engine::UpdateOutcome ok, failed, none;
  ok.kind = engine::UpdateOutcome::Installed;
  failed.kind = engine::UpdateOutcome::Failed;
  EXPECT_EQ(engine::UnattendedExitFor(ok, true), UnattendedExit::Installed);
  EXPECT_EQ(engine::UnattendedExitFor(failed, true), UnattendedExit::Failed);
  EXPECT_EQ(engine::UnattendedExitFor(none, true), UnattendedExit::Installed);
  EXPECT_EQ(engine::UnattendedExitFor(none, false), UnattendedExit::Failed);
}

}  // namespace
