// Day-count dates: calendar round trips and the packed DOS file date.
#include "base/DateTime.h"

#include <gtest/gtest.h>

namespace {

TEST(DateTime, KnownDayNumbers) {
  struct Case {
    int y, m, d;
    int32_t days;
  } cases[] = {
      {1899, 12, 30, 0}, {1899, 12, 31, 1}, {1900, 1, 1, 2}, {1900, 3, 1, 61},
      {2000, 2, 29, 36585}, {2003, 1, 1, 37622}, {2026, 12, 7, 46363}, {1, 1, 1, -693593}, {9999, 12, 31, 2958465},
  };
  for (const Case& c : cases) {
    auto days = base::TryEncodeDate(c.y, c.m, c.d);
    ASSERT_TRUE(days) << c.y << "-" << c.m << "-" << c.d;
    EXPECT_EQ(*days, c.days) << c.y << "-" << c.m << "-" << c.d;
    // Before the epoch the fraction counts away from zero: -1.25 is 29 December 1899, 6:00.
    auto back = base::TryDecodeDate(*days + (*days >= 0 ? 0.75 : -0.75));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->year, c.y);
    EXPECT_EQ(back->month, c.m);
    EXPECT_EQ(back->day, c.d);
  }
}

TEST(DateTime, EveryDayOfFourCenturiesRoundTrips) {
  auto start = base::TryEncodeDate(1899, 1, 1);
  auto end = base::TryEncodeDate(2301, 1, 1);
  ASSERT_TRUE(start && end);
  for (int32_t day = *start; day < *end; ++day) {
    auto parts = base::TryDecodeDate(day);
    ASSERT_TRUE(parts) << day;
    ASSERT_EQ(base::TryEncodeDate(parts->year, parts->month, parts->day).value_or(-1), day);
  }
}

TEST(DateTime, ImpossibleDatesAndTimesAreRefused) {
  EXPECT_FALSE(base::TryEncodeDate(1900, 2, 29));
  EXPECT_FALSE(base::TryEncodeDate(2023, 13, 1));
  EXPECT_FALSE(base::TryEncodeDate(2023, 4, 31));
  EXPECT_FALSE(base::TryEncodeDate(0, 1, 1));
  EXPECT_FALSE(base::TryEncodeTime(24, 0, 0, 0));
  EXPECT_FALSE(base::TryDecodeDate(1e12));
}

TEST(DateTime, DosFileDates) {
  // 7 December 2026 13:45:58: year 46, month 12, day 7; 13 h, 45 min, 29 two-second steps.
  uint16_t date = static_cast<uint16_t>((46 << 9) | (12 << 5) | 7);
  uint16_t time = static_cast<uint16_t>((13 << 11) | (45 << 5) | 29);
  auto value = base::DosDateTimeToDateTime(date, time);
  ASSERT_TRUE(value);
  EXPECT_EQ(static_cast<int32_t>(*value), 46363);
  base::TimeParts t = base::DecodeTime(*value);
  EXPECT_EQ(t.hour, 13);
  EXPECT_EQ(t.minute, 45);
  EXPECT_EQ(t.second, 58);
  EXPECT_FALSE(base::DosDateTimeToDateTime(static_cast<uint16_t>((46 << 9) | (2 << 5) | 30), 0));  // 30 February
  EXPECT_FALSE(base::DosDateTimeToDateTime(static_cast<uint16_t>((46 << 9) | (1 << 5) | 1), static_cast<uint16_t>(24 << 11)));
}

}  // namespace
