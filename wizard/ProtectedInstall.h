// The installation with the user's consent, for a program in a folder only administrators can
// write. The wizard starts the program's own executable with consent; that start
// (RunProtectedInstallation) copies the archive (and, with a key, the signed list) from the
// user's search folder into a folder of its own that only administrators can write, checks the
// copies there, unpacks them, writes the batch there and starts it. Nothing a standard user's
// process can change is used after it was checked. The program then starts again with the
// user's own rights (StartRestartAfter), never with the administrators'.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "wizard/PreviousVersion.h"
#include "wizard/protected_rules.h"

namespace wizard {

// The program the installation is for, as its update component names it.
struct ProtectedProgram {
  std::string ProgramName;
  std::string ZIPFileName;
  std::string RegistryKey;
  bool HKCU = false;
  std::string PublicKey;  // the built-in key (Base64); empty for a program without one
};

// The folder the installation with consent works in for the search folder `searchDir`: in the
// Windows folder's "Temp", under the search folder's own name, with its backslash.
std::string ProtectedFolderFor(const std::string& searchDir);

// The installation with the administrators' rights: makes ProtectedFolderFor(searchDir) anew,
// open to administrators and the system alone (users may read), copies the archive there and
// checks the copy's SHA-256 (with a key: the list's copy must verify with the request's
// signature, be fresh for the program key's "UpdateSerial", and name that SHA-256 as "SHA256";
// without a key: it must be the request's), unpacks the copy there, writes the batch from its
// template for the running program's folder and starts it hidden with the system folder's
// cmd.exe, in the system folder, with an environment of the system's folders only. Anything
// else removes the folder again. With `batchProcess`, the started batch's process handle comes
// back there (the caller closes it; null when none started). Throws nothing.
ProtectedOutcome RunProtectedInstallation(const ProtectedRequest& request, const ProtectedProgram& program,
                                          HANDLE* batchProcess = nullptr);

// Copies the file `from` (held for reading while it is read) into the new file `to`, which must
// not exist yet; with `keepTime`, with `from`'s last-write time (a program dates its version by
// its file). False when it cannot be read or written or has more than `limit` bytes.
bool CopyNewFile(const std::string& from, const std::string& to, std::uint64_t limit = ~0ull, bool keepTime = false);

// Starts the batch `batch` of the administrators' folder `folder` hidden with the system folder's
// cmd.exe, in the system folder, with an environment of the system's folders only. False when it
// could not be started. With `batchProcess`, its process handle goes there (the caller closes it).
// Throws nothing.
bool StartSystemBatch(const std::string& batch, const std::string& folder, HANDLE* batchProcess = nullptr);

// The restore with consent (the first argument kProtectedRestoreArgument): the keep folder
// beside the running executable, and no other, copied into a new folder only administrators can
// write, checked there against its list and installed by a batch started from there. Anything
// else removes that folder again. Throws nothing.
RestoreOutcome RunProtectedRestore(HKEY root, const std::string& registryKey);

// Starts `exePath` again with this process's rights once the batch in `protectedDir` has
// deleted itself: a hidden cmd.exe of the system folder that looks once a second, for at most a
// quarter of an hour. False when it could not be started. Throws nothing.
bool StartRestartAfter(const std::string& exePath, const std::string& protectedDir);

// The system folder with its backslash ("C:\Windows\system32\"); empty when it cannot be read.
std::string SystemFolder();

}  // namespace wizard
