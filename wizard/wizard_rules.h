// The update wizard's pure rules: the step titles, which page a step shows, the highlighted
// title of the process strip, the interval field's range and the next reminder date.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/DateTime.h"
#include "net/tls_rules.h"
#include "wizard/update_rules.h"

namespace wizard {

// The wizard's steps. Welcome to Finish have a page of that index and a title; Ended means the
// application was told to end (no page of its own, no title highlighted).
enum class WizardStep : int { Welcome, Check, Result, Download, Install, Finish, Ended };
constexpr int kStepCount = 6;  // the steps with a page and a title

// The step's page index and title index (Ended: 6, beyond the titles).
constexpr int StepIndex(WizardStep step) { return static_cast<int>(step); }
// The step after `step` ("Weiter >"); Ended stays Ended.
constexpr WizardStep NextStep(WizardStep step) {
  return step == WizardStep::Ended ? step : static_cast<WizardStep>(StepIndex(step) + 1);
}

constexpr int kDownloadPage = StepIndex(WizardStep::Download);
constexpr int kInstallPage = StepIndex(WizardStep::Install);
constexpr int kSettingsPage = 6;

// The titles of the steps Welcome to Finish ("Willkommen" ... "Abschließen der Installation").
extern const char* const TitleTexts[kStepCount];
// The settings page's title.
extern const char kSettingsTitle[];  // "Einstellungen"

// Whether "Weiter >" into `step` changes the visible page and title now: Check to Finish do, and
// only while the settings page is not the current page (its change then waits until the
// settings page is left).
bool StepChangesPage(WizardStep step, int currentPage);

// The title the process strip writes bold and italic: the step's own for Welcome to Finish,
// none (-1) otherwise.
int HighlightedTitle(WizardStep step);

// The reminder interval a "Update" date is computed with: the stored "UpdateInterval" when it
// is at least 1, otherwise 7.
int32_t ReminderInterval(std::optional<int32_t> storedInterval);

// The next "Update" date: today + interval - 1, a whole day.
base::TDateTime NextUpdateDate(int32_t today, std::optional<int32_t> storedInterval);

// Whether the wizard's destruction writes "Update": after a prepared installation, or in the
// state "Beenden" on the no-update result leaves (download page current, "Abbrechen" disabled).
bool WritesUpdateAtDestroy(bool installPrepared, int currentPage, bool cancelEnabled);

// The texts of the pages: the welcome, check and settings pages' fixed texts, "Einrichten" and
// its failure text, "Bestätigung3" (a protected program folder adds kConsentNeededText), the
// download page's first text and its result texts, and the check's messages with their captions.
extern const char kWelcomeText[];
extern const char kCheckText[];
extern const char kNeverText[];
extern const char kPeriodicText[];
extern const char kInstallText[];
extern const char kInstallFailedText[];
extern const char kFinishText[];
extern const char kDownloadText[];
extern const char kDownloadStoppedText[];
extern const char kDownloadFailedText[];
extern const char kDownloadNoRoomText[];
extern const char kDownloadDoneText[];
extern const char kNoConnectionText[];
// The administrator's decisions as the wizard and Ctrl+U tell them: an offer the pin keeps out
// (the result page's one line), and updates switched off (Ctrl+U's message).
extern const char kPinnedText[];
extern const char kUpdatesOffText[];
extern const char kNoConnectionCaption[];
// What the failure message of a check through the user's proxy adds before the proxy's
// "host:port" and a full stop.
extern const char kViaProxyText[];
// Why no secure connection to `host` came about, for the check's message and the download's
// page: a certificate that is not trusted, names another host, has expired or was revoked, a
// handshake that failed, a redirection away from TLS. Nothing was fetched or installed.
std::string SecureConnectionText(net::TTlsFault fault, std::string_view host);
extern const char kSecureConnectionCaption[];
// What the check and the download say of a proxy that asks for a password ("host:port").
std::string ProxyAuthText(std::string_view proxy);
// The download page's text after `reason` (a text above): the way on.
std::string DownloadFailedBecause(std::string_view reason);
// The message of a list beyond the size any list has, with its caption.
extern const char kListTooLongText[];
extern const char kListTooLongCaption[];
// The question before a running download is stopped.
extern const char kStopDownloadQuestion[];

// The result page's text: the no-update text, or the update text around the news list
// ("- item" lines, each ending with CR LF).
extern const char kNoUpdateText[];
extern const char kUpdateTextPattern[];  // %s takes the news list
std::string CheckResultText(bool updateAvailable, std::string_view newsList);
// The result page's button that skips the offered version, and the line before the update text
// when the user's own search offers a version the user skipped.
extern const char kSkipCaption[];      // "Diese Version überspringen"
extern const char kSkippedLineText[];

// What a program with a built-in public key shows instead of installing: on the result page for
// a list without a good signature, on "Einrichten" for an archive without a good checksum. Each
// ends with the way on: "< Zurück" to a new check, or "Abbrechen".
extern const char kListUnsignedText[];
extern const char kListSignatureInvalidText[];
extern const char kListDateUnreadableText[];
extern const char kArchiveUncheckedText[];
extern const char kArchiveDamagedText[];
extern const char kListReplayedText[];
extern const char kListExpiredText[];
extern const char kListWithoutSerialText[];
extern const char kListValueUnreadableText[];
extern const char kArchiveSizeWrongText[];
extern const char kDelegationExpiredText[];
extern const char kKeyEpochLowerText[];
extern const char kProgramNotCoveredText[];
extern const char kRootRetiredText[];
// The text for a refusal; empty for Refusal::None.
std::string RefusalText(Refusal refusal);
// The caption "Weiter >" takes while a refusal is shown: back to the check page.
extern const char kBackCaption[];  // "< Zurück"

// A program folder the user may not write: the finish page's added line (Windows will ask for
// consent), and what the user is told when the start with consent did not happen.
extern const char kConsentNeededText[];
extern const char kConsentRefusedText[];
extern const char kConsentStartFailedText[];
// What the user is told when the start with consent did not happen, by the system's error: a
// refused consent (ERROR_ACCESS_DENIED, ERROR_CANCELLED) or another failure.
const char* ConsentStartText(unsigned long error);

// The interval field's range, and a value brought into it (the nearer end).
constexpr int kMinInterval = 1;
constexpr int kMaxInterval = 365;
int ClampInterval(int64_t value);

}  // namespace wizard
