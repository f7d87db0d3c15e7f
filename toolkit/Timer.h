// TTimer: a window-message timer as a component. Its ticks arrive through the message pump of
// the thread that made it, like every other window message.
#pragma once

#include <windows.h>

#include <functional>

#include "toolkit/Component.h"
#include "toolkit/MessageWindow.h"

namespace toolkit {

// A hidden message-only window (pop-up style, tool window, no size) of the class given at
// construction, holding platform timer 1. The platform timer runs while the timer is enabled
// with an interval above 0; a tick calls OnTimer when it is assigned and the timer's end has not
// begun. An exception from OnTimer goes to the application's general error handler.
class TTimer : public TComponent {
 public:
  // A new timer is enabled with an interval of 1000 ms. Throws base::Exception when its window
  // cannot be made (its class name taken by another window procedure, say).
  explicit TTimer(TComponent* owner, const char* className = "TTimerWindow");
  ~TTimer() override;

  UINT Interval() const { return interval_; }
  // 0 stops the ticks until a later non-zero interval. Setting the value it has does nothing.
  void SetInterval(UINT milliseconds);
  bool Enabled() const { return enabled_; }
  // Setting the value it has does nothing.
  void SetEnabled(bool enabled);
  // Assigns OnTimer and starts the countdown again.
  void SetOnTimer(std::function<void(TComponent* sender)> handler);
  // Starts the countdown again from the full interval (when the timer runs at all).
  void Restart() { Update(); }

  // Called at each tick, not any more once the timer's or its owner's end has begun.
  std::function<void(TComponent* sender)> OnTimer;

 private:
  bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
  // Kills the platform timer and sets it again when it should run. Throws base::Exception
  // "No Timer" when the platform refuses it.
  void Update();
  MessageWindow window_;
  UINT interval_ = 1000;
  bool enabled_ = true;
};

}  // namespace toolkit
