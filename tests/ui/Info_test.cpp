// The about dialog in this process: the banner painted into a memory bitmap, the version text,
// the font adaptation of the existing forms, the link labels and the modal show.
#include "ui/Info.h"
#include "toolkit/Seams.h"

#include <vector>

#include "UiTestSupport.h"
#include "resources/Version.h"

namespace {

using uitest::AppTest;
using uitest::BitmapPixel;
using uitest::BinDir;
using uitest::ColorText;
using uitest::MemoryBitmap;
using uitest::TPlainForm;
using ui::TInfo;

COLORREF Blend(COLORREF from, COLORREF to, int i, int n) { return base::BlendColor(from, to, i, n); }

const COLORREF kLightBlue = RGB(74, 160, 255), kWhite = RGB(255, 255, 255), kBlack = RGB(0, 0, 0);

// The colour the banner's gradients give column x (435 wide: 326 steps up, 109 down).
COLORREF GradientAt(int x) { return x <= 326 ? Blend(kLightBlue, kWhite, x, 326) : Blend(kWhite, kLightBlue, x - 326, 109); }

class InfoTest : public AppTest {
 protected:
  TInfo* Create() { return app->CreateForm<TInfo>(); }
};

TEST_F(InfoTest, LayoutAndTexts) {
  TInfo* info = Create();
  EXPECT_EQ(ui::Info, info);
  RECT client;
  GetClientRect(info->Handle(), &client);
  EXPECT_EQ(client.right, 435);
  EXPECT_EQ(client.bottom, 132);
  EXPECT_FALSE(info->Visible()) << "created hidden";
  EXPECT_EQ(info->LogoPB->Width(), 435);
  EXPECT_EQ(info->LogoPB->Height(), 65);
  EXPECT_EQ(info->EMailLbl->Text(), "info@trelk-software.example");
  EXPECT_EQ(info->URLLbl->Text(), "www.trelk-software.example");
  EXPECT_FALSE(info->InfoLbl->Text().empty());
  // Right-justified: the right edges stay where the layout puts them.
  EXPECT_EQ(info->InfoLbl->BoundsRect().right, 427);
  EXPECT_EQ(info->EMailLbl->BoundsRect().right, 429);
  EXPECT_EQ(info->URLLbl->BoundsRect().right, 429);
  EXPECT_EQ(info->EMailLbl->Top(), 100);
  EXPECT_EQ(info->URLLbl->Top(), 113);
  EXPECT_GT(info->EMailLbl->Width(), 50);
  EXPECT_EQ(info->OK->Text(), "OK");
  EXPECT_TRUE(info->OK->Default());
  EXPECT_TRUE(info->OK->Cancel());
  ASSERT_NE(info->Logo(), nullptr);
  EXPECT_EQ(info->Logo()->Width(), 142);
  EXPECT_EQ(info->Logo()->Height(), 63);
  BITMAP bm{};
  GetObjectA(info->Logo()->Handle(), sizeof bm, &bm);
  EXPECT_EQ(bm.bmBitsPixel, 24);
  delete info;
  EXPECT_EQ(ui::Info, nullptr);
}

TEST_F(InfoTest, BannerGradientsLogoIconAndFrame) {
  TInfo* info = Create();
  HICON red = uitest::SolidIcon(32, RGB(200, 0, 0));
  info->SetBanner("Trelk-Software Ostvane", "2002-2003", red);
  MemoryBitmap banner(435, 65);
  info->LogoPB->PaintTo(banner.Dc());
  const COLORREF face = info->LogoPB->Color();
  ASSERT_NE(face, GradientAt(7));

  // Above the logo (it starts at y = 4) every column shows its gradient colour.
  for (int x : {0, 1, 100, 254, 325, 326, 327, 380, 433, 434}) {
    EXPECT_EQ(banner.Pixel(x, 1), GradientAt(x)) << "x=" << x << " " << ColorText(banner.Pixel(x, 1));
    EXPECT_EQ(banner.Pixel(x, 64), GradientAt(x)) << "x=" << x << " bottom row";
  }
  EXPECT_EQ(banner.Pixel(0, 1), kLightBlue);
  EXPECT_EQ(banner.Pixel(326, 1), kWhite);
  EXPECT_EQ(banner.Pixel(434, 1), Blend(kWhite, kLightBlue, 108, 109));

  // The logo at (326 - 71, 4): black stays black, white lets the gradient through, any other
  // colour is ANDed with the gradient.
  const auto& logo = *info->Logo();
  int black = 0, white = 0, other = 0;
  for (int y = 0; y + 4 < 65; ++y)
    for (int x = 0; x < logo.Width(); ++x) {
      COLORREF l = BitmapPixel(logo, x, y), got = banner.Pixel(255 + x, 4 + y);
      COLORREF want = l == kBlack ? kBlack : (l & GradientAt(255 + x));
      if (l == kBlack) ++black;
      else if (l == kWhite) ++white;
      else ++other;
      if (got != want) {
        ADD_FAILURE() << "logo pixel " << x << "," << y << " " << ColorText(l) << ": " << ColorText(got) << " want "
                      << ColorText(want);
        return;
      }
    }
  EXPECT_GT(black, 100) << "the lettering is black";
  EXPECT_GT(white, 1000);
  EXPECT_GT(other, 100) << "the emblem has colour";
  int blue = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 50; x < 92; ++x) {
      COLORREF l = BitmapPixel(logo, x, y);
      if (GetBValue(l) > GetRValue(l) + 60) ++blue;
    }
  EXPECT_GT(blue, 300) << "the emblem is blue";

  // The 32 x 32 icon at (8, 16), its frame (7, 15)-(40, 48) in the brush colour over the
  // icon's last column and row.
  EXPECT_EQ(banner.Pixel(8, 16), RGB(200, 0, 0));
  EXPECT_EQ(banner.Pixel(38, 46), RGB(200, 0, 0));
  for (POINT p : std::vector<POINT>{{7, 15}, {39, 15}, {7, 47}, {39, 47}, {7, 30}, {39, 30}, {20, 15}, {20, 47}})
    EXPECT_EQ(banner.Pixel(p.x, p.y), face) << "frame at " << p.x << "," << p.y;
  EXPECT_EQ(banner.Pixel(6, 30), GradientAt(6));
  EXPECT_EQ(banner.Pixel(40, 30), GradientAt(40));
  EXPECT_EQ(banner.Pixel(20, 14), GradientAt(20));
  EXPECT_EQ(banner.Pixel(20, 48), GradientAt(20));

  // Texts from x = 48: some pixels there are no longer the gradient, none left of it.
  int text = 0;
  for (int y = 5; y < 60; ++y)
    for (int x = 48; x < 200; ++x)
      if (banner.Pixel(x, y) != GradientAt(x)) ++text;
  EXPECT_GT(text, 200);
  for (int y = 5; y < 60; ++y)
    for (int x = 41; x < 47; ++x) EXPECT_EQ(banner.Pixel(x, y), GradientAt(x)) << x << "," << y;
  DestroyIcon(red);
}

TEST_F(InfoTest, ANarrowBannerHasNoStepsAndStillPaints) {
  // One pixel wide: no steps to the left (n = 0), so the column is the blend's end, white.
  TInfo* info = Create();
  info->LogoPB->SetBounds(0, 0, 1, 65);
  MemoryBitmap banner(1, 65);
  info->LogoPB->PaintTo(banner.Dc());
  EXPECT_EQ(banner.Pixel(0, 1), kWhite);
}

TEST_F(InfoTest, VersionTextComesFromTheFirstTranslation) {
  EXPECT_EQ(ui::FileVersionText(BinDir() + "Brisel.exe"), "1.6.0.0");
  // The shell gives a library no executable type, so its block is not read.
  EXPECT_EQ(ui::FileVersionText(BinDir() + "Kalvor.dll"), "");
  EXPECT_EQ(ui::FileVersionText(BinDir() + "base_tests.exe"), "") << "no version block";
  // This program's block lists a translation without "FileVersion" first.
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  EXPECT_EQ(ui::FileVersionText(self), "");
  EXPECT_EQ(ui::FileVersionText(BinDir() + "gibt-es-nicht.exe"), "");
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string text = std::string(temp) + "ostvane-kein-programm.txt";
  HANDLE f = CreateFileA(text.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(f, "MZ kein Programm", 16, &written, nullptr);
  CloseHandle(f);
  EXPECT_EQ(ui::FileVersionText(text), "");
  DeleteFileA(text.c_str());
}

TEST_F(InfoTest, EightPointFormsTakeTheMessageFontFace) {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = 340;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 340, &metrics, 0));
  const std::string face = metrics.lfMessageFont.lfFaceName;
  ASSERT_NE(face, "MS Sans Serif") << "the test needs a message font of another face";

  auto* eight = app->CreateForm<TPlainForm>();
  auto* follows = new toolkit::TLabel(eight, eight, "folgt", {0, 0, 0, 0}, false);
  auto* panel = new toolkit::TPanel(eight, eight, {0, 20, 100, 50});
  auto* nested = new toolkit::TLabel(eight, panel, "innen", {0, 0, 0, 0}, false);
  auto* own = new toolkit::TLabel(eight, eight, "eigen", {0, 80, 0, 0}, false);
  own->Font().SetColor(RGB(0, 0, 255));
  own->FontChanged();
  auto* nine = app->CreateForm<TPlainForm>();
  nine->Font().SetSize(9);
  nine->FontChanged();
  auto* bold = app->CreateForm<TPlainForm>();
  bold->Font().SetBold(true);
  bold->FontChanged();

  TInfo* info = Create();
  EXPECT_EQ(eight->Font().Name(), face);
  EXPECT_EQ(eight->Font().Size(), 8) << "the size stays";
  EXPECT_EQ(follows->Font().Name(), face);
  EXPECT_EQ(nested->Font().Name(), face) << "through the panel";
  EXPECT_EQ(own->Font().Name(), "MS Sans Serif") << "a control with its own font keeps it";
  EXPECT_EQ(nine->Font().Name(), "MS Sans Serif") << "9 points: unchanged";
  EXPECT_EQ(nine->Font().Size(), 9);
  EXPECT_EQ(bold->Font().Name(), face);
  EXPECT_TRUE(bold->Font().Bold()) << "the style stays";
  EXPECT_EQ(info->Font().Name(), face) << "the dialog itself";
  EXPECT_EQ(info->LogoPB->Font().Name(), face) << "the banner follows the dialog";
  for (toolkit::TLabel* label : {info->InfoLbl, info->EMailLbl, info->URLLbl}) {
    EXPECT_EQ(label->Font().Name(), "MS Sans Serif") << label->Name();
    EXPECT_EQ(label->Font().Size(), 8) << label->Name();
  }
  // The window got the new font too.
  HFONT sent = reinterpret_cast<HFONT>(SendMessageA(follows->Handle(), WM_GETFONT, 0, 0));
  LOGFONTA lf{};
  ASSERT_TRUE(GetObjectA(sent, sizeof lf, &lf));
  EXPECT_EQ(std::string(lf.lfFaceName), face);

  // A dialog made at its first show, in a program that adapted its forms at the start: a form
  // made since then keeps its face, the dialog itself takes the message font's.
  info->Free();
  auto* later = app->CreateForm<TPlainForm>();
  TInfo* second = app->CreateForm<TInfo>(TInfo::FontsAdapted);
  EXPECT_EQ(later->Font().Name(), "MS Sans Serif");
  EXPECT_EQ(second->Font().Name(), face);
  EXPECT_EQ(second->OK->Font().Name(), face);
}

TEST_F(InfoTest, LinkLabelsHoverPressAndOpen) {
  std::vector<std::pair<std::string, int>> opened;
  auto shell = toolkit::ShellExecuteSeam.Replace([&](HWND, const std::string& verb, const std::string& target, const std::string&,
                                                 const std::string&, int show) {
    EXPECT_EQ(verb, "open");
    opened.emplace_back(target, show);
    return static_cast<INT_PTR>(33);
  });
  TInfo* info = Create();
  struct Step {
    UINT msg;
    bool underline;
    COLORREF color;
    size_t opened;
  };
  for (toolkit::TLabel* link : {info->EMailLbl, info->URLLbl}) {
    opened.clear();
    HWND h = link->Handle();
    EXPECT_EQ(SendMessageA(h, WM_NCHITTEST, 0, 0), HTCLIENT) << "the label takes the mouse";
    EXPECT_EQ(link->Font().Color(), RGB(0, 0, 255));
    const Step steps[] = {
        {WM_MOUSEMOVE, true, RGB(0, 0, 255), 0},
        {WM_LBUTTONDOWN, true, RGB(255, 0, 0), 0},
        {WM_LBUTTONUP, true, RGB(0, 0, 255), 1},
        {WM_MOUSELEAVE, false, RGB(0, 0, 255), 1},
    };
    for (const Step& s : steps) {
      SendMessageA(h, s.msg, s.msg == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(2, 2));
      EXPECT_EQ(link->Font().Underline(), s.underline) << link->Name() << " after 0x" << std::hex << s.msg;
      EXPECT_FALSE(link->Font().Bold());
      EXPECT_EQ(link->Font().Color(), s.color) << link->Name() << " after 0x" << std::hex << s.msg;
      EXPECT_EQ(opened.size(), s.opened) << link->Name() << " after 0x" << std::hex << s.msg;
    }
    // A press released outside the label is no click, and the label is blue again.
    SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(2, 500));
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_EQ(link->Font().Color(), RGB(0, 0, 255));
  }
  // The two targets, in a normal window.
  opened.clear();
  info->EMailLblClick(info->EMailLbl);
  info->URLLblClick(info->URLLbl);
  shell.Restore();
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].first, "mailto:info@trelk-software.example");
  EXPECT_EQ(opened[1].first, "http://www.trelk-software.example");
  EXPECT_EQ(opened[0].second, SW_SHOWNORMAL);
  EXPECT_EQ(opened[1].second, SW_SHOWNORMAL);
  // The credit line is no link.
  EXPECT_NE(SendMessageA(info->InfoLbl->Handle(), WM_NCHITTEST, 0, 0), HTCLIENT);
}

// Runs inside the dialog's modal loop: records what a user sees, then presses OK.
struct ModalProbe {
  static TInfo* info;
  static std::string caption;
  static bool visible;
  static bool mainDisabled;
  static HWND main;
  static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    caption = info->Text();
    visible = info->Visible();
    mainDisabled = main && !IsWindowEnabled(main);
    // Esc the first time (OK is the cancel button too), a click on OK the second.
    if (useEscape) {
      PostMessageA(info->OK->Handle(), WM_CHAR, 27, 0);
    } else {
      PostMessageA(info->OK->Handle(), BM_CLICK, 0, 0);
    }
  }
  static bool useEscape;
};
TInfo* ModalProbe::info = nullptr;
std::string ModalProbe::caption;
bool ModalProbe::visible = false;
bool ModalProbe::mainDisabled = false;
HWND ModalProbe::main = nullptr;
bool ModalProbe::useEscape = false;

TEST_F(InfoTest, ShowInfoIsModalAndReplacesItsValues) {
  auto* main = app->CreateForm<TPlainForm>();
  main->ShowForm();
  TInfo* info = Create();
  ModalProbe::info = info;
  ModalProbe::main = main->Handle();
  HICON icon = app->Icon();
  auto* next = new toolkit::TButton(main, main, "Weiter >", {10, 10, 75, 25});
  next->SetFocus();
  for (const char* title : {"Trelk-Software Ostvane", "Kalvor"}) {
    ModalProbe::caption.clear();
    ModalProbe::useEscape = std::string(title) == "Kalvor";
    SetTimer(nullptr, 0, 100, ModalProbe::Fire);
    info->ShowInfo(title, "2002-2003", icon);
    EXPECT_EQ(ModalProbe::caption, std::string("Info über ") + title);
    EXPECT_TRUE(ModalProbe::visible);
    EXPECT_TRUE(ModalProbe::mainDisabled) << "the main window waits";
    EXPECT_FALSE(info->Visible()) << "closed again";
    EXPECT_TRUE(IsWindowEnabled(main->Handle()));
    EXPECT_EQ(info->ProgramTitle(), title);
    EXPECT_EQ(GetFocus(), next->Handle()) << "the focus is back where it was";
    EXPECT_EQ(info->ModalResult(), toolkit::TForm::mrOk);
  }
  EXPECT_EQ(info->DevelopmentTime(), "2002-2003");
  EXPECT_EQ(info->ProgramIcon(), icon);
}

}  // namespace
