// Date values of the system: days since 30 December 1899 00:00, the fraction being the time of day.
#pragma once

#include <cstdint>
#include <optional>

namespace base {

using TDateTime = double;

struct DateParts {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
};

struct TimeParts {
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// Whole day number of a calendar date (1 January 1900 is 2). Years 1 to 9999.
// Empty result for a date that does not exist.
std::optional<int32_t> TryEncodeDate(int year, int month, int day);

// Calendar date of the whole-day part of `value` (the fraction is ignored). Values before
// 1 January of year 1 or after 9999 give an empty result.
std::optional<DateParts> TryDecodeDate(TDateTime value);

// Fraction of a day for a time of day; empty result for an impossible time.
std::optional<double> TryEncodeTime(int hour, int minute, int second, int millisecond);

// The time of day held in the fraction of `value`, rounded to the millisecond.
TimeParts DecodeTime(TDateTime value);

// A file date in the packed DOS form (date word: year-1980 in bits 9..15, month in 5..8, day
// in 0..4; time word: hours in 11..15, minutes in 5..10, seconds/2 in 0..4). Empty result
// when the words do not form a valid date and time.
std::optional<TDateTime> DosDateTimeToDateTime(uint16_t dosDate, uint16_t dosTime);

}  // namespace base
