// The update-list check behind "Jetzt auf neue Updates prüfen", and the news list of the
// result page.
#include <windows.h>

#include "base/Exception.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Seams.h"
#include "wizard/TrelkUpdateFile_StatusForm.h"
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
  listRefusal_ = Refusal::None;
  bool fetched = toolkit::InternetConnectedSeam();
  if (fetched) {
    UpdateAvailable = true;
    try {
      ListFileName = NewTempFile(TempDir);
      HTTP->Body = ListFileName;
      HTTP->Get("http://" + UpdateServer + "/Updates.ini");
      // A program with a key reads nothing of a list whose signature does not verify.
      if (UpdateAvailable && !UpdatePublicKey.empty()) listRefusal_ = CheckListSignature();
      if (listRefusal_ == Refusal::None) UpdateList = std::make_unique<TIniFile>(ListFileName);
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
  if (listRefusal_ != Refusal::None) {
    // The result page says why; the list is gone before anything of it was read.
    DropList(ListFileName);
    UpdateAvailable = false;
    Button_NextClick(Button_Check);
    return;
  }
  const ListVerdict verdict =
      JudgeListOffer(!UpdatePublicKey.empty(), UpdateList->SectionExists(ProgramName),
                     UpdateList->ReadString(ProgramName, "Date", ""), ReferenceDate, UserShortDateFormat(), toolkit::Today());
  UpdateAvailable = verdict.offered;
  listRefusal_ = verdict.refusal;
  if (listRefusal_ != Refusal::None) DropList(ListFileName);
  Button_NextClick(Button_Check);
}

Refusal TStatusForm::CheckListSignature() {
  const std::string signatureFile = NewTempFile(TempDir);
  struct Remove {
    const std::string& path;
    ~Remove() { DeleteFileA(path.c_str()); }
  } remove{signatureFile};
  HTTP->Body = signatureFile;
  HTTP->Get("http://" + UpdateServer + "/Updates.ini.sig");
  // An error status cleared UpdateAvailable through HTTPFailure, without an error: the list
  // has no signature on the server.
  const bool found = UpdateAvailable;
  UpdateAvailable = true;
  const auto signature = found ? ReadSmallFile(signatureFile, kSignatureFileLimit) : std::nullopt;
  return JudgeSignedList(UpdatePublicKey, found, signature.value_or(std::string()),
                         [this](const std::string& key, const std::string& sig) {
                           const auto list = ReadSmallFile(ListFileName, kListLimit);
                           return list && SignatureVerifies(*list, sig, key);
                         });
}

std::string TStatusForm::ReadNews() {
  std::optional<std::string> news;
  if (UpdateList && UpdateList->ValueExists(ProgramName, "News")) news = UpdateList->ReadString(ProgramName, "News", "");
  return NewsListText(news, ReferenceDate, UserShortDateFormat(), toolkit::Today());
}

}  // namespace wizard
