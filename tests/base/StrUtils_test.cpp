// Number texts and formatting of the portable base.
#include "base/StrUtils.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

TEST(StrUtils, TryParseInt32AcceptsOnlyPlainDecimalWithin32Bits) {
  struct Case {
    const char* text;
    bool ok;
    int32_t value;
  } cases[] = {
      {"0", true, 0},          {"14", true, 14},         {"+5", true, 5},         {"007", true, 7},
      {"-3", true, -3},        {"2147483647", true, INT32_MAX}, {"-2147483648", true, INT32_MIN},
      {"2147483648", false, 0}, {"-2147483649", false, 0}, {"99999999999999999999", false, 0},
      {"", false, 0},          {"+", false, 0},          {"-", false, 0},         {" 5", false, 0},
      {"5 ", false, 0},        {"5x", false, 0},         {"abc", false, 0},       {"0x10", false, 0},
      {"$10", false, 0},       {"+-1", false, 0},
  };
  for (const Case& c : cases) {
    auto got = base::TryParseInt32(c.text);
    EXPECT_EQ(got.has_value(), c.ok) << c.text;
    if (got && c.ok) EXPECT_EQ(*got, c.value) << c.text;
  }
}

TEST(StrUtils, TryStrToIntReadsHexadecimalForms) {
  struct Case {
    const char* text;
    bool ok;
    int32_t value;
  } cases[] = {
      {"$10", true, 16}, {"x1F", true, 31}, {"X1f", true, 31}, {"0x10", true, 16}, {"0XfF", true, 255},
      {"$FFFFFFFF", true, -1}, {"$100000000", false, 0}, {"$", false, 0}, {"0x", false, 0},
      {"$G", false, 0}, {"12", true, 12}, {"-7", true, -7}, {"-$10", true, -16}, {"", false, 0},
  };
  for (const Case& c : cases) {
    auto got = base::TryStrToInt(c.text);
    EXPECT_EQ(got.has_value(), c.ok) << c.text;
    if (got && c.ok) EXPECT_EQ(*got, c.value) << c.text;
  }
}

TEST(StrUtils, IntToStrRoundTripsThroughParse) {
  for (int64_t v : {int64_t{0}, int64_t{-3}, int64_t{14}, int64_t{INT32_MAX}, int64_t{INT32_MIN}}) {
    auto back = base::TryParseInt32(base::IntToStr(v));
    ASSERT_TRUE(back) << v;
    EXPECT_EQ(*back, v);
  }
  EXPECT_EQ(base::IntToStr(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
}

TEST(StrUtils, FormatSReplacesOnlyTheFirstPlaceholder) {
  EXPECT_EQ(base::FormatS("Fehler beim Holen der Daten für '%s'", "Update"), "Fehler beim Holen der Daten für 'Update'");
  EXPECT_EQ(base::FormatS("%s und %s", "a"), "a und %s");
  EXPECT_EQ(base::FormatS("100%% %s", "x"), "100% x");
  EXPECT_EQ(base::FormatS("ohne", "x"), "ohne");
  EXPECT_EQ(base::FormatS("ende %", "x"), "ende %");
}

TEST(StrUtils, PathHelpers) {
  EXPECT_EQ(base::ExtractFilePath("C:\\Programme\\Ostvane\\Brisel.exe"), "C:\\Programme\\Ostvane\\");
  EXPECT_EQ(base::ExtractFilePath("Brisel.exe"), "");
  EXPECT_EQ(base::IncludeTrailingBackslash("C:\\Temp"), "C:\\Temp\\");
  EXPECT_EQ(base::IncludeTrailingBackslash("C:\\Temp\\"), "C:\\Temp\\");
}

}  // namespace
