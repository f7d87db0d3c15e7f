// Our own painted controls: paint boxes, images, bevels, panels and page containers.
#include "toolkit/Painted.h"

#include <utility>

#include "base/StrUtils.h"
#include "toolkit/Form.h"

namespace toolkit {

// ---- TPaintBox -----------------------------------------------------------------------------

TPaintBox::TPaintBox(TComponent* owner, TControl* parent, const TBounds& b) : TControl(owner, parent) {
  CreateHandle("TPaintBox", WS_VISIBLE, 0, "", b, true);
}

void TPaintBox::Paint(TCanvas& canvas) {
  canvas.SetBrushColor(color_);
  if (!OnPaint || !Live()) {
    TControl::Paint(canvas);
    return;
  }
  ScopedValue painting(canvas_, &canvas);  // a nested paint finds the outer canvas back
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
  if (autoSize_ && picture_)
    SetWindowPos(handle_, nullptr, 0, 0, picture_->Width(), picture_->Height(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Invalidate();
}

void TImage::SetIcon(HICON icon) {
  icon_ = icon;
  Invalidate();
}

void TImage::SetAutoSize(bool on) {
  autoSize_ = on;
  if (on && picture_) SetPicture(picture_);
}

void TImage::SetTransparent(bool on) {
  transparent_ = on;
  Invalidate();
}

LRESULT TImage::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (TrackClick(hwnd, msg, lp)) return 0;
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
  if (!mem) return;
  ScopedSelectObject select(mem.get(), picture_->Handle());
  if (transparent_) {
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

// ---- TPanel, TPage -------------------------------------------------------------------------

TPanel::TPanel(TComponent* owner, TControl* parent, const TBounds& b, const std::string& caption, const char* className)
    : TControl(owner, parent), caption_(caption) {
  CreateHandle(className, WS_VISIBLE | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT, caption, b, true);
}

void TPanel::SetCaption(const std::string& caption) {
  caption_ = caption;
  SetText(caption);
  Invalidate();
}

void TPanel::Paint(TCanvas& canvas) {
  TControl::Paint(canvas);
  if (caption_.empty()) return;
  RECT r;
  GetClientRect(handle_, &r);
  canvas.SetBrushStyle(TCanvas::BrushStyle::Clear);
  canvas.TextRect(r, caption_, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

TPage::TPage(TComponent* owner, TControl* parent, const std::string& pageName)
    : TPanel(owner, parent, {0, 0, 0, 0}, "", "TPage"), pageName_(pageName) {
  RECT r{};
  if (parent && parent->Handle()) GetClientRect(parent->Handle(), &r);
  SetBounds(0, 0, r.right, r.bottom);
  SetText(pageName);  // the window text, so that other programs can tell the pages apart
}

// ---- TPageControl --------------------------------------------------------------------------

TPageControl::TPageControl(TComponent* owner, TControl* parent, const TBounds& b) : TControl(owner, parent) {
  CreateHandle("TPageControl", WS_VISIBLE | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, "", b, true);
}

TPage* TPageControl::AddPage(const std::string& name) {
  auto* page = new TPage(Owner(), this, name);
  pages_.push_back(page);
  if (pageIndex_ < 0) {
    pageIndex_ = 0;
  } else {
    page->Hide();
  }
  return page;
}

TPage* TPageControl::Page(int index) const {
  if (index < 0 || index >= PageCount()) return nullptr;
  return pages_[static_cast<size_t>(index)];
}

int TPageControl::IndexOfPage(const std::string& name) const {
  for (int i = 0; i < PageCount(); ++i)
    if (pages_[static_cast<size_t>(i)]->PageName() == name) return i;
  return -1;
}

const std::string& TPageControl::ActivePageName() const {
  static const std::string kNone;
  TPage* page = Page(pageIndex_);
  return page ? page->PageName() : kNone;
}

void TPageControl::SetPageIndex(int index) {
  if (index < 0 || index >= PageCount() || index == pageIndex_) return;
  HWND focus = GetFocus();
  TPage* old = Page(pageIndex_);
  bool focusOnOldPage = old && focus && IsChild(old->Handle(), focus);
  Page(index)->Show();
  if (old) old->Hide();
  pageIndex_ = index;
  if (focusOnOldPage) {
    TForm* form = ParentForm();
    if (form)
      if (TControl* first = form->NextTabStop(nullptr, false)) first->SetFocus();
  }
}

void TPageControl::SetActivePage(const std::string& name) {
  int index = IndexOfPage(name);
  if (index < 0) throw base::Exception(base::FormatS("Seite %s nicht gefunden", name));
  SetPageIndex(index);
}

}  // namespace toolkit
