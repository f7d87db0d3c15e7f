// Forms: the end of a form (no handler after its destruction began, errors of destroy handlers),
// the modal show, keyboard navigation across the control kinds, spin edits forced into range,
// the Ctrl+U action, and windows recognised after the common controls subclassed them.
#include <windows.h>

#include <commctrl.h>

#include <iterator>

#include "ToolkitTestSupport.h"
#include "toolkit/Timer.h"

namespace {

using namespace toolkit;
using tktest::AppTest;
using tktest::FocusOn;
using tktest::PressKey;
using tktest::Settle;

// ---- the end of a form ---------------------------------------------------------------------

// A form whose focus handlers write down whether they ran before or after the form's
// destruction began (FormDestroy is its first step).
class TProbeForm : public TForm {
 public:
  TProbeForm(TComponent* owner, std::vector<std::string>* log) : TForm(owner, "TProbeForm"), log_(log) {
    Build(*this, FormSpec("Probe", 300, 220)
                     .OnDestroy(this, &TProbeForm::FormDestroy)
                     .Controls({
                         Row("Button1", Kind::Button, "", "OK", {10, 10, 75, 25}).Into(Button1).OnExit(this, &TProbeForm::Noted),
                         Row("Combo1", Kind::ComboBox, "", "", {10, 45, 120, 21})
                             .DropDownCount(4)
                             .Items({"eins", "zwei"})
                             .Into(Combo1)
                             .OnExit(this, &TProbeForm::Noted),
                         Row("Edit1", Kind::Edit, "", "Text", {10, 80, 120, 21}).Into(Edit1).OnExit(this, &TProbeForm::Noted),
                         Row("Spin1", Kind::SpinEdit, "", "", {10, 115, 60, 22}).Range(1, 365, 7).Into(Spin1).OnExit(this, &TProbeForm::Noted),
                         Row("Other", Kind::Button, "", "Anderes", {150, 10, 75, 25}).Into(Other),
                     }));
  }
  ~TProbeForm() override { state_ = "gone"; }
  void FormDestroy(TComponent*) { destroying_ = true; }
  void Noted(TComponent* sender) {
    log_->push_back(std::string(destroying_ ? "after " : "before ") + static_cast<TControl*>(sender)->Name() + " " + state_);
  }
  TButton* Button1 = nullptr;
  TComboBox* Combo1 = nullptr;
  TEdit* Edit1 = nullptr;
  TSpinEdit* Spin1 = nullptr;
  TButton* Other = nullptr;

 private:
  std::vector<std::string>* log_;
  bool destroying_ = false;
  std::string state_ = "alive";
};

TEST_F(AppTest, NoHandlerRunsOnceAFormsDestructionHasBegun) {
  struct Case {
    const char* focused;
    bool byApplication;  // the application's end, or Free of the form alone
  };
  const Case cases[] = {{"Button1", true}, {"Combo1", true}, {"Edit1", true}, {"Spin1", true},
                        {"Button1", false}, {"Combo1", false}, {"Edit1", false}, {"Spin1", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.focused) + (c.byApplication ? " at the application's end" : " freed"));
    std::vector<std::string> log;
    auto* form = app->CreateForm<TProbeForm>(&log);
    auto* focused = dynamic_cast<TControl*>(form->FindComponent(c.focused));
    ASSERT_NE(focused, nullptr);
    // The handler works while the form lives: leaving the control once is noted.
    FocusOn(*form, *form->Other);
    log.clear();
    FocusOn(*form, *focused);
    FocusOn(*form, *form->Other);
    ASSERT_EQ(log, std::vector<std::string>{std::string("before ") + c.focused + " alive"});
    FocusOn(*form, *focused);
    ASSERT_TRUE(focused->Focused());
    log.clear();
    if (c.byApplication) {
      app.reset();
      app = std::make_unique<TApplication>();
      app->SetTitle("Toolkit-Test");
    } else {
      form->Free();
      Settle(50);
    }
    EXPECT_TRUE(log.empty()) << log.front();
  }
}

// Components that write down their end.
class TNoted : public TComponent {
 public:
  TNoted(TComponent* owner, std::vector<std::string>* log, std::string name) : TComponent(owner), log_(log), name_(std::move(name)) {}
  ~TNoted() override { log_->push_back(name_); }

 private:
  std::vector<std::string>* log_;
  std::string name_;
};

TEST_F(AppTest, ComponentsEndInReverseOrderAndNamesAreUnique) {
  std::vector<std::string> log;
  auto* form = app->CreateForm<tktest::TTestForm>();
  for (const char* name : {"erste", "zweite", "dritte"}) {
    auto* c = new TNoted(form, &log, name);
    c->SetName(name);
  }
  // A duplicate name is refused, whatever its letter case; the first keeps its name.
  auto* late = new TNoted(form, &log, "vierte");
  struct Case {
    const char* name;
    const char* error;
  };
  const Case cases[] = {{"Zweite", "Komponente mit der Bezeichnung Zweite existiert bereits"},
                        {"ERSTE", "Komponente mit der Bezeichnung ERSTE existiert bereits"},
                        {"vierte", nullptr},
                        {"vierte", nullptr}};  // its own name again
  for (const Case& c : cases) {
    try {
      late->SetName(c.name);
      EXPECT_EQ(c.error, nullptr) << c.name;
    } catch (const base::Exception& e) {
      ASSERT_NE(c.error, nullptr) << c.name;
      EXPECT_EQ(e.Message(), c.error);
    }
  }
  EXPECT_EQ(form->FindComponent("ZWEITE")->Name(), "zweite");
  // Also through a form description.
  EXPECT_THROW(Build(*form, FormSpec("x", 100, 100).Controls({Row("Erste", Kind::Button)})), base::Exception);
  form->Free();
  EXPECT_EQ(log, (std::vector<std::string>{"vierte", "dritte", "zweite", "erste"}));
}

// A form whose destroy handler throws what a registry write without rights throws.
class TFailingForm : public TForm {
 public:
  TFailingForm(TComponent* owner, std::vector<std::string>* log, bool fails)
      : TForm(owner, "TFailingForm"), log_(log), fails_(fails) {
    Build(*this, FormSpec("F", 100, 100).OnDestroy(this, &TFailingForm::FormDestroy));
    new TNoted(this, log, "child of " + std::string(fails ? "failing" : "other"));
  }
  void FormDestroy(TComponent*) {
    log_->push_back(fails_ ? "destroy throws" : "destroy");
    if (fails_) throw base::Exception("Fehler beim Setzen der Daten für 'Update'");
  }

 private:
  std::vector<std::string>* log_;
  bool fails_;
};

TEST_F(AppTest, AThrowingDestroyHandlerIsShownAndTheOthersStillEnd) {
  std::vector<std::string> log;
  app->CreateForm<TFailingForm>(&log, false);
  app->CreateForm<TFailingForm>(&log, true);
  app->CreateForm<TFailingForm>(&log, false);
  app.reset();  // must not end the process
  EXPECT_EQ(log, (std::vector<std::string>{"destroy", "child of other", "destroy throws", "child of failing", "destroy",
                                           "child of other"}));
  EXPECT_EQ(boxes, std::vector<std::string>{"Toolkit-Test|Fehler beim Setzen der Daten für 'Update'"});
}

// ---- the modal show ------------------------------------------------------------------------

class TDialog : public TForm {
 public:
  explicit TDialog(TComponent* owner) : TForm(owner, "TDialog") {
    Build(*this, FormSpec("Dialog", 200, 100)
                     .Controls({Row("OK", Kind::Button, "", "OK", {60, 40, 75, 25}).ModalResult(mrOk).Into(OK)}));
  }
  TButton* OK = nullptr;
};

TEST_F(AppTest, AModalFormEndsOnItsResultItsCloseButtonAndTheQuitRequest) {
  auto* main = app->CreateForm<tktest::TTestForm>();
  auto* back = new TButton(main, main, "Zurück", {10, 10, 75, 25});
  auto* dialog = app->CreateForm<TDialog>();
  auto* driver = new TTimer(dialog);
  driver->SetInterval(100);
  struct Case {
    const char* how;
    std::function<void()> end;
    int result;
    bool terminated;
  };
  const Case cases[] = {
      {"OK clicked", [&] { PostMessageA(dialog->OK->Handle(), BM_CLICK, 0, 0); }, TForm::mrOk, false},
      {"close button", [&] { PostMessageA(dialog->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); }, TForm::mrCancel, false},
      {"quit request", [&] { app->Terminate(); }, TForm::mrCancel, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    FocusOn(*main, *back);
    bool mainDisabled = false;
    driver->OnTimer = [&](TComponent*) {
      mainDisabled = !IsWindowEnabled(main->Handle());
      driver->SetEnabled(false);
      c.end();
    };
    driver->SetEnabled(true);
    EXPECT_EQ(dialog->ShowModal(), c.result);
    EXPECT_TRUE(mainDisabled) << "the other windows wait";
    EXPECT_TRUE(IsWindowEnabled(main->Handle()));
    EXPECT_FALSE(dialog->Visible());
    EXPECT_EQ(GetFocus(), back->Handle()) << "the focus is back";
    EXPECT_EQ(app->Terminated(), c.terminated);
  }
}

// ---- keys ----------------------------------------------------------------------------------

// One control of every kind that takes the focus, in tab order.
class TKeysForm : public TForm {
 public:
  explicit TKeysForm(TComponent* owner) : TForm(owner, "TKeysForm") {
    Build(*this, FormSpec("Tasten", 420, 260)
                     .Controls({
                         Row("Button1", Kind::Button, "", "Eins", {10, 10, 75, 25}),
                         Row("Check1", Kind::CheckBox, "", "Prüfen", {10, 40, 120, 17}),
                         Row("Group1", Kind::GroupBox, "", "Gruppe", {10, 60, 180, 70}),
                         Row("Radio1", Kind::RadioButton, "Group1", "Niemals", {10, 18, 150, 17}).Flags(Flag::Checked),
                         Row("Radio2", Kind::RadioButton, "Group1", "Regelmäßig", {10, 40, 150, 17}),
                         Row("Edit1", Kind::Edit, "", "", {10, 140, 100, 21}),
                         Row("Spin1", Kind::SpinEdit, "", "", {10, 170, 60, 22}).Range(1, 365, 7),
                         Row("Combo1", Kind::ComboBox, "", "", {200, 10, 100, 21}).DropDownCount(3).Items({"a", "b"}),
                         Row("List1", Kind::ListBox, "", "", {200, 40, 150, 80}).ItemHeight(16),
                         Row("Button2", Kind::Button, "", "Zwei", {200, 140, 75, 25}),
                     }));
  }
  TControl* Get(const char* name) { return dynamic_cast<TControl*>(FindComponent(name)); }
};

TEST_F(AppTest, TabAndShiftTabWalkEveryKindAndArrowsStayInTheRadioGroup) {
  auto* form = app->CreateForm<TKeysForm>();
  const char* order[] = {"Button1", "Check1", "Radio1", "Edit1", "Spin1", "Combo1", "List1", "Button2"};
  FocusOn(*form, *form->Get("Button1"));
  for (size_t i = 1; i <= std::size(order); ++i) {
    PressKey(VK_TAB);
    const char* want = order[i % std::size(order)];
    TControl* active = form->ActiveControl();
    ASSERT_EQ(active, form->Get(want)) << "Tab after " << order[i - 1] << " reached " << (active ? active->Name() : "-");
  }
  for (size_t i = std::size(order) - 1; i > 0; --i) {
    FocusOn(*form, *form->Get(order[i]));
    PressKey(VK_TAB, {VK_SHIFT});
    ASSERT_EQ(form->ActiveControl(), form->Get(order[i - 1])) << "Shift+Tab from " << order[i];
  }
  // The arrows move the selection inside the group; Tab then stops at the selected one.
  auto* radio1 = static_cast<TRadioButton*>(form->Get("Radio1"));
  auto* radio2 = static_cast<TRadioButton*>(form->Get("Radio2"));
  FocusOn(*form, *radio1);
  PressKey(VK_DOWN);
  EXPECT_TRUE(radio2->Checked());
  EXPECT_FALSE(radio1->Checked());
  EXPECT_EQ(form->ActiveControl(), radio2);
  FocusOn(*form, *form->Get("Check1"));
  PressKey(VK_TAB);
  EXPECT_EQ(form->ActiveControl(), radio2);
}

TEST_F(AppTest, EnterAndEscReachTheDefaultAndCancelButtonsFromEveryKind) {
  auto* form = app->CreateForm<TKeysForm>();
  std::vector<std::string> clicked;
  auto* ok = new TButton(form, form, "OK", {300, 200, 75, 25}, true, false);
  auto* cancel = new TButton(form, form, "Abbrechen", {300, 230, 75, 25}, false, true);
  ok->OnClick = [&](TComponent*) { clicked.push_back("OK"); };
  cancel->OnClick = [&](TComponent*) { clicked.push_back("Abbrechen"); };
  for (const char* name : {"Button1", "Check1", "Radio1", "Edit1", "Spin1", "Combo1", "List1"}) {
    FocusOn(*form, *form->Get(name));
    clicked.clear();
    PressKey(VK_RETURN);
    PressKey(VK_ESCAPE);
    EXPECT_EQ(clicked, (std::vector<std::string>{"OK", "Abbrechen"})) << "with the focus on " << name;
  }
  // A disabled default button takes nothing.
  ok->SetEnabled(false);
  FocusOn(*form, *form->Get("Edit1"));
  clicked.clear();
  PressKey(VK_RETURN);
  EXPECT_TRUE(clicked.empty());
}

TEST_F(AppTest, ASpinEditForcesTypedValuesIntoItsRangeWhenTheFocusLeaves) {
  auto* form = app->CreateForm<TKeysForm>();
  auto* spin = static_cast<TSpinEdit*>(form->Get("Spin1"));
  auto* wide = new TSpinEdit(form, form, {100, 170, 80, 22}, 0, 1048575, 7);
  int exits = 0;
  std::string seenAtExit;
  for (TSpinEdit* s : {spin, wide})
    s->OnExit = [&](TComponent* sender) {
      ++exits;
      seenAtExit = static_cast<TSpinEdit*>(sender)->Text();
    };
  struct Case {
    TSpinEdit* field;
    const char* typed;
    const char* shown;
  };
  const Case cases[] = {
      {spin, "5000", "365"},  {spin, "-4", "1"},         {spin, "0", "1"},
      {spin, "abc", "1"},     {spin, "", "1"},           {spin, "99999999999", "365"},
      {spin, "200", "200"},   {spin, "365", "365"},      {wide, "2000000", "1048575"},
      {wide, "-4", "0"},      {wide, "1048575", "1048575"}, {wide, "$10", "0"}, {wide, "0x10", "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("typed '") + c.typed + "'");
    FocusOn(*form, *c.field);
    SetWindowTextA(c.field->Handle(), c.typed);
    exits = 0;
    PressKey(VK_TAB);
    EXPECT_NE(form->ActiveControl(), c.field) << "Tab leaves the field";
    EXPECT_EQ(c.field->Text(), c.shown);
    EXPECT_EQ(c.field->Value(), atoi(c.shown));
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(seenAtExit, c.shown) << "OnExit sees the value in range";
  }
  // A value set by the program is brought into the range too.
  spin->SetValue(400);
  EXPECT_EQ(spin->Text(), "365");
  spin->SetValue(0);
  EXPECT_EQ(spin->Text(), "1");
}

TEST_F(AppTest, CtrlUReachesItsFormFromEveryControlAndNoOtherForm) {
  auto* form = app->CreateForm<TKeysForm>();
  auto* other = app->CreateForm<TKeysForm>();
  auto* list = new TActionList(form);
  auto* action = new TAction(list);
  action->SetShortCut(ShortCut('U', kCtrlKey));
  int fired = 0;
  action->OnExecute = [&](TComponent* sender) {
    EXPECT_EQ(sender, action);
    ++fired;
  };
  for (const char* name : {"Button1", "Check1", "Radio1", "Edit1", "Spin1", "Combo1", "List1", "Button2"}) {
    FocusOn(*form, *form->Get(name));
    ASSERT_TRUE(form->Get(name)->Focused()) << name;
    int before = fired;
    PressKey('U', {VK_CONTROL});
    EXPECT_EQ(fired, before + 1) << "Ctrl+U with the focus on " << name;
  }
  // The key alone, or with Shift as well, is no shortcut; the edit field just gets its letter.
  FocusOn(*form, *form->Get("Edit1"));
  SetWindowTextA(form->Get("Edit1")->Handle(), "");
  PressKey('U');
  PressKey('U', {VK_CONTROL, VK_SHIFT});
  EXPECT_EQ(fired, 8);
  EXPECT_EQ(form->Get("Edit1")->Text(), "u");
  // A disabled action does nothing.
  action->SetEnabled(false);
  PressKey('U', {VK_CONTROL});
  EXPECT_EQ(fired, 8);
  action->SetEnabled(true);
  // Another form does not see it.
  for (const char* name : {"Button1", "Edit1"}) {
    FocusOn(*other, *other->Get(name));
    PressKey('U', {VK_CONTROL});
    EXPECT_EQ(fired, 8) << "Ctrl+U in the other form's " << name;
  }
}

// ---- our windows -----------------------------------------------------------------------------

LRESULT CALLBACK PassOn(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
  return DefSubclassProc(hwnd, msg, wp, lp);
}

TEST_F(AppTest, OurWindowsAreOursAfterTheCommonControlsSubclassedThem) {
  auto* form = app->CreateForm<TKeysForm>();
  auto* button = form->Get("Button1");
  auto* spin = static_cast<TSpinEdit*>(form->Get("Spin1"));
  int clicks = 0;
  button->OnClick = [&](TComponent*) { ++clicks; };
  ASSERT_TRUE(SetWindowSubclass(button->Handle(), PassOn, 1, 0));
  // The up-down control has subclassed the spin edit's field the same way.
  for (TControl* c : {button, static_cast<TControl*>(spin)}) EXPECT_EQ(TControl::FromHandle(c->Handle()), c) << c->Name();
  SendMessageA(button->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(clicks, 1) << "the click still reaches the control";
  // A window that is not ours, and one whose control has ended.
  EXPECT_EQ(TControl::FromHandle(GetDesktopWindow()), nullptr);
  HWND gone = button->Handle();
  button->Free();
  EXPECT_EQ(TControl::FromHandle(gone), nullptr);
}

}  // namespace
