// The application object: hidden window, message loop, quit request and error handler.
#include "toolkit/Application.h"

#include <commctrl.h>

#include "toolkit/Controls.h"
#include "toolkit/Dialogs.h"

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
  WNDCLASSEXA wc{sizeof wc};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = icon_;
  wc.lpszClassName = "TApplication";
  RegisterClassExA(&wc);
  // A hidden top-level window: another instance finds us by its class and text.
  handle_ = CreateWindowExA(WS_EX_TOOLWINDOW, "TApplication", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                            instance, nullptr);
  SetWindowLongPtrA(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TApplication::~TApplication() {
  DestroyComponents();
  if (handle_) {
    SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
    DestroyWindow(handle_);
  }
  Application = nullptr;
}

void TApplication::SetTitle(const std::string& title) {
  title_ = title;
  SetWindowTextA(handle_, title_.c_str());
}

LRESULT CALLBACK TApplication::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<TApplication*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self) {
    switch (msg) {
      case WM_SHOWWINDOW:
        // Another instance asks us to come to the front by showing this window; the request
        // is for the main form, and this window stays hidden.
        if (wp) PostMessageA(hwnd, kRestoreMessage, 0, 0);
        break;
      case WM_ACTIVATE:
        if (LOWORD(wp) != WA_INACTIVE) PostMessageA(hwnd, kRestoreMessage, 0, 0);
        break;
      case kRestoreMessage:
        try {
          self->BringMainFormToFront();
        } catch (const std::exception& e) {
          self->HandleException(e);
        }
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

void TApplication::BringMainFormToFront() {
  if (IsWindowVisible(handle_)) ShowWindow(handle_, SW_HIDE);
  if (!mainForm_ || !mainForm_->Handle() || !IsWindowVisible(mainForm_->Handle())) return;
  HWND target = mainForm_->Handle();
  // A modal window in front of the main form keeps the front.
  HWND popup = GetLastActivePopup(target);
  if (popup && IsWindowVisible(popup)) target = popup;
  if (IsIconic(mainForm_->Handle())) ShowWindow(mainForm_->Handle(), SW_RESTORE);
  SetWindowPos(target, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(target);
}

bool TApplication::IsDialogKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB) return false;
  TControl* control = TControl::FromHandle(msg.hwnd);
  TForm* form = control ? control->ParentForm() : nullptr;
  if (!form) return false;
  bool back = GetKeyState(VK_SHIFT) < 0;
  HWND focus = GetFocus();
  // Inside a composite control (the edit field of a combo box) the step starts at the control.
  if (control && control->Handle() != focus && IsChild(control->Handle(), focus)) focus = control->Handle();
  HWND next = GetNextDlgTabItem(form->Handle(), focus, back);
  if (next) ::SetFocus(next);
  return true;
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      terminated_ = true;
      return;
    }
    if (IsDialogKey(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void TApplication::WaitForMessage(DWORD milliseconds) {
  MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

void TApplication::Run() {
  if (mainForm_ && !terminated_) mainForm_->ShowForm();
  while (!terminated_) {
    WaitForMessage(INFINITE);
    ProcessMessages();
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

void TApplication::HandleException(const std::exception& e) {
  std::string text = e.what();
  ShowMessageBox(mainForm_ && mainForm_->Handle() ? mainForm_->Handle() : handle_, text, title_,
                 MB_OK | MB_ICONERROR);
}

void TApplication::HandleException() {
  try {
    throw;
  } catch (const std::exception& e) {
    HandleException(e);
  } catch (...) {
    HandleException(base::Exception("Unbekannter Fehler"));
  }
}

}  // namespace toolkit
