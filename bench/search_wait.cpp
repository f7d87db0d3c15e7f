// search_wait.exe: what the settings tool's "Jetzt nach Updates suchen" costs while it waits for
// the started program. Brisel.exe is started once; its row "Kassenbuch" names this program in
// slow-start mode (it sleeps before it shows a window, like a busy machine), and the search is
// clicked N times. For each search: the tool's own processor time (user + kernel, from
// GetProcessTimes) over the time from the click until the mark "OnlyUpdate" is gone again.
//   search_wait.exe N [DELAY_MS]     (default 5 searches, 4000 ms start delay)
//   search_wait_slow.exe DELAY_MS    the started program (the same source as a windowed
//                                    program: a console program has no input to wait for)
// The caller seeds the key "Ostvane" so that the tool's own reminder is not due.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchClock.h"

namespace {

using bench::Median;
using bench::Now;

#ifdef SEARCH_WAIT_SLOW_START
int SlowStart(DWORD delay) {
  Sleep(delay);
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "SearchWaitSlowStart";
  RegisterClassA(&wc);
  HWND w = CreateWindowA(wc.lpszClassName, "langsamer Start", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                         wc.hInstance, nullptr);
  ShowWindow(w, SW_SHOWNOACTIVATE);
  SetTimer(w, 1, 300, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0)) {
    if (msg.message == WM_TIMER) break;
    DispatchMessageA(&msg);
  }
  return 0;
}

#else
const char kKey[] = "Software\\Trelk\\Kassenbuch";

std::string Self() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n);
}

bool MarkExists() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  const bool marked = RegQueryValueExA(key, "OnlyUpdate", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return marked;
}

struct Search {
  const char* cls;
  const char* text;
  HWND hit;
};

BOOL CALLBACK FindChild(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<Search*>(p);
  char cls[64], text[128];
  GetClassNameA(h, cls, sizeof cls);
  GetWindowTextA(h, text, sizeof text);
  if (lstrcmpiA(cls, s->cls) == 0 && (!s->text || std::string(text) == s->text)) {
    s->hit = h;
    return FALSE;
  }
  return TRUE;
}

HWND Child(HWND parent, const char* cls, const char* text) {
  Search s{cls, text, nullptr};
  EnumChildWindows(parent, FindChild, reinterpret_cast<LPARAM>(&s));
  return s.hit;
}

bool WaitUntil(bool (*done)(void*), void* arg, int ms) {
  for (int waited = 0; waited < ms; waited += 20) {
    if (done(arg)) return true;
    Sleep(20);
  }
  return done(arg);
}

double ProcessSeconds(HANDLE process) {
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(process, &created, &ended, &kernel, &user)) return 0;
  auto value = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return static_cast<double>(value(kernel) + value(user)) / 1e7;
}
#endif

}  // namespace

#ifdef SEARCH_WAIT_SLOW_START
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR line, int) { return SlowStart(static_cast<DWORD>(std::atoi(line))); }
#else
int main(int argc, char** argv) {
  const int runs = argc >= 2 ? std::atoi(argv[1]) : 5;
  const int delay = argc >= 3 ? std::atoi(argv[2]) : 4000;

  const std::string self = Self();
  const std::string folder = self.substr(0, self.find_last_of('\\') + 1);
  const std::string command = "\"" + folder + "search_wait_slow.exe\" " + std::to_string(delay);
  HKEY key;
  if (RegCreateKeyA(HKEY_LOCAL_MACHINE, kKey, &key) != ERROR_SUCCESS) return 1;
  RegSetValueExA(key, "ApplicationFileName", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                 static_cast<DWORD>(command.size() + 1));
  RegCloseKey(key);

  const std::string brisel = folder + "Brisel.exe";
  STARTUPINFOA si{sizeof si};
  PROCESS_INFORMATION pi{};
  std::string line = "\"" + brisel + "\"";
  if (!CreateProcessA(brisel.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("Brisel.exe did not start\n");
    return 1;
  }
  WaitForInputIdle(pi.hProcess, 20000);
  // The main window and its button "Weiter >" (made just after the window).
  HWND main = nullptr, next = nullptr;
  for (int i = 0; i < 400 && !next; ++i) {
    main = FindWindowA("TForm1", "Trelk-Software Ostvane");
    next = main ? Child(main, "Button", "Weiter >") : nullptr;
    if (!next) Sleep(25);
  }
  if (!next) {
    std::printf(main ? "no button \"Weiter >\" in Brisel.exe's main window\n" : "no main window of Brisel.exe\n");
    TerminateProcess(pi.hProcess, 1);
    return 1;
  }
  PostMessageA(next, BM_CLICK, 0, 0);
  // The tool makes its list at the first step to it.
  struct Listed {
    HWND main, list;
  } listed{main, nullptr};
  auto filled = [](void* p) {
    auto* l = static_cast<Listed*>(p);
    if (!l->list) l->list = Child(l->main, "ListBox", nullptr);
    return l->list && SendMessageA(l->list, LB_GETCOUNT, 0, 0) > 0;
  };
  WaitUntil(filled, &listed, 10000);
  HWND list = listed.list;
  if (!list) {
    std::printf("no list of programs after \"Weiter >\"\n");
    TerminateProcess(pi.hProcess, 1);
    return 1;
  }
  int row = -1;
  const int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count && row < 0; ++i) {
    // The text crosses between the processes as UTF-16.
    wchar_t text[128] = L"";
    if (SendMessageW(list, LB_GETTEXTLEN, i, 0) < 128) SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    if (std::wstring(text) == L"Kassenbuch") row = i;
  }
  const int height = static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
  const int top = static_cast<int>(SendMessageA(list, LB_GETTOPINDEX, 0, 0));
  const LPARAM at = MAKELPARAM(60, (row - top) * height + 8);
  PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageA(list, WM_LBUTTONUP, 0, at);
  HWND button = Child(list, "Button", "Jetzt nach Updates suchen");
  auto shown = [](void* b) { return IsWindowVisible(static_cast<HWND>(b)) != FALSE; };
  if (row < 0 || !button || !WaitUntil(shown, button, 5000)) {
    std::printf("the row \"Kassenbuch\" with its search button was not found (row %d of %d, button %p)\n", row, count,
                static_cast<void*>(button));
    TerminateProcess(pi.hProcess, 1);
    return 1;
  }

  std::vector<double> walls, cpus, shares;
  for (int run = 0; run < runs; ++run) {
    const double cpu0 = ProcessSeconds(pi.hProcess), wall0 = Now();
    PostMessageA(button, BM_CLICK, 0, 0);
    auto marked = [](void*) { return MarkExists(); };
    auto unmarked = [](void*) { return !MarkExists(); };
    if (!WaitUntil(marked, nullptr, 5000) || !WaitUntil(unmarked, nullptr, 70000)) {
      std::printf("run %d: the mark did not come and go\n", run + 1);
      break;
    }
    const double wall = Now() - wall0, cpu = ProcessSeconds(pi.hProcess) - cpu0;
    walls.push_back(wall);
    cpus.push_back(cpu);
    shares.push_back(100.0 * cpu / wall);
    std::printf("run %d: waited %.2f s, Brisel.exe used %.0f ms of processor time (%.1f %% of a core)\n", run + 1, wall,
                cpu * 1000, 100.0 * cpu / wall);
    Sleep(800);  // the started program ends
  }
  std::printf("median over %zu searches (start delay %d ms): waited %.2f s, %.0f ms processor time, %.1f %% of a core\n",
              walls.size(), delay, Median(walls), Median(cpus) * 1000, Median(shares));
  PostMessageA(Child(main, "Button", "Abbrechen"), BM_CLICK, 0, 0);
  if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return walls.size() == static_cast<size_t>(runs) ? 0 : 1;
}
#endif
