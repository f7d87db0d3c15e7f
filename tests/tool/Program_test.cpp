// The built programs as files: the manifest resource of both builds of Brisel.exe and the
// version blocks of both builds' Brisel.exe and Kalvor.dll (the running Brisel.exe's common
// controls are looked at in Brisel_test.cpp).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/Programs.h"
#include "ui/Info.h"

namespace {

using namespace testsupport;

// Both builds lie side by side, build/i686/bin next to build/x86_64/bin, whichever this is.
std::string I686BinDir() { return BinDir() + "..\\..\\i686\\bin\\"; }
std::string X86_64BinDir() { return BinDir() + "..\\..\\x86_64\\bin\\"; }

const char kManifestX86[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
    "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"
    "<assemblyIdentity version=\"1.0.0.0\" processorArchitecture=\"X86\" name=\"CompanyName.ProductName.YourApp\" "
    "type=\"win32\"/>"
    "<description>Your application description here.</description>"
    "<dependency><dependentAssembly><assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" "
    "version=\"6.0.0.0\" processorArchitecture=\"X86\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>"
    "</dependentAssembly></dependency></assembly>";

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

struct Resource {
  bool found = false;
  std::vector<WORD> languages;
  std::string bytes;
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
  reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
  return TRUE;
}

// Resource `type`/`id` of a program file, read as data (also from a program of the other
// architecture).
Resource ReadResource(const std::string& path, LPCSTR type, LPCSTR id) {
  Resource r;
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return r;
  EnumResourceLanguagesA(module, type, id, CollectLanguage, reinterpret_cast<LONG_PTR>(&r.languages));
  HRSRC info = FindResourceExA(module, type, id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (info) {
    HGLOBAL data = LoadResource(module, info);
    const char* p = static_cast<const char*>(LockResource(data));
    if (p) {
      r.found = true;
      r.bytes.assign(p, SizeofResource(module, info));
    }
  }
  FreeLibrary(module);
  return r;
}

TEST(Program, ManifestOfBothBuilds) {
  struct Case {
    std::string path;
    std::string want;
  } cases[] = {
      {I686BinDir() + "Brisel.exe", kManifestX86},
      {X86_64BinDir() + "Brisel.exe", Replaced(kManifestX86, "processorArchitecture=\"X86\"", "processorArchitecture=\"amd64\"")},
  };
  for (const Case& c : cases) {
    ASSERT_NE(GetFileAttributesA(c.path.c_str()), INVALID_FILE_ATTRIBUTES) << c.path << " is not built";
    Resource r = ReadResource(c.path, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1));
    ASSERT_TRUE(r.found) << c.path;
    EXPECT_EQ(r.languages, std::vector<WORD>{0x0409}) << c.path;
    EXPECT_EQ(r.bytes, c.want) << c.path;
    EXPECT_EQ(r.bytes.find('\n'), std::string::npos);
  }
}

TEST(Program, VersionBlocks) {
  struct Case {
    std::string path, description;
  } cases[] = {
      {X86_64BinDir() + "Brisel.exe", "Trelk-Software Ostvane: Update-Einstellungen"},
      {X86_64BinDir() + "Kalvor.dll", "Trelk-Software Produktkatalog"},
      {I686BinDir() + "Brisel.exe", "Trelk-Software Ostvane: Update-Einstellungen"},
      {I686BinDir() + "Kalvor.dll", "Trelk-Software Produktkatalog"},
  };
  for (const Case& c : cases) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(c.path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << c.path;
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(c.path.c_str(), 0, size, data.data()));
    void* p = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &p, &length));
    ASSERT_EQ(length, 4u) << "one translation";
    EXPECT_EQ(*static_cast<DWORD*>(p), MAKELONG(0x0407, 1252)) << c.path;
    auto text = [&](const char* name) {
      void* v = nullptr;
      UINT n = 0;
      std::string block = std::string("\\StringFileInfo\\040704e4\\") + name;
      if (!VerQueryValueA(data.data(), block.c_str(), &v, &n) || !v) return std::string("(fehlt)");
      return std::string(static_cast<const char*>(v));
    };
    EXPECT_EQ(text("FileVersion"), "1.6.0.0") << c.path;
    EXPECT_EQ(text("ProductVersion"), "1.6.0.0") << c.path;
    EXPECT_EQ(text("CompanyName"), "Trelk-Software") << c.path;
    EXPECT_EQ(text("ProductName"), "Ostvane") << c.path;
    EXPECT_EQ(text("FileDescription"), c.description) << c.path;
    EXPECT_EQ(text("LegalCopyright"), "Copyright \xa9 2002-2003 Trelk-Software") << c.path;
    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(6, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  }
  // What the about dialog shows for the real program.
  EXPECT_EQ(ui::FileVersionText(BinDir() + "Brisel.exe"), "1.6.0.0");
}

}  // namespace
