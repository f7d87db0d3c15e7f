// TControl, the base of every control: its window, our own mark on that window, its messages from
// the one window procedure (WindowProc.h), reflected notifications, focus, keys and painting.
//
// Every control is a real window. Standard ones ("BUTTON", "EDIT", ...) are subclassed after
// creation (SetWindowSubclass); our own ones have registered classes named after the control
// kind and get `this` through lpCreateParams at WM_NCCREATE. Either way the window carries a property of ours that
// points to its control: that mark, not the window procedure, is how a window is recognised
// as ours, so it still works when the common controls subclass a window behind our back (the
// up-down control does this to its buddy edit). No window map, no state in the dispatcher.
//
// Notifications that a parent receives (WM_COMMAND, WM_DRAWITEM, WM_CTLCOLOR*, scroll) are
// handed back to the control they came from. Every handler runs inside the exception boundary:
// an exception goes to the application's general error handler, the message answers 0, and it
// never crosses the window procedure.
//
// Naming rule of the toolkit's public state: properties are accessors (Text() / SetText()),
// events are public `On...` fields that the owner assigns. An unassigned event is valid.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "toolkit/Canvas.h"
#include "toolkit/Component.h"
#include "toolkit/Handles.h"
#include "toolkit/WindowProc.h"

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

class TControl : public TComponent, public WindowTarget {
 public:
  TControl(TComponent* owner, TControl* parent);
  // Takes the marks off the control's windows, then destroys them: no handler of this control
  // runs from here on.
  ~TControl() override;

  HWND Handle() const { return handle_; }
  TControl* Parent() const { return parent_; }
  // Moves the window under another parent control; the position stays in the new parent's
  // client coordinates.
  void SetParent(TControl* parent);
  // The form this control lies on (itself for a form), or null.
  TForm* ParentForm() const;
  // The controls whose parent this is, in order of creation.
  const std::vector<TControl*>& Controls() const { return controls_; }

  RECT BoundsRect() const;  // left, top, right, bottom in the parent's client area
  int Left() const { return BoundsRect().left; }
  int Top() const { return BoundsRect().top; }
  int Width() const;
  int Height() const;
  void SetBounds(int left, int top, int width, int height);
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
  // Applies a changed font to the window and to every child that follows this control's font.
  // From then on this control keeps its own font (a later change of the parent's font does not
  // reach it), except for a form, which has no parent.
  void FontChanged();
  // Whether the control follows the font of its parent (true until its own font is changed).
  bool ParentFont() const { return parentFont_; }
  COLORREF Color() const { return color_; }
  void SetColor(COLORREF color);
  // Painting of our own window classes through an off-screen bitmap, copied to the screen in
  // one block. A control paints that way when it or its form asks for it.
  bool DoubleBuffered() const { return doubleBuffered_; }
  void SetDoubleBuffered(bool on) { doubleBuffered_ = on; }
  // The mouse pointer over the control; null keeps the class's pointer. Borrowed.
  void SetCursor(HCURSOR cursor) { cursor_ = cursor; }
  HCURSOR Cursor() const { return cursor_; }

  TNotifyEvent OnClick;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyPressEvent OnKeyPress;

  // The control that carries our mark on `hwnd` (also a window inside a composite control, such
  // as the edit field of a combo box), or null for a window that is not ours or no longer is.
  static TControl* FromHandle(HWND hwnd);

  // Runs the message through this control's handling; called by the window procedure only.
  LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;

 protected:
  // Makes the window. `className` is a standard class ("BUTTON") or one of ours (registered on
  // first use with the shared window procedure). Throws base::Exception when the window cannot
  // be made.
  void CreateHandle(const char* className, DWORD style, DWORD exStyle, const std::string& text,
                    const TBounds& bounds, bool ownClass);
  // Puts a window inside this control (the edit field of a combo box) under this control's
  // window procedure.
  void SubclassChild(HWND child);
  // Marks a window that needs no procedure of ours (a spin edit's arrows) as part of this
  // control, so that its notifications reach the control.
  void MarkChild(HWND child);
  static void UnmarkChild(HWND child);
  // Takes the marks off this control's windows and everything inside them, then destroys them.
  void DestroyHandle();
  void BeforeDestruction() override;
  // The system's handling of a message: the next procedure of a subclassed window, or
  // DefWindowProc.
  LRESULT DefaultProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  // Whether events may still run: not once this control's or its form's destruction began.
  bool Live() const;
  // Runs an event when it is assigned and the control is live.
  template <typename Event, typename... Args>
  void Fire(const Event& event, Args&&... args) {
    if (event && Live()) event(std::forward<Args>(args)...);
  }
  void DoClick() { Fire(OnClick, this); }
  // The click of the painted kinds: a press and a release inside the control, the mouse held by
  // the control in between. Handles the left button's press and release (true for them) and a
  // lost capture, which ends the press.
  bool TrackClick(HWND hwnd, UINT msg, LPARAM lp);
  bool pressed_ = false;

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

  HBRUSH ColorBrush();
  // Sends the font to the window and hands it on to the children that follow this control's
  // font.
  void ApplyFont();
  // Called after the font reached the window (labels fit their size to it).
  virtual void FontApplied() {}

  HWND handle_ = nullptr;
  TControl* parent_ = nullptr;
  TFont font_;
  bool parentFont_ = true;
  COLORREF color_;
  bool ownClass_ = false;

 private:
  void WindowBound(HWND hwnd) override;
  void WindowGone(HWND hwnd) override;
  void PaintMessage(HWND hwnd);
  static BOOL CALLBACK DetachWindow(HWND child, LPARAM);
  std::vector<TControl*> controls_;
  SharedGdiObject windowFont_;  // the font the window uses, alive while it does
  ScopedGdiObject colorBrush_;
  COLORREF colorBrushColor_ = 0;
  bool doubleBuffered_ = false;
  HCURSOR cursor_ = nullptr;
};

}  // namespace toolkit
