// The control kinds as a user sees them: radio groups and check boxes, the progress bar, the
// captioned panel's pixels, double-buffered painting, a picture's click, the label's text colour.
#include <windows.h>

#include <commctrl.h>

#include "ToolkitTestSupport.h"

namespace {

using namespace toolkit;
using tktest::AppTest;
using tktest::Settle;

// What the window shows on the screen, read back from its DC.
struct Shot {
  explicit Shot(const TControl& c) {
    RECT r;
    GetClientRect(c.Handle(), &r);
    width = r.right;
    height = r.bottom;
    HDC dc = GetDC(c.Handle());
    pixels.resize(static_cast<size_t>(width * height));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) pixels[static_cast<size_t>(y * width + x)] = GetPixel(dc, x, y);
    ReleaseDC(c.Handle(), dc);
  }
  COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
  int width = 0, height = 0;
  std::vector<COLORREF> pixels;
};

TEST_F(AppTest, RadioButtonsOfAGroupAndCheckBoxesAsClicked) {
  auto* form = app->CreateForm<tktest::TTestForm>();
  auto* box = new TCheckBox(form, form, "Neu starten", {10, 10, 150, 17});
  auto* never = new TRadioButton(form, form, "Niemals", {10, 40, 150, 17});
  auto* often = new TRadioButton(form, form, "Regelmäßig", {10, 60, 150, 17});
  auto* label = new TLabel(form, form, "dazwischen", {10, 80, 0, 0}, false);
  auto* third = new TRadioButton(form, form, "Dritte", {10, 100, 150, 17});
  auto* apart = new TRadioButton(form, form, "Eigene Gruppe", {10, 120, 150, 17});
  apart->SetGroupStart(true);
  apart->SetChecked(true);
  (void)label;
  std::vector<std::string> clicks;
  for (TControl* c : std::initializer_list<TControl*>{box, never, often, third, apart})
    c->OnClick = [&clicks](TComponent* s) { clicks.push_back(static_cast<TControl*>(s)->Text()); };
  auto state = [&] {
    std::string s;
    for (TControl* c : std::initializer_list<TControl*>{box, never, often, third, apart})
      s += SendMessageA(c->Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED ? 'x' : '.';
    return s;
  };
  struct Step {
    TControl* clicked;  // null: the program selects `often`
    const char* state;
    std::vector<std::string> clicks;
  };
  const Step steps[] = {
      {never, ".x..x", {"Niemals"}},
      {often, "..x.x", {"Regelmäßig"}},
      {often, "..x.x", {}},  // already selected: nothing changes, no click
      {third, "...xx", {"Dritte"}},
      {box, "x..xx", {"Neu starten"}},
      {box, "...xx", {"Neu starten"}},
      {nullptr, "..x.x", {"Regelmäßig"}},
  };
  for (const Step& s : steps) {
    clicks.clear();
    if (s.clicked) {
      SendMessageA(s.clicked->Handle(), BM_CLICK, 0, 0);
    } else {
      often->SetChecked(true);
    }
    EXPECT_EQ(state(), s.state);
    EXPECT_EQ(clicks, s.clicks);
    // Only the selected button of a group is a tab stop.
    for (TRadioButton* r : {never, often, third})
      EXPECT_EQ((GetWindowLongPtrA(r->Handle(), GWL_STYLE) & WS_TABSTOP) != 0, r->Checked()) << r->Text();
  }
  EXPECT_EQ(never->Group(), (std::vector<TRadioButton*>{never, often, third}));
  EXPECT_EQ(apart->Group(), std::vector<TRadioButton*>{apart});
}

TEST_F(AppTest, AProgressBarShowsItsPositionAgainstItsRange) {
  auto* form = app->CreateForm<tktest::TTestForm>();
  auto* bar = new TProgressBar(form, form, {10, 10, 200, 20});
  EXPECT_EQ(bar->Max(), 100);
  EXPECT_TRUE(GetWindowLongPtrA(bar->Handle(), GWL_STYLE) & PBS_SMOOTH);
  struct Case {
    int max, position, shown;
  };
  // Byte counts as the download reports them: a range beyond 16 bits, no length at all.
  const Case cases[] = {{3000000, 1500000, 1500000}, {3000000, 3000000, 3000000}, {0, 0, 0}, {100, 250, 100}};
  for (const Case& c : cases) {
    bar->SetMax(c.max);
    bar->SetPosition(c.position);
    EXPECT_EQ(SendMessageA(bar->Handle(), PBM_GETRANGE, FALSE, 0), c.max);
    EXPECT_EQ(bar->Position(), c.shown) << c.max << "/" << c.position;
  }
}

TEST_F(AppTest, ACaptionedPanelPaintsItsTextCentredInItsColours) {
  auto* form = app->CreateForm<tktest::TTestForm>();
  auto* title = new TPanel(form, form, {10, 10, 300, 41}, "Willkommen");
  title->Font() = TFont("Verdana", -19, true);
  title->Font().SetColor(RGB(255, 255, 255));
  title->FontChanged();
  title->SetColor(RGB(49, 106, 197));
  form->ShowForm();
  title->Repaint();
  Shot shot(*title);
  int left = shot.width, right = -1, top = shot.height, bottom = -1, others = 0;
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x) {
      COLORREF p = shot.At(x, y);
      if (p == RGB(49, 106, 197)) continue;
      if (p == RGB(255, 255, 255)) {
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
      } else {
        ++others;  // the edges of the letters
      }
    }
  ASSERT_GE(right, 0) << "no text painted";
  EXPECT_GT(right - left, 60) << "a word of about ten letters";
  EXPECT_LE(std::abs((left + right) - (shot.width - 1)), 4) << "centred across: " << left << ".." << right;
  EXPECT_LE(std::abs((top + bottom) - (shot.height - 1)), 6) << "centred down: " << top << ".." << bottom;
  EXPECT_EQ(shot.At(0, 0), RGB(49, 106, 197));
  EXPECT_EQ(shot.At(shot.width - 1, shot.height - 1), RGB(49, 106, 197));
  // A new caption replaces the old one.
  title->SetCaption("");
  title->Repaint();
  Shot empty(*title);
  EXPECT_EQ(std::count(empty.pixels.begin(), empty.pixels.end(), RGB(49, 106, 197)),
            static_cast<long>(empty.pixels.size()));
}

TEST_F(AppTest, DoubleBufferedPaintingGoesThroughAMemoryBitmapInOneBlock) {
  auto* form = app->CreateForm<tktest::TTestForm>();
  auto* box = new TPaintBox(form, form, {10, 10, 60, 40});
  HWND paintedOn = reinterpret_cast<HWND>(1);
  int depth = 0;
  bool outerCanvasBack = false;
  box->OnPaint = [&](TComponent*) {
    TCanvas* outer = box->Canvas();
    if (depth == 0) paintedOn = WindowFromDC(outer->Handle());  // none for a memory DC
    outer->SetBrushColor(RGB(200, 0, 0));
    outer->FillRect({0, 0, 60, 40});
    if (depth++ == 0) {  // a paint inside the paint (a copy into a bitmap, say)
      HDC mem = CreateCompatibleDC(nullptr);
      HBITMAP bmp = CreateCompatibleBitmap(outer->Handle(), 60, 40);
      HGDIOBJ old = SelectObject(mem, bmp);
      box->PaintTo(mem);
      SelectObject(mem, old);
      DeleteObject(bmp);
      DeleteDC(mem);
      outerCanvasBack = box->Canvas() == outer;
      outer->SetBrushColor(RGB(0, 150, 0));
      outer->FillRect({0, 0, 60, 40});
    }
    --depth;
  };
  form->ShowForm();
  struct Case {
    const char* how;
    bool own, byForm;
    HWND dc;  // the window of the DC painted on
  };
  const Case cases[] = {{"plain", false, false, box->Handle()},
                        {"the box's own", true, false, nullptr},
                        {"the form's", false, true, nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    box->SetDoubleBuffered(c.own);
    form->SetDoubleBuffered(c.byForm);
    paintedOn = reinterpret_cast<HWND>(1);
    outerCanvasBack = false;
    box->Repaint();
    EXPECT_EQ(paintedOn, c.dc);
    EXPECT_TRUE(outerCanvasBack) << "after the nested paint the outer canvas is back";
    Shot shot(*box);
    EXPECT_EQ(shot.At(30, 20), RGB(0, 150, 0));
    EXPECT_EQ(shot.At(59, 39), RGB(0, 150, 0));
  }
  EXPECT_EQ(box->Canvas(), nullptr) << "no canvas outside the paint";
}

TEST_F(AppTest, PicturesAndLabelsAreClickedByAPressAndAReleaseBothInsideThem) {
  auto* form = app->CreateForm<tktest::TTestForm>();
  auto* image = new TImage(form, form, {10, 10, 50, 40});
  auto* label = new TLabel(form, form, "Verweis", {10, 60, 50, 40}, false);
  int clicks = 0;
  image->OnClick = label->OnClick = [&](TComponent*) { ++clicks; };
  struct Case {
    const char* how;
    bool pressInside;
    bool captureLost;  // another window takes the mouse between press and release
    POINT release;
    int clicks;
  };
  const Case cases[] = {
      {"press and release inside", true, false, {20, 20}, 1},
      {"pressed elsewhere, released over it", false, false, {20, 20}, 0},
      {"pressed inside, released outside", true, false, {80, 20}, 0},
      {"pressed inside, released on the edge outside", true, false, {50, 39}, 0},
      {"pressed inside, the mouse taken away, released inside", true, true, {20, 20}, 0},
  };
  for (TControl* control : {static_cast<TControl*>(image), static_cast<TControl*>(label)}) {
    for (const Case& c : cases) {
      clicks = 0;
      if (c.pressInside) SendMessageA(control->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
      if (c.captureLost) {
        SetCapture(form->Handle());
        ReleaseCapture();
      }
      SendMessageA(control->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(c.release.x, c.release.y));
      EXPECT_EQ(clicks, c.clicks) << c.how << (control == image ? " (picture)" : " (label)");
    }
  }
}

TEST_F(AppTest, LabelTextFollowsTheSystemWindowTextColour) {
  auto* form = app->CreateForm<tktest::TTestForm>();
  auto* label = new TLabel(form, form, "Text", {10, 10, 0, 0}, false);
  const INT element = COLOR_WINDOWTEXT;
  const COLORREF saved = GetSysColor(COLOR_WINDOWTEXT);
  for (COLORREF scheme : {RGB(10, 120, 30), saved}) {
    ASSERT_TRUE(SetSysColors(1, &element, &scheme));
    EXPECT_EQ(label->Font().Color(), scheme);
    HDC dc = GetDC(label->Handle());
    SendMessageA(form->Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label->Handle()));
    EXPECT_EQ(GetTextColor(dc), scheme) << "what the label draws with";
    ReleaseDC(label->Handle(), dc);
  }
  // A colour of its own stays.
  label->Font().SetColor(RGB(0, 0, 255));
  EXPECT_EQ(label->Font().Color(), RGB(0, 0, 255));
}

}  // namespace
