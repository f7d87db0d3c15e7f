// The user's regional settings as the update road shows and reads them: the short date format
// of the update list's dates, the decimal separator of the amounts and the long time format of
// the remaining time.
#pragma once

#include <string>

#include "base/list_dates.h"
#include "wizard/update_rules.h"

namespace wizard {

// The user's short date format (LOCALE_SSHORTDATE).
base::ShortDateFormat UserShortDateFormat();

// The user's decimal separator (LOCALE_SDECIMAL); its first character, "," when none is set.
char UserDecimalSeparator();

// The user's time format (LOCALE_STIMEFORMAT), for the remaining time of a download.
TimeFormat UserTimeFormat();

}  // namespace wizard
