// Windowed controls, forms and the canvas: the toolkit's visual half. Every control is a real
// window; the standard ones are subclassed, our own ones have registered classes named after
// the control kind. One window procedure serves all: `this` arrives through lpCreateParams (own
// classes) or is stored at subclassing, and is kept in GWLP_USERDATA. Notifications that a
// parent receives (WM_COMMAND, WM_DRAWITEM, WM_CTLCOLOR*, scroll) are handed back to the child
// control they came from. An exception leaving a handler goes to the application's general
// error handler; it never crosses the window procedure.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/Component.h"
#include "toolkit/Handles.h"

namespace toolkit {

class TControl;
class TForm;

// A control's place in its parent's client area, in pixels.
struct TBounds {
  int left = 0, top = 0, width = 0, height = 0;
};

using TNotifyEvent = std::function<void(TComponent* sender)>;
// The key is a character; setting it to 0 consumes it.
using TKeyPressEvent = std::function<void(TComponent* sender, char& key)>;

// A font description with its GDI font made on demand. Height is in pixels, negative for the
// character height as the font mapper takes it (8 point at 96 DPI is -11).
class TFont {
 public:
  TFont() = default;
  TFont(std::string name, int height, bool bold = false) : name_(std::move(name)), height_(height), bold_(bold) {}
  TFont(const TFont& o)
      : name_(o.name_), height_(o.height_), bold_(o.bold_), underline_(o.underline_), color_(o.color_) {}
  TFont& operator=(const TFont& o);

  const std::string& Name() const { return name_; }
  int Height() const { return height_; }
  bool Bold() const { return bold_; }
  bool Underline() const { return underline_; }
  // The size in points at 96 DPI, rounded (a height of -11 is 8 points, -12 is 9).
  int Size() const { return MulDiv(height_ < 0 ? -height_ : height_, 72, 96); }
  COLORREF Color() const { return color_; }
  void SetName(const std::string& name) { name_ = name; handle_.reset(); }
  void SetHeight(int height) { height_ = height; handle_.reset(); }
  void SetSize(int points) { SetHeight(-MulDiv(points, 96, 72)); }
  void SetBold(bool bold) { bold_ = bold; handle_.reset(); }
  void SetUnderline(bool underline) { underline_ = underline; handle_.reset(); }
  void SetColor(COLORREF color) { color_ = color; }
  HFONT Handle() const;

 private:
  std::string name_ = "MS Sans Serif";
  int height_ = -11;
  bool bold_ = false;
  bool underline_ = false;
  COLORREF color_ = RGB(0, 0, 0);
  mutable ScopedGdiObject handle_;
};

// Drawing on a device context that the caller keeps (borrowed). State changes are applied at
// each drawing call, and the DC's previous objects are back when the canvas goes.
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
  COLORREF BrushColor() const { return brushColor_; }
  void SetBrushColor(COLORREF c) { brushColor_ = c; }
  void SetBrushStyle(BrushStyle s) { brushStyle_ = s; }
  void SetPenStyle(PenStyle s) { penStyle_ = s; }
  void SetPenColor(COLORREF c) { penColor_ = c; }

  void FillRect(const RECT& r);
  void TextOut(int x, int y, const std::string& text);
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
  HDC dc_;
  TFont font_;
  COLORREF brushColor_ = RGB(255, 255, 255);
  BrushStyle brushStyle_ = BrushStyle::Solid;
  PenStyle penStyle_ = PenStyle::Solid;
  COLORREF penColor_ = RGB(0, 0, 0);
  HGDIOBJ originalFont_ = nullptr;
};

// A device-dependent bitmap that can be loaded from the module's resources or copied.
class TBitmap {
 public:
  TBitmap() = default;
  // Loads the bitmap resource `name` (a name, or MAKEINTRESOURCE id) of `module`; throws
  // base::Exception when it is missing.
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

// The base of every control. Geometry is in pixels relative to the parent's client area.
class TControl : public TComponent {
 public:
  TControl(TComponent* owner, TControl* parent);
  ~TControl() override;

  HWND Handle() const { return handle_; }
  TControl* Parent() const { return parent_; }
  // Moves the window under another parent control; the position stays in the new parent's
  // client coordinates.
  void SetParent(TControl* parent);
  // The form this control lies on (itself for a form).
  TForm* ParentForm();

  RECT BoundsRect() const;  // left, top, right, bottom in the parent's client area
  int Left() const { return BoundsRect().left; }
  int Top() const { return BoundsRect().top; }
  int Width() const;
  int Height() const;
  void SetBounds(int left, int top, int width, int height);
  void SetLeft(int left);
  void SetTop(int top);

  std::string Text() const;
  void SetText(const std::string& text);
  bool Visible() const { return handle_ && (GetWindowLongPtrA(handle_, GWL_STYLE) & WS_VISIBLE); }
  void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return handle_ && IsWindowEnabled(handle_); }
  void SetEnabled(bool enabled);
  void SetFocus();
  bool Focused() const;
  void Invalidate();
  void Repaint();  // invalidates and paints at once, with the windows inside

  TFont& Font() { return font_; }
  // Applies a changed font to the window and to every child whose font was taken from here.
  // From then on this control keeps its own font (a later change of the parent's font does not
  // reach it), except for a form, which has no parent.
  void FontChanged();
  // Whether the control follows the font of its parent (true until its own font is changed).
  bool ParentFont() const { return parentFont_; }
  COLORREF Color() const { return color_; }
  void SetColor(COLORREF color);

  TNotifyEvent OnClick;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyPressEvent OnKeyPress;

  // The control that owns the window `hwnd` (also a window inside a composite control), or null
  // for a window that is not ours.
  static TControl* FromHandle(HWND hwnd);

  // Called through the window procedure; public for the procedure only.
  virtual LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

 protected:
  // Makes the window. `className` is a standard class ("BUTTON") or one of ours (registered
  // on first use with the shared window procedure).
  void CreateHandle(const char* className, DWORD style, DWORD exStyle, const std::string& text,
                    const TBounds& bounds, bool ownClass);
  // Puts a window inside this control (the edit field of a combo box) under this control's
  // window procedure.
  void SubclassChild(HWND child);
  LRESULT DefaultProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  // Reflected notifications, overridden by the kinds that have them.
  virtual LRESULT Notify(WORD /*code*/) { return 0; }
  virtual bool DrawItem(const DRAWITEMSTRUCT&) { return false; }
  virtual HBRUSH CtlColor(HDC dc);
  virtual bool Scroll(WPARAM) { return false; }
  // Paint of our own window classes; the default fills with Color.
  virtual void Paint(TCanvas& canvas);
  // Runs key preview of the form, then OnKeyPress; the default button on Enter, the cancel
  // button on Esc. Returns true when the key was consumed.
  bool HandleChar(char& key);
  // Whether this control keeps Enter for itself (so the default button does not get it).
  virtual bool WantsReturn() const { return false; }

  void DoClick() {
    if (OnClick) OnClick(this);
  }
  HBRUSH ColorBrush();
  // Sends the font to the window and hands it on to the children that follow this control's
  // font.
  void ApplyFont();

  HWND handle_ = nullptr;
  TControl* parent_ = nullptr;
  TFont font_;
  bool parentFont_ = true;
  COLORREF color_;
  bool ownClass_ = false;

 private:
  friend LRESULT CALLBACK ControlProc(HWND, UINT, WPARAM, LPARAM);
  struct Subclass {
    HWND hwnd;
    WNDPROC previous;
  };
  std::vector<Subclass> subclasses_;
  ScopedGdiObject colorBrush_;
  COLORREF colorBrushColor_ = 0;
};

class TButton : public TControl {
 public:
  TButton(TComponent* owner, TControl* parent, const std::string& caption, const TBounds& bounds,
          bool isDefault = false, bool isCancel = false);
  bool Default() const { return default_; }
  bool Cancel() const { return cancel_; }
  void Click() { DoClick(); }

 protected:
  LRESULT Notify(WORD code) override;
  bool WantsReturn() const override { return false; }

 private:
  bool default_, cancel_;
};

class TLabel : public TControl {
 public:
  using TMouseEvent = TNotifyEvent;
  // A label with width or height 0 takes the size of its text (one line when not wrapping).
  TLabel(TComponent* owner, TControl* parent, const std::string& caption, const TBounds& bounds, bool wordWrap);
  void SetCaption(const std::string& caption);
  // Recomputes the size of an auto-sized label (after a font change).
  void AdjustSize();
  // Right-justified: the text is aligned right, and an auto-sized label keeps its right edge
  // at `rightEdge` (in the parent's client area) whenever its size changes.
  void SetRightJustified(int rightEdge);

  // Mouse events of the left button and of the pointer entering and leaving the label. A label
  // with any of them (or OnClick, or a cursor) takes the mouse instead of letting it through
  // to its parent; a click is a press and release inside it.
  TMouseEvent OnMouseEnter, OnMouseLeave, OnMouseDown, OnMouseUp;
  HCURSOR cursor = nullptr;

 protected:
  LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  bool TakesMouse() const { return OnClick || OnMouseEnter || OnMouseLeave || OnMouseDown || OnMouseUp || cursor; }
  bool autoSize_, wordWrap_;
  int rightEdge_ = -1;  // >= 0 when right-justified
  bool hovering_ = false, pressed_ = false;
};

// A window that its OnPaint handler paints completely through Canvas(). Without a handler it
// shows its colour.
class TPaintBox : public TControl {
 public:
  TPaintBox(TComponent* owner, TControl* parent, const TBounds& bounds);
  // The canvas being painted, with the brush in the control's colour and the control's font;
  // valid inside OnPaint only.
  TCanvas* Canvas() const { return canvas_; }
  // Runs the paint on another device context (a memory bitmap), as WM_PAINT would.
  void PaintTo(HDC dc);
  TNotifyEvent OnPaint;

 protected:
  void Paint(TCanvas& canvas) override;

 private:
  TCanvas* canvas_ = nullptr;
};

// A picture in a window of its own; a transparent picture lets the parent's colour show where
// the bitmap has the colour of its bottom-left pixel.
class TImage : public TControl {
 public:
  TImage(TComponent* owner, TControl* parent, const TBounds& bounds);
  void SetPicture(std::shared_ptr<TBitmap> bitmap);
  const std::shared_ptr<TBitmap>& Picture() const { return picture_; }
  void SetIcon(HICON icon);  // borrowed; the caller keeps it
  HICON Icon() const { return icon_; }
  bool autoSize = false;
  bool transparent = false;
  HCURSOR cursor = nullptr;

 protected:
  LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;
  void Paint(TCanvas& canvas) override;

 private:
  std::shared_ptr<TBitmap> picture_;
  HICON icon_ = nullptr;
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

// A plain container window; the pages of a page container and a form's panels are these.
class TPanel : public TControl {
 public:
  TPanel(TComponent* owner, TControl* parent, const TBounds& bounds, const char* className = "TPanel");
};

// A page container without tabs: one page is visible at a time.
class TPageControl : public TControl {
 public:
  TPageControl(TComponent* owner, TControl* parent, const TBounds& bounds);
  TPanel* AddPage(const std::string& name);
  int PageCount() const { return static_cast<int>(pages_.size()); }
  TPanel* Page(int index) const { return pages_[static_cast<size_t>(index)]; }
  int PageIndex() const { return pageIndex_; }
  void SetPageIndex(int index);

 private:
  std::vector<TPanel*> pages_;
  int pageIndex_ = -1;
};

// An owner-drawn list box with a fixed item height that keeps its item texts.
class TListBox : public TControl {
 public:
  using TDrawItemEvent = std::function<void(TComponent* sender, int index, const RECT& rect, bool selected)>;
  TListBox(TComponent* owner, TControl* parent, const TBounds& bounds, int itemHeight);
  int Count() const;
  void Add(const std::string& text);
  void Clear();
  std::string Item(int index) const;
  int ItemIndex() const;
  void SetItemIndex(int index);  // -1 clears the selection
  RECT ItemRect(int index) const;
  int ItemHeight() const { return itemHeight_; }
  // The canvas of the item being drawn, prepared with the row's colours; valid inside
  // OnDrawItem only.
  TCanvas* Canvas() const { return canvas_; }
  TDrawItemEvent OnDrawItem;

 protected:
  LRESULT Notify(WORD code) override;
  bool DrawItem(const DRAWITEMSTRUCT& dis) override;
  bool WantsReturn() const override { return false; }

 private:
  int itemHeight_;
  TCanvas* canvas_ = nullptr;
};

// An editable drop-down list.
class TComboBox : public TControl {
 public:
  TComboBox(TComponent* owner, TControl* parent, const TBounds& bounds, int dropDownCount,
            const std::vector<std::string>& items);
  int Count() const;
  std::string Item(int index) const;
  void AddItem(const std::string& text);
  // The text of the edit field (SetText/Text of the control work on it too).
  HWND EditHandle() const { return edit_; }

 protected:
  LRESULT Notify(WORD code) override;
  LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  HWND edit_ = nullptr;
};

// A whole-number edit field with up/down arrows and a range. Text that is not a whole number
// counts as 0; the value is always within the range, and leaving the field writes it back.
class TSpinEdit : public TControl {
 public:
  TSpinEdit(TComponent* owner, TControl* parent, const TBounds& bounds, int minValue, int maxValue, int value);
  int Value() const;
  void SetValue(int value);
  void SetRange(int minValue, int maxValue);
  int MinValue() const { return min_; }
  int MaxValue() const { return max_; }

 protected:
  LRESULT Notify(WORD code) override;

 private:
  int Clamp(long long v) const;
  int min_, max_;
  HWND updown_ = nullptr;
};

// A top-level window built from a description of its controls.
class TForm : public TControl {
 public:
  enum ModalResult { mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL };

  // `className` becomes the window class (so other processes can find the form by it).
  // `clientWidth`/`clientHeight` size the client area; the form starts hidden.
  TForm(TComponent* owner, const char* className, const std::string& caption, int clientWidth,
        int clientHeight, DWORD style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  ~TForm() override;

  void ShowForm();  // shows and activates (runs OnShow the first time it becomes visible)
  // Shows the form modally: the other windows of the thread are disabled until ModalResult is
  // set, the form is closed or the application is told to end. Returns the modal result.
  int ShowModal();
  // Asks OnCloseQuery, runs OnClose, then hides the form (a modal form gets mrCancel); closing
  // the main form ends the application.
  void Close();
  void CenterOnScreen();
  int modalResult = mrNone;
  bool keyPreview = false;
  TControl* initialFocus = nullptr;  // gets the focus when the form is first shown

  TNotifyEvent OnCreate, OnShow, OnDestroy, OnClose;
  std::function<void(TComponent*, bool& canClose)> OnCloseQuery;

  // The control that has the keyboard focus inside this form, or null.
  TControl* ActiveControl() const;
  // The enabled, visible default (cancel) button of the form, or null.
  TButton* DefaultButton() const;
  TButton* CancelButton() const;
  // Runs OnCreate; called once by the application after construction.
  void DoCreate() {
    if (OnCreate) OnCreate(this);
  }
  void BeforeDestruction() override;
  bool Modal() const { return modal_; }

 protected:
  LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  bool modal_ = false;
  bool shownOnce_ = false;
  bool destroyed_ = false;
};

// Control kinds of a form description.
enum class Kind { Button, DefaultButton, CancelButton, Label, WrapLabel, Image, HLine, VLine,
                  PageControl, Page, ListBox, ComboBox, SpinEdit, Panel, PaintBox };

// One control of a form description: the form builds them in table order; `parent` names an
// earlier control (empty = the form itself). For a Page, `parent` names its page container.
struct ControlSpec {
  const char* name;
  Kind kind;
  const char* parent;
  const char* caption;
  TBounds bounds;
  std::function<void(TControl*)> bind;  // stores the made control in the form's member
  int extra = 0;       // list item height, combo drop-down rows
  bool hidden = false;
  bool disabled = false;
};

// Builds the controls of `layout` on `form`, each named and owned by the form.
// Throws base::Exception for an unknown parent.
void BuildControls(TForm& form, const std::vector<ControlSpec>& layout);

// The binder for ControlSpec::bind: `Into(Button_Next)` sets that member to the made control.
template <typename T>
std::function<void(TControl*)> Into(T*& member) {
  return [&member](TControl* c) { member = static_cast<T*>(c); };
}

}  // namespace toolkit
