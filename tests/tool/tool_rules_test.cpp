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
  EXPECT_EQ(tool::IntervalEntry(false, true, 0), "0");
  EXPECT_EQ(tool::IntervalEntry(false, true, -3), "-3");
  EXPECT_EQ(tool::IntervalEntry(false, true, 14), "14");
  EXPECT_EQ(tool::IntervalEntry(false, false, 0), "Standard (7/28)");
}

}  // namespace
