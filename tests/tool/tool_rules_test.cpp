// Catalogue lookup and the product list's entries.
#include "tool/tool_rules.h"

#include <gtest/gtest.h>

namespace {

const std::vector<tool::CatalogRow> kTable = {
    {"Kassenbuch", "Kassenbuch"}, {"Ostvane", "Ostvane"}, {"Woerterbuch", "Wörterbuch"}, {"Doppelt", "Kassenbuch2"}};

TEST(ToolRules, CatalogLookupIsExactAndByColumn) {
  struct Case {
    const char* text;
    int column;
    const char* expected;
  } cases[] = {
      {"Woerterbuch", 0, "Wörterbuch"}, {"Wörterbuch", 1, "Woerterbuch"}, {"Wörterbuch", 0, ""},
      {"Woerterbuch", 1, ""},           {"ostvane", 0, ""},              {"Ostvane ", 0, ""},
      {"Ostvane", 0, "Ostvane"},        {"", 0, ""},                      {"Ostvane", 2, ""},
      {"Ostvane", -1, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(tool::CatalogLookup(kTable, c.text, c.column), c.expected) << c.text << "/" << c.column;
}

TEST(ToolRules, IntervalEntryFromRegistryState) {
  EXPECT_EQ(tool::IntervalEntry(true, true, 14), "0");
  EXPECT_EQ(tool::IntervalEntry(true, false, 0), "0");
  EXPECT_EQ(tool::IntervalEntry(false, true, 0), "7");  // the engine reminds every 7 days
  EXPECT_EQ(tool::IntervalEntry(false, true, -3), "7");
  EXPECT_EQ(tool::IntervalEntry(false, true, 1), "1");
  EXPECT_EQ(tool::IntervalEntry(false, true, 14), "14");
  EXPECT_EQ(tool::IntervalEntry(false, false, 0), "Standard (7/28)");
  // A row the administrator fixed shows what the program applies, not what the user stored.
  settings::Policy off, fixed, bounded;
  off.updatesOff = true;
  fixed.interval = 30;
  bounded.maxInterval = 14;
  EXPECT_EQ(tool::IntervalText(tool::PolicyEntry(off, false, 3)), "niemals");
  EXPECT_EQ(tool::IntervalText(tool::PolicyEntry(fixed, true, std::nullopt)), "30 Tage");
  EXPECT_EQ(tool::IntervalText(tool::PolicyEntry(bounded, true, std::nullopt)), "14 Tage");
  EXPECT_EQ(tool::IntervalText(tool::PolicyEntry(bounded, false, std::nullopt)), "Standard (7/28)");
  EXPECT_EQ(tool::ForAllLeftAloneText(1), "Ein Programm ist vom Administrator festgelegt und bleibt unver\xE4ndert.");
  EXPECT_EQ(tool::ForAllLeftAloneText(2), "2 Programme sind vom Administrator festgelegt und bleiben unver\xE4ndert.");
}

// What typing (or picking) a text in the in-row editor makes of the entry, and how the row then
// reads. kUnchanged: the text is not taken; the row keeps showing the old entry.
TEST(ToolRules, CommittedTextBecomesEntryAndRowText) {
  const char* kUnchanged = nullptr;
  struct Case {
    const char* typed;
    const char* entry;  // kUnchanged when not taken
    const char* shown;  // the row's text for the new entry
  } cases[] = {
      {"14 Tage", "14", "14 Tage"},
      {"1 Tag", "1", "1 Tag"},
      {"2 Tage", "2", "2 Tage"},
      {"niemals", "0", "niemals"},
      {"Standard (7/28)", "28", "28 Tage"},
      {"-3", kUnchanged, nullptr},
      {"+5", "+5", "+5 Tage"},
      {"+1", "+1", "1 Tag"},
      {"007", "007", "007 Tage"},
      {"00", "0", "niemals"},
      {"+0", "0", "niemals"},
      {"-0", "0", "niemals"},
      {"0 Tage", "0", "niemals"},
      {"000 Tage", "0", "niemals"},
      {"0", "0", "niemals"},
      {"5 ", "5", "5 Tage"},
      {"30 Tage und mehr", "30", "30 Tage"},
      {"2147483647", "2147483647", "2147483647 Tage"},
      {"-2147483648", kUnchanged, nullptr},
      {"-1 Tag", kUnchanged, nullptr},
      {"2147483648", kUnchanged, nullptr},
      {"-2147483649", kUnchanged, nullptr},
      {"abc", kUnchanged, nullptr},
      {"5x", kUnchanged, nullptr},
      {" 5", kUnchanged, nullptr},
      {"$10", kUnchanged, nullptr},
      {"$", kUnchanged, nullptr},
      {"0x10", kUnchanged, nullptr},
      {"x10", kUnchanged, nullptr},
      {"+", kUnchanged, nullptr},
      {"-", kUnchanged, nullptr},
      {"5\t", kUnchanged, nullptr},
      {"Niemals", kUnchanged, nullptr},
      {"standard (7/28)", kUnchanged, nullptr},
      {"", kUnchanged, nullptr},
  };
  for (const Case& c : cases) {
    std::optional<std::string> entry = tool::CommitEntry(c.typed);
    if (c.entry == kUnchanged) {
      EXPECT_FALSE(entry.has_value()) << "'" << c.typed << "' gave '" << entry.value_or("") << "'";
      continue;
    }
    ASSERT_TRUE(entry.has_value()) << "'" << c.typed << "'";
    EXPECT_EQ(*entry, c.entry) << "'" << c.typed << "'";
    EXPECT_EQ(tool::IntervalText(*entry), c.shown) << "'" << c.typed << "'";
  }
}

TEST(ToolRules, RowTextOfStoredEntries) {
  struct Case {
    const char* entry;
    const char* shown;
  } cases[] = {
      {"Standard (7/28)", "Standard (7/28)"}, {"0", "niemals"}, {"-0", "niemals"}, {"1", "1 Tag"},
      {"2", "2 Tage"}, {"14", "14 Tage"}, {"1048575", "1048575 Tage"}, {"-3", "-3"}, {"-1", "-1"},
  };
  for (const Case& c : cases) EXPECT_EQ(tool::IntervalText(c.entry), c.shown) << c.entry;
}

TEST(ToolRules, ApplyActionPerEntryForm) {
  using A = settings::Reminder;
  struct Case {
    const char* entry;
    A::Kind kind;
    int32_t interval;
  } cases[] = {
      {"0", A::Never, 0},          {"Standard (7/28)", A::Standard, 0}, {"14", A::Interval, 14},
      {"-3", A::Standard, 0},     {"+5", A::Interval, 5},          {"007", A::Interval, 7},
      {"00", A::Never, 0},          {"-0", A::Never, 0},      {"28", A::Interval, 28},         {"kaputt", A::Standard, 0},
  };
  for (const Case& c : cases) {
    A action = tool::ApplyActionFor(c.entry);
    EXPECT_EQ(action.kind, c.kind) << c.entry;
    if (c.kind == A::Interval) EXPECT_EQ(action.interval, c.interval) << c.entry;
  }
}

// The look at all programs: which rows may start an update (again), what the summary counts,
// and the dates a row shows.
TEST(ToolRules, FamilyRowsStartAgainOnlyWhileTheUpdateIsStillDue) {
  using tool::FamilyRow;
  const auto row = [](FamilyRow::State state, int exitCode = 0) {
    FamilyRow r;
    r.name = "Kassenbuch";
    r.state = state;
    r.exitCode = exitCode;
    r.installed = 46355.5;  // 29.11.2026
    r.offered = 46375;      // 19.12.2026
    return r;
  };
  struct Case {
    FamilyRow row;
    bool startable;
  } cases[] = {
      {row(FamilyRow::Offered), true},           {row(FamilyRow::Pinned), false},
      {row(FamilyRow::SwitchedOff), false},      {row(FamilyRow::Running), false},
      {row(FamilyRow::Ended, 1), false},         {row(FamilyRow::Ended, 3), true},
      {row(FamilyRow::Ended, 5), false},         {row(FamilyRow::Ended, 6), false},
      {row(FamilyRow::Ended, tool::kWizardEnded), true}, {row(FamilyRow::Ended, tool::kStartFailed), true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(tool::FamilyRowStartable(c.row), c.startable) << tool::FamilyStateText(c.row);
  EXPECT_EQ(tool::FamilySummaryText({cases[0].row, cases[5].row, row(FamilyRow::NotChecked), row(FamilyRow::Current)}),
            "Updates für 2 von 4 Programmen. Markieren Sie eines und klicken Sie auf \"Update installieren\". Ein "
            "Programm wurde nicht geprüft.");
  EXPECT_EQ(tool::FamilySummaryText({cases[4].row}), "Für keines der installierten Programme gibt es ein Update.");
  EXPECT_EQ(tool::FamilyDetailText(cases[0].row), "installiert: 29.11.2026, neu: 19.12.2026");
  FamilyRow unknown = row(FamilyRow::NotChecked);
  unknown.installed = 0;
  EXPECT_EQ(tool::FamilyItemText(unknown), "Kassenbuch – nicht geprüft: Datum der installierten Version unbekannt");
  EXPECT_EQ(tool::FamilyDetailText(unknown), "installiert: unbekannt");
}

}  // namespace
