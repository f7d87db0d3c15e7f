// The system controls: creation styles, their notifications and their values.
#include "toolkit/StdControls.h"

#include <commctrl.h>

#include <algorithm>

#include "base/StrUtils.h"
#include "toolkit/Form.h"

namespace toolkit {

namespace {

// The text of item `index` of a list or combo box, read with its length and text messages
// (both boxes answer -1 for an index that does not exist).
std::string ItemText(HWND box, int index, UINT lengthMessage, UINT textMessage) {
  LRESULT length = SendMessageA(box, lengthMessage, static_cast<WPARAM>(index), 0);
  if (length < 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  LRESULT got = SendMessageA(box, textMessage, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(got < 0 ? 0 : static_cast<size_t>(got));
  return text;
}

void SetStyleBit(HWND hwnd, LONG_PTR bit, bool on) {
  if (!hwnd) return;
  LONG_PTR style = GetWindowLongPtrA(hwnd, GWL_STYLE);
  SetWindowLongPtrA(hwnd, GWL_STYLE, on ? (style | bit) : (style & ~bit));
}

}  // namespace

// ---- TButton -------------------------------------------------------------------------------

TButton::TButton(TComponent* owner, TControl* parent, const std::string& caption, const TBounds& b,
                 bool isDefault, bool isCancel)
    : TControl(owner, parent), default_(isDefault), cancel_(isCancel) {
  CreateHandle("BUTTON", WS_VISIBLE | WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0, caption, b, false);
}

void TButton::SetDefault(bool on) {
  default_ = on;
  if (handle_) SendMessageA(handle_, BM_SETSTYLE, on ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::Click() {
  if (!Live()) return;
  if (modalResult_ != 0)
    if (TForm* form = ParentForm()) form->SetModalResult(modalResult_);
  DoClick();
}

LRESULT TButton::Notify(WORD code) {
  if (code == BN_CLICKED) Click();
  return 0;
}

// ---- TCheckBox -----------------------------------------------------------------------------

TCheckBox::TCheckBox(TComponent* owner, TControl* parent, const std::string& caption, const TBounds& b)
    : TControl(owner, parent) {
  CreateHandle("BUTTON", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, caption, b, false);
}

bool TCheckBox::Checked() const { return handle_ && SendMessageA(handle_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TCheckBox::SetChecked(bool checked) {
  if (Checked() == checked) return;
  SendMessageA(handle_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  DoClick();
}

LRESULT TCheckBox::Notify(WORD code) {
  if (code == BN_CLICKED) DoClick();  // the box has toggled itself already
  return 0;
}

// ---- TRadioButton --------------------------------------------------------------------------

TRadioButton::TRadioButton(TComponent* owner, TControl* parent, const std::string& caption, const TBounds& b)
    : TControl(owner, parent) {
  CreateHandle("BUTTON", WS_VISIBLE | BS_RADIOBUTTON, 0, caption, b, false);
  UpdateTabStops();
}

bool TRadioButton::Checked() const { return handle_ && SendMessageA(handle_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

std::vector<TRadioButton*> TRadioButton::Group() const {
  std::vector<TRadioButton*> group;
  if (!parent_) return {const_cast<TRadioButton*>(this)};
  bool mine = false;
  for (TControl* sibling : parent_->Controls()) {
    auto* radio = dynamic_cast<TRadioButton*>(sibling);
    if (!radio) continue;
    if (radio->groupStart_ || group.empty()) {
      if (mine) break;  // the next group begins
      group.clear();
    }
    group.push_back(radio);
    if (radio == this) mine = true;
  }
  return group;
}

void TRadioButton::SetChecked(bool checked) {
  if (Checked() == checked) return;
  if (checked) {
    for (TRadioButton* other : Group())
      if (other != this && other->handle_) SendMessageA(other->handle_, BM_SETCHECK, BST_UNCHECKED, 0);
  }
  SendMessageA(handle_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  UpdateTabStops();
  if (checked) DoClick();
}

void TRadioButton::SetGroupStart(bool on) {
  groupStart_ = on;
  SetStyleBit(handle_, WS_GROUP, on);
  UpdateTabStops();
}

void TRadioButton::UpdateTabStops() {
  std::vector<TRadioButton*> group = Group();
  TRadioButton* stop = group.empty() ? this : group.front();
  for (TRadioButton* radio : group)
    if (radio->Checked()) stop = radio;
  for (TRadioButton* radio : group) SetStyleBit(radio->handle_, WS_TABSTOP, radio == stop);
}

LRESULT TRadioButton::Notify(WORD code) {
  if (code == BN_CLICKED) SetChecked(true);
  return 0;
}

// ---- TGroupBox -----------------------------------------------------------------------------

TGroupBox::TGroupBox(TComponent* owner, TControl* parent, const std::string& caption, const TBounds& b)
    : TControl(owner, parent) {
  CreateHandle("BUTTON", WS_VISIBLE | BS_GROUPBOX, WS_EX_CONTROLPARENT, caption, b, false);
}

// ---- TLabel --------------------------------------------------------------------------------

TLabel::TLabel(TComponent* owner, TControl* parent, const std::string& caption, const TBounds& b, bool wordWrap)
    : TControl(owner, parent), autoSize_(b.width == 0 || b.height == 0), wordWrap_(wordWrap) {
  CreateHandle("STATIC", WS_VISIBLE | (wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP), 0, caption, b, false);
  AdjustSize();
}

void TLabel::SetAlignment(LONG_PTR alignment) {
  LONG_PTR style = GetWindowLongPtrA(handle_, GWL_STYLE);
  style = (style & ~static_cast<LONG_PTR>(SS_TYPEMASK)) | alignment;
  SetWindowLongPtrA(handle_, GWL_STYLE, style);
  AdjustSize();
  Invalidate();
}

void TLabel::SetRightJustified(int rightEdge) {
  rightEdge_ = rightEdge;
  SetAlignment(SS_RIGHT);
}

void TLabel::SetCentered() { SetAlignment(SS_CENTER); }

LRESULT TLabel::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_NCHITTEST:
      if (TakesMouse()) return HTCLIENT;
      break;
    case WM_MOUSEMOVE:
      if (!hovering_) {
        hovering_ = true;
        TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, hwnd, 0};
        TrackMouseEvent(&tme);
        Fire(OnMouseEnter, this);
      }
      return 0;
    case WM_MOUSELEAVE:
      hovering_ = false;
      Fire(OnMouseLeave, this);
      return 0;
    case WM_LBUTTONDOWN:
      TrackClick(hwnd, msg, lp);
      Fire(OnMouseDown, this);
      return 0;
    case WM_LBUTTONUP:
      TrackClick(hwnd, msg, lp);
      Fire(OnMouseUp, this);
      return 0;
    case WM_CAPTURECHANGED:
      TrackClick(hwnd, msg, lp);
      break;
    default:
      break;
  }
  return TControl::WndProc(hwnd, msg, wp, lp);
}

void TLabel::SetCaption(const std::string& caption) {
  SetText(caption);
  AdjustSize();
  Invalidate();
}

void TLabel::AdjustSize() {
  if (!autoSize_ || !handle_) return;
  ScopedGetDc dc(handle_);
  ScopedSelectObject font(dc.get(), font_.Handle());
  std::string text = Text();
  RECT r{0, 0, wordWrap_ ? Width() : 0, 0};
  DrawTextA(dc.get(), text.empty() ? " " : text.c_str(), -1, &r,
            DT_CALCRECT | DT_NOPREFIX | (wordWrap_ ? DT_WORDBREAK : DT_SINGLELINE));
  int width = r.right - r.left, height = r.bottom - r.top;
  if (rightEdge_ >= 0) {
    SetWindowPos(handle_, nullptr, rightEdge_ - width, Top(), width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    SetWindowPos(handle_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

// ---- TEdit ---------------------------------------------------------------------------------

TEdit::TEdit(TComponent* owner, TControl* parent, const std::string& text, const TBounds& b) : TControl(owner, parent) {
  color_ = GetSysColor(COLOR_WINDOW);
  CreateHandle("EDIT", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, text, b, false);
}

LRESULT TEdit::Notify(WORD code) {
  if (code == EN_CHANGE) Fire(OnChange, this);
  return 0;
}

// ---- TListBox ------------------------------------------------------------------------------

TListBox::TListBox(TComponent* owner, TControl* parent, const TBounds& b, int itemHeight)
    : TControl(owner, parent), itemHeight_(itemHeight) {
  color_ = GetSysColor(COLOR_WINDOW);
  CreateHandle("LISTBOX",
               WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_CLIPCHILDREN | LBS_NOTIFY | LBS_OWNERDRAWFIXED |
                   LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT,
               WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT, "", b, false);
  SendMessageA(handle_, LB_SETITEMHEIGHT, 0, itemHeight);
}

int TListBox::Count() const { return static_cast<int>(SendMessageA(handle_, LB_GETCOUNT, 0, 0)); }

void TListBox::Add(const std::string& text) { SendMessageA(handle_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())); }

void TListBox::Clear() { SendMessageA(handle_, LB_RESETCONTENT, 0, 0); }

std::string TListBox::Item(int index) const { return ItemText(handle_, index, LB_GETTEXTLEN, LB_GETTEXT); }

int TListBox::ItemIndex() const { return static_cast<int>(SendMessageA(handle_, LB_GETCURSEL, 0, 0)); }

void TListBox::SetItemIndex(int index) { SendMessageA(handle_, LB_SETCURSEL, static_cast<WPARAM>(index), 0); }

RECT TListBox::ItemRect(int index) const {
  RECT r{};
  SendMessageA(handle_, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
  return r;
}

LRESULT TListBox::Notify(WORD code) {
  if (code == LBN_SELCHANGE) DoClick();
  return 0;
}

bool TListBox::DrawItem(const DRAWITEMSTRUCT& dis) {
  if (dis.itemID == static_cast<UINT>(-1)) return true;
  bool selected = (dis.itemState & ODS_SELECTED) != 0;
  TCanvas canvas(dis.hDC);
  canvas.Font() = font_;
  canvas.Font().SetColor(GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  canvas.SetBrushColor(selected ? GetSysColor(COLOR_HIGHLIGHT) : color_);
  int index = static_cast<int>(dis.itemID);
  ScopedValue painting(canvas_, &canvas);
  if (OnDrawItem && Live()) {
    OnDrawItem(this, index, dis.rcItem, selected);
  } else {
    canvas.FillRect(dis.rcItem);
    canvas.TextOut(dis.rcItem.left + 2, dis.rcItem.top, Item(index));
  }
  return true;
}

// ---- TComboBox -----------------------------------------------------------------------------

TComboBox::TComboBox(TComponent* owner, TControl* parent, const TBounds& b, int dropDownCount,
                     const std::vector<std::string>& items)
    : TControl(owner, parent) {
  color_ = GetSysColor(COLOR_WINDOW);
  TBounds dropped = b;
  dropped.height = b.height + dropDownCount * 16;
  CreateHandle("COMBOBOX", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 0, "", dropped, false);
  for (const auto& item : items) AddItem(item);
  SendMessageA(handle_, CB_SETMINVISIBLE, static_cast<WPARAM>(dropDownCount), 0);
  COMBOBOXINFO info{sizeof info};
  if (GetComboBoxInfo(handle_, &info) && info.hwndItem) {
    edit_ = info.hwndItem;
    SubclassChild(edit_);
  }
}

void TComboBox::AddItem(const std::string& text) {
  SendMessageA(handle_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

int TComboBox::Count() const { return static_cast<int>(SendMessageA(handle_, CB_GETCOUNT, 0, 0)); }

std::string TComboBox::Item(int index) const { return ItemText(handle_, index, CB_GETLBTEXTLEN, CB_GETLBTEXT); }

LRESULT TComboBox::Notify(WORD code) {
  if (code == CBN_KILLFOCUS) Fire(OnExit, this);
  if (code == CBN_SETFOCUS) Fire(OnEnter, this);
  if (code == CBN_SELENDOK) {
    // The edit field takes the chosen item's text only after this notification; put it there
    // now so that leaving the field commits what the user picked.
    int index = static_cast<int>(SendMessageA(handle_, CB_GETCURSEL, 0, 0));
    if (index >= 0) SetText(Item(index));
  }
  return 0;
}

LRESULT TComboBox::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  // Focus changes are reported once, through the combo box's own notifications.
  if (msg == WM_SETFOCUS || msg == WM_KILLFOCUS) return DefaultProc(hwnd, msg, wp, lp);
  return TControl::WndProc(hwnd, msg, wp, lp);
}

// ---- TSpinEdit -----------------------------------------------------------------------------

namespace {

// A typed number: decimal digits with an optional sign, saturated far beyond any range (so
// that 99999999999 means "too big", not "not a number"); 0 for anything else. Decimal only:
// a person typing days or a count does not mean "$10" or "0x10" as sixteen.
long long SpinText(const std::string& text) {
  size_t i = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
  if (i >= text.size() || !std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(),
                                       [](char c) { return c >= '0' && c <= '9'; }))
    return 0;
  long long v = 0;
  for (size_t k = i; k < text.size(); ++k) v = std::min(v * 10 + (text[k] - '0'), 1LL << 40);
  return text[0] == '-' ? -v : v;
}

}  // namespace

TSpinEdit::TSpinEdit(TComponent* owner, TControl* parent, const TBounds& b, int minValue, int maxValue, int value)
    : TControl(owner, parent), min_(minValue), max_(std::max(minValue, maxValue)) {
  color_ = GetSysColor(COLOR_WINDOW);
  CreateHandle("EDIT", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, base::IntToStr(Clamp(value)), b, false);
  updown_ = CreateWindowExA(0, UPDOWN_CLASSA, "",
                            WS_CHILD | WS_VISIBLE | UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_NOTHOUSANDS | UDS_ARROWKEYS,
                            0, 0, 0, 0, parent ? parent->Handle() : nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (updown_) {
    MarkChild(updown_);
    // The up-down control subclasses the edit field here; our mark stays on it.
    SendMessageA(updown_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(handle_), 0);
    SendMessageA(updown_, UDM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
    SendMessageA(updown_, UDM_SETPOS32, 0, Clamp(value));
  }
}

TSpinEdit::~TSpinEdit() {
  // The arrows are a sibling window, not inside the field; a form's teardown has taken them
  // (and their mark) already.
  if (updown_ && FromHandle(updown_) == this) {
    UnmarkChild(updown_);
    DestroyWindow(updown_);
  }
}

void TSpinEdit::SetRange(int minValue, int maxValue) {
  min_ = minValue;
  max_ = std::max(minValue, maxValue);
  if (updown_) SendMessageA(updown_, UDM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
  SetValue(Value());
}

int TSpinEdit::Clamp(long long v) const { return static_cast<int>(std::min<long long>(std::max<long long>(v, min_), max_)); }

int TSpinEdit::Value() const { return Clamp(SpinText(Text())); }

void TSpinEdit::SetValue(int value) {
  const std::string text = base::IntToStr(Clamp(value));
  if (Text() != text) SetText(text);
  if (updown_) SendMessageA(updown_, UDM_SETPOS32, 0, Clamp(value));
}

LRESULT TSpinEdit::Notify(WORD code) {
  if (code == EN_CHANGE) Fire(OnChange, this);
  return 0;
}

LRESULT TSpinEdit::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_KILLFOCUS && hwnd == handle_) {
    LRESULT r = DefaultProc(hwnd, msg, wp, lp);
    if (Live()) SetValue(Value());
    Fire(OnExit, this);
    return r;
  }
  return TControl::WndProc(hwnd, msg, wp, lp);
}

// ---- TProgressBar --------------------------------------------------------------------------

TProgressBar::TProgressBar(TComponent* owner, TControl* parent, const TBounds& b) : TControl(owner, parent) {
  CreateHandle(PROGRESS_CLASSA, WS_VISIBLE | PBS_SMOOTH, 0, "", b, false);
  SetRange(0, 100);
}

void TProgressBar::SetRange(int minValue, int maxValue) {
  min_ = minValue;
  max_ = maxValue;
  SendMessageA(handle_, PBM_SETRANGE32, static_cast<WPARAM>(minValue), static_cast<LPARAM>(maxValue));
}

int TProgressBar::Position() const { return static_cast<int>(SendMessageA(handle_, PBM_GETPOS, 0, 0)); }

void TProgressBar::SetPosition(int position) { SendMessageA(handle_, PBM_SETPOS, static_cast<WPARAM>(position), 0); }

}  // namespace toolkit
