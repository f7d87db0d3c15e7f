// The update list's dates.
#include "base/list_dates.h"


namespace base {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

ShortDateFormat ShortDateFormat::FromPicture(std::string_view picture) {
  ShortDateFormat f;
  std::string order;
  bool separatorSeen = false;
  for (char c : picture) {
    char u = Upper(c);
    if (u == 'D' || u == 'M' || u == 'Y') {
      if (order.find(u) == std::string::npos) order += u;
    } else if (!order.empty() && !separatorSeen && c != '\'' && c != ' ') {
      f.separator = c;
      separatorSeen = true;
    }
  }
  if (order == "MDY") f.order = MDY;
  else if (order == "YMD") f.order = YMD;
  else f.order = DMY;
  return f;
}

std::optional<base::TDateTime> TryParseShortDate(std::string_view text, const ShortDateFormat& format,
                                                 base::TDateTime today) {
  size_t b = 0, e = text.size();
  while (b < e && text[b] == ' ') ++b;
  while (e > b && text[e - 1] == ' ') --e;
  text = text.substr(b, e - b);
  int numbers[3] = {0, 0, 0};
  size_t digits[3] = {0, 0, 0};
  int count = 0;
  size_t i = 0;
  while (true) {
    if (count == 3) return std::nullopt;
    size_t start = i;
    long long v = 0;
    while (i < text.size() && IsDigit(text[i])) {
      v = v * 10 + (text[i] - '0');
      if (v > 99999) return std::nullopt;
      ++i;
    }
    if (i == start) return std::nullopt;
    numbers[count] = static_cast<int>(v);
    digits[count] = i - start;
    ++count;
    if (i == text.size()) break;
    if (text[i] != format.separator) return std::nullopt;
    ++i;
  }
  if (count < 2) return std::nullopt;
  auto now = base::TryDecodeDate(today);
  int currentYear = now ? now->year : 2000;
  int day, month, year;
  size_t yearDigits;
  if (count == 2) {
    year = currentYear;
    yearDigits = 4;
    if (format.order == ShortDateFormat::MDY || format.order == ShortDateFormat::YMD) {
      month = numbers[0];
      day = numbers[1];
    } else {
      day = numbers[0];
      month = numbers[1];
    }
  } else {
    switch (format.order) {
      case ShortDateFormat::MDY: month = numbers[0]; day = numbers[1]; year = numbers[2]; yearDigits = digits[2]; break;
      case ShortDateFormat::YMD: year = numbers[0]; month = numbers[1]; day = numbers[2]; yearDigits = digits[0]; break;
      default: day = numbers[0]; month = numbers[1]; year = numbers[2]; yearDigits = digits[2]; break;
    }
  }
  if (yearDigits <= 2) {
    year += currentYear / 100 * 100;
    if (year > currentYear + 50) year -= 100;
    else if (year <= currentYear - 50) year += 100;
  }
  auto date = base::TryEncodeDate(year, month, day);
  if (!date) return std::nullopt;
  return static_cast<base::TDateTime>(*date);
}

std::optional<base::TDateTime> TryParsePublishedDate(std::string_view text) {
  static const ShortDateFormat kPublished{ShortDateFormat::DMY, '.'};
  size_t b = 0, e = text.size();
  while (b < e && text[b] == ' ') ++b;
  while (e > b && text[e - 1] == ' ') --e;
  const std::string_view date = text.substr(b, e - b);
  const size_t first = date.find('.'), second = first == std::string_view::npos ? first : date.find('.', first + 1);
  // The digits are checked by the reading below; here only their counts: d or dd, M or MM, yyyy.
  if (second == std::string_view::npos || first < 1 || first > 2 || second - first - 1 < 1 ||
      second - first - 1 > 2 || date.size() - second - 1 != 4)
    return std::nullopt;
  // A four-digit year does not depend on today.
  return TryParseShortDate(date, kPublished, 0);
}

std::optional<base::TDateTime> TryParseListDate(std::string_view text, const ShortDateFormat& format,
                                                base::TDateTime today) {
  if (auto date = TryParseShortDate(text, format, today)) return date;
  return TryParsePublishedDate(text);
}

}  // namespace base
