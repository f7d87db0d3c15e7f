// The archive engine: what lands in the folder for good, hostile and damaged archives.
#include "wizard/ZipExtract.h"

#include <windows.h>
#include <zip.h>

#include <gtest/gtest.h>

#include "tests/support/UpdateServer.h"

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
  EXPECT_NE(r.error.find("Update.bat"), std::string::npos) << r.error;
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
  } cases[] = {
      {"cut off", bytes.substr(0, bytes.size() / 2), false},
      {"no archive", "<html>404 Not Found</html>", false},
      {"empty", "", false},
      {"changed byte", bytes, true},
  };
  size_t at = bytes.find(big);
  ASSERT_NE(at, std::string::npos);
  cases[3].archive[at + 100000] = 'X';
  for (const Case& c : cases) {
    std::ofstream(archive_, std::ios::binary | std::ios::trunc) << c.archive;
    for (const char* f : {"a.txt", "big.bin", "c.txt"}) DeleteFileA((folder_ + f).c_str());
    wizard::ExtractResult r = wizard::ExtractAll(archive_, folder_);
    r.heldFiles.clear();
    EXPECT_EQ(r.opened, c.opened) << c.what;
    EXPECT_FALSE(r.Complete()) << c.what;
    EXPECT_FALSE(r.error.empty()) << c.what;
    EXPECT_FALSE(FileExists(folder_ + "big.bin")) << c.what;
    if (c.opened) {
      EXPECT_EQ(r.failed, 1) << c.what;
      EXPECT_NE(r.error.find("big.bin"), std::string::npos) << r.error;
      EXPECT_EQ(ReadFileBytes(folder_ + "c.txt"), "nachher");  // the other entries still arrive
    }
  }
  EXPECT_FALSE(wizard::ExtractAll(base_ + "fehlt.zip", folder_).opened);
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
