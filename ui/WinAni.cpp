// The animated logo: the shared frame strip and working bitmaps, the off-screen composition and
// the tick.
#include "ui/WinAni.h"

#include "base/Exception.h"

namespace ui {

using namespace toolkit;

namespace {

// The process's one frame strip and its two working bitmaps. Every TWinAni uses the same ones;
// they are made with the first control and go with the last.
struct SharedFrames {
  std::shared_ptr<TBitmap> strip;  // FrameStrip
  std::shared_ptr<TBitmap> frame;  // FrameBitmap: the current frame, drawn transparently
  std::shared_ptr<TBitmap> back;   // BackBitmap: frame over background, before the screen
  int users = 0;
};

SharedFrames& Frames() {
  static SharedFrames frames;
  return frames;
}

int frameIndex = 0;

}  // namespace

int TWinAni::FrameIndex() { return frameIndex; }

TWinAni::TWinAni(TComponent* owner) : TPaintBox(owner, dynamic_cast<TControl*>(owner), {0, 0, kFrameSize, kFrameSize}) {
  if (!Parent()) throw base::Exception("Das animierte Logo braucht ein Fenster als Besitzer");
  OnPaint = [this](TComponent*) { DrawFrame(*Canvas()); };
  SharedFrames& shared = Frames();
  if (shared.users == 0) {
    shared.strip = TBitmap::FromResource(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1));
    shared.frame = TBitmap::Create(kFrameSize, kFrameSize);
    shared.back = TBitmap::Create(kFrameSize, kFrameSize);
  }
  ++shared.users;
  timer_ = new TTimer(this);
  timer_->OnTimer = [this](TComponent* s) { TimerTick(s); };
  SetInterval(10);
}

TWinAni::~TWinAni() {
  // The timer is an owned component: it ends with this control, through the base.
  SharedFrames& shared = Frames();
  if (--shared.users == 0) {
    shared.strip.reset();
    shared.frame.reset();
    shared.back.reset();
  }
}

void TWinAni::SetInterval(uint32_t milliseconds) {
  interval_ = milliseconds;
  timer_->SetInterval(milliseconds);
}

void TWinAni::DrawFrame(TCanvas& canvas) {
  SharedFrames& shared = Frames();
  ScopedMemoryDc stripDc(CreateCompatibleDC(nullptr)), frameDc(CreateCompatibleDC(nullptr)),
      backDc(CreateCompatibleDC(nullptr));
  ScopedSelectObject s1(stripDc.get(), shared.strip->Handle()), s2(frameDc.get(), shared.frame->Handle()),
      s3(backDc.get(), shared.back->Handle());
  // 1. The frame out of the strip; its transparent colour is read from the new pixels.
  BitBlt(frameDc.get(), 0, 0, kFrameSize, kFrameSize, stripDc.get(), 0, frameIndex * kFrameSize, SRCCOPY);
  COLORREF transparent = GetPixel(frameDc.get(), 0, kFrameSize - 1);
  // 2. The background in the control's colour.
  {
    TCanvas back(backDc.get());
    back.SetPenStyle(TCanvas::PenStyle::Clear);
    back.SetBrushStyle(TCanvas::BrushStyle::Solid);
    back.SetBrushColor(Color());
    back.FillRect({0, 0, kFrameSize, kFrameSize});
  }
  // 3. The frame over it, 4. the whole block to the screen at once.
  TransparentBlt(backDc.get(), 0, 0, kFrameSize, kFrameSize, frameDc.get(), 0, 0, kFrameSize, kFrameSize, transparent);
  canvas.CopyRect(0, 0, kFrameSize, kFrameSize, backDc.get(), 0, 0, SRCCOPY);
}

void TWinAni::TimerTick(TComponent*) {
  if (Handle()) {
    ScopedGetDc dc(Handle());
    TCanvas canvas(dc.get());
    DrawFrame(canvas);
  }
  ++frameIndex;
  if (frameIndex * kFrameSize >= Frames().strip->Height()) frameIndex = 0;
}

namespace {
TComponent* MakeWinAni(TForm& form, TControl* parent, const ControlSpec& row) {
  auto* ani = new TWinAni(&form);
  if (parent != &form) ani->SetParent(parent);
  if (row.bounds.width > 0) ani->SetBounds(row.bounds.left, row.bounds.top, row.bounds.width, row.bounds.height);
  if (row.hasValue) ani->SetInterval(static_cast<uint32_t>(row.value));
  return ani;
}
}  // namespace

const Kind kWinAni{"WinAni", &MakeWinAni};

}  // namespace ui
