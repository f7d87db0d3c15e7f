// The update wizard's pure rules.
#include "wizard/wizard_rules.h"

#include "base/StrUtils.h"

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

const char kNoUpdateText[] =
    "Es stehen keine neuen Updates zur Verfügung. Klicken Sie auf \"Beenden\", um den Assistenten zu verlassen.";
const char kUpdateTextPattern[] =
    "Es stehen neue Updates zum Download bereit.\r\n\r\nDie Updates beheben folgende Probleme bzw. stellen "
    "folgende neue Funktionen zur Verfügung:\r\n%s\r\n\r\nKlicken Sie auf \"Weiter\", um die Updates jetzt "
    "herunterzuladen.";

const char kListUnsignedText[] =
    "Die Liste der Updates ist nicht signiert. Ohne Signatur kann nicht geprüft werden, ob die Updates vom "
    "Hersteller stammen; es werden daher keine Updates angeboten.\r\n\r\nKlicken Sie auf \"Zurück\", um erneut "
    "nach Updates zu suchen, oder auf \"Abbrechen\", um den Assistenten zu verlassen.";
const char kListSignatureInvalidText[] =
    "Die Signatur der Liste der Updates ist ungültig. Die Liste stammt nicht vom Hersteller oder wurde unterwegs "
    "verändert; es werden daher keine Updates angeboten.\r\n\r\nKlicken Sie auf \"Zurück\", um erneut nach "
    "Updates zu suchen, oder auf \"Abbrechen\", um den Assistenten zu verlassen.";
const char kListDateUnreadableText[] =
    "Die Liste der Updates nennt für dieses Programm kein lesbares Datum. Ohne Datum kann nicht geprüft werden, "
    "ob das Update neuer ist als das installierte Programm; es werden daher keine Updates angeboten.\r\n\r\n"
    "Klicken Sie auf \"Zurück\", um erneut nach Updates zu suchen, oder auf \"Abbrechen\", um den Assistenten zu "
    "verlassen.";
const char kArchiveUncheckedText[] =
    "Für die Update-Dateien ist keine Prüfsumme angegeben. Ohne sie kann nicht geprüft werden, ob die Dateien "
    "unverändert sind; das Update wird nicht installiert.\r\n\r\nKlicken Sie auf \"Zurück\", um erneut nach Updates "
    "zu suchen, oder auf \"Abbrechen\", um den Assistenten zu beenden.";
const char kArchiveDamagedText[] =
    "Die heruntergeladenen Update-Dateien sind beschädigt oder wurden verändert: Ihre Prüfsumme stimmt nicht. Das "
    "Update wird nicht installiert.\r\n\r\nKlicken Sie auf \"Zurück\", um erneut nach Updates zu suchen, oder auf "
    "\"Abbrechen\", um den Assistenten zu beenden.";
const char kListReplayedText[] =
    "Die Liste der Updates ist älter als eine, die dieses Programm schon erhalten hat: Ihre Seriennummer ist "
    "kleiner. Eine alte Liste kann ein Update verschweigen oder eine ältere Version anbieten; es werden daher keine "
    "Updates angeboten.\r\n\r\nKlicken Sie auf \"Zurück\", um erneut nach Updates zu suchen, oder auf \"Abbrechen\", um den Assistenten zu "
    "verlassen.";
const char kListExpiredText[] =
    "Die Liste der Updates ist abgelaufen. Eine abgelaufene Liste kann neue Updates verschweigen; es werden daher "
    "keine Updates angeboten.\r\n\r\nKlicken Sie auf \"Zurück\", um erneut nach Updates zu suchen, oder auf \"Abbrechen\", um den Assistenten zu "
    "verlassen.";
const char kListWithoutSerialText[] =
    "Die Liste der Updates hat keine Seriennummer, obwohl dieses Programm schon eine Liste mit Seriennummer "
    "erhalten hat. Sie ist eine alte Liste oder wurde unterwegs ersetzt; es werden daher keine Updates "
    "angeboten.\r\n\r\nKlicken Sie auf \"Zurück\", um erneut nach Updates zu suchen, oder auf \"Abbrechen\", um den Assistenten zu "
    "verlassen.";
const char kListValueUnreadableText[] =
    "Die Liste der Updates nennt eine Seriennummer, ein Ablaufdatum oder eine Größe der Update-Dateien, die nicht "
    "gelesen werden kann; es werden daher keine Updates angeboten.\r\n\r\nKlicken Sie auf \"Zurück\", um erneut nach Updates zu suchen, oder auf \"Abbrechen\", um den Assistenten zu "
    "verlassen.";
const char kArchiveSizeWrongText[] =
    "Die heruntergeladenen Update-Dateien haben nicht die Größe, die die Liste der Updates nennt: Der Download "
    "wurde abgebrochen, oder die Dateien wurden unterwegs verändert. Das Update wird nicht installiert.\r\n\r\nKlicken Sie auf \"Zurück\", um erneut nach Updates zu suchen, oder auf \"Abbrechen\", um den Assistenten zu "
    "beenden.";
const char kBackCaption[] = "< Zurück";

const char kConsentNeededText[] =
    "\r\n\r\nDas Programm ist in einem geschützten Ordner installiert. Nach dem Klick auf \"Beenden\" fragt "
    "Windows nach Ihrer Zustimmung, um die alten Dateien zu ersetzen.";
const char kConsentRefusedText[] =
    "Das Update wurde nicht installiert, weil die Zustimmung zum Ersetzen der Programmdateien nicht erteilt wurde. "
    "Das Programm bleibt unverändert.\r\n\r\nBei der nächsten Suche nach Updates können Sie das Update erneut "
    "installieren.";
const char kConsentStartFailedText[] =
    "Die Installation des Updates konnte nicht gestartet werden. Das Programm bleibt unverändert.\r\n\r\nBei der "
    "nächsten Suche nach Updates können Sie das Update erneut installieren.";

const char* ConsentStartText(unsigned long error) {
  // The shell's "access denied" and the system's "cancelled by the user": both are how the
  // refused consent comes back, depending on the shell's version.
  return error == 5 || error == 1223 ? kConsentRefusedText : kConsentStartFailedText;
}

std::string RefusalText(Refusal refusal) {
  switch (refusal) {
    case Refusal::ListUnsigned: return kListUnsignedText;
    case Refusal::ListSignatureInvalid: return kListSignatureInvalidText;
    case Refusal::ListDateUnreadable: return kListDateUnreadableText;
    case Refusal::ArchiveUnchecked: return kArchiveUncheckedText;
    case Refusal::ArchiveDamaged: return kArchiveDamagedText;
    case Refusal::ListReplayed: return kListReplayedText;
    case Refusal::ListExpired: return kListExpiredText;
    case Refusal::ListWithoutSerial: return kListWithoutSerialText;
    case Refusal::ListValueUnreadable: return kListValueUnreadableText;
    case Refusal::ArchiveSizeWrong: return kArchiveSizeWrongText;
    case Refusal::None: break;
  }
  return std::string();
}

std::string CheckResultText(bool updateAvailable, std::string_view newsList) {
  if (!updateAvailable) return kNoUpdateText;
  std::string pattern = kUpdateTextPattern;
  size_t at = pattern.find("%s");
  return pattern.substr(0, at) + std::string(newsList) + pattern.substr(at + 2);
}

bool StepChangesPage(WizardStep step, int currentPage) {
  return step >= WizardStep::Check && step <= WizardStep::Finish && currentPage < kSettingsPage;
}

int HighlightedTitle(WizardStep step) {
  return step >= WizardStep::Welcome && step <= WizardStep::Finish ? StepIndex(step) : -1;
}

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
