// The update-list check behind "Jetzt auf neue Updates prüfen", and the news list of the
// result page.
#include <windows.h>

#include "base/Exception.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Seams.h"
#include "wizard/TrelkUpdateFile_StatusForm.h"
#include "wizard/SearchFolder.h"
#include "wizard/Signature.h"
#include "wizard/UserLocale.h"
#include "wizard/update_rules.h"

namespace wizard {

namespace {

// The list's signature is one line; a list is a few kilobytes. Anything far beyond is refused
// before it is held in memory.
constexpr std::size_t kSignatureFileLimit = 4096;
constexpr std::size_t kListLimit = 16 * 1024 * 1024;

// A new empty file in `folder` made by the platform ("$" and a number); throws when none can
// be made.
std::string NewTempFile(const std::string& folder) {
  char name[MAX_PATH];
  if (!GetTempFileNameA(folder.c_str(), "$", 0, name))
    throw base::Exception("Im Ordner \"" + folder + "\" kann keine temporäre Datei angelegt werden.");
  return name;
}

}  // namespace

void TStatusForm::DropSearch() {
  UpdateList.reset();
  listLock_.reset();
  heldFiles_.clear();
  ListFileName.clear();
  if (!SearchDir.empty()) RemoveFolderTree(SearchDir);
  SearchDir.clear();
}

void TStatusForm::CheckForUpdates() {
  // A second click while the list is on its way would start a second request on the same
  // client inside the first.
  Button_Check->SetEnabled(false);
  struct Reenable {
    toolkit::TButton* button;
    ~Reenable() { button->SetEnabled(true); }
  } reenable{Button_Check};

  // Each check works in a new folder of its own; what an earlier search of this program left
  // behind goes, unless its installation still waits for its program's end.
  DropSearch();
  RemoveLeftSearchFolders(TempDir, RegistryKey);
  listRefusal_ = Refusal::None;
  bool fetched = toolkit::InternetConnectedSeam();
  bool listTooLong = false;
  if (fetched) {
    UpdateAvailable = true;
    try {
      SearchDir = MakeSearchFolder(TempDir, RegistryKey);
      ListFileName = NewTempFile(SearchDir);
      HTTP->Body = ListFileName;
      HTTP->MaxBodyBytes = kListLimit;
      HTTP->Get("http://" + UpdateServer + "/Updates.ini");
      if (UpdateAvailable) {
        // From here on no other process can change the file: what is checked below is what the
        // list reader reads.
        listLock_ = HoldForReading(ListFileName);
        std::string list;
        if (!ReadHeld(listLock_.get(), kListLimit, list))
          throw base::Exception("Die Datei \"" + ListFileName + "\" kann nicht gelesen werden.");
        // A program with a key reads nothing of a list whose signature does not verify.
        if (!UpdatePublicKey.empty()) listRefusal_ = CheckListSignature(list);
        if (listRefusal_ == Refusal::None) UpdateList = std::make_unique<TIniFile>(ListFileName);
      }
    } catch (...) {
      UpdateAvailable = false;
      listTooLong = HTTP->BodyLimitReached();
    }
    HTTP->MaxBodyBytes = -1;
    // A status of 400 or more has cleared it through HTTPFailure, without an error.
    fetched = UpdateAvailable;
  }
  if (!fetched) {
    DropSearch();
    if (listTooLong) {
      toolkit::ShowMessageBox(Handle(), kListTooLongText, kListTooLongCaption, MB_OK | MB_ICONEXCLAMATION);
    } else {
      toolkit::ShowMessageBox(Handle(), kNoConnectionText, kNoConnectionCaption, MB_OK | MB_ICONEXCLAMATION);
    }
    return;
  }
  if (listRefusal_ != Refusal::None) {
    // The result page says why; the list is gone before anything of it was read.
    DropSearch();
    UpdateAvailable = false;
    Button_NextClick(Button_Check);
    return;
  }
  const ListVerdict verdict =
      JudgeListOffer(!UpdatePublicKey.empty(), UpdateList->SectionExists(ProgramName),
                     UpdateList->ReadString(ProgramName, "Date", ""), ReferenceDate, UserShortDateFormat(), toolkit::Today());
  UpdateAvailable = verdict.offered;
  listRefusal_ = verdict.refusal;
  if (listRefusal_ != Refusal::None) DropSearch();
  Button_NextClick(Button_Check);
}

Refusal TStatusForm::CheckListSignature(const std::string& list) {
  const std::string signatureFile = NewTempFile(SearchDir);
  HTTP->Body = signatureFile;
  HTTP->MaxBodyBytes = kSignatureFileLimit;
  bool tooLong = false;
  try {
    HTTP->Get("http://" + UpdateServer + "/Updates.ini.sig");
  } catch (const net::EHttpError&) {
    // A signature is one line: a longer reply is none, however it goes on.
    if (!HTTP->BodyLimitReached()) throw;
    tooLong = true;
  }
  // An error status cleared UpdateAvailable through HTTPFailure, without an error: the list
  // has no signature on the server.
  const bool found = UpdateAvailable || tooLong;
  UpdateAvailable = true;
  std::string signature;
  if (found && !tooLong) {
    toolkit::ScopedFile held = HoldForReading(signatureFile);
    if (!ReadHeld(held.get(), kSignatureFileLimit, signature)) signature.clear();
  }
  DeleteFileA(signatureFile.c_str());
  return JudgeSignedList(UpdatePublicKey, found, signature,
                         [&list](const std::string& key, const std::string& sig) {
                           return SignatureVerifies(list, sig, key);
                         });
}

std::string TStatusForm::ReadNews() {
  std::optional<std::string> news;
  if (UpdateList && UpdateList->ValueExists(ProgramName, "News")) news = UpdateList->ReadString(ProgramName, "News", "");
  return NewsListText(news, ReferenceDate, UserShortDateFormat(), toolkit::Today());
}

}  // namespace wizard
