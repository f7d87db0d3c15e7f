// The system's own controls wrapped as TControls: push buttons, check boxes, radio buttons,
// group boxes, labels, single-line edits, list boxes, combo boxes, spin edits and progress bars.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "toolkit/Control.h"

namespace toolkit {

class TButton : public TControl {
 public:
  TButton(TComponent* owner, TControl* parent, const std::string& caption, const TBounds& bounds,
          bool isDefault = false, bool isCancel = false);
  // The default button gets Enter and the cancel button Esc from every control of its form
  // (when visible and enabled). One button may be both.
  bool Default() const { return default_; }
  void SetDefault(bool on);
  bool Cancel() const { return cancel_; }
  // A button with a modal result sets it on its form when clicked (before OnClick runs), which
  // ends the form's modal show.
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int result) { modalResult_ = result; }
  // What a click does: the modal result, then OnClick.
  void Click();

 protected:
  LRESULT Notify(WORD code) override;

 private:
  bool default_, cancel_;
  int modalResult_ = 0;
};

// A check box; a click toggles it and runs OnClick.
class TCheckBox : public TControl {
 public:
  TCheckBox(TComponent* owner, TControl* parent, const std::string& caption, const TBounds& bounds);
  bool Checked() const;
  // A change runs OnClick, as a click would.
  void SetChecked(bool checked);

 protected:
  LRESULT Notify(WORD code) override;
};

// A radio button. The radio buttons of one parent form one group, in order of creation; a
// button marked as a group start begins a new group. Exactly one button of a group is selected
// once one has been; only the selected one is a tab stop, and the arrow keys move the selection
// inside the group.
class TRadioButton : public TControl {
 public:
  TRadioButton(TComponent* owner, TControl* parent, const std::string& caption, const TBounds& bounds);
  bool Checked() const;
  // Selecting clears the other buttons of the group and runs OnClick (only when it changes);
  // clearing touches nothing else.
  void SetChecked(bool checked);
  bool GroupStart() const { return groupStart_; }
  void SetGroupStart(bool on);
  // The radio buttons of this button's group, in order of creation (this one included).
  std::vector<TRadioButton*> Group() const;

 protected:
  LRESULT Notify(WORD code) override;

 private:
  void UpdateTabStops();
  bool groupStart_ = false;
};

// A frame with a caption that holds other controls.
class TGroupBox : public TControl {
 public:
  TGroupBox(TComponent* owner, TControl* parent, const std::string& caption, const TBounds& bounds);
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
  // Centred text (inside the label's own width).
  void SetCentered();

  // Mouse events of the left button and of the pointer entering and leaving the label. A label
  // with any of them (or OnClick, or a cursor) takes the mouse instead of letting it through
  // to its parent; a click is a press and release inside it.
  TMouseEvent OnMouseEnter, OnMouseLeave, OnMouseDown, OnMouseUp;

 protected:
  LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;
  void FontApplied() override { AdjustSize(); }

 private:
  bool TakesMouse() const { return OnClick || OnMouseEnter || OnMouseLeave || OnMouseDown || OnMouseUp || Cursor(); }
  void SetAlignment(LONG_PTR alignment);
  bool autoSize_, wordWrap_;
  int rightEdge_ = -1;  // >= 0 when right-justified
  bool hovering_ = false;
};

// A single-line edit field. OnChange runs after every change of its text.
class TEdit : public TControl {
 public:
  TEdit(TComponent* owner, TControl* parent, const std::string& text, const TBounds& bounds);
  TNotifyEvent OnChange;

 protected:
  LRESULT Notify(WORD code) override;
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
  // OnDrawItem only (a nested drawing has its own, and the outer one is back after it).
  TCanvas* Canvas() const { return canvas_; }
  TDrawItemEvent OnDrawItem;

 protected:
  LRESULT Notify(WORD code) override;
  bool DrawItem(const DRAWITEMSTRUCT& dis) override;

 private:
  int itemHeight_;
  TCanvas* canvas_ = nullptr;
};

// An editable drop-down list. OnEnter and OnExit run when the focus comes into and leaves the
// whole box (its edit field included).
class TComboBox : public TControl {
 public:
  TComboBox(TComponent* owner, TControl* parent, const TBounds& bounds, int dropDownCount,
            const std::vector<std::string>& items);
  int Count() const;
  std::string Item(int index) const;
  void AddItem(const std::string& text);
  // The edit field (Text/SetText of the control work on it too).
  HWND EditHandle() const { return edit_; }

 protected:
  LRESULT Notify(WORD code) override;
  LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  HWND edit_ = nullptr;
};

// A whole-number edit field with up/down arrows and a range. The value is always within the
// range: a typed value outside it is brought to the nearer end when the field loses the focus
// (before OnExit runs), and so is a value set by the program. Text that is not a whole number
// counts as 0 (and so as the nearer end when 0 is outside the range).
class TSpinEdit : public TControl {
 public:
  TSpinEdit(TComponent* owner, TControl* parent, const TBounds& bounds, int minValue, int maxValue, int value);
  ~TSpinEdit() override;
  int Value() const;
  void SetValue(int value);
  // Also brings the shown value into the new range.
  void SetRange(int minValue, int maxValue);
  int MinValue() const { return min_; }
  int MaxValue() const { return max_; }
  TNotifyEvent OnChange;

 protected:
  LRESULT Notify(WORD code) override;
  LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  int Clamp(long long v) const;
  int min_, max_;
  HWND updown_ = nullptr;
};

// A smooth progress bar. The position is shown against the range; the range may be empty.
class TProgressBar : public TControl {
 public:
  TProgressBar(TComponent* owner, TControl* parent, const TBounds& bounds);
  int Min() const { return min_; }
  int Max() const { return max_; }
  void SetRange(int minValue, int maxValue);
  void SetMax(int maxValue) { SetRange(min_, maxValue); }
  int Position() const;
  void SetPosition(int position);

 private:
  int min_ = 0, max_ = 100;
};

}  // namespace toolkit
