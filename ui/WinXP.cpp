// The placement check of the visual-style component.
#include "ui/WinXP.h"

#include "base/Exception.h"
#include "toolkit/Controls.h"

namespace ui {

TWinXP::TWinXP(toolkit::TComponent* owner) : TComponent(owner) {
  if (!dynamic_cast<toolkit::TForm*>(owner)) throw base::Exception("Control parent must be a form!");
  int count = 0;
  for (int i = 0; i < owner->ComponentCount(); ++i)
    if (dynamic_cast<TWinXP*>(owner->Component(i))) ++count;  // this one is already among them
  if (count > 1) throw base::Exception("Only one instance of TWinXP allowed on form");
}

namespace {
toolkit::TComponent* MakeWinXP(toolkit::TForm& form, toolkit::TControl*, const toolkit::ControlSpec&) {
  return new TWinXP(&form);
}
}  // namespace

const toolkit::Kind kWinXP{"WinXP", &MakeWinXP};

}  // namespace ui
