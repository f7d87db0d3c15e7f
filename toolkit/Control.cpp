// The control base: window creation, our mark on the window, its messages from the one window
// procedure, reflected notifications, keys, fonts and painting.
#include "toolkit/Control.h"

#include <algorithm>
#include <utility>

#include "base/StrUtils.h"
#include "toolkit/Application.h"
#include "toolkit/Form.h"

namespace toolkit {

namespace {

// The window property of ours: the control a window belongs to.
const char kMarkProperty[] = "Trelk.Control";

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

// The window is no longer ours: no mark, no messages to the control.
void Unmark(HWND hwnd) {
  RemovePropA(hwnd, kMarkProperty);
  UnbindWindow(hwnd);
}

}  // namespace

void TControl::WindowBound(HWND hwnd) {
  SetPropA(hwnd, kMarkProperty, this);
  handle_ = hwnd;
}

void TControl::WindowGone(HWND hwnd) {
  RemovePropA(hwnd, kMarkProperty);
  if (handle_ == hwnd) handle_ = nullptr;
}

// ---- life ----------------------------------------------------------------------------------

TControl::TControl(TComponent* owner, TControl* parent)
    : TComponent(owner), parent_(parent), color_(GetSysColor(COLOR_BTNFACE)) {
  if (parent_) {
    font_ = parent_->font_;
    color_ = parent_->color_;
    parent_->controls_.push_back(this);
  }
}

TControl::~TControl() {
  for (TControl* child : controls_) child->parent_ = nullptr;
  if (parent_) {
    auto& list = parent_->controls_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  DestroyHandle();
}

void TControl::BeforeDestruction() {
  DestroyHandle();
  TComponent::BeforeDestruction();
}

void TControl::DestroyHandle() {
  HWND window = handle_;
  if (!window) return;
  // Every window of ours in the tree loses its mark first, so that nothing the destruction
  // sends (the focused control's kill-focus, say) reaches a handler.
  EnumChildWindows(window, &TControl::DetachWindow, 0);
  Unmark(window);
  handle_ = nullptr;
  DestroyWindow(window);
}

BOOL CALLBACK TControl::DetachWindow(HWND child, LPARAM) {
  if (TControl* c = FromHandle(child)) {
    if (c->handle_ == child) c->handle_ = nullptr;
    Unmark(child);
  }
  return TRUE;
}

bool TControl::Live() const {
  if (Destroying()) return false;
  const TForm* form = ParentForm();
  return !form || !form->Destroying();
}

// ---- windows -------------------------------------------------------------------------------

void TControl::CreateHandle(const char* className, DWORD style, DWORD exStyle, const std::string& text,
                            const TBounds& b, bool ownClass) {
  ownClass_ = ownClass;
  if (ownClass)
    RegisterWindowClass(className, CS_DBLCLKS, LoadCursorA(nullptr, IDC_ARROW), Application ? Application->Icon() : nullptr);
  HWND parentWindow = parent_ ? parent_->handle_ : nullptr;
  if (parentWindow) style |= WS_CHILD;
  HWND h = CreateWindowExA(exStyle, className, text.c_str(), style, b.left, b.top, b.width, b.height,
                           parentWindow, nullptr, Instance(), ownClass ? static_cast<WindowTarget*>(this) : nullptr);
  if (!h) throw base::Exception(std::string("Fenster der Klasse ") + className + " kann nicht erstellt werden");
  if (!ownClass) SubclassChild(h);
  handle_ = h;
  windowFont_ = font_.SharedHandle();
  SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_->get()), FALSE);
}

void TControl::SubclassChild(HWND child) {
  SetPropA(child, kMarkProperty, this);
  // Refused, the window keeps the system's handling only; its notifications still reach us
  // through the mark.
  SubclassWindow(child, this);
}

void TControl::MarkChild(HWND child) { SetPropA(child, kMarkProperty, this); }

void TControl::UnmarkChild(HWND child) { Unmark(child); }

TControl* TControl::FromHandle(HWND hwnd) {
  if (!hwnd) return nullptr;
  return static_cast<TControl*>(GetPropA(hwnd, kMarkProperty));
}

LRESULT TControl::DefaultProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return DefaultWindowProc(hwnd, msg, wp, lp); }

bool TControl::TrackClick(HWND hwnd, UINT msg, LPARAM lp) {
  switch (msg) {
    case WM_LBUTTONDOWN:
      pressed_ = true;
      SetCapture(hwnd);
      return true;
    case WM_LBUTTONUP: {
      const bool wasPressed = std::exchange(pressed_, false);
      if (GetCapture() == hwnd) ReleaseCapture();
      RECT r;
      GetClientRect(hwnd, &r);
      const POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      if (wasPressed && PtInRect(&r, p)) DoClick();
      return true;
    }
    case WM_CAPTURECHANGED:
      pressed_ = false;
      return false;
    default:
      return false;
  }
}

HBRUSH TControl::ColorBrush() {
  if (!colorBrush_ || colorBrushColor_ != color_) {
    colorBrush_.reset(CreateSolidBrush(color_));
    colorBrushColor_ = color_;
  }
  return static_cast<HBRUSH>(colorBrush_.get());
}

HBRUSH TControl::CtlColor(HDC dc) {
  // Labels, buttons and check boxes take the colour of the window they lie on.
  TControl* back = parent_ ? parent_ : this;
  SetTextColor(dc, font_.Color());
  SetBkColor(dc, back->color_);
  return back->ColorBrush();
}

void TControl::Paint(TCanvas& canvas) {
  RECT r;
  GetClientRect(handle_, &r);
  canvas.SetBrushColor(color_);
  canvas.FillRect(r);
}

void TControl::PaintMessage(HWND hwnd) {
  const ScopedPaint paint(hwnd);
  HDC dc = paint.get();
  const TForm* form = ParentForm();
  RECT client;
  GetClientRect(hwnd, &client);
  if ((doubleBuffered_ || (form && form->DoubleBuffered())) && client.right > 0 && client.bottom > 0) {
    TOffscreen buffer(dc, client.right, client.bottom);
    {
      TCanvas canvas(buffer.Dc());
      canvas.Font() = font_;
      Paint(canvas);
    }
    buffer.CopyTo(dc, paint.Area());
  } else {
    TCanvas canvas(dc);
    canvas.Font() = font_;
    Paint(canvas);
  }
}

LRESULT TControl::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (lp) {
        TControl* child = FromHandle(reinterpret_cast<HWND>(lp));
        if (child && child != this) return child->Notify(HIWORD(wp));
      }
      break;
    case WM_DRAWITEM: {
      auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
      TControl* child = FromHandle(dis->hwndItem);
      if (child && child != this && child->DrawItem(*dis)) return TRUE;
      break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      TControl* child = FromHandle(reinterpret_cast<HWND>(lp));
      if (child && child != this) return reinterpret_cast<LRESULT>(child->CtlColor(reinterpret_cast<HDC>(wp)));
      break;
    }
    case WM_VSCROLL:
    case WM_HSCROLL: {
      TControl* child = FromHandle(reinterpret_cast<HWND>(lp));
      if (child && child != this && child->Scroll(wp)) return 0;
      break;
    }
    case WM_CHAR: {
      char key = static_cast<char>(wp);
      if (HandleChar(key)) return 0;
      wp = static_cast<unsigned char>(key);
      break;
    }
    case WM_GETDLGCODE:
      // Enter and Esc reach the control as characters, so key preview sees them.
      if (!ownClass_) return DefaultProc(hwnd, msg, wp, lp) | DLGC_WANTCHARS;
      break;
    case WM_SETFOCUS:
      if (hwnd == handle_) Fire(OnEnter, this);
      break;
    case WM_KILLFOCUS:
      if (hwnd == handle_) Fire(OnExit, this);
      break;
    case WM_SETCURSOR:
      if (cursor_ && LOWORD(lp) == HTCLIENT && reinterpret_cast<HWND>(wp) == hwnd) {
        ::SetCursor(cursor_);
        return TRUE;
      }
      break;
    case WM_ERASEBKGND:
      if (ownClass_) return 1;  // Paint covers everything
      break;
    case WM_PAINT:
      if (ownClass_) {
        PaintMessage(hwnd);
        return 0;
      }
      break;
    default:
      break;
  }
  return DefaultProc(hwnd, msg, wp, lp);
}

bool TControl::HandleChar(char& key) {
  TForm* form = ParentForm();
  if (form && form != this && form->KeyPreview()) {
    form->Fire(form->OnKeyPress, form, key);
    if (key == 0) return true;
  }
  Fire(OnKeyPress, this, key);
  if (key == 0) return true;
  if (form && (key == '\r' || key == 27)) {
    TButton* button = key == '\r' ? form->DefaultButton() : form->CancelButton();
    if (button && !WantsReturn()) {
      button->Click();
      return true;
    }
    // A single-line edit field would only beep at these keys.
    return key == '\r' || key == 27;
  }
  return false;
}

// ---- properties ----------------------------------------------------------------------------

TForm* TControl::ParentForm() const {
  const TControl* c = this;
  while (c->parent_) c = c->parent_;
  return dynamic_cast<TForm*>(const_cast<TControl*>(c));
}

void TControl::SetParent(TControl* parent) {
  if (parent_) {
    auto& list = parent_->controls_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  parent_ = parent;
  if (parent_) parent_->controls_.push_back(this);
  if (handle_ && parent) ::SetParent(handle_, parent->handle_);
}

RECT TControl::BoundsRect() const {
  RECT r{};
  if (!handle_) return r;
  GetWindowRect(handle_, &r);
  HWND parentWindow = GetParent(handle_);
  if (parentWindow && (GetWindowLongPtrA(handle_, GWL_STYLE) & WS_CHILD))
    MapWindowPoints(nullptr, parentWindow, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

int TControl::Width() const {
  RECT r = BoundsRect();
  return r.right - r.left;
}

int TControl::Height() const {
  RECT r = BoundsRect();
  return r.bottom - r.top;
}

void TControl::SetBounds(int left, int top, int width, int height) {
  SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TControl::SetTop(int top) { SetWindowPos(handle_, nullptr, Left(), top, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE); }

std::string TControl::Text() const {
  if (!handle_) return std::string();
  int length = GetWindowTextLengthA(handle_);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  int got = GetWindowTextA(handle_, &text[0], length + 1);
  text.resize(static_cast<size_t>(std::max(got, 0)));
  return text;
}

void TControl::SetText(const std::string& text) {
  if (handle_) SetWindowTextA(handle_, text.c_str());
}

void TControl::SetVisible(bool visible) {
  if (handle_ && Visible() != visible) ShowWindow(handle_, visible ? SW_SHOWNA : SW_HIDE);
}

void TControl::SetEnabled(bool enabled) {
  if (handle_) EnableWindow(handle_, enabled);
}

void TControl::SetFocus() {
  if (handle_) ::SetFocus(handle_);
}

bool TControl::Focused() const {
  HWND focus = GetFocus();
  return handle_ && focus && (focus == handle_ || IsChild(handle_, focus));
}

void TControl::Invalidate() {
  if (handle_) InvalidateRect(handle_, nullptr, TRUE);
}

void TControl::Repaint() {
  if (handle_) RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void TControl::FontChanged() {
  if (parent_) parentFont_ = false;
  ApplyFont();
}

void TControl::ApplyFont() {
  if (!handle_) return;
  SharedGdiObject font = font_.SharedHandle();
  SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font->get()), TRUE);
  windowFont_ = std::move(font);  // the window has let go of the one before
  FontApplied();
  Invalidate();
  for (TControl* child : controls_) {
    if (child->parentFont_) {
      child->font_ = font_;
      child->ApplyFont();
    }
  }
}

void TControl::SetColor(COLORREF color) {
  color_ = color;
  Invalidate();
}

}  // namespace toolkit
