// httpget URL FILE: fetches URL into FILE with the HTTP client and the update engine's transfer
// settings, for makers who want to check their server with the very client the programs use.
//
// Prints the status line, the byte count and the seconds of the transfer. The body goes to a temporary file
// beside FILE, which replaces FILE only when the transfer succeeded, so a failed one leaves FILE
// as it was (a device such as NUL is written directly). Exit code 0 for a status below 400, 1 for
// a status of 400 or more, 2 when the transfer failed (the reason on stderr, in plain words and
// with the component's own text), 3 for a wrong command line. A password in the URL is never
// printed. With --stats, a last line gives the process's CPU seconds and peak working set.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/StrUtils.h"
#include "net/HttpClient.h"
#include "toolkit/Handles.h"

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

// The password of a "user:password@" in the URL's host part; empty when there is none.
std::string PasswordOf(const std::string& url) {
  std::size_t start = url.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  const std::size_t end = url.find('/', start);
  const std::string host = url.substr(start, end == std::string::npos ? end : end - start);
  const std::size_t at = host.rfind('@');
  if (at == std::string::npos) return {};
  const std::size_t colon = host.find(':');
  return colon < at ? host.substr(colon + 1, at - colon - 1) : std::string();
}

// `text` with every occurrence of `secret` replaced by "***".
std::string Masked(std::string text, const std::string& secret) {
  if (secret.empty()) return text;
  for (std::size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3)) {
    text.replace(at, secret.size(), "***");
  }
  return text;
}

// What a failure means to the person reading it, beside the component's own text.
std::string Explained(const std::exception& error, const net::THttpClient& http) {
  const std::string text = error.what();
  const std::string received = base::IntToStr(http.ReceivedBytes()) + " bytes of the body received";
  const std::string seconds = base::IntToStr(http.TimeOut / 1000);
  std::string plain;
  if (dynamic_cast<const net::EAbortError*>(&error)) {
    const bool header = text == "Socket readln aborted";
    const bool handshake = text.rfind("TLS handshake", 0) == 0;
    if (http.TimedOut()) {
      plain = handshake ? "time-out: the server sent nothing for " + seconds + " s during the TLS handshake"
              : header  ? "time-out: the server sent nothing for " + seconds +
                             " s while the reply header was awaited"
                        : "time-out: the server sent nothing for " + seconds +
                             " s while the body was received, " + received;
    } else {
      plain = "the transfer was cancelled";
    }
  } else if (text == "Connection Failed") {
    plain = "no connection to " + http.Host + ":" + base::IntToStr(http.Port);
  } else if (text == "Connection Timed out") {
    plain = "no answer to the connection request within " + seconds + " s";
  } else if (text == "Null Remote Address") {
    plain = "the host name " + http.Host + " was not found";
  } else if (text == "Host Lookup Timed Out") {
    plain = "the host name " + http.Host + " was not found within " + seconds + " s";
  } else if (text.rfind("10054:", 0) == 0 || text.rfind("10053:", 0) == 0) {
    plain = "the server broke off the connection, " + received;
  } else if (text.rfind("Reply body ended", 0) == 0) {
    plain = "the server closed the connection before the whole body had come";
  } else if (text == "Connection closed inside the reply header") {
    plain = "the server closed the connection before the reply header was complete";
  } else {
    return text;
  }
  return plain + " (" + text + ")";
}

// True when `file` names a device (NUL, CON) rather than a file to replace.
bool IsDevice(const std::string& file) {
  const toolkit::ScopedFile h(CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return h && GetFileType(h.get()) == FILE_TYPE_CHAR;
}

// A new temporary file in FILE's folder, so that it can replace FILE in one move.
std::string TemporaryBeside(const std::string& file) {
  std::string folder = base::ExtractFilePath(file);
  if (folder.empty()) folder = ".";
  char name[MAX_PATH];
  if (GetTempFileNameA(folder.c_str(), "htg", 0, name) == 0) return {};
  return name;
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
  if (positional != 2 || url.empty() || file.empty()) {
    std::fprintf(stderr, "usage: httpget [--stats] URL FILE\n");
    return 3;
  }
  const std::string password = PasswordOf(url);

  const bool direct = IsDevice(file);
  const std::string target = direct ? file : TemporaryBeside(file);
  if (target.empty()) {
    std::fprintf(stderr, "httpget: no temporary file can be made beside %s\n", file.c_str());
    return 2;
  }

  // The seconds are the transfer's, from the connection to the last byte: neither making the
  // client nor putting the file in place is part of them.
  LARGE_INTEGER frequency, start{}, end{};
  QueryPerformanceFrequency(&frequency);
  int code = 0;
  std::int64_t bytes = 0;
  try {
    net::THttpClient http(nullptr);
    net::UseUpdateTransferSettings(http, target);
    QueryPerformanceCounter(&start);
    try {
      http.Get(url);
      QueryPerformanceCounter(&end);
      const std::string status = http.Header.substr(0, http.Header.find_first_of("\r\n"));
      std::printf("%s\n", Masked(status, password).c_str());
      std::fflush(stdout);  // the lines come in the order they were written
      code = http.ReplyCode() >= 400 ? 1 : 0;
    } catch (const std::exception& e) {
      QueryPerformanceCounter(&end);
      std::fprintf(stderr, "httpget: %s\n", Masked(Explained(e, http), password).c_str());
      code = 2;
    }
    bytes = http.ReceivedBytes();
  } catch (const std::exception& e) {  // no client could be made
    std::fprintf(stderr, "httpget: %s\n", e.what());
    code = 2;
  }
  if (!direct) {
    if (code == 0 && !MoveFileExA(target.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      std::fprintf(stderr, "httpget: %s cannot be replaced (error %lu)\n", file.c_str(),
                   GetLastError());
      code = 2;
    }
    if (code != 0) {
      DeleteFileA(target.c_str());
      std::fprintf(stderr, "httpget: %s left as it was\n", file.c_str());
    }
  }
  const double seconds =
      static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
  std::printf("%lld bytes in %.3f s\n", static_cast<long long>(bytes), seconds);
  if (stats) PrintStats();
  std::fflush(stdout);
  return code;
}
