// The seam pattern: a replacement answers while its guard lives, the seam is back when the guard
// ends (also when a test returns early through a failed assertion), guards may end in any order;
// and what the real temporary folder and clock answer.
#include "toolkit/Seams.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using toolkit::Seam;
using toolkit::SeamGuard;

// A seam for these tests whose real function answers "real".
Seam<std::string(int)>& Probe() {
  static Seam<std::string(int)> seam([](int n) { return "real " + std::to_string(n); });
  return seam;
}

void FailsWhileReplaced() {
  auto guard = Probe().Replace([](int) { return std::string("fake"); });
  ASSERT_EQ(Probe()(1), "something else");  // fails and returns here
}

TEST(Seams, AGuardPutsBackWhatWasThereInAnyOrder) {
  EXPECT_EQ(Probe()(1), "real 1");
  {
    auto a = Probe().Replace([](int n) { return "a " + std::to_string(n); });
    EXPECT_EQ(Probe()(2), "a 2");
    auto b = Probe().Replace([](int) { return std::string("b"); });
    EXPECT_EQ(Probe()(3), "b");
    a.Restore();  // the older one ends first
    EXPECT_EQ(Probe()(4), "b");
    SeamGuard moved = std::move(b);
    EXPECT_EQ(Probe()(5), "b") << "a moved guard still holds";
  }
  EXPECT_EQ(Probe()(6), "real 6");
  EXPECT_FALSE(Probe().Replaced());
  // A test that fails while the replacement is in: the guard ends with its scope.
  EXPECT_FATAL_FAILURE(FailsWhileReplaced(), "something else");
  EXPECT_EQ(Probe()(7), "real 7");
  // A replacement may take itself out while it answers.
  SeamGuard self;
  self = Probe().Replace([&self](int) {
    self.Restore();
    return std::string("once");
  });
  EXPECT_EQ(Probe()(8), "once");
  EXPECT_EQ(Probe()(9), "real 9");
}

TEST(Seams, TheRealTemporaryFolderAndClock) {
  const std::string temp = toolkit::TempPathSeam();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '\\');
  EXPECT_NE(GetFileAttributesA(temp.c_str()), INVALID_FILE_ATTRIBUTES);
  SYSTEMTIME t;
  GetLocalTime(&t);
  const double now = toolkit::NowSeam();
  const double day = *base::TryEncodeDate(t.wYear, t.wMonth, t.wDay);
  EXPECT_NEAR(now, day + *base::TryEncodeTime(t.wHour, t.wMinute, t.wSecond, t.wMilliseconds), 2.0 / 86400);
  // Today is the whole day, also with a replaced clock.
  auto clock = toolkit::NowSeam.Replace([] { return 44197.99; });
  EXPECT_EQ(toolkit::Today(), 44197.0);
}

// The shell's and WinINet's functions come from the system folder at their first use; a library
// of the same name in the current folder is never taken, and a missing one gives null.
TEST(Seams, SystemLibrariesComeFromTheSystemFolderOnly) {
  char system[MAX_PATH], exe[MAX_PATH], temp[MAX_PATH];
  const std::string systemFolder(system, GetSystemDirectoryA(system, MAX_PATH));
  std::string bin(exe, GetModuleFileNameA(nullptr, exe, MAX_PATH));
  bin.resize(bin.find_last_of('\\') + 1);
  const std::string planted = std::string(temp, GetTempPathA(MAX_PATH, temp)) + "plantlib.dll";
  ASSERT_TRUE(CopyFileA((bin + "Kalvor.dll").c_str(), planted.c_str(), FALSE));
  char before[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, before);
  SetCurrentDirectoryA(temp);
  EXPECT_EQ(toolkit::SystemProc("plantlib.dll", "ProgramsCount"), nullptr) << "taken from the current folder";
  SetCurrentDirectoryA(before);
  DeleteFileA(planted.c_str());
  EXPECT_EQ(toolkit::SystemProc("shell32.dll", "NoSuchFunction"), nullptr);
  for (const auto& [library, name] : {std::pair{"shell32.dll", "ShellExecuteA"},
                                      std::pair{"wininet.dll", "InternetGetConnectedState"}}) {
    FARPROC proc = toolkit::SystemProc(library, name);
    HMODULE module = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCSTR>(proc), &module))
        << name;
    char path[MAX_PATH];
    const std::string file(path, GetModuleFileNameA(module, path, MAX_PATH));
    EXPECT_EQ(_stricmp(file.substr(0, systemFolder.size()).c_str(), systemFolder.c_str()), 0) << file;
  }
}

}  // namespace
