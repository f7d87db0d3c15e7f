// The update-list check behind "Jetzt auf neue Updates prüfen", and the news list of the
// result page.
#include <windows.h>

#include "base/Exception.h"
#include "settings/ProgramKey.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Seams.h"
#include "wizard/HeldFile.h"
#include "wizard/SearchFolder.h"
#include "wizard/Signature.h"
#include "wizard/TrelkUpdateFile_StatusForm.h"
#include "wizard/UserLocale.h"
#include "wizard/update_rules.h"

namespace wizard {

namespace {

// The list's signature is one line; anything far beyond is refused before it is held in memory.
constexpr std::size_t kSignatureFileLimit = 4096;

// A new empty file in `folder` made by the platform ("$" and a number); throws when none can
// be made.
std::string NewTempFile(const std::string& folder) {
  char name[MAX_PATH];
  if (!GetTempFileNameA(folder.c_str(), "$", 0, name))
    throw base::Exception("Im Ordner \"" + folder + "\" kann keine temporäre Datei angelegt werden.");
  return name;
}

}  // namespace

void TStatusForm::CheckForUpdates() {
  // Each check works in a new folder of its own; what an earlier search of this program left
  // behind goes, unless its installation still waits for its program's end.
  Run.DropSearch();
  RemoveLeftSearchFolders(Run.TempDir, RegistryKey);
  Run.ListRefusal = Refusal::None;
  Run.ArchiveSize.reset();
  FetchResult list;
  if (toolkit::InternetConnectedSeam()) {
    Run.UpdateAvailable = true;
    list = FetchList();
    if (!list.arrived) Run.UpdateAvailable = false;
  }
  if (!list.arrived) {
    Run.DropSearch();
    if (list.tooLong) {
      toolkit::ShowMessageBox(Handle(), kListTooLongText, kListTooLongCaption, MB_OK | MB_ICONEXCLAMATION);
    } else {
      // Through the user's proxy, the message says so: the proxy may be what failed.
      const std::string text = list.proxy.empty() ? std::string(kNoConnectionText)
                                                  : std::string(kNoConnectionText) + kViaProxyText + list.proxy + ".";
      toolkit::ShowMessageBox(Handle(), text, kNoConnectionCaption, MB_OK | MB_ICONEXCLAMATION);
    }
    return;
  }
  // A program with a key reads no list older than one it accepted, and none that has expired.
  if (Run.ListRefusal == Refusal::None && !UpdatePublicKey.empty()) Run.ListRefusal = CheckListFreshness();
  if (Run.ListRefusal == Refusal::None) {
    const ListVerdict verdict = JudgeListOffer(!UpdatePublicKey.empty(), Run.UpdateList->SectionExists(ProgramName),
                                               Run.UpdateList->ReadString(ProgramName, "Date", ""), ReferenceDate,
                                               UserShortDateFormat(), toolkit::Today());
    Run.UpdateAvailable = verdict.offered;
    Run.ListRefusal = verdict.refusal;
  }
  if (Run.ListRefusal != Refusal::None) {
    // The result page says why; nothing of the refused list stays.
    Run.DropSearch();
    Run.UpdateAvailable = false;
  }
  Button_NextClick(Button_Check);
}

FetchResult TStatusForm::FetchList() {
  FetchResult fetched;
  try {
    Run.SearchDir = MakeSearchFolder(Run.TempDir, RegistryKey);
    Run.ListFileName = NewTempFile(Run.SearchDir);
    fetched = FetchFile(*HTTP, "http://" + UpdateServer + "/Updates.ini", Run.ListFileName, kListLimit);
    if (!fetched.arrived) return fetched;
    // From here on no other process can change the file: what is checked below is what the
    // list reader reads.
    Run.HeldList = HoldForReading(Run.ListFileName);
    std::string bytes;
    if (!ReadHeld(Run.HeldList.get(), kListLimit, bytes))
      throw base::Exception("Die Datei \"" + Run.ListFileName + "\" kann nicht gelesen werden.");
    // A program with a key reads nothing of a list whose signature does not verify.
    if (!UpdatePublicKey.empty()) {
      const std::optional<Refusal> refusal = CheckListSignature(bytes);
      if (!refusal) {
        fetched.arrived = false;
        return fetched;
      }
      Run.ListRefusal = *refusal;
    }
    if (Run.ListRefusal == Refusal::None) Run.UpdateList = std::make_unique<TIniFile>(Run.ListFileName);
  } catch (const std::exception& e) {
    // No folder, no file, or a list that cannot be read: as a list that did not come.
    fetched.arrived = false;
    fetched.reason = e.what();
  }
  return fetched;
}

ListFreshness ReadListFreshness(const TIniFile& list, const std::string& programName) {
  ListFreshness freshness;
  freshness.hasListSection = list.SectionExists(kListSection);
  freshness.serial = list.ReadString(kListSection, kSerialKey, "");
  freshness.expires = list.ReadString(kListSection, kExpiresKey, "");
  if (list.ValueExists(programName, kSizeKey)) freshness.size = list.ReadString(programName, kSizeKey, "");
  return freshness;
}

std::optional<std::uint32_t> StoredListSerial(HKEY root, const std::string& registryKey) {
  try {
    return settings::ProgramKey(root, registryKey, settings::ProgramKey::Access::Read).UpdateSerial();
  } catch (const settings::ERegistryException&) {
    return 0u;
  }
}

Refusal TStatusForm::CheckListFreshness() {
  ListFreshness list = ReadListFreshness(*Run.UpdateList, ProgramName);
  list.stored = StoredListSerial(RootKey(), RegistryKey);
  const FreshnessVerdict verdict = JudgeListFreshness(list, toolkit::Today());
  Run.ArchiveSize = verdict.size;
  // Stored at every accepted check, not only after an installation: a user who looks and
  // cancels must not be offered an older list afterwards either.
  if (verdict.serial) {
    try {
      settings::ProgramKey(RootKey(), RegistryKey, settings::ProgramKey::Access::Create).SetUpdateSerial(*verdict.serial);
    } catch (const settings::ERegistryException&) {
      // A key without write access keeps the last serial it has: the list is still good.
    }
  }
  return verdict.refusal;
}

std::optional<Refusal> TStatusForm::CheckListSignature(const std::string& list) {
  const std::string signatureFile = NewTempFile(Run.SearchDir);
  const FetchResult fetched =
      FetchFile(*HTTP, "http://" + UpdateServer + "/Updates.ini.sig", signatureFile, kSignatureFileLimit);
  // A signature is one line: a longer reply is none, however it goes on. A reply with an error
  // status says that the list has no signature on the server.
  if (!fetched.arrived && !fetched.tooLong && fetched.status == 0) {
    DeleteFileA(signatureFile.c_str());
    return std::nullopt;
  }
  std::string signature;
  if (fetched.arrived) {
    toolkit::ScopedFile held = HoldForReading(signatureFile);
    if (!ReadHeld(held.get(), kSignatureFileLimit, signature)) signature.clear();
  }
  DeleteFileA(signatureFile.c_str());
  Run.ListSignature = std::string(base::TrimBlanksAndBreaks(signature));
  return JudgeSignedList(UpdatePublicKey, fetched.arrived || fetched.tooLong, signature,
                         [&list](const std::string& key, const std::string& sig) {
                           return SignatureVerifies(list, sig, key);
                         });
}

std::string TStatusForm::ReadNews() {
  std::optional<std::string> news;
  if (Run.UpdateList && Run.UpdateList->ValueExists(ProgramName, "News"))
    news = Run.UpdateList->ReadString(ProgramName, "News", "");
  return NewsListText(news, ReferenceDate, UserShortDateFormat(), toolkit::Today());
}

}  // namespace wizard
