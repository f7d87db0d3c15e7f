// The keep at the preparation, the restore's checked copies and batch, and the restore the
// settings tool asks for.
#include "wizard/PreviousVersion.h"

#include <exception>

#include "base/StrUtils.h"
#include "base/batch_template.h"
#include "publish/template_rules.h"
#include "settings/ProgramKey.h"
#include "toolkit/Application.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Seams.h"
#include "wizard/HeldFile.h"
#include "wizard/ProtectedInstall.h"
#include "wizard/SearchFolder.h"
#include "wizard/Signature.h"
#include "wizard/UpdateRun.h"
#include "wizard/ZipExtract.h"

namespace wizard {

namespace {

// How long the restore's batch waits for one file in use (the program that started it ends
// right after the start).
constexpr int kRestoreWaitSeconds = 30;

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Copies `from` (held for reading meanwhile) into the new file `to` with its last-write time (a
// program dates its version by its file); false when either fails.
bool CopyNew(const std::string& from, const std::string& to) { return CopyNewFile(from, to, ~0ull, true); }

bool WriteNew(const std::string& path, const std::string& bytes) {
  toolkit::ScopedFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool MakeKeep(const std::string& programDir, const std::vector<std::string>& names, const std::string& folder) {
  if (Exists(folder) && !RemoveFolderTree(folder)) return false;
  // Made new, the folder takes the program folder's protection.
  if (!CreateDirectoryA(folder.c_str(), nullptr)) return false;
  KeepList list;
  for (const std::string& name : names) {
    if (!IsKeepFileName(name)) return false;
    const std::string installed = programDir + name;
    if (!Exists(installed)) {
      list.added.push_back(name);
      continue;
    }
    if (!IsFile(installed) || !CopyNew(installed, folder + name)) return false;
    const std::optional<std::string> digest = FileSha256(folder + name);
    if (!digest) return false;
    list.kept.push_back({name, base::HexText(*digest)});
  }
  // An installation that replaces nothing leaves nothing to go back to.
  return !list.kept.empty() && WriteNew(folder + kKeepListName, KeepListText(list));
}

std::string ProgramDir() { return base::ExtractFilePath(toolkit::ExeName()); }

}  // namespace

std::vector<std::string> KeptNames(const ExtractResult& extracted) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < extracted.writtenFiles.size(); ++i) {
    if (static_cast<int>(i) == extracted.batchIndex) continue;
    const std::wstring& path = extracted.writtenFiles[i];
    const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    // A name without an ANSI form cannot be kept: then nothing is (an empty name fails the keep).
    BOOL lossy = FALSE;
    char buffer[MAX_PATH * 2];
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.c_str(), static_cast<int>(name.size()), buffer,
                                      sizeof buffer, nullptr, &lossy);
    names.push_back(n > 0 && !lossy ? std::string(buffer, static_cast<std::size_t>(n)) : std::string());
  }
  return names;
}

bool KeepPrevious(const std::string& programDir, const std::vector<std::string>& names) {
  const std::string fresh = programDir + kKeepNewFolderName + "\\";
  const std::string keep = programDir + kKeepFolderName + "\\";
  try {
    if (MakeKeep(programDir, names, fresh)) {
      if ((!Exists(keep) || RemoveFolderTree(keep)) &&
          MoveFileA(fresh.substr(0, fresh.size() - 1).c_str(), keep.substr(0, keep.size() - 1).c_str()))
        return true;
    }
  } catch (const std::exception&) {
  }
  RemoveFolderTree(fresh);
  DropKept(programDir);
  return false;
}

void DropKept(const std::string& programDir) {
  const std::string keep = programDir + kKeepFolderName + "\\";
  if (Exists(keep)) RemoveFolderTree(keep);
}

void RemoveAddedFiles(const std::string& programDir) {
  try {
    std::string text;
    toolkit::ScopedFile file = HoldForReading(programDir + kKeepFolderName + "\\" + kKeepListName);
    if (!ReadHeld(file.get(), kKeepListLimit, text)) return;
    // The names are plain file names of the program folder (no path), or the list is not read.
    if (const std::optional<KeepList> list = ReadKeepList(text))
      for (const std::string& name : list->added) DeleteFileA((programDir + name).c_str());
  } catch (const std::exception&) {
  }
}

std::optional<PreviousVersion> StoredPreviousVersion(HKEY root, const std::string& registryKey) {
  try {
    const settings::ProgramKey key(root, registryKey, settings::ProgramKey::Access::Read);
    const std::optional<std::string> text = key.TryPreviousVersion();
    if (!text) return std::nullopt;
    return ReadPreviousVersion(*text);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

RestoreOutcome PrepareRestore(const std::string& keepDir, const std::string& workDir, const std::string& programDir,
                              HKEY root, const std::string& registryKey, bool administratorsFolder,
                              std::vector<toolkit::ScopedFile>& held) {
  try {
    // The list, too, is read only as copied into the work folder.
    const std::string listCopy = workDir + "$" + kKeepListName;
    if (!IsFile(keepDir + kKeepListName)) return RestoreOutcome::NoPrevious;
    if (!CopyNew(keepDir + kKeepListName, listCopy)) return RestoreOutcome::Failed;
    std::string text;
    {
      toolkit::ScopedFile list = HoldForReading(listCopy);
      if (!ReadHeld(list.get(), kKeepListLimit, text)) return RestoreOutcome::NoPrevious;
    }
    DeleteFileA(listCopy.c_str());
    const std::optional<KeepList> list = ReadKeepList(text);
    if (!list) return RestoreOutcome::NoPrevious;
    std::vector<std::string> names;
    for (const KeptFile& f : list->kept) {
      const std::string copy = workDir + f.name;
      if (!CopyNew(keepDir + f.name, copy)) return RestoreOutcome::FilesChanged;
      // Held from the check on: the batch installs the bytes that were checked.
      held.push_back(HoldForReading(copy));
      const std::optional<std::string> digest = FileSha256(held.back().get());
      if (!digest || base::HexText(*digest) != f.sha256) return RestoreOutcome::FilesChanged;
      names.push_back(f.name);
    }
    publish::TemplateOptions options;
    options.root = root == HKEY_CURRENT_USER ? publish::RegistryRoot::CurrentUser : publish::RegistryRoot::LocalMachine;
    options.registryKey = registryKey;
    options.waitSeconds = kRestoreWaitSeconds;
    const std::string batch = workDir + "Update.bat";
    toolkit::ScopedFile file(CreateFileA(batch.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                         CREATE_NEW, 0, nullptr));
    if (!file) return RestoreOutcome::Failed;
    const std::string templateText = publish::SafeUpdateTemplate(names, options);
    DWORD written = 0;
    if (!WriteFile(file.get(), templateText.data(), static_cast<DWORD>(templateText.size()), &written, nullptr) ||
        written != templateText.size())
      return RestoreOutcome::Failed;
    WriteUpdateBatch(file.get(), batch, programDir, workDir, false, administratorsFolder);
    // Held for reading only from here on: the shell and cmd.exe open it, and nobody changes it.
    file.reset();
    held.push_back(HoldForReading(batch));
    return RestoreOutcome::Started;
  } catch (const std::exception&) {
    return RestoreOutcome::Failed;
  }
}

RestoreOutcome RestorePreviousVersion(HKEY root, const std::string& registryKey) {
  RestoreOutcome outcome = RestoreOutcome::NoPrevious;
  const std::optional<PreviousVersion> previous = StoredPreviousVersion(root, registryKey);
  if (previous && previous->state == PreviousVersion::Kept) {
    const std::string programDir = ProgramDir();
    std::vector<toolkit::ScopedFile> held;
    std::string work;
    try {
      if (ProgramFolderWritableSeam(programDir)) {
        work = MakeSearchFolder(toolkit::TempPathSeam(), registryKey);
        outcome = PrepareRestore(programDir + kKeepFolderName + "\\", work, programDir, root, registryKey, false, held);
      } else {
        const toolkit::ElevatedStart start =
            toolkit::ElevatedStartSeam(nullptr, toolkit::ExeName(), kProtectedRestoreArgument);
        outcome = RestoreOutcome::Failed;
        if (start.process) {
          toolkit::ScopedHandle process(start.process);
          DWORD code = static_cast<DWORD>(RestoreOutcome::Failed);
          WaitForSingleObject(process.get(), INFINITE);
          if (GetExitCodeProcess(process.get(), &code) && code <= static_cast<DWORD>(RestoreOutcome::NoPrevious))
            outcome = static_cast<RestoreOutcome>(code);
        }
      }
      if (outcome == RestoreOutcome::Started) {
        // Recorded before the batch can end: its outcome settles the state at the next start.
        settings::ProgramKey key(root, registryKey, settings::ProgramKey::Access::Change);
        PreviousVersion restoring = *previous;
        restoring.state = PreviousVersion::Restoring;
        key.SetPreviousVersion(PreviousVersionText(restoring));
        key.SetSkipped(previous->date, previous->sha256);
        if (!work.empty() &&
            toolkit::ShellExecuteSeam(nullptr, "open", work + "Update.bat", "", "", SW_HIDE) <= 32) {
          // Nothing runs: the kept version can still be restored.
          key.SetPreviousVersion(PreviousVersionText(*previous));
          outcome = RestoreOutcome::Failed;
        }
      }
    } catch (const std::exception&) {
      outcome = RestoreOutcome::Failed;
    }
    if (outcome != RestoreOutcome::Started && !work.empty()) {
      held.clear();
      RemoveFolderTree(work);
    }
  }
  if (outcome != RestoreOutcome::Started) toolkit::MessageDlg(RestoreOutcomeText(outcome), MB_OK | MB_ICONWARNING);
  return outcome;
}

}  // namespace wizard
