// The hidden window helper: its window of a class of ours, its messages handed to the procedure.
#include "toolkit/MessageWindow.h"

#include "base/Exception.h"

namespace toolkit {

MessageWindow::MessageWindow(const char* className, Procedure procedure)
    : MessageWindow(className, std::move(procedure), Options{}) {}

MessageWindow::MessageWindow(const char* className, Procedure procedure, const Options& options)
    : procedure_(std::move(procedure)) {
  RegisterWindowClass(className, 0, nullptr, options.icon);
  handle_ = CreateWindowExA(options.exStyle, className, options.text ? options.text : "", options.style, 0, 0, 0, 0,
                            options.parent, nullptr, GetModuleHandleA(nullptr), static_cast<WindowTarget*>(this));
  if (!handle_) throw base::Exception(std::string("Fenster der Klasse ") + className + " kann nicht erstellt werden");
}

MessageWindow::~MessageWindow() { Destroy(); }

void MessageWindow::Destroy() {
  HWND window = handle_;
  if (!window) return;
  handle_ = nullptr;
  UnbindWindow(window);  // nothing DestroyWindow sends reaches us
  DestroyWindow(window);
}

LRESULT MessageWindow::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (procedure_ && procedure_(msg, wp, lp, result)) return result;
  return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace toolkit
