// desktop_keeper SECONDS: holds a message-only window for SECONDS (or until it is ended), so that
// Wine's desktop process stays running for a whole benchmark instead of being started by, and
// inheriting the output of, every measured program.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  const UINT seconds = argc > 1 ? static_cast<UINT>(std::atoi(argv[1])) : 3600;
  HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  SetTimer(window, 1, seconds * 1000, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER) break;
    DispatchMessageA(&msg);
  }
  DestroyWindow(window);
  return 0;
}
