// TApplication: the process's one application object, its hidden window, the forms it owns,
// the message loop and the general error handler.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

#include "toolkit/Component.h"

namespace toolkit {

class TForm;

// The full path of the running program file.
std::string ExeName();

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;  // destroys the forms in reverse order of creation

  // Sets the title; the hidden top-level window of class "TApplication" carries it as text.
  void SetTitle(const std::string& title);
  const std::string& Title() const { return title_; }
  HWND Handle() const { return handle_; }
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
  TForm* MainForm() const { return mainForm_; }

  // Shows the main form and dispatches messages until the application is told to end.
  void Run();
  // Dispatches what is pending and returns.
  void ProcessMessages();
  // Waits for the next message or until `milliseconds` passed (whichever is first), without
  // dispatching it.
  void WaitForMessage(DWORD milliseconds);
  // The quit request: Run and every modal loop end when they see it.
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Destroys all forms (running their destroy handlers) and ends the process with `code`.
  [[noreturn]] void Halt(int code = 0);

  // The general error handler: shows the exception's message in a message box.
  void HandleException(const std::exception& e);
  void HandleException();  // for the exception being handled now (inside a catch)

  // Handles Tab between controls of a form; true when `msg` was used.
  bool IsDialogKey(const MSG& msg);

 private:
  static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
  void BringMainFormToFront();
  std::string title_;
  HWND handle_ = nullptr;
  HICON icon_ = nullptr;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
};

// The process's application object; null before it is created.
extern TApplication* Application;

}  // namespace toolkit
