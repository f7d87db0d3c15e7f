// The wizard's archive engine: every entry of a ZIP archive into one folder, folder names
// dropped, no existing file replaced, nothing written outside the folder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "toolkit/Handles.h"

namespace wizard {

struct ExtractResult {
  bool opened = false;  // the archive could be opened, its directory read and found consistent
  int written = 0;      // files made in the folder
  int kept = 0;         // later entries whose name an earlier entry of the archive already took
                        // (names compared as the file system compares them)
  int skipped = 0;      // folders and entries whose name would leave the folder or name a device
  int failed = 0;       // entries that could not be read whole (damaged, cut off, more data than
                        // announced, encrypted, a method not supported) or written, or whose name
                        // a file in the folder already had before the extraction; when the
                        // announced sizes do not fit on the drive, every entry to be written;
                        // entries whose name has no form in the ANSI code page or is not in the
                        // coding its archive gives (then nothing is written)
  std::string error;    // the first thing that went wrong, in words for the user; empty when none
  std::vector<std::wstring> writtenFiles;  // the full paths of the files made, in archive order
  // The files made, each still open (read and write access, shared for reading only), so that
  // no other process changes, replaces or removes one while the caller needs them; same order
  // as writtenFiles. Letting go of them (clear) closes them.
  std::vector<toolkit::ScopedFile> heldFiles;
  // Index into writtenFiles / heldFiles of the batch template "Update.bat" (the first entry of
  // that name, in any case, compared as the file system does), or -1 when the archive holds none.
  int batchIndex = -1;
  // Whether what the archive holds is in the folder: it opened and no entry failed.
  bool Complete() const { return opened && failed == 0; }
};

// Extracts all entries of the archive read through `archive` (a file handle with read access;
// borrowed, not closed, read from its start whatever its position) into `folder` (with its
// trailing backslash), each under the last component of its name (see base::ExtractedName), read
// as base::NameCodingOf says (an unflagged name in this computer's OEM code page). A name
// without a form in the ANSI code page, in which the programs and the batch name their files,
// refuses the archive whole before anything is written. Files are only ever made new: a name that an earlier entry took keeps the earlier entry's file, a name
// that a file already had before the extraction is a failed entry. Every byte is checked against
// the entry's checksum, and no entry writes more than its announced size; a file whose entry
// fails is removed again. Nothing is written when the archive's records contradict each other
// (base::CheckZipArchive; `opened` false) or when the announced sizes do not fit on the folder's drive
// beside base::FitsOnDrive's reserve. `displayName` names the archive in messages. Does not throw.
ExtractResult ExtractAll(HANDLE archive, const std::string& displayName, const std::string& folder);
// The same for an archive file, opened for the time of the extraction with reading shared only.
ExtractResult ExtractAll(const std::string& archive, const std::string& folder);

// Deletes the files an extraction made (RemoveWritten after an incomplete one leaves the folder
// as it was before); the held files are closed first. Does not throw.
void RemoveWritten(ExtractResult& result);

// The text in the console's OEM code page, converted whole whatever its length.
std::string ToOemText(const std::string& text);

}  // namespace wizard
