// The real platform calls behind the seams.
#include "toolkit/Seams.h"

#include <shellapi.h>
#include <wininet.h>

#include <cmath>

namespace toolkit {

namespace {
const char* OrNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }
}  // namespace

Seam<int(HWND, const std::string&, const std::string&, UINT)> MessageBoxSeam(
    [](HWND owner, const std::string& text, const std::string& caption, UINT flags) {
      return MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
    });

Seam<INT_PTR(HWND, const std::string&, const std::string&, const std::string&, const std::string&, int)> ShellExecuteSeam(
    [](HWND owner, const std::string& verb, const std::string& file, const std::string& parameters,
       const std::string& directory, int show) {
      return reinterpret_cast<INT_PTR>(
          ShellExecuteA(owner, OrNull(verb), file.c_str(), OrNull(parameters), OrNull(directory), show));
    });

Seam<bool()> InternetConnectedSeam([] {
  DWORD flags = 0;
  return InternetGetConnectedState(&flags, 0) != FALSE;
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
