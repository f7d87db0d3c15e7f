// The real Kalvor.dll, loaded at run time by name and by ordinal.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

namespace {

using CountFn = int32_t(__stdcall*)();
using DataFn = const char*(__stdcall*)(int32_t, int32_t);

class KalvorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dll = LoadLibraryA("Kalvor.dll");
    ASSERT_NE(dll, nullptr);
    count = reinterpret_cast<CountFn>(GetProcAddress(dll, "ProgramsCount"));
    data = reinterpret_cast<DataFn>(GetProcAddress(dll, "GetArrayData"));
    ASSERT_TRUE(count && data);
  }
  void TearDown() override { FreeLibrary(dll); }
  HMODULE dll = nullptr;
  CountFn count = nullptr;
  DataFn data = nullptr;
};

TEST_F(KalvorTest, OrdinalsNameTheTwoExports) {
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(dll, MAKEINTRESOURCEA(1))), reinterpret_cast<void*>(data));
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(dll, MAKEINTRESOURCEA(2))), reinterpret_cast<void*>(count));
  EXPECT_EQ(GetProcAddress(dll, MAKEINTRESOURCEA(3)), nullptr);
}

TEST_F(KalvorTest, RowsFollowTheCatalogueRules) {
  ASSERT_EQ(count(), 11);
  EXPECT_EQ(count(), 11);
  EXPECT_STREQ(data(4, 0), "Ostvane");
  EXPECT_STREQ(data(4, 1), "Ostvane");
  std::set<std::string> keys, names;
  for (int32_t row = 0; row < 11; ++row) {
    std::string key = data(row, 0), name = data(row, 1);
    EXPECT_FALSE(key.empty()) << row;
    EXPECT_EQ(key.find('\\'), std::string::npos) << row;
    if (row < 10) {
      EXPECT_EQ(key, name) << row;
    } else {
      EXPECT_NE(key, name);
    }
    keys.insert(key);
    names.insert(name);
    EXPECT_EQ(data(row, 0), data(row, 0)) << "same pointer every call";
    EXPECT_EQ(data(row, 1), data(row, 1));
  }
  EXPECT_EQ(keys.size(), 11u);
  EXPECT_EQ(names.size(), 11u);
}

#if defined(__i386__)
// The 32-bit calling convention as callers of the catalogue rely on it: the arguments pushed
// right to left, the callee removes them (a cdecl export would leave 8 bytes on the stack).
TEST_F(KalvorTest, TheCalleeRemovesItsArguments) {
  uintptr_t before = 0, after = 0;
  const char* text = nullptr;
  asm volatile(
      "movl %%esp, %0\n\t"
      "pushl $1\n\t"  // column
      "pushl $4\n\t"  // row
      "call *%3\n\t"
      "movl %%esp, %1\n\t"
      "movl %0, %%esp"
      : "=&r"(before), "=&r"(after), "=a"(text)
      : "r"(data)
      : "ecx", "edx", "memory");
  EXPECT_EQ(after, before) << "i686: the stack after GetArrayData(4, 1)";
  EXPECT_STREQ(text, "Ostvane") << "i686: row 4, column 1";
}
#endif

TEST_F(KalvorTest, OutOfRangeGivesAnEmptyText) {
  const int32_t cells[][2] = {{-1, 0}, {11, 0}, {11, 1}, {0, 2}, {0, -1}, {INT32_MAX, 1}, {INT32_MIN, 0}, {5, INT32_MAX}};
  for (const auto& c : cells) {
    const char* text = data(c[0], c[1]);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "") << c[0] << "," << c[1];
  }
}

}  // namespace
