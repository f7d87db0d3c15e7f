// The about dialog: layout, font adaptation, banner painting, version text and the links.
#include "ui/Info.h"

#include <shellapi.h>

#include <cstdio>
#include <vector>

#include "base/Color.h"
#include "resources/Version.h"
#include "toolkit/Application.h"
#include "toolkit/FormBuilder.h"
#include "toolkit/Seams.h"

namespace ui {

using namespace toolkit;

TInfo* Info = nullptr;

namespace {

const char kCreditLine[] = OSTVANE_COPYRIGHT ". Alle Rechte vorbehalten.";
const COLORREF kLinkColor = RGB(0, 0, 255);
const COLORREF kPressedLinkColor = RGB(255, 0, 0);

// Width and height of an icon, from its colour bitmap (or its mask, which holds AND and XOR
// halves for a monochrome icon).
SIZE IconSize(HICON icon) {
  SIZE size{0, 0};
  ICONINFO info{};
  if (!icon || !GetIconInfo(icon, &info)) return size;
  BITMAP bm{};
  if (info.hbmColor && GetObjectA(info.hbmColor, sizeof bm, &bm)) {
    size = {bm.bmWidth, bm.bmHeight};
  } else if (info.hbmMask && GetObjectA(info.hbmMask, sizeof bm, &bm)) {
    size = {bm.bmWidth, bm.bmHeight / 2};
  }
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return size;
}

TLabel* AsLabel(TComponent* sender) { return dynamic_cast<TLabel*>(sender); }

}  // namespace

std::string FileVersionText(const std::string& path) {
  using FileInfoFunction = DWORD_PTR(WINAPI*)(LPCSTR, DWORD, SHFILEINFOA*, UINT, UINT);
  auto* fileInfo = SystemFunction<FileInfoFunction>("shell32.dll", "SHGetFileInfoA");
  SHFILEINFOA sfi{};
  if (!fileInfo || fileInfo(path.c_str(), 0, &sfi, sizeof sfi, SHGFI_EXETYPE) == 0) return std::string();
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (static_cast<int>(size) <= 0) return std::string();
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return std::string();
  void* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &translation, &length) || length < sizeof(DWORD))
    return std::string();
  DWORD first = *static_cast<const DWORD*>(translation);
  char subBlock[64];
  std::snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%.4x%.4x\\%s", static_cast<unsigned>(LOWORD(first)),
                static_cast<unsigned>(HIWORD(first)), "FileVersion");
  void* value = nullptr;
  if (!VerQueryValueA(data.data(), subBlock, &value, &length) || !value) return std::string();
  const char* text = static_cast<const char*>(value);
  size_t n = 0;
  while (n < length && text[n]) ++n;
  return std::string(text, n);
}

namespace {

int adaptations = 0;
std::string adaptedFace;

// The face of the system's message font; empty when the system does not tell. The structure is
// asked for in its original 340-byte size, which every version of the system answers.
std::string MessageFontFace() {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = 340;
  if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) return std::string();
  return metrics.lfMessageFont.lfFaceName;
}

void TakeFace(TForm& form, const std::string& face) {
  if (form.Font().Size() != 8 || form.Font().Name() == face) return;
  form.Font().SetName(face);
  form.FontChanged();
}

}  // namespace

void AdaptFormFonts() {
  const std::string face = MessageFontFace();
  if (!Application || face.empty()) return;
  ++adaptations;
  adaptedFace = face;
  for (int i = 0; i < Application->ComponentCount(); ++i)
    if (auto* form = dynamic_cast<TForm*>(Application->Component(i))) TakeFace(*form, face);
}

int FontAdaptations() { return adaptations; }

void CatchUpFontAdaptation(TForm& form, int seen) {
  if (adaptations > seen) TakeFace(form, adaptedFace);
}

TInfo::TInfo(TComponent* owner, FontAdaptation fonts) : TForm(owner, "TInfo"), fonts_(fonts) {
  SetName("Info");
  // Labels with a font of their own: the font adaptation of FormCreate leaves them as they are.
  const char* kFace = "MS Sans Serif";
  Build(*this, FormSpec("", 435, 132)
                   .Flags(FormFlag::DialogFrame)
                   .InitialFocus("OK")
                   .OnCreate(this, &TInfo::FormCreate)
                   .OnDestroy(this, &TInfo::FormDestroy)
                   .Controls({
                       Row("LogoPB", Kind::PaintBox, "", "", {0, 0, 435, 65}).Into(LogoPB).OnPaint(this, &TInfo::LogoPBPaint),
                       Row("InfoLbl", Kind::Label, "", "", {427, 69, 0, 0})
                           .Font(kFace, -11)
                           .Flags(Flag::RightJustified)
                           .Into(InfoLbl),
                       Link(Row("EMailLbl", Kind::Label, "", "", {429, 100, 0, 0}).Into(EMailLbl))
                           .OnClick(this, &TInfo::EMailLblClick),
                       Link(Row("URLLbl", Kind::Label, "", "", {429, 113, 0, 0}).Into(URLLbl))
                           .OnClick(this, &TInfo::URLLblClick),
                       // Both the default and the cancel button: Enter and Esc close the dialog.
                       Row("OK", Kind::Button, "", "OK", {177, 101, 81, 25})
                           .Flags(Flag::Default | Flag::Cancel)
                           .ModalResult(mrOk)
                           .Into(OK),
                   }));
  Info = this;
}

ControlSpec TInfo::Link(ControlSpec row) {
  return row.Font("MS Sans Serif", -11, FontStyle::None, kLinkColor)
      .Flags(Flag::RightJustified | Flag::HandPointer)
      .OnMouseEnter(this, &TInfo::HyperLinkMouseEnter)
      .OnMouseLeave(this, &TInfo::HyperLinkMouseLeave)
      .OnMouseDown(this, &TInfo::HyperLinkMouseDown)
      .OnMouseUp(this, &TInfo::HyperLinkMouseUp);
}

TInfo::~TInfo() {
  if (Info == this) Info = nullptr;
}

void TInfo::FormCreate(TComponent*) {
  // 1. Every 8-point form takes the face of the system's message font (only this one when the
  //    program adapted the others already).
  if (fonts_ == Adapt) {
    AdaptFormFonts();
  } else {
    CatchUpFontAdaptation(*this, 0);
  }
  // 2. The logo and its mask: black logo pixels are white in the mask, all others black.
  logo_ = TBitmap::FromResource(GetModuleHandleA(nullptr), "LOGO");
  logoMask_ = logo_->Copy()->MonochromeMask(RGB(0, 0, 0));
  // 3. The texts.
  InfoLbl->SetCaption(kCreditLine);
  EMailLbl->SetCaption(OSTVANE_MAKER_EMAIL);
  // The host alone, also where the build names it with "https://".
  const std::string host = OSTVANE_MAKER_WEB_HOST;
  URLLbl->SetCaption(host.rfind("https://", 0) == 0 ? host.substr(8) : host);
}

void TInfo::FormDestroy(TComponent*) {
  logoMask_.reset();
  logo_.reset();
}

void TInfo::ShowInfo(const std::string& programTitle, const std::string& developmentTime, HICON programIcon) {
  SetBanner(programTitle, developmentTime, programIcon);
  SetText("Info über " + programTitle);
  ShowModal();
}

void TInfo::SetBanner(const std::string& programTitle, const std::string& developmentTime, HICON programIcon) {
  programTitle_ = programTitle;
  developmentTime_ = developmentTime;
  programIcon_ = programIcon;
  LogoPB->Invalidate();
}

void TInfo::LogoPBPaint(TComponent*) {
  TCanvas& canvas = *LogoPB->Canvas();
  const int w = LogoPB->Width(), h = LogoPB->Height();
  const base::Color lightBlue = base::Rgb(74, 160, 255), white = base::Rgb(255, 255, 255);
  // 1., 2. Light blue to white at three quarters of the width, and back to light blue.
  const int n = w * 3 / 4;
  for (int x = 0; x <= n; ++x) {
    canvas.SetPenColor(base::BlendColor(lightBlue, white, x, n));
    canvas.MoveTo(x, 0);
    canvas.LineTo(x, h);
  }
  const int m = w - n;
  for (int i = 0; i <= m; ++i) {
    canvas.SetPenColor(base::BlendColor(white, lightBlue, i, m));
    canvas.MoveTo(w - m + i, 0);
    canvas.LineTo(w - m + i, h);
  }
  // 3. The logo through its mask: OR whitens where the logo is black, AND then lays the logo
  //    over the gradient. The mask's bits map to black (0) and white (1) exactly.
  if (logo_ && logoMask_) {
    const int x = n - logo_->Width() / 2, y = 4;
    ScopedMemoryDc mem(CreateCompatibleDC(canvas.Handle()));
    COLORREF oldText = SetTextColor(canvas.Handle(), RGB(0, 0, 0));
    COLORREF oldBack = SetBkColor(canvas.Handle(), RGB(255, 255, 255));
    {
      ScopedSelectObject select(mem.get(), logoMask_->Handle());
      canvas.CopyRect(x, y, logoMask_->Width(), logoMask_->Height(), mem.get(), 0, 0, SRCPAINT);
    }
    {
      ScopedSelectObject select(mem.get(), logo_->Handle());
      canvas.CopyRect(x, y, logo_->Width(), logo_->Height(), mem.get(), 0, 0, SRCAND);
    }
    SetTextColor(canvas.Handle(), oldText);
    SetBkColor(canvas.Handle(), oldBack);
  }
  // 4. The icon and its frame in the brush colour.
  const SIZE icon = IconSize(programIcon_);
  const int iconTop = h / 2 - icon.cy / 2;
  if (programIcon_) canvas.DrawIcon(8, iconTop, programIcon_);
  canvas.FrameRect({7, iconTop - 1, 8 + icon.cx, h / 2 + icon.cy / 2});
  // 5. The three texts on a transparent background.
  const int textLeft = icon.cx + 16;
  canvas.SetBrushStyle(TCanvas::BrushStyle::Clear);
  canvas.Font().SetBold(true);
  canvas.TextOut(textLeft, h / 2 - static_cast<int>(1.5 * canvas.TextHeight(programTitle_)), programTitle_);
  canvas.Font().SetBold(false);
  canvas.TextOut(textLeft, h / 2 - static_cast<int>(0.5 * canvas.TextHeight(programTitle_)),
                 "Version: " + FileVersionText(ExeName()));
  canvas.TextOut(textLeft, h / 2 + static_cast<int>(0.5 * canvas.TextHeight(developmentTime_)),
                 "Entwicklungszeit: " + developmentTime_);
  canvas.SetBrushStyle(TCanvas::BrushStyle::Solid);
}

void TInfo::EMailLblClick(TComponent*) {
  ShellExecuteSeam(Handle(), "open", std::string("mailto:") + OSTVANE_MAKER_EMAIL, "", "", SW_SHOWNORMAL);
}

void TInfo::URLLblClick(TComponent*) {
  const std::string host = OSTVANE_MAKER_WEB_HOST;
  ShellExecuteSeam(Handle(), "open", host.rfind("https://", 0) == 0 ? host : "http://" + host, "", "", SW_SHOWNORMAL);
}

void TInfo::HyperLinkMouseEnter(TComponent* sender) {
  if (TLabel* label = AsLabel(sender)) {
    label->Font().SetUnderline(true);
    label->FontChanged();
  }
}

void TInfo::HyperLinkMouseLeave(TComponent* sender) {
  if (TLabel* label = AsLabel(sender)) {
    label->Font().SetBold(false);
    label->Font().SetUnderline(false);
    label->FontChanged();
  }
}

void TInfo::HyperLinkMouseDown(TComponent* sender) {
  if (TLabel* label = AsLabel(sender)) {
    label->Font().SetColor(kPressedLinkColor);
    label->Invalidate();
  }
}

void TInfo::HyperLinkMouseUp(TComponent* sender) {
  if (TLabel* label = AsLabel(sender)) {
    label->Font().SetColor(kLinkColor);
    label->Invalidate();
  }
}

}  // namespace ui
