// The archive engine: what lands in the folder for good, hostile and damaged archives.
#include "wizard/ZipExtract.h"

#include <windows.h>
#include <zip.h>

#include <gtest/gtest.h>

#include "base/zip_rules.h"
#include "tests/support/UpdateServer.h"

#include <cctype>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

struct Entry {
  std::string name;
  std::string data;
  bool store = false;  // uncompressed, so that a changed byte changes the data itself
};

using testsupport::FileExists;
using testsupport::Listing;
using testsupport::ReadFileBytes;
using testsupport::RemoveTree;

class ZipExtractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    static int n = 0;
    base_ = std::string(temp) + "zipx" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++n) + "\\";
    folder_ = base_ + "T\xE4mp\\";  // an umlaut in the folder, as in a German user name
    CreateDirectoryA(base_.c_str(), nullptr);
    CreateDirectoryA(folder_.c_str(), nullptr);
    archive_ = base_ + "Update.zip";
  }
  void TearDown() override { RemoveTree(base_); }
  void MakeArchive(const std::vector<Entry>& entries) {
    int error = 0;
    DeleteFileA(archive_.c_str());
    zip_t* z = zip_open(archive_.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_TRUE(z);
    for (const Entry& e : entries) {
      if (!e.name.empty() && e.name.back() == '/') {
        zip_dir_add(z, e.name.c_str(), ZIP_FL_ENC_UTF_8);
        continue;
      }
      zip_source_t* src = zip_source_buffer(z, e.data.data(), e.data.size(), 0);
      zip_int64_t index = zip_file_add(z, e.name.c_str(), src, ZIP_FL_ENC_UTF_8);
      ASSERT_GE(index, 0) << e.name;
      if (e.store) zip_set_file_compression(z, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
    ASSERT_EQ(zip_close(z), 0);
  }
  // An archive that a real tool made, built into this program from tests/wizard/archives (the
  // resource of "7z-lzma.zip" is ZIP_7Z_LZMA).
  static std::string Fixture(const std::string& file) {
    std::string name = "ZIP_";
    for (char c : file.substr(0, file.rfind('.'))) name += std::isalnum(static_cast<unsigned char>(c)) ? std::toupper(c) : '_';
    HRSRC found = FindResourceA(nullptr, name.c_str(), MAKEINTRESOURCEA(10));  // RT_RCDATA
    if (!found) return std::string();
    HGLOBAL loaded = LoadResource(nullptr, found);
    return std::string(static_cast<const char*>(LockResource(loaded)), SizeofResource(nullptr, found));
  }
  // Sets the 32-bit field at `offset` from every record with the given signature.
  static void PatchRecords(std::string& bytes, const char* signature, size_t offset, uint32_t value) {
    for (size_t at = bytes.find(signature); at != std::string::npos; at = bytes.find(signature, at + 4))
      for (int i = 0; i < 4; ++i) bytes[at + offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
  std::string base_, folder_, archive_;
};

TEST_F(ZipExtractTest, EntriesLandDirectlyInTheFolderAndNothingIsReplaced) {
  const std::vector<Entry> entries = {{"bin/Kasse.exe", "MZ neu"},
                                      {"doc/", ""},
                                      {"Update.bat", "neu"},
                                      {"lib\\x.dll", std::string("a\0b", 3)},
                                      {"\xC3\x84nderungen.txt", "Umlaut"},  // "Änderungen.txt" in UTF-8
                                      {"alt/UPDATE.BAT", "zweite"}};
  MakeArchive(entries);
  wizard::ExtractResult r = wizard::ExtractAll(archive_, folder_);
  EXPECT_TRUE(r.Complete()) << r.error;
  EXPECT_EQ(r.written, 4);
  EXPECT_EQ(r.kept, 1);  // the second template, whatever its case
  EXPECT_EQ(r.skipped, 1);
  EXPECT_EQ(r.batchIndex, 1);
  EXPECT_EQ(Listing(folder_), "[Kasse.exe][Update.bat][x.dll][\xC4nderungen.txt]");
  // Held: no other process may change a file the extraction made while the result lives.
  ASSERT_EQ(r.heldFiles.size(), 4u);
  EXPECT_EQ(CreateFileA((folder_ + "Kasse.exe").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeleteFileA((folder_ + "Update.bat").c_str()));
  r.heldFiles.clear();
  EXPECT_EQ(ReadFileBytes(folder_ + "Kasse.exe"), "MZ neu");
  EXPECT_EQ(ReadFileBytes(folder_ + "Update.bat"), "neu");
  EXPECT_EQ(ReadFileBytes(folder_ + "x.dll"), std::string("a\0b", 3));
  EXPECT_EQ(ReadFileBytes(folder_ + "\xC4nderungen.txt"), "Umlaut");

  // A file of an entry's name that was in the folder before (planted, or left by an earlier
  // run) is neither replaced nor taken for the entry: the extraction is incomplete.
  RemoveTree(folder_);
  CreateDirectoryA(folder_.c_str(), nullptr);
  std::ofstream(folder_ + "Update.bat", std::ios::binary) << "alt";
  r = wizard::ExtractAll(archive_, folder_);
  EXPECT_FALSE(r.Complete());
  EXPECT_EQ(r.failed, 1);
  EXPECT_EQ(r.batchIndex, -1);
  EXPECT_EQ(r.error, "Der Eintrag \"Update.bat\" des Archivs kann nicht entpackt werden: Im tempor\xE4ren Ordner ist "
                     "schon eine Datei dieses Namens.");
  wizard::RemoveWritten(r);
  EXPECT_EQ(Listing(folder_), "[Update.bat]");
  EXPECT_EQ(ReadFileBytes(folder_ + "Update.bat"), "alt");
}

TEST_F(ZipExtractTest, ArchiveWithAnUmlautInItsPathOpens) {
  MakeArchive({{"a.txt", "x"}});
  const std::string moved = folder_ + "M\xE4rz.zip";
  ASSERT_TRUE(MoveFileA(archive_.c_str(), moved.c_str()));
  wizard::ExtractResult r = wizard::ExtractAll(moved, folder_);
  EXPECT_TRUE(r.Complete()) << r.error;
  EXPECT_EQ(ReadFileBytes(folder_ + "a.txt"), "x");
  ASSERT_EQ(r.writtenFiles.size(), 1u);
  wizard::RemoveWritten(r);
  EXPECT_FALSE(FileExists(folder_ + "a.txt"));
  EXPECT_TRUE(FileExists(moved));
}

// Names as the archive's maker wrote them (flagged UTF-8; unflagged in the OEM code page of a
// Windows tool, 850 here; Info-ZIP's unflagged UTF-8 is a fixture below), each made under
// exactly that name and compared as the file system compares names. A name that the ANSI code
// page lacks refuses the archive before anything is written.
TEST_F(ZipExtractTest, NamesAreTheMakersAndComparedAsTheFileSystemDoes) {
  struct Named {
    std::string name;  // the bytes the archive holds
    bool utf8;         // flagged (libzip flags a name given as UTF-8 that is not ASCII)
    bool onWindows;    // made by a Windows tool rather than on Unix
  };
  struct Case {
    const char* what;
    std::vector<Named> entries;  // each with its index as data
    const char* listing;         // nullptr: refused whole
    int batchIndex;
    const char* error;  // the whole message when refused
  } cases[] = {
      {"flagged UTF-8, as trelkpublish writes",
       {{"Hilfe f\xC3\xBCr Anf\xC3\xA4nger.txt", true, true}, {"\xC3\x9C" "bersicht \xE2\x80\x93 Gr\xC3\xB6\xC3\x9F" "e.dat", true, true}},
       "[Hilfe f\xFCr Anf\xE4nger.txt][\xDC" "bersicht \x96 Gr\xF6\xDF" "e.dat]", -1, nullptr},
      {"code page 850 without the flag, from Explorer or 7-Zip",
       {{"\x9A" "bersicht \x84\x94\x81\xE1.txt", false, true}}, "[\xDC" "bersicht \xE4\xF6\xFC\xDF.txt]", -1, nullptr},
      {"no UTF-8 without the flag on Unix", {{"\x8E" "nderung.txt", false, false}}, "[\xC4nderung.txt]", -1, nullptr},
      {"\"\xDF\" is not \"ss\", a soft hyphen counts",
       {{"Up\xC2\xAD" "date.bat", true, true}, {"Stra\xC3\x9F" "e.dll", true, true}, {"Strasse.dll", false, true},
        {"update.BAT", false, true}},
       "[Strasse.dll][Stra\xDF" "e.dll][Up\xAD" "date.bat][update.BAT]", 3, nullptr},
      {"one name in two cases, with a blank or a dot at its end",
       {{"\xC3\xA4.txt", true, true}, {"\xC3\x84.TXT", true, true}, {"\xC3\xA4.txt ", true, true},
        {"\xC3\xA4.txt.", true, true}},
       "[\xE4.txt]", -1, nullptr},
      {"a name that code page 1252 lacks", {{"a.txt", false, true}, {"\xC5\x81\xC3\xB3" "d\xC5\xBA.txt", true, true}},
       nullptr, -1,
       "Das Archiv \"ARCHIVE\" wird nicht entpackt: Der Name seines Eintrags \"?\xF3" "d?.txt\" enth\xE4lt Zeichen, die es "
       "in der Codepage dieses Computers (1252) nicht gibt."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RemoveTree(folder_);
    CreateDirectoryA(folder_.c_str(), nullptr);
    DeleteFileA(archive_.c_str());
    int error = 0;
    zip_t* z = zip_open(archive_.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_TRUE(z);
    std::vector<std::string> data;
    for (size_t i = 0; i < c.entries.size(); ++i) data.push_back(std::to_string(i));
    for (size_t i = 0; i < c.entries.size(); ++i) {
      zip_source_t* src = zip_source_buffer(z, data[i].data(), data[i].size(), 0);
      const zip_int64_t index = zip_file_add(z, c.entries[i].name.c_str(), src,
                                             c.entries[i].utf8 ? ZIP_FL_ENC_UTF_8 : ZIP_FL_ENC_CP437);
      ASSERT_GE(index, 0);
      zip_file_set_external_attributes(z, static_cast<zip_uint64_t>(index), 0,
                                       c.entries[i].onWindows ? ZIP_OPSYS_DOS : ZIP_OPSYS_UNIX, 0);
    }
    ASSERT_EQ(zip_close(z), 0);
    wizard::ExtractResult r = wizard::ExtractAll(archive_, folder_);
    r.heldFiles.clear();
    if (!c.listing) {
      std::string expected = c.error;
      expected.replace(expected.find("ARCHIVE"), 7, archive_);
      EXPECT_EQ(r.error, expected);
      EXPECT_FALSE(r.Complete());
      EXPECT_EQ(r.written, 0);
      EXPECT_EQ(Listing(folder_), "");
      continue;
    }
    EXPECT_TRUE(r.Complete()) << r.error;
    EXPECT_EQ(Listing(folder_), c.listing);
    EXPECT_EQ(r.batchIndex, c.batchIndex);
    // Each file holds its own entry: the first of two entries of one name.
    for (size_t i = 0; i < r.writtenFiles.size(); ++i) {
      const std::wstring& path = r.writtenFiles[i];
      HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(f, INVALID_HANDLE_VALUE);
      char buffer[16];
      DWORD got = 0;
      ReadFile(f, buffer, sizeof buffer, &got, nullptr);
      CloseHandle(f);
      EXPECT_EQ(std::string(buffer, got), std::to_string(i)) << i;
    }
  }

  // The file system's comparison, character by character, is the one publish and verify apply.
  for (int b = 0x20; b < 0x100; ++b) {
    const char c = static_cast<char>(b);
    wchar_t wide = 0, upper = 0;
    ASSERT_EQ(MultiByteToWideChar(1252, 0, &c, 1, &wide, 1), 1);
    ASSERT_EQ(LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &wide, 1, &upper, 1, nullptr, nullptr, 0), 1);
    char back = 0;
    BOOL lacking = FALSE;
    WideCharToMultiByte(1252, 0, &upper, 1, &back, 1, nullptr, &lacking);
    EXPECT_EQ(base::FileNameKey(std::string(1, c)), std::string(1, lacking ? c : back)) << b;
  }
}

TEST_F(ZipExtractTest, HostileNamesWriteNothingOutsideTheFolder) {
  MakeArchive({{"../x", "1"},
               {"C:evil", "2"},
               {"sub\\..\\y", "3"},
               {"CON.txt", "4"},
               {std::string(300, 'a'), "5"},
               {"Update.bat", "erste"},
               {"tief/Update.bat", "zweite"},
               {"..\\..\\z", "6"}});
  wizard::ExtractResult r = wizard::ExtractAll(archive_, folder_);
  EXPECT_TRUE(r.opened);
  EXPECT_EQ(Listing(base_), "[T\xE4mp/][Update.zip]");  // nothing beside the folder
  EXPECT_EQ(Listing(folder_), "[Update.bat][x][y][z]");
  EXPECT_EQ(ReadFileBytes(folder_ + "Update.bat"), "erste");
  EXPECT_EQ(r.skipped, 2);  // C:evil, CON.txt
  EXPECT_EQ(r.kept, 1);     // the second Update.bat
  r.heldFiles.clear();
  EXPECT_EQ(r.failed, 1);   // the name too long for the folder
  EXPECT_FALSE(r.Complete());
  EXPECT_NE(r.error.find(std::string(300, 'a')), std::string::npos) << r.error;
}

TEST_F(ZipExtractTest, DamagedArchivesAreReportedAndLeaveNoPartialFiles) {
  const std::string big(200000, 'q');
  MakeArchive({{"a.txt", "vorher"}, {"big.bin", big, true}, {"c.txt", "nachher"}});
  std::string bytes = ReadFileBytes(archive_);
  ASSERT_GT(bytes.size(), big.size());

  struct Case {
    const char* what;
    std::string archive;
    bool opened;
    const char* error;  // part of the message
  } cases[] = {
      {"cut off", bytes.substr(0, bytes.size() / 2), false, "kein ZIP-Archiv oder unvollst\xE4ndig"},
      {"no archive", "<html>404 Not Found</html>", false, "kein ZIP-Archiv"},
      {"empty", "", false, "kein ZIP-Archiv"},
      {"changed byte", bytes, true, "Der Eintrag \"big.bin\" des Archivs ist fehlerhaft: Seine Pr\xFC" "fsumme stimmt nicht."},
      // A zip bomb whose records agree on a lie: 1000 bytes announced, 200000 in the stream.
      {"more data than announced", bytes, true, "fehlerhaft: Er enth\xE4lt mehr Daten, als das Archiv f\xFCr ihn angibt (1000 Byte)."},
      // A lie between the local and the central record (the rules' table has every kind):
      // nothing is unpacked at all.
      {"local name differs", bytes, false, "\"big.bin\" hat in seinem Kopf eine andere Namensangabe"},
  };
  size_t at = bytes.find(big);
  ASSERT_NE(at, std::string::npos);
  cases[3].archive[at + 100000] = 'X';
  // big.bin's local header before its data, its central record (name at 46) after all data.
  const size_t local = bytes.rfind("PK\x03\x04", at), central = bytes.find("big.bin", at + big.size()) - 46;
  ASSERT_EQ(bytes.compare(central, 4, "PK\x01\x02"), 0);
  auto put32 = [](std::string& b, size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  put32(cases[4].archive, local + 22, 1000);
  put32(cases[4].archive, central + 24, 1000);
  cases[5].archive[local + 30 + 2] = 'x';  // "bix.bin"
  for (const Case& c : cases) {
    std::ofstream(archive_, std::ios::binary | std::ios::trunc) << c.archive;
    for (const char* f : {"a.txt", "big.bin", "c.txt"}) DeleteFileA((folder_ + f).c_str());
    wizard::ExtractResult r = wizard::ExtractAll(archive_, folder_);
    r.heldFiles.clear();
    EXPECT_EQ(r.opened, c.opened) << c.what;
    EXPECT_FALSE(r.Complete()) << c.what;
    EXPECT_NE(r.error.find(c.error), std::string::npos) << c.what << ": " << r.error;
    EXPECT_FALSE(FileExists(folder_ + "big.bin")) << c.what;
    if (c.opened) {
      EXPECT_EQ(r.failed, 1) << c.what;
      EXPECT_NE(r.error.find("big.bin"), std::string::npos) << r.error;
      EXPECT_EQ(ReadFileBytes(folder_ + "c.txt"), "nachher");  // the other entries still arrive
    } else {
      EXPECT_EQ(Listing(folder_), "") << c.what;
    }
  }

  // A zip bomb that announces what it unpacks to: 2000 entries of almost 4 GB each, far more
  // than the drive holds. Refused before a single file is made.
  std::vector<Entry> many;
  for (int i = 0; i < 2000; ++i) many.push_back({"teil" + std::to_string(i) + ".bin", "x", true});
  MakeArchive(many);
  std::string bomb = ReadFileBytes(archive_);
  PatchRecords(bomb, "PK\x03\x04", 22, 0xFFFFFFF0);
  PatchRecords(bomb, "PK\x01\x02", 24, 0xFFFFFFF0);
  std::ofstream(archive_, std::ios::binary | std::ios::trunc) << bomb;
  RemoveTree(folder_);
  CreateDirectoryA(folder_.c_str(), nullptr);
  wizard::ExtractResult r = wizard::ExtractAll(archive_, folder_);
  EXPECT_TRUE(r.opened);
  EXPECT_FALSE(r.Complete());
  EXPECT_EQ(r.written, 0);
  EXPECT_EQ(Listing(folder_), "");
  EXPECT_NE(r.error.find("wird nicht entpackt: Seine Dateien brauchen 7,8 TB, auf dem Laufwerk des tempor\xE4ren "
                         "Ordners sind aber nur "),
            std::string::npos)
      << r.error;
  EXPECT_FALSE(wizard::ExtractAll(base_ + "fehlt.zip", folder_).opened);
}

TEST_F(ZipExtractTest, ArchivesOfRealToolsUnpack) {
  // Each archive holds Update.bat (stored or packed as the tool chose), Kasse.exe (973 bytes,
  // packed) and "\xC4nderungen.txt" (its name in UTF-8), made in that order from one folder.
  struct Case {
    const char* archive;
    const char* madeWith;
    const char* error;  // nullptr: all three unpack
  } cases[] = {
      {"infozip.zip", "zip -q (Info-ZIP 3.0; time stamps and Unix ids in extra fields)", nullptr},
      {"infozip-fz.zip", "zip -q -fz (ZIP64 sizes in every local header only)", nullptr},
      {"infozip-store.zip", "zip -q -0 (stored)", nullptr},
      {"infozip-stream.zip", "zip -q - ... | cat (streamed: data descriptors)", nullptr},
      {"7z.zip", "7z a -tzip (p7zip 16.02; -mcu=on gives the same bytes)", nullptr},
      {"7z-bzip2.zip", "7z a -tzip -mm=BZip2", nullptr},
      {"7z-lzma.zip", "7z a -tzip -mm=LZMA (LZMA streams with end marker)", nullptr},
      {"7z-lzma-noeos.zip", "7z a -tzip -mm=LZMA -meos=off (ended by the announced size)", nullptr},
      {"bsdtar.zip", "bsdtar --format zip -cf (libarchive 3.6, as Windows' tar -a; streamed)", nullptr},
      {"7z-deflate64.zip", "7z a -tzip -mm=Deflate64 (as Explorer writes large files)",
       "Der Eintrag \"Kasse.exe\" des Archivs ist fehlerhaft: Seine Kompressionsmethode Deflate64 wird nicht "
       "unterst\xFCtzt."},
  };
  const std::string kasse = "MZ Kasse 2.0 " + [] {
    std::string s;
    for (int i = 0; i < 40; ++i) s += "neue Fassung der Kasse. ";
    return s;
  }();
  for (const Case& c : cases) {
    const std::string bytes = Fixture(c.archive);
    ASSERT_FALSE(bytes.empty()) << c.archive;
    RemoveTree(folder_);
    CreateDirectoryA(folder_.c_str(), nullptr);
    std::ofstream(archive_, std::ios::binary | std::ios::trunc) << bytes;
    wizard::ExtractResult r = wizard::ExtractAll(archive_, folder_);
    r.heldFiles.clear();
    EXPECT_TRUE(r.opened) << c.madeWith << ": " << r.error;
    EXPECT_EQ(ReadFileBytes(folder_ + "Update.bat"), "@echo off\r\nrem Kasse 2.0\r\ncopy /y %%1Kasse.exe \"%s\"\r\n")
        << c.madeWith;
    EXPECT_EQ(ReadFileBytes(folder_ + "\xC4nderungen.txt"), "Neu in 2.0: alles.\r\n") << c.madeWith;
    if (!c.error) {
      EXPECT_TRUE(r.Complete()) << c.madeWith << ": " << r.error;
      EXPECT_EQ(Listing(folder_), "[Kasse.exe][Update.bat][\xC4nderungen.txt]") << c.madeWith;
      EXPECT_EQ(ReadFileBytes(folder_ + "Kasse.exe"), kasse) << c.madeWith;
    } else {
      EXPECT_EQ(r.failed, 1) << c.madeWith;
      EXPECT_EQ(r.error, c.error) << c.madeWith;
      EXPECT_FALSE(FileExists(folder_ + "Kasse.exe")) << c.madeWith;
    }
  }
}

TEST(ToOemText, ConvertsWholePathsOfAnyLength) {
  EXPECT_EQ(wizard::ToOemText("C:\\Temp\\M\xE4rz \xFC\xDF\\"), "C:\\Temp\\M\x84rz \x81\xE1\\");
  EXPECT_EQ(wizard::ToOemText(""), "");
  std::string longPath = "C:\\" + std::string(400, 'a') + "\\\xE4";
  std::string oem = wizard::ToOemText(longPath);
  ASSERT_EQ(oem.size(), longPath.size());
  EXPECT_EQ(oem.substr(0, 403), longPath.substr(0, 403));
  EXPECT_EQ(oem.back(), '\x84');
}

}  // namespace
