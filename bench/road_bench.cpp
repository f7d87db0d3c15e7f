// road_bench.exe: the road of one update through Notizkasten.exe, timed from outside like a
// person's clicks, beside httpget.exe fetching the same files in the same run.
//   road_bench.exe RUNS AUTHORITY PROGRAM TEMPDIR
// AUTHORITY is the maker's web server ("127.0.0.1:port") serving "Updates.ini" and
// "Updates/Notizkasten.zip"; PROGRAM the Notizkasten.exe to start (its update must be due);
// TEMPDIR the temporary folder it is given (with its backslash). Each run, alternating which
// goes first:
//   httpget  fetches Updates.ini and the archive: its own transfer seconds, the process's wall
//            time and CPU (the CPU of the list fetch stands for the process's own start);
//   wizard   a fresh start of the program: "Weiter >", then the time from the click on "Jetzt
//            auf neue Updates prüfen" to the result page, and from "Weiter >" there to the end
//            of the download (the page of a complete download, ready for "Einrichten"), with
//            the program's CPU during the download.
// Prints every run and the medians. The caller keeps Wine's desktop process running.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Seconds(const FILETIME& t) {
  return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
}

double ProcessCpu(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return Seconds(kernel) + Seconds(user);
}

std::string Folder() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path, n);
  return p.substr(0, p.find_last_of('\\') + 1);
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "road_bench: %s\n", what.c_str());
  std::exit(1);
}

struct Search {
  DWORD pid;
  const char* cls;
  const char* text;
  HWND found;
};

// EnumWindows / EnumChildWindows callbacks (stdcall on the 32-bit build, which a lambda is not).
BOOL CALLBACK FindTop(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<Search*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  char cls[64], text[256];
  if (pid == s->pid && IsWindowVisible(h) && GetClassNameA(h, cls, sizeof cls) && std::strcmp(cls, s->cls) == 0 &&
      GetWindowTextA(h, text, sizeof text) >= 0 && std::strcmp(text, s->text) == 0) {
    s->found = h;
    return FALSE;
  }
  return TRUE;
}
BOOL CALLBACK FindChild(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<Search*>(p);
  char text[512];
  GetWindowTextA(h, text, sizeof text);
  if (std::strncmp(text, s->text, std::strlen(s->text)) == 0) {
    s->found = h;
    return FALSE;
  }
  return TRUE;
}

HWND WaitTop(DWORD pid, const char* cls, const char* title) {
  for (int i = 0; i < 3000; ++i) {
    Search s{pid, cls, title, nullptr};
    EnumWindows(FindTop, reinterpret_cast<LPARAM>(&s));
    if (s.found) return s.found;
    Sleep(5);
  }
  Fail(std::string("no window ") + title);
}
// The first child whose text begins with `prefix`.
HWND Child(HWND top, const char* prefix) {
  Search s{0, nullptr, prefix, nullptr};
  EnumChildWindows(top, FindChild, reinterpret_cast<LPARAM>(&s));
  return s.found;
}
HWND WaitChild(HWND top, const char* prefix) {
  for (int i = 0; i < 3000; ++i) {
    if (HWND h = Child(top, prefix)) return h;
    Sleep(5);
  }
  Fail(std::string("no control ") + prefix);
}
// Waits (polling every millisecond) until the window's enabled state is `enabled`.
void WaitEnabled(HWND h, bool enabled, double limit) {
  const double end = Now() + limit;
  while ((IsWindowEnabled(h) != 0) != enabled) {
    if (Now() > end) Fail("a button did not change in time");
    Sleep(1);
  }
}

std::string EnvironmentWith(const std::vector<std::string>& overrides) {
  std::string env;
  char* block = GetEnvironmentStringsA();
  for (const char* p = block; *p; p += std::strlen(p) + 1) {
    bool replaced = false;
    for (const std::string& o : overrides)
      if (_strnicmp(p, o.c_str(), o.find('=') + 1) == 0) replaced = true;
    if (!replaced) env += std::string(p) + '\0';
  }
  FreeEnvironmentStringsA(block);
  for (const std::string& o : overrides) env += o + '\0';
  return env + '\0';
}

struct HttpgetRun {
  double transfer = 0, wall = 0, cpu = 0;
  long long bytes = 0;
};

// httpget.exe URL FILE with its output in a file (never a pipe).
HttpgetRun Httpget(const std::string& url, const std::string& file) {
  const std::string out = Folder() + "road_bench_httpget.txt";
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE h = CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOA si{sizeof si};
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = h;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::string cmd = "\"" + Folder() + "httpget.exe\" --stats " + url + " \"" + file + "\"";
  const double start = Now();
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) Fail("httpget.exe");
  WaitForSingleObject(pi.hProcess, INFINITE);
  HttpgetRun r;
  r.wall = Now() - start;
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  CloseHandle(h);
  FILE* f = std::fopen(out.c_str(), "r");
  char line[512];
  while (f && std::fgets(line, sizeof line, f)) {
    double seconds;
    long long bytes;
    if (std::sscanf(line, "%lld bytes in %lf s", &bytes, &seconds) == 2) {
      r.bytes = bytes;
      r.transfer = seconds;
    }
    std::sscanf(line, "stats: cpu %lf", &r.cpu);
  }
  if (f) std::fclose(f);
  DeleteFileA(out.c_str());
  if (code != 0) Fail("httpget.exe failed for " + url);
  return r;
}

struct WizardRun {
  double check = 0, download = 0, cpu = 0;
  long long bytes = 0;
};

void ForgetReminder() {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Trelk\\Notizkasten");
}

WizardRun Wizard(const std::string& program, const std::string& authority, const std::string& temp) {
  ForgetReminder();
  DeleteFileA((temp + "Notizkasten.zip").c_str());
  const std::string t = temp.substr(0, temp.size() - 1);
  std::string env = EnvironmentWith({"TMP=" + t, "TEMP=" + t, "TRELK_UPDATE_SERVER=" + authority});
  STARTUPINFOA si{sizeof si};
  PROCESS_INFORMATION pi{};
  std::string cmd = "\"" + program + "\"";
  if (!CreateProcessA(program.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, &env[0], nullptr, &si, &pi))
    Fail("cannot start " + program);
  HWND wizard = WaitTop(pi.dwProcessId, "TStatusForm", "Updates installieren");
  HWND next = WaitChild(wizard, "Weiter >");
  PostMessageA(next, BM_CLICK, 0, 0);
  HWND check = WaitChild(wizard, "Jetzt auf neue Updates");
  WaitEnabled(next, false, 10);
  WizardRun r;
  double start = Now();
  PostMessageA(check, BM_CLICK, 0, 0);
  WaitEnabled(next, true, 30);
  r.check = Now() - start;
  if (!Child(wizard, "Es stehen neue Updates zum Download bereit.")) Fail("the check found no update");
  const double cpu = ProcessCpu(pi.hProcess);
  start = Now();
  PostMessageA(next, BM_CLICK, 0, 0);
  WaitEnabled(next, false, 10);
  WaitEnabled(next, true, 120);
  r.download = Now() - start;
  r.cpu = ProcessCpu(pi.hProcess) - cpu;
  if (!Child(wizard, "Die Update-Dateien wurden erfolgreich")) Fail("the download did not end as complete");
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExA((temp + "Notizkasten.zip").c_str(), GetFileExInfoStandard, &data))
    r.bytes = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  TerminateProcess(pi.hProcess, 0);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  ForgetReminder();
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: road_bench RUNS AUTHORITY PROGRAM TEMPDIR\n");
    return 3;
  }
  const int runs = std::atoi(argv[1]);
  const std::string authority = argv[2], program = argv[3], temp = argv[4];
  const std::string base = "http://" + authority;
  const std::string scratch = temp + "httpget.bin";
  std::vector<double> checks, downloads, wizardCpu, listTransfer, listWall, zipTransfer, zipWall, zipCpu, listCpu;
  long long archiveBytes = 0;
  for (int run = 0; run < runs; ++run) {
    HttpgetRun list, zip;
    WizardRun wizard;
    auto fetch = [&] {
      list = Httpget(base + "/Updates.ini", scratch);
      zip = Httpget(base + "/Updates/Notizkasten.zip", scratch);
      DeleteFileA(scratch.c_str());
    };
    if (run % 2 == 0) {
      fetch();
      wizard = Wizard(program, authority, temp);
    } else {
      wizard = Wizard(program, authority, temp);
      fetch();
    }
    if (wizard.bytes != zip.bytes) Fail("the wizard's archive and httpget's differ in size");
    archiveBytes = zip.bytes;
    std::printf("run %d: wizard check %.3f s, download %.3f s (cpu %.3f s) | httpget list %.3f s (process %.3f s), "
                "archive %.3f s (process %.3f s, cpu %.3f s)\n",
                run + 1, wizard.check, wizard.download, wizard.cpu, list.transfer, list.wall, zip.transfer, zip.wall,
                zip.cpu);
    std::fflush(stdout);
    checks.push_back(wizard.check);
    downloads.push_back(wizard.download);
    wizardCpu.push_back(wizard.cpu);
    listTransfer.push_back(list.transfer);
    listWall.push_back(list.wall);
    listCpu.push_back(list.cpu);
    zipTransfer.push_back(zip.transfer);
    zipWall.push_back(zip.wall);
    zipCpu.push_back(zip.cpu);
  }
  const double download = Median(downloads), transfer = Median(zipTransfer), wall = Median(zipWall);
  const double httpgetTransferCpu = Median(zipCpu) - Median(listCpu);
  std::printf("archive: %lld bytes; %d runs, medians:\n", archiveBytes, runs);
  std::printf("check     wizard (click to result page) %.3f s | httpget Updates.ini transfer %.3f s, process %.3f s\n",
              Median(checks), Median(listTransfer), Median(listWall));
  std::printf("download  wizard (Weiter > to complete) %.3f s | httpget transfer %.3f s, process %.3f s\n", download,
              transfer, wall);
  std::printf("ratio     wizard / httpget transfer %.3f, wizard / httpget process %.3f (goal: at most 1.1)\n",
              download / transfer, download / wall);
  std::printf("cpu       wizard during the download %.3f s (%.1f %% of one core); httpget's transfer %.3f s "
              "(its cpu less that of the list fetch)\n",
              Median(wizardCpu), 100 * Median(wizardCpu) / download, httpgetTransferCpu);
  std::printf("display   wizard cpu beyond httpget's transfer: %.1f %% of one core while the bytes stream in "
              "(goal: under 2 %%)\n",
              100 * (Median(wizardCpu) - httpgetTransferCpu) / download);
  return 0;
}
