// The administrator's policies for the update of the family's programs, read from the machine's
// policy keys. Read only: the family never writes there.
#pragma once

#include <string>
#include <vector>

#include "settings/settings_rules.h"

namespace settings {

// "Software\Policies\Trelk-Software\Update" below HKEY_LOCAL_MACHINE: the family's key; a
// program's own key is its subkey named by its registry key.
extern const char kPolicyKey[];
// The path of a program's policy key ("...\Update\<registryKey>"); the family's for an empty name.
std::string PolicyKeyPath(const std::string& registryKey);

// The values of one policy key as the registry holds them, in the 64-bit view (where the Group
// Policy client writes; a 32-bit Windows ignores the flag). A key that is missing or cannot be
// read has no values. `where` is its path as the administrator reads it. Throws nothing.
PolicyKeyValues ReadPolicyKey(const std::string& path);

// The policy of the program with this registry key (ResolvePolicy of the family's key and its
// own). Throws nothing: without policy keys every member is empty.
Policy ReadPolicy(const std::string& registryKey);

// The values ignored in the family's key and in every program's policy key, each once, as
// Policy::ignored names them. Throws nothing.
std::vector<std::string> IgnoredPolicyValues();

}  // namespace settings
