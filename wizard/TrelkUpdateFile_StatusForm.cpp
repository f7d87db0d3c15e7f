// TStatusForm: construction, show and close, the step machine, the process strip and the
// destruction that writes the next reminder date and starts a prepared installation.
#include "wizard/TrelkUpdateFile_StatusForm.h"

#include <shellapi.h>

#include <exception>
#include <optional>

#include "base/Color.h"
#include "base/StrUtils.h"
#include "settings/ProgramKey.h"
#include "settings/UpdateServer.h"
#include "toolkit/Application.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Seams.h"
#include "wizard/ProtectedInstall.h"
#include "wizard/SearchFolder.h"
#include "wizard/Signature.h"

namespace wizard {

using namespace toolkit;

TStatusForm* StatusForm = nullptr;

namespace {

const base::Color kStripLeft = base::Rgb(155, 183, 230);
const base::Color kStripRight = base::Rgb(255, 255, 255);

}  // namespace

TStatusForm::TStatusForm(TComponent* owner) : TStatusForm(owner, settings::UpdateServerSetting()) {}

TStatusForm::TStatusForm(TComponent* owner, const settings::ServerSetting& server) : TForm(owner, "TStatusForm") {
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
  HTTP->Host = server.host;
  UpdateServer = server.Authority();
  UpdatePublicKey = BuiltInPublicKey();
  ProgramDir = base::ExtractFilePath(ExeName());
  HTTP->OnFailure = [this](net::CmdType cmd) { HTTPFailure(cmd); };
  HTTP->OnConnectionFailed = [this](TComponent* s) { HTTPConnectionFailed(s); };
  StatusForm = this;
}

TStatusForm::~TStatusForm() {
  if (StatusForm == this) StatusForm = nullptr;
}

void TStatusForm::FormCreate(TComponent*) { Run.Downloading = false; }

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
  if (Run.ArchiveRefused) RestoreInstallPage();
  // A new run: nothing of an earlier search in this process is used again.
  Run.Begin(TempPathSeam());
  PerCent->Font().SetBold(true);
  PerCent->FontChanged();
  CenterOnScreen();
  Pages->SetPageIndex(StepIndex(WizardStep::Welcome));
  Notebook_StdButtons->SetPageIndex(kStandardButtons);
  Button_Settings->Show();
  Button_Cancel->SetEnabled(true);
  Button_Next->SetEnabled(true);
  Button_Next->SetText("Weiter >");
  Panel_Title->SetCaption(TitleTexts[StepIndex(WizardStep::Welcome)]);
  PaintBox_Process->Invalidate();
}

void TStatusForm::ShowStepPage() {
  Pages->SetPageIndex(StepIndex(Run.Step));
  Panel_Title->SetCaption(TitleTexts[StepIndex(Run.Step)]);
}

void TStatusForm::OfferWayBack() {
  Run.WayBack = true;
  Button_Next->SetText(kBackCaption);
  Button_Next->SetEnabled(true);
}

void TStatusForm::RestoreInstallPage() {
  Label3->SetCaption(kInstallText);
  Image_Icon2->SetIcon(icon2_.get());
}

void TStatusForm::BackToCheck(TComponent* sender) {
  if (Run.ArchiveRefused) RestoreInstallPage();
  // As the retry of a download steps back to run its step again: the check page comes next.
  Run.BackToCheck();
  Button_Next->SetText("Weiter >");
  Button_NextClick(sender);
}

void TStatusForm::Button_NextClick(TComponent* sender) {
  if (Run.WayBack) {
    BackToCheck(sender);
    return;
  }
  Run.Step = NextStep(Run.Step);
  switch (Run.Step) {
    case WizardStep::Check:
      Button_Next->SetEnabled(false);  // the check button takes the user on
      break;
    case WizardStep::Result:
      if (Run.ListRefusal != Refusal::None) {
        // A program with a key and a list it may not read: why, and the way back.
        Label_CheckResult->SetCaption(RefusalText(Run.ListRefusal));
        OfferWayBack();
        break;
      }
      Label_CheckResult->SetCaption(
          CheckResultText(Run.UpdateAvailable, Run.UpdateAvailable ? ReadNews() : std::string()));
      if (!Run.UpdateAvailable) {
        Button_Next->SetText("Beenden");
        Button_Cancel->SetEnabled(false);
      }
      Button_Next->SetEnabled(true);
      break;
    case WizardStep::Download:
      // "Beenden" on the no-update result. The download page still becomes current below,
      // which is the state the destruction recognises.
      if (!Run.UpdateAvailable) Close();
      break;
    case WizardStep::Finish:
      // A program folder this user cannot write is installed with the user's consent, from
      // copies checked against this archive's checksum.
      Run.NeedsConsent = !ProgramFolderWritableSeam(ProgramDir);
      if (!PrepareInstallation()) return;  // the failure state stays on "Einrichten"
      ShowFinishPage();
      break;
    case WizardStep::Ended:
      if (!StartBatchBeforeEnd()) {
        Close();  // the program goes on as after a cancelled search
        return;
      }
      Application->Terminate();
      break;
    case WizardStep::Welcome:
    case WizardStep::Install:
      break;
  }
  if (StepChangesPage(Run.Step, Pages->PageIndex())) ShowStepPage();
  PaintBox_Process->Repaint();
  if (Run.Step == WizardStep::Download && Run.UpdateAvailable) RunDownload();
}

void TStatusForm::Button_CancelClick(TComponent*) { Close(); }

void TStatusForm::FormCloseQuery(TComponent*, bool& canClose) {
  canClose = !Run.Downloading;
  // A running download is asked about once per attempt; "Ja" closes the window as soon as the
  // stopped download has returned (RunDownload).
  if (Run.Downloading && ConfirmStop()) {
    Run.CancelConfirmed = true;
    Run.CloseAfterDownload = true;
  }
}

void TStatusForm::FormClose(TComponent*) {
  // Closing in the finish step ends the program, however the window was closed.
  if (Run.Step == WizardStep::Finish && StartBatchBeforeEnd()) Application->Terminate();
}

void TStatusForm::ShowFinishPage() {
  Label5->SetCaption(std::string(kFinishText) + (Run.NeedsConsent ? kConsentNeededText : ""));
}

std::exception_ptr TStatusForm::WriteNextReminder() {
  try {
    // A key that did not open fails at the write.
    settings::ProgramKey key(RootKey(), RegistryKey, settings::ProgramKey::Access::Create);
    key.SetUpdate(NextUpdateDate(static_cast<int32_t>(toolkit::Today()), key.Interval()));
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

namespace {

// The "Update" date as it is before the installation with consent, so that a refusal can put it
// back: nullopt when there is none (or none that can be read, which then stays as written).
struct StoredReminder {
  bool known = false;
  std::optional<base::TDateTime> value;
};

StoredReminder ReadReminder(HKEY root, const std::string& registryKey) {
  StoredReminder stored;
  try {
    stored.value = settings::ProgramKey(root, registryKey, settings::ProgramKey::Access::Read).Update();
    stored.known = true;
  } catch (const std::exception&) {
  }
  return stored;
}

void PutReminderBack(HKEY root, const std::string& registryKey, const StoredReminder& stored) {
  if (!stored.known) return;
  try {
    settings::ProgramKey key(root, registryKey, settings::ProgramKey::Access::Change);
    if (!key.IsOpen()) return;
    if (stored.value)
      key.SetUpdate(*stored.value);
    else
      key.RemoveUpdate();
  } catch (const std::exception&) {
  }
}

// Waits for `process` to end while the window's messages go on; its exit code.
DWORD WaitWhileAnswering(HANDLE process) {
  while (MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    if (Application) Application->ProcessMessages();
  }
  DWORD code = static_cast<DWORD>(ProtectedOutcome::Failed);
  if (!GetExitCodeProcess(process, &code)) code = static_cast<DWORD>(ProtectedOutcome::Failed);
  return code;
}

}  // namespace

bool TStatusForm::StartBatchBeforeEnd() {
  if (!Run.InstallPrepared || !Run.NeedsConsent || Run.BatchStarted) return true;
  // The installation with consent takes its own copies: nothing of the search stays held. The
  // archive and the list stay in the folder until it has copied them.
  Run.UpdateList.reset();
  Run.HeldList.reset();
  Run.HeldFiles.clear();
  ProtectedRequest request;
  request.searchDir = Run.SearchDir;
  if (!UpdatePublicKey.empty()) {
    request.listFile = Run.ListFileName.substr(Run.ListFileName.find_last_of('\\') + 1);
    request.signature = Run.ListSignature;
  }
  request.sha256 = Run.ArchiveSha256;
  // "Update" before anything starts: a batch that starts the program again must not bring the
  // wizard back. A refusal puts the date back as it was.
  const StoredReminder before = ReadReminder(RootKey(), RegistryKey);
  std::exception_ptr writeError = WriteNextReminder();
  Run.ReminderWritten = true;
  const HWND owner = Handle();
  EnableWindow(owner, FALSE);
  const ElevatedStart start = ElevatedStartSeam(owner, ExeName(), ProtectedInstallParameters(request));
  DWORD outcome = static_cast<DWORD>(ProtectedOutcome::Failed);
  if (start.process) {
    outcome = WaitWhileAnswering(start.process);
    CloseHandle(start.process);
  }
  EnableWindow(owner, TRUE);
  if (start.process && outcome == static_cast<DWORD>(ProtectedOutcome::Started)) {
    Run.BatchStarted = true;
    if (CheckBox_Restart->Checked()) StartRestartAfter(ExeName(), ProtectedFolderFor(Run.SearchDir));
    // The installation works from its own copies: the search folder has done its part.
    Run.DropSearch();
    if (writeError) std::rethrow_exception(writeError);
    return true;
  }
  Run.InstallPrepared = false;
  Run.ReminderWritten = false;
  Run.DropSearch();
  PutReminderBack(RootKey(), RegistryKey, before);
  MessageDlg(start.process ? ProtectedOutcomeText(outcome) : ConsentStartText(start.error), MB_OK | MB_ICONWARNING);
  return false;
}

void TStatusForm::FormDestroy(TComponent*) {
  // A wizard that never showed is on its welcome page.
  const int page = controlsMade_ ? Pages->PageIndex() : 0;
  const bool cancelEnabled = controlsMade_ ? Button_Cancel->Enabled() : true;
  // The next reminder date. A prepared installation runs even when it cannot be written (a key
  // without write access, a value of another type), and the search is cleared up all the same:
  // the error is reported after that.
  std::exception_ptr writeError;
  if (!Run.ReminderWritten && WritesUpdateAtDestroy(Run.InstallPrepared, page, cancelEnabled))
    writeError = WriteNextReminder();
  Run.UpdateList.reset();
  Run.HeldList.reset();
  if (Run.InstallPrepared && !Run.BatchStarted) {
    // The batch deletes itself when it has done its work; the folder goes at the program's next
    // start. One that needed the user's consent started in the finish step already.
    Run.HeldFiles.clear();
    const std::string batch = Run.SearchDir + "Update.bat";
    ShellExecuteSeam(Application ? Application->Handle() : nullptr, "open", batch, "", "", SW_HIDE);
  } else if (!Run.InstallPrepared) {
    // Nothing of a search that installed nothing stays behind.
    Run.DropSearch();
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
  const int highlighted = HighlightedTitle(Run.Step);
  for (int k = 0; k < kStepCount; ++k) {
    canvas.Font().SetBold(k == highlighted);
    canvas.Font().SetItalic(k == highlighted);
    canvas.TextOut(16, 16 + 56 * k, TitleTexts[k]);
  }
}

void TStatusForm::Button_CheckClick(TComponent*) {
  // A second click while the list is on its way would start a second request on the same
  // client inside the first.
  Button_Check->SetEnabled(false);
  CheckForUpdates();
  Button_Check->SetEnabled(true);
}

void TStatusForm::HTTPFailure(net::CmdType cmd) {
  if (cmd == net::CmdType::Get) Run.UpdateAvailable = false;
}

void TStatusForm::HTTPConnectionFailed(TComponent*) { Run.UpdateAvailable = false; }

void TStatusForm::SetCaptionIfChanged(TLabel* label, const std::string& text) {
  if (label->Text() != text) label->SetCaption(text);
}

}  // namespace wizard
