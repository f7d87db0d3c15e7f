// The archive engine's pure rules: honest archives that differ only in extra fields, and lies
// between the local and the central records, as bytes; methods; the room on the drive.
#include "base/zip_rules.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using base::ZipFault;

uint32_t Crc32(const std::string& data) {
  uint32_t crc = 0xFFFFFFFF;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

std::string Le(uint64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

// One stored entry as a writer would make it.
struct Item {
  std::string name, data;
  bool streamed = false;          // data descriptor after the data, zeros in the local header
  int descriptorWidth = 4;        // 4 or 8 bytes per size in the descriptor
  bool descriptorSignature = true;
  bool zip64Local = false;        // local sizes all ones, the real ones in a ZIP64 extra field
  bool zip64Central = false;      // central sizes and offset all ones, the real ones in ZIP64
  std::string localExtra, centralExtra;  // further extra fields (time stamps, ...)
};

struct Built {
  std::string bytes;
  std::vector<size_t> local, central;  // where each entry's local and central record begin
};

Built Build(const std::vector<Item>& items, bool zip64End = false, const std::string& comment = "") {
  Built b;
  std::string directory;
  for (const Item& it : items) {
    const uint32_t crc = Crc32(it.data);
    const uint64_t size = it.data.size();
    const uint64_t offset = b.bytes.size();
    b.local.push_back(offset);
    std::string extra = it.localExtra;
    uint64_t localCrc = crc, localSize = size;
    if (it.streamed) localCrc = localSize = 0;
    if (it.zip64Local) {
      extra = std::string("\x01\x00\x10\x00", 4) + Le(localSize, 8) + Le(localSize, 8) + extra;
      localSize = 0xFFFFFFFF;
    }
    const uint16_t flags = it.streamed ? 8 : 0;
    b.bytes += "PK\x03\x04" + Le(20, 2) + Le(flags, 2) + Le(0, 2) + Le(0, 4) + Le(localCrc, 4) + Le(localSize, 4) +
               Le(localSize, 4) + Le(it.name.size(), 2) + Le(extra.size(), 2) + it.name + extra + it.data;
    if (it.streamed)
      b.bytes += (it.descriptorSignature ? "PK\x07\x08" : "") + Le(crc, 4) + Le(size, it.descriptorWidth) +
                 Le(size, it.descriptorWidth);
    std::string cextra = it.centralExtra;
    uint64_t csize = size, coffset = offset;
    if (it.zip64Central) {
      cextra = std::string("\x01\x00\x18\x00", 4) + Le(size, 8) + Le(size, 8) + Le(offset, 8) + cextra;
      csize = coffset = 0xFFFFFFFF;
    }
    b.central.push_back(directory.size());
    directory += "PK\x01\x02" + Le(20, 2) + Le(20, 2) + Le(flags, 2) + Le(0, 2) + Le(0, 4) + Le(crc, 4) + Le(csize, 4) +
                 Le(csize, 4) + Le(it.name.size(), 2) + Le(cextra.size(), 2) + Le(0, 2) + Le(0, 2) + Le(0, 2) +
                 Le(0, 4) + Le(coffset, 4) + it.name + cextra;
  }
  const uint64_t directoryOffset = b.bytes.size();
  for (size_t& c : b.central) c += directoryOffset;
  b.bytes += directory;
  if (zip64End) {
    const uint64_t end64 = b.bytes.size();
    b.bytes += "PK\x06\x06" + Le(44, 8) + Le(45, 2) + Le(45, 2) + Le(0, 4) + Le(0, 4) + Le(items.size(), 8) +
               Le(items.size(), 8) + Le(directory.size(), 8) + Le(directoryOffset, 8);
    b.bytes += "PK\x06\x07" + Le(0, 4) + Le(end64, 8) + Le(1, 4);
    b.bytes += "PK\x05\x06" + Le(0, 2) + Le(0, 2) + Le(0xFFFF, 2) + Le(0xFFFF, 2) + Le(0xFFFFFFFF, 4) +
               Le(0xFFFFFFFF, 4) + Le(comment.size(), 2) + comment;
  } else {
    b.bytes += "PK\x05\x06" + Le(0, 2) + Le(0, 2) + Le(items.size(), 2) + Le(items.size(), 2) +
               Le(directory.size(), 4) + Le(directoryOffset, 4) + Le(comment.size(), 2) + comment;
  }
  return b;
}

void Put(std::string& bytes, size_t at, uint64_t v, int width) { bytes.replace(at, width, Le(v, width)); }

TEST(ZipRules, ConsistencyOfLocalAndCentralRecords) {
  const Item a{"bin/Kasse.exe", "MZ neu"}, b{"Update.bat", "@echo off\r\n"};
  const std::string time = std::string("UT\x05\x00\x03", 5) + Le(0x6B183608, 4);
  const std::string timeLong = std::string("UT\x09\x00\x03", 5) + Le(0x6B183608, 4) + Le(0x6B18360A, 4);
  Item streamed = b, streamedBare = b, streamed64 = b, zip64Local = a, zip64Central = a, stamped = a, zip64Stream = b;
  streamed.streamed = streamedBare.streamed = streamed64.streamed = true;
  streamedBare.descriptorSignature = false;
  streamed64.descriptorWidth = 8;
  zip64Local.zip64Local = true;
  zip64Central.zip64Central = true;
  stamped.localExtra = timeLong;
  stamped.centralExtra = time;
  zip64Stream.streamed = zip64Stream.zip64Local = true;
  zip64Stream.descriptorWidth = 8;
  const Built plain = Build({a, b});
  const size_t directory = plain.central[0];

  struct Case {
    const char* what;
    std::string bytes;
    ZipFault fault;
    size_t entry;
  } cases[] = {
      // Honest archives, as the tools write them.
      {"plain", plain.bytes, ZipFault::None, 0},
      {"empty archive", Build({}).bytes, ZipFault::None, 0},
      {"comment after the end record", Build({a, b}, false, "Kasse 2.0").bytes, ZipFault::None, 0},
      {"time stamps of their own on each side", Build({stamped, b}).bytes, ZipFault::None, 0},
      {"ZIP64 sizes in the local header only", Build({zip64Local, b}).bytes, ZipFault::None, 0},
      {"ZIP64 sizes and offset in the central record", Build({a, zip64Central}, true).bytes, ZipFault::None, 0},
      {"streamed, descriptor with signature", Build({a, streamed}).bytes, ZipFault::None, 0},
      {"streamed, descriptor without signature", Build({streamedBare, a}).bytes, ZipFault::None, 0},
      {"streamed, descriptor with 8-byte sizes", Build({streamed64, a}).bytes, ZipFault::None, 0},
      {"streamed with ZIP64 in the local header", Build({a, zip64Stream}).bytes, ZipFault::None, 0},
      // Not an archive, or one whose directory lies.
      {"nothing", "", ZipFault::NoArchive, 0},
      {"an error page", "<html>404 Not Found</html>", ZipFault::NoArchive, 0},
      {"cut off", plain.bytes.substr(0, plain.bytes.size() - 1), ZipFault::NoArchive, 0},
      {"bytes after the end record", plain.bytes + "x", ZipFault::NoArchive, 0},
      {"directory beyond its end record", plain.bytes, ZipFault::DirectoryDamaged, 0},
      {"more entries than the directory holds", plain.bytes, ZipFault::DirectoryDamaged, 0},
      {"directory not at its offset", plain.bytes, ZipFault::DirectoryDamaged, 0},
      // Lies between the local and the central record.
      {"name differs", plain.bytes, ZipFault::NameDiffers, 1},
      {"method differs", plain.bytes, ZipFault::MethodDiffers, 0},
      {"CRC differs", plain.bytes, ZipFault::CrcDiffers, 1},
      {"size differs", plain.bytes, ZipFault::SizeDiffers, 0},
      {"compressed size differs", plain.bytes, ZipFault::SizeDiffers, 1},
      {"encrypted on one side only", plain.bytes, ZipFault::FlagsDiffer, 0},
      {"descriptor with another CRC", Build({a, streamed}).bytes, ZipFault::CrcDiffers, 1},
      {"descriptor with another size", Build({streamedBare, a}).bytes, ZipFault::SizeDiffers, 0},
      {"offset past the end", plain.bytes, ZipFault::OutsideArchive, 1},
      {"offset onto other bytes", plain.bytes, ZipFault::HeaderMissing, 1},
      {"data reaching into the directory", plain.bytes, ZipFault::OutsideArchive, 1},
      {"overlapping entries", Build({a, a}).bytes, ZipFault::Overlapping, 1},
  };
  auto at = [&](const char* what) -> std::string& {
    for (Case& c : cases)
      if (std::string(c.what) == what) return c.bytes;
    throw std::logic_error(what);
  };
  const size_t end = plain.bytes.size() - 22;
  Put(at("directory beyond its end record"), end + 12, plain.bytes.size(), 4);
  Put(at("more entries than the directory holds"), end + 8, 3, 2);
  Put(at("more entries than the directory holds"), end + 10, 3, 2);
  Put(at("directory not at its offset"), end + 16, directory - 4, 4);
  at("name differs")[plain.local[1] + 30] = 'u';
  Put(at("method differs"), plain.local[0] + 8, 8, 2);
  Put(at("CRC differs"), plain.central[1] + 16, Crc32(b.data) ^ 1, 4);
  Put(at("size differs"), plain.local[0] + 22, a.data.size() + 1000, 4);
  Put(at("compressed size differs"), plain.local[1] + 18, b.data.size() - 1, 4);
  Put(at("encrypted on one side only"), plain.central[0] + 8, 1, 2);
  {
    const Built s = Build({a, streamed});
    Put(at("descriptor with another CRC"), s.central[0] - 12, Crc32(b.data) ^ 0x100, 4);
    const Built bare = Build({streamedBare, a});
    Put(at("descriptor with another size"), bare.local[1] - 4, b.data.size() + 1, 4);
  }
  Put(at("offset past the end"), plain.central[1] + 42, 0x7FFFFFFF, 4);
  Put(at("offset onto other bytes"), plain.central[1] + 42, plain.local[1] - 1, 4);
  // A consistent lie: both records announce more compressed bytes than lie before the directory.
  Put(at("data reaching into the directory"), plain.local[1] + 18, 100, 4);
  Put(at("data reaching into the directory"), plain.central[1] + 20, 100, 4);
  {
    // The second record points at the first entry's header: one stream, unpacked twice.
    const Built twice = Build({a, a});
    Put(at("overlapping entries"), twice.central[1] + 42, 0, 4);
  }

  for (const Case& c : cases) {
    base::ZipCheck check = base::CheckZipArchive(c.bytes.size(), base::ZipReaderOf(c.bytes));
    EXPECT_EQ(check.fault, c.fault) << c.what;
    if (c.fault != ZipFault::None && c.fault != ZipFault::NoArchive && c.fault != ZipFault::DirectoryDamaged)
      EXPECT_EQ(check.entry, c.entry) << c.what;
  }

  // What the honest archives announce, the ZIP64 values applied.
  base::ZipCheck check = base::CheckZipArchive(at("ZIP64 sizes and offset in the central record").size(),
                                                   base::ZipReaderOf(at("ZIP64 sizes and offset in the central record")));
  ASSERT_EQ(check.entries.size(), 2u);
  EXPECT_EQ(check.entries[0].name, "bin/Kasse.exe");
  EXPECT_EQ(check.entries[1].size, a.data.size());
  EXPECT_EQ(check.entries[1].headerOffset, check.entries[0].end);
  EXPECT_EQ(check.entries[1].crc, Crc32(a.data));
  // A reader that fails anywhere gives no archive, never an entry read from nothing.
  check = base::CheckZipArchive(plain.bytes.size(), [](uint64_t, size_t, std::string&) { return false; });
  EXPECT_EQ(check.fault, ZipFault::NoArchive);
  EXPECT_TRUE(check.entries.empty());
}

TEST(ZipRules, MethodsAndRoomOnTheDrive) {
  for (uint16_t m : {0, 8, 12, 14, 95}) EXPECT_TRUE(base::ZipMethodSupported(m)) << m;
  for (uint16_t m : {1, 6, 9, 33, 93, 98, 99}) EXPECT_FALSE(base::ZipMethodSupported(m)) << m;
  EXPECT_EQ(base::ZipMethodName(9), "Deflate64");
  EXPECT_EQ(base::ZipMethodName(4711), "Nr. 4711");
  base::ZipEntryRecord e;
  e.flags = 1;
  EXPECT_TRUE(base::ZipEntryEncrypted(e));

  const uint64_t reserve = base::kDiskReserve;
  struct Case {
    std::vector<uint64_t> sizes;
    uint64_t free;
    bool fits;
  } cases[] = {
      {{}, 0, true},
      {{1}, reserve + 4096, true},
      {{4097}, reserve + 4096, false},  // two clusters
      {{1, 1}, reserve + 4096, false},  // one cluster each
      {{0}, reserve, true},
      {{1}, reserve - 1, false},
      {{10ull << 30}, 9ull << 30, false},  // the 10 GB entry of a zip bomb
      {{~0ull, ~0ull}, ~0ull, false},      // sums that overflow
      {{1000000, 2000000}, reserve + 3000000 + 8192, true},
  };
  for (const Case& c : cases) EXPECT_EQ(base::FitsOnDrive(c.sizes, c.free), c.fits) << c.sizes.size() << " " << c.free;
}

TEST(ZipRules, ExtractedNamesStayInTheFolder) {
  const std::string longName(300, 'a');
  struct Case {
    std::string entry;
    const char* name;  // nullptr: skipped
  } cases[] = {
      {"Kasse.exe", "Kasse.exe"},   {"bin/Kasse.exe", "Kasse.exe"}, {"a\\b\\Update.bat", "Update.bat"},
      {"../x", "x"},                {"sub\\..\\y", "y"},            {"/abs/z.txt", "z.txt"},
      {"C:evil", nullptr},          {"C:\\evil", "evil"},           {"sub/", nullptr},
      {"..", nullptr},              {"a/..", nullptr},              {".", nullptr},
      {"...", nullptr},             {"CON.txt", nullptr},           {"con", nullptr},
      {"Nul", nullptr},             {"NUL .txt", nullptr},          {"aux.", nullptr},
      {"COM1", nullptr},            {"lpt9.log", nullptr},          {"COM10", "COM10"},
      {"COM0", "COM0"},             {"CONSOLE.txt", "CONSOLE.txt"}, {"a\x01" "b", nullptr},
      {"what?.txt", nullptr},       {longName, longName.c_str()},   {"", nullptr},
      {"COM\xC2\xB9", nullptr},      {"lpt\xC2\xB3.log", nullptr},   {"Com\xC2\xB2 .txt", nullptr},
      {"bin/LPT\xC2\xB3", nullptr},   {"COM\xC2\xB4", "COM\xC2\xB4"}, {"LPT\xC2\xB9x", "LPT\xC2\xB9x"},
      {"COM\xB9", "COM\xB9"},        // not UTF-8: no superscript
      {"X.exe ", nullptr},          {"a.dll.", nullptr},            {"a\x7F" "b", nullptr},
      {"a\xC2\x85" "b", nullptr},    {"a\xC2\xA0" "b", "a\xC2\xA0" "b"},  // U+0085 is a control, U+00A0 not
      {"Stra\xC3\x9F" "e.dll", "Stra\xC3\x9F" "e.dll"}, {" x", " x"},
  };
  for (const Case& c : cases) {
    auto got = base::ExtractedName(c.entry);
    if (c.name) {
      ASSERT_TRUE(got) << c.entry;
      EXPECT_EQ(*got, c.name);
    } else {
      EXPECT_FALSE(got) << c.entry << " -> " << got.value_or("");
    }
  }
}

// Names as their makers wrote them: flagged UTF-8, Info-ZIP's unflagged UTF-8 on Unix, the OEM
// code page of Windows tools; and the file system's comparison of names, ordinal and without
// regard to case.
TEST(ZipRules, NamesAreReadAndComparedAsWindowsDoes) {
  struct Coding {
    std::string name;
    uint8_t madeBy;
    uint16_t flags;
    base::ZipNameCoding coding;
  } codings[] = {
      {"\xC3\x84nderungen.txt", 0, base::kZipFlagUtf8, base::ZipNameCoding::Utf8},  // 7-Zip, Explorer
      {"\xC3\x84nderungen.txt", 3, 0, base::ZipNameCoding::Utf8},                  // Info-ZIP on Linux
      {"\xC3\x84nderungen.txt", 19, 0, base::ZipNameCoding::Utf8},                 // macOS
      {"\x8E" "nderungen.txt", 3, 0, base::ZipNameCoding::Oem},                     // not UTF-8
      {"\xC3\x84nderungen.txt", 0, 0, base::ZipNameCoding::Oem},  // made on Windows: "├änderungen"
      {"\xC3\x84nderungen.txt", 10, 0, base::ZipNameCoding::Oem},
      {"\xFF", 0, base::kZipFlagUtf8, base::ZipNameCoding::Utf8},  // flagged, and the reader finds it is none
  };
  for (const Coding& c : codings) {
    base::ZipEntryRecord e;
    e.name = c.name;
    e.madeBy = c.madeBy;
    e.flags = c.flags;
    EXPECT_EQ(base::NameCodingOf(e), c.coding) << c.name << " " << int(c.madeBy);
  }
  struct Text {
    std::string text;
    bool utf8;
  } texts[] = {
      {"", true},
      {"\xC3\x84", true},
      {"\xE2\x80\x93", true},
      {"\xF0\x9F\x98\x80", true},
      {"\xC3", false},              // cut off
      {"\xC0\x80", false},          // overlong
      {"\xE0\x9F\xBF", false},      // overlong
      {"\xED\xA0\x80", false},      // a surrogate
      {"\xF4\x90\x80\x80", false},  // above U+10FFFF
      {"\x84", false},
  };
  for (const Text& t : texts) EXPECT_EQ(base::IsUtf8(t.text), t.utf8) << t.text;
  EXPECT_EQ(base::Cp850ToUtf8("\x9A" "bersicht \x84\x94\x81\xE1 \xB0"),
            "\xC3\x9C" "bersicht \xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F \xE2\x96\x91");

  struct Pair {
    std::string a, b;  // Windows-1252
    bool same;
  } pairs[] = {
      {"Kasse.exe", "KASSE.EXE", true},
      {"\xC4nderung.txt", "\xE4NDERUNG.TXT", true},
      {"\x8A\x8C\x8E\x9F", "\x9A\x9C\x9E\xFF", true},  // Š Œ Ž Ÿ and their small letters
      {"Stra\xDF" "e.dll", "Strasse.dll", false},
      {"Stra\xDF" "e.dll", "STRA\xDF" "E.DLL", true},
      {"Up\xAD" "date.bat", "Update.bat", false},  // a soft hyphen
      {"\xF7", "\xD7", false},                   // ÷ and × are no pair
      {"\xB5", "\xCC", false},
      {"X.exe", "X.exe ", false},
  };
  for (const Pair& p : pairs)
    EXPECT_EQ(base::FileNameKey(p.a) == base::FileNameKey(p.b), p.same) << p.a << " / " << p.b;
}

}  // namespace
