// Windowed controls, forms, fonts, canvas and bitmaps.
#include "toolkit/Controls.h"

#include <commctrl.h>

#include <algorithm>
#include <set>

#include "base/StrUtils.h"
#include "toolkit/Application.h"

namespace toolkit {

LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

namespace {

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

void RegisterOwnClass(const char* name) {
  WNDCLASSEXA existing{sizeof existing};
  if (GetClassInfoExA(Instance(), name, &existing)) return;
  WNDCLASSEXA wc{sizeof wc};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = ControlProc;
  wc.hInstance = Instance();
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hIcon = Application ? Application->Icon() : nullptr;
  wc.lpszClassName = name;
  if (!RegisterClassExA(&wc)) throw base::Exception(std::string("Fensterklasse ") + name + " kann nicht registriert werden");
}

// The text of item `index` of a list or combo box, read with its length and text messages
// (both boxes answer -1 for an index that does not exist).
std::string ItemText(HWND box, int index, UINT lengthMessage, UINT textMessage) {
  LRESULT length = SendMessageA(box, lengthMessage, static_cast<WPARAM>(index), 0);
  if (length < 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  LRESULT got = SendMessageA(box, textMessage, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(got < 0 ? 0 : static_cast<size_t>(got));
  return text;
}

}  // namespace

// ---- TFont ---------------------------------------------------------------------------------

TFont& TFont::operator=(const TFont& o) {
  if (this != &o) {
    name_ = o.name_;
    height_ = o.height_;
    bold_ = o.bold_;
    underline_ = o.underline_;
    color_ = o.color_;
    handle_.reset();
  }
  return *this;
}

HFONT TFont::Handle() const {
  if (!handle_) {
    handle_.reset(CreateFontA(height_, 0, 0, 0, bold_ ? FW_BOLD : FW_NORMAL, FALSE, underline_, FALSE,
                              DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH | FF_DONTCARE, name_.c_str()));
  }
  return static_cast<HFONT>(handle_.get());
}

// ---- TCanvas -------------------------------------------------------------------------------

TCanvas::~TCanvas() {
  if (originalFont_) SelectObject(dc_, originalFont_);
}

void TCanvas::SelectFont() {
  HGDIOBJ previous = SelectObject(dc_, font_.Handle());
  if (!originalFont_) originalFont_ = previous;
  SetTextColor(dc_, font_.Color());
}

void TCanvas::FillRect(const RECT& r) {
  if (brushStyle_ == BrushStyle::Clear) return;
  ScopedGdiObject brush(CreateSolidBrush(brushColor_));
  ::FillRect(dc_, &r, static_cast<HBRUSH>(brush.get()));
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
  SelectFont();
  if (brushStyle_ == BrushStyle::Clear) {
    SetBkMode(dc_, TRANSPARENT);
  } else {
    SetBkMode(dc_, OPAQUE);
    SetBkColor(dc_, brushColor_);
  }
  ::TextOutA(dc_, x, y, text.data(), static_cast<int>(text.size()));
}

int TCanvas::TextHeight(const std::string& text) {
  SelectFont();
  SIZE size{};
  GetTextExtentPoint32A(dc_, text.data(), static_cast<int>(text.size()), &size);
  return size.cy;
}

int TCanvas::TextWidth(const std::string& text) {
  SelectFont();
  SIZE size{};
  GetTextExtentPoint32A(dc_, text.data(), static_cast<int>(text.size()), &size);
  return size.cx;
}

void TCanvas::LineTo(int x, int y) {
  if (penStyle_ == PenStyle::Clear) {
    MoveToEx(dc_, x, y, nullptr);
    return;
  }
  ScopedGdiObject pen(CreatePen(PS_SOLID, 1, penColor_));
  ScopedSelectObject select(dc_, pen.get());
  ::LineTo(dc_, x, y);
}

void TCanvas::FrameRect(const RECT& r) {
  ScopedGdiObject brush(CreateSolidBrush(brushColor_));
  ::FrameRect(dc_, &r, static_cast<HBRUSH>(brush.get()));
}

void TCanvas::CopyRect(int x, int y, int w, int h, HDC source, int sx, int sy, DWORD rop) {
  ::BitBlt(dc_, x, y, w, h, source, sx, sy, rop);
}

void TCanvas::DrawIcon(int x, int y, HICON icon) { DrawIconEx(dc_, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL); }

// ---- TBitmap -------------------------------------------------------------------------------

std::shared_ptr<TBitmap> TBitmap::FromResource(HINSTANCE module, const char* name) {
  HBITMAP h = static_cast<HBITMAP>(LoadImageA(module, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (!h) {
    std::string label = IS_INTRESOURCE(name) ? base::IntToStr(reinterpret_cast<uintptr_t>(name)) : std::string(name);
    throw base::Exception("Ressource " + label + " wurde nicht gefunden");
  }
  auto bmp = std::make_shared<TBitmap>();
  bmp->handle_.reset(h);
  BITMAP info{};
  GetObjectA(h, sizeof info, &info);
  bmp->width_ = info.bmWidth;
  bmp->height_ = info.bmHeight;
  return bmp;
}

std::shared_ptr<TBitmap> TBitmap::Create(int width, int height) {
  auto bmp = std::make_shared<TBitmap>();
  ScopedGetDc screen(nullptr);
  bmp->handle_.reset(CreateCompatibleBitmap(screen.get(), width, height));
  bmp->width_ = width;
  bmp->height_ = height;
  return bmp;
}

std::shared_ptr<TBitmap> TBitmap::Copy() const {
  auto copy = Create(width_, height_);
  ScopedMemoryDc src(CreateCompatibleDC(nullptr)), dst(CreateCompatibleDC(nullptr));
  ScopedSelectObject s1(src.get(), handle_.get()), s2(dst.get(), copy->handle_.get());
  BitBlt(dst.get(), 0, 0, width_, height_, src.get(), 0, 0, SRCCOPY);
  return copy;
}

std::shared_ptr<TBitmap> TBitmap::MonochromeMask(COLORREF transparent) const {
  auto mask = std::make_shared<TBitmap>();
  mask->handle_.reset(CreateBitmap(width_, height_, 1, 1, nullptr));
  mask->width_ = width_;
  mask->height_ = height_;
  ScopedMemoryDc src(CreateCompatibleDC(nullptr)), dst(CreateCompatibleDC(nullptr));
  ScopedSelectObject s1(src.get(), handle_.get()), s2(dst.get(), mask->handle_.get());
  // Colour to monochrome: pixels of the source's background colour become 1 (white).
  SetBkColor(src.get(), transparent);
  BitBlt(dst.get(), 0, 0, width_, height_, src.get(), 0, 0, SRCCOPY);
  return mask;
}

// ---- TControl ------------------------------------------------------------------------------

TControl::TControl(TComponent* owner, TControl* parent)
    : TComponent(owner), parent_(parent), color_(GetSysColor(COLOR_BTNFACE)) {
  if (parent_) {
    font_ = parent_->font_;
    color_ = parent_->color_;
  }
}

TControl::~TControl() {
  if (handle_) {
    for (auto& s : subclasses_) {
      SetWindowLongPtrA(s.hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(s.previous));
      SetWindowLongPtrA(s.hwnd, GWLP_USERDATA, 0);
    }
    SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
    DestroyWindow(handle_);
  }
}

void TControl::CreateHandle(const char* className, DWORD style, DWORD exStyle, const std::string& text,
                            const TBounds& b, bool ownClass) {
  ownClass_ = ownClass;
  if (ownClass) RegisterOwnClass(className);
  HWND parentWindow = parent_ ? parent_->handle_ : nullptr;
  if (parentWindow) style |= WS_CHILD;
  HWND h = CreateWindowExA(exStyle, className, text.c_str(), style, b.left, b.top, b.width, b.height,
                           parentWindow, nullptr, Instance(), ownClass ? this : nullptr);
  if (!h) throw base::Exception(std::string("Fenster der Klasse ") + className + " kann nicht erstellt werden");
  if (!ownClass) SubclassChild(h);
  handle_ = h;
  SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), FALSE);
}

void TControl::SubclassChild(HWND child) {
  SetWindowLongPtrA(child, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  auto previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc)));
  subclasses_.push_back({child, previous});
}

TControl* TControl::FromHandle(HWND hwnd) {
  if (!hwnd) return nullptr;
  if (GetWindowLongPtrA(hwnd, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(ControlProc)) return nullptr;
  return reinterpret_cast<TControl*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

LRESULT TControl::DefaultProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  for (auto& s : subclasses_)
    if (s.hwnd == hwnd) return CallWindowProcA(s.previous, hwnd, msg, wp, lp);
  return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    if (auto* self = static_cast<TControl*>(cs->lpCreateParams)) {
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      self->handle_ = hwnd;
    }
  }
  auto* self = reinterpret_cast<TControl*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    LRESULT r = self->DefaultProc(hwnd, msg, wp, lp);
    if (hwnd == self->handle_) self->handle_ = nullptr;
    return r;
  }
  try {
    return self->WndProc(hwnd, msg, wp, lp);
  } catch (const std::exception& e) {
    if (Application) Application->HandleException(e);
  } catch (...) {
    if (Application) Application->HandleException();
  }
  return 0;
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
      if (hwnd == handle_ && OnEnter) OnEnter(this);
      break;
    case WM_KILLFOCUS:
      if (hwnd == handle_ && OnExit) OnExit(this);
      break;
    case WM_ERASEBKGND:
      if (ownClass_) return 1;  // Paint covers everything
      break;
    case WM_PAINT:
      if (ownClass_) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        {
          TCanvas canvas(dc);
          canvas.Font() = font_;
          Paint(canvas);
        }
        EndPaint(hwnd, &ps);
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
  if (form && form != this && form->keyPreview && form->OnKeyPress) {
    form->OnKeyPress(form, key);
    if (key == 0) return true;
  }
  if (OnKeyPress) {
    OnKeyPress(this, key);
    if (key == 0) return true;
  }
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

TForm* TControl::ParentForm() {
  TControl* c = this;
  while (c->parent_) c = c->parent_;
  return dynamic_cast<TForm*>(c);
}

void TControl::SetParent(TControl* parent) {
  parent_ = parent;
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

void TControl::SetLeft(int left) { SetWindowPos(handle_, nullptr, left, Top(), 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE); }
void TControl::SetTop(int top) { SetWindowPos(handle_, nullptr, Left(), top, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE); }

std::string TControl::Text() const {
  if (!handle_) return std::string();
  int length = GetWindowTextLengthA(handle_);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  int got = GetWindowTextA(handle_, &text[0], length + 1);
  text.resize(static_cast<size_t>(std::max(got, 0)));
  return text;
}

void TControl::SetText(const std::string& text) { SetWindowTextA(handle_, text.c_str()); }

void TControl::SetVisible(bool visible) {
  if (Visible() != visible) ShowWindow(handle_, visible ? SW_SHOWNA : SW_HIDE);
}

void TControl::SetEnabled(bool enabled) { EnableWindow(handle_, enabled); }
void TControl::SetFocus() { ::SetFocus(handle_); }

bool TControl::Focused() const {
  HWND focus = GetFocus();
  return focus && (focus == handle_ || IsChild(handle_, focus));
}

void TControl::Invalidate() { InvalidateRect(handle_, nullptr, TRUE); }

void TControl::Repaint() {
  RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void TControl::FontChanged() {
  if (parent_) parentFont_ = false;
  ApplyFont();
}

void TControl::ApplyFont() {
  if (!handle_) return;
  SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), TRUE);
  if (auto* label = dynamic_cast<TLabel*>(this)) label->AdjustSize();
  Invalidate();
  // The children are owned by this control's form (or by the form's owner, for pages).
  std::set<TComponent*> owners{Owner()};
  if (TForm* form = ParentForm()) owners.insert(form);
  owners.insert(this);
  for (TComponent* owner : owners) {
    if (!owner) continue;
    for (int i = 0; i < owner->ComponentCount(); ++i) {
      auto* child = dynamic_cast<TControl*>(owner->Component(i));
      if (child && child != this && child->parent_ == this && child->parentFont_) {
        child->font_ = font_;
        child->ApplyFont();
      }
    }
  }
}

void TControl::SetColor(COLORREF color) {
  color_ = color;
  Invalidate();
}

// ---- TButton -------------------------------------------------------------------------------

TButton::TButton(TComponent* owner, TControl* parent, const std::string& caption, const TBounds& b,
                 bool isDefault, bool isCancel)
    : TControl(owner, parent), default_(isDefault), cancel_(isCancel) {
  CreateHandle("BUTTON", WS_VISIBLE | WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0, caption, b, false);
}

LRESULT TButton::Notify(WORD code) {
  if (code == BN_CLICKED) DoClick();
  return 0;
}

// ---- TLabel --------------------------------------------------------------------------------

TLabel::TLabel(TComponent* owner, TControl* parent, const std::string& caption, const TBounds& b, bool wordWrap)
    : TControl(owner, parent), autoSize_(b.width == 0 || b.height == 0), wordWrap_(wordWrap) {
  CreateHandle("STATIC", WS_VISIBLE | (wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP), 0, caption, b, false);
  AdjustSize();
}

void TLabel::SetRightJustified(int rightEdge) {
  rightEdge_ = rightEdge;
  LONG_PTR style = GetWindowLongPtrA(handle_, GWL_STYLE);
  style = (style & ~static_cast<LONG_PTR>(SS_TYPEMASK)) | SS_RIGHT;
  SetWindowLongPtrA(handle_, GWL_STYLE, style);
  AdjustSize();
  Invalidate();
}

LRESULT TLabel::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_NCHITTEST:
      if (TakesMouse()) return HTCLIENT;
      break;
    case WM_SETCURSOR:
      if (cursor && LOWORD(lp) == HTCLIENT) {
        ::SetCursor(cursor);
        return TRUE;
      }
      break;
    case WM_MOUSEMOVE:
      if (!hovering_) {
        hovering_ = true;
        TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, hwnd, 0};
        TrackMouseEvent(&tme);
        if (OnMouseEnter) OnMouseEnter(this);
      }
      return 0;
    case WM_MOUSELEAVE:
      hovering_ = false;
      if (OnMouseLeave) OnMouseLeave(this);
      return 0;
    case WM_LBUTTONDOWN:
      pressed_ = true;
      SetCapture(hwnd);
      if (OnMouseDown) OnMouseDown(this);
      return 0;
    case WM_LBUTTONUP: {
      bool wasPressed = pressed_;
      pressed_ = false;
      if (GetCapture() == hwnd) ReleaseCapture();
      RECT r;
      GetClientRect(hwnd, &r);
      POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      if (wasPressed && PtInRect(&r, p)) DoClick();
      if (OnMouseUp) OnMouseUp(this);
      return 0;
    }
    default:
      break;
  }
  return TControl::WndProc(hwnd, msg, wp, lp);
}

void TLabel::SetCaption(const std::string& caption) {
  SetText(caption);
  AdjustSize();
  Invalidate();
}

void TLabel::AdjustSize() {
  if (!autoSize_ || !handle_) return;
  ScopedGetDc dc(handle_);
  ScopedSelectObject font(dc.get(), font_.Handle());
  std::string text = Text();
  RECT r{0, 0, wordWrap_ ? Width() : 0, 0};
  DrawTextA(dc.get(), text.empty() ? " " : text.c_str(), -1, &r,
            DT_CALCRECT | DT_NOPREFIX | (wordWrap_ ? DT_WORDBREAK : DT_SINGLELINE));
  int width = r.right - r.left, height = r.bottom - r.top;
  if (rightEdge_ >= 0) {
    SetWindowPos(handle_, nullptr, rightEdge_ - width, Top(), width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    SetWindowPos(handle_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

// ---- TPaintBox -----------------------------------------------------------------------------

TPaintBox::TPaintBox(TComponent* owner, TControl* parent, const TBounds& b) : TControl(owner, parent) {
  CreateHandle("TPaintBox", WS_VISIBLE, 0, "", b, true);
}

void TPaintBox::Paint(TCanvas& canvas) {
  canvas.SetBrushColor(color_);
  if (!OnPaint) {
    TControl::Paint(canvas);
    return;
  }
  canvas_ = &canvas;
  struct Reset {
    TCanvas*& c;
    ~Reset() { c = nullptr; }
  } reset{canvas_};
  OnPaint(this);
}

void TPaintBox::PaintTo(HDC dc) {
  TCanvas canvas(dc);
  canvas.Font() = font_;
  Paint(canvas);
}

// ---- TImage --------------------------------------------------------------------------------

TImage::TImage(TComponent* owner, TControl* parent, const TBounds& b) : TControl(owner, parent) {
  CreateHandle("TImage", WS_VISIBLE, 0, "", b, true);
}

void TImage::SetPicture(std::shared_ptr<TBitmap> bitmap) {
  picture_ = std::move(bitmap);
  if (autoSize && picture_)
    SetWindowPos(handle_, nullptr, 0, 0, picture_->Width(), picture_->Height(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Invalidate();
}

void TImage::SetIcon(HICON icon) {
  icon_ = icon;
  Invalidate();
}

LRESULT TImage::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_SETCURSOR && cursor && LOWORD(lp) == HTCLIENT) {
    ::SetCursor(cursor);
    return TRUE;
  }
  if (msg == WM_LBUTTONUP) {
    DoClick();
    return 0;
  }
  return TControl::WndProc(hwnd, msg, wp, lp);
}

void TImage::Paint(TCanvas& canvas) {
  RECT r;
  GetClientRect(handle_, &r);
  canvas.SetBrushColor(parent_ ? parent_->Color() : color_);
  canvas.FillRect(r);
  if (icon_) DrawIconEx(canvas.Handle(), 0, 0, icon_, 0, 0, 0, nullptr, DI_NORMAL);
  if (!picture_) return;
  ScopedMemoryDc mem(CreateCompatibleDC(canvas.Handle()));
  ScopedSelectObject select(mem.get(), picture_->Handle());
  if (transparent) {
    COLORREF key = GetPixel(mem.get(), 0, picture_->Height() - 1);
    TransparentBlt(canvas.Handle(), 0, 0, picture_->Width(), picture_->Height(), mem.get(), 0, 0,
                   picture_->Width(), picture_->Height(), key);
  } else {
    BitBlt(canvas.Handle(), 0, 0, picture_->Width(), picture_->Height(), mem.get(), 0, 0, SRCCOPY);
  }
}

// ---- TBevel --------------------------------------------------------------------------------

TBevel::TBevel(TComponent* owner, TControl* parent, const TBounds& b, Shape shape) : TControl(owner, parent), shape_(shape) {
  TBounds bounds = b;
  if (shape == Shape::TopLine && bounds.height == 0) bounds.height = 2;
  if (shape == Shape::LeftLine && bounds.width == 0) bounds.width = 2;
  CreateHandle("TBevel", WS_VISIBLE, 0, "", bounds, true);
}

void TBevel::Paint(TCanvas& canvas) {
  TControl::Paint(canvas);
  RECT r;
  GetClientRect(handle_, &r);
  canvas.SetPenColor(GetSysColor(COLOR_BTNSHADOW));
  if (shape_ == Shape::TopLine) {
    canvas.MoveTo(0, 0);
    canvas.LineTo(r.right, 0);
    canvas.SetPenColor(GetSysColor(COLOR_BTNHIGHLIGHT));
    canvas.MoveTo(0, 1);
    canvas.LineTo(r.right, 1);
  } else {
    canvas.MoveTo(0, 0);
    canvas.LineTo(0, r.bottom);
    canvas.SetPenColor(GetSysColor(COLOR_BTNHIGHLIGHT));
    canvas.MoveTo(1, 0);
    canvas.LineTo(1, r.bottom);
  }
}

// ---- TPanel, TPageControl ------------------------------------------------------------------

TPanel::TPanel(TComponent* owner, TControl* parent, const TBounds& b, const char* className) : TControl(owner, parent) {
  CreateHandle(className, WS_VISIBLE | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT, "", b, true);
}

TPageControl::TPageControl(TComponent* owner, TControl* parent, const TBounds& b) : TControl(owner, parent) {
  CreateHandle("TPageControl", WS_VISIBLE | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, "", b, true);
}

TPanel* TPageControl::AddPage(const std::string& name) {
  RECT r;
  GetClientRect(handle_, &r);
  auto* page = new TPanel(Owner(), this, {0, 0, r.right, r.bottom}, "TPage");
  page->SetName(name);
  page->SetText(name);
  pages_.push_back(page);
  if (pageIndex_ < 0) {
    pageIndex_ = 0;
  } else {
    page->Hide();
  }
  return page;
}

void TPageControl::SetPageIndex(int index) {
  if (index < 0 || index >= PageCount() || index == pageIndex_) return;
  HWND focus = GetFocus();
  bool focusOnOldPage = pageIndex_ >= 0 && focus && IsChild(Page(pageIndex_)->Handle(), focus);
  Page(index)->Show();
  if (pageIndex_ >= 0) Page(pageIndex_)->Hide();
  pageIndex_ = index;
  if (focusOnOldPage) {
    TForm* form = ParentForm();
    if (form) ::SetFocus(GetNextDlgTabItem(form->Handle(), nullptr, FALSE));
  }
}

// ---- TListBox ------------------------------------------------------------------------------

TListBox::TListBox(TComponent* owner, TControl* parent, const TBounds& b, int itemHeight)
    : TControl(owner, parent), itemHeight_(itemHeight) {
  color_ = GetSysColor(COLOR_WINDOW);
  CreateHandle("LISTBOX",
               WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_CLIPCHILDREN | LBS_NOTIFY | LBS_OWNERDRAWFIXED |
                   LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT,
               WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT, "", b, false);
  SendMessageA(handle_, LB_SETITEMHEIGHT, 0, itemHeight);
}

int TListBox::Count() const { return static_cast<int>(SendMessageA(handle_, LB_GETCOUNT, 0, 0)); }

void TListBox::Add(const std::string& text) { SendMessageA(handle_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())); }

void TListBox::Clear() { SendMessageA(handle_, LB_RESETCONTENT, 0, 0); }

std::string TListBox::Item(int index) const { return ItemText(handle_, index, LB_GETTEXTLEN, LB_GETTEXT); }

int TListBox::ItemIndex() const { return static_cast<int>(SendMessageA(handle_, LB_GETCURSEL, 0, 0)); }

void TListBox::SetItemIndex(int index) { SendMessageA(handle_, LB_SETCURSEL, static_cast<WPARAM>(index), 0); }

RECT TListBox::ItemRect(int index) const {
  RECT r{};
  SendMessageA(handle_, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
  return r;
}

LRESULT TListBox::Notify(WORD code) {
  if (code == LBN_SELCHANGE) DoClick();
  return 0;
}

bool TListBox::DrawItem(const DRAWITEMSTRUCT& dis) {
  if (dis.itemID == static_cast<UINT>(-1)) return true;
  bool selected = (dis.itemState & ODS_SELECTED) != 0;
  TCanvas canvas(dis.hDC);
  canvas.Font() = font_;
  canvas.Font().SetColor(GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  canvas.SetBrushColor(selected ? GetSysColor(COLOR_HIGHLIGHT) : color_);
  int index = static_cast<int>(dis.itemID);
  canvas_ = &canvas;
  struct Reset {
    TCanvas*& c;
    ~Reset() { c = nullptr; }
  } reset{canvas_};
  if (OnDrawItem) {
    OnDrawItem(this, index, dis.rcItem, selected);
  } else {
    canvas.FillRect(dis.rcItem);
    canvas.TextOut(dis.rcItem.left + 2, dis.rcItem.top, Item(index));
  }
  return true;
}

// ---- TComboBox -----------------------------------------------------------------------------

TComboBox::TComboBox(TComponent* owner, TControl* parent, const TBounds& b, int dropDownCount,
                     const std::vector<std::string>& items)
    : TControl(owner, parent) {
  color_ = GetSysColor(COLOR_WINDOW);
  TBounds dropped = b;
  dropped.height = b.height + dropDownCount * 16;
  CreateHandle("COMBOBOX", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 0, "", dropped, false);
  for (const auto& item : items) SendMessageA(handle_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  SendMessageA(handle_, CB_SETMINVISIBLE, static_cast<WPARAM>(dropDownCount), 0);
  COMBOBOXINFO info{sizeof info};
  if (GetComboBoxInfo(handle_, &info) && info.hwndItem) {
    edit_ = info.hwndItem;
    SubclassChild(edit_);
  }
}

void TComboBox::AddItem(const std::string& text) {
  SendMessageA(handle_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

int TComboBox::Count() const { return static_cast<int>(SendMessageA(handle_, CB_GETCOUNT, 0, 0)); }

std::string TComboBox::Item(int index) const { return ItemText(handle_, index, CB_GETLBTEXTLEN, CB_GETLBTEXT); }

LRESULT TComboBox::Notify(WORD code) {
  if (code == CBN_KILLFOCUS && OnExit) OnExit(this);
  if (code == CBN_SETFOCUS && OnEnter) OnEnter(this);
  if (code == CBN_SELENDOK) {
    // The edit field takes the chosen item's text only after this notification; put it there
    // now so that leaving the field commits what the user picked.
    int index = static_cast<int>(SendMessageA(handle_, CB_GETCURSEL, 0, 0));
    if (index >= 0) SetText(Item(index));
  }
  return 0;
}

LRESULT TComboBox::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  // Focus changes are reported once, through the combo box's own notifications.
  if (msg == WM_SETFOCUS || msg == WM_KILLFOCUS) return DefaultProc(hwnd, msg, wp, lp);
  return TControl::WndProc(hwnd, msg, wp, lp);
}

// ---- TSpinEdit -----------------------------------------------------------------------------

TSpinEdit::TSpinEdit(TComponent* owner, TControl* parent, const TBounds& b, int minValue, int maxValue, int value)
    : TControl(owner, parent), min_(minValue), max_(maxValue) {
  color_ = GetSysColor(COLOR_WINDOW);
  CreateHandle("EDIT", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, base::IntToStr(Clamp(value)), b, false);
  updown_ = CreateWindowExA(0, UPDOWN_CLASSA, "",
                            WS_CHILD | WS_VISIBLE | UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_NOTHOUSANDS | UDS_ARROWKEYS,
                            0, 0, 0, 0, parent ? parent->Handle() : nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (updown_) {
    SendMessageA(updown_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(handle_), 0);
    SendMessageA(updown_, UDM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
    SendMessageA(updown_, UDM_SETPOS32, 0, Clamp(value));
  }
}

void TSpinEdit::SetRange(int minValue, int maxValue) {
  min_ = minValue;
  max_ = maxValue;
  if (updown_) SendMessageA(updown_, UDM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
}

int TSpinEdit::Clamp(long long v) const { return static_cast<int>(std::min<long long>(std::max<long long>(v, min_), max_)); }

int TSpinEdit::Value() const {
  auto parsed = base::TryStrToInt(Text());
  return Clamp(parsed ? *parsed : 0);
}

void TSpinEdit::SetValue(int value) {
  SetText(base::IntToStr(Clamp(value)));
  if (updown_) SendMessageA(updown_, UDM_SETPOS32, 0, Clamp(value));
}

LRESULT TSpinEdit::Notify(WORD code) {
  if (code == EN_KILLFOCUS) {
    int clamped = Clamp(Value());
    if (Text() != base::IntToStr(clamped)) SetValue(clamped);
    if (OnExit) OnExit(this);
  }
  return 0;
}

// ---- TForm ---------------------------------------------------------------------------------

TForm::TForm(TComponent* owner, const char* className, const std::string& caption, int clientWidth,
             int clientHeight, DWORD style)
    : TControl(owner, nullptr) {
  RECT r{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&r, style, FALSE, WS_EX_CONTROLPARENT);
  CreateHandle(className, style | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, caption,
               {CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left, r.bottom - r.top}, true);
  CenterOnScreen();
}

TForm::~TForm() { BeforeDestruction(); }

void TForm::BeforeDestruction() {
  if (destroyed_) return;
  destroyed_ = true;
  if (OnDestroy) OnDestroy(this);
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
  if (first && OnShow) OnShow(this);
  ShowWindow(handle_, SW_SHOWNORMAL);
  SetForegroundWindow(handle_);
  if (first && initialFocus && initialFocus->Handle()) {
    ::SetFocus(initialFocus->Handle());
  } else if (first) {
    HWND focus = GetFocus();
    if (!focus || !IsChild(handle_, focus)) ::SetFocus(GetNextDlgTabItem(handle_, nullptr, FALSE));
  }
}

namespace {
BOOL CALLBACK CollectEnabledWindow(HWND w, LPARAM p) {
  auto* list = reinterpret_cast<std::vector<HWND>*>(p);
  if (IsWindowVisible(w) && IsWindowEnabled(w)) list->push_back(w);
  return TRUE;
}
}  // namespace

int TForm::ShowModal() {
  HWND previousFocus = GetFocus();
  std::vector<HWND> disabled;
  EnumThreadWindows(GetCurrentThreadId(), CollectEnabledWindow, reinterpret_cast<LPARAM>(&disabled));
  disabled.erase(std::remove(disabled.begin(), disabled.end(), handle_), disabled.end());
  for (HWND w : disabled) EnableWindow(w, FALSE);
  modal_ = true;
  modalResult = mrNone;
  shownOnce_ = false;
  ShowForm();
  while (modalResult == mrNone && !Application->Terminated() && IsWindowVisible(handle_)) {
    Application->WaitForMessage(INFINITE);
    Application->ProcessMessages();
  }
  int result = modalResult == mrNone ? mrCancel : modalResult;
  for (HWND w : disabled)
    if (IsWindow(w)) EnableWindow(w, TRUE);
  ShowWindow(handle_, SW_HIDE);
  modal_ = false;
  // The window that had the focus before gets it back (the main window's button, say).
  if (previousFocus && IsWindow(previousFocus) && IsWindowVisible(previousFocus) && IsWindowEnabled(previousFocus))
    ::SetFocus(previousFocus);
  return result;
}

void TForm::Close() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  if (!canClose) return;
  if (OnClose) OnClose(this);
  if (modal_) {
    modalResult = mrCancel;
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
TButton* FindButton(const TForm& form, bool wantDefault) {
  for (int i = 0; i < form.ComponentCount(); ++i) {
    auto* b = dynamic_cast<TButton*>(form.Component(i));
    if (b && (wantDefault ? b->Default() : b->Cancel()) && IsWindowVisible(b->Handle()) && b->Enabled()) return b;
  }
  return nullptr;
}
}  // namespace

TButton* TForm::DefaultButton() const { return FindButton(*this, true); }
TButton* TForm::CancelButton() const { return FindButton(*this, false); }

LRESULT TForm::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CLOSE:
      Close();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE) {
        HWND focus = GetFocus();
        if (!focus || !IsChild(handle_, focus)) ::SetFocus(GetNextDlgTabItem(handle_, nullptr, FALSE));
      }
      return 0;
    default:
      return TControl::WndProc(hwnd, msg, wp, lp);
  }
}

// ---- Form descriptions ---------------------------------------------------------------------

void BuildControls(TForm& form, const std::vector<ControlSpec>& layout) {
  for (const ControlSpec& s : layout) {
    TControl* parent = &form;
    if (s.parent && *s.parent) {
      parent = dynamic_cast<TControl*>(form.FindComponent(s.parent));
      if (!parent) throw base::Exception(std::string("Steuerelement ") + s.parent + " nicht gefunden");
    }
    const char* caption = s.caption ? s.caption : "";
    TControl* made = nullptr;
    switch (s.kind) {
      case Kind::Button: made = new TButton(&form, parent, caption, s.bounds); break;
      case Kind::DefaultButton: made = new TButton(&form, parent, caption, s.bounds, true, false); break;
      case Kind::CancelButton: made = new TButton(&form, parent, caption, s.bounds, false, true); break;
      case Kind::Label: made = new TLabel(&form, parent, caption, s.bounds, false); break;
      case Kind::WrapLabel: made = new TLabel(&form, parent, caption, s.bounds, true); break;
      case Kind::Image: made = new TImage(&form, parent, s.bounds); break;
      case Kind::HLine: made = new TBevel(&form, parent, s.bounds, TBevel::Shape::TopLine); break;
      case Kind::VLine: made = new TBevel(&form, parent, s.bounds, TBevel::Shape::LeftLine); break;
      case Kind::PageControl: made = new TPageControl(&form, parent, s.bounds); break;
      case Kind::Page: {
        auto* pages = dynamic_cast<TPageControl*>(parent);
        if (!pages) throw base::Exception(std::string("Seite ") + s.name + " ohne Seitencontainer");
        made = pages->AddPage(s.name);
        break;
      }
      case Kind::ListBox: made = new TListBox(&form, parent, s.bounds, s.extra); break;
      case Kind::ComboBox: made = new TComboBox(&form, parent, s.bounds, s.extra, {}); break;
      case Kind::SpinEdit: made = new TSpinEdit(&form, parent, s.bounds, 0, 0, 0); break;
      case Kind::Panel: made = new TPanel(&form, parent, s.bounds); break;
      case Kind::PaintBox: made = new TPaintBox(&form, parent, s.bounds); break;
    }
    if (s.kind != Kind::Page) made->SetName(s.name);
    if (s.hidden) made->Hide();
    if (s.disabled) made->SetEnabled(false);
    if (s.bind) s.bind(made);
  }
}

}  // namespace toolkit
