// The example program Notizkasten.exe started as a process: which window its start shows for
// the stored reminder state and its command line, and the update-only start that ends after
// the wizard without ever showing the main window.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/DateTime.h"
#include "tests/support/Programs.h"
#include "tests/support/RegistryKeys.h"

namespace {

using namespace testsupport;

const char kKey[] = "Notizkasten";
const char kMainClass[] = "TNotizkastenForm";
const char kWizardClass[] = "TStatusForm";

// Starts `exe` with a command line of its own (the program path as typed, then `args`).
bool StartWith(Process& p, const std::string& exe, const std::string& typedPath, const std::string& args) {
  STARTUPINFOA si{sizeof si};
  std::string cmd = "\"" + typedPath + "\"" + (args.empty() ? "" : " " + args);
  return CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &p.pi) != 0;
}

bool AnyVisible(DWORD pid, const char* cls) {
  for (HWND h : WindowsOf(pid, cls, nullptr))
    if (IsWindowVisible(h)) return true;
  return false;
}

// The first visible, enabled button with that text inside `top`.
HWND FindButton(HWND top, const char* text) {
  struct Search {
    const char* text;
    HWND found;
  } s{text, nullptr};
  EnumChildWindows(top, [](HWND h, LPARAM p) CALLBACK -> BOOL {
    auto* s = reinterpret_cast<Search*>(p);
    char cls[32], buf[128];
    GetClassNameA(h, cls, sizeof cls);
    GetWindowTextA(h, buf, sizeof buf);
    if (lstrcmpiA(cls, "Button") == 0 && std::string(buf) == s->text && IsWindowVisible(h) && IsWindowEnabled(h)) {
      s->found = h;
      return FALSE;
    }
    return TRUE;
  }, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// The longest text of a message box's static controls (its message; the icon has none).
std::string MessageText(HWND box) {
  std::string text;
  EnumChildWindows(box, [](HWND h, LPARAM p) CALLBACK -> BOOL {
    char cls[32], buf[1024];
    GetClassNameA(h, cls, sizeof cls);
    const int n = GetWindowTextA(h, buf, sizeof buf);
    auto* longest = reinterpret_cast<std::string*>(p);
    if (lstrcmpiA(cls, "Static") == 0 && n > static_cast<int>(longest->size())) longest->assign(buf, n);
    return TRUE;
  }, reinterpret_cast<LPARAM>(&text));
  return text;
}

// Which window the start shows first: "message" (a message box), "wizard", "main" or "none"
// within ten seconds. While waiting, a main window that shows at any moment is noted.
std::string FirstWindow(DWORD pid, bool& mainSeen) {
  for (int i = 0; i < 500; ++i) {
    if (AnyVisible(pid, "#32770")) return "message";
    if (AnyVisible(pid, kMainClass)) mainSeen = true;
    if (AnyVisible(pid, kWizardClass)) return "wizard";
    if (mainSeen) return "main";
    Sleep(20);
  }
  return "none";
}

class NotizkastenTest : public ::testing::Test {
 protected:
  void SetUp() override { DeleteKey(HKEY_LOCAL_MACHINE, kKey); }
  void TearDown() override { DeleteKey(HKEY_LOCAL_MACHINE, kKey); }
  std::string Exe() const { return BinDir() + "Notizkasten.exe"; }
};

TEST_F(NotizkastenTest, StartShowsTheWizardOnlyWhenASearchIsDue) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  const int32_t today = *base::TryEncodeDate(now.wYear, now.wMonth, now.wDay);
  enum Seed { Nothing, UpdatedToday, UpdatedYesterday, NeverLongAgo };
  struct Case {
    const char* name;
    Seed seed;
    const char* args;
    const char* first;     // the first window the start shows
    const char* recorded;  // "ApplicationFileName" afterwards, after the quoted path; null: no key at all
    // What the last installation recorded ("UpdateResult"), and the message the start shows
    // before its first window. A start that tells one is followed by a second start.
    const char* result = nullptr;
    const char* told = nullptr;
  } cases[] = {
      {"nothing stored", Nothing, "", "wizard", ""},
      {"Update = today", UpdatedToday, "", "main", ""},
      {"Update = yesterday", UpdatedYesterday, "", "wizard", ""},
      {"NoUpdate and a date long past", NeverLongAgo, "", "main", ""},
      {"/uninstall touches nothing", Nothing, "/uninstall", "main", nullptr},
      {"/Uninstall is an ordinary argument", Nothing, "/Uninstall", "wizard", ""},
      {"/uninstall not first", Nothing, "-x /uninstall", "wizard", ""},
      {"a failed installation: told once, and the search is due", UpdatedToday, "", "wizard", "",
       "Di 08.12.2026 19:40:12,34|failed|Notizkasten.exe|locked",
       "Das letzte Update konnte nicht installiert werden. Die Datei \"Notizkasten.exe\" war noch in Gebrauch und "
       "konnte nicht ersetzt werden.\r\n\r\nDie bisherige Version des Programms wurde wiederhergestellt und kann wie "
       "gewohnt verwendet werden. Bei der nächsten Suche nach Updates wird erneut versucht, das Update zu "
       "installieren."},
      {"an installation that went well: nothing told", UpdatedToday, "", "main", "", "Di 08.12.2026 19:40:12,34|ok"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteKey(HKEY_LOCAL_MACHINE, kKey);
    if (c.seed == UpdatedToday) SetDate(HKEY_LOCAL_MACHINE, kKey, "Update", today);
    if (c.seed == UpdatedYesterday) SetDate(HKEY_LOCAL_MACHINE, kKey, "Update", today - 1);
    if (c.seed == NeverLongAgo) {
      SetDate(HKEY_LOCAL_MACHINE, kKey, "Update", today - 400);
      SetString(HKEY_LOCAL_MACHINE, kKey, "NoUpdate", "");
    }
    if (c.result) SetString(HKEY_LOCAL_MACHINE, kKey, "UpdateResult", c.result);
    for (int start = 0; start < (c.told ? 2 : 1); ++start) {
      SCOPED_TRACE(start == 0 ? "first start" : "the start after it");
      Process p;
      ASSERT_TRUE(StartWith(p, Exe(), Exe(), c.args));
      bool mainSeen = false;
      std::string first = FirstWindow(p.pi.dwProcessId, mainSeen);
      if (c.told && start == 0) {
        ASSERT_EQ(first, "message");
        HWND box = WaitForWindow(p.pi.dwProcessId, "#32770", nullptr);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(MessageText(box), c.told);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 250 && IsWindow(box); ++i) Sleep(20);
        ASSERT_FALSE(IsWindow(box)) << "the message stays";
        first = FirstWindow(p.pi.dwProcessId, mainSeen);
      }
      EXPECT_EQ(first, c.first);
      EXPECT_EQ(mainSeen, std::string(c.first) == "main") << "the main window waits for the wizard";
      if (std::string(c.first) == "wizard") {
        // "Abbrechen": the main window follows, the reminder stays due.
        HWND wizard = WaitForWindow(p.pi.dwProcessId, kWizardClass, "Updates installieren");
        ASSERT_NE(wizard, nullptr);
        HWND cancel = FindButton(wizard, "Abbrechen");
        ASSERT_NE(cancel, nullptr);
        PostMessageA(cancel, BM_CLICK, 0, 0);
        EXPECT_NE(WaitForWindow(p.pi.dwProcessId, kMainClass, "Notizkasten"), nullptr);
      }
      HWND main = WaitForWindow(p.pi.dwProcessId, kMainClass, "Notizkasten");
      ASSERT_NE(main, nullptr);
      PostMessageA(main, WM_CLOSE, 0, 0);
      EXPECT_EQ(p.Wait(20000), 0u);
      const std::string values = Values(HKEY_LOCAL_MACHINE, kKey);
      if (!c.recorded) {
        EXPECT_EQ(values, "<no key>");
        continue;
      }
      const std::string recorded = "ApplicationFileName=sz:\"" + Exe() + "\"" + c.recorded;
      EXPECT_EQ(values.substr(0, recorded.size() + 1), recorded + (values.size() > recorded.size() ? " " : ""));
      if (c.seed == Nothing) EXPECT_EQ(values.find("Update="), std::string::npos) << "a cancelled search stays due";
      if (!c.result) continue;
      // The outcome is read once; after a failure the reminder is due from yesterday on.
      EXPECT_EQ(values.find("UpdateResult"), std::string::npos) << values;
      EXPECT_NE(values.find("Update=date:" + std::to_string(c.told ? today - 1 : today)), std::string::npos) << values;
    }
  }
}

TEST_F(NotizkastenTest, UpdateOnlyStartRunsTheWizardAndEndsWithoutTheMainWindow) {
  // Whatever the dates and "NoUpdate" say.
  SetString(HKEY_LOCAL_MACHINE, kKey, "OnlyUpdate", "");
  SetString(HKEY_LOCAL_MACHINE, kKey, "NoUpdate", "");
  SetDate(HKEY_LOCAL_MACHINE, kKey, "Update", 80000);
  Process p;
  ASSERT_TRUE(p.Start(Exe()));
  bool mainSeen = false;
  ASSERT_EQ(FirstWindow(p.pi.dwProcessId, mainSeen), "wizard");
  HWND wizard = WaitForWindow(p.pi.dwProcessId, kWizardClass, "Updates installieren");
  ASSERT_NE(wizard, nullptr);
  HWND cancel = FindButton(wizard, "Abbrechen");
  ASSERT_NE(cancel, nullptr);
  PostMessageA(cancel, BM_CLICK, 0, 0);
  DWORD code = STILL_ACTIVE;
  for (int i = 0; i < 1000 && code == STILL_ACTIVE; ++i) {
    if (AnyVisible(p.pi.dwProcessId, kMainClass)) mainSeen = true;
    code = p.Wait(10);
  }
  EXPECT_EQ(code, 0u) << "the program ends after the wizard";
  EXPECT_FALSE(mainSeen) << "the main window never shows";
  // The mark is the settings tool's to delete; the start command and, last, the installed
  // version's date are recorded as always.
  const std::string values = Values(HKEY_LOCAL_MACHINE, kKey);
  EXPECT_EQ(values.substr(0, values.find(" VersionDate=date:")),
            "ApplicationFileName=sz:\"" + Exe() + "\" NoUpdate=sz: OnlyUpdate=sz: Update=date:80000");
}

TEST_F(NotizkastenTest, CtrlUInTheMainWindowOpensTheWizard) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  SetDate(HKEY_LOCAL_MACHINE, kKey, "Update", *base::TryEncodeDate(now.wYear, now.wMonth, now.wDay) + 30);
  SetString(HKEY_LOCAL_MACHINE, kKey, "NoUpdate", "");
  Process p;
  ASSERT_TRUE(p.Start(Exe()));
  bool mainSeen = false;
  ASSERT_EQ(FirstWindow(p.pi.dwProcessId, mainSeen), "main");
  HWND main = WaitForWindow(p.pi.dwProcessId, kMainClass, "Notizkasten");
  ASSERT_NE(main, nullptr);
  // A person's keys: Ctrl held, U pressed, on the window in front (its button has the focus).
  SetForegroundWindow(main);
  for (int i = 0; i < 100 && GetForegroundWindow() != main; ++i) Sleep(20);
  INPUT keys[4] = {};
  const WORD codes[4] = {VK_CONTROL, 'U', 'U', VK_CONTROL};
  for (int i = 0; i < 4; ++i) {
    keys[i].type = INPUT_KEYBOARD;
    keys[i].ki.wVk = codes[i];
    keys[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
  }
  ASSERT_EQ(SendInput(4, keys, sizeof(INPUT)), 4u);
  HWND wizard = WaitForWindow(p.pi.dwProcessId, kWizardClass, "Updates installieren");
  ASSERT_NE(wizard, nullptr) << "Ctrl+U opened no wizard";
  EXPECT_FALSE(IsWindowEnabled(main)) << "the wizard is modal";
  HWND cancel = FindButton(wizard, "Abbrechen");
  ASSERT_NE(cancel, nullptr);
  PostMessageA(cancel, BM_CLICK, 0, 0);
  for (int i = 0; i < 250 && IsWindowVisible(wizard); ++i) Sleep(20);
  EXPECT_FALSE(IsWindowVisible(wizard));
  EXPECT_TRUE(IsWindowVisible(main) && IsWindowEnabled(main)) << "the program goes on";
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(p.Wait(20000), 0u);
}

TEST_F(NotizkastenTest, StartFromAPathWithoutDriveLetterRecordsButNeverSearches) {
  // Wine reaches the program's folder as a path without a drive letter through \\?\unix\.
  const std::string exe = Exe();
  ASSERT_EQ(exe.substr(0, 3), "Z:\\") << "the build lies on Wine's root drive";
  const std::string noDrive = "\\\\?\\unix" + exe.substr(2);
  SetString(HKEY_LOCAL_MACHINE, kKey, "OnlyUpdate", "");  // not even an update-only start searches
  Process p;
  ASSERT_TRUE(StartWith(p, noDrive, noDrive, ""));
  bool mainSeen = false;
  EXPECT_EQ(FirstWindow(p.pi.dwProcessId, mainSeen), "main");
  HWND main = WaitForWindow(p.pi.dwProcessId, kMainClass, "Notizkasten");
  ASSERT_NE(main, nullptr);
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(p.Wait(20000), 0u);
  const std::string values = Values(HKEY_LOCAL_MACHINE, kKey);
  const std::string prefix = "ApplicationFileName=sz:\"";
  ASSERT_EQ(values.substr(0, prefix.size()), prefix) << values;
  const std::string recorded = values.substr(prefix.size());
  EXPECT_FALSE(recorded.size() > 2 && recorded[1] == ':') << "recorded as started: " << recorded;
  EXPECT_NE(recorded.find("Notizkasten.exe\""), std::string::npos) << recorded;
}

TEST(NotizkastenCatalogue, ListedWithARowOfItsOwn) {
  HMODULE dll = LoadLibraryA((BinDir() + "Kalvor.dll").c_str());
  ASSERT_NE(dll, nullptr);
  auto count = reinterpret_cast<int32_t(__stdcall*)()>(GetProcAddress(dll, "ProgramsCount"));
  auto data = reinterpret_cast<const char*(__stdcall*)(int32_t, int32_t)>(GetProcAddress(dll, "GetArrayData"));
  ASSERT_TRUE(count && data);
  int rows = 0;
  for (int32_t row = 0; row < count(); ++row)
    if (std::string(data(row, 0)) == kKey) {
      ++rows;
      EXPECT_STREQ(data(row, 1), "Notizkasten");
    }
  EXPECT_EQ(rows, 1);
  FreeLibrary(dll);
}

}  // namespace
