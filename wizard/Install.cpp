// The installation of step 5: the archive unpacked into the temporary folder and its batch
// template turned into the ready "Update.bat".
#include <windows.h>

#include <vector>

#include "base/Exception.h"
#include "base/StrUtils.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Handles.h"
#include "wizard/TrelkUpdateFile_StatusForm.h"
#include "wizard/Signature.h"
#include "wizard/ZipExtract.h"
#include "wizard/update_rules.h"

namespace wizard {

namespace {

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The running program's full path, however long.
std::string ExecutablePath() {
  std::vector<char> buffer(MAX_PATH);
  while (true) {
    DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

// The whole file; throws base::Exception with its name when it cannot be read.
std::string ReadWholeFile(const std::string& path) {
  toolkit::ScopedFile file(
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw base::Exception("Die Datei \"" + path + "\" kann nicht geöffnet werden.");
  std::string text;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  return text;
}

// Replaces the file by `bytes`; throws base::Exception with its name when that fails.
void WriteWholeFile(const std::string& path, const std::string& bytes) {
  toolkit::ScopedFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file || !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size())
    throw base::Exception("Die Datei \"" + path + "\" kann nicht geschrieben werden.");
}

}  // namespace

void TStatusForm::ShowInstallFailure() {
  Label3->SetCaption(kInstallFailedText);
  Image_Icon2->SetIcon(LoadIconA(nullptr, IDI_HAND));
  Button_Next->SetEnabled(false);
}

bool TStatusForm::ArchiveAccepted(const std::string& archive) {
  const std::string value = UpdateList ? UpdateList->ReadString(ProgramName, "SHA256", "") : std::string();
  const Refusal refusal = JudgeArchive(value, FileSha256(archive));
  if (refusal == Refusal::None) return true;
  // Nothing of it is unpacked, and it does not stay to be taken for a later download.
  DeleteFileA(archive.c_str());
  ShowArchiveRefusal(refusal);
  return false;
}

void TStatusForm::ShowArchiveRefusal(Refusal refusal) {
  archiveRefused_ = true;
  Label3->SetCaption(RefusalText(refusal));
  Image_Icon2->SetIcon(LoadIconA(nullptr, IDI_HAND));
  OfferWayBack();
}

bool TStatusForm::PrepareInstallation() {
  const std::string archive = TempDir + ZIPFileName;
  if (ZIPFileName.empty() || !IsFile(archive)) {
    ShowInstallFailure();
    return false;
  }
  if (!UpdatePublicKey.empty() && !ArchiveAccepted(archive)) return false;
  // A damaged archive, or one that is no archive at all (an error page, a cut-off download),
  // installs nothing: what it did put into the folder goes again, so that nothing of it is
  // taken for a file of a later, sound archive.
  const ExtractResult extracted = ExtractAll(archive, TempDir);
  if (!extracted.Complete()) {
    RemoveWritten(extracted);
    ShowInstallFailure();
    toolkit::MessageDlg(extracted.error + "\r\n\r\nDas Update wird nicht installiert.", MB_OK | MB_ICONERROR);
    return false;
  }
  const std::string batchPath = TempDir + "Update.bat";
  const std::string exe = ExecutablePath();
  const std::string batch =
      BuildUpdateBatch(SplitTemplateLines(ReadWholeFile(batchPath)), ToOemText(base::ExtractFilePath(exe)),
                       ToOemText(TempDir), CheckBox_Restart->Checked(), ToOemText(exe));
  WriteWholeFile(batchPath, batch);
  DeleteFileA(archive.c_str());
  InstallPrepared = true;
  Button_Next->SetText("Beenden");
  Button_Cancel->SetEnabled(false);
  return true;
}

}  // namespace wizard
