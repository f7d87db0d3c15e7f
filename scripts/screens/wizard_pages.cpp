// wizard_pages.exe PAGE: the update wizard of Notizkasten walked to one page for the README's
// pictures (scripts/screenshots.sh), with the work inside the steps played by this program:
//   result-none    the result of a check that found nothing
//   result-update  the result of a check that found an update with three news items
//   download       the download page as a download begins
//   install        the page "Einrichten"
//   finish         the page "Bestätigung3" after a prepared installation
//   refused-unsigned, refused-signature   the result of a check that refused the list (a
//                  program with a key: no signature on the server, or one that does not verify)
//   refused-unchecked, refused-damaged    "Einrichten" refusing the archive (no "SHA256", or
//                  another checksum)
// The walk goes through the wizard's own buttons; the program ends by itself after 6 s.
#include <windows.h>

#include <string>
#include <vector>

#include "settings/UpdateServer.h"
#include "toolkit/Application.h"
#include "toolkit/Timer.h"
#include "wizard/TrelkUpdateFile_StatusForm.h"
#include "wizard/update_rules.h"

namespace {

class TPlayedStatusForm : public wizard::TStatusForm {
 public:
  using TStatusForm::TStatusForm;
  bool finds = false;
  wizard::Refusal listRefusal = wizard::Refusal::None, archiveRefusal = wizard::Refusal::None;

 protected:
  wizard::CheckOutcome CheckUpdates() override {
    wizard::CheckOutcome outcome;
    outcome.kind = listRefusal != wizard::Refusal::None ? wizard::CheckOutcome::Refused
                   : finds                              ? wizard::CheckOutcome::Offered
                                                        : wizard::CheckOutcome::NoUpdate;
    outcome.refusal = listRefusal;
    return outcome;
  }
  std::string ReadNews() override {
    return wizard::NewsListText(std::string("\"01.02.2003: Druckvorschau korrigiert\", \"15.03.2003: Neue Suchfunktion\","
                                            " \"15.03.2003: Schnellere Anzeige\""),
                                37600, base::ShortDateFormat::FromPicture("dd.MM.yyyy"), 37700);
  }
  // The download page keeps showing a download that begins; on the later pages it arrived.
  wizard::DownloadOutcome DownloadUpdate() override {
    while (holdDownload) {
      toolkit::ProcessMessages();
      Sleep(10);
    }
    wizard::DownloadOutcome outcome;
    outcome.kind = wizard::DownloadOutcome::Done;
    return outcome;
  }
  // Nothing is started at the end of this program: it ends by itself.
  wizard::InstallOutcome PrepareInstallation() override {
    wizard::InstallOutcome outcome;
    outcome.kind = archiveRefusal != wizard::Refusal::None ? wizard::InstallOutcome::Refused
                                                            : wizard::InstallOutcome::Prepared;
    outcome.refusal = archiveRefusal;
    return outcome;
  }

 public:
  bool holdDownload = false;
};

void Click(toolkit::TControl* button) { SendMessageA(button->Handle(), BM_CLICK, 0, 0); }

}  // namespace

int main(int argc, char** argv) {
  const std::string page = argc > 1 ? argv[1] : "";
  toolkit::TApplication app;
  app.SetTitle("Notizkasten");
  auto* form = new TPlayedStatusForm(&app, settings::UpdateServerSetting());
  form->DoCreate();
  form->ProgramName = "Notizkasten";
  form->RegistryKey = "WizardPages";
  form->ZIPFileName = "Notizkasten.zip";
  form->finds = page != "result-none";
  // The download page as a download begins: its first text, the bar empty.
  form->holdDownload = page == "download";
  std::vector<int> clicks;  // 0 Weiter >, 1 the check button
  if (page == "result-none" || page == "result-update") clicks = {0, 1};
  if (page == "download") clicks = {0, 1, 0};
  if (page == "install") clicks = {0, 1, 0, 0};
  if (page == "finish") clicks = {0, 1, 0, 0, 0};
  if (page == "refused-unsigned") form->listRefusal = wizard::Refusal::ListUnsigned;
  if (page == "refused-signature") form->listRefusal = wizard::Refusal::ListSignatureInvalid;
  if (page == "refused-unchecked") form->archiveRefusal = wizard::Refusal::ArchiveUnchecked;
  if (page == "refused-damaged") form->archiveRefusal = wizard::Refusal::ArchiveDamaged;
  if (form->listRefusal != wizard::Refusal::None) clicks = {0, 1};
  if (form->archiveRefusal != wizard::Refusal::None) clicks = {0, 1, 0, 0, 0};
  if (clicks.empty()) return 3;
  size_t next = 0;
  toolkit::TTimer walk(nullptr);
  walk.SetInterval(300);
  walk.OnTimer = [&](toolkit::TComponent*) {
    if (next < clicks.size()) {
      Click(clicks[next++] == 0 ? form->Button_Next : form->Button_Check);
    }
  };
  toolkit::TTimer end(nullptr);
  end.SetInterval(6000);
  end.OnTimer = [](toolkit::TComponent*) { ExitProcess(0); };
  form->ShowModal();
  return 0;
}
