// TStatusForm: the update wizard. Seven pages (welcome, check, result, download, installation,
// finish, reminder settings), the process strip with the six step titles, and the step machine
// behind "Weiter >", "Abbrechen" and the close button. One wizard per process, owned by the
// application; its destruction at program end writes the next reminder date and starts the
// prepared "Update.bat".
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "net/HttpClient.h"
#include "toolkit/Controls.h"
#include "toolkit/FormBuilder.h"
#include "toolkit/Handles.h"
#include "toolkit/Seams.h"
#include "settings/settings_rules.h"
#include "ui/WinXP.h"
#include "wizard/UpdateRun.h"
#include "wizard/wizard_rules.h"

namespace wizard {

class TStatusForm;

// The process's one wizard while it exists (the most recently constructed), or null.
extern TStatusForm* StatusForm;

class TStatusForm : public toolkit::TForm {
 public:
  // Makes the window and the HTTP client for the update server the component read at its
  // construction; the pages and their controls follow at the first show (EnsureControls), so
  // that a program whose search is not due does not pay for them at its start. Hidden until
  // shown modally.
  TStatusForm(toolkit::TComponent* owner, const settings::ServerSetting& server);
  ~TStatusForm() override;

  // Makes the pages and controls unless they exist; until then every control pointer below is
  // null. The first show calls it.
  void EnsureControls();

  // --- Inputs, set by the update component before every show.
  std::string ProgramName;
  std::string ZIPFileName;
  std::string RegistryKey;
  base::TDateTime ReferenceDate = 0;
  bool HKCU = false;
  // The user asked for this search (Ctrl+U, the settings tool's search) rather than a reminder:
  // a skipped version is offered all the same (with a line that says so), and a rollout does not
  // hold the update back.
  bool UserSearch = false;
  // The folder whose files the installation replaces, with its backslash: the running
  // program's own, set at construction.
  std::string ProgramDir;

  // --- The run's step and flags (reset at every show). The failure events of the HTTP client
  // clear UpdateAvailable while the check runs; the download tells its own outcome.
  WizardStep Step = WizardStep::Welcome;
  bool UpdateAvailable = false;  // the last check found an update for the program
  bool Downloading = false;      // a download is running
  bool CancelConfirmed = false;  // the user confirmed stopping the running download
  bool DownloadAborted = false;  // the last download was stopped on the user's request
  bool InstallPrepared = false;  // "Update.bat" is written and starts at the wizard's destruction
  // The work of the run and the current search: the list, the archive, the unpacked files.
  UpdateRun Work;
  // The update server's authority ("host" or "host:port") the wizard's URLs are made with; set
  // with the HTTP client at construction.
  std::string UpdateServer;
  // The maker's public key (Base64) built into the program, read at construction. Empty: the
  // list and the archive are taken as they come. Otherwise the check also fetches
  // "Updates.ini.sig" and reads only a list whose signature verifies, and the finish step unpacks only
  // an archive whose SHA-256 is the section's "SHA256".
  std::string UpdatePublicKey;

  // --- Controls, in table order (null until EnsureControls).
  toolkit::TPaintBox* PaintBox_Process = nullptr;
  toolkit::TPanel* Panel_Title = nullptr;
  toolkit::TPageControl* Pages = nullptr;
  toolkit::TBevel* Bevel1 = nullptr;
  toolkit::TButton* Button_Settings = nullptr;
  toolkit::TPageControl* Notebook_StdButtons = nullptr;
  toolkit::TButton* Button_Cancel = nullptr;
  toolkit::TButton* Button_Next = nullptr;
  toolkit::TButton* Button_SettingsCancel = nullptr;
  toolkit::TButton* Button_SettingsSave = nullptr;
  // Page 0 "Bestätigung1"
  toolkit::TImage* Image_Icon1 = nullptr;
  toolkit::TLabel* Label2 = nullptr;
  // Page 1 "Prüfen"
  toolkit::TLabel* Label4 = nullptr;
  toolkit::TButton* Button_Check = nullptr;
  // Page 2 "Bestätigung2"
  toolkit::TLabel* Label_CheckResult = nullptr;
  toolkit::TButton* Button_Skip = nullptr;  // "Diese Version überspringen", while an update is offered
  // Page 3 "Download"
  toolkit::TLabel* Label_Download = nullptr;
  toolkit::TProgressBar* Status = nullptr;
  toolkit::TLabel* PerCent = nullptr;
  toolkit::TLabel* StatusLabel = nullptr;
  toolkit::TLabel* TimeLeft = nullptr;
  toolkit::TImage* Icon = nullptr;
  toolkit::TButton* CancelDownload = nullptr;
  // Page 4 "Einrichten"
  toolkit::TImage* Image_Icon2 = nullptr;
  toolkit::TLabel* Label3 = nullptr;
  toolkit::TCheckBox* CheckBox_Restart = nullptr;
  // Page 5 "Bestätigung3"
  toolkit::TImage* Image_Icon3 = nullptr;
  toolkit::TLabel* Label5 = nullptr;
  // Page 6 "Einstellungen"
  toolkit::TGroupBox* GroupBox1 = nullptr;
  toolkit::TRadioButton* RadioButton_NoAutoUpdt = nullptr;
  toolkit::TLabel* Label1 = nullptr;
  toolkit::TRadioButton* RadioButton_AutoUpdt = nullptr;
  toolkit::TLabel* Label6 = nullptr;
  toolkit::TLabel* Label_AutoUpdt1 = nullptr;
  toolkit::TSpinEdit* SpinEdit_AutoUpdt = nullptr;
  toolkit::TLabel* Label_AutoUpdt2 = nullptr;
  // Non-visual members.
  ui::TWinXP* WinXP = nullptr;
  net::THttpClient* HTTP = nullptr;

  // --- Handlers. Registry errors are not caught here: they reach the general error handler.
  void FormCreate(toolkit::TComponent* sender);
  void FormShow(toolkit::TComponent* sender);
  void Button_NextClick(toolkit::TComponent* sender);
  void Button_CancelClick(toolkit::TComponent* sender);
  void FormCloseQuery(toolkit::TComponent* sender, bool& canClose);
  void FormClose(toolkit::TComponent* sender);
  // Writes the next "Update" date and starts "Update.bat" as the last run left it.
  void FormDestroy(toolkit::TComponent* sender);
  void PaintBox_ProcessPaint(toolkit::TComponent* sender);
  void Button_CheckClick(toolkit::TComponent* sender);
  void HTTPFailure(net::CmdType cmd);
  void HTTPConnectionFailed(toolkit::TComponent* sender);
  void Button_SettingsClick(toolkit::TComponent* sender);
  void Button_SettingsSaveClick(toolkit::TComponent* sender);
  void Button_SettingsCancelClick(toolkit::TComponent* sender);
  void RadioButton_UpdtClick(toolkit::TComponent* sender);
  // "Diese Version überspringen": records the offered version as skipped in the program key and
  // ends the wizard as "Beenden" on a result without update does. A registry error reaches the
  // general error handler and the page stays.
  void Button_SkipClick(toolkit::TComponent* sender);
  // "Download ab&brechen" (asks, then stops at the next block) or "Erneut versuchen".
  void CancelDownloadClick(toolkit::TComponent* sender);
  // The progress display, after every received block of the archive.
  void OnUpdateTimer(toolkit::TComponent* sender);
  // The root the program key lies below (HKEY_CURRENT_USER when HKCU is set).
  HKEY RootKey() const { return HKCU ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

  // Paints the process strip on `canvas` (the paint box's, or a memory bitmap's in tests).
  void PaintProcessStrip(toolkit::TCanvas& canvas, int width, int height);

 protected:
  // The work of the steps, each returning what came of it: the check behind Button_Check, the
  // news list of the result page, the download of step 3 and the preparation of step 5.
  virtual CheckOutcome CheckUpdates();
  virtual std::string ReadNews();
  virtual DownloadOutcome DownloadUpdate();
  virtual InstallOutcome PrepareInstallation();
  // The program this run updates, from the inputs.
  RunProgram Program() const;

 private:
  // Step 3: the download page, the download, and what came of it.
  void RunDownload();
  // Step 5: the preparation and what came of it; false: the wizard stays on "Einrichten".
  bool PrepareStep();
  // The progress display for the client's counters now (bar, percentage, amounts, time left).
  void ShowProgress();
  // The confirmation question of a stop; true for "Ja".
  bool ConfirmStop();
  // The failure state of "Einrichten": the failure text, the error icon, "Weiter >" off.
  void ShowInstallFailure();
  // "Einrichten" for an archive that is not unpacked: why, the error icon, and the way back.
  void ShowArchiveRefusal(Refusal refusal);
  // "Weiter >" becomes "< Zurück" while a refusal is shown; it then leads to a new check.
  void OfferWayBack();
  // "< Zurück": the check page of a new check.
  void BackToCheck();
  // "Einrichten" with its own text and icon again, after a refused archive was shown.
  void RestoreInstallPage();
  // Sets a control's text only when it differs (the progress display runs once per block).
  static void SetCaptionIfChanged(toolkit::TLabel* label, const std::string& text);
  // The finish page's text after a prepared installation (a line more when it needs the user's
  // consent).
  void ShowFinishPage();
  // Whether the program may end now, in the finish step. An installation that needs the user's
  // consent starts here, while the program still runs: "Update" is written, and the program's
  // own executable is started with consent to install from copies of its own
  // (ProtectedInstall); the wizard waits for its answer. When it started the batch, the program
  // is started again with the user's rights once the batch is done (when the user asked for it),
  // the search folder goes, and the answer is true. A refusal or a failure leaves the program
  // running: the user is told why, "Update" is put back, the installation is dropped as one that
  // installed nothing and the answer is false. Any other prepared batch waits for the program's
  // end, and the answer is true.
  bool StartBatchBeforeEnd();
  // Writes the next "Update" date; the error when that failed (null otherwise).
  std::exception_ptr WriteNextReminder();
  // Shows the page of Step with its title (leaving the settings page, or a step change).
  void ShowStepPage();
  // The window and all its controls, as one description.
  toolkit::FormSpec Description();
  bool controlsMade_ = false;
  // The two button pages of Notebook_StdButtons.
  static constexpr int kStandardButtons = 0;
  static constexpr int kSettingsButtons = 1;
  static constexpr DWORD kDisplaySpacing = 250;  // ms between two showings of the progress
  bool progressReported_ = false;                // a block of this download has come
  DWORD progressShownAt_ = 0;                    // the download's start, then its last showing
  // The user's decimal separator and time format, read once at the download's start.
  char progressSeparator_ = ',';
  TimeFormat progressTimeFormat_;
  toolkit::ScopedIcon icon2_, icon3_;
  // What the page shows beyond the flags: why the last check read no list (None otherwise),
  // "Weiter >" reading "< Zurück", a refused archive on "Einrichten", the window closing once
  // the running download has returned.
  Refusal listRefusal_ = Refusal::None;
  // The version the last check offered, and whether the user had skipped it.
  SkippedVersion offered_;
  bool offerSkipped_ = false;
  bool pinned_ = false;  // the last check's offer lies after the administrator's pin
  bool settingsFixed_ = false;  // the settings page shows the administrator's reminder
  bool wayBack_ = false;
  bool archiveRefusalShown_ = false;
  bool closeAfterDownload_ = false;
  // The program folder refused this user's write when the installation was prepared: the
  // program's own executable installs with the user's consent, and a refused consent installs
  // nothing. batchStarted_: its batch was started so before the program's end ("Update" is
  // written then, not again at destruction).
  bool needsConsent_ = false;
  bool batchStarted_ = false;
  // The prepared installation: its search folder and what the consent's start checks.
  ProtectedRequest prepared_;
};

}  // namespace wizard
