// Calendar arithmetic on the day-count date values.
#include "base/DateTime.h"

#include <cmath>

namespace base {

namespace {

// Days from 1 January of year 1 to the given date (1 January 1 gives 0).
int64_t DaysFromCivilStart(int year, int month, int day) {
  static const int kCumulative[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  int64_t y = year - 1;
  int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
  days += kCumulative[month - 1];
  if (month > 2 && IsLeapYear(year)) ++days;
  return days + day - 1;
}

// The day count of 30 December 1899 from 1 January 1, as DaysFromCivilStart(1899, 12, 30)
// gives it. A constant, not a computed static: date values made during the static
// initialisation of another file must not see it still zero.
constexpr int64_t kEpochOffset = 693593;

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

std::optional<int32_t> TryEncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return std::nullopt;
  if (day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
  return static_cast<int32_t>(DaysFromCivilStart(year, month, day) - kEpochOffset);
}

std::optional<DateParts> TryDecodeDate(TDateTime value) {
  if (!std::isfinite(value)) return std::nullopt;
  double whole = std::trunc(value);
  int64_t days = static_cast<int64_t>(whole) + kEpochOffset;
  if (days < 0 || days > DaysFromCivilStart(9999, 12, 31)) return std::nullopt;
  // Walk down through 400-, 100-, 4- and 1-year cycles.
  int64_t n400 = days / 146097;
  days %= 146097;
  int64_t n100 = days / 36524;
  if (n100 == 4) n100 = 3;
  days -= n100 * 36524;
  int64_t n4 = days / 1461;
  days %= 1461;
  int64_t n1 = days / 365;
  if (n1 == 4) n1 = 3;
  days -= n1 * 365;
  DateParts parts;
  parts.year = static_cast<int>(n400 * 400 + n100 * 100 + n4 * 4 + n1 + 1);
  int month = 1;
  while (days >= DaysInMonth(parts.year, month)) {
    days -= DaysInMonth(parts.year, month);
    ++month;
  }
  parts.month = month;
  parts.day = static_cast<int>(days) + 1;
  return parts;
}

std::optional<double> TryEncodeTime(int hour, int minute, int second, int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999)
    return std::nullopt;
  double ms = ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond;
  return ms / 86400000.0;
}

TimeParts DecodeTime(TDateTime value) {
  double fraction = std::fabs(value - std::trunc(value));
  int64_t ms = static_cast<int64_t>(std::llround(fraction * 86400000.0));
  if (ms >= 86400000) ms = 86400000 - 1;
  TimeParts t;
  t.millisecond = static_cast<int>(ms % 1000);
  ms /= 1000;
  t.second = static_cast<int>(ms % 60);
  ms /= 60;
  t.minute = static_cast<int>(ms % 60);
  t.hour = static_cast<int>(ms / 60);
  return t;
}

std::optional<TDateTime> DosDateTimeToDateTime(uint16_t dosDate, uint16_t dosTime) {
  auto date = TryEncodeDate(1980 + (dosDate >> 9), (dosDate >> 5) & 0x0F, dosDate & 0x1F);
  auto time = TryEncodeTime(dosTime >> 11, (dosTime >> 5) & 0x3F, (dosTime & 0x1F) * 2, 0);
  if (!date || !time) return std::nullopt;
  return *date + *time;
}

}  // namespace base
