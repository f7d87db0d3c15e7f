// TApplication: the process's one application object, its hidden window, the forms it owns,
// the general error handler, Halt; and the one message pump of the thread.
#pragma once

#include <windows.h>

#include <exception>
#include <memory>
#include <string>

#include "toolkit/Component.h"
#include "toolkit/MessageWindow.h"

namespace toolkit {

class TForm;

// The full path of the running program file.
std::string ExeName();

// The message pump, the only one of the thread: Run, the modal loops and every waiting loop
// (the socket session's too) use these two.
//
// Dispatches every message that is pending now and returns; true when it dispatched any.
// Before a message is dispatched, our forms get their keys (TranslateFormKey: shortcuts, Tab,
// arrows in radio groups). The quit request has one rule: a WM_QUIT ends the pumping and is not
// dispatched; with an application object it becomes Terminate (Terminated() is then true and
// every loop ends when it sees that); without one it is posted again, for the thread's own loop.
bool ProcessMessages();
// Waits until a message is there for this thread or `milliseconds` pass (INFINITE: no bound),
// dispatching nothing; true when a message is there.
bool WaitForMessage(DWORD milliseconds);

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;  // ends the forms in reverse order of creation

  // Sets the title; the hidden top-level window of class "TApplication" carries it as text.
  void SetTitle(const std::string& title);
  const std::string& Title() const { return title_; }
  HWND Handle() const { return window_ ? window_->Handle() : nullptr; }
  HICON Icon() const { return icon_; }  // the program icon (resource 1, or the default icon)

  // Constructs a form owned by the application, runs its OnCreate, and makes the first form
  // created the main form.
  template <typename T, typename... Args>
  T* CreateForm(Args&&... args) {
    T* form = new T(this, std::forward<Args>(args)...);
    if (!mainForm_) mainForm_ = form;
    form->DoCreate();
    return form;
  }
  // The main form, or null once its end has begun.
  TForm* MainForm() const;

  // Shows the main form and dispatches messages until the application is told to end.
  void Run();
  // The pump of the thread (above).
  bool ProcessMessages() { return toolkit::ProcessMessages(); }
  bool WaitForMessage(DWORD milliseconds) { return toolkit::WaitForMessage(milliseconds); }
  // The quit request: Run and every modal loop end when they see it.
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Ends all forms (running their destroy handlers; an error in one is shown and the others
  // still end) and ends the process with `code`.
  [[noreturn]] void Halt(int code = 0);

  // The general error handler: shows the exception's message in a message box. Never throws.
  void HandleException(const std::exception& e) noexcept;
  void HandleException() noexcept;  // for the exception being handled now (inside a catch)

 private:
  bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
  void BringMainFormToFront();
  std::string title_;
  std::unique_ptr<MessageWindow> window_;
  HICON icon_ = nullptr;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
};

// The process's application object; null before it is created and after it has gone.
extern TApplication* Application;

}  // namespace toolkit
