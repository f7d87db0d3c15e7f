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

// ---- The pages' texts ----

const char kInstallFailedText[] =
    "Die Installationsdateien wurden nicht gefunden. Klicken Sie auf \"Abbrechen\" und versuchen Sie es später "
    "noch einmal.";

const char kDownloadText[] =
    "Die Updates werden jetzt heruntergeladen. Bitten warten Sie, bis der Download abgeschlossen ist, oder klicken "
    "Sie auf \"Download abbrechen\", wenn Sie die Updates zu einer anderen Zeit herunterladen wollen.";
const char kDownloadStoppedText[] =
    "Der Download wurde nicht vollendet.\r\n\r\nKlicken Sie auf \"Erneut versuchen\", um den Download erneut zu "
    "starten.\r\nKlicken Sie auf \"Abbrechen\", um den Assistenten zu beenden.";
const char kDownloadFailedText[] =
    "Die Update-Dateien konnten nicht vollständig heruntergeladen werden.\r\n\r\nKlicken Sie auf \"Erneut "
    "versuchen\", um den Download erneut zu starten.\r\nKlicken Sie auf \"Abbrechen\", um den Assistenten zu beenden.";
const char kDownloadNoRoomText[] =
    "Die Update-Dateien sind größer als der freie Platz im Ordner für temporäre Dateien und wurden nicht "
    "heruntergeladen.\r\n\r\nKlicken Sie auf \"Erneut versuchen\", um den Download erneut zu starten.\r\nKlicken "
    "Sie auf \"Abbrechen\", um den Assistenten zu beenden.";
const char kDownloadDoneText[] =
    "Die Update-Dateien wurden erfolgreich heruntergeladen. Klicken Sie auf \"Weiter\", um die Updates zu "
    "installieren.";
const char kNoConnectionText[] = "Es besteht keine Internetverbindung.";
const char kPinnedText[] =
    "Es gibt ein neueres Update, aber der Administrator hat die Version dieses Programms festgelegt: es wird nicht "
    "installiert.";
const char kUpdatesOffText[] = "Der Administrator hat die Updates für dieses Programm abgeschaltet.";
const char kNoConnectionCaption[] = "Internetverbindung erforderlich";
const char kViaProxyText[] = "\r\n\r\nDie Verbindung über den Proxyserver aus den Internetoptionen ist fehlgeschlagen: ";
const char kSecureConnectionCaption[] = "Sichere Verbindung fehlgeschlagen";

std::string SecureConnectionText(net::TTlsFault fault, std::string_view host) {
  const std::string server = "des Servers \"" + std::string(host) + "\"";
  std::string text;
  switch (fault) {
    case net::TTlsFault::Untrusted:
      text = "Das Zertifikat " + server + " ist nicht vertrauenswürdig: Es stammt von keiner Stelle, der dieser "
             "Computer vertraut.";
      break;
    case net::TTlsFault::OtherName:
      text = "Das Zertifikat " + server + " ist für einen anderen Namen ausgestellt.";
      break;
    case net::TTlsFault::Expired:
      text = "Das Zertifikat " + server + " ist abgelaufen oder noch nicht gültig.";
      break;
    case net::TTlsFault::Revoked:
      text = "Das Zertifikat " + server + " wurde widerrufen.";
      break;
    case net::TTlsFault::InsecureRedirect:
      text = "Der Server \"" + std::string(host) + "\" leitet die sichere Verbindung (HTTPS) auf eine unsichere "
             "(HTTP) um.";
      break;
    case net::TTlsFault::Handshake:
    case net::TTlsFault::None:
      text = "Mit dem Server \"" + std::string(host) + "\" kam keine sichere Verbindung (HTTPS) zustande: Der "
             "Server hat sie beendet, oder er und dieser Computer beherrschen kein gemeinsames Verfahren.";
      break;
  }
  return text + " Die Verbindung wurde abgebrochen; es wurde nichts heruntergeladen oder installiert.";
}

std::string ProxyAuthText(std::string_view proxy) {
  return "Der Proxyserver " + std::string(proxy) + " verlangt eine Anmeldung (Status 407).";
}

std::string DownloadFailedBecause(std::string_view reason) {
  return std::string(reason) +
         "\r\n\r\nKlicken Sie auf \"Erneut versuchen\", um den Download erneut zu starten.\r\nKlicken Sie auf "
         "\"Abbrechen\", um den Assistenten zu beenden.";
}

const char kListTooLongText[] =
    "Die Liste der Updates auf dem Server ist größer als 16 MB und wird nicht gelesen. Versuchen Sie es später noch einmal.";
const char kListTooLongCaption[] = "Liste der Updates ungültig";
const char kStopDownloadQuestion[] = "Soll der Download wirklich abgebrochen werden?";

const char kInstallText[] =
    "Das Update kann jetzt installiert werden.\r\nKlicken Sie auf \"Weiter\", um den Vorgang fortzusetzen und die "
    "Installation durchzuführen.\r\n\r\nAktivieren Sie das Kontrollfeld \"Programm automatisch neu starten\", um "
    "die Anwendung nach der Installation sofort neu zu starten.";

const char kFinishText[] =
    "Die Installation wurde vorbereitet.\r\nKlicken SIe auf \"Beenden\", um die alten Dateien zu ersetzen. Ein "
    "Neustart des Computers ist nicht erforderlich.\r\n\r\nWenn Sie nicht die Option zum automatischen Neustart des "
    "Programms aktiviert haben, müssen Sie das Programm nach der Installation manuell neu starten.";

const char kWelcomeText[] =
    "In regelmäßigen Abständen sollte im Internet nach Programmverbesserungen und -updates gesucht werden, um "
    "möglichen Programmfehlern vorzubeugen.\r\nKlicken Sie auf \"Weiter\", um jetzt nach neuen Updates zu suchen, "
    "oder auf \"Abbrechen\", um zu einem anderen Zeitpunkt nach Programmverbesserungen zu suchen.\r\n\r\nKlicken "
    "Sie auf \"Einstellungen\", um festzulegen, ob und in welchen Abständen Sie zum Suchen nach Updates "
    "aufgefordert werden möchten.";
const char kCheckText[] =
    "Stellen Sie sicher, dass eine Internetverbindung besteht, und klicken Sie auf \"Jetzt auf neue Updates "
    "prüfen\".";
const char kNeverText[] =
    "Wenn Sie diese Option aktivieren, werden Sie nicht automatisch zum Suchen nach neuen Updates aufgefordert. Sie "
    "haben dann aber immer noch die Möglichkeit, über die Tastenkombination Strg+U die Suche nach Updates zu "
    "starten.";
const char kPeriodicText[] =
    "Aktivieren Sie diese Option, um in festgelegten Abständen automatisch zum Suchen nach neuen Updates "
    "aufgefordert zu werden. Dies geschieht dann jeweils unmittelbar nach dem Starten des Programms.";


const char kSettingsTitle[] = "Einstellungen";

const char kNoUpdateText[] =
    "Es stehen keine neuen Updates zur Verfügung. Klicken Sie auf \"Beenden\", um den Assistenten zu verlassen.";
const char kUpdateTextPattern[] =
    "Es stehen neue Updates zum Download bereit.\r\n\r\nDie Updates beheben folgende Probleme bzw. stellen "
    "folgende neue Funktionen zur Verfügung:\r\n%s\r\n\r\nKlicken Sie auf \"Weiter\", um die Updates jetzt "
    "herunterzuladen.";

const char kSkipCaption[] = "Diese Version überspringen";
const char kSkippedLineText[] =
    "Diese Version haben Sie übersprungen: Beim automatischen Erinnern wird sie nicht mehr angeboten, erst eine "
    "neuere Version wieder.\r\n\r\n";

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
const char kDelegationExpiredText[] =
    "Der Schlüssel, mit dem die Liste der Updates signiert ist, ist nicht mehr gültig: Seine Vollmacht ist "
    "abgelaufen. Die Liste wird daher nicht gelesen, und es werden keine Updates angeboten.\r\n\r\nKlicken Sie auf \"Zurück\", um erneut nach Updates zu suchen, oder auf \"Abbrechen\", um den Assistenten zu "
    "verlassen.";
const char kKeyEpochLowerText[] =
    "Die Liste der Updates ist mit einem Schlüssel signiert, den der Hersteller schon ersetzt hat. Sie stammt von "
    "einem alten oder gestohlenen Schlüssel; es werden daher keine Updates angeboten.\r\n\r\nKlicken Sie auf \"Zurück\", um erneut nach Updates zu suchen, oder auf \"Abbrechen\", um den Assistenten zu "
    "verlassen.";
const char kProgramNotCoveredText[] =
    "Der Schlüssel, mit dem die Liste der Updates signiert ist, darf nicht für dieses Programm signieren. Die "
    "Liste wird daher nicht gelesen, und es werden keine Updates angeboten.\r\n\r\nKlicken Sie auf \"Zurück\", um erneut nach Updates zu suchen, oder auf \"Abbrechen\", um den Assistenten zu "
    "verlassen.";
const char kRootRetiredText[] =
    "Die Liste der Updates ist über einen Hauptschlüssel signiert, den der Hersteller zurückgezogen hat. Er gilt "
    "als verloren oder gestohlen; es werden daher keine Updates angeboten.\r\n\r\nKlicken Sie auf \"Zurück\", um erneut nach Updates zu suchen, oder auf \"Abbrechen\", um den Assistenten zu "
    "verlassen.";
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
    case Refusal::DelegationExpired: return kDelegationExpiredText;
    case Refusal::KeyEpochLower: return kKeyEpochLowerText;
    case Refusal::ProgramNotCovered: return kProgramNotCoveredText;
    case Refusal::RootRetired: return kRootRetiredText;
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
