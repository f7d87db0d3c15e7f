// The consistency check of ZIP archives, read from bytes, and the rules about what is unpacked.
#include "base/zip_rules.h"

#include <algorithm>
#include <numeric>

#include "base/StrUtils.h"

namespace base {

namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kEnd64Signature = 0x06064b50;
constexpr uint32_t kLocator64Signature = 0x07064b50;
constexpr uint32_t kDescriptorSignature = 0x08074b50;
constexpr size_t kLocalSize = 30, kCentralSize = 46, kEndSize = 22, kLocator64Size = 20, kEnd64Size = 56;
constexpr uint16_t kZip64Extra = 0x0001;
constexpr uint16_t kFlagEncrypted = 0x0001, kFlagDescriptor = 0x0008;
constexpr uint32_t kMax32 = 0xFFFFFFFF;
constexpr uint16_t kMax16 = 0xFFFF;

uint64_t Little(const std::string& b, size_t at, size_t bytes) {
  uint64_t v = 0;
  for (size_t i = bytes; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}
uint16_t U16(const std::string& b, size_t at) { return static_cast<uint16_t>(Little(b, at, 2)); }
uint32_t U32(const std::string& b, size_t at) { return static_cast<uint32_t>(Little(b, at, 4)); }
uint64_t U64(const std::string& b, size_t at) { return Little(b, at, 8); }

// Applies the ZIP64 extra field of `extra` to the values marked as held there (the 32-bit
// value all ones), in the field's order. False when a marked value is missing.
bool ApplyZip64(const std::string& extra, std::vector<uint64_t*> marked) {
  if (marked.empty()) return true;
  for (size_t at = 0; at + 4 <= extra.size();) {
    const uint16_t id = U16(extra, at);
    const size_t length = U16(extra, at + 2);
    if (at + 4 + length > extra.size()) return false;
    if (id == kZip64Extra) {
      if (marked.size() * 8 > length) return false;
      for (size_t i = 0; i < marked.size(); ++i) *marked[i] = U64(extra, at + 4 + 8 * i);
      return true;
    }
    at += 4 + length;
  }
  return false;
}

bool Overflows(uint64_t a, uint64_t b) { return a + b < a; }

// Checks the local header of `e` (and its data descriptor) against the central record and sets
// e.end. `limit` is where the central directory begins.
ZipFault CheckLocal(ZipEntryRecord& e, uint64_t limit, const ZipReader& read) {
  std::string h;
  if (Overflows(e.headerOffset, kLocalSize) || e.headerOffset + kLocalSize > limit) return ZipFault::OutsideArchive;
  if (!read(e.headerOffset, kLocalSize, h) || h.size() != kLocalSize || U32(h, 0) != kLocalSignature)
    return ZipFault::HeaderMissing;
  const uint16_t flags = U16(h, 6), method = U16(h, 8);
  uint32_t crc = U32(h, 14);
  uint64_t compressed = U32(h, 18), size = U32(h, 22);
  const size_t nameLength = U16(h, 26), extraLength = U16(h, 28);
  const uint64_t dataOffset = e.headerOffset + kLocalSize + nameLength + extraLength;
  if (dataOffset > limit) return ZipFault::OutsideArchive;
  std::string tail;
  if (!read(e.headerOffset + kLocalSize, nameLength + extraLength, tail) || tail.size() != nameLength + extraLength)
    return ZipFault::HeaderMissing;
  if (tail.compare(0, nameLength, e.name) != 0 || nameLength != e.name.size()) return ZipFault::NameDiffers;
  if (method != e.method) return ZipFault::MethodDiffers;
  if ((flags ^ e.flags) & (kFlagEncrypted | kFlagDescriptor)) return ZipFault::FlagsDiffer;
  std::vector<uint64_t*> marked;
  if (size == kMax32) marked.push_back(&size);
  if (compressed == kMax32) marked.push_back(&compressed);
  if (!ApplyZip64(tail.substr(nameLength), marked)) return ZipFault::SizeDiffers;
  const bool streamed = (e.flags & kFlagDescriptor) != 0;
  // A streamed entry's header was written before its data: zero stands for "not known yet".
  if (crc != e.crc && !(streamed && crc == 0)) return ZipFault::CrcDiffers;
  if ((size != e.size && !(streamed && size == 0)) || (compressed != e.compressedSize && !(streamed && compressed == 0)))
    return ZipFault::SizeDiffers;
  if (Overflows(dataOffset, e.compressedSize) || dataOffset + e.compressedSize > limit) return ZipFault::OutsideArchive;
  e.end = dataOffset + e.compressedSize;
  if (!streamed) return ZipFault::None;

  // The data descriptor: an optional signature, the checksum and both sizes in 4 or 8 bytes.
  std::string d;
  const uint64_t available = std::min<uint64_t>(24, limit - e.end);
  if (available < 12 || !read(e.end, static_cast<size_t>(available), d) || d.size() != available)
    return ZipFault::OutsideArchive;
  const bool signature = U32(d, 0) == kDescriptorSignature;
  for (size_t start : {signature ? size_t(4) : size_t(0), size_t(0)}) {
    for (size_t width : {size_t(4), size_t(8)}) {
      if (start + 4 + 2 * width > d.size()) continue;
      if (U32(d, start) == e.crc && Little(d, start + 4, width) == e.compressedSize &&
          Little(d, start + 4 + width, width) == e.size) {
        e.end += start + 4 + 2 * width;
        return ZipFault::None;
      }
    }
  }
  return U32(d, signature ? 4 : 0) != e.crc ? ZipFault::CrcDiffers : ZipFault::SizeDiffers;
}

}  // namespace

ZipCheck CheckZipArchive(uint64_t archiveSize, const ZipReader& read) {
  ZipCheck check;
  check.fault = ZipFault::NoArchive;
  if (archiveSize < kEndSize) return check;

  // The end record that closes the file: its comment reaches exactly to the end.
  const uint64_t window = std::min<uint64_t>(archiveSize, kEndSize + kMax16);
  std::string tail;
  if (!read(archiveSize - window, static_cast<size_t>(window), tail) || tail.size() != window) return check;
  size_t end = std::string::npos;
  for (size_t at = tail.size() - kEndSize + 1; at-- > 0;) {
    if (U32(tail, at) == kEndSignature && at + kEndSize + U16(tail, at + 20) == tail.size()) {
      end = at;
      break;
    }
  }
  if (end == std::string::npos) return check;
  check.fault = ZipFault::DirectoryDamaged;
  const uint64_t endOffset = archiveSize - window + end;
  uint64_t disk = U16(tail, end + 4), directoryDisk = U16(tail, end + 6);
  uint64_t onDisk = U16(tail, end + 8), count = U16(tail, end + 10);
  uint64_t directorySize = U32(tail, end + 12), directoryOffset = U32(tail, end + 16);
  uint64_t directoryLimit = endOffset;  // the directory ends where the end records begin
  std::string locator;
  if (endOffset >= kLocator64Size && read(endOffset - kLocator64Size, kLocator64Size, locator) &&
      locator.size() == kLocator64Size && U32(locator, 0) == kLocator64Signature) {
    const uint64_t end64Offset = U64(locator, 8);
    std::string end64;
    if (end64Offset > endOffset - kLocator64Size || endOffset - kLocator64Size - end64Offset < kEnd64Size ||
        !read(end64Offset, kEnd64Size, end64) || end64.size() != kEnd64Size || U32(end64, 0) != kEnd64Signature)
      return check;
    disk = U32(end64, 16);
    directoryDisk = U32(end64, 20);
    onDisk = U64(end64, 24);
    count = U64(end64, 32);
    directorySize = U64(end64, 40);
    directoryOffset = U64(end64, 48);
    directoryLimit = end64Offset;
  }
  if (disk != 0 || directoryDisk != 0 || onDisk != count) return check;
  if (Overflows(directoryOffset, directorySize) || directoryOffset + directorySize > directoryLimit) return check;
  // Every record takes 46 bytes at least: a count that cannot fit is a lie.
  if (count > directorySize / kCentralSize) return check;
  std::string directory;
  if (!read(directoryOffset, static_cast<size_t>(directorySize), directory) || directory.size() != directorySize)
    return check;

  size_t at = 0;
  for (uint64_t i = 0; i < count; ++i) {
    if (at + kCentralSize > directory.size() || U32(directory, at) != kCentralSignature) return check;
    ZipEntryRecord e;
    e.madeBy = static_cast<uint8_t>(directory[at + 5]);
    e.flags = U16(directory, at + 8);
    e.method = U16(directory, at + 10);
    e.crc = U32(directory, at + 16);
    e.compressedSize = U32(directory, at + 20);
    e.size = U32(directory, at + 24);
    const size_t nameLength = U16(directory, at + 28), extraLength = U16(directory, at + 30);
    const size_t commentLength = U16(directory, at + 32);
    uint64_t startDisk = U16(directory, at + 34);
    e.headerOffset = U32(directory, at + 42);
    const size_t next = at + kCentralSize + nameLength + extraLength + commentLength;
    if (next > directory.size()) return check;
    e.name = directory.substr(at + kCentralSize, nameLength);
    std::vector<uint64_t*> marked;
    if (e.size == kMax32) marked.push_back(&e.size);
    if (e.compressedSize == kMax32) marked.push_back(&e.compressedSize);
    if (e.headerOffset == kMax32) marked.push_back(&e.headerOffset);
    if (startDisk == kMax16) marked.push_back(&startDisk);
    if (!ApplyZip64(directory.substr(at + kCentralSize + nameLength, extraLength), marked) || startDisk != 0)
      return check;
    check.entries.push_back(std::move(e));
    at = next;
  }
  if (at != directory.size()) return check;

  for (size_t i = 0; i < check.entries.size(); ++i) {
    check.fault = CheckLocal(check.entries[i], directoryOffset, read);
    if (check.fault != ZipFault::None) {
      check.entry = i;
      return check;
    }
  }
  std::vector<size_t> order(check.entries.size());
  std::iota(order.begin(), order.end(), size_t(0));
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return check.entries[a].headerOffset < check.entries[b].headerOffset; });
  for (size_t k = 1; k < order.size(); ++k) {
    if (check.entries[order[k - 1]].end > check.entries[order[k]].headerOffset) {
      check.fault = ZipFault::Overlapping;
      check.entry = std::max(order[k - 1], order[k]);
      return check;
    }
  }
  check.fault = ZipFault::None;
  return check;
}

ZipReader ZipReaderOf(const std::string& bytes) {
  return [&bytes](uint64_t offset, size_t size, std::string& out) {
    if (offset > bytes.size() || size > bytes.size() - offset) return false;
    out.assign(bytes, static_cast<size_t>(offset), size);
    return true;
  };
}

bool ZipMethodSupported(uint16_t method) {
  return method == 0 || method == 8 || method == 12 || method == 14 || method == 95;
}

std::string ZipMethodName(uint16_t method) {
  switch (method) {
    case 0: return "Store";
    case 1: return "Shrink";
    case 2: case 3: case 4: case 5: return "Reduce";
    case 6: return "Implode";
    case 8: return "Deflate";
    case 9: return "Deflate64";
    case 10: return "PKWARE Implode";
    case 12: return "BZip2";
    case 14: return "LZMA";
    case 33: return "LZMA2";
    case 93: return "Zstandard";
    case 95: return "XZ";
    case 96: return "JPEG";
    case 97: return "WavPack";
    case 98: return "PPMd";
    case 99: return "AES";
    default: return "Nr. " + std::to_string(method);
  }
}

bool ZipEntryEncrypted(const ZipEntryRecord& entry) { return (entry.flags & kFlagEncrypted) != 0 || entry.method == 99; }

bool FitsOnDrive(const std::vector<uint64_t>& sizes, uint64_t freeBytes) {
  constexpr uint64_t kCluster = 4096;
  if (freeBytes < kDiskReserve) return sizes.empty();
  const uint64_t clustersFree = (freeBytes - kDiskReserve) / kCluster;
  uint64_t clusters = 0;
  for (uint64_t size : sizes) {
    const uint64_t c = size / kCluster + (size % kCluster != 0 ? 1 : 0);
    if (Overflows(clusters, c)) return false;
    clusters += c;
  }
  return clusters <= clustersFree;
}

// ---- Entry names ----------------------------------------------------------------------------

namespace {

constexpr uint8_t kMadeOnUnix = 3, kMadeOnMac = 19;

// Code page 850 from 0x80 on.
const char16_t kCp850[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC,
    0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00F8,
    0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x00AE,
    0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C,
    0x00E3, 0x00C3, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB,
    0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580, 0x00D3, 0x00DF,
    0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, 0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8, 0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2,
    0x25A0, 0x00A0,
};

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool IsUtf8(std::string_view text) { return base::DecodeUtf8(text).has_value(); }

ZipNameCoding NameCodingOf(const ZipEntryRecord& entry) {
  if (entry.flags & kZipFlagUtf8) return ZipNameCoding::Utf8;
  if ((entry.madeBy == kMadeOnUnix || entry.madeBy == kMadeOnMac) && IsUtf8(entry.name)) return ZipNameCoding::Utf8;
  return ZipNameCoding::Oem;
}

std::string Cp850ToUtf8(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    base::AppendUtf8(out, b < 0x80 ? b : kCp850[b - 0x80]);
  }
  return out;
}

std::optional<std::string> ExtractedName(std::string_view entryName) {
  size_t cut = entryName.find_last_of("/\\");
  std::string name(cut == std::string_view::npos ? entryName : entryName.substr(cut + 1));
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  for (size_t i = 0; i < name.size(); ++i) {
    const auto u = static_cast<unsigned char>(name[i]);
    // U+0080 to U+009F are C2 80 to C2 9F in UTF-8.
    const bool c1 = u == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) <= 0x9F;
    if (u < 32 || u == 0x7F || c1 || std::string_view(":<>\"|?*").find(name[i]) != std::string_view::npos)
      return std::nullopt;
  }
  // Windows drops trailing dots and blanks: "x. " would be made as "x".
  if (name.back() == ' ' || name.back() == '.') return std::nullopt;
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  std::string upper;
  for (char c : stem) upper += Upper(c);
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* device : kDevices)
    if (upper == device) return std::nullopt;
  if (upper.size() >= 4 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0)) {
    // Windows also takes the superscript digits for these devices: "COM¹" is a port.
    static const char* const kDigits[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};
    for (const char* digit : kDigits)
      if (upper.compare(3, std::string::npos, digit) == 0) return std::nullopt;
  }
  return name;
}

std::string FileNameKey(std::string_view cp1252) {
  std::string key(cp1252);
  for (char& c : key) {
    const auto u = static_cast<unsigned char>(c);
    unsigned char upper = u;
    if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) upper = static_cast<unsigned char>(u - 0x20);
    else if (u == 0x9A || u == 0x9C || u == 0x9E) upper = static_cast<unsigned char>(u - 0x10);  // š œ ž
    else if (u == 0xFF) upper = 0x9F;                                                          // ÿ
    c = static_cast<char>(upper);
  }
  return key;
}

}  // namespace base
