// Held files: opened shared for reading only, read whole within a bound.
#include "wizard/HeldFile.h"

#include "base/Exception.h"

namespace wizard {

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

toolkit::ScopedFile HoldForReading(const std::string& path) {
  toolkit::ScopedFile file(
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw base::Exception("Die Datei \"" + path + "\" kann nicht geöffnet werden.");
  return file;
}

bool ReadHeld(HANDLE file, std::size_t limit, std::string& bytes) {
  bytes.clear();
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
  char block[65536];
  while (true) {
    DWORD got = 0;
    if (!ReadFile(file, block, sizeof block, &got, nullptr)) return false;
    if (got == 0) return true;
    if (bytes.size() + got > limit) return false;
    bytes.append(block, got);
  }
}

}  // namespace wizard
