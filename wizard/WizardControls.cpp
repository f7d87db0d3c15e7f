// The wizard's own control kinds on the toolkit's control base.
#include "wizard/WizardControls.h"

#include <commctrl.h>

namespace wizard {

using namespace toolkit;

TCheckBox::TCheckBox(TComponent* owner, TControl* parent, const std::string& caption, const TBounds& b)
    : TControl(owner, parent) {
  CreateHandle("BUTTON", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, caption, b, false);
}

bool TCheckBox::Checked() const { return SendMessageA(handle_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TCheckBox::SetChecked(bool checked) {
  SendMessageA(handle_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

LRESULT TCheckBox::Notify(WORD code) {
  if (code == BN_CLICKED) DoClick();
  return 0;
}

TRadioButton::TRadioButton(TComponent* owner, TControl* parent, const std::string& caption, const TBounds& b,
                           bool firstOfGroup)
    : TControl(owner, parent) {
  CreateHandle("BUTTON", WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON | (firstOfGroup ? WS_GROUP : 0), 0, caption, b,
               false);
}

bool TRadioButton::Checked() const { return SendMessageA(handle_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TRadioButton::SetChecked(bool checked) {
  if (checked) {
    // The others of the group (same parent window) go off, as a click would do it.
    HWND parent = GetParent(handle_);
    for (HWND w = GetWindow(parent, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
      if (w == handle_) continue;
      char cls[16];
      if (GetClassNameA(w, cls, sizeof cls) && lstrcmpiA(cls, "Button") == 0 &&
          (GetWindowLongPtrA(w, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
        SendMessageA(w, BM_SETCHECK, BST_UNCHECKED, 0);
    }
  }
  SendMessageA(handle_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  if (checked) DoClick();
}

LRESULT TRadioButton::Notify(WORD code) {
  if (code == BN_CLICKED) DoClick();
  return 0;
}

LRESULT TRadioButton::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  // The system's radio button checks itself on a click only while its dialog code is exactly
  // its own; the extra character code the control base adds would stop that.
  if (msg == WM_GETDLGCODE) return DefaultProc(hwnd, msg, wp, lp);
  return TControl::WndProc(hwnd, msg, wp, lp);
}

TProgressBar::TProgressBar(TComponent* owner, TControl* parent, const TBounds& b) : TControl(owner, parent) {
  CreateHandle(PROGRESS_CLASSA, WS_VISIBLE | PBS_SMOOTH, 0, "", b, false);
  SetRange(0, 100);
}

void TProgressBar::SetRange(int minimum, int maximum) { SendMessageA(handle_, PBM_SETRANGE32, minimum, maximum); }
void TProgressBar::SetPosition(int position) { SendMessageA(handle_, PBM_SETPOS, static_cast<WPARAM>(position), 0); }
int TProgressBar::Position() const { return static_cast<int>(SendMessageA(handle_, PBM_GETPOS, 0, 0)); }
int TProgressBar::Maximum() const { return static_cast<int>(SendMessageA(handle_, PBM_GETRANGE, FALSE, 0)); }

TGroupBox::TGroupBox(TComponent* owner, TControl* parent, const std::string& caption, const TBounds& b)
    : TControl(owner, parent) {
  CreateHandle("BUTTON", WS_VISIBLE | BS_GROUPBOX | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT, caption, b, false);
}

TTitlePanel::TTitlePanel(TComponent* owner, TControl* parent, const TBounds& b) : TPanel(owner, parent, b) {}

void TTitlePanel::SetCaption(const std::string& caption) {
  caption_ = caption;
  SetText(caption);
  Invalidate();
}

void TTitlePanel::Paint(TCanvas& canvas) {
  RECT r;
  GetClientRect(handle_, &r);
  canvas.SetBrushColor(color_);
  canvas.FillRect(r);
  canvas.Font() = font_;
  canvas.SetBrushStyle(TCanvas::BrushStyle::Clear);
  // Measured and placed by hand: centred in both directions on one line.
  int width = canvas.TextWidth(caption_), height = canvas.TextHeight(caption_);
  canvas.TextOut((r.right - width) / 2, (r.bottom - height) / 2, caption_);
}

}  // namespace wizard
