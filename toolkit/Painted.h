// Controls that we paint ourselves, in window classes of our own: paint boxes, images, bevels,
// panels and the page container with its pages.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "toolkit/Control.h"

namespace toolkit {

// A window that its OnPaint handler paints completely through Canvas(). Without a handler it
// shows its colour.
class TPaintBox : public TControl {
 public:
  TPaintBox(TComponent* owner, TControl* parent, const TBounds& bounds);
  // The canvas being painted, with the brush in the control's colour and the control's font;
  // valid inside OnPaint only (a nested paint has its own, and the outer one is back after it).
  TCanvas* Canvas() const { return canvas_; }
  // Runs the paint on another device context (a memory bitmap), as WM_PAINT would.
  void PaintTo(HDC dc);
  TNotifyEvent OnPaint;

 protected:
  void Paint(TCanvas& canvas) override;

 private:
  TCanvas* canvas_ = nullptr;
};

// A picture (or an icon) in a window of its own. A transparent picture lets the parent's colour
// show where the bitmap has the colour of its bottom-left pixel. A click is a press and a
// release of the left button, both inside the picture.
class TImage : public TControl {
 public:
  TImage(TComponent* owner, TControl* parent, const TBounds& bounds);
  void SetPicture(std::shared_ptr<TBitmap> bitmap);
  const std::shared_ptr<TBitmap>& Picture() const { return picture_; }
  void SetIcon(HICON icon);  // borrowed; the caller keeps it
  HICON Icon() const { return icon_; }
  // Sized to its picture whenever it gets one.
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);

 protected:
  LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;
  void Paint(TCanvas& canvas) override;

 private:
  std::shared_ptr<TBitmap> picture_;
  HICON icon_ = nullptr;
  bool autoSize_ = false, transparent_ = false;
};

// An etched line along the top (horizontal) or the left edge (vertical) of its rectangle.
class TBevel : public TControl {
 public:
  enum class Shape { TopLine, LeftLine };
  TBevel(TComponent* owner, TControl* parent, const TBounds& bounds, Shape shape);

 protected:
  void Paint(TCanvas& canvas) override;

 private:
  Shape shape_;
};

// A container window in its colour. A panel with a caption paints it centred (horizontally
// and vertically, one line) in its own font and the font's colour.
class TPanel : public TControl {
 public:
  TPanel(TComponent* owner, TControl* parent, const TBounds& bounds, const std::string& caption = "",
         const char* className = "TPanel");
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);

 protected:
  void Paint(TCanvas& canvas) override;

 private:
  std::string caption_;
};

// One page of a TPageControl: a plain container that fills the container's client area.
class TPage : public TPanel {
 public:
  TPage(TComponent* owner, TControl* parent, const std::string& pageName);
  // The page's name in its container; pages are not named components, so two containers may
  // have pages of the same name.
  const std::string& PageName() const { return pageName_; }

 private:
  std::string pageName_;
};

// A page container without tabs: one page is visible at a time, chosen by index or by name.
class TPageControl : public TControl {
 public:
  TPageControl(TComponent* owner, TControl* parent, const TBounds& bounds);
  // Adds a page (owned by this container's owner). The first page is the shown one.
  TPage* AddPage(const std::string& name);
  int PageCount() const { return static_cast<int>(pages_.size()); }
  TPage* Page(int index) const;  // null outside 0 .. PageCount() - 1
  // The index of the page of that name (exact comparison), or -1.
  int IndexOfPage(const std::string& name) const;
  int PageIndex() const { return pageIndex_; }
  const std::string& ActivePageName() const;
  // Shows the page; an index outside the pages changes nothing. When the focus was on the page
  // left, it moves to the first tab stop of the form.
  void SetPageIndex(int index);
  // Throws base::Exception "Seite %s nicht gefunden" for a name that no page has.
  void SetActivePage(const std::string& name);

 private:
  std::vector<TPage*> pages_;
  int pageIndex_ = -1;
};

}  // namespace toolkit
