// TTimer: a window-message timer as a component. Its ticks arrive through the message pump of
// the thread that made it, like every other window message.
#pragma once

#include <windows.h>

#include <functional>

#include "toolkit/Component.h"
#include "toolkit/MessageWindow.h"

namespace toolkit {

class TTimer : public TComponent {
 public:
  // A new timer is enabled with an interval of 1000 ms. Throws base::Exception when its window
  // cannot be made.
  explicit TTimer(TComponent* owner);
  ~TTimer() override;

  UINT Interval() const { return interval_; }
  // 0 stops the ticks until a later non-zero interval.
  void SetInterval(UINT milliseconds);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // Called at each tick, not any more once the timer's or its owner's end has begun. An
  // exception goes to the application's general error handler.
  std::function<void(TComponent* sender)> OnTimer;

 private:
  bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
  void Update();
  MessageWindow window_;
  UINT interval_ = 1000;
  bool enabled_ = true;
};

}  // namespace toolkit
