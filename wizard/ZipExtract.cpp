// Extraction of update archives with libzip.
#include "wizard/ZipExtract.h"

#include <windows.h>
#include <zip.h>

#include <memory>
#include <vector>

#include "toolkit/Handles.h"
#include "wizard/update_rules.h"

namespace wizard {

namespace {

struct ArchiveCloser {
  void operator()(zip_t* z) const { zip_discard(z); }
};
struct EntryCloser {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};

std::wstring Wide(const std::string& text, UINT codePage) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
  return wide;
}

// A UTF-8 text in the ANSI code page, for messages.
std::string Ansi(const std::string& utf8) {
  std::wstring wide = Wide(utf8, CP_UTF8);
  if (wide.empty()) return std::string();
  int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &text[0], n, nullptr, nullptr);
  return text;
}

// Copies one entry into `path`, which must not exist yet. Returns false with `error` set when
// the entry cannot be read whole or the file cannot be made or written (`existed` tells that a
// file of that name was there); the file is then gone again. On success `held` owns the new
// file, still open.
bool CopyEntry(zip_t* zip, zip_uint64_t index, const std::wstring& path, toolkit::ScopedFile& held, bool& existed,
               std::string& error) {
  existed = false;
  std::unique_ptr<zip_file_t, EntryCloser> entry(zip_fopen_index(zip, index, 0));
  if (!entry) {
    error = zip_error_strerror(zip_get_error(zip));
    return false;
  }
  toolkit::ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    DWORD code = GetLastError();
    existed = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
    error = existed ? "eine Datei dieses Namens ist schon vorhanden"
                    : "Datei kann nicht erstellt werden (Fehler " + std::to_string(code) + ")";
    return false;
  }
  std::vector<char> buffer(65536);
  bool ok = true;
  while (true) {
    zip_int64_t got = zip_fread(entry.get(), buffer.data(), buffer.size());
    if (got < 0) {
      error = zip_error_strerror(zip_file_get_error(entry.get()));
      ok = false;
      break;
    }
    if (got == 0) break;
    DWORD written = 0;
    if (!WriteFile(file.get(), buffer.data(), static_cast<DWORD>(got), &written, nullptr) ||
        written != static_cast<DWORD>(got)) {
      error = "Datei kann nicht geschrieben werden (Fehler " + std::to_string(GetLastError()) + ")";
      ok = false;
      break;
    }
  }
  if (!ok) {
    file.reset();
    DeleteFileW(path.c_str());
    return false;
  }
  held = std::move(file);
  return true;
}

// Whether two names of the folder are the same file name (the file system compares without
// regard to case).
bool SameName(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

}  // namespace

ExtractResult ExtractAll(HANDLE archive, const std::string& displayName, const std::string& folder) {
  ExtractResult result;
  zip_error_t e;
  zip_error_init(&e);
  // The source reads through the borrowed handle and leaves it open.
  zip_source_t* source = zip_source_win32handle_create(archive, 0, -1, &e);
  std::unique_ptr<zip_t, ArchiveCloser> zip(source ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &e)
                                                   : nullptr);
  if (!zip) {
    if (source) zip_source_free(source);
    result.error = "Das Archiv \"" + displayName + "\" kann nicht geöffnet werden: " + zip_error_strerror(&e);
    zip_error_fini(&e);
    return result;
  }
  zip_error_fini(&e);
  result.opened = true;
  // Entry names come as UTF-8 (libzip reads the archive's code page 437 or UTF-8 names), so the
  // files are made through the wide API under exactly the names the archive holds.
  const std::wstring wideFolder = Wide(folder, CP_ACP);
  std::vector<std::wstring> names;  // the file names taken so far, for the first-entry-wins rule
  zip_int64_t count = zip_get_num_entries(zip.get(), 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* raw = zip_get_name(zip.get(), static_cast<zip_uint64_t>(i), 0);
    auto name = raw ? ExtractedName(raw) : std::nullopt;
    if (!name) {
      ++result.skipped;
      continue;
    }
    const std::wstring wideName = Wide(*name, CP_UTF8);
    bool taken = false;
    for (const std::wstring& n : names) taken = taken || SameName(n, wideName);
    if (taken) {
      ++result.kept;
      continue;
    }
    names.push_back(wideName);
    bool existed = false;
    std::string error;
    toolkit::ScopedFile held;
    const std::wstring path = wideFolder + wideName;
    if (!CopyEntry(zip.get(), static_cast<zip_uint64_t>(i), path, held, existed, error)) {
      ++result.failed;
      if (result.error.empty()) result.error = "Der Eintrag \"" + Ansi(raw) + "\" des Archivs ist fehlerhaft: " + error;
      continue;
    }
    if (result.batchIndex < 0 && SameName(wideName, L"Update.bat"))
      result.batchIndex = static_cast<int>(result.writtenFiles.size());
    ++result.written;
    result.writtenFiles.push_back(path);
    result.heldFiles.push_back(std::move(held));
  }
  return result;
}

ExtractResult ExtractAll(const std::string& archive, const std::string& folder) {
  toolkit::ScopedFile file(
      CreateFileA(archive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    ExtractResult result;
    result.error = "Das Archiv \"" + archive + "\" kann nicht geöffnet werden (Fehler " +
                   std::to_string(GetLastError()) + ")";
    return result;
  }
  return ExtractAll(file.get(), archive, folder);
}

void RemoveWritten(ExtractResult& result) {
  result.heldFiles.clear();
  for (const std::wstring& path : result.writtenFiles) DeleteFileW(path.c_str());
}

std::string ToOemText(const std::string& text) {
  std::string oem(text);
  if (!oem.empty()) CharToOemBuffA(text.data(), &oem[0], static_cast<DWORD>(oem.size()));
  return oem;
}

}  // namespace wizard
