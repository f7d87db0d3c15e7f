// The update wizard's pure rules.
#include "wizard/wizard_rules.h"

namespace wizard {

const char* const TitleTexts[kStepCount] = {
    "Willkommen",
    "Auf neue Updates prüfen",
    "Ergebnis der Prüfung",
    "Download der Updates",
    "Installieren",
    "Abschließen der Installation",
};

const char kSettingsTitle[] = "Einstellungen";

bool StepChangesPage(int step, int currentPage) { return step >= 1 && step <= 5 && currentPage < kSettingsPage; }

int HighlightedTitle(int step) { return step >= 0 && step < kStepCount ? step : -1; }

int32_t ReminderInterval(std::optional<int32_t> storedInterval) {
  return storedInterval && *storedInterval >= 1 ? *storedInterval : 7;
}

base::TDateTime NextUpdateDate(int32_t today, std::optional<int32_t> storedInterval) {
  // In doubles: a stored interval near the 32-bit limit must not overflow the sum.
  return static_cast<base::TDateTime>(today) + static_cast<base::TDateTime>(ReminderInterval(storedInterval)) - 1;
}

bool WritesUpdateAtDestroy(bool installPrepared, int currentPage, bool cancelEnabled) {
  return installPrepared || (currentPage == kDownloadPage && !cancelEnabled);
}

int ClampInterval(int64_t value) {
  if (value < kMinInterval) return kMinInterval;
  if (value > kMaxInterval) return kMaxInterval;
  return static_cast<int>(value);
}

}  // namespace wizard
