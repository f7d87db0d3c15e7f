// Helpers of the tests that look at the built programs: the folder they lie in, a started
// program that ends with the test, and its windows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// The folder of the running test program, with its backslash: every built program lies there.
inline std::string BinDir() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path, n);
  return p.substr(0, p.find_last_of('\\') + 1);
}

// A program started by the test; one still running at the end of the test is terminated.
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

// Top-level windows of a class and title (null: any) that belong to a process (0: any).
inline std::vector<HWND> WindowsOf(DWORD pid, const char* cls, const char* title) {
  std::vector<HWND> found;
  for (HWND h = FindWindowExA(nullptr, nullptr, cls, title); h; h = FindWindowExA(nullptr, h, cls, title)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    if (owner == pid || pid == 0) found.push_back(h);
  }
  return found;
}

// The first visible one of them, waiting up to ten seconds for it; null when none came.
inline HWND WaitForWindow(DWORD pid, const char* cls, const char* title) {
  for (int i = 0; i < 200; ++i) {
    for (HWND h : WindowsOf(pid, cls, title))
      if (IsWindowVisible(h)) return h;
    Sleep(50);
  }
  return nullptr;
}

}  // namespace testsupport
