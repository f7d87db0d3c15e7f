// The update-list check behind "Jetzt auf neue Updates prüfen", and the news list of the
// result page.
#include <windows.h>

#include "base/Exception.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Seams.h"
#include "wizard/TrelkUpdateFile_StatusForm.h"
#include "wizard/UserLocale.h"
#include "wizard/update_rules.h"

namespace wizard {

namespace {

// Forgets the list of an earlier check and deletes its file.
void DropList(std::string& listFileName) {
  UpdateList.reset();
  if (!listFileName.empty()) DeleteFileA(listFileName.c_str());
  listFileName.clear();
}

}  // namespace

void TStatusForm::CheckForUpdates() {
  // A second click while the list is on its way would start a second request on the same
  // client inside the first.
  Button_Check->SetEnabled(false);
  struct Reenable {
    toolkit::TButton* button;
    ~Reenable() { button->SetEnabled(true); }
  } reenable{Button_Check};

  DropList(ListFileName);
  bool fetched = toolkit::InternetConnectedSeam();
  if (fetched) {
    UpdateAvailable = true;
    try {
      char name[MAX_PATH];
      if (!GetTempFileNameA(TempDir.c_str(), "$", 0, name))
        throw base::Exception("Im Ordner \"" + TempDir + "\" kann keine temporäre Datei angelegt werden.");
      ListFileName = name;
      HTTP->Body = ListFileName;
      HTTP->Get("http://" + UpdateServer + "/Updates.ini");
      UpdateList = std::make_unique<TIniFile>(ListFileName);
    } catch (...) {
      UpdateAvailable = false;
    }
    // A status of 400 or more has cleared it through HTTPFailure, without an error.
    fetched = UpdateAvailable;
  }
  if (!fetched) {
    DropList(ListFileName);
    toolkit::ShowMessageBox(Handle(), kNoConnectionText, kNoConnectionCaption, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  UpdateAvailable = UpdateOffered(UpdateList->SectionExists(ProgramName), UpdateList->ReadString(ProgramName, "Date", ""),
                                  ReferenceDate, UserShortDateFormat(), toolkit::Today());
  Button_NextClick(Button_Check);
}

std::string TStatusForm::ReadNews() {
  std::optional<std::string> news;
  if (UpdateList && UpdateList->ValueExists(ProgramName, "News")) news = UpdateList->ReadString(ProgramName, "News", "");
  return NewsListText(news, ReferenceDate, UserShortDateFormat(), toolkit::Today());
}

}  // namespace wizard
