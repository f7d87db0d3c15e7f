// The window-message timer: a message-only window per timer carries its WM_TIMER messages.
#include "toolkit/Timer.h"

namespace toolkit {

namespace {
const UINT_PTR kTimerId = 1;
}  // namespace

TTimer::TTimer(TComponent* owner)
    : TComponent(owner),
      window_("TTimerWindow", [this](UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
        return HandleMessage(msg, wp, lp, result);
      }) {
  Update();
}

TTimer::~TTimer() {
  KillTimer(window_.Handle(), kTimerId);
  window_.Destroy();
}

void TTimer::SetInterval(UINT milliseconds) {
  if (milliseconds == interval_) return;
  interval_ = milliseconds;
  Update();
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Update();
}

void TTimer::Update() {
  KillTimer(window_.Handle(), kTimerId);
  if (enabled_ && interval_ > 0) SetTimer(window_.Handle(), kTimerId, interval_, nullptr);
}

bool TTimer::HandleMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
  if (msg != WM_TIMER || wp != kTimerId) return false;
  result = 0;
  if (OnTimer && !Destroying()) {
    auto handler = OnTimer;  // the handler may replace itself
    handler(this);
  }
  return true;
}

}  // namespace toolkit
