// The application object, the message pump, the quit request and the error handler.
#include "toolkit/Application.h"

#include <commctrl.h>

#include "toolkit/Dialogs.h"
#include "toolkit/Form.h"

namespace toolkit {

std::string ExeName() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD got = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (got < path.size()) {
      path.resize(got);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

TApplication* Application = nullptr;

void ReportCurrentException() noexcept {
  if (Application) Application->HandleException();
}

// ---- the pump ------------------------------------------------------------------------------

bool ProcessMessages() {
  bool dispatched = false;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      if (Application) {
        Application->Terminate();
      } else {
        PostQuitMessage(static_cast<int>(msg.wParam));
      }
      break;
    }
    dispatched = true;
    bool used = false;
    try {  // an action's handler runs here, outside any window procedure
      used = TranslateFormKey(msg);
    } catch (...) {
      ReportCurrentException();
      used = true;
    }
    if (used) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return dispatched;
}

bool WaitForMessage(DWORD milliseconds) {
  return MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0;
}

// ---- the application -----------------------------------------------------------------------

namespace {
const UINT kRestoreMessage = WM_APP + 1;
}

TApplication::TApplication() : TComponent(nullptr) {
  Application = this;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  icon_ = LoadIconA(instance, MAKEINTRESOURCEA(1));
  if (!icon_) icon_ = LoadIconA(nullptr, IDI_APPLICATION);
  // A hidden top-level window: another instance finds us by its class and text.
  MessageWindow::Options options;
  options.parent = nullptr;
  options.style = WS_POPUP;
  options.exStyle = WS_EX_TOOLWINDOW;
  options.icon = icon_;
  window_ = std::make_unique<MessageWindow>(
      "TApplication", [this](UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) { return HandleMessage(msg, wp, lp, result); },
      options);
}

TApplication::~TApplication() {
  DestroyComponents();
  window_.reset();
  Application = nullptr;
}

TForm* TApplication::MainForm() const {
  // A form leaves the list when its end begins.
  for (int i = 0; i < ComponentCount(); ++i)
    if (Component(i) == mainForm_) return mainForm_;
  return nullptr;
}

void TApplication::SetTitle(const std::string& title) {
  title_ = title;
  SetWindowTextA(Handle(), title_.c_str());
}

bool TApplication::HandleMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
  switch (msg) {
    case WM_SHOWWINDOW:
      // Another instance asks us to come to the front by showing this window; the request is
      // for the main form, and this window stays hidden.
      if (wp) PostMessageA(Handle(), kRestoreMessage, 0, 0);
      return false;
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE) PostMessageA(Handle(), kRestoreMessage, 0, 0);
      return false;
    case kRestoreMessage:
      BringMainFormToFront();
      result = 0;
      return true;
    default:
      return false;
  }
}

void TApplication::BringMainFormToFront() {
  if (IsWindowVisible(Handle())) ShowWindow(Handle(), SW_HIDE);
  TForm* main = MainForm();
  if (!main || !main->Handle() || !IsWindowVisible(main->Handle())) return;
  HWND target = main->Handle();
  // A modal window in front of the main form keeps the front.
  HWND popup = GetLastActivePopup(target);
  if (popup && IsWindowVisible(popup)) target = popup;
  if (IsIconic(main->Handle())) ShowWindow(main->Handle(), SW_RESTORE);
  SetWindowPos(target, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(target);
}

void TApplication::Run() {
  if (TForm* main = MainForm(); main && !terminated_) main->ShowForm();
  while (!terminated_) {
    toolkit::WaitForMessage(INFINITE);
    toolkit::ProcessMessages();
  }
}

void TApplication::Terminate() {
  if (!terminated_) {
    terminated_ = true;
    PostQuitMessage(0);
  }
}

void TApplication::Halt(int code) {
  DestroyComponents();
  ExitProcess(static_cast<UINT>(code));
}

void TApplication::HandleException(const std::exception& e) noexcept {
  try {
    TForm* main = MainForm();
    HWND owner = main && main->Handle() && !main->Destroying() ? main->Handle() : Handle();
    ShowMessageBox(owner, e.what(), title_, MB_OK | MB_ICONERROR);
  } catch (...) {
    // Nothing is left to tell the user with.
  }
}

void TApplication::HandleException() noexcept {
  try {
    throw;
  } catch (const std::exception& e) {
    HandleException(e);
  } catch (...) {
    HandleException(base::Exception("Unbekannter Fehler"));
  }
}

}  // namespace toolkit
