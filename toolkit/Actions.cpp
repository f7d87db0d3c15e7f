// Actions, action lists and the shortcut of a key press.
#include "toolkit/Actions.h"

namespace toolkit {

TShortCut ShortCutOfKey(WORD key) {
  TShortCut modifiers = 0;
  if (GetKeyState(VK_SHIFT) < 0) modifiers |= kShiftKey;
  if (GetKeyState(VK_CONTROL) < 0) modifiers |= kCtrlKey;
  if (GetKeyState(VK_MENU) < 0) modifiers |= kAltKey;
  return ShortCut(key, modifiers);
}

TAction::TAction(TActionList* list) : TComponent(list) {}

bool TAction::Execute() {
  if (!enabled_ || !OnExecute || Destroying()) return false;
  OnExecute(this);
  return true;
}

TAction* TActionList::Action(int index) const { return dynamic_cast<TAction*>(Component(index)); }

bool TActionList::IsShortCut(TShortCut shortCut) {
  if (shortCut == 0) return false;
  for (int i = 0; i < ComponentCount(); ++i) {
    TAction* action = Action(i);
    if (action && action->ShortCut() == shortCut && action->Enabled()) return action->Execute();
  }
  return false;
}

}  // namespace toolkit
