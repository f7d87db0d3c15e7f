// TForm: a top-level window holding controls, shown normally or modally, and the keyboard
// handling that our forms get from the message pump.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "toolkit/Actions.h"
#include "toolkit/Control.h"
#include "toolkit/StdControls.h"

namespace toolkit {

struct FormSpec;

class TForm : public TControl {
 public:
  enum ModalResult { mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL };

  // `className` becomes the window class (so other processes can find the form by it). The
  // form starts hidden, centred on the screen, with a caption, system menu and minimise box;
  // Build (FormBuilder.h) gives it its caption, size, frame and controls from a description.
  TForm(TComponent* owner, const char* className, const std::string& caption = "", int clientWidth = 0,
        int clientHeight = 0, DWORD style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  // A form ended by plain delete (not through its owner or Free) runs no destroy handler.
  ~TForm() override;

  // Frame style and client size; the window stays where it is (call CenterOnScreen after).
  void SetFrame(DWORD style, DWORD exStyle, int clientWidth, int clientHeight);
  void CenterOnScreen();

  void ShowForm();  // shows and activates (runs OnShow the first time it becomes visible)
  // Shows the form modally: the other windows of the thread are disabled until the modal
  // result is set, the form is closed or the application is told to end; then they are enabled
  // again, the form is hidden and the window that had the focus before gets it back. Returns
  // the modal result (mrCancel when it ended without one). OnShow runs at every modal show.
  int ShowModal();
  // Asks OnCloseQuery, runs OnClose, then hides the form (a modal form gets mrCancel); closing
  // the main form ends the application.
  void Close();
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int result) { modalResult_ = result; }

  // The form sees every key press (OnKeyPress) before the focused control does.
  bool KeyPreview() const { return keyPreview_; }
  void SetKeyPreview(bool on) { keyPreview_ = on; }
  // The control that gets the focus when the form is first shown (null: the first tab stop).
  void SetInitialFocus(TControl* control) { initialFocus_ = control; }

  TNotifyEvent OnCreate, OnShow, OnDestroy, OnClose;
  std::function<void(TComponent* sender, bool& canClose)> OnCloseQuery;

  // The control that has the keyboard focus inside this form, or null.
  TControl* ActiveControl() const;
  // The tab order: every visible, enabled control with a tab stop, in order of creation, each
  // container's controls right after it (so a list box is a stop of its own and its in-row
  // controls follow it). The stop after (before) `from`, wrapping around; the first (last)
  // one when `from` is none of them; null when there is no stop at all.
  TControl* NextTabStop(const TControl* from, bool back) const;
  // The enabled, visible default (cancel) button of the form, or null.
  TButton* DefaultButton() const;
  TButton* CancelButton() const;
  // Runs the action of an action list owned by this form whose shortcut this is; true when
  // one ran.
  bool IsShortCut(TShortCut shortCut);
  // Runs OnCreate; called once by the application after construction.
  void DoCreate() { Fire(OnCreate, this); }

 protected:
  LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;
  // The destroy handler, then the windows, then the owned components; once only (a second call
  // does nothing). Runs through the owner or Free; a destructor must not call it.
  void BeforeDestruction() override;

 private:
  int modalResult_ = mrNone;
  bool modal_ = false;
  bool shownOnce_ = false;
  bool keyPreview_ = false;
  bool tornDown_ = false;
  TControl* initialFocus_ = nullptr;
};

// Keyboard handling of our forms for a message taken from the queue, before it is translated
// and dispatched: the shortcut of an action of the form that has the focus, Tab and Shift+Tab
// between the form's controls (into and out of every kind), and the arrow keys inside a group
// of radio buttons. True when the message was used; it must then not be dispatched.
bool TranslateFormKey(const MSG& msg);

}  // namespace toolkit
