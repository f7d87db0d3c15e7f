// Forms from descriptions. A form's source holds one description of the whole form: its caption,
// client size, frame, font, colour and events, and one row per control (name, kind, parent,
// caption, pixel rectangle at 96 DPI, font, colour, flags by name, range, and the handlers bound
// to the form's members). Build makes the real windows from it and fills the form's typed
// member pointers, so a form's text and geometry are read in one place.
//
//   Build(*this, FormSpec("Titel", 300, 200)
//                    .Flags(FormFlag::KeyPreview)
//                    .OnShow(this, &TMyForm::FormShow)
//                    .Controls({
//                        Row("Pages", Kind::PageControl, "", "", {8, 8, 280, 150}).Into(Pages),
//                        Row("Seite1", Kind::Page, "Pages"),
//                        Row("Button_Next", Kind::Button, "", "Weiter >", {200, 165, 75, 25})
//                            .Flags(Flag::Default)
//                            .Into(Button_Next)
//                            .OnClick(this, &TMyForm::Button_NextClick),
//                    }));
//
// Every kind is a Kind value with a factory of its own: a new kind (also one outside the
// toolkit) is a new Kind constant, no switch is edited.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/Exception.h"
#include "toolkit/Canvas.h"
#include "toolkit/Control.h"
#include "toolkit/Form.h"
#include "toolkit/Painted.h"
#include "toolkit/StdControls.h"

namespace toolkit {

struct ControlSpec;

// "No colour given": the kind's or the parent's own colour stays.
constexpr COLORREF kNoColor = 0xFFFFFFFFu;

// A handler bound to an object: Bind(this, &TForm1::Button_NextClick).
template <typename F, typename... Args>
std::function<void(Args...)> Bind(F* self, void (F::*method)(Args...)) {
  return [self, method](Args... args) { (self->*method)(std::forward<Args>(args)...); };
}

// Flags of a control row, by name.
enum class Flag : unsigned {
  None = 0,
  Hidden = 1u << 0,          // made invisible
  Disabled = 1u << 1,        // made disabled
  Default = 1u << 2,         // button: gets Enter from the whole form
  Cancel = 1u << 3,          // button: gets Esc from the whole form
  Checked = 1u << 4,         // check box or radio button: checked (no OnClick at building)
  Group = 1u << 5,           // radio button: begins a new group
  DoubleBuffered = 1u << 6,  // paints through an off-screen bitmap
  AutoSize = 1u << 7,        // image: sized to its picture
  Transparent = 1u << 8,     // image: the colour of the bottom-left pixel lets the parent show
  RightJustified = 1u << 9,  // label: right-aligned, its right edge stays at the row's left
  Centered = 1u << 10,       // label: centred text
  HandPointer = 1u << 11,    // the hand-shaped mouse pointer over the control
};
constexpr Flag operator|(Flag a, Flag b) { return static_cast<Flag>(static_cast<unsigned>(a) | static_cast<unsigned>(b)); }
constexpr bool Has(Flag set, Flag flag) { return (static_cast<unsigned>(set) & static_cast<unsigned>(flag)) != 0; }

// Font styles of a description.
enum class FontStyle : unsigned { None = 0, Bold = 1, Italic = 2, Underline = 4 };
constexpr FontStyle operator|(FontStyle a, FontStyle b) {
  return static_cast<FontStyle>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

// A font of a description. Fields left out (null name, height 0, kNoColor) are the parent's; a
// font given at all makes the control keep its own font from then on.
struct FontSpec {
  const char* name = nullptr;
  int height = 0;  // pixels, negative for the character height (-11 is 8 point at 96 DPI)
  FontStyle style = FontStyle::None;
  COLORREF color = kNoColor;  // the text colour
  bool given = false;
  // Puts the given fields into `font`.
  void ApplyTo(TFont& font) const;
};

// A control kind: its name and the factory that makes a control of it from a row.
struct Kind {
  using Factory = TComponent* (*)(TForm& form, TControl* parent, const ControlSpec& row);
  const char* name;
  Factory make;

  static const Kind Button;       // push button; Flag::Default, Flag::Cancel, ModalResult
  static const Kind CheckBox;     // Flag::Checked
  static const Kind RadioButton;  // Flag::Checked, Flag::Group
  static const Kind GroupBox;     // a frame with the caption, holding controls
  static const Kind Label;        // one line; width or height 0 sizes it to its text
  static const Kind WrapLabel;    // words wrapped inside the rectangle
  static const Kind Edit;         // single-line edit; the caption is its text
  static const Kind ListBox;      // owner-drawn, ItemHeight
  static const Kind ComboBox;     // editable drop-down, DropDownCount, Items
  static const Kind SpinEdit;     // Range (without one: the whole 32-bit range), Value
  static const Kind ProgressBar;  // Range (minimum, maximum, position), Value (position)
  static const Kind Image;        // Flag::AutoSize, Flag::Transparent
  static const Kind PaintBox;     // OnPaint
  static const Kind HLine;        // an etched line along the top of the rectangle
  static const Kind VLine;        // an etched line along its left edge
  static const Kind Panel;        // a container; a caption is painted centred
  static const Kind PageControl;  // pages without tabs, chosen by index or name
  static const Kind Page;         // a page; `parent` names its page container
};

// One row of a form description. The first five fields are positional; the rest are set by
// name with the chained setters.
struct ControlSpec {
  const char* name = "";
  Kind kind = Kind::Panel;
  const char* parent = "";  // an earlier row (empty: the form); see BuildControls
  const char* caption = "";
  TBounds bounds;
  std::function<void(TComponent*)> bind;  // stores the made component in the form's member

  Flag flags = Flag::None;
  FontSpec font;
  COLORREF color = kNoColor;  // the background
  bool hasRange = false, hasValue = false;
  int minValue = 0, maxValue = 0, value = 0;
  int itemHeight = 0, dropDownCount = 0;
  std::vector<std::string> items;
  int modalResult = 0;
  // Each puts one handler into the made control; run after everything else is set.
  std::vector<std::function<void(TComponent*)>> wiring;

  template <typename T>
  ControlSpec& Into(T*& member) {
    bind = [&member](TComponent* c) { member = static_cast<T*>(c); };
    return *this;
  }
  ControlSpec& Flags(Flag f) {
    flags = flags | f;
    return *this;
  }
  ControlSpec& Font(const char* face, int height, FontStyle style = FontStyle::None, COLORREF textColor = kNoColor) {
    font = FontSpec{face, height, style, textColor, true};
    return *this;
  }
  ControlSpec& TextColor(COLORREF textColor) {
    font.color = textColor;
    font.given = true;
    return *this;
  }
  ControlSpec& Color(COLORREF background) {
    color = background;
    return *this;
  }
  // Spin edit: range and value; progress bar: range and position.
  ControlSpec& Range(int minimum, int maximum, int initial) {
    hasRange = hasValue = true;
    minValue = minimum;
    maxValue = maximum;
    value = initial;
    return *this;
  }
  // The kind's own number alone: a spin edit's value, a progress bar's position, an
  // animation's frame interval.
  ControlSpec& Value(int number) {
    hasValue = true;
    value = number;
    return *this;
  }
  ControlSpec& ItemHeight(int pixels) {
    itemHeight = pixels;
    return *this;
  }
  ControlSpec& DropDownCount(int rows) {
    dropDownCount = rows;
    return *this;
  }
  ControlSpec& Items(std::vector<std::string> list) {
    items = std::move(list);
    return *this;
  }
  // Button: a click sets the form's modal result (which ends a modal show).
  ControlSpec& ModalResult(int result) {
    modalResult = result;
    return *this;
  }

  // Handlers, each bound to a member of the form (OnClick(this, &TForm1::Button_NextClick)) or
  // given as a function. A handler that the kind does not have makes Build throw.
  ControlSpec& OnClick(TNotifyEvent h) { return Event("OnClick", &TControl::OnClick, std::move(h)); }
  ControlSpec& OnEnter(TNotifyEvent h) { return Event("OnEnter", &TControl::OnEnter, std::move(h)); }
  ControlSpec& OnExit(TNotifyEvent h) { return Event("OnExit", &TControl::OnExit, std::move(h)); }
  ControlSpec& OnKeyPress(TKeyPressEvent h) { return Event("OnKeyPress", &TControl::OnKeyPress, std::move(h)); }
  ControlSpec& OnPaint(TNotifyEvent h) { return Event("OnPaint", &TPaintBox::OnPaint, std::move(h)); }
  ControlSpec& OnDrawItem(TListBox::TDrawItemEvent h) { return Event("OnDrawItem", &TListBox::OnDrawItem, std::move(h)); }
  ControlSpec& OnMouseEnter(TNotifyEvent h) { return Event("OnMouseEnter", &TLabel::OnMouseEnter, std::move(h)); }
  ControlSpec& OnMouseLeave(TNotifyEvent h) { return Event("OnMouseLeave", &TLabel::OnMouseLeave, std::move(h)); }
  ControlSpec& OnMouseDown(TNotifyEvent h) { return Event("OnMouseDown", &TLabel::OnMouseDown, std::move(h)); }
  ControlSpec& OnMouseUp(TNotifyEvent h) { return Event("OnMouseUp", &TLabel::OnMouseUp, std::move(h)); }
  // OnChange of an edit or a spin edit.
  ControlSpec& OnChange(TNotifyEvent h);

  template <typename F> ControlSpec& OnClick(F* self, void (F::*m)(TComponent*)) { return OnClick(Bind(self, m)); }
  template <typename F> ControlSpec& OnEnter(F* self, void (F::*m)(TComponent*)) { return OnEnter(Bind(self, m)); }
  template <typename F> ControlSpec& OnExit(F* self, void (F::*m)(TComponent*)) { return OnExit(Bind(self, m)); }
  template <typename F> ControlSpec& OnKeyPress(F* self, void (F::*m)(TComponent*, char&)) { return OnKeyPress(Bind(self, m)); }
  template <typename F> ControlSpec& OnPaint(F* self, void (F::*m)(TComponent*)) { return OnPaint(Bind(self, m)); }
  template <typename F>
  ControlSpec& OnDrawItem(F* self, void (F::*m)(TComponent*, int, const RECT&, bool)) { return OnDrawItem(Bind(self, m)); }
  template <typename F> ControlSpec& OnMouseEnter(F* self, void (F::*m)(TComponent*)) { return OnMouseEnter(Bind(self, m)); }
  template <typename F> ControlSpec& OnMouseLeave(F* self, void (F::*m)(TComponent*)) { return OnMouseLeave(Bind(self, m)); }
  template <typename F> ControlSpec& OnMouseDown(F* self, void (F::*m)(TComponent*)) { return OnMouseDown(Bind(self, m)); }
  template <typename F> ControlSpec& OnMouseUp(F* self, void (F::*m)(TComponent*)) { return OnMouseUp(Bind(self, m)); }
  template <typename F> ControlSpec& OnChange(F* self, void (F::*m)(TComponent*)) { return OnChange(Bind(self, m)); }

  // Puts `handler` into the event field `field` of a control of class C.
  template <typename C, typename E>
  ControlSpec& Event(const char* eventName, E C::*field, E handler) {
    const char* rowName = name;
    wiring.push_back([eventName, rowName, field, handler](TComponent* made) {
      auto* target = dynamic_cast<C*>(made);
      if (!target) throw base::Exception(std::string("Das Ereignis ") + eventName + " passt nicht zu " + rowName);
      target->*field = handler;
    });
    return *this;
  }
};

// A row: name, kind, parent, caption, rectangle.
inline ControlSpec Row(const char* name, Kind kind, const char* parent = "", const char* caption = "",
                       TBounds bounds = {}) {
  ControlSpec row;
  row.name = name;
  row.kind = kind;
  row.parent = parent;
  row.caption = caption;
  row.bounds = bounds;
  return row;
}

// Flags of a form.
enum class FormFlag : unsigned {
  None = 0,
  MinimizeBox = 1u << 0,     // a minimise box beside the system menu
  DialogFrame = 1u << 1,     // the frame of a dialog
  KeyPreview = 1u << 2,      // the form sees each key before the focused control
  DoubleBuffered = 1u << 3,  // the form and its painted controls paint off screen first
};
constexpr FormFlag operator|(FormFlag a, FormFlag b) {
  return static_cast<FormFlag>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool Has(FormFlag set, FormFlag flag) { return (static_cast<unsigned>(set) & static_cast<unsigned>(flag)) != 0; }

// The description of a whole form: a single fixed frame with caption and system menu, centred
// on the screen; its controls in creation order (which is also the tab order).
struct FormSpec {
  FormSpec(const char* caption, int clientWidth, int clientHeight)
      : caption(caption), clientWidth(clientWidth), clientHeight(clientHeight) {}

  const char* caption;
  int clientWidth, clientHeight;
  FormFlag flags = FormFlag::None;
  FontSpec font;
  COLORREF color = kNoColor;
  const char* initialFocus = nullptr;  // the name of the control that gets the focus first
  TNotifyEvent onCreate, onShow, onDestroy, onClose;
  std::function<void(TComponent*, bool&)> onCloseQuery;
  TKeyPressEvent onKeyPress;
  std::vector<ControlSpec> controls;

  FormSpec& Flags(FormFlag f) {
    flags = flags | f;
    return *this;
  }
  FormSpec& Font(const char* face, int height, FontStyle style = FontStyle::None, COLORREF textColor = kNoColor) {
    font = FontSpec{face, height, style, textColor, true};
    return *this;
  }
  FormSpec& Color(COLORREF background) {
    color = background;
    return *this;
  }
  FormSpec& InitialFocus(const char* controlName) {
    initialFocus = controlName;
    return *this;
  }
  template <typename F> FormSpec& OnCreate(F* self, void (F::*m)(TComponent*)) { onCreate = Bind(self, m); return *this; }
  template <typename F> FormSpec& OnShow(F* self, void (F::*m)(TComponent*)) { onShow = Bind(self, m); return *this; }
  template <typename F> FormSpec& OnDestroy(F* self, void (F::*m)(TComponent*)) { onDestroy = Bind(self, m); return *this; }
  template <typename F> FormSpec& OnClose(F* self, void (F::*m)(TComponent*)) { onClose = Bind(self, m); return *this; }
  template <typename F> FormSpec& OnCloseQuery(F* self, void (F::*m)(TComponent*, bool&)) { onCloseQuery = Bind(self, m); return *this; }
  template <typename F> FormSpec& OnKeyPress(F* self, void (F::*m)(TComponent*, char&)) { onKeyPress = Bind(self, m); return *this; }
  FormSpec& Controls(std::vector<ControlSpec> rows) {
    controls = std::move(rows);
    return *this;
  }
};

// Builds the controls of `rows` on `form`, each owned by the form and (except pages) named by
// its row. A row's `parent` names an earlier row; when two rows share a name (pages of two
// containers), the nearest earlier one counts, and "Container.Page" names a page exactly.
// Throws base::Exception for an unknown parent, a duplicate name ("Komponente mit der
// Bezeichnung %s existiert bereits"), a flag or handler the kind does not have, or a kind whose
// control cannot be made; the controls made before stay with the form.
void BuildControls(TForm& form, const std::vector<ControlSpec>& rows);

// Gives `form` its caption, frame, client size, font, colour, flags and events, centres it on
// the screen and builds its controls. Throws as BuildControls does.
void Build(TForm& form, const FormSpec& layout);

}  // namespace toolkit
