// TStatusForm: construction, show and close, the step machine and what each step shows of the
// run's outcomes (check, download with its progress, installation), the settings page, the
// process strip, and the destruction that writes the next reminder date and starts a prepared
// installation.
#include "wizard/TrelkUpdateFile_StatusForm.h"

#include <shellapi.h>

#include <cmath>
#include <exception>
#include <optional>

#include "base/Color.h"
#include "base/StrUtils.h"
#include "settings/Policy.h"
#include "settings/ProgramKey.h"
#include "settings/UpdateServer.h"
#include "toolkit/Application.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Seams.h"
#include "wizard/ProtectedInstall.h"
#include "wizard/SearchFolder.h"
#include "wizard/Signature.h"
#include "wizard/UserLocale.h"
#include "wizard/update_rules.h"

namespace wizard {

using namespace toolkit;

TStatusForm* StatusForm = nullptr;

namespace {

const base::Color kStripLeft = base::Rgb(155, 183, 230);
const base::Color kStripRight = base::Rgb(255, 255, 255);

}  // namespace

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
  UpdateServer = server.Origin();
  UpdatePublicKey = BuiltInPublicKey();
  ProgramDir = base::ExtractFilePath(ExeName());
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
  if (archiveRefusalShown_) RestoreInstallPage();
  // A new run: nothing of an earlier search in this process is used again.
  Work.Begin(TempPathSeam());
  Step = WizardStep::Welcome;
  UpdateAvailable = Downloading = CancelConfirmed = DownloadAborted = InstallPrepared = false;
  listRefusal_ = Refusal::None;
  offered_ = SkippedVersion();
  offerSkipped_ = false;
  Button_Skip->Hide();
  pinned_ = false;
  wayBack_ = closeAfterDownload_ = needsConsent_ = batchStarted_ = false;
  prepared_ = ProtectedRequest();
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

RunProgram TStatusForm::Program() const {
  RunProgram program{ProgramName, ZIPFileName, RegistryKey,     HKCU,
                     ReferenceDate, ProgramDir, UpdateServer, UpdatePublicKey,
                     settings::ReadPolicy(RegistryKey)};
  program.userSearch = UserSearch;
  return program;
}

void TStatusForm::ShowStepPage() {
  Pages->SetPageIndex(StepIndex(Step));
  Panel_Title->SetCaption(TitleTexts[StepIndex(Step)]);
}

void TStatusForm::OfferWayBack() {
  wayBack_ = true;
  Button_Next->SetText(kBackCaption);
  Button_Next->SetEnabled(true);
}

void TStatusForm::RestoreInstallPage() {
  archiveRefusalShown_ = false;
  Label3->SetCaption(kInstallText);
  Image_Icon2->SetIcon(icon2_.get());
}

void TStatusForm::BackToCheck() {
  if (archiveRefusalShown_) RestoreInstallPage();
  wayBack_ = false;
  listRefusal_ = Refusal::None;
  Button_Skip->Hide();
  // The check page, where the check button takes the user on.
  Step = WizardStep::Check;
  Button_Next->SetText("Weiter >");
  Button_Next->SetEnabled(false);
  if (StepChangesPage(Step, Pages->PageIndex())) ShowStepPage();
  PaintBox_Process->Repaint();
}

void TStatusForm::Button_NextClick(TComponent*) {
  if (wayBack_) {
    BackToCheck();
    return;
  }
  Step = NextStep(Step);
  switch (Step) {
    case WizardStep::Check:
      Button_Next->SetEnabled(false);  // the check button takes the user on
      break;
    case WizardStep::Result:
      if (listRefusal_ != Refusal::None) {
        // A program with a key and a list it may not read: why, and the way back.
        Label_CheckResult->SetCaption(RefusalText(listRefusal_));
        OfferWayBack();
        break;
      }
      Label_CheckResult->SetCaption(
          pinned_ ? std::string(kPinnedText)
                  : (UpdateAvailable && offerSkipped_ ? kSkippedLineText : "") +
                        CheckResultText(UpdateAvailable, UpdateAvailable ? ReadNews() : std::string()));
      Button_Skip->SetVisible(UpdateAvailable && !offerSkipped_);
      if (!UpdateAvailable) {
        Button_Next->SetText("Beenden");
        Button_Cancel->SetEnabled(false);
      }
      Button_Next->SetEnabled(true);
      break;
    case WizardStep::Download:
      // "Beenden" on the no-update result. The download page still becomes current below,
      // which is the state the destruction recognises.
      if (!UpdateAvailable) Close();
      break;
    case WizardStep::Finish:
      if (!PrepareStep()) return;  // the failure state stays on "Einrichten"
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
  if (StepChangesPage(Step, Pages->PageIndex())) ShowStepPage();
  PaintBox_Process->Repaint();
  if (Step == WizardStep::Download && UpdateAvailable) RunDownload();
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
  // Closing in the finish step ends the program, however the window was closed.
  if (Step == WizardStep::Finish && StartBatchBeforeEnd()) Application->Terminate();
}

void TStatusForm::ShowFinishPage() {
  Label5->SetCaption(std::string(kFinishText) + (needsConsent_ ? kConsentNeededText : ""));
}

std::exception_ptr TStatusForm::WriteNextReminder() {
  try {
    // A key that did not open fails at the write.
    settings::ProgramKey key(RootKey(), RegistryKey, settings::ProgramKey::Access::Create);
    // The administrator's interval, where a policy fixes or bounds it.
    const settings::Policy policy = settings::ReadPolicy(RegistryKey);
    const std::optional<std::int32_t> interval =
        policy.FixesReminder() ? settings::ApplyPolicyToReminder(policy, key.NoUpdate(), key.TryInterval()).interval
                               : key.Interval();
    key.SetUpdate(NextUpdateDate(static_cast<int32_t>(toolkit::Today()), interval));
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
  if (!InstallPrepared || !needsConsent_ || batchStarted_) return true;
  // The installation with consent takes its own copies: nothing of the search stays held. The
  // archive and the list stay in the folder until it has copied them.
  Work.ReleaseHeld();
  // "Update" before anything starts: a batch that starts the program again must not bring the
  // wizard back. A refusal puts the date back as it was.
  const StoredReminder before = ReadReminder(RootKey(), RegistryKey);
  std::exception_ptr writeError = WriteNextReminder();
  const HWND owner = Handle();
  EnableWindow(owner, FALSE);
  const ElevatedStart start = ElevatedStartSeam(owner, ExeName(), ProtectedInstallParameters(prepared_));
  DWORD outcome = static_cast<DWORD>(ProtectedOutcome::Failed);
  if (start.process) {
    outcome = WaitWhileAnswering(start.process);
    CloseHandle(start.process);
  }
  EnableWindow(owner, TRUE);
  if (start.process && outcome == static_cast<DWORD>(ProtectedOutcome::Started)) {
    batchStarted_ = true;
    if (CheckBox_Restart->Checked()) StartRestartAfter(ExeName(), ProtectedFolderFor(prepared_.searchDir));
    // The installation works from its own copies: the search folder has done its part.
    Work.DropSearch();
    if (writeError) std::rethrow_exception(writeError);
    return true;
  }
  InstallPrepared = false;
  Work.DropSearch();
  PutReminderBack(RootKey(), RegistryKey, before);
  MessageDlg(start.process ? ProtectedOutcomeText(outcome) : ConsentStartText(start.error), MB_OK | MB_ICONWARNING);
  return false;
}

void TStatusForm::FormDestroy(TComponent*) {
  // A wizard that never showed is on its welcome page.
  const int page = controlsMade_ ? Pages->PageIndex() : 0;
  const bool cancelEnabled = controlsMade_ ? Button_Cancel->Enabled() : true;
  // The next reminder date ("Update" was written already before a start with consent). A
  // prepared installation runs even when it cannot be written (a key without write access, a
  // value of another type), and the search is cleared up all the same: the error is reported
  // after that.
  std::exception_ptr writeError;
  if (!batchStarted_ && WritesUpdateAtDestroy(InstallPrepared, page, cancelEnabled)) writeError = WriteNextReminder();
  if (InstallPrepared && !batchStarted_) {
    // The batch deletes itself when it has done its work; the folder goes at the program's next
    // start. One that needed the user's consent started in the finish step already.
    Work.ReleaseHeld();
    ShellExecuteSeam(Application ? Application->Handle() : nullptr, "open", prepared_.searchDir + "Update.bat", "", "",
                     SW_HIDE);
  } else if (!InstallPrepared) {
    // Nothing of a search that installed nothing stays behind.
    Work.DropSearch();
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

// ---- The check -----------------------------------------------------------------------------

CheckOutcome TStatusForm::CheckUpdates() { return Work.Check(*HTTP, Program()); }

void TStatusForm::Button_CheckClick(TComponent*) {
  // A second click while the list is on its way would start a second request on the same
  // client inside the first.
  Button_Check->SetEnabled(false);
  const CheckOutcome outcome = CheckUpdates();
  Button_Check->SetEnabled(true);
  UpdateAvailable = outcome.kind == CheckOutcome::Offered;
  listRefusal_ = outcome.refusal;
  offered_ = outcome.version;
  offerSkipped_ = outcome.skipped;
  pinned_ = outcome.kind == CheckOutcome::Pinned;
  switch (outcome.kind) {
    case CheckOutcome::ListTooLong:
      ShowMessageBox(Handle(), kListTooLongText, kListTooLongCaption, MB_OK | MB_ICONEXCLAMATION);
      break;
    case CheckOutcome::NoConnection:
      // A secure connection refused says why, naming the host; through the user's proxy, the
      // message says so: the proxy may be what failed.
      ShowMessageBox(Handle(), NoConnectionMessage(outcome.fault), NoConnectionCaption(outcome.fault),
                     MB_OK | MB_ICONEXCLAMATION);
      break;
    case CheckOutcome::Offered:
    case CheckOutcome::NoUpdate:
    case CheckOutcome::Refused:
    case CheckOutcome::Pinned:
      Button_NextClick(Button_Check);  // on to the result
      break;
  }
}

void TStatusForm::Button_SkipClick(TComponent* sender) {
  if (!UpdateAvailable || Step != WizardStep::Result) return;
  {
    settings::ProgramKey key(RootKey(), RegistryKey, settings::ProgramKey::Access::Create);
    key.SetSkipped(offered_.date, offered_.sha256);
  }
  offerSkipped_ = true;
  Button_Skip->Hide();
  // From here as "Beenden" on a result without update: the next reminder date is written.
  UpdateAvailable = false;
  Button_Cancel->SetEnabled(false);
  Button_NextClick(sender);
}

std::string TStatusForm::ReadNews() {
  return NewsListText(Work.News(ProgramName), ReferenceDate, UserShortDateFormat(), toolkit::Today());
}

void TStatusForm::HTTPFailure(net::CmdType cmd) {
  if (cmd == net::CmdType::Get && Step == WizardStep::Check) UpdateAvailable = false;
}

void TStatusForm::HTTPConnectionFailed(TComponent*) {
  if (Step == WizardStep::Check) UpdateAvailable = false;
}

// ---- The download --------------------------------------------------------------------------

namespace {

// The current time of day as a fraction of a day.
double TimeOfDay() {
  const base::TDateTime now = toolkit::NowSeam();
  return now - std::floor(now);
}

}  // namespace

bool TStatusForm::ConfirmStop() {
  MessageBeep(MB_ICONQUESTION);
  return MessageDlg(kStopDownloadQuestion, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void TStatusForm::RunDownload() {
  Button_Next->SetEnabled(false);
  Label_Download->SetCaption(kDownloadText);
  CancelDownload->SetText("Download ab&brechen");
  CancelDownload->Show();
  toolkit::ProcessMessages();
  const DownloadOutcome outcome = DownloadUpdate();
  DownloadAborted = outcome.kind == DownloadOutcome::Stopped;
  switch (outcome.kind) {
    case DownloadOutcome::Done:
      Label_Download->SetCaption(kDownloadDoneText);
      CancelDownload->Hide();
      Button_Next->SetEnabled(true);
      break;
    case DownloadOutcome::WrongSize:
      // Not the archive the signed list names: nothing of the search stayed, and the way back
      // leads to a new check.
      Label_Download->SetCaption(RefusalText(Refusal::ArchiveSizeWrong));
      CancelDownload->Hide();
      OfferWayBack();
      break;
    case DownloadOutcome::Stopped:
    case DownloadOutcome::Failed:
    case DownloadOutcome::NoRoom: {
      const std::optional<std::string> reason = FaultReason(outcome.fault);
      Label_Download->SetCaption(outcome.kind == DownloadOutcome::Stopped  ? kDownloadStoppedText
                                 : outcome.kind == DownloadOutcome::NoRoom ? kDownloadNoRoomText
                                 : reason                                  ? DownloadFailedBecause(*reason)
                                                                           : kDownloadFailedText);
      CancelDownload->SetText("Erneut versuchen");
      break;
    }
  }
  // The user left the wizard during the download and said "Ja".
  if (closeAfterDownload_) {
    closeAfterDownload_ = false;
    Close();
  }
}

DownloadOutcome TStatusForm::DownloadUpdate() {
  progressReported_ = false;
  progressShownAt_ = GetTickCount();
  // Asking the platform for them at every showing would cost more than the showing.
  progressSeparator_ = UserDecimalSeparator();
  progressTimeFormat_ = UserTimeFormat();
  HTTP->OnPacketRecvd = [this](toolkit::TComponent* sender) { OnUpdateTimer(sender); };
  Downloading = true;
  const DownloadOutcome outcome = Work.Download(*HTTP, Program(), [this] { return DownloadAborted; });
  Downloading = false;
  HTTP->OnPacketRecvd = nullptr;
  // The last block's figures, whether or not they were shown when it came.
  if (progressReported_) ShowProgress();
  return outcome;
}

void TStatusForm::OnUpdateTimer(toolkit::TComponent*) {
  // Every block is looked at, but the progress is shown at most every kDisplaySpacing ms (four
  // times a second, often enough for figures a person reads): from a fast server the blocks
  // come thousands of times a second, and even at a modest rate painting the page (or looking
  // at the message queue, which under Wine asks the display server) for each of them would
  // cost more than receiving them. The client's receive loop handles the queue every few
  // milliseconds meanwhile, so clicks are not kept waiting. The last block of an announced
  // length and the end of the transfer (DownloadUpdate) are always shown.
  progressReported_ = true;
  const DWORD now = GetTickCount();
  const std::int64_t expected = HTTP->ExpectedBytes();
  if (now - progressShownAt_ >= kDisplaySpacing || (expected > 0 && HTTP->ReceivedBytes() >= expected)) {
    toolkit::ProcessMessages();
    ShowProgress();
    progressShownAt_ = now;
  }
  if (CancelConfirmed) {
    try {
      HTTP->Abort();
    } catch (...) {
    }
    DownloadAborted = true;
  }
}

void TStatusForm::ShowProgress() {
  // The whole archive: the bytes a broken attempt left count; the time left is that of this reply.
  const std::int64_t before = Work.BodyStart();
  const std::int64_t expected = HTTP->ExpectedBytes() > 0 ? before + HTTP->ExpectedBytes() : 0;
  const std::int64_t received = before + HTTP->ReceivedBytes();
  double remaining = 0;
  const base::TDateTime start = Work.DownloadStart();
  if (start != 0) {
    const double e1 = TimeOfDay() - start;
    const double e2 = TimeOfDay() - start;
    remaining = RemainingDays(HTTP->ExpectedBytes(), HTTP->ReceivedBytes(), start, e1, e2);
  }
  // The bar counts in whole numbers: amounts beyond their range are halved together.
  std::int64_t maximum = expected, position = received;
  while (maximum > INT32_MAX || position > INT32_MAX) {
    maximum /= 2;
    position /= 2;
  }
  if (Status->Min() != 0 || Status->Max() != maximum) Status->SetRange(0, static_cast<int>(maximum));
  if (Status->Position() != position) Status->SetPosition(static_cast<int>(position));
  SetCaptionIfChanged(PerCent, PercentText(received, expected));
  SetCaptionIfChanged(StatusLabel, FormatSize(received, 1, progressSeparator_) + " von " +
                                       FormatSize(expected, 1, progressSeparator_) + " gedownloadet");
  SetCaptionIfChanged(TimeLeft, "verbleibende Zeit: " + RemainingTimeText(remaining, progressTimeFormat_));
}

void TStatusForm::CancelDownloadClick(toolkit::TComponent*) {
  if (Downloading) {
    if (ConfirmStop()) CancelConfirmed = true;
    return;
  }
  // "Erneut versuchen": back to the result step, and the download step runs again.
  Step = WizardStep::Result;
  DownloadAborted = false;
  CancelConfirmed = false;
  Button_NextClick(CancelDownload);
}

// ---- The installation ----------------------------------------------------------------------

InstallOutcome TStatusForm::PrepareInstallation() {
  return Work.Prepare(Program(), CheckBox_Restart->Checked(), needsConsent_);
}

bool TStatusForm::PrepareStep() {
  // A program folder this user cannot write is installed with the user's consent, from copies
  // checked against this archive's checksum.
  needsConsent_ = !ProgramFolderWritableSeam(ProgramDir);
  const InstallOutcome outcome = PrepareInstallation();
  switch (outcome.kind) {
    case InstallOutcome::Prepared:
      InstallPrepared = true;
      prepared_ = outcome.request;
      Button_Next->SetText("Beenden");
      Button_Cancel->SetEnabled(false);
      ShowFinishPage();
      return true;
    case InstallOutcome::Refused:
      ShowArchiveRefusal(outcome.refusal);
      return false;
    case InstallOutcome::Damaged:
      ShowInstallFailure();
      MessageDlg(outcome.error + "\r\n\r\nDas Update wird nicht installiert.", MB_OK | MB_ICONERROR);
      return false;
    case InstallOutcome::Missing:
      ShowInstallFailure();
      return false;
  }
  return false;
}

void TStatusForm::ShowInstallFailure() {
  Label3->SetCaption(kInstallFailedText);
  Image_Icon2->SetIcon(LoadIconA(nullptr, IDI_HAND));
  Button_Next->SetEnabled(false);
}

void TStatusForm::ShowArchiveRefusal(Refusal refusal) {
  archiveRefusalShown_ = true;
  Label3->SetCaption(RefusalText(refusal));
  Image_Icon2->SetIcon(LoadIconA(nullptr, IDI_HAND));
  OfferWayBack();
}

// ---- The settings page "Einstellungen": how often the program reminds its user --------------

void TStatusForm::Button_SettingsClick(TComponent*) {
  const settings::ProgramKey key(RootKey(), RegistryKey, settings::ProgramKey::Access::Create);
  const settings::Policy policy = settings::ReadPolicy(RegistryKey);
  const bool fixed = policy.FixesReminder();
  // The administrator's reminder is shown, not chosen.
  const settings::EffectiveReminder reminder =
      fixed ? settings::ApplyPolicyToReminder(policy, key.NoUpdate(), key.TryInterval())
            : settings::EffectiveReminder{key.NoUpdate(), key.Interval()};
  if (reminder.never) {
    RadioButton_NoAutoUpdt->SetChecked(true);
  } else {
    RadioButton_AutoUpdt->SetChecked(true);
  }
  const std::optional<std::int32_t> interval = reminder.interval;
  SpinEdit_AutoUpdt->SetValue(interval ? ClampInterval(*interval) : 7);
  // Only a page that was fixed before is given back to the user: without policies the page
  // stays as it always was.
  if (fixed || settingsFixed_) {
    for (toolkit::TControl* control : std::initializer_list<toolkit::TControl*>{
             RadioButton_AutoUpdt, RadioButton_NoAutoUpdt, SpinEdit_AutoUpdt, Button_SettingsSave})
      control->SetEnabled(!fixed);
    if (!fixed) RadioButton_UpdtClick(RadioButton_AutoUpdt);
    settingsFixed_ = fixed;
  }
  Button_Settings->Hide();
  Panel_Title->SetCaption(kSettingsTitle);
  Notebook_StdButtons->SetPageIndex(kSettingsButtons);
  Pages->SetPageIndex(kSettingsPage);
}

void TStatusForm::Button_SettingsSaveClick(TComponent* sender) {
  settings::Reminder reminder;
  if (RadioButton_NoAutoUpdt->Checked()) {
    reminder.kind = settings::Reminder::Never;
  } else {
    reminder.kind = settings::Reminder::Interval;
    reminder.interval = SpinEdit_AutoUpdt->Value();
  }
  // A key that did not open fails at the write.
  settings::ProgramKey(RootKey(), RegistryKey, settings::ProgramKey::Access::Create).WriteReminder(reminder);
  Button_SettingsCancelClick(sender);
}

void TStatusForm::Button_SettingsCancelClick(TComponent*) {
  // The end has no page of its own: the last step page stays. The finish step without a
  // prepared installation is the failure state of "Einrichten", which stays on its own page.
  int page = Step == WizardStep::Ended ? StepIndex(WizardStep::Finish) : StepIndex(Step);
  if (Step == WizardStep::Finish && !InstallPrepared) page = kInstallPage;
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
