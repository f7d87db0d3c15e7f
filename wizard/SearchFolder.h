// The folder of one update search: a new, empty folder below the user's temporary directory
// that holds everything the search fetches and unpacks, and the batch file that installs it.
// Nothing that lies in the shared temporary directory itself is ever used by a search.
#pragma once

#include <cstddef>
#include <string>

#include "toolkit/Handles.h"

namespace wizard {

// The name every search folder of the program with the registry key `registryKey` begins with,
// below `tempDir` (with its trailing backslash): "Trelk-" + the key (characters other than
// letters, digits, "-" and "_" as "_") + "-". A search folder adds eight hex digits.
std::string SearchFolderPrefix(const std::string& tempDir, const std::string& registryKey);

// Makes a new, empty search folder for the program and returns its path with a trailing
// backslash. The folder is new: a name that exists already (whoever made it) is never taken.
// Throws base::Exception when no folder can be made.
std::string MakeSearchFolder(const std::string& tempDir, const std::string& registryKey);

// Removes the search folders an earlier search of the program left below `tempDir`, except
// those whose installation is pending (their "Update.bat" is held open by the program that
// prepared it and has not ended yet). Links (junctions, symbolic links) are removed, never
// followed. Does not throw.
void RemoveLeftSearchFolders(const std::string& tempDir, const std::string& registryKey);

// Removes the folder and everything in it (a link inside as a link, never followed). False when
// something stays. Does not throw.
bool RemoveFolderTree(const std::string& folder);

}  // namespace wizard
