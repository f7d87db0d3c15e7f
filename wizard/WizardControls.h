// Controls the update wizard needs beyond the toolkit's: check box, radio button, progress bar,
// group box and a panel that paints its caption centred in its own colour and font.
#pragma once

#include <windows.h>

#include <string>

#include "toolkit/Controls.h"

namespace wizard {

// A check box that switches itself on a click; OnClick follows every change by the user.
class TCheckBox : public toolkit::TControl {
 public:
  TCheckBox(toolkit::TComponent* owner, toolkit::TControl* parent, const std::string& caption,
            const toolkit::TBounds& bounds);
  bool Checked() const;
  void SetChecked(bool checked);

 protected:
  LRESULT Notify(WORD code) override;
};

// A radio button; the buttons with the same parent form one group, in which selecting one
// clears the others. Selecting one by code runs its OnClick, as a click does.
class TRadioButton : public toolkit::TControl {
 public:
  TRadioButton(toolkit::TComponent* owner, toolkit::TControl* parent, const std::string& caption,
               const toolkit::TBounds& bounds, bool firstOfGroup);
  bool Checked() const;
  void SetChecked(bool checked);

  LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;

 protected:
  LRESULT Notify(WORD code) override;
};

// A smooth progress bar with a range and a position.
class TProgressBar : public toolkit::TControl {
 public:
  TProgressBar(toolkit::TComponent* owner, toolkit::TControl* parent, const toolkit::TBounds& bounds);
  void SetRange(int minimum, int maximum);
  void SetPosition(int position);
  int Position() const;
  int Maximum() const;
};

// A frame with a caption; the controls inside it are its children.
class TGroupBox : public toolkit::TControl {
 public:
  TGroupBox(toolkit::TComponent* owner, toolkit::TControl* parent, const std::string& caption,
            const toolkit::TBounds& bounds);
};

// A panel filled with its colour, its caption centred in one line in its font and font colour.
class TTitlePanel : public toolkit::TPanel {
 public:
  TTitlePanel(toolkit::TComponent* owner, toolkit::TControl* parent, const toolkit::TBounds& bounds);
  void SetCaption(const std::string& caption);
  const std::string& Caption() const { return caption_; }

 protected:
  void Paint(toolkit::TCanvas& canvas) override;

 private:
  std::string caption_;
};

}  // namespace wizard
