// The maker's publishing tool trelkpublish: key pairs, the update archive with its entry in the
// signed update list, and the check of a server folder. main() only hands over its arguments.
// The archives it makes and reads: publish/Archives.h.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace publish {

// File names of the key pair and the server folder.
extern const char kPublicKeyFile[];   // "update-public.key"
extern const char kSecretKeyFile[];   // "update-secret.key"
extern const char kListFile[];        // "Updates.ini"
extern const char kSignatureFile[];   // "Updates.ini.sig"
extern const char kChainFile[];       // "Updates.ini.chain": the delegation and the release key's signature
extern const char kRootPublicKeyFile[];  // "root-public.key"
extern const char kRootSecretKeyFile[];  // "root-secret.key"
extern const char kArchiveFolder[];   // "Updates"

// Runs one command (`args` without the program name) and returns the exit code: 0 all right,
// 1 problems found or the operation failed, 2 usage error. Results go to `out`, errors and
// problems to `err`. Nothing here throws.
int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace publish
