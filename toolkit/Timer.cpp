// The window-message timer: a message-only window per timer carries its WM_TIMER messages.
#include "toolkit/Timer.h"

#include "base/Exception.h"

namespace toolkit {

namespace {

const UINT_PTR kTimerId = 1;

MessageWindow::Options TimerWindowOptions() {
  MessageWindow::Options options;
  options.style = WS_POPUP;
  options.exStyle = WS_EX_TOOLWINDOW;
  return options;
}

}  // namespace

TTimer::TTimer(TComponent* owner, const char* className)
    : TComponent(owner),
      window_(className,
              [this](UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) { return HandleMessage(msg, wp, lp, result); },
              TimerWindowOptions()) {
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

void TTimer::SetOnTimer(std::function<void(TComponent* sender)> handler) {
  OnTimer = std::move(handler);
  Update();
}

void TTimer::Update() {
  if (!window_.Handle()) return;
  KillTimer(window_.Handle(), kTimerId);
  if (enabled_ && interval_ > 0 && SetTimer(window_.Handle(), kTimerId, interval_, nullptr) == 0)
    throw base::Exception("No Timer");
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
