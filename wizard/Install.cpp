// The installation of the finish step: the archive unpacked into the temporary folder and its batch
// template turned into the ready "Update.bat".
#include <windows.h>

#include "base/Exception.h"
#include "base/StrUtils.h"
#include "toolkit/Application.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Handles.h"
#include "wizard/TrelkUpdateFile_StatusForm.h"
#include "base/signed_update.h"
#include "wizard/HeldFile.h"
#include "wizard/ProtectedInstall.h"
#include "wizard/SearchFolder.h"
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

// Whether `file` (borrowed), just made in `folder`, really lies there. A 32-bit program without
// a statement of its privileges has its writes into protected folders redirected into the
// user's own store on newer Windows; the batch's cmd.exe is not redirected and would be refused.
// Systems without the final path know no such redirection.
bool MadeInPlace(HANDLE file, const std::string& folder) {
  toolkit::ScopedFile dir(CreateFileA(folder.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const std::string made = dir ? FinalPathOf(file) : std::string();
  const std::string where = dir ? FinalPathOf(dir.get()) : std::string();
  if (made.empty() || where.empty()) return true;  // nothing to compare: the plain answer stands
  return SamePath(base::ExtractFilePath(made), where);
}

}  // namespace

void WriteUpdateBatch(HANDLE batchFile, const std::string& batchPath, const std::string& programDir,
                      const std::string& tempDir, bool restart, bool administratorsFolder) {
  std::string templateText;
  if (!ReadHeld(batchFile, kTemplateLimit, templateText))
    throw base::Exception("Die Datei \"" + batchPath + "\" kann nicht gelesen werden.");
  Rewrite(batchFile, batchPath,
          base::BuildUpdateBatch(base::SplitTemplateLines(templateText), ToOemText(programDir), ToOemText(tempDir),
                                 restart, ToOemText(toolkit::ExeName()), ToOemText(SystemFolder()),
                                 administratorsFolder));
}

toolkit::Seam<bool(const std::string&)> ProgramFolderWritableSeam(
    [](const std::string& folder) { return ProgramFolderWritable(folder); });

bool ProgramFolderWritable(const std::string& folder) {
  // A name no other process uses: this process's id and a count of its own tries.
  static LONG tries = 0;
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string probe = folder + "~trelk-" + std::to_string(GetCurrentProcessId()) + "-" +
                              std::to_string(InterlockedIncrement(&tries)) + ".tmp";
    HANDLE h = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    const DWORD error = h == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    toolkit::ScopedFile file(h);
    if (file) return MadeInPlace(file.get(), folder);
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
    return error != ERROR_ACCESS_DENIED;
  }
  return true;
}

void TStatusForm::ShowInstallFailure() {
  Label3->SetCaption(kInstallFailedText);
  Image_Icon2->SetIcon(LoadIconA(nullptr, IDI_HAND));
  Button_Next->SetEnabled(false);
}

bool TStatusForm::ArchiveAccepted(toolkit::ScopedFile& held, const std::string& path) {
  const std::optional<std::string> digest = FileSha256(held.get());
  if (digest) Run.ArchiveSha256 = base::HexText(*digest);
  // Without a key the checksum only binds the installation with consent to this archive; one
  // that cannot be read cannot be bound.
  Refusal refusal = digest ? Refusal::None : Refusal::ArchiveDamaged;
  if (!UpdatePublicKey.empty()) {
    const std::string value = Run.UpdateList ? Run.UpdateList->ReadString(ProgramName, "SHA256", "") : std::string();
    refusal = JudgeArchive(value, digest);
  }
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
  if ((Run.NeedsConsent || !UpdatePublicKey.empty()) && !ArchiveAccepted(held, archive)) return false;
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
  WriteUpdateBatch(extracted.heldFiles[static_cast<std::size_t>(extracted.batchIndex)].get(), batchPath, ProgramDir,
                   Run.SearchDir, CheckBox_Restart->Checked(), false);
  held.reset();
  // With consent, the archive stays for the installation that copies it.
  if (!Run.NeedsConsent) DeleteFileA(archive.c_str());
  Run.HeldFiles = std::move(extracted.heldFiles);
  Run.InstallPrepared = true;
  Button_Next->SetText("Beenden");
  Button_Cancel->SetEnabled(false);
  return true;
}

}  // namespace wizard
