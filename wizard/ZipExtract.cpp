// Extraction of update archives with libzip.
#include "wizard/ZipExtract.h"

#include <windows.h>
#include <lzma.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "toolkit/Handles.h"
#include "base/zip_rules.h"
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

// A UTF-8 text in the ANSI code page, for messages: a character that it lacks as "?" (not as a
// look-alike, which would hide why a name is refused).
std::string Ansi(const std::string& utf8) {
  std::wstring wide = Wide(utf8, CP_UTF8);
  if (wide.empty()) return std::string();
  const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  int n = WideCharToMultiByte(CP_ACP, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide.data(), static_cast<int>(wide.size()), &text[0], n, nullptr, nullptr);
  return text;
}

// A libzip error of reading an entry or opening the archive, as a sentence of its own.
std::string LibzipText(int code) {
  switch (code) {
    case ZIP_ER_CRC: return "Seine Prüfsumme stimmt nicht.";
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA:
    case ZIP_ER_INCONS: return "Seine gepackten Daten sind beschädigt.";
    case ZIP_ER_EOF: return "Seine Daten brechen vor ihrem Ende ab.";
    case ZIP_ER_READ:
    case ZIP_ER_SEEK: return "Das Archiv kann nicht gelesen werden.";
    case ZIP_ER_MEMORY: return "Es ist nicht genug Arbeitsspeicher frei.";
    case ZIP_ER_COMPNOTSUPP: return "Seine Kompressionsmethode wird nicht unterstützt.";
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD: return "Er ist verschlüsselt.";
    case ZIP_ER_NOZIP: return "Es ist kein ZIP-Archiv.";
    default: return "Die ZIP-Bibliothek meldet den Fehler Nr. " + std::to_string(code) + ".";
  }
}

// Whether a libzip error of reading an entry lies in the archive's bytes, not in this computer.
bool IsArchiveFault(int code) {
  return code != ZIP_ER_READ && code != ZIP_ER_SEEK && code != ZIP_ER_MEMORY && code != ZIP_ER_INTERNAL;
}

// The unpacked bytes of one entry: libzip's own reading, and for 7-Zip's LZMA entries (method
// 14, which libzip reads only as XZ) liblzma over the entry's raw bytes: a 4-byte header
// (version, length of the properties), 5 bytes of LZMA properties, the LZMA stream, ended by
// the announced size or, with flag bit 1, by an end marker. The checksum is checked at the end.
class EntryStream {
 public:
  EntryStream() = default;
  EntryStream(const EntryStream&) = delete;
  EntryStream& operator=(const EntryStream&) = delete;
  ~EntryStream() {
    if (lzma_) lzma_end(&stream_);
  }

  // Whether the last error lies in the archive (damaged, cut off, not supported) rather than in
  // reading it on this computer.
  bool ArchiveFault() const { return archiveFault_; }

  // False with `error` set when the entry cannot be opened.
  bool Open(zip_t* zip, zip_uint64_t index, const base::ZipEntryRecord& record, std::string& error) {
    record_ = record;
    lzma_ = record.method == 14;
    file_.reset(zip_fopen_index(zip, index, lzma_ ? ZIP_FL_COMPRESSED : 0));
    if (!file_) {
      Fail(zip_error_code_zip(zip_get_error(zip)), error);
      lzma_ = false;
      return false;
    }
    if (!lzma_) return true;
    lzma_ = false;
    unsigned char header[9];
    if (zip_fread(file_.get(), header, sizeof header) != static_cast<zip_int64_t>(sizeof header) || header[2] != 5 ||
        header[3] != 0) {
      error = "Der Kopf seiner LZMA-Daten ist beschädigt.";
      return false;
    }
    // The form of liblzma's .lzma files: the properties, then the size (all ones: up to the end
    // marker). The memory a dictionary may take is bounded.
    uint8_t alone[13];
    std::copy(header + 4, header + 9, alone);
    const uint64_t size = (record.flags & 2) ? ~0ull : record.size;
    for (int i = 0; i < 8; ++i) alone[5 + i] = static_cast<uint8_t>(size >> (8 * i));
    stream_ = LZMA_STREAM_INIT;
    if (lzma_alone_decoder(&stream_, 256u << 20) != LZMA_OK) {
      Fail(ZIP_ER_MEMORY, error);
      return false;
    }
    lzma_ = true;
    return Decode(alone, sizeof alone, nullptr, 0, error) >= 0;
  }

  // Up to `n` unpacked bytes into `out`: their number, 0 at the end, -1 with `error` set.
  zip_int64_t Read(char* out, size_t n, std::string& error) {
    if (!lzma_) {
      zip_int64_t got = zip_fread(file_.get(), out, n);
      if (got < 0) Fail(zip_error_code_zip(zip_file_get_error(file_.get())), error);
      return got;
    }
    size_t done = 0;
    while (done < n && !ended_) {
      if (stream_.avail_in == 0 && !inputEnded_) {
        zip_int64_t got = zip_fread(file_.get(), input_, sizeof input_);
        if (got < 0) {
          Fail(zip_error_code_zip(zip_file_get_error(file_.get())), error);
          return -1;
        }
        inputEnded_ = got == 0;
        stream_.next_in = input_;
        stream_.avail_in = static_cast<size_t>(got);
      }
      zip_int64_t got = Decode(nullptr, 0, out + done, n - done, error);
      if (got < 0) return -1;
      if (got == 0 && inputEnded_ && !ended_) {
        error = "Seine LZMA-Daten brechen ab.";
        return -1;
      }
      done += static_cast<size_t>(got);
    }
    crc_ = crc32(crc_, reinterpret_cast<const Bytef*>(out), static_cast<uInt>(done));
    total_ += done;
    if (done == 0 && ended_ && (crc_ != record_.crc || total_ != record_.size)) {
      error = "Seine Prüfsumme oder seine Größe stimmt nicht.";
      return -1;
    }
    return static_cast<zip_int64_t>(done);
  }

 private:
  void Fail(int code, std::string& error) {
    error = LibzipText(code);
    archiveFault_ = IsArchiveFault(code);
  }

  // Feeds `in` (or what stream_ holds) and takes up to `n` bytes out.
  zip_int64_t Decode(const uint8_t* in, size_t inSize, char* out, size_t n, std::string& error) {
    if (in) {
      stream_.next_in = in;
      stream_.avail_in = inSize;
    }
    stream_.next_out = reinterpret_cast<uint8_t*>(out);
    stream_.avail_out = n;
    const lzma_ret r = lzma_code(&stream_, LZMA_RUN);
    if (r == LZMA_STREAM_END) {
      ended_ = true;
    } else if (r != LZMA_OK && !(r == LZMA_BUF_ERROR && n == 0)) {
      error = r == LZMA_MEMLIMIT_ERROR ? "Sein LZMA-Wörterbuch ist zu groß." : "Seine LZMA-Daten sind beschädigt.";
      return -1;
    }
    return static_cast<zip_int64_t>(n - stream_.avail_out);
  }

  std::unique_ptr<zip_file_t, EntryCloser> file_;
  base::ZipEntryRecord record_;
  bool lzma_ = false, ended_ = false, inputEnded_ = false, archiveFault_ = true;
  lzma_stream stream_ = LZMA_STREAM_INIT;
  uint8_t input_[65536];
  uLong crc_ = 0;
  uint64_t total_ = 0;
};

// Copies one entry into `path`, which must not exist yet. Returns false with `error` set (a
// sentence) when the entry cannot be read whole, unpacks to more than its announced size, or the
// file cannot be made or written; `archiveFault` then tells whether the archive is to blame (not
// a file of that name already in the folder, a full drive or a read error). The file is then
// gone again. On success `held` owns the new file, still open.
bool CopyEntry(zip_t* zip, zip_uint64_t index, const base::ZipEntryRecord& record, const std::wstring& path,
               toolkit::ScopedFile& held, bool& archiveFault, std::string& error) {
  auto entry = std::make_unique<EntryStream>();
  if (!entry->Open(zip, index, record, error)) {
    archiveFault = entry->ArchiveFault();
    return false;
  }
  archiveFault = false;
  toolkit::ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    DWORD code = GetLastError();
    error = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS
                ? "Im temporären Ordner ist schon eine Datei dieses Namens."
                : "Die Datei kann im temporären Ordner nicht angelegt werden (Fehler " + std::to_string(code) + ").";
    return false;
  }
  const uint64_t announced = record.size;
  std::vector<char> buffer(65536);
  bool ok = true;
  uint64_t total = 0;
  while (true) {
    // One byte more than is left of the announced size: an entry that unpacks to more (a zip
    // bomb whose records lie) is caught before that byte is written. libzip itself would only
    // notice at the end of the stream, however long that is.
    const uint64_t left = announced - total;
    const uint64_t ask = left >= buffer.size() ? buffer.size() : left + 1;
    zip_int64_t got = entry->Read(buffer.data(), static_cast<size_t>(ask), error);
    if (got < 0) {
      archiveFault = entry->ArchiveFault();
      ok = false;
      break;
    }
    if (got == 0) break;
    if (static_cast<uint64_t>(got) > left) {
      error = "Er enthält mehr Daten, als das Archiv für ihn angibt (" + std::to_string(announced) + " Byte).";
      archiveFault = true;
      ok = false;
      break;
    }
    total += static_cast<uint64_t>(got);
    DWORD written = 0;
    if (!WriteFile(file.get(), buffer.data(), static_cast<DWORD>(got), &written, nullptr) ||
        written != static_cast<DWORD>(got)) {
      error = "Die Datei kann nicht geschrieben werden (Fehler " + std::to_string(GetLastError()) + ").";
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

// An entry's name as its archive's maker wrote it (base::NameCodingOf), an unflagged name in
// this computer's OEM code page. False for a name that is not in its coding (a name flagged as
// UTF-8 that is none, bytes that the OEM code page does not have).
bool EntryName(const base::ZipEntryRecord& entry, std::wstring& name) {
  name.clear();
  const bool utf8 = base::NameCodingOf(entry) == base::ZipNameCoding::Utf8;
  if (entry.name.empty()) return true;
  if (utf8 && !base::IsUtf8(entry.name)) return false;
  const int size = static_cast<int>(entry.name.size());
  const UINT codePage = utf8 ? CP_UTF8 : GetOEMCP();
  const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, entry.name.data(), size, nullptr, 0);
  if (n <= 0) return false;
  name.resize(static_cast<size_t>(n));
  MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, entry.name.data(), size, &name[0], n);
  return true;
}

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &text[0], n, nullptr, nullptr);
  return text;
}

// The name in the ANSI code page, every character that it lacks as "?"; for messages.
std::string AnsiText(const std::wstring& wide) { return Ansi(Utf8(wide)); }

// An entry's name for messages, as far as it can be read.
std::string EntryText(const base::ZipEntryRecord& entry) {
  std::wstring name;
  return EntryName(entry, name) ? AnsiText(name) : AnsiText(Wide(entry.name, CP_UTF8));
}

// Whether the name has a form in the ANSI code page: the programs, the batch and its template
// name every file in it.
bool HasAnsiForm(const std::wstring& name) {
  if (name.empty()) return true;
  const int size = static_cast<int>(name.size());
  const int n = WideCharToMultiByte(CP_ACP, 0, name.data(), size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  std::string ansi(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, name.data(), size, &ansi[0], n, nullptr, nullptr);
  // Best-fit mappings ("Ł" as "L") and default characters do not come back as they were.
  return Wide(ansi, CP_ACP) == name;
}

// The key under which the file system finds a file name: each UTF-16 unit upper-cased on its own
// by the file system's rules (ordinal: no expansions, no ignored characters).
std::wstring FileNameKey(const std::wstring& name) {
  if (name.empty()) return name;
  std::wstring key(name.size(), L'\0');
  const int size = static_cast<int>(name.size());
  if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.data(), size, &key[0], size, nullptr, nullptr, 0) !=
      size)
    return name;
  return key;
}

// Reads through the borrowed handle at the given offsets, leaving no state libzip relies on
// (libzip opens the archive afterwards and seeks before it reads).
base::ZipReader HandleReader(HANDLE file) {
  return [file](uint64_t offset, size_t size, std::string& out) {
    out.assign(size, '\0');
    size_t done = 0;
    while (done < size) {
      OVERLAPPED at = {};
      const uint64_t where = offset + done;
      at.Offset = static_cast<DWORD>(where);
      at.OffsetHigh = static_cast<DWORD>(where >> 32);
      DWORD got = 0;
      const DWORD ask = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 20));
      if (!ReadFile(file, &out[done], ask, &got, &at) || got == 0) return false;
      done += got;
    }
    return true;
  };
}

// Why the archive as a whole is not unpacked, in words for the user.
std::string FaultText(const std::string& displayName, const base::ZipCheck& check) {
  const std::string archive = "Das Archiv \"" + displayName + "\"";
  const bool named = check.entry < check.entries.size();
  const std::string name = named ? "\"" + EntryText(check.entries[check.entry]) + "\" " : std::string();
  const std::string entry = named ? "Der Eintrag " + name : std::string("Ein Eintrag ");
  const std::string differs = archive + " ist fehlerhaft und wird nicht entpackt: " + entry +
                              "hat in seinem Kopf eine andere ";
  switch (check.fault) {
    case base::ZipFault::None: break;
    case base::ZipFault::NoArchive:
      return archive + " kann nicht geöffnet werden: Es ist kein ZIP-Archiv oder unvollständig.";
    case base::ZipFault::DirectoryDamaged:
      return archive + " ist fehlerhaft und wird nicht entpackt: Sein Inhaltsverzeichnis ist beschädigt.";
    case base::ZipFault::HeaderMissing:
      return archive + " ist fehlerhaft und wird nicht entpackt: " + entry +
             "steht nicht dort, wo das Inhaltsverzeichnis ihn angibt.";
    case base::ZipFault::NameDiffers: return differs + "Namensangabe als im Inhaltsverzeichnis.";
    case base::ZipFault::MethodDiffers: return differs + "Kompressionsmethode als im Inhaltsverzeichnis.";
    case base::ZipFault::FlagsDiffer:
      return differs + "Angabe zu Verschlüsselung oder Datenbeschreibung als im Inhaltsverzeichnis.";
    case base::ZipFault::CrcDiffers: return differs + "Prüfsumme als im Inhaltsverzeichnis.";
    case base::ZipFault::SizeDiffers: return differs + "Größe als im Inhaltsverzeichnis.";
    case base::ZipFault::OutsideArchive:
      return archive + " ist fehlerhaft und wird nicht entpackt: Die Daten " +
             (named ? "des Eintrags " + name : std::string("eines Eintrags ")) + "reichen über das Archiv hinaus.";
    case base::ZipFault::Overlapping:
      return archive + " ist fehlerhaft und wird nicht entpackt: " + entry +
             "teilt seine Daten mit einem anderen Eintrag.";
  }
  return archive + " ist fehlerhaft und wird nicht entpackt.";
}

// Whether libzip sees the archive as the check read it: the same entries with the same method,
// checksum and sizes, so that what is unpacked is what was checked.
bool SameDirectory(zip_t* zip, const base::ZipCheck& check) {
  if (zip_get_num_entries(zip, ZIP_FL_UNCHANGED) != static_cast<zip_int64_t>(check.entries.size())) return false;
  for (size_t i = 0; i < check.entries.size(); ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    const base::ZipEntryRecord& e = check.entries[i];
    if (zip_stat_index(zip, i, ZIP_FL_UNCHANGED, &st) != 0 || st.size != e.size || st.comp_size != e.compressedSize ||
        st.crc != e.crc || st.comp_method != e.method)
      return false;
  }
  return true;
}

}  // namespace

ExtractResult ExtractAll(HANDLE archive, const std::string& displayName, const std::string& folder) {
  ExtractResult result;
  // Our own check of the archive's records first (libzip's consistency check refuses what real
  // tools write, such as ZIP64 fields in local headers only or streamed entries), then libzip
  // opens it without that check and must see the same directory.
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(archive, &size)) {
    result.error = "Das Archiv \"" + displayName + "\" kann nicht geöffnet werden (Fehler " +
                   std::to_string(GetLastError()) + ")";
    return result;
  }
  const base::ZipCheck check = base::CheckZipArchive(static_cast<uint64_t>(size.QuadPart), HandleReader(archive));
  if (check.fault != base::ZipFault::None) {
    result.error = FaultText(displayName, check);
    return result;
  }
  zip_error_t e;
  zip_error_init(&e);
  // The source reads through the borrowed handle and leaves it open.
  zip_source_t* source = zip_source_win32handle_create(archive, 0, -1, &e);
  std::unique_ptr<zip_t, ArchiveCloser> zip(source ? zip_open_from_source(source, ZIP_RDONLY, &e) : nullptr);
  if (!zip) {
    if (source) zip_source_free(source);
    const int code = zip_error_code_zip(&e);
    result.error = "Das Archiv \"" + displayName + "\" kann nicht geöffnet werden: " +
                   (code == ZIP_ER_INCONS ? std::string("Sein Inhaltsverzeichnis ist beschädigt.") : LibzipText(code));
    zip_error_fini(&e);
    return result;
  }
  zip_error_fini(&e);
  if (!SameDirectory(zip.get(), check)) {
    base::ZipCheck damaged;
    damaged.fault = base::ZipFault::DirectoryDamaged;
    result.error = FaultText(displayName, damaged);
    return result;
  }
  result.opened = true;

  // What goes where, decided before anything is written.
  struct Planned {
    zip_uint64_t index;
    std::wstring name, key;
    std::string display;
  };
  std::vector<Planned> plan;
  std::vector<uint64_t> sizes;
  // The names as the archive's maker wrote them, read from the records that were checked; the
  // files are made through the wide API under exactly those names, each of which must have a
  // form in the ANSI code page, in which the programs and the batch name their files.
  const std::wstring wideFolder = Wide(folder, CP_ACP);
  std::set<std::wstring> taken;  // the keys of the file names taken so far: the first entry wins
  std::string refusal;           // why no entry is unpacked at all
  for (size_t i = 0; i < check.entries.size(); ++i) {
    const base::ZipEntryRecord& entry = check.entries[i];
    std::wstring entryName;
    if (!EntryName(entry, entryName)) {
      ++result.failed;
      if (refusal.empty())
        refusal = "Das Archiv \"" + displayName + "\" ist fehlerhaft und wird nicht entpackt: Der Name des Eintrags \"" +
                  EntryText(entry) + "\" " +
                  (base::NameCodingOf(entry) == base::ZipNameCoding::Utf8
                       ? std::string("ist als UTF-8 gekennzeichnet, ist aber kein gültiger UTF-8-Text.")
                       : "ist in der OEM-Codepage dieses Computers (" + std::to_string(GetOEMCP()) + ") nicht lesbar.");
      continue;
    }
    auto name = base::ExtractedName(Utf8(entryName));
    if (!name) {
      ++result.skipped;
      continue;
    }
    const std::wstring wideName = Wide(*name, CP_UTF8);
    const std::string display = Ansi(*name);
    if (!HasAnsiForm(wideName)) {
      ++result.failed;
      if (refusal.empty())
        refusal = "Das Archiv \"" + displayName + "\" wird nicht entpackt: Der Name seines Eintrags \"" + display +
                  "\" enthält Zeichen, die es in der Codepage dieses Computers (" + std::to_string(GetACP()) +
                  ") nicht gibt.";
      continue;
    }
    const std::wstring key = FileNameKey(wideName);
    if (!taken.insert(key).second) {
      ++result.kept;
      continue;
    }
    std::string why;
    if (base::ZipEntryEncrypted(entry))
      why = "Er ist verschlüsselt.";
    else if (!base::ZipMethodSupported(entry.method))
      why = "Seine Kompressionsmethode " + base::ZipMethodName(entry.method) + " wird nicht unterstützt.";
    if (!why.empty()) {
      ++result.failed;
      if (result.error.empty()) result.error = "Der Eintrag \"" + display + "\" des Archivs ist fehlerhaft: " + why;
      continue;
    }
    plan.push_back({i, wideName, key, display});
    sizes.push_back(entry.size);
  }
  if (!refusal.empty()) {
    result.error = refusal;
    return result;
  }

  // Refused whole when the announced sizes do not fit on the folder's drive: a zip bomb never
  // fills the drive, and no update is half unpacked for want of room.
  ULARGE_INTEGER available = {};
  if (GetDiskFreeSpaceExW(wideFolder.c_str(), &available, nullptr, nullptr) &&
      !base::FitsOnDrive(sizes, available.QuadPart)) {
    uint64_t total = 0;
    for (uint64_t s : sizes) total = total + s < total ? ~0ull : total + s;
    result.failed += static_cast<int>(plan.size());
    result.error = "Das Archiv \"" + displayName + "\" wird nicht entpackt: Seine Dateien brauchen " +
                   FormatSize(static_cast<int64_t>(std::min<uint64_t>(total, INT64_MAX)), 1, ',') +
                   ", auf dem Laufwerk des temporären Ordners sind aber nur " +
                   FormatSize(static_cast<int64_t>(std::min<uint64_t>(available.QuadPart, INT64_MAX)), 1, ',') +
                   " frei.";
    return result;
  }

  const std::wstring batchKey = FileNameKey(L"Update.bat");
  for (const Planned& p : plan) {
    bool archiveFault = true;
    std::string error;
    toolkit::ScopedFile held;
    const std::wstring path = wideFolder + p.name;
    if (!CopyEntry(zip.get(), p.index, check.entries[p.index], path, held, archiveFault, error)) {
      ++result.failed;
      if (result.error.empty())
        result.error = "Der Eintrag \"" + p.display + "\" des Archivs " +
                       (archiveFault ? "ist fehlerhaft: " : "kann nicht entpackt werden: ") + error;
      continue;
    }
    if (result.batchIndex < 0 && p.key == batchKey)
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
