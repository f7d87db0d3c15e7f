// The installation with the user's consent: the administrators' folder, the checked copies, the
// batch started from there, and the restart with the user's rights.
#include "wizard/ProtectedInstall.h"

#include <sddl.h>

#include <algorithm>
#include <vector>

#include "base/StrUtils.h"
#include "base/signed_update.h"
#include "toolkit/Application.h"
#include "toolkit/Handles.h"
#include "toolkit/Seams.h"
#include "wizard/HeldFile.h"
#include "wizard/IniFile.h"
#include "wizard/PreviousVersion.h"
#include "wizard/SearchFolder.h"
#include "wizard/Signature.h"
#include "wizard/UpdateRun.h"
#include "wizard/ZipExtract.h"
#include "wizard/update_rules.h"

namespace wizard {

namespace {

// A folder the system names ("C:\Windows\"), with its backslash; empty when it cannot be read.
std::string SystemNamedFolder(UINT(WINAPI* ask)(LPSTR, UINT)) {
  char folder[MAX_PATH];
  const UINT n = ask(folder, sizeof folder);
  if (n == 0 || n >= sizeof folder) return std::string();
  return base::IncludeTrailingBackslash(std::string(folder, n));
}

std::string WindowsFolder() { return SystemNamedFolder(GetSystemWindowsDirectoryA); }

// The folder's security: administrators and the system may do everything, users may read and
// look into it (so that the user's restart sees when the batch is done), nobody else anything;
// nothing is inherited from the folder above.
constexpr char kProtectedFolderSecurity[] = "O:BAG:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

bool MakeProtectedFolder(const std::string& folder) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kProtectedFolderSecurity, SDDL_REVISION_1, &descriptor,
                                                            nullptr))
    return false;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  // A name that exists already (whoever made it) is never taken.
  const bool made = CreateDirectoryA(folder.c_str(), &attributes) != 0;
  LocalFree(descriptor);
  return made;
}


// Whether the list's copy in the administrators' folder is the signed, fresh list that names
// `digest` for the program.
bool SignedListNames(const std::string& listCopy, const std::string& chainCopy, const ProtectedRequest& request,
                     const ProtectedProgram& program, const std::string& digest) {
  toolkit::ScopedFile held = HoldForReading(listCopy);
  std::string bytes;
  if (!ReadHeld(held.get(), kListLimit, bytes)) return false;
  const HKEY root = program.HKCU ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  const base::ChainMemory memory = StoredChainMemory(root, program.RegistryKey);
  if (chainCopy.empty()) {
    const Refusal signature = JudgeSignedList(
        program.PublicKey, true, request.signature,
        [&bytes](const std::string& key, const std::string& sig) { return SignatureVerifies(bytes, sig, key); },
        memory.retired);
    if (signature != Refusal::None) return false;
  } else {
    toolkit::ScopedFile heldChain = HoldForReading(chainCopy);
    std::string chain;
    if (!ReadHeld(heldChain.get(), base::kKeyChainLimit, chain)) return false;
    const ChainListVerdict verdict =
        JudgeChainedList(program.PublicKey, chain, bytes, program.ProgramName, memory, toolkit::Today(),
                         [](std::string_view message, std::string_view sig, std::string_view key) {
                           return SignatureVerifies(message, sig, key);
                         });
    if (verdict.refusal != Refusal::None) return false;
  }
  const TIniFile list(listCopy);
  ListFreshness freshness = ReadListFreshness(list, program.ProgramName);
  freshness.stored = StoredListSerial(root, program.RegistryKey);
  if (JudgeListFreshness(freshness, toolkit::Today()).refusal != Refusal::None) return false;
  return JudgeArchive(list.ReadString(program.ProgramName, "SHA256", ""), digest) == Refusal::None;
}

// An environment of the system's own folders: the batch finds no program and no setting that a
// user put into the environment.
std::string SystemEnvironment(const std::string& windows, const std::string& system, const std::string& temp) {
  std::string windowsDir = windows.substr(0, windows.size() - 1);
  std::string tempDir = temp.substr(0, temp.size() - 1);
  std::vector<std::string> vars = {
      "ComSpec=" + system + "cmd.exe",
      "PATH=" + system.substr(0, system.size() - 1) + ";" + windowsDir + ";" + system + "Wbem",
      "PATHEXT=.COM;.EXE;.BAT;.CMD",
      "SystemDrive=" + windows.substr(0, 2),
      "SystemRoot=" + windowsDir,
      "TEMP=" + tempDir,
      "TMP=" + tempDir,
      "windir=" + windowsDir,
  };
  std::sort(vars.begin(), vars.end(), [](const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) < 0;
  });
  std::string block;
  for (const std::string& v : vars) block += v + '\0';
  return block + '\0';
}

// Unpacks the checked archive (held in `archive`) in `folder` and writes its batch there; the
// batch's path, or "" when the archive or its template cannot be used.
std::string PrepareBatch(HANDLE archive, const std::string& archivePath, const std::string& folder) {
  ExtractResult extracted = ExtractAll(archive, archivePath, folder);
  if (!extracted.Complete() || extracted.batchIndex < 0) return std::string();
  const std::string batch = folder + "Update.bat";
  const std::string programDir = base::ExtractFilePath(toolkit::ExeName());
  try {
    WriteUpdateBatch(extracted.heldFiles[static_cast<std::size_t>(extracted.batchIndex)].get(), batch, programDir,
                     folder, false, true);
  } catch (const std::exception&) {
    return std::string();
  }
  // The keep folder in the program folder takes its protection: only administrators change it.
  KeepPrevious(programDir, KeptNames(extracted));
  return batch;
}

ProtectedOutcome Install(const ProtectedRequest& request, const ProtectedProgram& program, const std::string& folder,
                         HANDLE* batchProcess) {
  const std::string archiveCopy = folder + program.ZIPFileName;
  if (!CopyNewFile(request.searchDir + program.ZIPFileName, archiveCopy, ~0ull)) return ProtectedOutcome::Failed;
  toolkit::ScopedFile archive = HoldForReading(archiveCopy);
  const std::optional<std::string> digest = FileSha256(archive.get());
  if (!digest) return ProtectedOutcome::Failed;
  if (program.PublicKey.empty()) {
    if (base::HexText(*digest) != request.sha256) return ProtectedOutcome::FilesChanged;
  } else {
    // The list is copied under a name of its own: no entry of the archive can take it.
    const std::string listCopy = folder + "$Liste.ini";
    if (request.listFile.empty() || !CopyNewFile(request.searchDir + request.listFile, listCopy, kListLimit))
      return ProtectedOutcome::FilesChanged;
    // The chain, too, is used only as copied here.
    const std::string chainCopy = request.chainFile.empty() ? std::string() : folder + "$Kette.txt";
    if (!chainCopy.empty() && !CopyNewFile(request.searchDir + request.chainFile, chainCopy, base::kKeyChainLimit))
      return ProtectedOutcome::FilesChanged;
    if (!SignedListNames(listCopy, chainCopy, request, program, *digest)) return ProtectedOutcome::FilesChanged;
    DeleteFileA(listCopy.c_str());
    if (!chainCopy.empty()) DeleteFileA(chainCopy.c_str());
  }
  const std::string windows = WindowsFolder(), system = SystemFolder();
  if (windows.empty() || system.empty()) return ProtectedOutcome::Failed;
  const std::string batch = PrepareBatch(archive.get(), archiveCopy, folder);
  archive.reset();
  DeleteFileA(archiveCopy.c_str());
  if (batch.empty()) return ProtectedOutcome::Failed;
  return StartSystemBatch(batch, folder, batchProcess) ? ProtectedOutcome::Started : ProtectedOutcome::Failed;
}

}  // namespace

bool CopyNewFile(const std::string& from, const std::string& to, std::uint64_t limit, bool keepTime) {
  toolkit::ScopedFile source(
      CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!source) return false;
  toolkit::ScopedFile target(
      CreateFileA(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!target) return false;
  std::vector<char> block(1 << 20);
  std::uint64_t copied = 0;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(source.get(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr)) return false;
    if (got == 0) {
      if (!keepTime) return true;
      FILETIME lastWrite{};
      return GetFileTime(source.get(), nullptr, nullptr, &lastWrite) &&
             SetFileTime(target.get(), nullptr, nullptr, &lastWrite);
    }
    copied += got;
    DWORD written = 0;
    if (copied > limit || !WriteFile(target.get(), block.data(), got, &written, nullptr) || written != got) return false;
  }
}

bool StartSystemBatch(const std::string& batch, const std::string& folder, HANDLE* batchProcess) {
  const std::string windows = WindowsFolder(), system = SystemFolder();
  if (windows.empty() || system.empty()) return false;
  std::string commandLine = "cmd.exe /d /c \"\"" + batch + "\"\"";
  std::string environment = SystemEnvironment(windows, system, folder);
  STARTUPINFOA startup{sizeof startup};
  PROCESS_INFORMATION process{};
  if (!CreateProcessA((system + "cmd.exe").c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      &environment[0], system.c_str(), &startup, &process))
    return false;
  CloseHandle(process.hThread);
  if (batchProcess)
    *batchProcess = process.hProcess;
  else
    CloseHandle(process.hProcess);
  return true;
}

RestoreOutcome RunProtectedRestore(HKEY root, const std::string& registryKey) {
  const std::string windows = WindowsFolder();
  if (windows.empty()) return RestoreOutcome::Failed;
  const std::string temp = windows + "Temp\\";
  CreateDirectoryA(temp.c_str(), nullptr);
  RemoveLeftSearchFolders(temp, registryKey);
  // A name of the search folders' kind, so that what is left goes as theirs do.
  char number[9];
  wsprintfA(number, "%08lx", static_cast<unsigned long>(GetTickCount() ^ (GetCurrentProcessId() << 16)));
  const std::string folder = SearchFolderPrefix(temp, registryKey) + number + "\\";
  if (!MakeProtectedFolder(folder)) return RestoreOutcome::Failed;
  // Only the keep folder beside this executable, whatever the request or the registry say.
  const std::string programDir = base::ExtractFilePath(toolkit::ExeName());
  std::vector<toolkit::ScopedFile> held;
  RestoreOutcome outcome =
      PrepareRestore(programDir + kKeepFolderName + "\\", folder, programDir, root, registryKey, true, held);
  if (outcome == RestoreOutcome::Started && !StartSystemBatch(folder + "Update.bat", folder))
    outcome = RestoreOutcome::Failed;
  if (outcome != RestoreOutcome::Started) {
    held.clear();
    RemoveFolderTree(folder);
  }
  return outcome;
}

std::string SystemFolder() { return SystemNamedFolder(GetSystemDirectoryA); }

std::string ProtectedFolderFor(const std::string& searchDir) {
  const std::string windows = WindowsFolder();
  if (windows.empty()) return std::string();
  std::string name = searchDir;
  if (!name.empty() && name.back() == '\\') name.pop_back();
  return windows + "Temp\\" + name.substr(name.find_last_of('\\') + 1) + "\\";
}

ProtectedOutcome RunProtectedInstallation(const ProtectedRequest& request, const ProtectedProgram& program,
                                          HANDLE* batchProcess) {
  if (batchProcess) *batchProcess = nullptr;
  const std::string folder = ProtectedFolderFor(request.searchDir);
  if (folder.empty()) return ProtectedOutcome::Failed;
  const std::string temp = base::ExtractFilePath(folder.substr(0, folder.size() - 1));
  CreateDirectoryA(temp.c_str(), nullptr);
  // What an earlier installation of the program left there goes, unless its batch is still
  // waiting for its program.
  RemoveLeftSearchFolders(temp, program.RegistryKey);
  if (!MakeProtectedFolder(folder)) return ProtectedOutcome::Failed;
  ProtectedOutcome outcome = ProtectedOutcome::Failed;
  try {
    outcome = Install(request, program, folder, batchProcess);
  } catch (const std::exception&) {
    outcome = ProtectedOutcome::Failed;
  }
  if (outcome != ProtectedOutcome::Started) RemoveFolderTree(folder);
  return outcome;
}

bool StartRestartAfter(const std::string& exePath, const std::string& protectedDir) {
  const std::string system = SystemFolder();
  if (system.empty() || protectedDir.empty()) return false;
  // Once a second while the batch is there, then the start unless it is still there. cmd.exe
  // drops the first and the last double quote of the whole command. (No "else" and no block
  // after "do": Wine's cmd.exe reads neither there.)
  const std::string batch = "\"" + protectedDir + "Update.bat\"";
  std::string commandLine = "cmd.exe /d /c \"(for /l %i in (1,1,900) do if exist " + batch + " \"" + system +
                            "ping.exe\" -n 2 127.0.0.1 >nul) & if not exist " + batch + " start \"\" \"" + exePath +
                            "\"\"";
  STARTUPINFOA startup{sizeof startup};
  PROCESS_INFORMATION process{};
  const std::string folder = base::ExtractFilePath(exePath);
  if (!CreateProcessA((system + "cmd.exe").c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, folder.c_str(), &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

}  // namespace wizard
