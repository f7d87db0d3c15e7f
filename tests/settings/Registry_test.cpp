// The typed registry values against Wine's real registry, on a scratch key wiped per test.
#include "settings/Registry.h"
#include "settings/ProgramKey.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const char kScratch[] = "Software\\TrelkScratch\\Registry";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
    ASSERT_TRUE(reg.OpenKey(kScratch, true));
  }
  void TearDown() override {
    reg.CloseKey();
    RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
  }
  // Writes a raw value behind TRegistry's back.
  void Raw(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kScratch, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  // The registry's own type and bytes of a value.
  std::pair<DWORD, std::string> Stored(const char* name) {
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kScratch, 0, KEY_READ, &key), ERROR_SUCCESS);
    char data[64];
    DWORD type = 0, size = sizeof data;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return {REG_NONE, "<missing>"};
    return {type, std::string(data, size)};
  }
  template <typename F>
  std::string ErrorOf(F f) {
    try {
      f();
    } catch (const settings::ERegistryException& e) {
      return e.Message();
    }
    return "<no error>";
  }
  settings::TRegistry reg{HKEY_CURRENT_USER};
};

TEST_F(RegistryTest, WritesStoreTheTypesAndBytesOthersRelyOn) {
  reg.WriteString("NoUpdate", "");
  reg.WriteString("ApplicationFileName", "\"C:\\Pro gramme\\A.exe\" /x");
  reg.WriteInteger("UpdateInterval", -3);
  double date = 46363.0;
  reg.WriteDate("Update", date);
  EXPECT_EQ(Stored("NoUpdate"), std::make_pair(DWORD{REG_SZ}, std::string(1, '\0')));
  EXPECT_EQ(Stored("ApplicationFileName"), std::make_pair(DWORD{REG_SZ}, std::string("\"C:\\Pro gramme\\A.exe\" /x") + '\0'));
  EXPECT_EQ(Stored("UpdateInterval"), std::make_pair(DWORD{REG_DWORD}, std::string("\xFD\xFF\xFF\xFF", 4)));
  auto stored = Stored("Update");
  EXPECT_EQ(stored.first, DWORD{REG_BINARY});
  ASSERT_EQ(stored.second.size(), 8u);
  EXPECT_EQ(std::memcmp(stored.second.data(), &date, 8), 0);
  EXPECT_EQ(reg.ReadInteger("UpdateInterval"), -3);
  EXPECT_EQ(reg.ReadDate("Update"), 46363.0);
  EXPECT_EQ(reg.ReadString("ApplicationFileName"), "\"C:\\Pro gramme\\A.exe\" /x");
  EXPECT_TRUE(reg.DeleteValue("NoUpdate"));
  EXPECT_FALSE(reg.ValueExists("NoUpdate"));
  EXPECT_FALSE(reg.DeleteValue("NoUpdate"));
}

TEST_F(RegistryTest, PresenceIsAboutTheNameOnly) {
  Raw("Leer", REG_BINARY, "", 0);
  EXPECT_TRUE(reg.ValueExists("Leer"));
  EXPECT_FALSE(reg.ValueExists("Fehlt"));
}

TEST_F(RegistryTest, ReadErrorsNameTheValue) {
  const char text4[] = "abc";                // 4 bytes with the zero: fits into a date, not an integer
  const char text9[] = "12345678";           // 9 bytes: longer than a date
  const unsigned char bytes4[4] = {1, 2, 3, 4};
  const unsigned char bytes12[12] = {};
  Raw("Sz4", REG_SZ, text4, sizeof text4);
  Raw("Sz9", REG_SZ, text9, sizeof text9);
  Raw("Bin4", REG_BINARY, bytes4, sizeof bytes4);
  Raw("Bin12", REG_BINARY, bytes12, sizeof bytes12);
  Raw("Dword", REG_DWORD, bytes4, sizeof bytes4);
  Raw("Expand", REG_EXPAND_SZ, "%TEMP%\\x", 9);
  struct Case {
    const char* what;
    std::function<void()> read;
    const char* message;
  } cases[] = {
      {"date from short REG_SZ", [&] { reg.ReadDate("Sz4"); }, "Ungültiger Datentyp für 'Sz4'"},
      {"date from long REG_SZ", [&] { reg.ReadDate("Sz9"); }, "Fehler beim Holen der Daten für 'Sz9'"},
      {"date from 4 bytes", [&] { reg.ReadDate("Bin4"); }, "Ungültiger Datentyp für 'Bin4'"},
      {"date from 12 bytes", [&] { reg.ReadDate("Bin12"); }, "Fehler beim Holen der Daten für 'Bin12'"},
      {"missing date", [&] { reg.ReadDate("Update"); }, "Fehler beim Holen der Daten für 'Update'"},
      {"integer from 4 binary bytes", [&] { reg.ReadInteger("Bin4"); }, "Ungültiger Datentyp für 'Bin4'"},
      {"integer from long text", [&] { reg.ReadInteger("Sz9"); }, "Fehler beim Holen der Daten für 'Sz9'"},
      {"missing integer", [&] { reg.ReadInteger("UpdateInterval"); }, "Fehler beim Holen der Daten für 'UpdateInterval'"},
      {"string from a number", [&] { reg.ReadString("Dword"); }, "Ungültiger Datentyp für 'Dword'"},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.read), c.message) << c.what;
  EXPECT_EQ(reg.ReadString("Expand"), "%TEMP%\\x");  // not expanded
  EXPECT_EQ(reg.ReadString("Fehlt"), "");
}

TEST_F(RegistryTest, AKeyThatCouldNotBeOpenedAnswersFalseAndFailsWrites) {
  settings::TRegistry missing(HKEY_CURRENT_USER);
  EXPECT_FALSE(missing.OpenKey(std::string(kScratch) + "\\NichtDa", false));
  EXPECT_FALSE(missing.ValueExists("NoUpdate"));
  EXPECT_EQ(ErrorOf([&] { missing.WriteString("NoUpdate", ""); }), "Fehler beim Setzen der Daten für 'NoUpdate'");
  EXPECT_EQ(ErrorOf([&] { missing.WriteInteger("UpdateInterval", 7); }), "Fehler beim Setzen der Daten für 'UpdateInterval'");
  EXPECT_EQ(ErrorOf([&] { missing.ReadInteger("UpdateInterval"); }), "Fehler beim Holen der Daten für 'UpdateInterval'");
  // Opening without creation did not create the key.
  HKEY key;
  EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kScratch) + "\\NichtDa").c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, SubkeysComeInRegistryOrderWithExactNames) {
  for (const char* name : {"Kassenbuch", "kassenbuch2", "Wörterbuch"}) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, (std::string(kScratch) + "\\" + name).c_str(), &key), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  ASSERT_TRUE(reg.OpenKey(kScratch, false));
  std::vector<std::string> expected = {"Kassenbuch", "kassenbuch2", "Wörterbuch"};
  EXPECT_EQ(reg.GetKeyNames(), expected);
}

}  // namespace

// A program key's typed values: what the strict and the Try reads make of a missing value, a
// value of the expected type and one of another type, on a key opened each way.
TEST(ProgramKeyTest, StrictReadsThrowForAnotherTypeTryReadsGiveNone) {
  const char kProgram[] = "TrelkScratchProgram";
  const std::string path = settings::ProgramKeyPath(kProgram);
  RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
  using Access = settings::ProgramKey::Access;
  // Read and Change make no key; a key that did not open reads nothing and fails at the write.
  for (Access access : {Access::Read, Access::Change}) {
    settings::ProgramKey missing(HKEY_CURRENT_USER, kProgram, access);
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_FALSE(missing.Update());
    EXPECT_FALSE(missing.NoUpdate());
    EXPECT_THROW(missing.SetUpdate(1), settings::ERegistryException);
  }
  settings::ProgramKey key(HKEY_CURRENT_USER, kProgram, Access::Create);
  ASSERT_TRUE(key.IsOpen());
  EXPECT_FALSE(key.Update());
  EXPECT_FALSE(key.Interval());
  key.SetUpdate(45000.5);
  key.SetUpdateSerial(0xFFFFFFF0u);
  key.WriteReminder({settings::Reminder::Interval, 14});
  EXPECT_EQ(key.Update(), 45000.5);
  EXPECT_EQ(key.Interval(), 14);
  EXPECT_EQ(key.UpdateSerial(), 0xFFFFFFF0u) << "read as unsigned";
  key.WriteReminder({settings::Reminder::Never, 0});
  EXPECT_TRUE(key.NoUpdate());
  EXPECT_FALSE(key.Interval());
  // Values of another type: a text where a date and a number belong, a number for a text.
  HKEY raw;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &raw), ERROR_SUCCESS);
  const DWORD seven = 7;
  RegSetValueExA(raw, "Update", 0, REG_SZ, reinterpret_cast<const BYTE*>("morgen"), 7);
  RegSetValueExA(raw, "UpdateInterval", 0, REG_SZ, reinterpret_cast<const BYTE*>("7"), 2);
  RegSetValueExA(raw, "UpdateResult", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seven), 4);
  RegCloseKey(raw);
  const settings::ProgramKey reader(HKEY_CURRENT_USER, kProgram, Access::Read);
  EXPECT_THROW(reader.Update(), settings::ERegistryException);
  EXPECT_THROW(reader.Interval(), settings::ERegistryException);
  EXPECT_FALSE(reader.TryUpdate());
  EXPECT_FALSE(reader.TryInterval());
  EXPECT_TRUE(reader.HasUpdateResult());
  EXPECT_FALSE(reader.TryUpdateResult());
  RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
}
