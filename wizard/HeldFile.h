// Files the update road holds while it uses them: opened for reading and shared for reading only,
// so that no other process changes what was checked before it is used, and read whole through
// that handle within a bound.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "toolkit/Handles.h"

namespace wizard {

// The road's bounds for what it reads whole: an update list is a few kilobytes, a batch template
// a few lines; far more is neither.
constexpr std::size_t kListLimit = 16 * 1024 * 1024;
constexpr std::size_t kTemplateLimit = 1024 * 1024;

// Opens an existing file for reading, shared for reading only: while the handle is open, no
// other process can write, replace, rename or delete the file. Throws base::Exception when it
// cannot be opened so (also when another process holds it open for writing).
toolkit::ScopedFile HoldForReading(const std::string& path);

// Reads the file behind `file` (borrowed) from its start into `bytes`; false when it cannot be
// read or holds more than `limit` bytes. The one whole-file reader of the road.
bool ReadHeld(HANDLE file, std::size_t limit, std::string& bytes);

// Whether `path` names an existing file (a folder does not count).
bool IsFile(const std::string& path);

}  // namespace wizard
