// The one window procedure of the toolkit: windows of our own classes and the system windows we
// subclass (buttons, edit fields, ...) hand their messages to a WindowTarget through it.
//
// Contract:
// - A window of our own class gets its target through lpCreateParams (a WindowTarget*), kept in
//   GWLP_USERDATA from WM_NCCREATE on; the messages before it get DefWindowProc. A system window
//   is put under its target with the common controls' subclassing (SetWindowSubclass), so that
//   other subclassers (the up-down control on its buddy) keep their place in the chain.
// - Every call of a target runs inside the exception boundary: an exception goes to the
//   application's general error handler (ReportCurrentException), the message answers 0, and
//   nothing crosses the window procedure.
// - At WM_NCDESTROY the procedure itself runs the system's handling, lets go of the window and
//   tells the target (WindowGone); the target never sees that message.
// - No state lives in the procedure: re-entrant messages are normal.
#pragma once

#include <windows.h>

namespace toolkit {

class WindowTarget {
 public:
  // Handles one message of `hwnd` (the target's own window or one it subclassed). Messages it
  // leaves go to DefaultWindowProc. May throw (see the exception boundary above).
  virtual LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) = 0;

 protected:
  ~WindowTarget() = default;
  // `hwnd`, of our own class, is bound to this target (at WM_NCCREATE, before WndProc sees it).
  virtual void WindowBound(HWND /*hwnd*/) {}
  // `hwnd` is gone; nothing of it reaches the target any more.
  virtual void WindowGone(HWND /*hwnd*/) {}

 private:
  friend LRESULT Dispatch(WindowTarget*, HWND, UINT, WPARAM, LPARAM, bool);
};

// Registers a window class of ours with the one procedure on first use. Throws base::Exception
// "Fensterklasse NAME ist schon vergeben" when the name is registered with another procedure,
// "Fensterklasse NAME kann nicht registriert werden" when the system refuses it.
void RegisterWindowClass(const char* name, UINT style, HCURSOR cursor, HICON icon);

// Puts the system window `hwnd` under `target`. False when the system refuses: the window then
// keeps only its own handling (it still works; a failed subclass is no reason to stop).
bool SubclassWindow(HWND hwnd, WindowTarget* target);

// No message of `hwnd` reaches its target from now on (bound or subclassed). Harmless for a
// window that has none.
void UnbindWindow(HWND hwnd);

// The system's handling of a message a target leaves: the next procedure of a subclassed
// window, DefWindowProc for a window of our own class. Only from inside WndProc.
LRESULT DefaultWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

}  // namespace toolkit
