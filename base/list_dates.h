// Dates as the update list carries them: the user's short date format, the form in which the
// publishing tool writes them, and the two readings the programs try. Read by the programs'
// wizard and checked by trelkpublish.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/DateTime.h"

namespace base {

// The user's short date format as the platform gives it ("d.M.yyyy", "dd.MM.yyyy", "M/d/yy",
// "yyyy-MM-dd"): the order of day, month and year and the separator between them.
struct ShortDateFormat {
  enum Order { DMY, MDY, YMD } order = DMY;
  char separator = '.';
  // Reads the picture; a picture without a recognisable order gives day.month.year with ".".
  static ShortDateFormat FromPicture(std::string_view picture);
};

// Reads a date the way the platform's date conversion does for the given format: two or three
// whole numbers separated by the format's separator, blanks around the text allowed; without a
// year the current year (`today`) is taken; a year of one or two digits lies within 50 years
// of `today`. Empty result for anything else or a date that does not exist.
std::optional<base::TDateTime> TryParseShortDate(std::string_view text, const ShortDateFormat& format,
                                                 base::TDateTime today);

// The form in which the publishing tool writes the list's dates, whatever the computer: day,
// month and year separated by ".", one or two digits for day and month, four for the year
// ("15.03.2003", "1.2.2003"), blanks around the text allowed. Empty result for anything else or
// a date that does not exist.
std::optional<base::TDateTime> TryParsePublishedDate(std::string_view text);

// A date of the update list ("Date", the date part of a news item): read in the user's short
// date format first and, when that fails, in the published form. The user's reading wins where
// both read the text: with a user format of day.month.year it is the same reading; month first
// with "." ("M.d.yyyy") reads "03.04.2024" as 4 March, as the platform does for every other
// date the user sees; formats with another separator ("M/d/yyyy", "dd/MM/yyyy", "yyyy-MM-dd")
// never read the published form, so it falls through to the second reading.
std::optional<base::TDateTime> TryParseListDate(std::string_view text, const ShortDateFormat& format,
                                                base::TDateTime today);

}  // namespace base
