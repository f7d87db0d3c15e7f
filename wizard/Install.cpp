// The installation's files: "Update.bat" written from the template the archive brought, and the
// test whether this user can write into the program folder.
#include <windows.h>

#include "base/Exception.h"
#include "base/StrUtils.h"
#include "base/batch_template.h"
#include "toolkit/Application.h"
#include "toolkit/Handles.h"
#include "wizard/HeldFile.h"
#include "wizard/ProtectedInstall.h"
#include "wizard/SearchFolder.h"
#include "wizard/UpdateRun.h"
#include "wizard/ZipExtract.h"

namespace wizard {

namespace {

// Replaces the content of the file behind `file` (borrowed) by `bytes`; throws base::Exception
// naming `path` when that fails.
void Rewrite(HANDLE file, const std::string& path, const std::string& bytes) {
  LARGE_INTEGER start{};
  DWORD written = 0;
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) ||
      !WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size() || !SetEndOfFile(file))
    throw base::Exception("Die Datei \"" + path + "\" kann nicht geschrieben werden.");
}

// Whether `file` (borrowed), just made in `folder`, really lies there. A 32-bit program without
// a statement of its privileges has its writes into protected folders redirected into the
// user's own store on newer Windows; the batch's cmd.exe is not redirected and would be refused.
// Systems without the final path know no such redirection.
bool MadeInPlace(HANDLE file, const std::string& folder) {
  toolkit::ScopedFile dir(CreateFileA(folder.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const std::string made = dir ? FinalPathOf(file) : std::string();
  const std::string where = dir ? FinalPathOf(dir.get()) : std::string();
  if (made.empty() || where.empty()) return true;  // nothing to compare: the plain answer stands
  return SamePath(base::ExtractFilePath(made), where);
}

}  // namespace

void WriteUpdateBatch(HANDLE batchFile, const std::string& batchPath, const std::string& programDir,
                      const std::string& tempDir, bool restart, bool administratorsFolder) {
  std::string templateText;
  if (!ReadHeld(batchFile, kTemplateLimit, templateText))
    throw base::Exception("Die Datei \"" + batchPath + "\" kann nicht gelesen werden.");
  Rewrite(batchFile, batchPath,
          base::BuildUpdateBatch(base::SplitTemplateLines(templateText), ToOemText(programDir), ToOemText(tempDir),
                                 restart, ToOemText(toolkit::ExeName()), ToOemText(SystemFolder()),
                                 administratorsFolder));
}

toolkit::Seam<bool(const std::string&)> ProgramFolderWritableSeam(
    [](const std::string& folder) { return ProgramFolderWritable(folder); });

bool ProgramFolderWritable(const std::string& folder) {
  // A name no other process uses: this process's id and a count of its own tries.
  static LONG tries = 0;
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string probe = folder + "~trelk-" + std::to_string(GetCurrentProcessId()) + "-" +
                              std::to_string(InterlockedIncrement(&tries)) + ".tmp";
    HANDLE h = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    const DWORD error = h == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    toolkit::ScopedFile file(h);
    if (file) return MadeInPlace(file.get(), folder);
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
    return error != ERROR_ACCESS_DENIED;
  }
  return true;
}

}  // namespace wizard
