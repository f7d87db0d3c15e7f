// The wizard's rules: the next reminder date, when it is written, the page changes and the
// interval field's range.
#include "wizard/wizard_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

namespace {

TEST(WizardRules, NextUpdateDateIsTodayPlusIntervalMinusOne) {
  const int32_t jan1 = 37622;  // 1 January 2003
  EXPECT_EQ(wizard::NextUpdateDate(jan1, 7), 37628);  // 7 January 2003
  struct Case {
    std::optional<int32_t> stored;
    double added;
  } cases[] = {
      {std::nullopt, 6}, {0, 6}, {-3, 6}, {INT32_MIN, 6}, {1, 0}, {2, 1}, {14, 13}, {365, 364},
      {INT32_MAX, 2147483646.0},  // no overflow
  };
  for (const Case& c : cases) {
    EXPECT_EQ(wizard::NextUpdateDate(jan1, c.stored), jan1 + c.added) << (c.stored ? *c.stored : -999);
  }
}

TEST(WizardRules, DestructionWritesOnlyAfterInstallOrBeenden) {
  struct Case {
    bool installPrepared;
    int page;
    bool cancelEnabled;
    bool writes;
  } cases[] = {
      {true, 5, false, true},
      {true, 6, true, true},     // settings page open: the installation still counts
      {false, 3, false, true},   // "Beenden" on the no-update result
      {false, 3, true, false},   // download page during or after a download
      {false, 2, false, false},  // no-update result closed with the close button
      {false, 0, true, false},   // "Abbrechen" on the welcome page
      {false, 4, false, false},
      {false, 6, false, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(wizard::WritesUpdateAtDestroy(c.installPrepared, c.page, c.cancelEnabled), c.writes)
        << c.installPrepared << " " << c.page << " " << c.cancelEnabled;
}

TEST(WizardRules, PagesTitlesAndInterval) {
  // Per step from -1 to 7: whether a step change shows its page while the user is on page 0
  // to 6 (the settings page, 6, stays), and the title the strip highlights.
  struct Step {
    int step;
    const char* changesPage;
    int highlighted;
  } steps[] = {
      {-1, "0000000", -1}, {0, "0000000", 0}, {1, "1111110", 1}, {2, "1111110", 2}, {3, "1111110", 3},
      {4, "1111110", 4},   {5, "1111110", 5}, {6, "0000000", -1}, {7, "0000000", -1},
  };
  for (const Step& s : steps) {
    for (int page = 0; page <= 6; ++page)
      EXPECT_EQ(wizard::StepChangesPage(static_cast<wizard::WizardStep>(s.step), page), s.changesPage[page] == '1') << s.step << "/" << page;
    EXPECT_EQ(wizard::HighlightedTitle(static_cast<wizard::WizardStep>(s.step)), s.highlighted) << s.step;
  }
  EXPECT_EQ(wizard::NextStep(wizard::WizardStep::Finish), wizard::WizardStep::Ended);
  EXPECT_EQ(wizard::NextStep(wizard::WizardStep::Ended), wizard::WizardStep::Ended);
  // The titles as the strip and the title panel show them, in Windows-1252.
  EXPECT_EQ(std::string(wizard::TitleTexts[1]), "Auf neue Updates pr\xFC" "fen");
  EXPECT_EQ(std::string(wizard::TitleTexts[5]), "Abschlie\xDF" "en der Installation");
  const std::pair<int64_t, int> clamps[] = {{400, 365}, {365, 365}, {364, 364}, {1, 1}, {0, 1},
                                            {-7, 1},    {INT64_MAX, 365}, {INT64_MIN, 1}};
  for (const auto& c : clamps) EXPECT_EQ(wizard::ClampInterval(c.first), c.second) << c.first;
}

// Every refusal has a text of its own that names the way on, as the result page and
// "Einrichten" show it beside "< Zurück".
TEST(WizardRules, RefusalsSayWhyAndTheWayOn) {
  using wizard::Refusal;
  EXPECT_EQ(wizard::RefusalText(Refusal::None), "");
  const Refusal refusals[] = {Refusal::ListUnsigned, Refusal::ListSignatureInvalid, Refusal::ListDateUnreadable,
                              Refusal::ArchiveUnchecked, Refusal::ArchiveDamaged, Refusal::ListReplayed,
                              Refusal::ListExpired, Refusal::ListWithoutSerial, Refusal::ListValueUnreadable,
                              Refusal::ArchiveSizeWrong, Refusal::DelegationExpired, Refusal::KeyEpochLower,
                              Refusal::ProgramNotCovered, Refusal::RootRetired};
  std::vector<std::string> seen;
  for (Refusal r : refusals) {
    const std::string text = wizard::RefusalText(r);
    EXPECT_NE(text.find("\r\n\r\nKlicken Sie auf \"Zur\xFC" "ck\", um erneut nach Updates zu suchen, oder auf "
                        "\"Abbrechen\""),
              std::string::npos)
        << text;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), text), 0) << text;
    seen.push_back(text);
  }
  EXPECT_EQ(wizard::RefusalText(Refusal::ListDateUnreadable).rfind(
                "Die Liste der Updates nennt f\xFCr dieses Programm kein lesbares Datum.", 0),
            0u);
  EXPECT_EQ(wizard::RefusalText(Refusal::ListExpired).rfind("Die Liste der Updates ist abgelaufen.", 0), 0u);
}

}  // namespace
