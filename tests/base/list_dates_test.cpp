// The update list's dates: the user's short date format and the published form, each read as
// the platform reads it.
#include "base/list_dates.h"

#include <gtest/gtest.h>

namespace {

using base::ShortDateFormat;

double Day(int y, int m, int d) { return *base::TryEncodeDate(y, m, d); }

const double kToday = Day(2026, 12, 8);

TEST(ListDates, ShortDates) {
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


}  // namespace
