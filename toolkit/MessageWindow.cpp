// The hidden window helper: class registration, the helper found at WM_NCCREATE, the
// exception boundary.
#include "toolkit/MessageWindow.h"

#include "base/Exception.h"
#include "toolkit/Component.h"

namespace toolkit {

MessageWindow::MessageWindow(const char* className, Procedure procedure)
    : MessageWindow(className, std::move(procedure), Options{}) {}

MessageWindow::MessageWindow(const char* className, Procedure procedure, const Options& options)
    : procedure_(std::move(procedure)) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA existing{sizeof existing};
  if (GetClassInfoExA(instance, className, &existing)) {
    if (existing.lpfnWndProc != &MessageWindow::WindowProc)
      throw base::Exception(std::string("Fensterklasse ") + className + " ist schon vergeben");
  } else {
    WNDCLASSEXA wc{sizeof wc};
    wc.lpfnWndProc = &MessageWindow::WindowProc;
    wc.hInstance = instance;
    wc.hIcon = options.icon;
    wc.lpszClassName = className;
    if (!RegisterClassExA(&wc))
      throw base::Exception(std::string("Fensterklasse ") + className + " kann nicht registriert werden");
  }
  handle_ = CreateWindowExA(options.exStyle, className, options.text ? options.text : "", options.style, 0, 0, 0, 0,
                            options.parent, nullptr, instance, this);
  if (!handle_) throw base::Exception(std::string("Fenster der Klasse ") + className + " kann nicht erstellt werden");
}

MessageWindow::~MessageWindow() { Destroy(); }

void MessageWindow::Destroy() {
  HWND window = handle_;
  if (!window) return;
  handle_ = nullptr;
  SetWindowLongPtrA(window, GWLP_USERDATA, 0);  // nothing DestroyWindow sends reaches us
  DestroyWindow(window);
}

LRESULT CALLBACK MessageWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<MessageWindow*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    if (self) self->handle_ = hwnd;
  }
  auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self && self->procedure_) {
    try {
      LRESULT result = 0;
      if (self->procedure_(msg, wp, lp, result)) return result;
    } catch (...) {
      ReportCurrentException();
      return 0;
    }
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace toolkit
