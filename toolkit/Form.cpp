// Forms: frame, showing, the modal loop, closing, default buttons and the form keys.
#include "toolkit/Form.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "toolkit/Application.h"

namespace toolkit {

TForm::TForm(TComponent* owner, const char* className, const std::string& caption, int clientWidth,
             int clientHeight, DWORD style)
    : TControl(owner, nullptr) {
  RECT r{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&r, style, FALSE, WS_EX_CONTROLPARENT);
  CreateHandle(className, style | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, caption,
               {CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left, r.bottom - r.top}, true);
  CenterOnScreen();
}

TForm::~TForm() = default;

void TForm::BeforeDestruction() {
  if (std::exchange(tornDown_, true)) return;
  try {
    if (OnDestroy) OnDestroy(this);
  } catch (...) {
    ReportCurrentException();
  }
  TControl::BeforeDestruction();
}

void TForm::SetFrame(DWORD style, DWORD exStyle, int clientWidth, int clientHeight) {
  style |= WS_CLIPCHILDREN;
  exStyle |= WS_EX_CONTROLPARENT;
  LONG_PTR keep = GetWindowLongPtrA(handle_, GWL_STYLE) & WS_VISIBLE;
  SetWindowLongPtrA(handle_, GWL_STYLE, static_cast<LONG_PTR>(style) | keep);
  SetWindowLongPtrA(handle_, GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle));
  RECT r{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&r, style, FALSE, exStyle);
  SetWindowPos(handle_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TForm::CenterOnScreen() {
  RECT r;
  GetWindowRect(handle_, &r);
  int w = r.right - r.left, h = r.bottom - r.top;
  int x = GetSystemMetrics(SM_CXSCREEN) / 2 - w / 2;
  int y = GetSystemMetrics(SM_CYSCREEN) / 2 - h / 2;
  SetWindowPos(handle_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::ShowForm() {
  bool first = !shownOnce_;
  shownOnce_ = true;
  if (first) Fire(OnShow, this);
  ShowWindow(handle_, SW_SHOWNORMAL);
  SetForegroundWindow(handle_);
  if (first && initialFocus_ && initialFocus_->Handle()) {
    ::SetFocus(initialFocus_->Handle());
  } else if (first) {
    HWND focus = GetFocus();
    if (!focus || !IsChild(handle_, focus))
      if (TControl* first = NextTabStop(nullptr, false)) first->SetFocus();
  }
}

namespace {
BOOL CALLBACK CollectEnabledWindow(HWND w, LPARAM p) {
  auto* list = reinterpret_cast<std::vector<HWND>*>(p);
  if (IsWindowVisible(w) && IsWindowEnabled(w)) list->push_back(w);
  return TRUE;
}
bool QuitRequested() { return Application && Application->Terminated(); }
}  // namespace

int TForm::ShowModal() {
  HWND previousFocus = GetFocus();
  std::vector<HWND> disabled;
  EnumThreadWindows(GetCurrentThreadId(), CollectEnabledWindow, reinterpret_cast<LPARAM>(&disabled));
  disabled.erase(std::remove(disabled.begin(), disabled.end(), handle_), disabled.end());
  for (HWND w : disabled) EnableWindow(w, FALSE);
  modal_ = true;
  modalResult_ = mrNone;
  shownOnce_ = false;
  struct End {  // also when a handler of the loop throws past it
    TForm& form;
    std::vector<HWND>& disabled;
    HWND previousFocus;
    ~End() {
      for (HWND w : disabled)
        if (IsWindow(w)) EnableWindow(w, TRUE);
      if (form.handle_) ShowWindow(form.handle_, SW_HIDE);
      form.modal_ = false;
      // The window that had the focus before gets it back (the main window's button, say).
      if (previousFocus && IsWindow(previousFocus) && IsWindowVisible(previousFocus) && IsWindowEnabled(previousFocus))
        ::SetFocus(previousFocus);
    }
  } end{*this, disabled, previousFocus};
  ShowForm();
  while (modalResult_ == mrNone && !QuitRequested() && handle_ && IsWindowVisible(handle_)) {
    WaitForMessage(INFINITE);
    ProcessMessages();
  }
  return modalResult_ == mrNone ? mrCancel : modalResult_;
}

void TForm::Close() {
  bool canClose = true;
  Fire(OnCloseQuery, this, canClose);
  if (!canClose) return;
  Fire(OnClose, this);
  if (modal_) {
    modalResult_ = mrCancel;
    return;
  }
  ShowWindow(handle_, SW_HIDE);
  if (Application && Application->MainForm() == this) Application->Terminate();
}

TControl* TForm::ActiveControl() const {
  for (HWND w = GetFocus(); w && w != handle_; w = GetParent(w)) {
    if (TControl* c = FromHandle(w)) return c;
  }
  return nullptr;
}

namespace {
void CollectTabStops(const TControl& container, std::vector<TControl*>& stops) {
  for (TControl* c : container.Controls()) {
    HWND h = c->Handle();
    if (!h || !IsWindowVisible(h) || !IsWindowEnabled(h)) continue;
    if (GetWindowLongPtrA(h, GWL_STYLE) & WS_TABSTOP) stops.push_back(c);
    CollectTabStops(*c, stops);
  }
}
}  // namespace

TControl* TForm::NextTabStop(const TControl* from, bool back) const {
  std::vector<TControl*> stops;
  CollectTabStops(*this, stops);
  if (stops.empty()) return nullptr;
  auto at = std::find(stops.begin(), stops.end(), from);
  if (at == stops.end()) return back ? stops.back() : stops.front();
  size_t n = stops.size(), i = static_cast<size_t>(at - stops.begin());
  return stops[(i + (back ? n - 1 : 1)) % n];
}

namespace {
TButton* FindButton(const TForm& form, bool wantDefault) {
  for (int i = 0; i < form.ComponentCount(); ++i) {
    auto* b = dynamic_cast<TButton*>(form.Component(i));
    if (b && b->Handle() && (wantDefault ? b->Default() : b->Cancel()) && IsWindowVisible(b->Handle()) && b->Enabled())
      return b;
  }
  return nullptr;
}
}  // namespace

TButton* TForm::DefaultButton() const { return FindButton(*this, true); }
TButton* TForm::CancelButton() const { return FindButton(*this, false); }

bool TForm::IsShortCut(TShortCut shortCut) {
  if (!Live()) return false;
  for (int i = 0; i < ComponentCount(); ++i)
    if (auto* list = dynamic_cast<TActionList*>(Component(i)))
      if (list->IsShortCut(shortCut)) return true;
  return false;
}

LRESULT TForm::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CLOSE:
      Close();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE) {
        HWND focus = GetFocus();
        if (!focus || !IsChild(handle_, focus))
          if (TControl* first = NextTabStop(nullptr, false)) first->SetFocus();
      }
      return 0;
    default:
      return TControl::WndProc(hwnd, msg, wp, lp);
  }
}

// ---- keys ----------------------------------------------------------------------------------

namespace {

// The radio button after (or before) `from` in its group that can take the focus.
TRadioButton* NextInGroup(TRadioButton* from, bool back) {
  std::vector<TRadioButton*> group = from->Group();
  auto at = std::find(group.begin(), group.end(), from);
  if (at == group.end() || group.size() < 2) return nullptr;
  size_t n = group.size(), i = static_cast<size_t>(at - group.begin());
  for (size_t step = 1; step < n; ++step) {
    TRadioButton* candidate = group[(i + (back ? n - step : step)) % n];
    if (candidate->Visible() && candidate->Enabled()) return candidate;
  }
  return nullptr;
}

}  // namespace

bool TranslateFormKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  auto* form = dynamic_cast<TForm*>(TControl::FromHandle(GetAncestor(msg.hwnd, GA_ROOT)));
  if (!form || !IsWindowEnabled(form->Handle())) return false;
  if (form->IsShortCut(ShortCutOfKey(static_cast<WORD>(msg.wParam)))) return true;
  if (msg.message != WM_KEYDOWN || GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return false;
  TControl* control = TControl::FromHandle(msg.hwnd);
  switch (msg.wParam) {
    case VK_TAB: {
      // Inside a composite control (the edit field of a combo box) the step starts at the
      // control itself.
      TControl* from = control ? control : form->ActiveControl();
      if (TControl* next = form->NextTabStop(from, GetKeyState(VK_SHIFT) < 0)) next->SetFocus();
      return true;
    }
    case VK_UP:
    case VK_DOWN:
    case VK_LEFT:
    case VK_RIGHT: {
      auto* radio = dynamic_cast<TRadioButton*>(control);
      if (!radio) return false;
      if (TRadioButton* next = NextInGroup(radio, msg.wParam == VK_UP || msg.wParam == VK_LEFT)) {
        next->SetFocus();
        next->SetChecked(true);
      }
      return true;
    }
    default:
      return false;
  }
}

}  // namespace toolkit
