// TWinAni: the animated logo, 38 x 38 pixels, played frame by frame from the bitmap resource 1
// (50 frames stacked from top to bottom) on a window-message timer. Each frame is composed off
// screen over the control's colour and then copied to the screen in one block, so the control
// does not flicker.
#pragma once

#include <cstdint>
#include <memory>

#include "toolkit/Controls.h"
#include "toolkit/FormBuilder.h"
#include "toolkit/Timer.h"

namespace ui {

class TWinAni : public toolkit::TPaintBox {
 public:
  static constexpr int kFrameSize = 38;

  // The owner must be a windowed control: it becomes the parent too. The control is 38 x 38 at
  // (0, 0) with an interval of 10 ms and runs from its first tick on. Throws base::Exception
  // when the owner is not a control or resource 1 is missing.
  explicit TWinAni(toolkit::TComponent* owner);
  ~TWinAni() override;

  uint32_t Interval() const { return interval_; }
  void SetInterval(uint32_t milliseconds);

  // The timer's event: draws the frame at FrameIndex, then moves on to the next frame, after
  // the last one back to 0.
  void TimerTick(toolkit::TComponent* sender);

  // The frame shown next; one for the whole process, like the frame strip.
  static int FrameIndex();

 private:
  // Draws the frame at FrameIndex onto `canvas` at (0, 0) without advancing.
  void DrawFrame(toolkit::TCanvas& canvas);

  toolkit::TTimer* timer_ = nullptr;  // an owned component, ended by the base
  uint32_t interval_ = 10;
};

// The kind of a form description's row for the animation: the form is its owner and parent,
// the row's rectangle its place and the row's Value its frame interval (10 ms without one).
extern const toolkit::Kind kWinAni;

}  // namespace ui
