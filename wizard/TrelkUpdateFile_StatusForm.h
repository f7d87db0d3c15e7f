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
#include "wizard/FetchFile.h"
#include "wizard/WizardRun.h"
#include "wizard/wizard_rules.h"

namespace wizard {

class TStatusForm;

// The process's one wizard while it exists (the most recently constructed), or null.
extern TStatusForm* StatusForm;

// The text of the page "Einrichten", and its failure text.
extern const char kInstallText[];
extern const char kInstallFailedText[];
// The text of the page "Bestätigung3" (a protected program folder adds kConsentNeededText).
extern const char kFinishText[];
// The download page's first text, and its two result texts (stopped by the user; otherwise).
extern const char kDownloadText[];
extern const char kDownloadStoppedText[];
extern const char kDownloadFailedText[];
extern const char kDownloadNoRoomText[];
extern const char kDownloadDoneText[];
// The failure message of the check, with its caption.
extern const char kNoConnectionText[];
extern const char kNoConnectionCaption[];
// What the failure message of a check through the user's proxy adds before the proxy's
// "host:port" and a full stop.
extern const char kViaProxyText[];
// The message of a list beyond the size any list has, with its caption.
extern const char kListTooLongText[];
extern const char kListTooLongCaption[];
// The question before a running download is stopped.
extern const char kStopDownloadQuestion[];

// Whether this user can write into `folder` (with its backslash): a file of a name of its own is
// made there and deleted again as it closes. Only a refused access counts as not writable (a
// full or missing drive is not a matter of consent); a file that a virtualised program's write
// put into the user's own store instead of `folder` counts as refused. Throws nothing.
bool ProgramFolderWritable(const std::string& folder);
// The wizard asks this seam, which answers with ProgramFolderWritable unless a test put in
// another answer.
extern toolkit::Seam<bool(const std::string& folder)> ProgramFolderWritableSeam;

// What a signed list says of its serial and expiry and of the program's "Size".
ListFreshness ReadListFreshness(const TIniFile& list, const std::string& programName);
// The highest serial the program with this key accepted ("UpdateSerial"); nullopt when it never
// accepted one. A value of another type counts as accepted, as the lowest serial there is: a list
// without a serial stays refused, and the next accepted one writes it right.
std::optional<std::uint32_t> StoredListSerial(HKEY root, const std::string& registryKey);

// Turns the batch template the extraction made and still holds in `batchFile` (borrowed; its
// path `batchPath`) into "Update.bat" for the running program in `programDir`, written into the
// same file (base::BuildUpdateBatch with the system folder; `administratorsFolder` for the
// installation with consent). Throws base::Exception when the file cannot be read or written
// and base::EConvertError for a template the rules refuse.
void WriteUpdateBatch(HANDLE batchFile, const std::string& batchPath, const std::string& programDir,
                      const std::string& tempDir, bool restart, bool administratorsFolder);

class TStatusForm : public toolkit::TForm {
 public:
  // Makes the window and the HTTP client; the pages and their controls follow at the first
  // show (EnsureControls), so that a program whose search is not due does not pay for them at
  // its start. Hidden until shown modally.
  explicit TStatusForm(toolkit::TComponent* owner);
  // With the update server a component read at its construction.
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
  // The folder whose files the installation replaces, with its backslash: the running
  // program's own, set at construction.
  std::string ProgramDir;

  // --- The run: step, flags and the current search (reset at every show).
  WizardRun Run;
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
  // "Download ab&brechen" (asks, then stops at the next block) or "Erneut versuchen".
  void CancelDownloadClick(toolkit::TComponent* sender);
  // The progress display, after every received block of the archive.
  void OnUpdateTimer(toolkit::TComponent* sender);
  // Fetches the archive named by the update list into `localFile`. A download that did not
  // arrive whole is deleted (Run.DownloadFailed); one the user stopped has its file deleted 3 s
  // after the transfer ended (Run.DownloadAborted). Throws nothing of the transfer's.
  void DownloadUpdate(const std::string& localFile);
  // A byte count in units of 1024 with the user's decimal separator ("19,1 MB").
  static std::string FormatSize(std::int64_t bytes, int decimals);

  // The root the program key lies below (HKEY_CURRENT_USER when HKCU is set).
  HKEY RootKey() const { return HKCU ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

  // Paints the process strip on `canvas` (the paint box's, or a memory bitmap's in tests).
  void PaintProcessStrip(toolkit::TCanvas& canvas, int width, int height);

 protected:
  // The work inside the steps: the update-list check behind Button_Check (it reports its own
  // failures; on success it calls Button_NextClick), the news list of the result page, the
  // download of the download step and the preparation of the finish step (false: the wizard
  // stays on "Einrichten" in the failure state).
  virtual void CheckForUpdates();
  virtual std::string ReadNews();
  virtual void RunDownload();
  virtual bool PrepareInstallation();
  // "Einrichten" for an archive that is not unpacked: why, the error icon, and the way back.
  void ShowArchiveRefusal(Refusal refusal);

 private:
  // The progress display for the client's counters now (bar, percentage, amounts, time left).
  void ShowProgress();
  // The confirmation question of a stop; true for "Ja".
  bool ConfirmStop();
  // The failure state of "Einrichten": the failure text, the error icon, "Weiter >" off.
  void ShowInstallFailure();
  // Fetches the update list of the current search and reads it (with a key, only when its
  // signature verifies: Run.ListRefusal otherwise). The list's fetch result comes back; a list
  // that arrived but cannot be read or whose signature cannot be fetched counts as not arrived.
  FetchResult FetchList();
  // With a key: fetches "Updates.ini.sig" into a temporary file of its own (deleted again) and
  // judges `list` by it. Empty result when the signature could not be fetched (no connection, a
  // reply cut off); a signature the server does not have is Refusal::ListUnsigned.
  std::optional<Refusal> CheckListSignature(const std::string& list);
  // The verdict of a program with a key on the read list's serial, expiry and the program's
  // "Size" (JudgeListFreshness) against "UpdateSerial" in the program key; stores a higher
  // serial of an accepted list there and the archive's size in Run.ArchiveSize.
  Refusal CheckListFreshness();
  // The archive's checksum (Run.ArchiveSha256) and, with a key, its verdict before it is
  // unpacked; a refused archive is deleted and "Einrichten" shows why, with the way back.
  bool ArchiveAccepted(toolkit::ScopedFile& held, const std::string& path);
  // "Weiter >" becomes "< Zurück" while a refusal is shown; it then leads to a new check.
  void OfferWayBack();
  void BackToCheck(toolkit::TComponent* sender);
  // "Einrichten" with its own text and icon again, after a refused archive was shown.
  void RestoreInstallPage();
  // Sets a control's text only when it differs (the progress display runs once per block).
  static void SetCaptionIfChanged(toolkit::TLabel* label, const std::string& text);
  // The finish page's text after a prepared installation (a line more when it needs the user's
  // consent, Run.NeedsConsent).
  void ShowFinishPage();
  // Whether the program may end now, in the finish step. An installation that needs the user's
  // consent starts here, while the program still runs: "Update" is written, and the program's
  // own executable is started with consent to install from copies of its own
  // (ProtectedInstall); the wizard waits for its answer. When it started the batch
  // (Run.BatchStarted), the program is started again with the user's rights once the batch is
  // done (when the user asked for it), the search folder goes, and the answer is true. A refusal
  // or a failure leaves the program running: the user is told why, "Update" is put back, the
  // installation is dropped as one that installed nothing and the answer is false. Any other
  // prepared batch waits for the program's end, and the answer is true.
  bool StartBatchBeforeEnd();
  // Writes the next "Update" date; the error when that failed (null otherwise).
  std::exception_ptr WriteNextReminder();
  // Shows the page of Run.Step with its title (leaving the settings page, or a step change).
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
};

}  // namespace wizard
