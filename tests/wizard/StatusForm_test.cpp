// The update wizard in this process, shown modally and driven by clicks from its own message
// loop: the walk through the pages, the resets of a show, the process strip's pixels, the
// settings page's registry effects and what the destruction writes and starts.
#include "wizard/TrelkUpdateFile_StatusForm.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "settings/UpdateServer.h"
#include "tests/support/RegistryKeys.h"
#include "tests/support/UpdateServer.h"
#include "toolkit/Application.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Seams.h"
#include "toolkit/Timer.h"
#include "wizard/protected_rules.h"

namespace {

using namespace testsupport;
using wizard::TStatusForm;

const char kKey[] = "WizardTest";

// The wizard with the work of the steps scripted: the check finds what `checkFinds` says, the
// download completes at once, the preparation succeeds when `prepareSucceeds` (otherwise the
// wizard's own failure state).
class TScriptedStatusForm : public TStatusForm {
 public:
  using TStatusForm::TStatusForm;
  enum { kFails = -1, kNothing = 0, kUpdate = 1 } checkFinds = kNothing;
  bool prepareSucceeds = true;
  int downloads = 0;

 protected:
  wizard::CheckOutcome CheckUpdates() override {
    wizard::CheckOutcome outcome;
    outcome.kind = checkFinds == kFails    ? wizard::CheckOutcome::NoConnection
                   : checkFinds == kUpdate ? wizard::CheckOutcome::Offered
                                           : wizard::CheckOutcome::NoUpdate;
    return outcome;
  }
  std::string ReadNews() override { return "- 15.03.2003:Neu\r\n"; }
  wizard::DownloadOutcome DownloadUpdate() override {
    ++downloads;
    wizard::DownloadOutcome outcome;
    outcome.kind = wizard::DownloadOutcome::Done;
    return outcome;
  }
  wizard::InstallOutcome PrepareInstallation() override {
    if (!prepareSucceeds) return TStatusForm::PrepareInstallation();
    wizard::InstallOutcome outcome;
    outcome.kind = wizard::InstallOutcome::Prepared;
    outcome.request.searchDir = Work.TempDir() + "Suche\\";  // where the test put its "Update.bat"
    return outcome;
  }
};

std::string ScratchFolder() {
  char path[MAX_PATH];
  GetTempPathA(MAX_PATH, path);
  return std::string(path) + "wizard_test\\";
}

class StatusFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteKey(HKEY_LOCAL_MACHINE, kKey);
    DeleteKey(HKEY_CURRENT_USER, kKey);
    folder_ = ScratchFolder();
    tempPath = folder_;
    CreateDirectoryA(folder_.c_str(), nullptr);
    DeleteFileA((folder_ + "started.txt").c_str());
    guards_.push_back(toolkit::TempPathSeam.Replace([this] { return tempPath; }));
    guards_.push_back(toolkit::MessageBoxSeam.Replace([this](HWND, const std::string& text, const std::string&, UINT) {
      boxes.push_back(text);
      return IDOK;
    }));
    // The shell start is recorded, and then made for real.
    guards_.push_back(toolkit::ShellExecuteSeam.Replace([this](HWND owner, const std::string& verb,
                                                               const std::string& file, const std::string& params,
                                                               const std::string& dir, int show) -> INT_PTR {
      shellStarts.push_back({owner, verb, file, params, dir, show});
      return reinterpret_cast<INT_PTR>(ShellExecuteA(owner, "open", file.c_str(), nullptr, nullptr, show));
    }));
    // Wine asks nobody for consent: the person's answer is played by `consentError` (0: given),
    // and the installation that then runs with consent by a process that ends with
    // `consentOutcome`.
    guards_.push_back(toolkit::ElevatedStartSeam.Replace([this](HWND owner, const std::string& file,
                                                                const std::string& params) {
      // The key as the start finds it: "Update" is written before, so that a batch that starts
      // the program at once does not bring the wizard back.
      elevatedStarts.push_back({owner, "runas", file, params, "", SW_HIDE});
      keyAtElevatedStart = Values(HKEY_LOCAL_MACHINE, kKey);
      toolkit::ElevatedStart start;
      start.error = consentError;
      if (consentError) return start;
      std::string commandLine = "cmd.exe /c exit " + std::to_string(consentOutcome);
      STARTUPINFOA startup{sizeof startup};
      PROCESS_INFORMATION process{};
      if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                         &startup, &process)) {
        CloseHandle(process.hThread);
        start.process = process.hProcess;
      }
      return start;
    }));
    app = std::make_unique<toolkit::TApplication>();
    form = new TScriptedStatusForm(app.get(), settings::UpdateServerSetting());
    form->DoCreate();
    form->EnsureControls();
    form->RegistryKey = kKey;
  }
  void TearDown() override {
    EndProgram();
    guards_.clear();
    DeleteKey(HKEY_LOCAL_MACHINE, kKey);
    DeleteKey(HKEY_CURRENT_USER, kKey);
  }
  // The program's end: the application destroys the wizard; a quit request left in the queue
  // must not reach the next test.
  void EndProgram() {
    app.reset();
    form = nullptr;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  // Shows the wizard modally and runs one action per tick of a timer in its loop. A wizard still
  // open a few ticks after the last action is closed by the test; the result says whether the
  // actions closed it themselves.
  bool ShowModalRunning(const std::vector<std::function<void()>>& actions) {
    toolkit::TTimer timer(nullptr);
    timer.SetInterval(15);
    size_t next = 0;
    int idle = 0;
    bool closedByTest = false;
    bool acting = false;  // an action's handler pumps messages (the download step does): no action inside another
    timer.OnTimer = [&](toolkit::TComponent*) {
      if (acting) return;
      if (next < actions.size()) {
        acting = true;
        actions[next++]();
        acting = false;
      } else if (IsWindowEnabled(form->Handle()) && ++idle > 3) {  // a disabled wizard waits for a start
        closedByTest = true;
        form->SetModalResult(toolkit::TForm::mrCancel);
      }
    };
    form->ShowModal();
    timer.SetEnabled(false);
    EXPECT_EQ(next, actions.size()) << "the wizard closed before every action ran";
    return !closedByTest;
  }
  // A click as a person makes it: only on a button that is visible and enabled.
  void Click(toolkit::TControl* button) {
    if (IsWindowVisible(button->Handle()) && IsWindowEnabled(button->Handle()))
      SendMessageA(button->Handle(), BM_CLICK, 0, 0);
  }
  void CloseButton() { SendMessageA(form->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); }
  // Whether the test's "Update.bat" ran: it is waited for up to 5 s when it is expected, and
  // given a moment when it is not.
  bool BatchStarted(bool expected) {
    for (int i = 0; i < (expected ? 100 : 6); ++i) {
      if (GetFileAttributesA((folder_ + "started.txt").c_str()) != INVALID_FILE_ATTRIBUTES) return true;
      Sleep(50);
    }
    return false;
  }

  std::unique_ptr<toolkit::TApplication> app;
  TScriptedStatusForm* form = nullptr;
  std::vector<std::string> boxes;
  struct ShellStart {
    HWND owner;
    std::string verb, file, params, dir;
    int show;
  };
  std::vector<ShellStart> shellStarts, elevatedStarts;
  std::string keyAtElevatedStart;  // the program key's values when the start with consent came
  std::string tempPath;  // what the temporary-folder seam answers
  DWORD consentError = 0;    // why a start with consent did not happen; 0: consent given
  int consentOutcome = 0;    // the exit code of the installation with consent

 private:
  std::string folder_;
  std::vector<toolkit::SeamGuard> guards_;

 protected:
  const std::string& Folder() const { return folder_; }
};

enum Act { Next, Cancel, Close, CheckNothing, CheckUpdate, CheckFails, Settings, SettingsCancel, SettingsSave,
           CheckEndsNothing };

TEST_F(StatusFormTest, WalkThroughThePages) {
  struct Walk {
    const char* name;
    std::vector<Act> acts;
    bool prepareSucceeds;
    int seededInterval;  // -1: none
    bool closed;         // the actions ended the modal show
    int step, page;
    const char* title;
    const char* next;
    bool nextEnabled, cancelEnabled, settingsVisible;
    bool terminated;
    int updateDays;      // "Update" = today + this at program end; -1: not written
    bool batchStarts;
    // A program folder this user cannot write: the finish page says that Windows asks, and
    // "Beenden" starts the program with consent, which the person answers with `consent` (0:
    // given) and which ends with `outcome` (0: it started the batch).
    bool protectedFolder = false;
    DWORD consent = 0;
    int outcome = 0;
    const char* told = nullptr;  // the one message box of the walk (at program end, or of the check)
  } walks[] = {
      {"Abbrechen on the welcome page", {Cancel}, true, -1,
       true, 0, 0, "Willkommen", "Weiter >", true, true, true, false, -1, false},
      {"close button on the check page", {Next, Close}, true, -1,
       true, 1, 1, "Auf neue Updates prüfen", "Weiter >", false, true, true, false, -1, false},
      {"a disabled Weiter > does nothing", {Next, Next}, true, -1,
       false, 1, 1, "Auf neue Updates prüfen", "Weiter >", false, true, true, false, -1, false},
      {"a failed check stays on the check page and says so", {Next, CheckFails}, true, -1,
       false, 1, 1, "Auf neue Updates prüfen", "Weiter >", false, true, true, false, -1, false, false, 0, 0,
       "Es besteht keine Internetverbindung."},
      {"no update: the result page", {Next, CheckNothing}, true, -1,
       false, 2, 2, "Ergebnis der Prüfung", "Beenden", true, false, true, false, -1, false},
      {"Beenden on the no-update result", {Next, CheckNothing, Next}, true, 0,
       true, 3, 3, "Download der Updates", "Beenden", true, false, true, false, 6, false},
      {"close button on the no-update result", {Next, CheckNothing, Close}, true, -1,
       true, 2, 2, "Ergebnis der Prüfung", "Beenden", true, false, true, false, -1, false},
      {"Abbrechen is off on the no-update result", {Next, CheckNothing, Cancel}, true, -1,
       false, 2, 2, "Ergebnis der Prüfung", "Beenden", true, false, true, false, -1, false},
      {"an update: the result page", {Next, CheckUpdate}, true, -1,
       false, 2, 2, "Ergebnis der Prüfung", "Weiter >", true, true, true, false, -1, false},
      {"Weiter > on the update result downloads", {Next, CheckUpdate, Next}, true, -1,
       false, 3, 3, "Download der Updates", "Weiter >", true, true, true, false, -1, false},
      {"Abbrechen after the download", {Next, CheckUpdate, Next, Cancel}, true, -1,
       true, 3, 3, "Download der Updates", "Weiter >", true, true, true, false, -1, false},
      {"Einrichten", {Next, CheckUpdate, Next, Next}, true, -1,
       false, 4, 4, "Installieren", "Weiter >", true, true, true, false, -1, false},
      {"installation prepared, the program ends later", {Next, CheckUpdate, Next, Next, Next}, true, -1,
       false, 5, 5, "Abschließen der Installation", "Beenden", true, false, true, false, 6, true},
      {"Beenden on Bestätigung3", {Next, CheckUpdate, Next, Next, Next, Next}, true, 14,
       true, 6, 5, "Abschließen der Installation", "Beenden", true, false, true, true, 13, true},
      {"close button on Bestätigung3", {Next, CheckUpdate, Next, Next, Next, Close}, true, -3,
       true, 5, 5, "Abschließen der Installation", "Beenden", true, false, true, true, 6, true},
      // With consent, "Update" is written before the start, and the program ends; the batch is
      // the installation's (its own copy), the search folder's is never started.
      {"a protected folder: with consent the installation starts", {Next, CheckUpdate, Next, Next, Next, Next}, true, 14,
       true, 6, 5, "Abschließen der Installation", "Beenden", true, false, true, true, 13, false, true},
      {"consent refused: nothing changes, the program goes on", {Next, CheckUpdate, Next, Next, Next, Next}, true, 14,
       true, 6, 5, "Abschließen der Installation", "Beenden", true, false, true, false, -1, false, true, ERROR_CANCELLED, 0,
       "Das Update wurde nicht installiert, weil die Zustimmung zum Ersetzen der Programmdateien nicht erteilt wurde. "
       "Das Programm bleibt unverändert.\r\n\r\nBei der nächsten Suche nach Updates können Sie das Update erneut "
       "installieren."},
      {"consent refused, as the older shell says it", {Next, CheckUpdate, Next, Next, Next, Close}, true, -1,
       true, 5, 5, "Abschließen der Installation", "Beenden", true, false, true, false, -1, false, true, ERROR_ACCESS_DENIED, 0,
       "Das Update wurde nicht installiert, weil die Zustimmung zum Ersetzen der Programmdateien nicht erteilt wurde. "
       "Das Programm bleibt unverändert.\r\n\r\nBei der nächsten Suche nach Updates können Sie das Update erneut "
       "installieren."},
      {"a start with consent that does not happen", {Next, CheckUpdate, Next, Next, Next, Next}, true, -1,
       true, 6, 5, "Abschließen der Installation", "Beenden", true, false, true, false, -1, false, true, ERROR_FILE_NOT_FOUND, 0,
       "Die Installation des Updates konnte nicht gestartet werden. Das Programm bleibt unverändert.\r\n\r\nBei der "
       "nächsten Suche nach Updates können Sie das Update erneut installieren."},
      {"the installation with consent finds the files changed", {Next, CheckUpdate, Next, Next, Next, Next}, true, 14,
       true, 6, 5, "Abschließen der Installation", "Beenden", true, false, true, false, -1, false, true, 0, 3,
       wizard::kProtectedFilesChangedText},
      {"missing archive: Einrichten in its failure state", {Next, CheckUpdate, Next, Next, Next}, false, -1,
       false, 5, 4, "Installieren", "Weiter >", false, true, true, false, -1, false},
      {"missing archive, then Abbrechen ends the program", {Next, CheckUpdate, Next, Next, Next, Cancel}, false, -1,
       true, 5, 4, "Installieren", "Weiter >", false, true, true, true, -1, false},
      {"the settings page from the failure state returns to Einrichten",
       {Next, CheckUpdate, Next, Next, Next, Settings, SettingsCancel}, false, -1,
       false, 5, 4, "Installieren", "Weiter >", false, true, true, false, -1, false},
      {"a check ending on the settings page keeps it", {Next, Settings, CheckEndsNothing}, true, -1,
       false, 2, 6, "Einstellungen", "Beenden", true, false, false, false, -1, false},
      {"leaving the settings page shows the result", {Next, Settings, CheckEndsNothing, SettingsCancel}, true, -1,
       false, 2, 2, "Ergebnis der Prüfung", "Beenden", true, false, true, false, -1, false},
      {"Speichern shows the result too", {Next, Settings, CheckEndsNothing, SettingsSave}, true, -1,
       false, 2, 2, "Ergebnis der Prüfung", "Beenden", true, false, true, false, -1, false},
      {"Einstellungen on the welcome page and back", {Settings, SettingsCancel}, true, -1,
       false, 0, 0, "Willkommen", "Weiter >", true, true, true, false, -1, false},
  };
  for (const Walk& w : walks) {
    SCOPED_TRACE(w.name);
    if (w.seededInterval != -1) ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kKey, "UpdateInterval", w.seededInterval));
    form->prepareSucceeds = w.prepareSucceeds;
    // sysfs refuses new files even to root, as whom Wine runs here.
    if (w.protectedFolder) form->ProgramDir = "Z:\\sys\\";
    consentError = w.consent;
    consentOutcome = w.outcome;
    // The restart would start this test program again.
    form->CheckBox_Restart->SetChecked(false);
    // The batch a prepared installation starts (in the finish step already where it needs consent).
    CreateDirectoryA((Folder() + "Suche").c_str(), nullptr);
    const std::string batch = Folder() + "Suche\\Update.bat";
    WriteFileBytes(batch, "echo started> \"%~dp0..\\started.txt\"\r\n");
    std::vector<std::function<void()>> actions;
    for (Act a : w.acts) {
      actions.push_back([this, a] {
        switch (a) {
          case Next: Click(form->Button_Next); break;
          case Cancel: Click(form->Button_Cancel); break;
          case Close: CloseButton(); break;
          case CheckNothing: form->checkFinds = TScriptedStatusForm::kNothing; Click(form->Button_Check); break;
          case CheckUpdate: form->checkFinds = TScriptedStatusForm::kUpdate; Click(form->Button_Check); break;
          case CheckFails: form->checkFinds = TScriptedStatusForm::kFails; Click(form->Button_Check); break;
          case Settings: Click(form->Button_Settings); break;
          case SettingsCancel: Click(form->Button_SettingsCancel); break;
          case SettingsSave: Click(form->Button_SettingsSave); break;
          case CheckEndsNothing:  // the check's end while the user looks at the settings page
            form->UpdateAvailable = false;
            form->Button_NextClick(form->Button_Check);
            break;
        }
      });
    }
    EXPECT_EQ(ShowModalRunning(actions), w.closed);
    EXPECT_EQ(wizard::StepIndex(form->Step), w.step);
    EXPECT_EQ(form->Pages->PageIndex(), w.page);
    EXPECT_EQ(form->Panel_Title->Caption(), w.title);
    EXPECT_EQ(form->Button_Next->Text(), w.next);
    EXPECT_EQ(form->Button_Next->Enabled(), w.nextEnabled);
    EXPECT_EQ(form->Button_Cancel->Enabled(), w.cancelEnabled);
    EXPECT_EQ(form->Button_Settings->Visible(), w.settingsVisible);
    EXPECT_EQ(app->Terminated(), w.terminated);
    if (w.step >= 2 && w.page == 2)
      EXPECT_EQ(form->Label_CheckResult->Text(), wizard::CheckResultText(form->UpdateAvailable, "- 15.03.2003:Neu\r\n"));
    if (!w.prepareSucceeds) {
      EXPECT_EQ(form->Label3->Text(), wizard::kInstallFailedText);
      EXPECT_EQ(form->Image_Icon2->Icon(), LoadIconA(nullptr, IDI_HAND));
    }
    if (std::string(w.name) == "Weiter > on the update result downloads") EXPECT_EQ(form->downloads, 1);
    // A start that needs consent comes in the finish step, while the program still runs; every
    // other start waits for the program's end.
    EXPECT_EQ(elevatedStarts.size(), w.protectedFolder && w.prepareSucceeds ? 1u : 0u);
    EXPECT_TRUE(shellStarts.empty());
    if (w.step >= 5 && w.prepareSucceeds) {
      const std::string consentLine =
          "\r\n\r\nDas Programm ist in einem geschützten Ordner installiert. Nach dem Klick auf \"Beenden\" fragt "
          "Windows nach Ihrer Zustimmung, um die alten Dateien zu ersetzen.";
      const std::string finish = form->Label5->Text();
      EXPECT_EQ(finish.rfind("Die Installation wurde vorbereitet.", 0), 0u) << finish;
      EXPECT_EQ(finish.size() > consentLine.size() && finish.substr(finish.size() - consentLine.size()) == consentLine,
                w.protectedFolder)
          << finish;
    }

    const int32_t today = static_cast<int32_t>(toolkit::Today());
    EndProgram();
    // The key exists once anything opened it: the seed, the settings page or the write.
    const bool asked = w.protectedFolder && w.prepareSucceeds;
    // ... or the write before a start with consent.
    bool opened = w.seededInterval != -1 || w.updateDays >= 0 || asked;
    for (Act a : w.acts) opened = opened || a == Settings;
    std::string expected = opened ? "" : "<no key>";
    for (Act a : w.acts)
      if (a == SettingsSave) expected = "UpdateInterval=dword:7";
    if (w.updateDays >= 0) expected = "Update=date:" + std::to_string(today + w.updateDays);
    if (w.seededInterval != -1)
      expected += (expected.empty() ? "" : " ") + std::string("UpdateInterval=dword:") + std::to_string(w.seededInterval);
    EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, kKey), expected);
    EXPECT_EQ(BatchStarted(w.batchStarts), w.batchStarts);
    ASSERT_EQ(shellStarts.size(), w.batchStarts ? 1u : 0u);
    // The scripted preparation's folder is the test's own: the run held no search to let go of.
    EXPECT_NE(GetFileAttributesA(batch.c_str()), INVALID_FILE_ATTRIBUTES) << batch;
    if (w.batchStarts) {
      const ShellStart& start = shellStarts[0];
      EXPECT_EQ(start.verb, "open");
      EXPECT_EQ(start.file, batch);
      EXPECT_EQ(start.params + start.dir, "");
      EXPECT_EQ(start.show, SW_HIDE);
      EXPECT_NE(start.owner, nullptr) << "the application's window owns the start";
    }
    if (!elevatedStarts.empty()) {
      // The program's own executable, with the search it is to install.
      const ShellStart& start = elevatedStarts[0];
      EXPECT_EQ(start.file, toolkit::ExeName());
      EXPECT_EQ(start.params, "/trelk-install \"" + Folder() + "Suche\\\" \"-\" \"-\" \"-\" \"-\"");
      const int interval = w.seededInterval > 0 ? w.seededInterval : 7;
      EXPECT_EQ(keyAtElevatedStart.find("Update=date:" + std::to_string(today + interval - 1)), 0u) << keyAtElevatedStart;
      EXPECT_NE(start.owner, nullptr);
    }
    elevatedStarts.clear();
    shellStarts.clear();
    if (w.told) {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0], w.told);
    } else {
      EXPECT_TRUE(boxes.empty()) << boxes.front();
    }

    DeleteFileA(batch.c_str());
    DeleteFileA((Folder() + "started.txt").c_str());
    DeleteKey(HKEY_LOCAL_MACHINE, kKey);
    boxes.clear();
    app = std::make_unique<toolkit::TApplication>();
    form = new TScriptedStatusForm(app.get(), settings::UpdateServerSetting());
    form->DoCreate();
    form->EnsureControls();
    form->RegistryKey = kKey;
  }
}

// The write test of the program folder: a real file made and gone again, in real folders.
TEST_F(StatusFormTest, ProgramFolderIsTriedForWriting) {
  struct Case {
    std::string folder;
    bool writable;
  } cases[] = {
      {Folder(), true},
      {Folder() + "fehlt\\", true},  // missing: no matter of consent, the batch goes as before
      {"Z:\\sys\\", false},         // sysfs refuses new files even to root, as whom Wine runs here
      {"Z:\\sys\\kernel\\", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(wizard::ProgramFolderWritable(c.folder), c.writable) << c.folder;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((c.folder + "~trelk-*").c_str(), &found);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE) << c.folder << ": the tried file stayed";
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
  }
}

TEST_F(StatusFormTest, EveryShowStartsAfreshAndCentred) {
  // A first run that leaves everything changed: the no-update result with the settings page
  // open, the stop flags set, the window moved.
  ASSERT_FALSE(ShowModalRunning({[this] { Click(form->Button_Next); },
                                 [this] { form->checkFinds = TScriptedStatusForm::kNothing; Click(form->Button_Check); },
                                 [this] { Click(form->Button_Settings); },
                                 [this] {
                                   form->DownloadAborted = form->CancelConfirmed = true;
                                   SetWindowPos(form->Handle(), nullptr, 3, 4, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
                                 }}));
  ASSERT_FALSE(form->Button_Settings->Visible());
  const std::string otherTmp = Folder() + "zweiter Ordner\\";
  CreateDirectoryA(otherTmp.c_str(), nullptr);
  tempPath = otherTmp;
  bool checked = false;
  ShowModalRunning({[&] {
    checked = true;
    EXPECT_EQ(form->Step, wizard::WizardStep::Welcome);
    EXPECT_EQ(form->Pages->PageIndex(), 0);
    EXPECT_EQ(form->Notebook_StdButtons->PageIndex(), 0);
    EXPECT_TRUE(form->Button_Next->Visible());
    EXPECT_TRUE(form->Button_Settings->Visible());
    EXPECT_TRUE(form->Button_Next->Enabled());
    EXPECT_EQ(form->Button_Next->Text(), "Weiter >");
    EXPECT_TRUE(form->Button_Cancel->Enabled());
    EXPECT_EQ(form->Panel_Title->Caption(), "Willkommen");
    EXPECT_FALSE(form->InstallPrepared || form->UpdateAvailable || form->CancelConfirmed || form->DownloadAborted);
    EXPECT_EQ(form->Work.TempDir(), otherTmp);
    EXPECT_TRUE(form->PerCent->Font().Bold());
    RECT r;
    GetWindowRect(form->Handle(), &r);
    EXPECT_EQ(r.left, GetSystemMetrics(SM_CXSCREEN) / 2 - (r.right - r.left) / 2);
    EXPECT_EQ(r.top, GetSystemMetrics(SM_CYSCREEN) / 2 - (r.bottom - r.top) / 2);
    Click(form->Button_Cancel);
  }});
  EXPECT_TRUE(checked);
  tempPath = Folder();
  RemoveDirectoryA(otherTmp.c_str());
}

// Ink of the title bands: pixels clearly darker than the strip's lightest blue.
std::vector<int> TitleInk(TStatusForm* form) {
  const int w = 225, h = 353;
  toolkit::ScopedGetDc screen(nullptr);
  toolkit::ScopedMemoryDc dc(CreateCompatibleDC(screen.get()));
  toolkit::ScopedGdiObject bitmap(CreateCompatibleBitmap(screen.get(), w, h));
  toolkit::ScopedSelectObject select(dc.get(), bitmap.get());
  form->PaintBox_Process->PaintTo(dc.get());
  std::vector<int> ink(6, 0);
  for (int k = 0; k < 6; ++k)
    for (int y = 16 + 56 * k; y < 16 + 56 * k + 24; ++y)
      for (int x = 0; x < w; ++x) {
        COLORREF c = GetPixel(dc.get(), x, y);
        if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 384) ++ink[k];
      }
  // The background runs from light blue at the left edge to white at the right.
  EXPECT_EQ(GetPixel(dc.get(), 0, 2), RGB(155, 183, 230));
  EXPECT_EQ(GetPixel(dc.get(), 112, 350), RGB(155 + 112 * 100 / 225, 183 + 112 * 72 / 225, 230 + 112 * 25 / 225));
  EXPECT_EQ(GetPixel(dc.get(), 224, 2), RGB(254, 254, 254));
  return ink;
}

TEST_F(StatusFormTest, ProcessStripHighlightsExactlyTheCurrentStep) {
  form->Step = wizard::WizardStep::Ended;
  const std::vector<int> plain = TitleInk(form);
  for (int k = 0; k < 6; ++k) EXPECT_GT(plain[k], 20) << "title " << k << " is written";
  for (int step = 0; step <= 6; ++step) {
    form->Step = static_cast<wizard::WizardStep>(step);
    const std::vector<int> ink = TitleInk(form);
    for (int k = 0; k < 6; ++k) {
      if (k == step) {
        EXPECT_GT(ink[k], plain[k] * 115 / 100) << "step " << step << ": title " << k << " bold";
      } else {
        EXPECT_EQ(ink[k], plain[k]) << "step " << step << ": title " << k << " plain";
      }
    }
  }
}

// What the control table builds, as properties (every control inside its parent, no two of one
// name) and the few values the user meets: the window, the choices it starts with, the buttons
// that Enter and Escape press, and how long a transfer may stay silent.
TEST_F(StatusFormTest, WindowAndControlsAsDescribed) {
  // What the construction adds to the description (its sizes and texts are in the reference
  // pictures): the icons, the one wizard, the client's settings.
  EXPECT_EQ(form->Image_Icon1->Icon(), LoadIconA(nullptr, IDI_ASTERISK));
  EXPECT_NE(form->Image_Icon2->Icon(), nullptr);
  EXPECT_NE(form->Image_Icon3->Icon(), form->Image_Icon2->Icon());
  EXPECT_EQ(wizard::StatusForm, form);
  EXPECT_EQ(form->Owner(), app.get());
  EXPECT_EQ(form->HTTP->TimeOut, 10000);
  EXPECT_TRUE(form->HTTP->InputFileMode);
  // Every control lies inside its parent window, and no two share a name (pages are named
  // within their container only).
  std::vector<std::string> names;
  for (int i = 0; i < form->ComponentCount(); ++i) {
    if (!dynamic_cast<toolkit::TPage*>(form->Component(i))) names.push_back(form->Component(i)->Name());
    auto* c = dynamic_cast<toolkit::TControl*>(form->Component(i));
    if (!c || !c->Parent()) continue;
    RECT parent;
    GetClientRect(GetParent(c->Handle()), &parent);
    RECT r = c->BoundsRect();
    EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= parent.right && r.bottom <= parent.bottom) << c->Name();
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
  for (toolkit::TPageControl* pages : {form->Pages, form->Notebook_StdButtons}) {
    std::vector<std::string> pageNames;
    for (int i = 0; i < pages->PageCount(); ++i) pageNames.push_back(pages->Page(i)->PageName());
    std::sort(pageNames.begin(), pageNames.end());
    EXPECT_EQ(std::adjacent_find(pageNames.begin(), pageNames.end()), pageNames.end()) << pages->Name();
  }
}

// The settings page: what it shows for the stored values, and what saving writes.
TEST_F(StatusFormTest, SettingsPageShowsAndStoresTheReminder) {
  form->ShowForm();
  enum Change { None, ChooseNever, ChoosePeriodic, Type };
  struct Case {
    const char* name;
    const char* seedValue;  // "NoUpdate", "UpdateInterval" or null
    int32_t seedInterval;
    bool showsNever;
    int shownValue;
    Change change;
    const char* typed;
    bool save;
    const char* after;  // the key after saving (or cancelling)
  } cases[] = {
      {"nothing stored", nullptr, 0, false, 7, None, nullptr, true, "UpdateInterval=dword:7"},
      {"never", "NoUpdate", 0, true, 7, None, nullptr, true, "NoUpdate=sz:"},
      {"400 shows 365", "UpdateInterval", 400, false, 365, None, nullptr, true, "UpdateInterval=dword:365"},
      {"0 shows 1", "UpdateInterval", 0, false, 1, None, nullptr, true, "UpdateInterval=dword:1"},
      {"-5 shows 1", "UpdateInterval", -5, false, 1, None, nullptr, true, "UpdateInterval=dword:1"},
      {"typed 400 saves 365", nullptr, 0, false, 7, Type, "400", true, "UpdateInterval=dword:365"},
      {"typed 0 saves 1", nullptr, 0, false, 7, Type, "0", true, "UpdateInterval=dword:1"},
      {"typed abc saves 1", nullptr, 0, false, 7, Type, "abc", true, "UpdateInterval=dword:1"},
      {"typed 30", "UpdateInterval", 14, false, 14, Type, "30", true, "UpdateInterval=dword:30"},
      {"saving never removes the interval", "UpdateInterval", 14, false, 14, ChooseNever, nullptr, true, "NoUpdate=sz:"},
      {"saving an interval removes never", "NoUpdate", 0, true, 7, ChoosePeriodic, nullptr, true,
       "UpdateInterval=dword:7"},
      {"cancel writes nothing", "UpdateInterval", 14, false, 14, ChooseNever, nullptr, false, "UpdateInterval=dword:14"},
      {"cancel on an empty key", nullptr, 0, false, 7, ChooseNever, nullptr, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteKey(HKEY_LOCAL_MACHINE, kKey);
    if (c.seedValue && std::string(c.seedValue) == "NoUpdate") SetString(HKEY_LOCAL_MACHINE, kKey, "NoUpdate", "");
    if (c.seedValue && std::string(c.seedValue) == "UpdateInterval")
      SetDword(HKEY_LOCAL_MACHINE, kKey, "UpdateInterval", c.seedInterval);
    // The form's own state from an earlier case must not show through.
    form->RadioButton_NoAutoUpdt->SetChecked(!c.showsNever);
    form->SpinEdit_AutoUpdt->SetValue(c.shownValue == 100 ? 99 : 100);
    form->Button_SettingsClick(form->Button_Settings);
    EXPECT_EQ(form->Pages->PageIndex(), 6);
    EXPECT_EQ(form->Notebook_StdButtons->PageIndex(), 1);
    EXPECT_EQ(form->Panel_Title->Caption(), "Einstellungen");
    EXPECT_FALSE(form->Button_Settings->Visible());
    EXPECT_EQ(form->RadioButton_NoAutoUpdt->Checked(), c.showsNever);
    EXPECT_EQ(form->RadioButton_AutoUpdt->Checked(), !c.showsNever);
    for (toolkit::TControl* interval :
         {static_cast<toolkit::TControl*>(form->Label_AutoUpdt1), static_cast<toolkit::TControl*>(form->SpinEdit_AutoUpdt),
          static_cast<toolkit::TControl*>(form->Label_AutoUpdt2)})
      EXPECT_EQ(interval->Enabled(), !c.showsNever) << interval->Name();
    EXPECT_EQ(form->SpinEdit_AutoUpdt->Text(), std::to_string(c.shownValue));
    switch (c.change) {
      case None: break;
      case ChooseNever: Click(form->RadioButton_NoAutoUpdt); break;
      case ChoosePeriodic: Click(form->RadioButton_AutoUpdt); break;
      case Type: SetWindowTextA(form->SpinEdit_AutoUpdt->Handle(), c.typed); break;
    }
    if (c.change == ChooseNever) EXPECT_FALSE(form->SpinEdit_AutoUpdt->Enabled());
    if (c.change == ChoosePeriodic) EXPECT_TRUE(form->SpinEdit_AutoUpdt->Enabled());
    Click(c.save ? form->Button_SettingsSave : form->Button_SettingsCancel);
    EXPECT_EQ(form->Pages->PageIndex(), 0);
    EXPECT_EQ(form->Panel_Title->Caption(), "Willkommen");
    EXPECT_TRUE(form->Button_Settings->Visible());
    EXPECT_EQ(form->Notebook_StdButtons->PageIndex(), 0);
    EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, kKey), c.after);
  }
  // "Niemals" chosen and cancelled: the next opening shows the registry again.
  DeleteKey(HKEY_LOCAL_MACHINE, kKey);
  form->Button_SettingsClick(nullptr);
  Click(form->RadioButton_NoAutoUpdt);
  Click(form->Button_SettingsCancel);
  form->Button_SettingsClick(nullptr);
  EXPECT_TRUE(form->RadioButton_AutoUpdt->Checked());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(StatusFormTest, IntervalFieldKeepsItsRangeWhenLeft) {
  form->ShowForm();
  Click(form->Button_Settings);
  const std::pair<const char*, const char*> typed[] = {{"400", "365"}, {"0", "1"}, {"abc", "1"}, {"-3", "1"},
                                                      {"365", "365"}, {"12", "12"}};
  for (const auto& t : typed) {
    form->SpinEdit_AutoUpdt->SetFocus();
    ASSERT_TRUE(form->SpinEdit_AutoUpdt->Focused());
    SetWindowTextA(form->SpinEdit_AutoUpdt->Handle(), t.first);
    form->Button_SettingsSave->SetFocus();  // leaving the field
    EXPECT_EQ(form->SpinEdit_AutoUpdt->Text(), t.second) << t.first;
  }
  form->SpinEdit_AutoUpdt->SetValue(1000);
  EXPECT_EQ(form->SpinEdit_AutoUpdt->Text(), "365") << "set by the program";
}

TEST_F(StatusFormTest, SettingsPageErrorsGoToTheErrorHandler) {
  form->ShowForm();
  // An interval of another type: the page does not open.
  SetString(HKEY_LOCAL_MACHINE, kKey, "UpdateInterval", "14");
  Click(form->Button_Settings);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "Ungültiger Datentyp für 'UpdateInterval'");
  EXPECT_EQ(form->Pages->PageIndex(), 0);
  // A key without rights: the page opens with the defaults, saving fails and the page stays.
  DeleteKey(HKEY_LOCAL_MACHINE, kKey);
  SetDword(HKEY_LOCAL_MACHINE, kKey, "UpdateInterval", 30);
  ASSERT_TRUE(LockKey(HKEY_LOCAL_MACHINE, kKey));
  boxes.clear();
  Click(form->Button_Settings);
  EXPECT_EQ(form->Pages->PageIndex(), 6);
  EXPECT_EQ(form->SpinEdit_AutoUpdt->Text(), "7");
  Click(form->Button_SettingsSave);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "Fehler beim Setzen der Daten für 'UpdateInterval'");
  EXPECT_EQ(form->Pages->PageIndex(), 6);
  UnlockKey(HKEY_LOCAL_MACHINE, kKey);
  EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, kKey), "UpdateInterval=dword:30");
}

TEST_F(StatusFormTest, HkcuSelectsTheCurrentUsersKey) {
  form->ShowForm();
  form->HKCU = true;
  Click(form->Button_Settings);
  Click(form->RadioButton_NoAutoUpdt);
  Click(form->Button_SettingsSave);
  form->Pages->SetPageIndex(3);  // the state "Beenden" on the no-update result leaves
  form->Button_Cancel->SetEnabled(false);
  EndProgram();
  EXPECT_EQ(Values(HKEY_CURRENT_USER, kKey), "NoUpdate=sz: Update=date:" + std::to_string(static_cast<int32_t>(toolkit::Today()) + 6));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, kKey), "<no key>");
}

TEST_F(StatusFormTest, RefusedUpdateWriteIsShownAndTheProgramEnds) {
  // A key without write access after "Beenden" on the no-update result: the write fails and is
  // shown.
  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kKey, "UpdateInterval", 3));
  ASSERT_TRUE(LockKey(HKEY_LOCAL_MACHINE, kKey));
  form->Pages->SetPageIndex(3);
  form->Button_Cancel->SetEnabled(false);
  EndProgram();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "Fehler beim Setzen der Daten für 'Update'");
  UnlockKey(HKEY_LOCAL_MACHINE, kKey);
  EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, kKey), "UpdateInterval=dword:3");
  EXPECT_TRUE(shellStarts.empty());

  // An "UpdateInterval" of another type after a prepared installation: the batch starts all the
  // same, and the failed write is shown after it.
  boxes.clear();
  DeleteKey(HKEY_LOCAL_MACHINE, kKey);
  ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kKey, "UpdateInterval", "14"));
  app = std::make_unique<toolkit::TApplication>();
  form = new TScriptedStatusForm(app.get(), settings::UpdateServerSetting());
  form->DoCreate();
  form->EnsureControls();
  form->RegistryKey = kKey;
  CreateDirectoryA((Folder() + "Suche").c_str(), nullptr);
  WriteFileBytes(Folder() + "Suche\\Update.bat", "echo started> \"%~dp0..\\started.txt\"\r\n");
  form->FormShow(nullptr);
  form->Step = wizard::WizardStep::Install;
  form->Button_NextClick(form->Button_Next);  // the installation is prepared
  ASSERT_TRUE(form->InstallPrepared);
  EndProgram();
  ASSERT_EQ(shellStarts.size(), 1u);
  EXPECT_EQ(shellStarts[0].file, Folder() + "Suche\\Update.bat");
  EXPECT_TRUE(BatchStarted(true));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "Ungültiger Datentyp für 'UpdateInterval'");
  EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, kKey), "UpdateInterval=sz:14");
}

}  // namespace
