// The update wizard's pure rules: the step titles, which page a step shows, the highlighted
// title of the process strip, the interval field's range and the next reminder date.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/DateTime.h"
#include "wizard/update_rules.h"

namespace wizard {

constexpr int kStepCount = 6;     // steps 0 to 5 have a page and a title; 6 ends the program
constexpr int kDownloadPage = 3;
constexpr int kInstallPage = 4;
constexpr int kSettingsPage = 6;

// The titles of steps 0 to 5 ("Willkommen" ... "Abschließen der Installation").
extern const char* const TitleTexts[kStepCount];
// The settings page's title.
extern const char kSettingsTitle[];  // "Einstellungen"

// Whether "Weiter >" into `step` changes the visible page and title now: steps 1 to 5 do, and
// only while the settings page is not the current page (its change then waits until the
// settings page is left).
bool StepChangesPage(int step, int currentPage);

// The title the process strip writes bold and italic: the step itself for 0 to 5, none (-1)
// otherwise.
int HighlightedTitle(int step);

// The reminder interval a "Update" date is computed with: the stored "UpdateInterval" when it
// is at least 1, otherwise 7.
int32_t ReminderInterval(std::optional<int32_t> storedInterval);

// The next "Update" date: today + interval - 1, a whole day.
base::TDateTime NextUpdateDate(int32_t today, std::optional<int32_t> storedInterval);

// Whether the wizard's destruction writes "Update": after a prepared installation, or in the
// state "Beenden" on the no-update result leaves (download page current, "Abbrechen" disabled).
bool WritesUpdateAtDestroy(bool installPrepared, int currentPage, bool cancelEnabled);

// The result page's text: the no-update text, or the update text around the news list
// ("- item" lines, each ending with CR LF).
extern const char kNoUpdateText[];
extern const char kUpdateTextPattern[];  // %s takes the news list
std::string CheckResultText(bool updateAvailable, std::string_view newsList);

// What a program with a built-in public key shows instead of installing: on the result page for
// a list without a good signature, on "Einrichten" for an archive without a good checksum. Each
// ends with the way on: "< Zurück" to a new check, or "Abbrechen".
extern const char kListUnsignedText[];
extern const char kListSignatureInvalidText[];
extern const char kListDateUnreadableText[];
extern const char kArchiveUncheckedText[];
extern const char kArchiveDamagedText[];
// The text for a refusal; empty for Refusal::None.
std::string RefusalText(Refusal refusal);
// The caption "Weiter >" takes while a refusal is shown: back to the check page.
extern const char kBackCaption[];  // "< Zurück"

// The interval field's range, and a value brought into it (the nearer end).
constexpr int kMinInterval = 1;
constexpr int kMaxInterval = 365;
int ClampInterval(int64_t value);

// The update server as a maker sets it for testing: "host" or "host:port" with a port of 1 to
// 65535. Empty result for an empty or malformed text (the built-in server then stays).
struct ServerSetting {
  std::string host;
  int port = 0;  // 0: none given
  // The authority of the server's URLs: "host" or "host:port".
  std::string Authority() const;
};
std::optional<ServerSetting> ParseServerSetting(std::string_view text);

}  // namespace wizard
