// The previous version of a program: kept at the preparation of an installation in the program
// folder's "Trelk-Vorher", and restored from there through a batch of the same kind as an
// update's (files in use waited for, everything put back when one step fails, the outcome
// recorded as "UpdateResult").
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "toolkit/Handles.h"
#include "wizard/keep_rules.h"

namespace wizard {

struct ExtractResult;

// The names of the files an extraction made, the batch template left out, in the ANSI code page
// (a name without an ANSI form as an empty one, which no keep takes).
std::vector<std::string> KeptNames(const ExtractResult& extracted);

// Copies the files of `programDir` (with its backslash) that the installation replaces (the
// names `names`, as the archive put them into the search folder) into a new keep folder with its
// list, naming those that do not exist yet as added; when it is complete, it takes the place of
// the earlier keep. When it cannot be made, no keep stays at all (an earlier one would be the
// wrong version after this installation). False then. Throws nothing.
bool KeepPrevious(const std::string& programDir, const std::vector<std::string>& names);

// Removes the keep folder of `programDir`, when it can. Throws nothing.
void DropKept(const std::string& programDir);
// Deletes from `programDir` the files its keep list names as added by the version a restore
// replaced, as far as this user may. Throws nothing.
void RemoveAddedFiles(const std::string& programDir);

// The recorded state of the program's kept version; none when there is none or it cannot be read.
std::optional<PreviousVersion> StoredPreviousVersion(HKEY root, const std::string& registryKey);

// Takes the kept files of `keepDir` into `workDir` (new, empty, with its backslash), checks each
// copy there against the keep list, which is read from its own copy there too, and writes the
// batch "Update.bat" there that installs them into `programDir` for the program key `registryKey`
// below `root` (`administratorsFolder`: the work folder is one only administrators can write).
// The copies and the batch stay open in `held` until the caller has started the batch. Throws
// nothing.
RestoreOutcome PrepareRestore(const std::string& keepDir, const std::string& workDir, const std::string& programDir,
                              HKEY root, const std::string& registryKey, bool administratorsFolder,
                              std::vector<toolkit::ScopedFile>& held);

// The restore the settings tool asks of the running program (its first argument
// kRestoreArgument): with a kept version recorded, the restore from this user's own search
// folder, or, where the program folder refuses this user's write, the program's own executable
// started with consent (kProtectedRestoreArgument). Once the batch runs, the restored-away
// version is recorded as skipped and the state as restoring. Tells the user when nothing was
// started. Throws nothing.
RestoreOutcome RestorePreviousVersion(HKEY root, const std::string& registryKey);

}  // namespace wizard
