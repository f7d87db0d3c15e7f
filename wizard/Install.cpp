// The installation of the finish step: the archive unpacked into the temporary folder and its batch
// template turned into the ready "Update.bat".
#include <windows.h>

#include "base/Exception.h"
#include "base/StrUtils.h"
#include "toolkit/Application.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Handles.h"
#include "wizard/TrelkUpdateFile_StatusForm.h"
#include "wizard/HeldFile.h"
#include "wizard/Signature.h"
#include "wizard/ZipExtract.h"
#include "base/batch_template.h"
#include "wizard/update_rules.h"

namespace wizard {

namespace {

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A template is a few lines; far more is no template of an update.
constexpr std::size_t kTemplateLimit = 1024 * 1024;

// Replaces the content of the file behind `file` (borrowed) by `bytes`; throws base::Exception
// naming `path` when that fails.
void Rewrite(HANDLE file, const std::string& path, const std::string& bytes) {
  LARGE_INTEGER start{};
  DWORD written = 0;
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) ||
      !WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size() || !SetEndOfFile(file))
    throw base::Exception("Die Datei \"" + path + "\" kann nicht geschrieben werden.");
}

}  // namespace

void TStatusForm::ShowInstallFailure() {
  Label3->SetCaption(kInstallFailedText);
  Image_Icon2->SetIcon(LoadIconA(nullptr, IDI_HAND));
  Button_Next->SetEnabled(false);
}

bool TStatusForm::ArchiveAccepted(toolkit::ScopedFile& held, const std::string& path) {
  const std::string value = Run.UpdateList ? Run.UpdateList->ReadString(ProgramName, "SHA256", "") : std::string();
  const Refusal refusal = JudgeArchive(value, FileSha256(held.get()));
  if (refusal == Refusal::None) return true;
  // Nothing of it is unpacked, and it does not stay to be taken for a later download.
  held.reset();
  DeleteFileA(path.c_str());
  ShowArchiveRefusal(refusal);
  return false;
}

void TStatusForm::ShowArchiveRefusal(Refusal refusal) {
  Run.ArchiveRefused = true;
  Label3->SetCaption(RefusalText(refusal));
  Image_Icon2->SetIcon(LoadIconA(nullptr, IDI_HAND));
  OfferWayBack();
}

bool TStatusForm::PrepareInstallation() {
  const std::string archive = Run.SearchDir + ZIPFileName;
  if (Run.SearchDir.empty() || ZIPFileName.empty() || !IsFile(archive)) {
    ShowInstallFailure();
    return false;
  }
  // One handle, shared for reading only, from the checksum to the last unpacked byte: no other
  // process can change the archive between its check and its use.
  toolkit::ScopedFile held = HoldForReading(archive);
  if (!UpdatePublicKey.empty() && !ArchiveAccepted(held, archive)) return false;
  // A damaged archive, or one that is no archive at all (an error page, a cut-off download),
  // installs nothing: what it did put into the folder goes again.
  ExtractResult extracted = ExtractAll(held.get(), archive, Run.SearchDir);
  if (!extracted.Complete()) {
    RemoveWritten(extracted);
    ShowInstallFailure();
    toolkit::MessageDlg(extracted.error + "\r\n\r\nDas Update wird nicht installiert.", MB_OK | MB_ICONERROR);
    return false;
  }
  const std::string batchPath = Run.SearchDir + "Update.bat";
  if (extracted.batchIndex < 0) throw base::Exception("Die Datei \"" + batchPath + "\" kann nicht geöffnet werden.");
  // The template is read from the file the extraction made and still holds, and the batch is
  // written into the same file.
  HANDLE batchFile = extracted.heldFiles[static_cast<std::size_t>(extracted.batchIndex)].get();
  std::string templateText;
  if (!ReadHeld(batchFile, kTemplateLimit, templateText))
    throw base::Exception("Die Datei \"" + batchPath + "\" kann nicht gelesen werden.");
  const std::string exe = toolkit::ExeName();
  const std::string batch =
      base::BuildUpdateBatch(base::SplitTemplateLines(templateText), ToOemText(base::ExtractFilePath(exe)),
                       ToOemText(Run.SearchDir), CheckBox_Restart->Checked(), ToOemText(exe));
  Rewrite(batchFile, batchPath, batch);
  held.reset();
  DeleteFileA(archive.c_str());
  Run.HeldFiles = std::move(extracted.heldFiles);
  Run.InstallPrepared = true;
  Button_Next->SetText("Beenden");
  Button_Cancel->SetEnabled(false);
  return true;
}

}  // namespace wizard
