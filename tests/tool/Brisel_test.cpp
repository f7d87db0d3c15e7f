// The real Brisel.exe started as a separate process: its window with the picture, the logo that
// opens the about dialog, the animation and the version 6 common controls, the single instance,
// the start without Kalvor.dll, and the wizard used with mouse and keyboard like a person does.
#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/Programs.h"
#include "tests/support/RegistryKeys.h"
#include "tests/support/UpdateServer.h"

namespace {

using namespace testsupport;



HWND WaitForMainWindow(DWORD pid) { return WaitForWindow(pid, "TForm1", "Trelk-Software Ostvane"); }

std::vector<std::string> VisibleTexts(HWND parent) {
  std::vector<std::string> texts;
  EnumChildWindows(parent, [](HWND h, LPARAM p) CALLBACK -> BOOL {
    if (IsWindowVisible(h)) {
      char buf[1024];
      int n = GetWindowTextA(h, buf, sizeof buf);
      if (n > 0) reinterpret_cast<std::vector<std::string>*>(p)->emplace_back(buf, n);
    }
    return TRUE;
  }, reinterpret_cast<LPARAM>(&texts));
  return texts;
}

bool Contains(const std::vector<std::string>& texts, const std::string& part) {
  for (const auto& t : texts)
    if (t.find(part) != std::string::npos) return true;
  return false;
}

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

// The path of the common controls library the process has loaded, in lower case ("" when none).
std::string LoadedCommonControls(HANDLE process) {
  HMODULE modules[512];
  DWORD needed = 0;
  if (!EnumProcessModules(process, modules, sizeof modules, &needed)) return "<EnumProcessModules failed>";
  std::string comctl;
  for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
    char name[MAX_PATH] = "";
    GetModuleFileNameExA(process, modules[i], name, MAX_PATH);
    std::string lower = name;
    for (char& ch : lower) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    if (lower.find("comctl32.dll") != std::string::npos) comctl = lower;
  }
  return comctl;
}

TEST(Brisel, ShowsPageZeroWithItsExtrasAndStaysASingleInstance) {
  SeedNothingDue("Ostvane");  // the tool's own update check opens no wizard
  Process first;
  ASSERT_TRUE(first.Start(BinDir() + "Brisel.exe"));
  HWND main = WaitForMainWindow(first.pi.dwProcessId);
  ASSERT_NE(main, nullptr) << "no main window appeared";
  RECT client;
  GetClientRect(main, &client);
  EXPECT_EQ(client.right, 601);
  EXPECT_EQ(client.bottom, 400);
  auto texts = VisibleTexts(main);
  EXPECT_TRUE(Contains(texts, "Dieses Tool unterstützt Sie dabei")) << "page 0 text";
  EXPECT_TRUE(Contains(texts, "Klicken Sie auf \"Weiter\", um den Assistenten fortzuführen."));
  EXPECT_FALSE(Contains(texts, "Update-Überprüfungsintervall:")) << "page 1 must be hidden";
  EXPECT_TRUE(Contains(texts, "Weiter >"));
  HWND previous = FindWindowExA(main, nullptr, "Button", "< Zurück");
  ASSERT_NE(previous, nullptr);
  EXPECT_FALSE(IsWindowEnabled(previous));
  // The hidden application window carries the title.
  EXPECT_EQ(WindowsOf(first.pi.dwProcessId, "TApplication", "Trelk-Software Ostvane").size(), 1u);

  // The version 6 common controls, from the side-by-side store of this build's architecture.
  const char* const architecture = sizeof(void*) == 4 ? "x86" : "amd64";
  const std::string comctl = LoadedCommonControls(first.pi.hProcess);
  ASSERT_FALSE(comctl.empty()) << architecture << ": comctl32 is not loaded";
  EXPECT_NE(comctl.find("\\winsxs\\"), std::string::npos) << architecture << ": " << comctl;
  EXPECT_NE(comctl.find(std::string("\\") + architecture + "_microsoft.windows.common-controls_"), std::string::npos)
      << architecture << ": " << comctl;
  EXPECT_NE(comctl.find("6.0."), std::string::npos) << architecture << ": " << comctl;

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
  std::vector<COLORREF> frame = snapshot();
  bool changed = false;
  for (int i = 0; i < 60 && !changed; ++i) {
    Sleep(25);
    changed = snapshot() != frame;
  }
  EXPECT_TRUE(changed) << "the animation does not move";

  // A click on the logo shows the dialog modally with the application's title.
  PostMessageA(logo, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  PostMessageA(logo, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  HWND info = WaitForWindow(first.pi.dwProcessId, "TInfo", "Info über Trelk-Software Ostvane");
  ASSERT_NE(info, nullptr);
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

  // Minimised, then a second start: it ends without a window and brings the first back.
  ShowWindow(main, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(main));
  Process second;
  ASSERT_TRUE(second.Start(BinDir() + "Brisel.exe"));
  EXPECT_EQ(second.Wait(20000), 0u) << "the second instance must end by itself";
  EXPECT_TRUE(WindowsOf(second.pi.dwProcessId, "TForm1", nullptr).empty());
  bool restored = false;
  for (int i = 0; i < 100 && !restored; ++i) {
    restored = !IsIconic(main) && IsWindowVisible(main);
    if (!restored) Sleep(50);
  }
  EXPECT_TRUE(restored) << "the first window was not brought back";
  EXPECT_EQ(WindowsOf(0, "TForm1", "Trelk-Software Ostvane").size(), 1u);

  // "Abbrechen" ends the program.
  HWND cancel = FindWindowExA(main, nullptr, "Button", "Abbrechen");
  ASSERT_NE(cancel, nullptr);
  PostMessageA(cancel, BM_CLICK, 0, 0);
  EXPECT_EQ(first.Wait(20000), 0u);
}

TEST(Brisel, DoesNotStartWithoutKalvor) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string dir = std::string(temp) + "brisel-ohne-kalvor\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA((BinDir() + "Brisel.exe").c_str(), (dir + "Brisel.exe").c_str(), FALSE));
  DeleteFileA((dir + "Kalvor.dll").c_str());
  {
    Process lone;
    if (lone.Start(dir + "Brisel.exe")) {
      DWORD code = lone.Wait(20000);
      EXPECT_NE(code, STILL_ACTIVE);
      EXPECT_NE(code, 0u);
      EXPECT_TRUE(WindowsOf(lone.pi.dwProcessId, "TForm1", nullptr).empty());
    }
  }
  DeleteFileA((dir + "Brisel.exe").c_str());
  RemoveDirectoryA(dir.c_str());
}

// ---- a person at the keyboard: input through the system's queue, waits with a bound -------

bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
  for (int waited = 0; waited < ms; waited += 20) {
    if (done()) return true;
    Sleep(20);
  }
  return done();
}

void MouseClickAt(int x, int y) {
  SetCursorPos(x, y);
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, in, sizeof(INPUT));
  Sleep(150);
}

// Clicks a point given in the window's client coordinates (its centre by default).
void Click(HWND hwnd, int x = -1, int y = -1) {
  RECT r;
  GetClientRect(hwnd, &r);
  POINT p{x < 0 ? r.right / 2 : x, y < 0 ? r.bottom / 2 : y};
  ClientToScreen(hwnd, &p);
  MouseClickAt(p.x, p.y);
}

void Key(WORD vk, bool down) {
  INPUT in = {};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  if (vk == VK_END || vk == VK_HOME) in.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
  SendInput(1, &in, sizeof in);
}

void Press(WORD vk) {
  Key(vk, true);
  Key(vk, false);
  Sleep(50);
}

void Type(const std::string& text) {
  for (char c : text) {
    SHORT vk = VkKeyScanA(c);
    bool shift = (vk >> 8) & 1;
    if (shift) Key(VK_SHIFT, true);
    Press(static_cast<WORD>(vk & 0xFF));
    if (shift) Key(VK_SHIFT, false);
  }
  Sleep(100);
}

std::string TextOf(HWND hwnd) {
  char buf[512];
  int n = static_cast<int>(SendMessageA(hwnd, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf)));
  return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

HWND ChildWithText(HWND parent, const char* cls, const std::string& text) {
  struct Search {
    const char* cls;
    std::string text;
    HWND hit;
  } search{cls, text, nullptr};
  EnumChildWindows(parent, [](HWND h, LPARAM p) CALLBACK -> BOOL {
    auto* s = reinterpret_cast<Search*>(p);
    char cls[64];
    GetClassNameA(h, cls, sizeof cls);
    if (lstrcmpiA(cls, s->cls) == 0 && (s->text.empty() || TextOf(h) == s->text)) {
      s->hit = h;
      return FALSE;
    }
    return TRUE;
  }, reinterpret_cast<LPARAM>(&search));
  return search.hit;
}

// An item of a list box in another process (the text crosses as UTF-16).
std::string ListText(HWND list, int index) {
  wchar_t wide[256] = {};
  LRESULT n = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(wide));
  if (n <= 0) return std::string();
  char text[512];
  int got = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(n), text, sizeof text, nullptr, nullptr);
  return std::string(text, got > 0 ? static_cast<size_t>(got) : 0);
}

// Clicks near the top left of a row of the list, wherever the list is scrolled to.
void ClickRow(HWND list, int row) {
  if (SendMessageA(list, LB_GETTOPINDEX, 0, 0) > row) {  // scrolled away: scroll back like the wheel does
    SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(row), 0);
    Sleep(100);
  }
  const int top = static_cast<int>(SendMessageA(list, LB_GETTOPINDEX, 0, 0));
  const int height = static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
  Click(list, 60, (row - top) * height + 8);
}

// Brisel.exe started and taken with "Weiter >" to its list of `count` programs: its main
// window, that button and the list; null windows when it did not get there.
struct OnList {
  HWND main = nullptr, next = nullptr, list = nullptr;
};
OnList StartOnList(Process& brisel, int count) {
  OnList page;
  if (!brisel.Start(BinDir() + "Brisel.exe") || !(page.main = WaitForMainWindow(brisel.pi.dwProcessId))) return {};
  page.next = ChildWithText(page.main, "Button", "Weiter >");
  if (!page.next) return {};
  Click(page.main, 5, 5);  // a neutral spot first: the first click may only activate the window
  Click(page.next);
  // The list's page is made at this first step.
  if (!WaitFor([&] {
        page.list = ChildWithText(page.main, "ListBox", "");
        return page.list && IsWindowVisible(page.list) && SendMessageA(page.list, LB_GETCOUNT, 0, 0) == count;
      }))
    page.list = nullptr;
  return page;
}

struct TrelkKeys {
  TrelkKeys() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Trelk"); }
  ~TrelkKeys() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Trelk"); }
  void Seed(const std::string& name, const char* value = nullptr, DWORD type = REG_NONE, int number = 0) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, ("Software\\Trelk\\" + name).c_str(), &key), ERROR_SUCCESS);
    if (value && type == REG_DWORD) RegSetValueExA(key, value, 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4);
    if (value && type == REG_SZ) RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
    RegCloseKey(key);
  }
  // "UpdateInterval=14", "NoUpdate=''", both when both exist; "-" for neither.
  static std::string State(const std::string& name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ("Software\\Trelk\\" + name).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
      return "<no key>";
    std::string state;
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExA(key, "UpdateInterval", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS)
      state += "UpdateInterval=" + std::to_string(static_cast<int32_t>(value)) + (type == REG_DWORD ? "" : "?type");
    char text[64];
    size = sizeof text;
    if (RegQueryValueExA(key, "NoUpdate", nullptr, &type, reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS)
      state += std::string(state.empty() ? "" : " ") + "NoUpdate='" + std::string(text, size ? size - 1 : 0) + "'" +
               (type == REG_SZ ? "" : "?type");
    RegCloseKey(key);
    return state.empty() ? "-" : state;
  }
};

TEST(Brisel, IntervalsChosenWithMouseAndKeyboardReachTheRegistry) {
  TrelkKeys keys;
  keys.Seed("Adressmeister");
  keys.Seed("Kassenbuch", "UpdateInterval", REG_DWORD, 14);
  keys.Seed("Lagerfix", "NoUpdate", REG_SZ);
  keys.Seed("Ostvane", "UpdateInterval", REG_DWORD, 1);
  keys.Seed("Unbekannt", "UpdateInterval", REG_DWORD, 9);
  SeedNothingDue("Ostvane");

  Process brisel;
  const OnList page = StartOnList(brisel, 4);
  HWND main = page.main, next = page.next, list = page.list;
  ASSERT_TRUE(main && next && list) << "page 1 with the four installed programs";
  EXPECT_EQ(TextOf(next), "Übernehmen");
  HWND editor = FindWindowExA(list, nullptr, "ComboBox", nullptr);
  HWND searchButton = FindWindowExA(list, nullptr, "Button", "Jetzt nach Updates suchen");
  ASSERT_TRUE(editor && searchButton) << "the in-row controls live inside the list";
  HWND editField = FindWindowExA(editor, nullptr, "Edit", nullptr);
  ASSERT_NE(editField, nullptr);

  // Each row shows its program and, in the editor over the selected row, its interval.
  const int rowHeight = static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
  EXPECT_EQ(rowHeight, 40);
  const char* names[] = {"Adressmeister", "Kassenbuch", "Lagerfix", "Ostvane"};
  const char* shown[] = {"Standard (7/28)", "14 Tage", "niemals", "1 Tag"};
  for (int row = 0; row < 4; ++row) {
    EXPECT_EQ(ListText(list, row), names[row]);
    if (row < 3) {
      ClickRow(list, row);
    } else {
      Press(VK_DOWN);  // the last row is only half in view: the keyboard brings it in
    }
    EXPECT_TRUE(WaitFor([&] { return SendMessageA(list, LB_GETCURSEL, 0, 0) == row && IsWindowVisible(editor); }))
        << "row " << row;
    EXPECT_TRUE(WaitFor([&] { return TextOf(editField) == shown[row]; }))
        << "row " << row << " shows '" << TextOf(editField) << "'";
    EXPECT_TRUE(IsWindowVisible(searchButton));
  }

  // Row 0: "14 Tage" picked from the drop-down.
  ClickRow(list, 0);
  ASSERT_TRUE(WaitFor([&] { return SendMessageA(list, LB_GETCURSEL, 0, 0) == 0; }));
  RECT box;
  GetClientRect(editor, &box);
  Click(editor, box.right - 6, box.bottom / 2);  // the arrow
  HWND dropDown = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    for (HWND h = FindWindowExA(nullptr, nullptr, "ComboLBox", nullptr); h; h = FindWindowExA(nullptr, h, "ComboLBox", nullptr))
      if (IsWindowVisible(h)) dropDown = h;
    return dropDown != nullptr;
  })) << "the drop-down did not open";
  const int itemHeight = static_cast<int>(SendMessageA(dropDown, LB_GETITEMHEIGHT, 0, 0));
  EXPECT_EQ(ListText(dropDown, 8), "14 Tage");
  Click(dropDown, 20, 8 * itemHeight + itemHeight / 2);
  EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(dropDown) && TextOf(editField) == "14 Tage"; }))
      << "after the pick the editor shows '" << TextOf(editField) << "'";

  // Row 1: "niemals" typed over the text.
  ClickRow(list, 1);
  ASSERT_TRUE(WaitFor([&] { return SendMessageA(list, LB_GETCURSEL, 0, 0) == 1 && TextOf(editField) == "14 Tage"; }));
  Click(editField, 10);
  Press(VK_HOME);
  Key(VK_SHIFT, true);
  Press(VK_END);
  Key(VK_SHIFT, false);
  Type("niemals");
  EXPECT_TRUE(WaitFor([&] { return TextOf(editField) == "niemals"; })) << TextOf(editField);
  // Something passes over the list and it is drawn again: what is typed so far stays.
  RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  Sleep(300);
  EXPECT_EQ(TextOf(editField), "niemals");

  // Row 0 again: it shows what was picked, now taken into its entry.
  ClickRow(list, 0);
  EXPECT_TRUE(WaitFor([&] { return TextOf(editField) == "14 Tage"; })) << TextOf(editField);

  Click(next);  // "Übernehmen"
  ASSERT_TRUE(WaitFor([&] { return TextOf(next) == "Schließen"; })) << "page 2 not reached";
  EXPECT_EQ(TrelkKeys::State("Adressmeister"), "UpdateInterval=14");
  EXPECT_EQ(TrelkKeys::State("Kassenbuch"), "NoUpdate=''");
  EXPECT_EQ(TrelkKeys::State("Lagerfix"), "NoUpdate=''");
  EXPECT_EQ(TrelkKeys::State("Ostvane"), "UpdateInterval=1");
  EXPECT_EQ(TrelkKeys::State("Unbekannt"), "UpdateInterval=9");
  HWND cancel = ChildWithText(main, "Button", "Abbrechen");
  HWND previous = ChildWithText(main, "Button", "< Zurück");
  ASSERT_TRUE(cancel && previous);
  EXPECT_FALSE(IsWindowEnabled(cancel));
  EXPECT_TRUE(Contains(VisibleTexts(main), "Die Einstellungen wurden erfolgreich geändert."));

  // "< Zurück": the list again, ready to be applied once more.
  Click(previous);
  EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(list) && TextOf(next) == "Übernehmen"; }));
  EXPECT_TRUE(IsWindowEnabled(cancel));
  EXPECT_TRUE(IsWindowEnabled(previous));

  Click(cancel);
  EXPECT_EQ(brisel.Wait(20000), 0u);
}

// The window that has the keyboard focus in another process's thread.
HWND FocusOf(HWND window) {
  GUITHREADINFO info{sizeof info};
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

TEST(Brisel, TheForAllFieldTakesTypedValuesIntoItsRangeWhenLeft) {
  TrelkKeys keys;
  keys.Seed("Adressmeister");
  keys.Seed("Kassenbuch", "UpdateInterval", REG_DWORD, 14);
  SeedNothingDue("Ostvane");  // the tool's own update check opens no wizard

  Process brisel;
  // The two seeded programs and the tool itself, whose start has recorded it.
  const OnList page = StartOnList(brisel, 3);
  HWND main = page.main, next = page.next;
  ASSERT_TRUE(main && next && page.list);
  HWND field = ChildWithText(main, "Edit", "7");
  HWND forAll = ChildWithText(main, "Button", "für alle");
  ASSERT_TRUE(field && forAll);
  struct Case {
    const char* typed;
    const char* shown;
  };
  for (const Case& c : {Case{"2000000", "1048575"}, Case{"-4", "0"}}) {
    Click(field);
    Press(VK_HOME);
    Key(VK_SHIFT, true);
    Press(VK_END);
    Key(VK_SHIFT, false);
    Type(c.typed);
    EXPECT_TRUE(WaitFor([&] { return TextOf(field) == c.typed; })) << TextOf(field);
    Press(VK_TAB);
    EXPECT_TRUE(WaitFor([&] { return TextOf(field) == c.shown; })) << "typed " << c.typed << ", shows " << TextOf(field);
    EXPECT_TRUE(WaitFor([&] { return FocusOf(main) && FocusOf(main) != field; })) << "Tab leaves the field";
  }
  // "für alle" takes the value in range: 0 is never, for every program.
  Click(forAll);
  Click(next);  // "Übernehmen"
  ASSERT_TRUE(WaitFor([&] { return TextOf(next) == "Schließen"; }));
  EXPECT_EQ(TrelkKeys::State("Adressmeister"), "NoUpdate=''");
  EXPECT_EQ(TrelkKeys::State("Kassenbuch"), "NoUpdate=''");
  EXPECT_EQ(TrelkKeys::State("Ostvane"), "NoUpdate=''");
  Click(next);
  EXPECT_EQ(brisel.Wait(20000), 0u);
}

// A posted click inside a row (the row may lie under another program's window meanwhile).
void PostRowClick(HWND list, int row) {
  const int top = static_cast<int>(SendMessageA(list, LB_GETTOPINDEX, 0, 0));
  const int height = static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
  const LPARAM at = MAKELPARAM(60, (row - top) * height + 8);
  PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageA(list, WM_LBUTTONUP, 0, at);
}

int RowOf(HWND list, const std::string& name) {
  const int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  for (int row = 0; row < count; ++row)
    if (ListText(list, row) == name) return row;
  return -1;
}

// The example program, run once so that its key names it, searched for from its row: it shows
// only its wizard, the mark lives while it starts, and the tool handles clicks meanwhile.
TEST(Brisel, SearchNowRunsTheProgramsWizardWhileTheToolStaysResponsive) {
  TrelkKeys keys;
  keys.Seed("Kassenbuch", "UpdateInterval", REG_DWORD, 14);
  SeedNothingDue("Notizkasten");
  SeedNothingDue("Ostvane");
  {
    Process once;
    ASSERT_TRUE(once.Start(BinDir() + "Notizkasten.exe"));
    HWND window = WaitForWindow(once.pi.dwProcessId, "TNotizkastenForm", nullptr);
    ASSERT_NE(window, nullptr);
    PostMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_EQ(once.Wait(20000), 0u);
  }
  const std::string recorded = Values(HKEY_LOCAL_MACHINE, "Notizkasten");
  ASSERT_NE(recorded.find("ApplicationFileName=sz:\"" + BinDir() + "Notizkasten.exe\""), std::string::npos) << recorded;

  Process brisel;
  const OnList page = StartOnList(brisel, 3);
  HWND main = page.main, list = page.list;
  ASSERT_TRUE(main && list);
  const int notizkasten = RowOf(list, "Notizkasten"), kassenbuch = RowOf(list, "Kassenbuch");
  ASSERT_TRUE(notizkasten >= 0 && kassenbuch >= 0);
  HWND searchButton = FindWindowExA(list, nullptr, "Button", "Jetzt nach Updates suchen");
  HWND editor = FindWindowExA(list, nullptr, "ComboBox", nullptr);
  ASSERT_TRUE(searchButton && editor);
  HWND editField = FindWindowExA(editor, nullptr, "Edit", nullptr);
  ClickRow(list, notizkasten);
  ASSERT_TRUE(WaitFor([&] { return SendMessageA(list, LB_GETCURSEL, 0, 0) == notizkasten && IsWindowVisible(searchButton); }));

  Click(searchButton);
  ASSERT_TRUE(WaitFor([&] { return Values(HKEY_LOCAL_MACHINE, "Notizkasten").find("OnlyUpdate=sz:") != std::string::npos; }, 3000))
      << "the mark is written before the program starts";
  // While the tool waits: a click on another row moves the selection and the row's editor.
  PostRowClick(list, kassenbuch);
  EXPECT_TRUE(WaitFor([&] { return SendMessageA(list, LB_GETCURSEL, 0, 0) == kassenbuch && TextOf(editField) == "14 Tage"; }, 1500))
      << "the click was not handled during the wait";
  EXPECT_NE(Values(HKEY_LOCAL_MACHINE, "Notizkasten").find("OnlyUpdate=sz:"), std::string::npos)
      << "the selection moved only after the wait";

  HWND wizard = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    for (HWND h : WindowsOf(0, "TStatusForm", nullptr))
      if (IsWindowVisible(h)) wizard = h;
    return wizard != nullptr;
  }, 20000)) << "the example program's wizard did not appear";
  DWORD pid = 0;
  GetWindowThreadProcessId(wizard, &pid);
  EXPECT_NE(pid, brisel.pi.dwProcessId);
  auto mainShows = [&] {
    for (HWND h : WindowsOf(pid, "TNotizkastenForm", nullptr))
      if (IsWindowVisible(h)) return true;
    return false;
  };
  EXPECT_FALSE(mainShows()) << "only the wizard shows";
  EXPECT_TRUE(WaitFor([&] { return Values(HKEY_LOCAL_MACHINE, "Notizkasten").find("OnlyUpdate") == std::string::npos; }, 65000))
      << "the mark is taken away after the start";
  HWND cancel = ChildWithText(wizard, "Button", "Abbrechen");
  ASSERT_NE(cancel, nullptr);
  PostMessageA(cancel, BM_CLICK, 0, 0);
  HANDLE started = OpenProcess(SYNCHRONIZE, FALSE, pid);
  ASSERT_NE(started, nullptr);
  EXPECT_EQ(WaitForSingleObject(started, 20000), WAIT_OBJECT_0) << "the example program ends after its wizard";
  CloseHandle(started);

  PostMessageA(ChildWithText(main, "Button", "Abbrechen"), BM_CLICK, 0, 0);
  EXPECT_EQ(brisel.Wait(20000), 0u);
}

// ---- the release as it ships ---------------------------------------------------------------

// Waits for a visible, enabled button with that caption inside `top` and clicks it.
bool ClickButton(HWND top, const char* caption, int ms = 15000) {
  return WaitFor([&] {
    HWND button = ChildWithText(top, "Button", caption);
    if (!button || !IsWindowVisible(button) || !IsWindowEnabled(button)) return false;
    PostMessageA(button, BM_CLICK, 0, 0);
    return true;
  }, ms);
}

bool ShowsText(HWND top, const std::string& part, int ms = 15000) {
  return WaitFor([&] { return Contains(VisibleTexts(top), part); }, ms);
}

// What a window shows, for a failure message.
std::string Shown(HWND top) {
  std::string all;
  for (const std::string& t : VisibleTexts(top)) all += "[" + t + "] ";
  return all;
}

// The released tool (scripts/release.sh: Brisel.exe and Kalvor.dll built with the maker's key and
// published as "Ostvane" / "Brisel.zip" with the family's installation, lying in
// OSTVANE_RELEASE_BIN) installed as an older copy in a folder of its own: its start finds the
// published update on the maker's server and installs it through its own wizard.
// tests/publish/release_road.sh publishes and runs it.
class BriselRelease : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* released = std::getenv("OSTVANE_RELEASE_BIN");
    if (!released) GTEST_SKIP() << "run by tests/publish/release_road.sh";
    ASSERT_NE(ServerPort(), 0);
    const std::string bin = std::string(released) + "\\";
    newTool = ReadFileBytes(bin + "Brisel.exe");
    newCatalogue = ReadFileBytes(bin + "Kalvor.dll");
    ASSERT_FALSE(newTool.empty() || newCatalogue.empty()) << bin;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    work = std::string(temp) + "Ostvane Freigabe\\";
    program = work + "Programme\\";
    tempDir = work + "Temp\\";
    // A tool that removes its search folder after an earlier road may still be ending.
    ASSERT_TRUE(WaitFor([&] {
      RemoveTree(work);
      return GetFileAttributesA(work.c_str()) == INVALID_FILE_ATTRIBUTES;
    }, 20000)) << "left: " << Listing(work);
    for (const std::string& folder : {work, program, tempDir})
      ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder << ": error " << GetLastError();
    // The installed version: the released program with bytes of its own at its end (it still
    // runs) and the catalogue of the ordinary build, both ten days old (the tool compares the
    // list's date with its catalogue's).
    WriteFileBytes(program + "Brisel.exe", newTool + "installierte Version");
    ASSERT_TRUE(CopyFileA((BinDir() + "Kalvor.dll").c_str(), (program + "Kalvor.dll").c_str(), FALSE));
    ASSERT_NE(ReadFileBytes(program + "Kalvor.dll"), newCatalogue);
    for (const char* file : {"Brisel.exe", "Kalvor.dll"}) {
      HANDLE f = CreateFileA((program + file).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(f, INVALID_HANDLE_VALUE) << file;
      FILETIME now;
      GetSystemTimeAsFileTime(&now);
      ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
      t.QuadPart -= 10ULL * 864000000000ULL;
      FILETIME old{t.LowPart, t.HighPart};
      SetFileTime(f, nullptr, nullptr, &old);
      CloseHandle(f);
    }
    oldTool = ReadFileBytes(program + "Brisel.exe");
    oldCatalogue = ReadFileBytes(program + "Kalvor.dll");
    ServerClear();
    logBefore = ServerLog().size();  // the server's log grows over the whole run
    // The tool's environment: its temporary folder and the maker's server on 127.0.0.1.
    for (const char* name : {"TMP", "TEMP"}) {
      char value[MAX_PATH] = "";
      GetEnvironmentVariableA(name, value, MAX_PATH);
      environment.emplace_back(name, value);
      SetEnvironmentVariableA(name, tempDir.substr(0, tempDir.size() - 1).c_str());
    }
    SetEnvironmentVariableA("TRELK_UPDATE_SERVER", UpdateServerAuthority().c_str());
  }
  void TearDown() override {
    for (const auto& [name, value] : environment) SetEnvironmentVariableA(name.c_str(), value.c_str());
    if (!work.empty()) RemoveTree(work);  // empty: skipped before SetUp named it
  }

  // Starts the installed tool (no key "Ostvane": its first start searches for its updates) and
  // takes the update through its wizard up to "Beenden"; `beforeEnd` runs before that click.
  // The tool has ended when this returns.
  void TakeUpdate(const std::function<void()>& beforeEnd) {
    ASSERT_TRUE(tool.Start(program + "Brisel.exe"));
    HWND wizard = WaitForWindow(tool.pi.dwProcessId, "TStatusForm", "Updates installieren");
    ASSERT_NE(wizard, nullptr) << "the tool's own update wizard did not open";
    ASSERT_TRUE(ClickButton(wizard, "Weiter >"));
    ASSERT_TRUE(ClickButton(wizard, "Jetzt auf neue Updates prüfen"));
    ASSERT_TRUE(ShowsText(wizard, "Version aus dem Test")) << "the released version's news; shown: " << Shown(wizard);
    ASSERT_TRUE(ClickButton(wizard, "Weiter >"));
    ASSERT_TRUE(ShowsText(wizard, "Die Update-Dateien wurden erfolgreich heruntergeladen.", 30000));
    ASSERT_TRUE(ClickButton(wizard, "Weiter >"));
    ASSERT_TRUE(ShowsText(wizard, "Programm automatisch neu starten"));
    ASSERT_TRUE(ClickButton(wizard, "Weiter >"));
    beforeEnd();
    ASSERT_TRUE(ClickButton(wizard, "Beenden"));
    EXPECT_EQ(tool.Wait(20000), 0u);
    EXPECT_EQ(ServerLog().substr(logBefore),
              "GET /Updates.ini HTTP/1.0\nGET /Updates.ini.sig HTTP/1.0\nGET /Updates/Brisel.zip HTTP/1.0\n")
        << "the signed road: list, signature, archive";
  }

  // The first visible window of that class and title of a process other than the one the test
  // started: the tool as the batch file started it again.
  HWND Restarted(const char* cls, const char* title, int ms) {
    HWND found = nullptr;
    WaitFor([&] {
      for (HWND h : WindowsOf(0, cls, title)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        if (owner != tool.pi.dwProcessId && owner != GetCurrentProcessId() && IsWindowVisible(h)) found = h;
      }
      return found != nullptr;
    }, ms);
    return found;
  }

  // Ends the restarted tool through its main window's "Abbrechen"; the process image it ran.
  std::string EndRestarted(HWND main) {
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    char path[MAX_PATH] = "";
    DWORD size = MAX_PATH;
    QueryFullProcessImageNameA(process, 0, path, &size);
    PostMessageA(ChildWithText(main, "Button", "Abbrechen"), BM_CLICK, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process, 20000), WAIT_OBJECT_0);
    CloseHandle(process);
    return path;
  }

  std::string newTool, newCatalogue, oldTool, oldCatalogue, work, program, tempDir;
  std::vector<std::pair<std::string, std::string>> environment;  // as it was before the test
  size_t logBefore = 0;
  TrelkKeys keys;
  Process tool;
};

// The clean road: the batch file replaces both files once the tool has ended and starts it
// again as the released version.
TEST_F(BriselRelease, InstalledToolTakesThePublishedUpdateAndRestartsAsTheRelease) {
  TakeUpdate([] {});
  HWND restarted = Restarted("TForm1", "Trelk-Software Ostvane", 60000);
  ASSERT_NE(restarted, nullptr) << "the tool was not started again";
  EXPECT_EQ(ReadFileBytes(program + "Brisel.exe"), newTool) << "Brisel.exe is not the released one";
  EXPECT_EQ(ReadFileBytes(program + "Kalvor.dll"), newCatalogue) << "Kalvor.dll is not the released one";
  EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, "Ostvane").find("UpdateResult"), std::string::npos)
      << "the outcome \"ok\" is read and gone: " << Values(HKEY_LOCAL_MACHINE, "Ostvane");
  EXPECT_EQ(WindowsOf(0, "#32770", nullptr).size(), 0u) << "a successful update is not told";
  EXPECT_EQ(lstrcmpiA(EndRestarted(restarted).c_str(), (program + "Brisel.exe").c_str()), 0);
  // Two seconds after the batch has ended, the tool itself removes its search folder.
  EXPECT_TRUE(WaitFor([&] { return Listing(tempDir).empty(); }, 15000)) << "left: " << Listing(tempDir);
}

// Kalvor.dll stays in use (another program holds it open) past the installation's wait: the new
// Brisel.exe goes again, the folder is as it was byte for byte, and the tool, started again,
// says so once and then opens its wizard, the update still being due.
TEST_F(BriselRelease, CatalogueInUseLeavesTheFolderAsItWasAndTheNextStartSaysSo) {
  HANDLE held = INVALID_HANDLE_VALUE;
  TakeUpdate([&] {
    held = CreateFileA((program + "Kalvor.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                       nullptr);
  });
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  HWND box = Restarted("#32770", nullptr, 90000);
  CloseHandle(held);
  ASSERT_NE(box, nullptr) << "the restarted tool told nothing";
  std::string told;
  for (HWND c = FindWindowExA(box, nullptr, "Static", nullptr); c; c = FindWindowExA(box, c, "Static", nullptr)) {
    char text[1024] = "";
    GetWindowTextA(c, text, sizeof text);
    told += text;
  }
  EXPECT_NE(told.find("Das letzte Update konnte nicht installiert werden. Die Datei \"Kalvor.dll\" war noch in Gebrauch"),
            std::string::npos) << told;
  EXPECT_EQ(ReadFileBytes(program + "Brisel.exe"), oldTool) << "Brisel.exe was not put back";
  EXPECT_EQ(ReadFileBytes(program + "Kalvor.dll"), oldCatalogue);
  EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, "Ostvane").find("UpdateResult"), std::string::npos) << "told once";
  PostMessageA(ChildWithText(box, "Button", "OK"), BM_CLICK, 0, 0);
  HWND wizard = Restarted("TStatusForm", "Updates installieren", 20000);
  ASSERT_NE(wizard, nullptr) << "the update is still due: the wizard comes at this start";
  ASSERT_TRUE(ClickButton(wizard, "Abbrechen"));
  HWND main = Restarted("TForm1", "Trelk-Software Ostvane", 20000);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(lstrcmpiA(EndRestarted(main).c_str(), (program + "Brisel.exe").c_str()), 0);
  EXPECT_EQ(ReadFileBytes(program + "Brisel.exe"), oldTool);
}

}  // namespace
