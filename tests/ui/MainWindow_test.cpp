// The presentation extras on the running Brisel.exe's main window: the picture on the left,
// the logo on page 0 that opens the about dialog, the animation in the bottom-left corner.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/Programs.h"
#include "tests/support/RegistryKeys.h"

namespace {

using namespace testsupport;



// The visible child of `main` of that class whose rectangle, in the main window's client
// area, is the given one.
HWND ChildAt(HWND main, const char* cls, RECT want) {
  struct Search {
    HWND main;
    const char* cls;
    RECT want;
    HWND found;
  } s{main, cls, want, nullptr};
  EnumChildWindows(main, [](HWND h, LPARAM p) CALLBACK -> BOOL {
    auto* s = reinterpret_cast<Search*>(p);
    char name[64];
    GetClassNameA(h, name, sizeof name);
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, s->main, reinterpret_cast<POINT*>(&r), 2);
    if (std::string(name) == s->cls && IsWindowVisible(h) && EqualRect(&r, &s->want)) {
      s->found = h;
      return FALSE;
    }
    return TRUE;
  }, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

TEST(MainWindow, LogoOpensTheAboutDialogAndTheAnimationRuns) {
  SeedNothingDue("Ostvane");  // the tool's own update check opens no wizard
  Process brisel;
  ASSERT_TRUE(brisel.Start(BinDir() + "Brisel.exe"));
  HWND main = WaitForWindow(brisel.pi.dwProcessId, "TForm1", "Trelk-Software Ostvane");
  ASSERT_NE(main, nullptr);
  // The about dialog exists from the start, hidden.
  HWND info = FindWindowA("TInfo", nullptr);
  ASSERT_NE(info, nullptr);
  EXPECT_FALSE(IsWindowVisible(info));

  // Pages start at (256, 8); the logo sits at (184, 280) on page 0 in the size of its picture.
  HWND logo = ChildAt(main, "TImage", {256 + 184, 8 + 280, 256 + 184 + 142, 8 + 280 + 63});
  ASSERT_NE(logo, nullptr) << "no 142 x 63 logo on page 0";
  EXPECT_NE(ChildAt(main, "TImage", {8, 8, 8 + 231, 8 + 342}), nullptr) << "the picture on the left";
  HWND ani = ChildAt(main, "TPaintBox", {8, 362, 8 + 38, 362 + 38});
  ASSERT_NE(ani, nullptr) << "no animation in the bottom-left corner";

  // The animation changes what it shows (the frames are drawn straight into its window).
  auto snapshot = [&] {
    std::vector<COLORREF> column;
    RECT r;
    GetWindowRect(ani, &r);
    HDC dc = GetDC(nullptr);
    for (int y = 0; y < 38; ++y) column.push_back(GetPixel(dc, r.left + 8, r.top + y));
    ReleaseDC(nullptr, dc);
    return column;
  };
  std::vector<COLORREF> first = snapshot();
  bool changed = false;
  for (int i = 0; i < 60 && !changed; ++i) {
    Sleep(25);
    changed = snapshot() != first;
  }
  EXPECT_TRUE(changed) << "the animation does not move";

  // A click on the logo shows the dialog modally with the application's title.
  PostMessageA(logo, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  PostMessageA(logo, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  HWND shown = WaitForWindow(brisel.pi.dwProcessId, "TInfo", "Info über Trelk-Software Ostvane");
  ASSERT_EQ(shown, info);
  EXPECT_FALSE(IsWindowEnabled(main)) << "modal";
  HWND ok = FindWindowExA(info, nullptr, "Button", "OK");
  ASSERT_NE(ok, nullptr);
  bool hasMail = false;
  for (HWND h = FindWindowExA(info, nullptr, "Static", nullptr); h; h = FindWindowExA(info, h, "Static", nullptr)) {
    char text[128];
    GetWindowTextA(h, text, sizeof text);
    if (std::string(text) == "info@trelk-software.example") hasMail = true;
  }
  EXPECT_TRUE(hasMail);
  PostMessageA(ok, BM_CLICK, 0, 0);
  for (int i = 0; i < 100 && IsWindowVisible(info); ++i) Sleep(50);
  EXPECT_FALSE(IsWindowVisible(info));
  for (int i = 0; i < 100 && !IsWindowEnabled(main); ++i) Sleep(50);
  EXPECT_TRUE(IsWindowEnabled(main));

  HWND cancel = FindWindowExA(main, nullptr, "Button", "Abbrechen");
  ASSERT_NE(cancel, nullptr);
  PostMessageA(cancel, BM_CLICK, 0, 0);
  EXPECT_EQ(brisel.Wait(20000), 0u);
}

}  // namespace
