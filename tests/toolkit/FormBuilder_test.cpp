// Forms from descriptions: what each row's flags, font, colour, range and handlers make of the
// control, the form's own description, parent names (pages of the same name in two containers),
// and the rows the builder refuses.
#include "toolkit/FormBuilder.h"

#include <windows.h>

#include <commctrl.h>

#include "ToolkitTestSupport.h"

namespace {

using namespace toolkit;
using tktest::AppTest;

LOGFONTA FontOf(const TControl* c) {
  LOGFONTA lf{};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(c->Handle(), WM_GETFONT, 0, 0)), sizeof lf, &lf);
  return lf;
}

bool Checked(const TControl* c) { return SendMessageA(c->Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED; }
LONG_PTR Style(const TControl* c) { return GetWindowLongPtrA(c->Handle(), GWL_STYLE); }

// A form described by one table, events included.
class TDescribed : public TForm {
 public:
  explicit TDescribed(TComponent* owner) : TForm(owner, "TDescribed") {
    Build(*this, FormSpec("Beschrieben", 500, 300)
                     .Flags(FormFlag::KeyPreview | FormFlag::DoubleBuffered)
                     .Font("Verdana", -11)
                     .Color(RGB(255, 255, 255))
                     .InitialFocus("Next")
                     .OnShow(this, &TDescribed::FormShow)
                     .Controls({
                         Row("Title", Kind::Panel, "", "Willkommen", {232, 8, 217, 41})
                             .Font("Verdana", -19, FontStyle::Bold, RGB(255, 255, 255))
                             .Color(RGB(49, 106, 197))
                             .Into(Title),
                         Row("Next", Kind::Button, "", "Weiter >", {100, 260, 83, 25})
                             .Flags(Flag::Default)
                             .Into(Next)
                             .OnClick(this, &TDescribed::NextClick),
                         Row("Cancel", Kind::Button, "", "Abbrechen", {10, 260, 83, 25}).Flags(Flag::Cancel | Flag::Disabled),
                         Row("Hidden", Kind::Button, "", "Versteckt", {200, 260, 83, 25}).Flags(Flag::Hidden),
                         Row("Restart", Kind::CheckBox, "", "Neu starten", {10, 60, 200, 17}).Flags(Flag::Checked),
                         Row("Never", Kind::RadioButton, "", "Niemals", {10, 80, 200, 17}),
                         Row("Often", Kind::RadioButton, "", "Regelmäßig", {10, 100, 200, 17}).Flags(Flag::Checked),
                         Row("Other", Kind::RadioButton, "", "Andere Gruppe", {10, 120, 200, 17}).Flags(Flag::Group | Flag::Checked),
                         Row("Interval", Kind::SpinEdit, "", "", {10, 140, 49, 22}).Range(1, 365, 400).Into(Interval),
                         Row("Status", Kind::ProgressBar, "", "", {10, 170, 337, 25}).Range(0, 1000, 250),
                         Row("PerCent", Kind::Label, "", "25 %", {10, 200, 337, 13})
                             .Font("MS Sans Serif", -11, FontStyle::Bold)
                             .Flags(Flag::Centered),
                         Row("Plain", Kind::Label, "", "Text", {10, 220, 0, 0}).TextColor(RGB(1, 2, 3)),
                         Row("Field", Kind::Edit, "", "Anfang", {300, 60, 100, 21}).OnChange(this, &TDescribed::FieldChange),
                     }));
  }
  void FormShow(TComponent*) { ++shows; }
  void NextClick(TComponent* sender) { clicked.push_back(static_cast<TControl*>(sender)->Name()); }
  void FieldChange(TComponent*) { ++changes; }
  TPanel* Title = nullptr;
  TButton* Next = nullptr;
  TSpinEdit* Interval = nullptr;
  int shows = 0, changes = 0;
  std::vector<std::string> clicked;
  TControl* Get(const char* name) { return dynamic_cast<TControl*>(FindComponent(name)); }
};

TEST_F(AppTest, ADescriptionGivesEachControlWhatItsRowSays) {
  auto* form = app->CreateForm<TDescribed>();
  RECT client;
  GetClientRect(form->Handle(), &client);
  EXPECT_EQ(client.right, 500);
  EXPECT_EQ(client.bottom, 300);
  EXPECT_EQ(form->Text(), "Beschrieben");
  EXPECT_TRUE(form->KeyPreview());
  EXPECT_TRUE(form->DoubleBuffered());
  EXPECT_EQ(Style(form) & WS_MINIMIZEBOX, 0) << "no minimise box unless asked for";
  struct Case {
    const char* name;
    bool visible, enabled, checked;
  };
  const Case cases[] = {
      {"Next", true, true, false},   {"Cancel", true, false, false}, {"Hidden", false, true, false},
      {"Restart", true, true, true}, {"Never", true, true, false},   {"Often", true, true, true},
      {"Other", true, true, true},  // a group of its own
  };
  for (const Case& c : cases) {
    TControl* control = form->Get(c.name);
    ASSERT_NE(control, nullptr) << c.name;
    EXPECT_EQ((Style(control) & WS_VISIBLE) != 0, c.visible) << c.name;
    EXPECT_EQ(control->Enabled(), c.enabled) << c.name;
    EXPECT_EQ(Checked(control), c.checked) << c.name;
  }
  EXPECT_EQ(Style(form->Next) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  form->ShowForm();
  EXPECT_EQ(form->shows, 1);
  EXPECT_EQ(form->ActiveControl(), form->Next) << "the initial focus";
  EXPECT_EQ(form->DefaultButton(), form->Next);
  EXPECT_EQ(form->CancelButton(), nullptr) << "the cancel button is disabled";
  EXPECT_EQ(Style(form->Get("Other")) & WS_GROUP, WS_GROUP);
  // Range and value: the value is brought into the range.
  EXPECT_EQ(form->Interval->MinValue(), 1);
  EXPECT_EQ(form->Interval->MaxValue(), 365);
  EXPECT_EQ(form->Interval->Text(), "365");
  auto* bar = static_cast<TProgressBar*>(form->Get("Status"));
  EXPECT_EQ(SendMessageA(bar->Handle(), PBM_GETRANGE, FALSE, 0), 1000);
  EXPECT_EQ(bar->Position(), 250);
  // Fonts: given ones are the control's own, the rest follow the form's.
  // (a panel paints itself with its font; the system controls were sent theirs)
  LOGFONTA next = FontOf(form->Next), perCent = FontOf(form->Get("PerCent"));
  EXPECT_EQ(form->Title->Font().Name(), "Verdana");
  EXPECT_EQ(form->Title->Font().Height(), -19);
  EXPECT_TRUE(form->Title->Font().Bold());
  EXPECT_EQ(form->Title->Font().Color(), RGB(255, 255, 255));
  EXPECT_EQ(form->Title->Color(), RGB(49, 106, 197));
  EXPECT_FALSE(form->Title->ParentFont());
  EXPECT_STREQ(next.lfFaceName, "Verdana");
  EXPECT_EQ(next.lfWeight, FW_NORMAL);
  EXPECT_TRUE(form->Next->ParentFont());
  EXPECT_STREQ(perCent.lfFaceName, "MS Sans Serif");
  EXPECT_EQ(perCent.lfWeight, FW_BOLD);
  EXPECT_EQ(Style(form->Get("PerCent")) & SS_TYPEMASK, SS_CENTER);
  EXPECT_EQ(form->Get("Plain")->Font().Color(), RGB(1, 2, 3));
  EXPECT_EQ(form->Next->Color(), RGB(255, 255, 255)) << "the form's colour";
  // Handlers are bound to the form's members; no checked flag clicked anything while building.
  EXPECT_TRUE(form->clicked.empty());
  SendMessageA(form->Next->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(form->clicked, std::vector<std::string>{"Next"});
  SetWindowTextA(form->Get("Field")->Handle(), "Ende");
  EXPECT_EQ(form->changes, 1);
}

TEST_F(AppTest, PagesAreFoundByIndexByNameAndByTheirContainer) {
  auto* form = app->CreateForm<tktest::TTestForm>();
  TPageControl *pages = nullptr, *buttons = nullptr;
  BuildControls(*form, {
                           Row("Pages", Kind::PageControl, "", "", {0, 0, 200, 150}).Into(pages),
                           Row("Bestätigung1", Kind::Page, "Pages"),
                           Row("Einstellungen", Kind::Page, "Pages"),
                           Row("Group1", Kind::GroupBox, "Einstellungen", "Wie oft?", {8, 8, 180, 100}),
                           Row("Buttons", Kind::PageControl, "", "", {0, 160, 200, 40}).Into(buttons),
                           Row("Standard", Kind::Page, "Buttons"),
                           Row("Einstellungen", Kind::Page, "Buttons"),
                           Row("Save", Kind::Button, "Einstellungen", "Speichern", {100, 6, 83, 25}),
                           Row("Welcome", Kind::Label, "Pages.Bestätigung1", "Willkommen", {8, 8, 0, 0}),
                       });
  auto parentPage = [&](const char* name) {
    return static_cast<TPage*>(static_cast<TControl*>(form->FindComponent(name))->Parent());
  };
  EXPECT_EQ(parentPage("Group1"), pages->Page(1)) << "the nearest earlier page of that name";
  EXPECT_EQ(parentPage("Save"), buttons->Page(1));
  EXPECT_EQ(parentPage("Welcome"), pages->Page(0)) << "Container.Page names it exactly";
  EXPECT_EQ(pages->PageCount(), 2);
  EXPECT_EQ(pages->PageIndex(), 0);
  EXPECT_EQ(pages->ActivePageName(), "Bestätigung1");
  pages->SetActivePage("Einstellungen");
  EXPECT_EQ(pages->PageIndex(), 1);
  EXPECT_TRUE(pages->Page(1)->Visible());
  EXPECT_FALSE(pages->Page(0)->Visible());
  EXPECT_EQ(pages->IndexOfPage("einstellungen"), -1) << "page names compare exactly";
  try {
    pages->SetActivePage("Download");
    ADD_FAILURE() << "an unknown page";
  } catch (const base::Exception& e) {
    EXPECT_EQ(e.Message(), "Seite Download nicht gefunden");
  }
  pages->SetPageIndex(7);
  EXPECT_EQ(pages->PageIndex(), 1) << "an index outside the pages changes nothing";
  EXPECT_EQ(pages->Page(7), nullptr);
}

// A kind from outside the toolkit: a new constant with its factory, no switch edited.
TComponent* MakeStar(TForm& form, TControl* parent, const ControlSpec& row) {
  auto* box = new TPaintBox(&form, parent, row.bounds);
  box->SetColor(RGB(255, 215, 0));
  return box;
}
const Kind kStar{"Star", &MakeStar};

TEST_F(AppTest, TheBuilderRefusesRowsThatDoNotFitAndTakesNewKinds) {
  auto* form = app->CreateForm<tktest::TTestForm>();
  TPaintBox* star = nullptr;
  BuildControls(*form, {Row("Star1", kStar, "", "", {1, 2, 30, 40}).Into(star)});
  ASSERT_NE(star, nullptr);
  EXPECT_EQ(star->Color(), RGB(255, 215, 0));
  EXPECT_EQ(star->Name(), "Star1");
  EXPECT_EQ(star->BoundsRect().bottom, 42);
  struct Case {
    ControlSpec row;
    const char* error;
  };
  const Case cases[] = {
      {Row("A", Kind::Button).Flags(Flag::Checked), "Die Eigenschaft Checked passt nicht zu A"},
      {Row("B", Kind::Label).Flags(Flag::Default), "Die Eigenschaft Default/Cancel/ModalResult passt nicht zu B"},
      {Row("C", Kind::CheckBox).Flags(Flag::Group), "Die Eigenschaft Group passt nicht zu C"},
      {Row("D", Kind::Button).OnDrawItem([](TComponent*, int, const RECT&, bool) {}), "Das Ereignis OnDrawItem passt nicht zu D"},
      {Row("E", Kind::Label).OnChange([](TComponent*) {}), "Das Ereignis OnChange passt nicht zu E"},
      {Row("F", Kind::Button, "Nirgends"), "Steuerelement Nirgends nicht gefunden"},
      {Row("G", Kind::Page, "Star1"), "Seite G ohne Seitencontainer"},
      {Row("star1", Kind::Button), "Komponente mit der Bezeichnung star1 existiert bereits"},
  };
  for (const Case& c : cases) {
    try {
      BuildControls(*form, {c.row});
      ADD_FAILURE() << c.row.name << " was taken";
    } catch (const base::Exception& e) {
      EXPECT_EQ(e.Message(), c.error);
    }
  }
  EXPECT_EQ(form->FindComponent("star1"), star) << "the refused duplicate is gone again";
}

}  // namespace
