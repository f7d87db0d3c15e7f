// The installation into a program folder that only administrators can write. The wizard hands
// the prepared search to the program's own executable, started with the user's consent; that
// process reads the request back from its command line and trusts none of it: it takes the
// files it names into a folder of its own and checks them there against the checksum (and, with
// a key, against the signed list) before it uses them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace wizard {

// The first argument of a start that installs with the user's consent.
extern const char kProtectedInstallArgument[];  // "/trelk-install"

// What the wizard hands over.
struct ProtectedRequest {
  std::string searchDir;  // the search folder, with its backslash
  std::string listFile;   // the update list's file name in it; empty for a program without a key
  std::string signature;  // the list's signature line as the server sent it; empty without a key
  std::string sha256;     // the archive's SHA-256 the wizard checked, 64 lower-case hex digits
  std::string chainFile;  // the chain's file name in it when the list came with one (then no signature)
};

// The parameters (after the program's path) of the start for `request`, each argument in double
// quotes; an empty one stands as "-".
std::string ProtectedInstallParameters(const ProtectedRequest& request);

// What a command line asks for: `present` when its first argument is kProtectedInstallArgument;
// `request` only when everything else is what a wizard of this program hands over: a search
// folder (a full path) whose own name is `searchFolderName` (SearchFolderPrefix's name,
// "Trelk-<key>-") and eight hex digits, a list file name of one to 64 letters, digits, "$" and
// "." without a path (or none), a signature line of at most 200 Base64 characters (or none,
// and only together with no list), a checksum of 64 hex digits (read in lower case), a chain
// file name of the list file's kind (or none; with one, a list and no signature line), and
// nothing after them.
struct ProtectedArguments {
  bool present = false;
  std::optional<ProtectedRequest> request;
};
ProtectedArguments ReadProtectedInstallArguments(std::string_view commandLine, std::string_view searchFolderName);

// What the installation with consent came to: the exit code of that start.
enum class ProtectedOutcome : int {
  Started = 0,         // the batch runs from the administrators' folder
  BadRequest = 2,      // the command line is no request of this program's wizard
  FilesChanged = 3,    // the list, its signature or the archive are not what was checked
  Failed = 4,          // the folder, a copy, the unpacking or the batch's start failed
};

// The user's message when the installation with consent did not start the batch, by the exit
// code of that start (any code that is not an outcome counts as Failed).
extern const char kProtectedFilesChangedText[];
extern const char kProtectedFailedText[];
const char* ProtectedOutcomeText(unsigned long exitCode);

}  // namespace wizard
