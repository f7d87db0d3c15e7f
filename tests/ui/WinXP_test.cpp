// The visual-style component's placement rules.
#include "ui/WinXP.h"

#include "UiTestSupport.h"

namespace {

using uitest::AppTest;
using uitest::TPlainForm;

class TFormWithStyles : public toolkit::TForm {
 public:
  TFormWithStyles(toolkit::TComponent* owner, int count) : TForm(owner, "TFormWithStyles", "Stile", 200, 100) {
    for (int i = 0; i < count; ++i) new ui::TWinXP(this);
  }
};

std::string CreationError(const std::function<void()>& create) {
  try {
    create();
  } catch (const base::Exception& e) {
    return e.Message();
  }
  return "(kein Fehler)";
}

using WinXPTest = AppTest;

TEST_F(WinXPTest, PlacementRules) {
  // One on a form is fine and stays among the form's components.
  auto* one = app->CreateForm<TFormWithStyles>(1);
  ASSERT_EQ(one->ComponentCount(), 1);
  EXPECT_NE(dynamic_cast<ui::TWinXP*>(one->Component(0)), nullptr);

  // A second one on the same form: the form's creation fails, and nothing of it remains.
  int formsBefore = app->ComponentCount();
  EXPECT_EQ(CreationError([&] { app->CreateForm<TFormWithStyles>(2); }), "Only one instance of TWinXP allowed on form");
  EXPECT_EQ(app->ComponentCount(), formsBefore);

  // Added later to a form that has one already.
  EXPECT_EQ(CreationError([&] { new ui::TWinXP(one); }), "Only one instance of TWinXP allowed on form");
  EXPECT_EQ(one->ComponentCount(), 1);

  // Owners that are not forms: a control on a form, the application object, nobody.
  auto* form = app->CreateForm<TPlainForm>();
  auto* button = new toolkit::TButton(form, form, "x", {0, 0, 10, 10});
  EXPECT_EQ(CreationError([&] { new ui::TWinXP(button); }), "Control parent must be a form!");
  EXPECT_EQ(button->ComponentCount(), 0);
  EXPECT_EQ(CreationError([&] { new ui::TWinXP(app.get()); }), "Control parent must be a form!");
  EXPECT_EQ(CreationError([&] { new ui::TWinXP(nullptr); }), "Control parent must be a form!");

  // Another form may have its own.
  EXPECT_EQ(CreationError([&] { new ui::TWinXP(form); }), "(kein Fehler)");
}

}  // namespace
