// The unattended update: the road of the wizard without its window, for a script or a scheduled
// task. The installation's batch replaces the program's own file, which this process holds
// while it waits for the batch: the image is renamed aside first (a running program's file can
// be renamed, not replaced), put back when the batch failed and left no program, and deleted at
// a later start.
#include <windows.h>

#include <memory>

#include "base/StrUtils.h"
#include "engine/TrelkUpdateFile.h"
#include "net/HttpClient.h"
#include "settings/ProgramKey.h"
#include "toolkit/Application.h"
#include "toolkit/Handles.h"
#include "toolkit/Seams.h"
#include "wizard/HeldFile.h"
#include "wizard/ProtectedInstall.h"
#include "wizard/Signature.h"
#include "wizard/UpdateRun.h"

namespace engine {

namespace {

// The name an unattended run renames its own image to while the batch installs.
std::string SetAsideName(const std::string& exe) { return exe + ".trelk-alt"; }

// Whether this process runs with an administrator's full rights (an elevated token, or a system
// without the split: then the member of the administrators' group counts).
bool RunsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool elevated =
      GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) && elevation.TokenIsElevated;
  CloseHandle(token);
  return elevated;
}

// The local date and time for a record a person reads.
std::string Now() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  char text[32];
  wsprintfA(text, "%02u.%02u.%04u %02u:%02u:%02u", t.wDay, t.wMonth, t.wYear, t.wHour, t.wMinute, t.wSecond);
  return text;
}

// The batch of a prepared installation in this user's search folder, started hidden with the
// system's cmd.exe from the system folder; its process, or null.
HANDLE StartBatch(const std::string& batch) {
  const std::string system = wizard::SystemFolder();
  if (system.empty()) return nullptr;
  std::string commandLine = "cmd.exe /d /c \"\"" + batch + "\"\"";
  STARTUPINFOA startup{sizeof startup};
  PROCESS_INFORMATION process{};
  if (!CreateProcessA((system + "cmd.exe").c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, system.c_str(), &startup, &process))
    return nullptr;
  CloseHandle(process.hThread);
  return process.hProcess;
}

// What no user answers in an unattended run: every message box is answered "Abbrechen" (or its
// kin) without showing.
int Unanswered(HWND, const std::string&, const std::string&, UINT flags) {
  switch (flags & MB_TYPEMASK) {
    case MB_YESNO: return IDNO;
    case MB_OK: return IDOK;
    default: return IDCANCEL;
  }
}

}  // namespace

void TTrelkUpdateFile::RemoveSetAsideImage(const std::string& exe) {
  const std::string aside = SetAsideName(exe);
  if (wizard::IsFile(aside)) DeleteFileA(aside.c_str());  // still running: it stays for the next start
}

UnattendedExit TTrelkUpdateFile::RunUnattended(const settings::Policy& policy, base::TDateTime referenceDate) {
  const toolkit::SeamGuard silent = toolkit::MessageBoxSeam.Replace(Unanswered);
  const HKEY root = settings::ProgramKey::RootFor(HKCU);
  // The run's own outcomes are recorded for the script; a batch records its own.
  const auto record = [&](UnattendedExit code, const std::string& detail = std::string()) {
    try {
      settings::ProgramKey key(root, RegistryKey, settings::ProgramKey::Access::Create);
      key.SetUpdateResult(UnattendedResultValue(Now(), code, detail));
    } catch (const std::exception&) {
      // A key without write access: the exit code still tells.
    }
    return code;
  };
  try {
    if (policy.UpdatesOff()) return record(UnattendedExit::SwitchedOff);
    const std::string exe = toolkit::ExeName();
    wizard::RunProgram program;
    program.name = ProgramName;
    program.zipFileName = ZIPFileName;
    program.registryKey = RegistryKey;
    program.hkcu = HKCU;
    program.referenceDate = EffectiveReferenceDate(referenceDate, FileDateTime(exe).value_or(0));
    program.programDir = base::ExtractFilePath(exe);
    program.server = server_.Origin();
    program.publicKey = wizard::BuiltInPublicKey();
    program.policy = policy;

    std::unique_ptr<net::THttpClient> http(new net::THttpClient(nullptr));
    net::UseUpdateTransferSettings(*http, "");
    http->Host = server_.host;
    wizard::UpdateRun run;
    run.Begin(toolkit::TempPathSeam());
    const wizard::CheckOutcome checked = run.Check(*http, program);
    switch (checked.kind) {
      case wizard::CheckOutcome::Offered: break;
      case wizard::CheckOutcome::NoUpdate: return record(UnattendedExit::NothingToDo);
      case wizard::CheckOutcome::Pinned: return record(UnattendedExit::Pinned);
      case wizard::CheckOutcome::NoConnection: return record(UnattendedExit::NoConnection);
      case wizard::CheckOutcome::ListTooLong: return record(UnattendedExit::Failed, "list");
      case wizard::CheckOutcome::Refused:
        return record(UnattendedExit::Failed, "refused " + std::to_string(static_cast<int>(checked.refusal)));
    }
    // A folder this process may not write, and no administrator's rights to ask for: the run
    // cannot ask anybody for consent.
    const bool writable = wizard::ProgramFolderWritableSeam(program.programDir);
    const bool elevated = RunsElevated();
    if (!writable && !elevated) {
      run.DropSearch();
      return record(UnattendedExit::NeedsAdministrator);
    }
    const wizard::DownloadOutcome downloaded = run.Download(*http, program, [] { return false; });
    if (downloaded.kind != wizard::DownloadOutcome::Done) {
      run.DropSearch();
      return record(UnattendedExit::Failed, "download");
    }
    // With an administrator's rights nothing a standard user can write is trusted: the
    // installation runs from the administrators' own folder, from copies checked there, as the
    // installation with consent does.
    const wizard::InstallOutcome prepared = run.Prepare(program, false, elevated);
    if (prepared.kind != wizard::InstallOutcome::Prepared) {
      run.DropSearch();
      return record(UnattendedExit::Failed, prepared.kind == wizard::InstallOutcome::Refused
                                                ? "refused " + std::to_string(static_cast<int>(prepared.refusal))
                                                : "archive");
    }
    {
      settings::ProgramKey key(root, RegistryKey, settings::ProgramKey::Access::Create);
      key.RemoveUpdateResult();
    }
    // The batch replaces the program's file, which this process holds: renamed aside, the name
    // is free for the new file.
    const std::string aside = SetAsideName(exe);
    DeleteFileA(aside.c_str());
    const bool setAside = MoveFileExA(exe.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    HANDLE batch = nullptr;
    if (elevated) {
      run.ReleaseHeld();
      const wizard::ProtectedOutcome started = wizard::RunProtectedInstallation(
          prepared.request, {ProgramName, ZIPFileName, RegistryKey, HKCU, program.publicKey}, &batch);
      // The installation works from its own copies.
      run.DropSearch();
      if (started != wizard::ProtectedOutcome::Started) batch = nullptr;
    } else {
      run.ReleaseHeld();
      batch = StartBatch(prepared.request.searchDir + "Update.bat");
    }
    if (!batch) {
      if (setAside) MoveFileExA(aside.c_str(), exe.c_str(), 0);
      run.DropSearch();
      return record(UnattendedExit::Failed, "batch");
    }
    // A batch that waits for a file longer than anyone would is given up on, not waited for
    // forever.
    WaitForSingleObject(batch, 60 * 60 * 1000);
    CloseHandle(batch);
    const settings::ProgramKey key(root, RegistryKey, settings::ProgramKey::Access::Read);
    const UpdateOutcome outcome = ReadUpdateOutcome(key.TryUpdateResult().value_or(""));
    const bool present = wizard::IsFile(exe);
    // A failed batch that left no program: the old one goes back.
    if (!present && setAside) MoveFileExA(aside.c_str(), exe.c_str(), 0);
    return UnattendedExitFor(outcome, present);
  } catch (const std::exception& e) {
    return record(UnattendedExit::Failed, e.what());
  }
}

}  // namespace engine
