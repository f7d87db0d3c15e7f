// start_cost.exe: what the update engine adds to a program's start when no search is due.
//   start_cost.exe starts N [WITH WITHOUT]
//                               Notizkasten.exe and NotizkastenBare.exe (the same program
//                               without the update component), or the two programs named,
//                               alternating, N runs each: the time from CreateProcess to the
//                               visible main window; medians.
//   start_cost.exe tool N [A B] Brisel.exe against bare_window.exe (a window of its size with
//                               the same manifest and nothing else), or two builds of the
//                               tool, the same way.
//   start_cost.exe automatic N  AutomaticUpdate in this process, N calls when nothing is due:
//                               mean and median per call.
// The caller seeds the program keys "Notizkasten" and "StartCostBench" so that nothing is due
// ("Update" in the future).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/TrelkUpdateFile.h"
#include "bench/BenchClock.h"
#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/Timer.h"
#include "wizard/TrelkUpdateFile_StatusForm.h"

namespace {

using bench::Median;
using bench::Now;

std::string Folder() {
  std::string exe = toolkit::ExeName();
  return exe.substr(0, exe.find_last_of('\\') + 1);
}

struct Found {
  DWORD pid;
  HWND window;
};

// The classes of the main windows that end a measurement.
std::vector<std::string> g_mainClasses = {"TNotizkastenForm"};

// An EnumWindows callback (stdcall on the 32-bit build, which a lambda cannot be).
BOOL CALLBACK FindMainWindow(HWND h, LPARAM p) {
  auto* f = reinterpret_cast<Found*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  char cls[32];
  if (pid == f->pid && IsWindowVisible(h) && GetClassNameA(h, cls, sizeof cls) &&
      std::find(g_mainClasses.begin(), g_mainClasses.end(), cls) != g_mainClasses.end()) {
    f->window = h;
    return FALSE;
  }
  return TRUE;
}

// Seconds from CreateProcess to the program's main window being visible; the program is then
// closed and waited for. Negative when it did not show within 30 s.
double TimeToWindow(const std::string& exe) {
  STARTUPINFOA si{sizeof si};
  PROCESS_INFORMATION pi{};
  std::string cmd = "\"" + exe + "\"";
  const double start = Now();
  if (!CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  Found found{pi.dwProcessId, nullptr};
  double shown = -1;
  while (Now() - start < 30) {
    found.window = nullptr;
    EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&found));
    if (found.window) {
      shown = Now() - start;
      break;
    }
    Sleep(1);
  }
  if (found.window) PostMessageA(found.window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(pi.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return shown;
}

int Starts(int runs, std::string with, std::string without, const char* withName = "with the update component",
           const char* withoutName = "without the update component") {
  if (with.empty()) with = Folder() + "Notizkasten.exe";
  if (without.empty()) without = Folder() + "NotizkastenBare.exe";
  std::vector<double> a, b;
  TimeToWindow(with);  // one of each first, so that both start from warm caches
  TimeToWindow(without);
  for (int i = 0; i < runs; ++i) {
    // Alternating, and the order inside each pair alternates too.
    const bool withFirst = i % 2 == 0;
    const double first = TimeToWindow(withFirst ? with : without);
    const double second = TimeToWindow(withFirst ? without : with);
    if (first < 0 || second < 0) {
      std::fprintf(stderr, "start_cost: a program did not show its window\n");
      return 1;
    }
    (withFirst ? a : b).push_back(first);
    (withFirst ? b : a).push_back(second);
  }
  const double ma = Median(a), mb = Median(b);
  std::printf("start to visible main window, median of %d runs each:\n", runs);
  std::printf("  %-30s %7.1f ms\n", withName, ma * 1000);
  std::printf("  %-30s %7.1f ms\n", withoutName, mb * 1000);
  std::printf("  %-30s %7.1f ms (%+.1f %%, %.2f x)\n", "difference", (ma - mb) * 1000, (ma - mb) / mb * 100, ma / mb);
  return 0;
}

int Automatic(int calls) {
  toolkit::TApplication app;
  auto* owner = new toolkit::TForm(&app, "TBenchForm", "Bench", 100, 100);
  auto* update = new engine::TTrelkUpdateFile(owner);
  update->ProgramName = "Notizkasten";
  update->RegistryKey = "StartCostBench";  // seeded by the script: nothing due
  update->ZIPFileName = "Notizkasten.zip";
  // A wizard that opens means a search was due: it is closed at once and the figures are void.
  bool opened = false;
  toolkit::TTimer guard(nullptr);
  guard.SetInterval(10);
  guard.OnTimer = [&](toolkit::TComponent*) {
    if (wizard::StatusForm && IsWindowVisible(wizard::StatusForm->Handle())) {
      opened = true;
      wizard::StatusForm->SetModalResult(toolkit::TForm::mrCancel);
    }
  };
  std::vector<double> each;
  each.reserve(static_cast<size_t>(calls));
  const double start = Now();
  for (int i = 0; i < calls; ++i) {
    const double t = Now();
    update->AutomaticUpdate("", false, 0);
    each.push_back(Now() - t);
  }
  const double total = Now() - start;
  if (opened) {
    std::fprintf(stderr, "start_cost: a search was due\n");
    return 1;
  }
  std::printf("AutomaticUpdate when nothing is due, %d calls in this process:\n", calls);
  std::printf("  mean %.3f ms, median %.3f ms, slowest %.3f ms per call\n", total / calls * 1000, Median(each) * 1000,
              *std::max_element(each.begin(), each.end()) * 1000);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  const int n = argc > 2 ? std::atoi(argv[2]) : 0;
  if (mode == "starts" && n > 0) return Starts(n, argc > 3 ? argv[3] : "", argc > 4 ? argv[4] : "");
  if (mode == "automatic" && n > 0) return Automatic(n);
  if (mode == "tool" && n > 0) {
    g_mainClasses = {"TForm1", "TBareWindow"};
    if (argc > 4) return Starts(n, argv[3], argv[4], argv[3], argv[4]);
    return Starts(n, Folder() + "Brisel.exe", Folder() + "bare_window.exe", "Brisel.exe", "bare window (comctl 6)");
  }
  std::fprintf(stderr, "usage: start_cost.exe starts RUNS [WITH.exe WITHOUT.exe] | tool RUNS | automatic CALLS\n");
  return 3;
}
