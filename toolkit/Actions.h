// Action lists and actions with keyboard shortcuts. An action list owned by a form serves that
// form: its shortcuts work whichever control of the form has the focus, and in no other form.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "toolkit/Component.h"

namespace toolkit {

// A key with its modifiers: the virtual-key code in the low byte, and the modifier bits.
using TShortCut = uint16_t;
constexpr TShortCut kShiftKey = 0x2000;
constexpr TShortCut kCtrlKey = 0x4000;
constexpr TShortCut kAltKey = 0x8000;
constexpr TShortCut ShortCut(WORD key, TShortCut modifiers) { return static_cast<TShortCut>((key & 0xFF) | modifiers); }
// The shortcut of `key` pressed with the modifiers held right now (as the message queue sees
// them).
TShortCut ShortCutOfKey(WORD key);

class TActionList;

// One action: a handler and the shortcut that runs it. Owned by its action list.
class TAction : public TComponent {
 public:
  explicit TAction(TActionList* list);
  TShortCut ShortCut() const { return shortCut_; }
  void SetShortCut(TShortCut shortCut) { shortCut_ = shortCut; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on) { enabled_ = on; }
  // Runs OnExecute when the action is enabled and the handler assigned; true when it ran.
  bool Execute();
  std::function<void(TComponent* sender)> OnExecute;

 private:
  TShortCut shortCut_ = 0;
  bool enabled_ = true;
};

class TActionList : public TComponent {
 public:
  explicit TActionList(TComponent* owner) : TComponent(owner) {}
  int ActionCount() const { return ComponentCount(); }
  TAction* Action(int index) const;
  // Runs the first enabled action with that shortcut; true when one ran.
  bool IsShortCut(TShortCut shortCut);
};

}  // namespace toolkit
