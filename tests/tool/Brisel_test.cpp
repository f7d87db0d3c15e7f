// The real Brisel.exe started as a separate process: its window, the single instance, and the
// start without Kalvor.dll.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string BinDir() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path, n);
  return p.substr(0, p.find_last_of('\\') + 1);
}

struct Process {
  PROCESS_INFORMATION pi{};
  bool Start(const std::string& exe) {
    STARTUPINFOA si{sizeof si};
    std::string cmd = "\"" + exe + "\"";
    return CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != 0;
  }
  // Exit code, or STILL_ACTIVE when it has not ended within `ms`.
  DWORD Wait(DWORD ms) {
    WaitForSingleObject(pi.hProcess, ms);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(pi.hProcess, &code);
    return code;
  }
  ~Process() {
    if (pi.hProcess) {
      if (Wait(0) == STILL_ACTIVE) TerminateProcess(pi.hProcess, 1);
      WaitForSingleObject(pi.hProcess, 5000);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
    }
  }
};

// Top-level windows of a class and title that belong to a process.
std::vector<HWND> WindowsOf(DWORD pid, const char* cls, const char* title) {
  std::vector<HWND> found;
  for (HWND h = FindWindowExA(nullptr, nullptr, cls, title); h; h = FindWindowExA(nullptr, h, cls, title)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    if (owner == pid || pid == 0) found.push_back(h);
  }
  return found;
}

HWND WaitForMainWindow(DWORD pid) {
  for (int i = 0; i < 200; ++i) {
    for (HWND h : WindowsOf(pid, "TForm1", "Trelk-Software Ostvane"))
      if (IsWindowVisible(h)) return h;
    Sleep(50);
  }
  return nullptr;
}

std::vector<std::string> VisibleTexts(HWND parent) {
  std::vector<std::string> texts;
  EnumChildWindows(parent, [](HWND h, LPARAM p) -> BOOL {
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

TEST(Brisel, ShowsPageZeroAndStaysASingleInstance) {
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

}  // namespace
