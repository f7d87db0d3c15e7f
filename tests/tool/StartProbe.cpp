// A stand-in for a program of the family, started by the settings tool's search: after an
// optional delay (a slow start) it notes its command line and whether its key carries
// "OnlyUpdate" at that moment, then shows a window and handles messages for a moment.
// Usage: startprobe OUTFILE KEYNAME DELAY_MS [more parameters...]
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 4) return 3;
  char out[MAX_PATH], key[256];
  WideCharToMultiByte(CP_ACP, 0, argv[1], -1, out, sizeof out, nullptr, nullptr);
  WideCharToMultiByte(CP_ACP, 0, argv[2], -1, key, sizeof key, nullptr, nullptr);
  Sleep(static_cast<DWORD>(_wtoi(argv[3])));

  bool marked = false;
  HKEY k;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string("Software\\Trelk\\") + key).c_str(), 0, KEY_READ, &k) == 0) {
    marked = RegQueryValueExA(k, "OnlyUpdate", nullptr, nullptr, nullptr, nullptr) == 0;
    RegCloseKey(k);
  }
  if (FILE* f = std::fopen(out, "wb")) {
    std::fprintf(f, "%s\nOnlyUpdate=%s\n", GetCommandLineA(), marked ? "yes" : "no");
    std::fclose(f);
  }

  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = instance;
  wc.lpszClassName = "StartProbe";
  RegisterClassA(&wc);
  HWND w = CreateWindowA("StartProbe", "StartProbe", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, instance, nullptr);
  ShowWindow(w, show);
  SetTimer(w, 1, 500, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0)) {
    if (msg.message == WM_TIMER) break;
    DispatchMessageA(&msg);
  }
  return 0;
}
