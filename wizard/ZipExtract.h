// The wizard's archive engine: every entry of a ZIP archive into one folder, folder names
// dropped, no existing file replaced, nothing written outside the folder.
#pragma once

#include <string>
#include <vector>

namespace wizard {

struct ExtractResult {
  bool opened = false;  // the archive could be opened and its directory read
  int written = 0;      // files made in the folder
  int kept = 0;         // entries whose file already existed there (left as it was)
  int skipped = 0;      // folders and entries whose name would leave the folder or name a device
  int failed = 0;       // entries that could not be read whole (damaged, cut off) or written
  std::string error;    // the first thing that went wrong, in words for the user; empty when none
  std::vector<std::wstring> writtenFiles;  // the full paths of the files made, in archive order
  // Whether what the archive holds is in the folder: it opened and no entry failed.
  bool Complete() const { return opened && failed == 0; }
};

// Extracts all entries of `archive` into `folder` (with its trailing backslash), each under the
// last component of its name (see ExtractedName). Every byte is checked against the entry's
// checksum; a file whose entry fails is removed again. Does not throw.
ExtractResult ExtractAll(const std::string& archive, const std::string& folder);

// Deletes the files an extraction made (RemoveWritten after an incomplete one leaves the folder
// as it was before). Does not throw.
void RemoveWritten(const ExtractResult& result);

// The text in the console's OEM code page, converted whole whatever its length.
std::string ToOemText(const std::string& text);

}  // namespace wizard
