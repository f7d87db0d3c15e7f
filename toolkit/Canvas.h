// Fonts, the canvas that draws on a device context, and bitmaps: the toolkit's GDI half.
// Every GDI object lives in an owner (Handles.h) and is deleted only after it has been taken
// out of every device context it was selected into.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "toolkit/Handles.h"

namespace toolkit {

// A colour that names a system colour (COLOR_WINDOWTEXT, ...) instead of fixing one; it is
// looked up at each use, so it follows the colour scheme. Plain RGB values stay what they are.
constexpr COLORREF SystemColor(int index) { return 0xFF000000u | static_cast<COLORREF>(index); }
// The RGB value of a colour (a system colour looked up now).
COLORREF ResolveColor(COLORREF color);

// A GDI object kept alive by everybody who uses it: the font's owner, every canvas and every
// window it is selected into. Deleted when the last one lets go.
using SharedGdiObject = std::shared_ptr<ScopedGdiObject>;

// A font description with its GDI font made on demand. Height is in pixels, negative for the
// character height as the font mapper takes it (8 point at 96 DPI is -11). Copies share the
// GDI font until one of them changes; a change never deletes a font that is still selected
// somewhere (the canvas or window holding it keeps it alive). The colour is the text colour and
// defaults to the system's window-text colour.
class TFont {
 public:
  TFont() = default;
  TFont(std::string name, int height, bool bold = false) : name_(std::move(name)), height_(height), bold_(bold) {}

  const std::string& Name() const { return name_; }
  int Height() const { return height_; }
  // The size in points at 96 DPI, rounded (a height of -11 is 8 points, -12 is 9).
  int Size() const { return MulDiv(height_ < 0 ? -height_ : height_, 72, 96); }
  bool Bold() const { return bold_; }
  bool Italic() const { return italic_; }
  bool Underline() const { return underline_; }
  // The text colour as RGB (a system colour looked up now).
  COLORREF Color() const { return ResolveColor(color_); }

  void SetName(const std::string& name) { Change(name_, name); }
  void SetHeight(int height) { Change(height_, height); }
  void SetSize(int points) { SetHeight(-MulDiv(points, 96, 72)); }
  void SetBold(bool bold) { Change(bold_, bold); }
  void SetItalic(bool italic) { Change(italic_, italic); }
  void SetUnderline(bool underline) { Change(underline_, underline); }
  void SetColor(COLORREF color) { color_ = color; }  // the GDI font does not depend on it

  // The GDI font, made on first use. The handle stays valid while this font is unchanged;
  // whoever selects it somewhere for longer holds SharedHandle() instead.
  HFONT Handle() const { return static_cast<HFONT>(SharedHandle()->get()); }
  // Throws base::Exception when the system cannot make the font.
  const SharedGdiObject& SharedHandle() const;

 private:
  template <typename T>
  void Change(T& field, const T& value) {
    if (field == value) return;
    field = value;
    handle_.reset();  // ours only: who selected the old font still holds it
  }
  std::string name_ = "MS Sans Serif";
  int height_ = -11;
  bool bold_ = false, italic_ = false, underline_ = false;
  COLORREF color_ = SystemColor(COLOR_WINDOWTEXT);
  mutable SharedGdiObject handle_;
};

// Drawing on a device context that the caller keeps (borrowed). Pen, brush and font are
// applied at each drawing call; the font selected last stays alive until the canvas ends, and
// the DC's own font is back when it does.
class TCanvas {
 public:
  enum class BrushStyle { Solid, Clear };
  enum class PenStyle { Solid, Clear };
  explicit TCanvas(HDC dc) : dc_(dc) {}
  ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  HDC Handle() const { return dc_; }
  TFont& Font() { return font_; }
  void SetBrushColor(COLORREF c) { brushColor_ = c; }
  void SetBrushStyle(BrushStyle s) { brushStyle_ = s; }
  void SetPenStyle(PenStyle s) { penStyle_ = s; }
  void SetPenColor(COLORREF c) { penColor_ = c; }

  void FillRect(const RECT& r);
  void TextOut(int x, int y, const std::string& text);
  // Text inside `r` with DrawText's DT_* format (DT_CENTER | DT_VCENTER | DT_SINGLELINE, ...).
  void TextRect(const RECT& r, const std::string& text, UINT format);
  int TextHeight(const std::string& text);
  int TextWidth(const std::string& text);
  void MoveTo(int x, int y) { MoveToEx(dc_, x, y, nullptr); }
  void LineTo(int x, int y);
  // A one-pixel frame in the brush colour; right and bottom edges exclusive.
  void FrameRect(const RECT& r);
  // Copies w x h pixels of `source` at (sx, sy) to (x, y) with the raster operation `rop`
  // (SRCCOPY, SRCPAINT, SRCAND, ...).
  void CopyRect(int x, int y, int w, int h, HDC source, int sx, int sy, DWORD rop);
  // Draws the icon at (x, y) in its own size.
  void DrawIcon(int x, int y, HICON icon);

 private:
  void SelectFont();
  void SetBackground();
  HDC dc_;
  TFont font_;
  COLORREF brushColor_ = RGB(255, 255, 255);
  BrushStyle brushStyle_ = BrushStyle::Solid;
  PenStyle penStyle_ = PenStyle::Solid;
  COLORREF penColor_ = RGB(0, 0, 0);
  HGDIOBJ originalFont_ = nullptr;
  SharedGdiObject selectedFont_;  // released only after the DC's own font is back
};

// A bitmap that can be loaded from the module's resources, made compatible with the screen,
// or copied. Every way of making one throws base::Exception when the system refuses it.
class TBitmap {
 public:
  TBitmap() = default;
  // Loads the bitmap resource `name` (a name, or MAKEINTRESOURCE id) of `module`.
  static std::shared_ptr<TBitmap> FromResource(HINSTANCE module, const char* name);
  // A new bitmap of the given size compatible with the screen.
  static std::shared_ptr<TBitmap> Create(int width, int height);
  std::shared_ptr<TBitmap> Copy() const;
  // A monochrome mask of this bitmap: pixels of the colour `transparent` become white, all
  // others black.
  std::shared_ptr<TBitmap> MonochromeMask(COLORREF transparent) const;
  HBITMAP Handle() const { return static_cast<HBITMAP>(handle_.get()); }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  ScopedGdiObject handle_;
  int width_ = 0, height_ = 0;
};

// A memory DC compatible with `like` with a bitmap of w x h selected into it; what is drawn
// there goes to the target in one block. Throws base::Exception when the system refuses the DC
// or the bitmap.
class TOffscreen {
 public:
  TOffscreen(HDC like, int width, int height);
  TOffscreen(const TOffscreen&) = delete;
  TOffscreen& operator=(const TOffscreen&) = delete;
  HDC Dc() const { return dc_.get(); }
  // Copies the part `r` (in both DCs' coordinates) to `target`.
  void CopyTo(HDC target, const RECT& r) const;

 private:
  ScopedMemoryDc dc_;
  ScopedGdiObject bitmap_;
  std::optional<ScopedSelectObject> selection_;  // the bitmap out again before it is deleted
};

}  // namespace toolkit
