// The form builder: one factory per control kind, the properties every row may carry, and the
// form's own description.
#include "toolkit/FormBuilder.h"

#include <climits>
#include <map>

#include "base/StrUtils.h"

namespace toolkit {

void FontSpec::ApplyTo(TFont& target) const {
  if (name) target.SetName(name);
  if (height != 0) target.SetHeight(height);
  auto has = [this](FontStyle s) { return (static_cast<unsigned>(style) & static_cast<unsigned>(s)) != 0; };
  target.SetBold(has(FontStyle::Bold));
  target.SetItalic(has(FontStyle::Italic));
  target.SetUnderline(has(FontStyle::Underline));
  if (color != kNoColor) target.SetColor(color);
}

ControlSpec& ControlSpec::OnChange(TNotifyEvent h) {
  const char* rowName = name;
  wiring.push_back([rowName, h](TComponent* made) {
    if (auto* edit = dynamic_cast<TEdit*>(made)) {
      edit->OnChange = h;
    } else if (auto* spin = dynamic_cast<TSpinEdit*>(made)) {
      spin->OnChange = h;
    } else {
      throw base::Exception(std::string("Das Ereignis OnChange passt nicht zu ") + rowName);
    }
  });
  return *this;
}

// ---- one factory per kind ------------------------------------------------------------------

namespace {

TComponent* MakeButton(TForm& form, TControl* parent, const ControlSpec& r) {
  auto* b = new TButton(&form, parent, r.caption, r.bounds, Has(r.flags, Flag::Default), Has(r.flags, Flag::Cancel));
  b->SetModalResult(r.modalResult);
  return b;
}
TComponent* MakeCheckBox(TForm& form, TControl* parent, const ControlSpec& r) {
  return new TCheckBox(&form, parent, r.caption, r.bounds);
}
TComponent* MakeRadioButton(TForm& form, TControl* parent, const ControlSpec& r) {
  auto* radio = new TRadioButton(&form, parent, r.caption, r.bounds);
  if (Has(r.flags, Flag::Group)) radio->SetGroupStart(true);
  return radio;
}
TComponent* MakeGroupBox(TForm& form, TControl* parent, const ControlSpec& r) {
  return new TGroupBox(&form, parent, r.caption, r.bounds);
}
TComponent* MakeLabel(TForm& form, TControl* parent, const ControlSpec& r) {
  return new TLabel(&form, parent, r.caption, r.bounds, false);
}
TComponent* MakeWrapLabel(TForm& form, TControl* parent, const ControlSpec& r) {
  return new TLabel(&form, parent, r.caption, r.bounds, true);
}
TComponent* MakeEdit(TForm& form, TControl* parent, const ControlSpec& r) {
  return new TEdit(&form, parent, r.caption, r.bounds);
}
TComponent* MakeListBox(TForm& form, TControl* parent, const ControlSpec& r) {
  return new TListBox(&form, parent, r.bounds, r.itemHeight);
}
TComponent* MakeComboBox(TForm& form, TControl* parent, const ControlSpec& r) {
  return new TComboBox(&form, parent, r.bounds, r.dropDownCount, r.items);
}
TComponent* MakeSpinEdit(TForm& form, TControl* parent, const ControlSpec& r) {
  if (!r.hasRange) return new TSpinEdit(&form, parent, r.bounds, INT_MIN, INT_MAX, r.value);
  return new TSpinEdit(&form, parent, r.bounds, r.minValue, r.maxValue, r.value);
}
TComponent* MakeProgressBar(TForm& form, TControl* parent, const ControlSpec& r) {
  auto* bar = new TProgressBar(&form, parent, r.bounds);
  if (r.hasRange) bar->SetRange(r.minValue, r.maxValue);
  if (r.hasValue) bar->SetPosition(r.value);
  return bar;
}
TComponent* MakeImage(TForm& form, TControl* parent, const ControlSpec& r) {
  auto* image = new TImage(&form, parent, r.bounds);
  image->SetAutoSize(Has(r.flags, Flag::AutoSize));
  image->SetTransparent(Has(r.flags, Flag::Transparent));
  return image;
}
TComponent* MakePaintBox(TForm& form, TControl* parent, const ControlSpec& r) {
  return new TPaintBox(&form, parent, r.bounds);
}
TComponent* MakeHLine(TForm& form, TControl* parent, const ControlSpec& r) {
  return new TBevel(&form, parent, r.bounds, TBevel::Shape::TopLine);
}
TComponent* MakeVLine(TForm& form, TControl* parent, const ControlSpec& r) {
  return new TBevel(&form, parent, r.bounds, TBevel::Shape::LeftLine);
}
TComponent* MakePanel(TForm& form, TControl* parent, const ControlSpec& r) {
  return new TPanel(&form, parent, r.bounds, r.caption);
}
TComponent* MakePageControl(TForm& form, TControl* parent, const ControlSpec& r) {
  return new TPageControl(&form, parent, r.bounds);
}
TComponent* MakePage(TForm&, TControl* parent, const ControlSpec& r) {
  auto* pages = dynamic_cast<TPageControl*>(parent);
  if (!pages) throw base::Exception(std::string("Seite ") + r.name + " ohne Seitencontainer");
  return pages->AddPage(r.name);
}

}  // namespace

const Kind Kind::Button{"Button", &MakeButton};
const Kind Kind::CheckBox{"CheckBox", &MakeCheckBox};
const Kind Kind::RadioButton{"RadioButton", &MakeRadioButton};
const Kind Kind::GroupBox{"GroupBox", &MakeGroupBox};
const Kind Kind::Label{"Label", &MakeLabel};
const Kind Kind::WrapLabel{"WrapLabel", &MakeWrapLabel};
const Kind Kind::Edit{"Edit", &MakeEdit};
const Kind Kind::ListBox{"ListBox", &MakeListBox};
const Kind Kind::ComboBox{"ComboBox", &MakeComboBox};
const Kind Kind::SpinEdit{"SpinEdit", &MakeSpinEdit};
const Kind Kind::ProgressBar{"ProgressBar", &MakeProgressBar};
const Kind Kind::Image{"Image", &MakeImage};
const Kind Kind::PaintBox{"PaintBox", &MakePaintBox};
const Kind Kind::HLine{"HLine", &MakeHLine};
const Kind Kind::VLine{"VLine", &MakeVLine};
const Kind Kind::Panel{"Panel", &MakePanel};
const Kind Kind::PageControl{"PageControl", &MakePageControl};
const Kind Kind::Page{"Page", &MakePage};

// ---- rows ----------------------------------------------------------------------------------

namespace {

// The flags each class of control takes; the rest of a row's flags must be none.
[[noreturn]] void Misfit(const ControlSpec& r, const char* what) {
  throw base::Exception(std::string("Die Eigenschaft ") + what + " passt nicht zu " + r.name);
}

void ApplyRow(TComponent* made, const ControlSpec& r) {
  auto* control = dynamic_cast<TControl*>(made);
  if (!control) {
    if (r.flags != Flag::None || r.font.given || r.color != kNoColor) Misfit(r, "eines Steuerelements");
  } else {
    if (r.font.given) {
      r.font.ApplyTo(control->Font());
      control->FontChanged();
    }
    if (r.color != kNoColor) control->SetColor(r.color);
    if (Has(r.flags, Flag::Hidden)) control->Hide();
    if (Has(r.flags, Flag::Disabled)) control->SetEnabled(false);
    if (Has(r.flags, Flag::DoubleBuffered)) control->SetDoubleBuffered(true);
    if (Has(r.flags, Flag::HandPointer)) control->SetCursor(LoadCursorA(nullptr, IDC_HAND));
    if ((Has(r.flags, Flag::Default) || Has(r.flags, Flag::Cancel) || r.modalResult) && !dynamic_cast<TButton*>(control))
      Misfit(r, "Default/Cancel/ModalResult");
    if (Has(r.flags, Flag::Group) && !dynamic_cast<TRadioButton*>(control)) Misfit(r, "Group");
    if ((Has(r.flags, Flag::AutoSize) || Has(r.flags, Flag::Transparent)) && !dynamic_cast<TImage*>(control))
      Misfit(r, "AutoSize/Transparent");
    if (Has(r.flags, Flag::Checked)) {
      if (auto* box = dynamic_cast<TCheckBox*>(control)) {
        box->SetChecked(true);
      } else if (auto* radio = dynamic_cast<TRadioButton*>(control)) {
        radio->SetChecked(true);
      } else {
        Misfit(r, "Checked");
      }
    }
    if (Has(r.flags, Flag::RightJustified) || Has(r.flags, Flag::Centered)) {
      auto* label = dynamic_cast<TLabel*>(control);
      if (!label) Misfit(r, "RightJustified/Centered");
      if (Has(r.flags, Flag::RightJustified)) label->SetRightJustified(r.bounds.left);
      if (Has(r.flags, Flag::Centered)) label->SetCentered();
    }
  }
  if (r.bind) r.bind(made);
  for (const auto& wire : r.wiring) wire(made);
}

}  // namespace

void BuildControls(TForm& form, const std::vector<ControlSpec>& rows) {
  // Rows made so far by name; a later row of the same name hides an earlier one.
  std::multimap<std::string, TComponent*> made;
  auto find = [&](const std::string& name) -> TControl* {
    auto dot = name.find('.');
    if (dot != std::string::npos) {
      auto* pages = dynamic_cast<TPageControl*>(form.FindComponent(name.substr(0, dot)));
      if (pages) {
        int index = pages->IndexOfPage(name.substr(dot + 1));
        if (index >= 0) return pages->Page(index);
      }
      return nullptr;
    }
    auto range = made.equal_range(name);
    if (range.first != range.second) return dynamic_cast<TControl*>(std::prev(range.second)->second);
    return dynamic_cast<TControl*>(form.FindComponent(name));
  };
  for (const ControlSpec& r : rows) {
    TControl* parent = &form;
    if (r.parent && *r.parent) {
      parent = find(r.parent);
      if (!parent) throw base::Exception(std::string("Steuerelement ") + r.parent + " nicht gefunden");
    }
    TComponent* component = r.kind.make(form, parent, r);
    if (!component) throw base::Exception(std::string("Steuerelement ") + r.name + " kann nicht erstellt werden");
    if (r.kind.make != Kind::Page.make) {  // pages are no named components
      try {
        component->SetName(r.name);
      } catch (...) {
        component->Free();
        throw;
      }
    }
    made.emplace(r.name, component);
    ApplyRow(component, r);
  }
}

void Build(TForm& form, const FormSpec& layout) {
  DWORD style = WS_CAPTION | WS_SYSMENU;
  if (Has(layout.flags, FormFlag::MinimizeBox)) style |= WS_MINIMIZEBOX;
  DWORD exStyle = Has(layout.flags, FormFlag::DialogFrame) ? WS_EX_DLGMODALFRAME : 0;
  form.SetText(layout.caption ? layout.caption : "");
  form.SetFrame(style, exStyle, layout.clientWidth, layout.clientHeight);
  form.CenterOnScreen();
  if (layout.font.given) {
    layout.font.ApplyTo(form.Font());
    form.FontChanged();
  }
  if (layout.color != kNoColor) form.SetColor(layout.color);
  form.SetKeyPreview(Has(layout.flags, FormFlag::KeyPreview));
  form.SetDoubleBuffered(Has(layout.flags, FormFlag::DoubleBuffered));
  BuildControls(form, layout.controls);
  if (layout.initialFocus) {
    auto* focus = dynamic_cast<TControl*>(form.FindComponent(layout.initialFocus));
    if (!focus) throw base::Exception(std::string("Steuerelement ") + layout.initialFocus + " nicht gefunden");
    form.SetInitialFocus(focus);
  }
  if (layout.onCreate) form.OnCreate = layout.onCreate;
  if (layout.onShow) form.OnShow = layout.onShow;
  if (layout.onDestroy) form.OnDestroy = layout.onDestroy;
  if (layout.onClose) form.OnClose = layout.onClose;
  if (layout.onCloseQuery) form.OnCloseQuery = layout.onCloseQuery;
  if (layout.onKeyPress) form.OnKeyPress = layout.onKeyPress;
}

}  // namespace toolkit
