// httpget URL FILE: fetches URL into FILE with the HTTP client and the update wizard's settings,
// for makers who want to check their server with the very client the programs use.
//
// Prints the status line, the byte count and the seconds. Exit code 0 for a status below 400,
// 1 for a status of 400 or more, 2 when the transfer failed (the error on stderr), 3 for a wrong
// command line. With --stats, a last line gives the process's CPU seconds and peak working set.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "net/HttpClient.h"

namespace {

double Seconds(const FILETIME& t) {
  ULARGE_INTEGER v;
  v.LowPart = t.dwLowDateTime;
  v.HighPart = t.dwHighDateTime;
  return static_cast<double>(v.QuadPart) / 1e7;
}

void PrintStats() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof(memory);
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
  std::printf("stats: cpu %.3f s, peak working set %llu bytes\n", Seconds(kernel) + Seconds(user),
              static_cast<unsigned long long>(memory.PeakWorkingSetSize));
}

}  // namespace

int main(int argc, char** argv) {
  bool stats = false;
  std::string url, file;
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--stats") == 0) {
      stats = true;
    } else if (positional == 0) {
      url = argv[i];
      ++positional;
    } else if (positional == 1) {
      file = argv[i];
      ++positional;
    } else {
      ++positional;
    }
  }
  if (positional != 2) {
    std::fprintf(stderr, "usage: httpget [--stats] URL FILE\n");
    return 3;
  }

  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  int code = 0;
  std::int64_t bytes = 0;
  try {
    net::THttpClient http(nullptr);
    net::UseWizardSettings(http, file);
    http.Get(url);
    bytes = http.ReceivedBytes();
    std::string status = http.Header.substr(0, http.Header.find_first_of("\r\n"));
    std::printf("%s\n", status.empty() ? "(no status line)" : status.c_str());
    code = http.ReplyCode() >= 400 ? 1 : 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "httpget: %s\n", e.what());
    code = 2;
  }
  QueryPerformanceCounter(&end);
  const double seconds =
      static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
  std::printf("%lld bytes in %.3f s\n", static_cast<long long>(bytes), seconds);
  if (stats) PrintStats();
  std::fflush(stdout);
  return code;
}
