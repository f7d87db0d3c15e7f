// road_bench.exe: the road of one update through Notizkasten.exe, timed from outside like a
// person's clicks, beside httpget.exe fetching the same files in the same run.
//   road_bench.exe RUNS AUTHORITY PROGRAM TEMPDIR [RATE]
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
// Then three runs at RATE bytes per second (default 4,000,000; 0 = none): the program's processor
// time while the bytes stream in beside httpget's.
//   road_bench.exe display AUTHORITY TEMPDIR RATE [RUNS]
// The progress display's own cost, measured in this process (see DisplayCost; RUNS pairs,
// default 5).
// Prints every run and the medians. The caller keeps Wine's desktop process running.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "settings/UpdateServer.h"
#include "toolkit/Application.h"
#include "wizard/TrelkUpdateFile_StatusForm.h"

namespace {

using bench::Median;
using bench::Now;


// The processor time (user and system, in seconds) of the Unix process that runs `program`, read
// from Linux's /proc through Wine's drive Z: (Wine reports no times for other processes); -1
// when it is not found. The process's command line begins with the program's Windows path.
double UnixCpuOf(const std::string& program) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA("Z:\\proc\\*", &fd);
  if (h == INVALID_HANDLE_VALUE) return -1;
  double found = -1;
  do {
    if (fd.cFileName[0] < '0' || fd.cFileName[0] > '9') continue;
    const std::string dir = std::string("Z:\\proc\\") + fd.cFileName + "\\";
    FILE* f = std::fopen((dir + "cmdline").c_str(), "rb");
    if (!f) continue;
    char line[1024] = {};
    size_t n = std::fread(line, 1, sizeof line - 1, f);
    std::fclose(f);
    if (n == 0 || _stricmp(line, program.c_str()) != 0) continue;
    f = std::fopen((dir + "stat").c_str(), "rb");
    if (!f) continue;
    char stat[2048] = {};
    std::fread(stat, 1, sizeof stat - 1, f);
    std::fclose(f);
    // Fields 14 and 15 (utime, stime) after the name in parentheses, in ticks of 1/100 s.
    const char* p = std::strrchr(stat, ')');
    unsigned long long utime = 0, stime = 0;
    if (p && std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) == 2)
      found = static_cast<double>(utime + stime) / 100.0;
    break;
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  return found;
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

// The downloaded archive, in the search folder of the program below `temp`.
std::string ArchiveIn(const std::string& temp) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((temp + "Trelk-Notizkasten-*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return std::string();
  FindClose(h);
  return temp + fd.cFileName + "\\Notizkasten.zip";
}

WizardRun Wizard(const std::string& program, const std::string& authority, const std::string& temp) {
  ForgetReminder();
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
  const double cpu = UnixCpuOf(program);
  start = Now();
  PostMessageA(next, BM_CLICK, 0, 0);
  WaitEnabled(next, false, 10);
  WaitEnabled(next, true, 120);
  r.download = Now() - start;
  r.cpu = UnixCpuOf(program) - cpu;
  if (!Child(wizard, "Die Update-Dateien wurden erfolgreich")) Fail("the download did not end as complete");
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExA(ArchiveIn(temp).c_str(), GetFileExInfoStandard, &data))
    r.bytes = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  TerminateProcess(pi.hProcess, 0);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  ForgetReminder();
  return r;
}

double ProcessCpu() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

// The progress display's own cost: in this process, the wizard on its download page fetches the
// archive through DownloadUpdate (its progress handler on the client), and the same client fetches
// it once more without the handler; the difference of this process's processor time, alternating
// `runs` times each. The platform counts processor time in ticks of 10 ms, a few of them per
// run: the median of the pairs' differences says more than the difference of the medians.
// The wizard with its download step's work at hand.
struct BenchForm : wizard::TStatusForm {
  using TStatusForm::TStatusForm;
  using TStatusForm::DownloadUpdate;
  using TStatusForm::Program;
};

int DisplayCost(const std::string& authority, const std::string& temp, long long rate, int runs) {
  const std::string base = "http://" + authority;
  Httpget(base + "/_mode?path=/Updates/Notizkasten.zip&rate=" + std::to_string(rate), "NUL");
  toolkit::TApplication app;
  auto* form = new BenchForm(&app, settings::UpdateServerSetting());
  form->DoCreate();
  form->EnsureControls();
  form->UpdateServer = authority;
  form->ProgramName = "Notizkasten";
  form->ShowForm();
  form->Pages->SetPageIndex(3);
  // The server's list, read as the check reads it, names the archive.
  form->ZIPFileName = "mit.zip";
  form->Work.Begin(temp);
  if (form->Work.Check(*form->HTTP, form->Program()).kind != wizard::CheckOutcome::Offered) {
    std::printf("display: the server's list offers no update for Notizkasten\n");
    return 1;
  }
  const std::string archive = form->Work.SearchDir() + form->ZIPFileName;
  std::vector<double> with, without, seconds, differences;
  for (int run = 0; run < runs; ++run) {
    toolkit::ProcessMessages();
    double cpu = ProcessCpu(), start = Now();
    form->DownloadUpdate();
    const double wall = Now() - start;
    with.push_back(ProcessCpu() - cpu);
    seconds.push_back(wall);
    toolkit::ProcessMessages();
    cpu = ProcessCpu();
    form->HTTP->Body = temp + "ohne.zip";
    form->HTTP->Get(base + "/Updates/Notizkasten.zip");
    without.push_back(ProcessCpu() - cpu);
    differences.push_back(with.back() - without.back());
    std::printf("display run %d: with the progress display %.2f s cpu in %.2f s, without %.2f s cpu (%s)\n", run + 1,
                with.back(), wall, without.back(), form->StatusLabel->Text().c_str());
    std::fflush(stdout);
    DeleteFileA(archive.c_str());
    DeleteFileA((temp + "ohne.zip").c_str());
  }
  form->Work.DropSearch();
  Httpget(base + "/_mode?path=/Updates/Notizkasten.zip&rate=0", "NUL");
  std::printf("display   at %lld bytes/s the progress display costs %.2f s of %.2f s: %.1f %% of one core "
              "(goal: under 1 %%)\n",
              rate, Median(differences), Median(seconds), 100 * Median(differences) / Median(seconds));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if ((argc == 5 || argc == 6) && std::string(argv[1]) == "display")
    return DisplayCost(argv[2], argv[3], std::atoll(argv[4]), argc == 6 ? std::atoi(argv[5]) : 5);
  if (argc != 5 && argc != 6) {
    std::fprintf(stderr, "usage: road_bench RUNS AUTHORITY PROGRAM TEMPDIR [RATE]\n");
    return 3;
  }
  const int runs = std::atoi(argv[1]);
  const std::string authority = argv[2], program = argv[3], temp = argv[4];
  const long long rate = argc == 6 ? std::atoll(argv[5]) : 4000000;
  const std::string base = "http://" + authority;
  const std::string scratch = temp + "httpget.bin";
  auto throttle = [&](long long bytesPerSecond) {
    Httpget(base + "/_mode?path=/Updates/Notizkasten.zip&rate=" + std::to_string(bytesPerSecond), "NUL");
  };

  // The whole speed of the loopback server: the wizard's times beside httpget's.
  std::vector<double> checks, downloads, listTransfer, listWall, zipTransfer, zipWall;
  long long archiveBytes = 0;
  throttle(0);
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
    std::printf("run %d: wizard check %.3f s, download %.3f s | httpget list %.3f s (process %.3f s), archive %.3f s "
                "(process %.3f s)\n",
                run + 1, wizard.check, wizard.download, list.transfer, list.wall, zip.transfer, zip.wall);
    std::fflush(stdout);
    checks.push_back(wizard.check);
    downloads.push_back(wizard.download);
    listTransfer.push_back(list.transfer);
    listWall.push_back(list.wall);
    zipTransfer.push_back(zip.transfer);
    zipWall.push_back(zip.wall);
  }

  // The processor while the bytes stream in at `rate`: the wizard's program beside httpget's
  // transfer (its processor time less that of fetching the small list, which stands for its
  // start and end).
  std::vector<double> slowDownloads, wizardCpu, httpgetCpu;
  if (rate > 0) throttle(rate);
  for (int run = 0; rate > 0 && run < 3; ++run) {
    WizardRun wizard = Wizard(program, authority, temp);
    HttpgetRun list = Httpget(base + "/Updates.ini", scratch);
    HttpgetRun zip = Httpget(base + "/Updates/Notizkasten.zip", scratch);
    DeleteFileA(scratch.c_str());
    std::printf("at %lld bytes/s: wizard download %.3f s, cpu %.2f s | httpget archive %.3f s, cpu %.2f s (list %.2f s)\n",
                rate, wizard.download, wizard.cpu, zip.transfer, zip.cpu, list.cpu);
    std::fflush(stdout);
    slowDownloads.push_back(wizard.download);
    wizardCpu.push_back(wizard.cpu);
    httpgetCpu.push_back(zip.cpu - list.cpu);
  }
  throttle(0);

  const double download = Median(downloads), transfer = Median(zipTransfer), wall = Median(zipWall);
  const double slow = Median(slowDownloads), cpu = Median(wizardCpu), clientCpu = Median(httpgetCpu);
  std::printf("archive: %lld bytes; medians of %d runs at full speed:\n", archiveBytes, runs);
  std::printf("check     wizard (click to result page) %.3f s | httpget Updates.ini transfer %.3f s, process %.3f s\n",
              Median(checks), Median(listTransfer), Median(listWall));
  std::printf("download  wizard (Weiter > to complete) %.3f s | httpget transfer %.3f s, process %.3f s\n", download,
              transfer, wall);
  std::printf("ratio     wizard / httpget transfer %.2f, wizard / httpget process %.2f (goal: at most 1.1)\n",
              download / transfer, download / wall);
  if (rate <= 0) return 0;
  std::printf("cpu       at %lld bytes/s (medians of 3): wizard %.2f s in %.2f s (%.1f %% of one core), httpget's "
              "transfer %.2f s\n",
              rate, cpu, slow, 100 * cpu / slow, clientCpu);
  std::printf("display   the wizard's processor time beyond the client's: %.1f %% of one core while the bytes stream "
              "in (goal: under 1 %%)\n",
              100 * (cpu - clientCpu) / slow);
  return 0;
}
