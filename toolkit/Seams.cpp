// The real platform calls behind the seams.
#include "toolkit/Seams.h"

#include <shellapi.h>
#include <wininet.h>

#include <cmath>
#include <map>

namespace toolkit {

namespace {
const char* OrNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }
}  // namespace

FARPROC SystemProc(const char* library, const char* name) {
  // The user interface's thread only: one module per library name, never freed.
  static std::map<std::string, HMODULE> loaded;
  auto found = loaded.find(library);
  if (found == loaded.end()) {
    char folder[MAX_PATH];
    const UINT n = GetSystemDirectoryA(folder, sizeof folder);
    HMODULE module = nullptr;
    if (n > 0 && n < sizeof folder) {
      // The library's own imports are looked for in its folder first.
      const std::string path = std::string(folder, n) + "\\" + library;
      module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    found = loaded.emplace(library, module).first;
  }
  return found->second ? GetProcAddress(found->second, name) : nullptr;
}

Seam<int(HWND, const std::string&, const std::string&, UINT)> MessageBoxSeam(
    [](HWND owner, const std::string& text, const std::string& caption, UINT flags) {
      return MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
    });

Seam<INT_PTR(HWND, const std::string&, const std::string&, const std::string&, const std::string&, int)> ShellExecuteSeam(
    [](HWND owner, const std::string& verb, const std::string& file, const std::string& parameters,
       const std::string& directory, int show) {
      using ShellExecuteFunction = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
      auto* shellExecute = SystemFunction<ShellExecuteFunction>("shell32.dll", "ShellExecuteA");
      if (!shellExecute) return static_cast<INT_PTR>(SE_ERR_DLLNOTFOUND);
      return reinterpret_cast<INT_PTR>(
          shellExecute(owner, OrNull(verb), file.c_str(), OrNull(parameters), OrNull(directory), show));
    });

Seam<ElevatedStart(HWND, const std::string&, const std::string&)> ElevatedStartSeam(
    [](HWND owner, const std::string& file, const std::string& parameters) {
      using ShellExecuteExFunction = BOOL(WINAPI*)(SHELLEXECUTEINFOA*);
      auto* shellExecuteEx = SystemFunction<ShellExecuteExFunction>("shell32.dll", "ShellExecuteExA");
      ElevatedStart start;
      if (!shellExecuteEx) {
        start.error = ERROR_MOD_NOT_FOUND;
        return start;
      }
      SHELLEXECUTEINFOA info{};
      info.cbSize = sizeof info;
      info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
      info.hwnd = owner;
      info.lpVerb = "runas";
      info.lpFile = file.c_str();
      info.lpParameters = OrNull(parameters);
      info.nShow = SW_HIDE;
      if (shellExecuteEx(&info) && info.hProcess) {
        start.process = info.hProcess;
      } else {
        start.error = GetLastError();
        if (start.error == ERROR_SUCCESS) start.error = ERROR_GEN_FAILURE;
      }
      return start;
    });

Seam<bool()> InternetConnectedSeam([] {
  using ConnectedStateFunction = BOOL(WINAPI*)(LPDWORD, DWORD);
  auto* connectedState = SystemFunction<ConnectedStateFunction>("wininet.dll", "InternetGetConnectedState");
  DWORD flags = 0;
  return connectedState && connectedState(&flags, 0) != FALSE;
});

Seam<std::string()> TempPathSeam([] {
  char path[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof path, path);
  if (n == 0 || n > MAX_PATH) return std::string();
  return std::string(path, n);
});

Seam<base::TDateTime()> NowSeam([] {
  SYSTEMTIME t;
  GetLocalTime(&t);
  double day = base::TryEncodeDate(t.wYear, t.wMonth, t.wDay).value_or(0);
  double time = base::TryEncodeTime(t.wHour, t.wMinute, t.wSecond, t.wMilliseconds).value_or(0);
  return day + time;
});

base::TDateTime Today() { return std::floor(NowSeam()); }

}  // namespace toolkit
