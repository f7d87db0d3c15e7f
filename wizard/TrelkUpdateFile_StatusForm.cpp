// TStatusForm: layout, show and close, the step machine, the process strip, destruction and the
// reminder settings page.
#include "wizard/TrelkUpdateFile_StatusForm.h"

#include <shellapi.h>

#include <cstdlib>
#include <exception>
#include <optional>

#include "base/Color.h"
#include "engine/Registry.h"
#include "resources/Version.h"
#include "toolkit/Application.h"
#include "toolkit/FormBuilder.h"
#include "toolkit/Seams.h"
#include "wizard/SearchFolder.h"
#include "wizard/Signature.h"

namespace wizard {

using namespace toolkit;

const char kInstallFailedText[] =
    "Die Installationsdateien wurden nicht gefunden. Klicken Sie auf \"Abbrechen\" und versuchen Sie es später "
    "noch einmal.";

const char kDownloadText[] =
    "Die Updates werden jetzt heruntergeladen. Bitten warten Sie, bis der Download abgeschlossen ist, oder klicken "
    "Sie auf \"Download abbrechen\", wenn Sie die Updates zu einer anderen Zeit herunterladen wollen.";
const char kDownloadStoppedText[] =
    "Der Download wurde nicht vollendet.\r\n\r\nKlicken Sie auf \"Erneut versuchen\", um den Download erneut zu "
    "starten.\r\nKlicken Sie auf \"Abbrechen\", um den Assistenten zu beenden.";
const char kDownloadFailedText[] =
    "Die Update-Dateien konnten nicht vollständig heruntergeladen werden.\r\n\r\nKlicken Sie auf \"Erneut "
    "versuchen\", um den Download erneut zu starten.\r\nKlicken Sie auf \"Abbrechen\", um den Assistenten zu beenden.";
const char kDownloadNoRoomText[] =
    "Die Update-Dateien sind größer als der freie Platz im Ordner für temporäre Dateien und wurden nicht "
    "heruntergeladen.\r\n\r\nKlicken Sie auf \"Erneut versuchen\", um den Download erneut zu starten.\r\nKlicken "
    "Sie auf \"Abbrechen\", um den Assistenten zu beenden.";
const char kDownloadDoneText[] =
    "Die Update-Dateien wurden erfolgreich heruntergeladen. Klicken Sie auf \"Weiter\", um die Updates zu "
    "installieren.";
const char kNoConnectionText[] = "Es besteht keine Internetverbindung.";
const char kNoConnectionCaption[] = "Internetverbindung erforderlich";
const char kListTooLongText[] =
    "Die Update-Liste des Servers ist größer als 16 MB und wird nicht gelesen. Versuchen Sie es später noch einmal.";
const char kListTooLongCaption[] = "Update-Liste ungültig";
const char kStopDownloadQuestion[] = "Soll der Download wirklich abgebrochen werden?";

TStatusForm* StatusForm = nullptr;
int Step = 0;
bool CancelConfirmed = false;
bool DownloadAborted = false;
bool DownloadFailed = false;
bool InstallPrepared = false;
std::string TempDir;
std::string SearchDir;
base::TDateTime DownloadStart = 0;
std::unique_ptr<TIniFile> UpdateList;

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

const char kVerdana[] = "Verdana";

}  // namespace

ServerSetting UpdateServerSetting() {
  if (const char* text = std::getenv("TRELK_UPDATE_SERVER")) {
    if (auto setting = ParseServerSetting(text)) return *setting;
  }
  ServerSetting builtIn;
  builtIn.host = OSTVANE_MAKER_WEB_HOST;
  return builtIn;
}

// The whole wizard: the window and its controls in one description. The window is made with
// the form, its controls at the first show.
FormSpec TStatusForm::Description() {
  const Flag kGroup = Flag::Group;
  return FormSpec("Updates installieren", 658, 353)
      .Font(kVerdana, -11)
      .Color(kWhite)
      .Flags(FormFlag::DoubleBuffered)
      .OnCreate(this, &TStatusForm::FormCreate)
      .OnShow(this, &TStatusForm::FormShow)
      .OnCloseQuery(this, &TStatusForm::FormCloseQuery)
      .OnClose(this, &TStatusForm::FormClose)
      .OnDestroy(this, &TStatusForm::FormDestroy)
      .Controls({
          Row("PaintBox_Process", Kind::PaintBox, "", "", {0, 0, 225, 353})
              .Flags(Flag::DoubleBuffered)
              .Into(PaintBox_Process)
              .OnPaint(this, &TStatusForm::PaintBox_ProcessPaint),
          Row("Panel_Title", Kind::Panel, "", "", {232, 8, 417, 41})
              .Color(kTitleBlue)
              .Font(kVerdana, -19, FontStyle::Bold, kWhite)
              .Into(Panel_Title),
          Row("Pages", Kind::PageControl, "", "", {232, 56, 417, 249}).Into(Pages),
          Row("Bestätigung1", Kind::Page, "Pages"),
          Row("Prüfen", Kind::Page, "Pages"),
          Row("Bestätigung2", Kind::Page, "Pages"),
          Row("Download", Kind::Page, "Pages"),
          Row("Einrichten", Kind::Page, "Pages"),
          Row("Bestätigung3", Kind::Page, "Pages"),
          Row("Einstellungen", Kind::Page, "Pages"),
          Row("Bevel1", Kind::HLine, "", "", {232, 312, 417, 2}).Into(Bevel1),
          Row("Button_Settings", Kind::Button, "", "Einstellungen", {240, 320, 97, 25})
              .Into(Button_Settings)
              .OnClick(this, &TStatusForm::Button_SettingsClick),
          Row("Notebook_StdButtons", Kind::PageControl, "", "", {456, 314, 193, 37}).Into(Notebook_StdButtons),
          Row("Standard", Kind::Page, "Notebook_StdButtons"),
          Row("Einstellungen", Kind::Page, "Notebook_StdButtons"),
          Row("Button_Cancel", Kind::Button, "Notebook_StdButtons.Standard", "Abbrechen", {6, 6, 83, 25})
              .Flags(Flag::Cancel)
              .Into(Button_Cancel)
              .OnClick(this, &TStatusForm::Button_CancelClick),
          Row("Button_Next", Kind::Button, "Notebook_StdButtons.Standard", "Weiter >", {100, 6, 83, 25})
              .Flags(Flag::Default)
              .Into(Button_Next)
              .OnClick(this, &TStatusForm::Button_NextClick),
          Row("Button_SettingsCancel", Kind::Button, "Notebook_StdButtons.Einstellungen", "Abbrechen", {6, 6, 83, 25})
              .Flags(Flag::Cancel)
              .Into(Button_SettingsCancel)
              .OnClick(this, &TStatusForm::Button_SettingsCancelClick),
          Row("Button_SettingsSave", Kind::Button, "Notebook_StdButtons.Einstellungen", "Speichern", {100, 6, 83, 25})
              .Flags(Flag::Default)
              .Into(Button_SettingsSave)
              .OnClick(this, &TStatusForm::Button_SettingsSaveClick),
          // Page 0
          Row("Image_Icon1", Kind::Image, "Pages.Bestätigung1", "", {8, 8, 32, 32}).Into(Image_Icon1),
          Row("Label2", Kind::WrapLabel, "Pages.Bestätigung1", kWelcomeText, {56, 8, 353, 233}).Into(Label2),
          // Page 1
          Row("Label4", Kind::WrapLabel, "Prüfen", kCheckText, {8, 8, 401, 57}).Into(Label4),
          Row("Button_Check", Kind::Button, "Prüfen", "Jetzt auf neue Updates prüfen", {8, 96, 185, 25})
              .Into(Button_Check)
              .OnClick(this, &TStatusForm::Button_CheckClick),
          // Page 2
          Row("Label_CheckResult", Kind::WrapLabel, "Bestätigung2", "", {8, 8, 401, 233}).Into(Label_CheckResult),
          // Page 3
          Row("Label_Download", Kind::WrapLabel, "Download", kDownloadText, {8, 8, 401, 89}).Into(Label_Download),
          Row("Status", Kind::ProgressBar, "Download", "", {52, 112, 337, 25}).Range(0, 100, 0).Into(Status),
          Row("PerCent", Kind::WrapLabel, "Download", "", {52, 144, 337, 13})
              .Font("MS Sans Serif", -11)
              .Flags(Flag::Centered)
              .Into(PerCent),
          // The two lines change while the bytes stream in: boxes of their own size, so that a
          // new text repaints the line and does not resize it.
          Row("StatusLabel", Kind::Label, "Download", "", {52, 168, 337, 13}).Into(StatusLabel),
          Row("TimeLeft", Kind::Label, "Download", "", {52, 192, 337, 13}).Into(TimeLeft),
          Row("Icon", Kind::Image, "Download", "", {8, 160, 33, 33}).Into(Icon),
          Row("CancelDownload", Kind::Button, "Download", "Download ab&brechen", {240, 216, 155, 25})
              .Into(CancelDownload)
              .OnClick(this, &TStatusForm::CancelDownloadClick),
          // Page 4
          Row("Image_Icon2", Kind::Image, "Einrichten", "", {8, 8, 32, 32}).Into(Image_Icon2),
          Row("Label3", Kind::WrapLabel, "Einrichten", kInstallText, {56, 8, 353, 177}).Into(Label3),
          Row("CheckBox_Restart", Kind::CheckBox, "Einrichten", "Programm automatisch neu starten", {56, 224, 353, 17})
              .Flags(Flag::Checked)
              .Into(CheckBox_Restart),
          // Page 5
          Row("Image_Icon3", Kind::Image, "Bestätigung3", "", {8, 8, 32, 32}).Into(Image_Icon3),
          Row("Label5", Kind::WrapLabel, "Bestätigung3", kFinishText, {56, 8, 353, 233}).Into(Label5),
          // Page 6
          Row("GroupBox1", Kind::GroupBox, "Pages.Einstellungen",
              "Wie oft wollen Sie zum Suchen nach Updates aufgefordert werden?", {8, 8, 401, 233})
              .Into(GroupBox1),
          Row("RadioButton_NoAutoUpdt", Kind::RadioButton, "GroupBox1", "Niemals automatisch zum Updaten auffordern",
              {16, 24, 377, 17})
              .Flags(kGroup)
              .Into(RadioButton_NoAutoUpdt)
              .OnClick(this, &TStatusForm::RadioButton_UpdtClick),
          Row("Label1", Kind::WrapLabel, "GroupBox1", kNeverText, {40, 40, 353, 73}).Into(Label1),
          Row("RadioButton_AutoUpdt", Kind::RadioButton, "GroupBox1",
              "Regelmäßig in bestimmten Abständen zum Updaten auffordern", {16, 112, 383, 17})
              .Flags(Flag::Checked)
              .Into(RadioButton_AutoUpdt)
              .OnClick(this, &TStatusForm::RadioButton_UpdtClick),
          Row("Label6", Kind::WrapLabel, "GroupBox1", kPeriodicText, {40, 128, 353, 57}).Into(Label6),
          Row("Label_AutoUpdt1", Kind::Label, "GroupBox1", "Alle", {40, 192, 0, 0}).Into(Label_AutoUpdt1),
          Row("SpinEdit_AutoUpdt", Kind::SpinEdit, "GroupBox1", "", {70, 188, 49, 22})
              .Range(kMinInterval, kMaxInterval, 7)
              .Into(SpinEdit_AutoUpdt),
          Row("Label_AutoUpdt2", Kind::Label, "GroupBox1", "Tage an Updates erinnern", {122, 192, 0, 0})
              .Into(Label_AutoUpdt2),
      });
}

TStatusForm::TStatusForm(TComponent* owner) : TForm(owner, "TStatusForm") {
  // A further wizard of the same owner is told apart by a number, as forms made twice are.
  std::string name = "StatusForm";
  for (int i = 1; owner && owner->FindComponent(name); ++i) name = "StatusForm_" + std::to_string(i);
  SetName(name);
  FormSpec window = Description();
  window.controls.clear();
  Build(*this, window);

  WinXP = new ui::TWinXP(this);
  WinXP->SetName("WinXP");
  // The wizard's own HTTP client; the update component's settings are not copied into it.
  HTTP = new net::THttpClient(this);
  HTTP->SetName("HTTP");
  net::UseUpdateTransferSettings(*HTTP, "");
  const ServerSetting server = UpdateServerSetting();
  HTTP->Host = server.host;
  UpdateServer = server.Authority();
  UpdatePublicKey = BuiltInPublicKey();
  HTTP->OnFailure = [this](net::CmdType cmd) { HTTPFailure(cmd); };
  HTTP->OnConnectionFailed = [this](TComponent* s) { HTTPConnectionFailed(s); };
  StatusForm = this;
}

TStatusForm::~TStatusForm() {
  if (StatusForm == this) StatusForm = nullptr;
}

void TStatusForm::FormCreate(TComponent*) { Downloading = false; }

void TStatusForm::EnsureControls() {
  if (controlsMade_) return;
  controlsMade_ = true;
  BuildControls(*this, Description().controls);
  SetInitialFocus(Button_Next);
  // The information icon, and two copies of that picture for the later pages.
  HICON information = LoadIconA(nullptr, IDI_ASTERISK);
  Image_Icon1->SetIcon(information);
  icon2_.reset(CopyIcon(information));
  icon3_.reset(CopyIcon(information));
  Image_Icon2->SetIcon(icon2_.get());
  Image_Icon3->SetIcon(icon3_.get());
  Icon->SetIcon(Application ? Application->Icon() : LoadIconA(nullptr, IDI_APPLICATION));
}

void TStatusForm::FormShow(TComponent*) {
  EnsureControls();
  // A new run: nothing of an earlier search in this process is used again.
  DropSearch();
  TempDir = TempPathSeam();
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
  DownloadFailed = false;
  closeAfterDownload_ = false;
  listRefusal_ = Refusal::None;
  wayBack_ = false;
  if (archiveRefused_) {
    archiveRefused_ = false;
    Label3->SetCaption(kInstallText);
    Image_Icon2->SetIcon(icon2_.get());
  }
  Panel_Title->SetCaption(TitleTexts[0]);
  PaintBox_Process->Invalidate();
}

void TStatusForm::ShowStepPage() {
  Pages->SetPageIndex(Step);
  Panel_Title->SetCaption(TitleTexts[Step]);
}

void TStatusForm::OfferWayBack() {
  wayBack_ = true;
  Button_Next->SetText(kBackCaption);
  Button_Next->SetEnabled(true);
}

void TStatusForm::BackToCheck(TComponent* sender) {
  wayBack_ = false;
  listRefusal_ = Refusal::None;
  Button_Next->SetText("Weiter >");
  if (archiveRefused_) {
    archiveRefused_ = false;
    Label3->SetCaption(kInstallText);
    Image_Icon2->SetIcon(icon2_.get());
  }
  // As the retry of a download steps back to run its step again: the check page comes next.
  Step = 0;
  Button_NextClick(sender);
}

void TStatusForm::Button_NextClick(TComponent* sender) {
  if (wayBack_) {
    BackToCheck(sender);
    return;
  }
  ++Step;
  switch (Step) {
    case 1:
      Button_Next->SetEnabled(false);  // the check button takes the user on
      break;
    case 2:
      if (listRefusal_ != Refusal::None) {
        // A program with a key and a list it may not read: why, and the way back.
        Label_CheckResult->SetCaption(RefusalText(listRefusal_));
        OfferWayBack();
        break;
      }
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

void TStatusForm::FormCloseQuery(TComponent*, bool& canClose) {
  canClose = !Downloading;
  // A running download is asked about once per attempt; "Ja" closes the window as soon as the
  // stopped download has returned (RunDownload).
  if (Downloading && ConfirmStop()) {
    CancelConfirmed = true;
    closeAfterDownload_ = true;
  }
}

void TStatusForm::FormClose(TComponent*) {
  // Closing in step 5 ends the program, however the window was closed.
  if (Step == 5) Application->Terminate();
}

void TStatusForm::FormDestroy(TComponent*) {
  // A wizard that never showed is on its welcome page.
  const int page = controlsMade_ ? Pages->PageIndex() : 0;
  const bool cancelEnabled = controlsMade_ ? Button_Cancel->Enabled() : true;
  // The next reminder date. A prepared installation runs even when it cannot be written (a key
  // without write access, a value of another type): the error is reported after the start.
  std::exception_ptr writeError;
  if (WritesUpdateAtDestroy(InstallPrepared, page, cancelEnabled)) {
    try {
      engine::TRegistry reg(RootKey());
      reg.OpenKey(engine::ProgramKeyPath(RegistryKey), true);  // a key that did not open fails at the write
      std::optional<int32_t> interval;
      if (reg.ValueExists("UpdateInterval")) interval = reg.ReadInteger("UpdateInterval");
      reg.WriteDate("Update", NextUpdateDate(static_cast<int32_t>(toolkit::Today()), interval));
    } catch (...) {
      if (!InstallPrepared) throw;
      writeError = std::current_exception();
    }
  }
  UpdateList.reset();
  listLock_.reset();
  if (InstallPrepared) {
    // The batch removes the search folder when it has done its work.
    heldFiles_.clear();
    const std::string batch = SearchDir + "Update.bat";
    ShellExecuteSeam(Application ? Application->Handle() : nullptr, "open", batch, "", "", SW_HIDE);
  } else if (!SearchDir.empty()) {
    // Nothing of a search that installed nothing stays behind.
    RemoveFolderTree(SearchDir);
    SearchDir.clear();
  }
  if (writeError) std::rethrow_exception(writeError);
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
  // The strip's font at 10 points, bold and italic for the current step only.
  canvas.SetBrushStyle(TCanvas::BrushStyle::Clear);
  canvas.Font() = PaintBox_Process->Font();
  canvas.Font().SetSize(10);
  canvas.Font().SetColor(GetSysColor(COLOR_WINDOWTEXT));
  const int highlighted = HighlightedTitle(Step);
  for (int k = 0; k < kStepCount; ++k) {
    canvas.Font().SetBold(k == highlighted);
    canvas.Font().SetItalic(k == highlighted);
    canvas.TextOut(16, 16 + 56 * k, TitleTexts[k]);
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
  // Step 6 has no page of its own: the last step page stays. Step 5 without a prepared
  // installation is the failure state of "Einrichten", which stays on its own page.
  int page = Step < kStepCount ? Step : kStepCount - 1;
  if (Step == 5 && !InstallPrepared) page = kInstallPage;
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

void TStatusForm::SetCaptionIfChanged(TLabel* label, const std::string& text) {
  if (label->Text() != text) label->SetCaption(text);
}

}  // namespace wizard
