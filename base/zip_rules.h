// The archive engine's pure rules: the consistency of a ZIP archive's central directory with its
// local headers, which entries the programs can unpack and under which name, and whether they fit
// on the drive.
// Nothing here touches Windows; the wizard and trelkpublish hand in the archive's bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace base {

// Reads `size` bytes at `offset` of the archive into `out` (replacing what it held). False when
// the archive has fewer bytes there or cannot be read.
using ZipReader = std::function<bool(uint64_t offset, size_t size, std::string& out)>;

// One entry as the central directory records it, its ZIP64 values applied.
struct ZipEntryRecord {
  std::string name;  // raw bytes, as stored
  uint8_t madeBy = 0;  // the system that wrote the entry (0 MS-DOS and Windows, 3 Unix, 19 macOS, ...)
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t size = 0;          // announced size of the unpacked data
  uint64_t headerOffset = 0;  // where its local header begins
  uint64_t end = 0;           // the first byte after its data and its data descriptor (once checked)
};

// What makes an archive unfit to unpack: every reader must see the same entries in it.
enum class ZipFault {
  None,
  NoArchive,          // no end record that closes the file (not a ZIP archive, or cut off)
  DirectoryDamaged,   // the central directory is not where and what its end record says
  HeaderMissing,      // no local header at an entry's offset (beyond the archive, or other bytes)
  NameDiffers,        // local and central record name the entry differently
  MethodDiffers,      // ... give another compression method
  FlagsDiffer,        // ... differ in encryption or in the data descriptor
  CrcDiffers,         // ... give another checksum (also the data descriptor's)
  SizeDiffers,        // ... give another size (also the data descriptor's)
  OutsideArchive,     // an entry's data reaches into the central directory or beyond the file
  Overlapping,        // two entries share bytes (one compressed stream unpacked many times)
};

struct ZipCheck {
  ZipFault fault = ZipFault::None;
  size_t entry = 0;  // index of the entry the fault is about (for the faults about one entry)
  std::vector<ZipEntryRecord> entries;  // the central directory in order; with a fault as far as read
};

// Reads the central directory of an archive of `archiveSize` bytes (its end record must close
// the file; a ZIP64 end record is followed) and compares every entry's local header with it:
// name, method, encryption and data-descriptor flags, checksum and both sizes must agree (a
// streamed entry's local checksum and sizes may be zero, its data descriptor must then agree);
// extra fields may differ (one side with ZIP64 sizes, time stamps of their own). Every entry's
// header, data and descriptor must lie before the central directory, no two entries sharing a
// byte. Does not throw except std::bad_alloc.
ZipCheck CheckZipArchive(uint64_t archiveSize, const ZipReader& read);

// A ZipReader over bytes held in memory (borrowed; they must outlive the reader).
ZipReader ZipReaderOf(const std::string& bytes);

// The compression methods the programs unpack: stored, Deflate, bzip2, LZMA (7-Zip's) and XZ.
bool ZipMethodSupported(uint16_t method);

// The name of a compression method for messages ("Deflate64", "PPMd", or "Nr. 99").
std::string ZipMethodName(uint16_t method);

// Whether an entry is encrypted (the programs know no password).
bool ZipEntryEncrypted(const ZipEntryRecord& entry);

// Free space that an extraction leaves on the drive of the temporary folder, so that the
// system and the programs can go on working: 64 MB.
constexpr uint64_t kDiskReserve = 64ull << 20;

// Whether files of the given announced sizes fit on a drive with `freeBytes` free: their sizes,
// each rounded up to whole 4 KB clusters, and kDiskReserve. Sums that overflow do not fit.
bool FitsOnDrive(const std::vector<uint64_t>& sizes, uint64_t freeBytes);

// ---- Entry names ----------------------------------------------------------------------------

// The general purpose flag that marks an entry's name as UTF-8.
constexpr uint16_t kZipFlagUtf8 = 0x0800;

// How an entry's name is stored.
enum class ZipNameCoding {
  Utf8,  // flagged as UTF-8, or written without the flag by a Unix or macOS system whose names
         // are UTF-8 (as Info-ZIP there does)
  Oem,   // in the OEM code page of the computer that made the archive (Explorer, 7-Zip and
         // Info-ZIP on Windows): the reader takes its own
};
ZipNameCoding NameCodingOf(const ZipEntryRecord& entry);

// Whether `text` is well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view text);

// Text in code page 850, the OEM code page of German Windows, as UTF-8.
std::string Cp850ToUtf8(std::string_view text);

// The file name (UTF-8) under which an archive entry (its name in UTF-8) is extracted into the
// temporary folder: the last component after both "/" and "\". Nothing (the entry is skipped)
// when that is empty, "." or "..", holds a control character (U+0000 to U+001F, U+007F to
// U+009F) or one of : < > " | ? *, ends in a blank or a dot (Windows would make the file under
// another name, which may be another entry's), or is a device name (CON, PRN, AUX, NUL,
// CONIN$, CONOUT$, CLOCK$, COM1-9, LPT1-9, COM¹-³ and LPT¹-³, also with an
// extension or with blanks before the dot).
std::optional<std::string> ExtractedName(std::string_view entryName);

// A file name of Windows-1252 as the file system compares names: every character upper-cased on
// its own ("ß" stays, so "Straße" and "Strasse" are two names; a soft hyphen counts).
// Two names are one file when their keys are equal.
std::string FileNameKey(std::string_view cp1252);

}  // namespace base
