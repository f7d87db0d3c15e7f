// The animated logo: the frame strip, the wrap after the last frame, painting without advancing,
// the background showing through white pixels, the shared strip and the running timer.
#include "ui/WinAni.h"

#include "UiTestSupport.h"

namespace {

using uitest::AppTest;
using uitest::BitmapPixel;
using uitest::ColorText;
using uitest::MemoryBitmap;
using uitest::TPlainForm;
using ui::TWinAni;

const int kSize = TWinAni::kFrameSize;
const COLORREF kWhite = RGB(255, 255, 255);

class WinAniTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    form = app->CreateForm<TPlainForm>();
    strip = toolkit::TBitmap::FromResource(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1));
  }
  // Ticks until the shared frame index is back at 0.
  static void Rewind(TWinAni& ani) {
    for (int i = 0; i < 50 && TWinAni::FrameIndex() != 0; ++i) ani.TimerTick(&ani);
    ASSERT_EQ(TWinAni::FrameIndex(), 0);
  }
  // What the control must show for frame k over `background`.
  void ExpectShowsFrame(const MemoryBitmap& shot, int k, COLORREF background) {
    int mismatches = 0;
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x) {
        COLORREF source = BitmapPixel(*strip, x, k * kSize + y);
        COLORREF want = source == kWhite ? background : source;
        if (shot.Pixel(x, y) != want && mismatches++ < 5)
          ADD_FAILURE() << "frame " << k << " at " << x << "," << y << ": " << ColorText(shot.Pixel(x, y)) << " want "
                        << ColorText(want);
      }
    EXPECT_EQ(mismatches, 0);
  }
  TPlainForm* form = nullptr;
  std::shared_ptr<toolkit::TBitmap> strip;
};

TEST_F(WinAniTest, StripHoldsFiftyFramesOnWhite) {
  ASSERT_EQ(strip->Width(), 38);
  ASSERT_EQ(strip->Height(), 1900);
  BITMAP info{};
  GetObjectA(strip->Handle(), sizeof info, &info);
  EXPECT_EQ(info.bmBitsPixel, 24);
  int differing = 0;
  for (int k = 0; k < 50; ++k) {
    // Corners are white in every frame: the bottom-left one is the transparent colour.
    EXPECT_EQ(BitmapPixel(*strip, 0, k * kSize + kSize - 1), kWhite) << "frame " << k;
    EXPECT_EQ(BitmapPixel(*strip, kSize - 1, k * kSize), kWhite) << "frame " << k;
    // Something to see in the middle, and no two neighbours alike except at the ends of a turn.
    EXPECT_NE(BitmapPixel(*strip, kSize / 2, k * kSize + kSize / 2), kWhite) << "frame " << k;
    int next = (k + 1) % 50;
    for (int x = 0; x < kSize; ++x)
      if (BitmapPixel(*strip, x, k * kSize + 20) != BitmapPixel(*strip, x, next * kSize + 20)) {
        ++differing;
        break;
      }
  }
  EXPECT_GE(differing, 45) << "the frames hardly change";
}

TEST_F(WinAniTest, PlacedOnItsOwnerWithTenMilliseconds) {
  auto* ani = new TWinAni(form);
  EXPECT_EQ(ani->Parent(), form);
  EXPECT_EQ(GetParent(ani->Handle()), form->Handle());
  EXPECT_EQ(ani->Width(), 38);
  EXPECT_EQ(ani->Height(), 38);
  EXPECT_EQ(ani->Interval(), 10u);
  ani->SetInterval(20);
  EXPECT_EQ(ani->Interval(), 20u);
  // An owner without a window cannot hold it.
  EXPECT_THROW(new TWinAni(app.get()), base::Exception);
}

TEST_F(WinAniTest, FiftyTicksWrapAndPaintingDoesNotAdvance) {
  auto* ani = new TWinAni(form);
  const COLORREF background = RGB(255, 0, 255);
  ani->SetColor(background);
  Rewind(*ani);
  for (int k = 0; k < 49; ++k) {
    ani->TimerTick(ani);
    EXPECT_EQ(TWinAni::FrameIndex(), k + 1);
  }
  // Frame 49 is the one the 50th tick draws; a repaint shows it and keeps the index.
  for (int repaint = 0; repaint < 2; ++repaint) {
    MemoryBitmap shot(kSize, kSize);
    ani->PaintTo(shot.Dc());
    EXPECT_EQ(TWinAni::FrameIndex(), 49);
    ExpectShowsFrame(shot, 49, background);
  }
  ani->TimerTick(ani);
  EXPECT_EQ(TWinAni::FrameIndex(), 0);
  MemoryBitmap shot(kSize, kSize);
  ani->PaintTo(shot.Dc());
  ExpectShowsFrame(shot, 0, background);
  // Half way: a narrow frame, so much of the background shows.
  for (int k = 0; k < 25; ++k) ani->TimerTick(ani);
  MemoryBitmap middle(kSize, kSize);
  ani->PaintTo(middle.Dc());
  ExpectShowsFrame(middle, 25, background);
  EXPECT_EQ(middle.Pixel(2, kSize / 2), background);
}

TEST_F(WinAniTest, BackgroundIsTheParentsColourByDefault) {
  form->SetColor(RGB(0, 128, 0));
  auto* ani = new TWinAni(form);
  MemoryBitmap shot(kSize, kSize);
  ani->PaintTo(shot.Dc());
  ExpectShowsFrame(shot, TWinAni::FrameIndex(), RGB(0, 128, 0));
}

TEST_F(WinAniTest, TwoControlsShareTheStripAndTheLastOneFreesIt) {
  auto* first = new TWinAni(form);
  auto* second = new TWinAni(form);
  Rewind(*first);
  second->TimerTick(second);
  EXPECT_EQ(TWinAni::FrameIndex(), 1) << "one frame index for the process";
  delete first;
  // The survivor still has the strip.
  MemoryBitmap shot(kSize, kSize);
  second->SetColor(RGB(10, 20, 30));
  second->PaintTo(shot.Dc());
  ExpectShowsFrame(shot, 1, RGB(10, 20, 30));
  second->TimerTick(second);
  EXPECT_EQ(TWinAni::FrameIndex(), 2);
  delete second;
  // A new one after all are gone loads the strip again.
  auto* third = new TWinAni(form);
  MemoryBitmap again(kSize, kSize);
  third->PaintTo(again.Dc());
  EXPECT_NE(again.Pixel(kSize / 2, kSize / 2), RGB(1, 2, 3));
}

TEST_F(WinAniTest, TheTimerDrivesTheAnimationOnAShownForm) {
  auto* ani = new TWinAni(form);
  ani->SetInterval(20);
  form->ShowForm();
  int start = TWinAni::FrameIndex();
  int seen = 0;
  DWORD until = GetTickCount() + 3000;
  while (seen < 5 && GetTickCount() < until) {
    app->WaitForMessage(50);
    app->ProcessMessages();
    if (TWinAni::FrameIndex() != start) {
      ++seen;
      start = TWinAni::FrameIndex();
    }
  }
  EXPECT_GE(seen, 5) << "the timer did not advance the frames";
  // What the window shows is a frame of the strip over the form's colour (the frame drawn by the
  // last tick, which is one before the index).
  ani->Repaint();
  HDC screen = GetDC(ani->Handle());
  COLORREF corner = GetPixel(screen, 0, kSize - 1);
  ReleaseDC(ani->Handle(), screen);
  EXPECT_EQ(corner, form->Color());
}

}  // namespace
