// Fonts, canvas drawing, bitmaps and off-screen buffers.
#include "toolkit/Canvas.h"

#include "base/Exception.h"
#include "base/StrUtils.h"

namespace toolkit {

COLORREF ResolveColor(COLORREF color) {
  if ((color & 0xFF000000u) == 0xFF000000u) return GetSysColor(static_cast<int>(color & 0xFFu));
  return color;
}

// ---- TFont ---------------------------------------------------------------------------------

const SharedGdiObject& TFont::SharedHandle() const {
  if (!handle_) {
    HFONT font = CreateFontA(height_, 0, 0, 0, bold_ ? FW_BOLD : FW_NORMAL, italic_, underline_, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, name_.c_str());
    if (!font) throw base::Exception("Die Schrift " + name_ + " kann nicht erstellt werden");
    handle_ = std::make_shared<ScopedGdiObject>(font);
  }
  return handle_;
}

// ---- TCanvas -------------------------------------------------------------------------------

TCanvas::~TCanvas() {
  // The DC's own font goes back first; only then may the font we selected be deleted.
  if (originalFont_) SelectObject(dc_, originalFont_);
}

void TCanvas::SelectFont() {
  SharedGdiObject font = font_.SharedHandle();
  if (font != selectedFont_) {
    HGDIOBJ previous = SelectObject(dc_, font->get());
    if (!originalFont_) originalFont_ = previous;
    selectedFont_ = std::move(font);  // the one selected before is out of the DC now
  }
  SetTextColor(dc_, font_.Color());
}

void TCanvas::SetBackground() {
  if (brushStyle_ == BrushStyle::Clear) {
    SetBkMode(dc_, TRANSPARENT);
  } else {
    SetBkMode(dc_, OPAQUE);
    SetBkColor(dc_, brushColor_);
  }
}

void TCanvas::FillRect(const RECT& r) {
  if (brushStyle_ == BrushStyle::Clear) return;
  ScopedGdiObject brush(CreateSolidBrush(brushColor_));
  ::FillRect(dc_, &r, static_cast<HBRUSH>(brush.get()));
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
  SelectFont();
  SetBackground();
  ::TextOutA(dc_, x, y, text.data(), static_cast<int>(text.size()));
}

void TCanvas::TextRect(const RECT& r, const std::string& text, UINT format) {
  SelectFont();
  SetBackground();
  RECT box = r;
  DrawTextA(dc_, text.data(), static_cast<int>(text.size()), &box, format);
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
  ScopedSelectObject select(dc_, pen.get());  // deselected before the pen is deleted
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

namespace {

ScopedMemoryDc MemoryDc() {
  ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
  if (!dc) throw base::Exception("Kein Gerätekontext für die Bitmap verfügbar");
  return dc;
}

[[noreturn]] void BitmapFailed(int width, int height) {
  throw base::Exception("Die Bitmap " + base::IntToStr(width) + " x " + base::IntToStr(height) +
                        " kann nicht erstellt werden");
}

}  // namespace

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
  if (width > 0 && height > 0) bmp->handle_.reset(CreateCompatibleBitmap(screen.get(), width, height));
  if (!bmp->handle_) BitmapFailed(width, height);
  bmp->width_ = width;
  bmp->height_ = height;
  return bmp;
}

std::shared_ptr<TBitmap> TBitmap::Copy() const {
  auto copy = Create(width_, height_);
  ScopedMemoryDc src = MemoryDc(), dst = MemoryDc();
  ScopedSelectObject s1(src.get(), handle_.get()), s2(dst.get(), copy->handle_.get());
  BitBlt(dst.get(), 0, 0, width_, height_, src.get(), 0, 0, SRCCOPY);
  return copy;
}

std::shared_ptr<TBitmap> TBitmap::MonochromeMask(COLORREF transparent) const {
  auto mask = std::make_shared<TBitmap>();
  if (width_ > 0 && height_ > 0) mask->handle_.reset(CreateBitmap(width_, height_, 1, 1, nullptr));
  if (!mask->handle_) BitmapFailed(width_, height_);
  mask->width_ = width_;
  mask->height_ = height_;
  ScopedMemoryDc src = MemoryDc(), dst = MemoryDc();
  ScopedSelectObject s1(src.get(), handle_.get()), s2(dst.get(), mask->handle_.get());
  // Colour to monochrome: pixels of the source's background colour become 1 (white).
  SetBkColor(src.get(), transparent);
  BitBlt(dst.get(), 0, 0, width_, height_, src.get(), 0, 0, SRCCOPY);
  return mask;
}

// ---- TOffscreen ----------------------------------------------------------------------------

TOffscreen::TOffscreen(HDC like, int width, int height) {
  dc_.reset(CreateCompatibleDC(like));
  if (!dc_) throw base::Exception("Kein Gerätekontext für die Bitmap verfügbar");
  if (width > 0 && height > 0) bitmap_.reset(CreateCompatibleBitmap(like, width, height));
  if (!bitmap_) BitmapFailed(width, height);
  selection_.emplace(dc_.get(), bitmap_.get());
}

void TOffscreen::CopyTo(HDC target, const RECT& r) const {
  BitBlt(target, r.left, r.top, r.right - r.left, r.bottom - r.top, dc_.get(), r.left, r.top, SRCCOPY);
}

}  // namespace toolkit
