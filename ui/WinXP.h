// TWinXP: the marker component that a form holds so that the program runs with the current
// visual style of the common controls. The style itself comes from the program's manifest
// (resources/Brisel.rc); the component checks only where it is placed.
#pragma once

#include "toolkit/Component.h"
#include "toolkit/FormBuilder.h"

namespace ui {

class TWinXP : public toolkit::TComponent {
 public:
  // Throws base::Exception "Control parent must be a form!" when the owner is not a form (or
  // there is none), and "Only one instance of TWinXP allowed on form" when the owner already
  // holds one. Either error leaves the owner as it was.
  explicit TWinXP(toolkit::TComponent* owner);
};

// The kind of a form description's row for the component (owned by the form).
extern const toolkit::Kind kWinXP;

}  // namespace ui
