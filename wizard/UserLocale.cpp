// The user's regional settings, read from the platform at every use.
#include "wizard/UserLocale.h"

#include <windows.h>

namespace wizard {

namespace {

std::string LocaleText(LCTYPE type) {
  char buffer[96];
  int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n - 1)) : std::string();
}

}  // namespace

base::ShortDateFormat UserShortDateFormat() { return base::ShortDateFormat::FromPicture(LocaleText(LOCALE_SSHORTDATE)); }

char UserDecimalSeparator() {
  const std::string s = LocaleText(LOCALE_SDECIMAL);
  return s.empty() ? ',' : s[0];
}

TimeFormat UserTimeFormat() { return TimeFormat::FromPicture(LocaleText(LOCALE_STIMEFORMAT)); }

}  // namespace wizard
