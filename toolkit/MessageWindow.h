// MessageWindow: a hidden window that hands its messages to C++ code. The application's window,
// the timers and the socket sessions stand on it.
//
// Contract:
// - The window class is registered on first use under the given name, with the toolkit's one
//   window procedure (WindowProc.h). A class name that is already registered with another
//   procedure is refused (base::Exception "Fensterklasse %s ist schon vergeben").
// - The window is created with the helper as its creation parameter; from WM_NCCREATE on the
//   window knows its helper, and every message from then on reaches the procedure (the messages
//   before it, and any the procedure leaves, get DefWindowProc).
// - The procedure runs inside the one window procedure's exception boundary: an exception goes
//   to the application's general error handler, the message answers 0, nothing crosses the
//   window procedure.
// - The helper owns the window. From the start of its destruction (or Destroy) no message
//   reaches the procedure any more, not even the ones DestroyWindow sends. As a member of the
//   object whose procedure it runs, it thus goes with that object: a constructor that throws
//   after the member was made leaves no window pointing at the unfinished object.
// - By default the window is message-only (parent HWND_MESSAGE): it needs no desktop and is
//   never shown. With `parent` null it is a hidden top-level window that other programs can
//   find by class and text (the application's window).
// - Thread: the window belongs to the thread that made it; its messages arrive through that
//   thread's message pump (Application.h) only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "toolkit/WindowProc.h"

namespace toolkit {

class MessageWindow : private WindowTarget {
 public:
  // Handles one message: true when handled (then `result` is the answer), false to leave it to
  // DefWindowProc.
  using Procedure = std::function<bool(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result)>;

  struct Options {
    HWND parent = HWND_MESSAGE;
    DWORD style = 0;
    DWORD exStyle = 0;
    const char* text = "";
    HICON icon = nullptr;  // of the class, when it is registered here
  };

  // Throws base::Exception when the class cannot be registered or the window not be made.
  MessageWindow(const char* className, Procedure procedure);
  MessageWindow(const char* className, Procedure procedure, const Options& options);
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  HWND Handle() const { return handle_; }
  // Destroys the window now; the procedure gets nothing more. Harmless when already done.
  void Destroy();

 private:
  LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;
  void WindowBound(HWND hwnd) override { handle_ = hwnd; }
  void WindowGone(HWND hwnd) override {
    if (handle_ == hwnd) handle_ = nullptr;
  }
  Procedure procedure_;
  HWND handle_ = nullptr;
};

}  // namespace toolkit
