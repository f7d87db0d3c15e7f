// TStatusForm: layout, show and close, the step machine, the process strip, destruction and the
// reminder settings page.
#include "wizard/TrelkUpdateFile_StatusForm.h"

#include <shellapi.h>

#include <cstdlib>
#include <optional>

#include "base/Color.h"
#include "engine/Registry.h"
#include "resources/Version.h"
#include "toolkit/Application.h"

namespace wizard {

using namespace toolkit;

const char kInstallFailedText[] =
    "Die Installationsdateien wurden nicht gefunden. Klicken Sie auf \"Abbrechen\" und versuchen Sie es später "
    "noch einmal.";

TStatusForm* StatusForm = nullptr;
int Step = 0;
bool CancelConfirmed = false;
bool DownloadAborted = false;
bool InstallPrepared = false;
std::string TempDir;
base::TDateTime DownloadStart = 0;

namespace {

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kTitleBlue = RGB(49, 106, 197);
const base::Color kStripLeft = base::Rgb(155, 183, 230);
const base::Color kStripRight = base::Rgb(255, 255, 255);

const char kWelcomeText[] =
    "In regelmäßigen Abständen sollte im Internet nach Programmverbesserungen und -updates gesucht werden, um "
    "möglichen Programmfehlern vorzubeugen.\r\nKlicken Sie auf \"Weiter\", um jetzt nach neuen Updates zu suchen, "
    "oder auf \"Abbrechen\", um zu einem anderen Zeitpunkt nach Programmverbesserungen zu suchen.\r\n\r\nKlicken "
    "Sie auf \"Einstellungen\", um festzulegen, ob und in welchen Abständen Sie zum Suchen nach Updates "
    "aufgefordert werden möchten.";
const char kCheckText[] =
    "Stellen Sie sicher, dass eine Internetverbindung besteht, und klicken Sie auf \"Jetzt auf neue Updates "
    "prüfen\".";
const char kDownloadText[] =
    "Die Updates werden jetzt heruntergeladen. Bitten warten Sie, bis der Download abgeschlossen ist, oder klicken "
    "Sie auf \"Download abbrechen\", wenn Sie die Updates zu einer anderen Zeit herunterladen wollen.";
const char kInstallText[] =
    "Das Update kann jetzt installiert werden.\r\nKlicken Sie auf \"Weiter\", um den Vorgang fortzusetzen und die "
    "Installation durchzuführen.\r\n\r\nAktivieren Sie das Kontrollfeld \"Programm automatisch neu starten\", um "
    "die Anwendung nach der Installation sofort neu zu starten.";
const char kFinishText[] =
    "Die Installation wurde vorbereitet.\r\nKlicken SIe auf \"Beenden\", um die alten Dateien zu ersetzen. Ein "
    "Neustart des Computers ist nicht erforderlich.\r\n\r\nWenn Sie nicht die Option zum automatischen Neustart des "
    "Programms aktiviert haben, müssen Sie das Programm nach der Installation manuell neu starten.";
const char kNeverText[] =
    "Wenn Sie diese Option aktivieren, werden Sie nicht automatisch zum Suchen nach neuen Updates aufgefordert. Sie "
    "haben dann aber immer noch die Möglichkeit, über die Tastenkombination Strg+U die Suche nach Updates zu "
    "starten.";
const char kPeriodicText[] =
    "Aktivieren Sie diese Option, um in festgelegten Abständen automatisch zum Suchen nach neuen Updates "
    "aufgefordert zu werden. Dies geschieht dann jeweils unmittelbar nach dem Starten des Programms.";

// The two button pages of Notebook_StdButtons.
const int kStandardButtons = 0;
const int kSettingsButtons = 1;

}  // namespace

int32_t Today() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return base::TryEncodeDate(now.wYear, now.wMonth, now.wDay).value_or(0);
}

ServerSetting UpdateServerSetting() {
  if (const char* text = std::getenv("TRELK_UPDATE_SERVER")) {
    if (auto setting = ParseServerSetting(text)) return *setting;
  }
  ServerSetting builtIn;
  builtIn.host = OSTVANE_MAKER_WEB_HOST;
  return builtIn;
}

TStatusForm::TStatusForm(TComponent* owner)
    : TForm(owner, "TStatusForm", "Updates installieren", 658, 353, WS_CAPTION | WS_SYSMENU) {
  // A further wizard of the same owner is told apart by a number, as forms made twice are.
  std::string name = "StatusForm";
  for (int i = 1; owner && owner->FindComponent(name); ++i) name = "StatusForm_" + std::to_string(i);
  SetName(name);
  // Every control takes the form's face, size and colour.
  Font().SetName("Verdana");
  Font().SetHeight(-11);
  FontChanged();
  SetColor(kWhite);

  WinXP = new ui::TWinXP(this);
  WinXP->SetName("WinXP");

  // The wizard's own HTTP client; the update component's settings are not copied into it.
  HTTP = new net::THttpClient(this);
  HTTP->SetName("HTTP");
  net::UseWizardSettings(*HTTP, "");
  const ServerSetting server = UpdateServerSetting();
  HTTP->Host = server.host;
  UpdateServer = server.Authority();
  HTTP->OnFailure = [this](net::CmdType cmd) { HTTPFailure(cmd); };
  HTTP->OnConnectionFailed = [this](TComponent* s) { HTTPConnectionFailed(s); };

  OnCreate = [this](TComponent* s) { FormCreate(s); };
  OnShow = [this](TComponent* s) { FormShow(s); };
  OnCloseQuery = [this](TComponent* s, bool& canClose) { FormCloseQuery(s, canClose); };
  OnClose = [this](TComponent* s) { FormClose(s); };
  OnDestroy = [this](TComponent* s) {
    // Destruction runs while the application object ends, where no error may escape.
    try {
      FormDestroy(s);
    } catch (...) {
      if (Application) Application->HandleException();
    }
  };
  StatusForm = this;
}

TStatusForm::~TStatusForm() {
  BeforeDestruction();
  if (StatusForm == this) StatusForm = nullptr;
}

void TStatusForm::FormCreate(TComponent*) { Downloading = false; }

void TStatusForm::EnsureControls() {
  if (controlsMade_) return;
  controlsMade_ = true;
  const std::vector<ControlSpec> layout = {
      {"PaintBox_Process", Kind::PaintBox, "", "", {0, 0, 225, 353}, Into(PaintBox_Process)},
      {"Pages", Kind::PageControl, "", "", {232, 56, 417, 249}, Into(Pages)},
      {"Bestätigung1", Kind::Page, "Pages", "", {}, nullptr},
      {"Prüfen", Kind::Page, "Pages", "", {}, nullptr},
      {"Bestätigung2", Kind::Page, "Pages", "", {}, nullptr},
      {"Download", Kind::Page, "Pages", "", {}, nullptr},
      {"Einrichten", Kind::Page, "Pages", "", {}, nullptr},
      {"Bestätigung3", Kind::Page, "Pages", "", {}, nullptr},
      {"Einstellungen", Kind::Page, "Pages", "", {}, nullptr},
      {"Bevel1", Kind::HLine, "", "", {232, 312, 417, 2}, Into(Bevel1)},
      {"Button_Settings", Kind::Button, "", "Einstellungen", {240, 320, 97, 25}, Into(Button_Settings)},
      // Page 0
      {"Image_Icon1", Kind::Image, "Bestätigung1", "", {8, 8, 32, 32}, Into(Image_Icon1)},
      {"Label2", Kind::WrapLabel, "Bestätigung1", kWelcomeText, {56, 8, 353, 233}, Into(Label2)},
      // Page 1
      {"Label4", Kind::WrapLabel, "Prüfen", kCheckText, {8, 8, 401, 57}, Into(Label4)},
      {"Button_Check", Kind::Button, "Prüfen", "Jetzt auf neue Updates prüfen", {8, 96, 185, 25}, Into(Button_Check)},
      // Page 2
      {"Label_CheckResult", Kind::WrapLabel, "Bestätigung2", "", {8, 8, 401, 233}, Into(Label_CheckResult)},
      // Page 3
      {"Label_Download", Kind::WrapLabel, "Download", kDownloadText, {8, 8, 401, 89}, Into(Label_Download)},
      {"PerCent", Kind::WrapLabel, "Download", "", {52, 144, 337, 13}, Into(PerCent)},
      {"StatusLabel", Kind::Label, "Download", "", {52, 168, 0, 0}, Into(StatusLabel)},
      {"TimeLeft", Kind::Label, "Download", "", {52, 192, 0, 0}, Into(TimeLeft)},
      {"Icon", Kind::Image, "Download", "", {8, 160, 33, 33}, Into(Icon)},
      {"CancelDownload", Kind::Button, "Download", "Download ab&brechen", {240, 216, 155, 25}, Into(CancelDownload)},
      // Page 4
      {"Image_Icon2", Kind::Image, "Einrichten", "", {8, 8, 32, 32}, Into(Image_Icon2)},
      {"Label3", Kind::WrapLabel, "Einrichten", kInstallText, {56, 8, 353, 177}, Into(Label3)},
      // Page 5
      {"Image_Icon3", Kind::Image, "Bestätigung3", "", {8, 8, 32, 32}, Into(Image_Icon3)},
      {"Label5", Kind::WrapLabel, "Bestätigung3", kFinishText, {56, 8, 353, 233}, Into(Label5)},
  };
  BuildControls(*this, layout);

  Panel_Title = new TTitlePanel(this, this, {232, 8, 417, 41});
  Panel_Title->SetName("Panel_Title");
  Panel_Title->SetColor(kTitleBlue);
  Panel_Title->Font() = TFont("Verdana", -19, true);
  Panel_Title->Font().SetColor(kWhite);
  Panel_Title->FontChanged();

  // The two button pages carry names that the step pages use too ("Einstellungen"): they are
  // named within a holder of their own; their buttons belong to the form, which finds its
  // default and cancel buttons among its own components.
  auto* buttonPages = new TComponent(this);
  buttonPages->SetName("Notebook_StdButtons_Pages");
  Notebook_StdButtons = new TPageControl(buttonPages, this, {456, 314, 193, 37});
  Notebook_StdButtons->SetName("Notebook_StdButtons");
  TPanel* standard = Notebook_StdButtons->AddPage("Standard");
  TPanel* settings = Notebook_StdButtons->AddPage("Einstellungen");
  auto button = [this](TControl* page, const char* name, const char* caption, int left, bool isDefault) {
    auto* b = new TButton(this, page, caption, {left, 6, 83, 25}, isDefault, !isDefault);
    b->SetName(name);
    return b;
  };
  Button_Cancel = button(standard, "Button_Cancel", "Abbrechen", 6, false);
  Button_Next = button(standard, "Button_Next", "Weiter >", 100, true);
  Button_SettingsCancel = button(settings, "Button_SettingsCancel", "Abbrechen", 6, false);
  Button_SettingsSave = button(settings, "Button_SettingsSave", "Speichern", 100, true);

  // Page 3: the bar, the centred percentage in its own font.
  TControl* downloadPage = dynamic_cast<TControl*>(FindComponent("Download"));
  Status = new TProgressBar(this, downloadPage, {52, 112, 337, 25});
  Status->SetName("Status");
  PerCent->Font() = TFont("MS Sans Serif", -11);
  PerCent->FontChanged();
  SetWindowLongPtrA(PerCent->Handle(), GWL_STYLE,
                    (GetWindowLongPtrA(PerCent->Handle(), GWL_STYLE) & ~static_cast<LONG_PTR>(SS_TYPEMASK)) | SS_CENTER);
  Icon->SetIcon(Application ? Application->Icon() : LoadIconA(nullptr, IDI_APPLICATION));

  // Page 4: the restart box.
  TControl* installPage = dynamic_cast<TControl*>(FindComponent("Einrichten"));
  CheckBox_Restart = new TCheckBox(this, installPage, "Programm automatisch neu starten", {56, 224, 353, 17});
  CheckBox_Restart->SetName("CheckBox_Restart");
  CheckBox_Restart->SetChecked(true);

  // Page 6: the reminder settings inside their frame.
  TControl* settingsPage = dynamic_cast<TControl*>(FindComponent("Einstellungen"));
  GroupBox1 = new TGroupBox(this, settingsPage, "Wie oft wollen Sie zum Suchen nach Updates aufgefordert werden?",
                            {8, 8, 401, 233});
  GroupBox1->SetName("GroupBox1");
  RadioButton_NoAutoUpdt =
      new TRadioButton(this, GroupBox1, "Niemals automatisch zum Updaten auffordern", {16, 24, 377, 17}, true);
  RadioButton_NoAutoUpdt->SetName("RadioButton_NoAutoUpdt");
  Label1 = new TLabel(this, GroupBox1, kNeverText, {40, 40, 353, 73}, true);
  Label1->SetName("Label1");
  RadioButton_AutoUpdt = new TRadioButton(this, GroupBox1, "Regelmäßig in bestimmten Abständen zum Updaten auffordern",
                                          {16, 112, 383, 17}, false);
  RadioButton_AutoUpdt->SetName("RadioButton_AutoUpdt");
  Label6 = new TLabel(this, GroupBox1, kPeriodicText, {40, 128, 353, 57}, true);
  Label6->SetName("Label6");
  Label_AutoUpdt1 = new TLabel(this, GroupBox1, "Alle", {40, 192, 0, 0}, false);
  Label_AutoUpdt1->SetName("Label_AutoUpdt1");
  SpinEdit_AutoUpdt = new TSpinEdit(this, GroupBox1, {70, 188, 49, 22}, kMinInterval, kMaxInterval, 7);
  SpinEdit_AutoUpdt->SetName("SpinEdit_AutoUpdt");
  Label_AutoUpdt2 = new TLabel(this, GroupBox1, "Tage an Updates erinnern", {122, 192, 0, 0}, false);
  Label_AutoUpdt2->SetName("Label_AutoUpdt2");

  PaintBox_Process->OnPaint = [this](TComponent* s) { PaintBox_ProcessPaint(s); };
  Button_Next->OnClick = [this](TComponent* s) { Button_NextClick(s); };
  Button_Cancel->OnClick = [this](TComponent* s) { Button_CancelClick(s); };
  Button_Check->OnClick = [this](TComponent* s) { Button_CheckClick(s); };
  Button_Settings->OnClick = [this](TComponent* s) { Button_SettingsClick(s); };
  Button_SettingsSave->OnClick = [this](TComponent* s) { Button_SettingsSaveClick(s); };
  Button_SettingsCancel->OnClick = [this](TComponent* s) { Button_SettingsCancelClick(s); };
  RadioButton_NoAutoUpdt->OnClick = [this](TComponent* s) { RadioButton_UpdtClick(s); };
  RadioButton_AutoUpdt->OnClick = [this](TComponent* s) { RadioButton_UpdtClick(s); };
  RadioButton_AutoUpdt->SetChecked(true);
  initialFocus = Button_Next;

  // The information icon, and two copies of that picture for the later pages.
  HICON information = LoadIconA(nullptr, IDI_ASTERISK);
  Image_Icon1->SetIcon(information);
  icon2_.reset(CopyIcon(information));
  icon3_.reset(CopyIcon(information));
  Image_Icon2->SetIcon(icon2_.get());
  Image_Icon3->SetIcon(icon3_.get());
}

void TStatusForm::FormShow(TComponent*) {
  EnsureControls();
  char path[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof path, path);
  TempDir = n > 0 && n < sizeof path ? std::string(path, n) : std::string();
  PerCent->Font().SetBold(true);
  PerCent->FontChanged();
  CenterOnScreen();
  Step = 0;
  Pages->SetPageIndex(0);
  Notebook_StdButtons->SetPageIndex(kStandardButtons);
  Button_Settings->Show();
  Button_Cancel->SetEnabled(true);
  Button_Next->SetEnabled(true);
  Button_Next->SetText("Weiter >");
  InstallPrepared = false;
  UpdateAvailable = false;
  CancelConfirmed = false;
  DownloadAborted = false;
  Panel_Title->SetCaption(TitleTexts[0]);
  PaintBox_Process->Invalidate();
}

void TStatusForm::ShowStepPage() {
  Pages->SetPageIndex(Step);
  Panel_Title->SetCaption(TitleTexts[Step]);
}

void TStatusForm::Button_NextClick(TComponent*) {
  ++Step;
  switch (Step) {
    case 1:
      Button_Next->SetEnabled(false);  // the check button takes the user on
      break;
    case 2:
      Label_CheckResult->SetCaption(CheckResultText(UpdateAvailable, UpdateAvailable ? ReadNews() : std::string()));
      if (!UpdateAvailable) {
        Button_Next->SetText("Beenden");
        Button_Cancel->SetEnabled(false);
      }
      Button_Next->SetEnabled(true);
      break;
    case 3:
      // "Beenden" on the no-update result. The download page still becomes current below,
      // which is the state the destruction recognises.
      if (!UpdateAvailable) Close();
      break;
    case 5:
      if (!PrepareInstallation()) return;  // the failure state stays on "Einrichten"
      break;
    case 6:
      Application->Terminate();
      break;
    default:
      break;
  }
  if (StepChangesPage(Step, Pages->PageIndex())) ShowStepPage();
  PaintBox_Process->Repaint();
  if (Step == 3 && UpdateAvailable) RunDownload();
}

void TStatusForm::Button_CancelClick(TComponent*) { Close(); }

void TStatusForm::FormCloseQuery(TComponent*, bool& canClose) { canClose = !Downloading; }

void TStatusForm::FormClose(TComponent*) {
  // Closing in step 5 ends the program, however the window was closed.
  if (Step == 5) Application->Terminate();
}

void TStatusForm::FormDestroy(TComponent*) {
  if (UpdateAvailable && !ListFileName.empty()) DeleteFileA(ListFileName.c_str());
  // A wizard that never showed is on its welcome page.
  const int page = controlsMade_ ? Pages->PageIndex() : 0;
  const bool cancelEnabled = controlsMade_ ? Button_Cancel->Enabled() : true;
  if (WritesUpdateAtDestroy(InstallPrepared, page, cancelEnabled)) {
    engine::TRegistry reg(RootKey());
    reg.OpenKey(engine::ProgramKeyPath(RegistryKey), true);  // a key that did not open fails at the write
    std::optional<int32_t> interval;
    if (reg.ValueExists("UpdateInterval")) interval = reg.ReadInteger("UpdateInterval");
    reg.WriteDate("Update", NextUpdateDate(Today(), interval));
  }
  if (InstallPrepared) {
    const std::string batch = TempDir + "Update.bat";
    ShellExecuteA(Application ? Application->Handle() : nullptr, "open", batch.c_str(), nullptr, nullptr, SW_HIDE);
  }
}

void TStatusForm::PaintBox_ProcessPaint(TComponent*) {
  RECT r;
  GetClientRect(PaintBox_Process->Handle(), &r);
  PaintProcessStrip(*PaintBox_Process->Canvas(), r.right, r.bottom);
}

void TStatusForm::PaintProcessStrip(TCanvas& canvas, int width, int height) {
  canvas.SetPenStyle(TCanvas::PenStyle::Solid);
  for (int x = 0; x <= width; ++x) {
    canvas.SetPenColor(base::BlendColor(kStripLeft, kStripRight, x, width));
    canvas.MoveTo(x, 0);
    canvas.LineTo(x, height);
  }
  // The strip's face at 10 points, bold and italic for the current step only.
  HDC dc = canvas.Handle();
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  const int highlighted = HighlightedTitle(Step);
  for (int k = 0; k < kStepCount; ++k) {
    const bool current = k == highlighted;
    ScopedGdiObject font(CreateFontA(-MulDiv(10, 96, 72), 0, 0, 0, current ? FW_BOLD : FW_NORMAL, current, FALSE,
                                     FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                     DEFAULT_PITCH | FF_DONTCARE, PaintBox_Process->Font().Name().c_str()));
    ScopedSelectObject select(dc, font.get());
    const std::string text = TitleTexts[k];
    TextOutA(dc, 16, 16 + 56 * k, text.data(), static_cast<int>(text.size()));
  }
}

void TStatusForm::Button_CheckClick(TComponent*) { CheckForUpdates(); }

void TStatusForm::HTTPFailure(net::CmdType cmd) {
  if (cmd == net::CmdType::Get) UpdateAvailable = false;
}

void TStatusForm::HTTPConnectionFailed(TComponent*) { UpdateAvailable = false; }

void TStatusForm::Button_SettingsClick(TComponent*) {
  engine::TRegistry reg(RootKey());
  reg.OpenKey(engine::ProgramKeyPath(RegistryKey), true);
  if (reg.ValueExists("NoUpdate")) {
    RadioButton_NoAutoUpdt->SetChecked(true);
  } else {
    RadioButton_AutoUpdt->SetChecked(true);
  }
  SpinEdit_AutoUpdt->SetValue(reg.ValueExists("UpdateInterval") ? ClampInterval(reg.ReadInteger("UpdateInterval")) : 7);
  reg.CloseKey();
  Button_Settings->Hide();
  Panel_Title->SetCaption(kSettingsTitle);
  Notebook_StdButtons->SetPageIndex(kSettingsButtons);
  Pages->SetPageIndex(kSettingsPage);
}

void TStatusForm::Button_SettingsSaveClick(TComponent* sender) {
  engine::TRegistry reg(RootKey());
  reg.OpenKey(engine::ProgramKeyPath(RegistryKey), true);
  if (RadioButton_NoAutoUpdt->Checked()) {
    if (reg.ValueExists("UpdateInterval")) reg.DeleteValue("UpdateInterval");
    reg.WriteString("NoUpdate", "");
  } else {
    if (reg.ValueExists("NoUpdate")) reg.DeleteValue("NoUpdate");
    reg.WriteInteger("UpdateInterval", SpinEdit_AutoUpdt->Value());
  }
  reg.CloseKey();
  Button_SettingsCancelClick(sender);
}

void TStatusForm::Button_SettingsCancelClick(TComponent*) {
  // Step 6 has no page of its own: the last step page stays.
  const int page = Step < kStepCount ? Step : kStepCount - 1;
  Panel_Title->SetCaption(TitleTexts[page]);
  Pages->SetPageIndex(page);
  Notebook_StdButtons->SetPageIndex(kStandardButtons);
  Button_Settings->Show();
}

void TStatusForm::RadioButton_UpdtClick(TComponent*) {
  const bool periodic = RadioButton_AutoUpdt->Checked();
  Label_AutoUpdt1->SetEnabled(periodic);
  SpinEdit_AutoUpdt->SetEnabled(periodic);
  Label_AutoUpdt2->SetEnabled(periodic);
}

// The update-list check, the news list and the download attach here.
void TStatusForm::CheckForUpdates() {}
std::string TStatusForm::ReadNews() { return std::string(); }
void TStatusForm::RunDownload() {}

// The unpacking and the batch file attach here; until then no archive can be installed, and
// the page shows the failure state as for a missing archive.
bool TStatusForm::PrepareInstallation() {
  Label3->SetCaption(kInstallFailedText);
  Image_Icon2->SetIcon(LoadIconA(nullptr, IDI_HAND));
  Button_Next->SetEnabled(false);
  return false;
}

}  // namespace wizard
