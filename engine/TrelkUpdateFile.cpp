// The update component: construction, the start-of-program decision and the Ctrl+U search.
#include "engine/TrelkUpdateFile.h"

#include <windows.h>

#include <memory>

#include "base/DateTime.h"
#include "base/batch_template.h"
#include "settings/Policy.h"
#include "settings/ProgramKey.h"
#include "settings/UpdateServer.h"
#include "engine/engine_rules.h"
#include "toolkit/Actions.h"
#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Seams.h"
#include "ui/Info.h"
#include "wizard/PreviousVersion.h"
#include "wizard/ProtectedInstall.h"
#include "wizard/SearchFolder.h"
#include "wizard/Signature.h"
#include "wizard/TrelkUpdateFile_StatusForm.h"
#include "wizard/wizard_rules.h"

namespace engine {

using namespace toolkit;

std::optional<base::TDateTime> FileDateTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
  FILETIME local{};
  WORD dosDate = 0, dosTime = 0;
  if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToDosDateTime(&local, &dosDate, &dosTime))
    return std::nullopt;
  return base::DosDateTimeToDateTime(dosDate, dosTime);
}

TTrelkUpdateFile::TTrelkUpdateFile(TComponent* owner) : THttpClient(owner) {
  // The list is named before the component has a name of its own, so every component gets
  // the same name and the owner refuses a second one.
  std::unique_ptr<TActionList> list(new TActionList(owner));
  list->SetName("ActionList_" + Name());
  actionList_ = list.release();
  auto* search = new TAction(actionList_);
  search->SetShortCut(ShortCut('U', kCtrlKey));
  search->OnExecute = [this](TComponent* sender) { ShortcutExecute(sender); };
  // libzip is linked into the program: nothing to put into the system directory.
  server_ = settings::UpdateServerSetting();
  Host = server_.host;
  Port = server_.port ? server_.port : 21;
  TimeOut = 10000;
  Body.clear();
  Header.clear();
  InputFileMode = true;
  HKCU = false;
  fontAdaptationsSeen_ = ui::FontAdaptations();
}

namespace {

// "NoUpdate" as the administrator's interval leaves it: a fixed or largest interval reminds.
bool NeverReminded(const settings::Policy& policy, const settings::ProgramKey& key) {
  if (!policy.FixesReminder()) return key.NoUpdate();
  return settings::ApplyPolicyToReminder(policy, key.NoUpdate(), std::nullopt).never;
}

}  // namespace

void TTrelkUpdateFile::UseServer(const settings::ServerSetting& server) {
  server_ = server;
  Host = server_.host;
  Port = server_.port ? server_.port : 21;
  if (wizard::StatusForm) {
    wizard::StatusForm->HTTP->Host = server_.host;
    wizard::StatusForm->UpdateServer = server_.Origin();
  }
}

wizard::TStatusForm& TTrelkUpdateFile::Wizard() {
  // The one wizard lives until the application ends, whatever happens to this component.
  if (!wizard::StatusForm) {
    auto* form = new wizard::TStatusForm(Application, server_);
    form->DoCreate();
    ui::CatchUpFontAdaptation(*form, fontAdaptationsSeen_);
  }
  return *wizard::StatusForm;
}

void TTrelkUpdateFile::ShortcutExecute(TComponent*) { AutomaticUpdate("", true, 0); }

bool TTrelkUpdateFile::AutomaticUpdate(const std::string& StartParameters, bool Manual,
                                       base::TDateTime ReferenceDate) {
  // The program's own executable started with the user's consent to install a prepared update:
  // it does that and nothing else, and ends without any of the program's own code running
  // further with the administrators' rights.
  const wizard::ProtectedArguments consent =
      wizard::ReadProtectedInstallArguments(GetCommandLineA(), wizard::SearchFolderPrefix("", RegistryKey));
  if (consent.present) {
    wizard::ProtectedOutcome outcome = wizard::ProtectedOutcome::BadRequest;
    if (consent.request)
      outcome = wizard::RunProtectedInstallation(
          *consent.request, {ProgramName, ZIPFileName, RegistryKey, HKCU, wizard::BuiltInPublicKey()});
    ExitProcess(static_cast<UINT>(outcome));
  }
  // Started by an installation's batch once it has ended: what the installation left goes.
  if (CommandLineArgument(GetCommandLineA(), 1) == base::kCleanupArgument) {
    wizard::RemoveLeftSearchFolders(TempPathSeam(), RegistryKey);
    RemoveSetAsideImage(ExeName());
    ExitProcess(0);
  }
  // Started by the settings tool to go back to the kept version, or by that start with consent.
  if (CommandLineArgument(GetCommandLineA(), 1) == wizard::kRestoreArgument)
    ExitProcess(static_cast<UINT>(wizard::RestorePreviousVersion(settings::ProgramKey::RootFor(HKCU), RegistryKey)));
  if (CommandLineArgument(GetCommandLineA(), 1) == wizard::kProtectedRestoreArgument)
    ExitProcess(static_cast<UINT>(wizard::RunProtectedRestore(settings::ProgramKey::RootFor(HKCU), RegistryKey)));
  if (CommandLineArgument(GetCommandLineA(), 1) == kUninstallArgument) return false;
  // What the administrator decided: the mirror replaces the server for every fetch of this
  // program, the wizard's included.
  const settings::Policy policy = settings::ReadPolicy(RegistryKey);
  if (policy.server) UseServer(*policy.server);
  // An unattended run (a script's or a scheduled task's): no window, an exit code.
  if (IsUnattendedArgument(CommandLineArgument(GetCommandLineA(), 1)))
    ExitProcess(static_cast<UINT>(RunUnattended(policy, ReferenceDate)));
  // An image an unattended run set aside is no longer in use at a normal start.
  RemoveSetAsideImage(ExeName());
  bool onlyUpdate = false;
  {  // the key stays open until the wizard has closed
    settings::ProgramKey key(settings::ProgramKey::RootFor(HKCU), RegistryKey, settings::ProgramKey::Access::Create);
    const std::string exe = ExeName();
    const base::TDateTime reference = EffectiveReferenceDate(ReferenceDate, FileDateTime(exe).value_or(0));
    if (!Manual) {
      key.SetApplicationFileName(ApplicationFileNameValue(exe, StartParameters));
      key.SetVersionDate(reference);
    }
    if (!DriveAllowsSearch(GetDriveTypeA(DriveRootOf(exe).c_str()))) return false;
    const int32_t today = static_cast<int32_t>(toolkit::Today());
    if (!Manual && ReadUpdateResult && key.HasUpdateResult()) TellUpdateOutcome(key, today);
    const base::TDateTime last = LastReminderDate(key.Update(), today);
    onlyUpdate = key.OnlyUpdate();
    if (policy.UpdatesOff()) {
      // Nothing is fetched; a search the user asked for (Ctrl+U, the settings tool's) says why.
      if (Manual || onlyUpdate) MessageDlg(wizard::kUpdatesOffText, MB_OK | MB_ICONINFORMATION);
    } else if (WizardOpens(Manual, onlyUpdate, NeverReminded(policy, key), today, last)) {
      wizard::TStatusForm& form = Wizard();
      form.ProgramName = ProgramName;
      form.ZIPFileName = ZIPFileName;
      form.RegistryKey = RegistryKey;
      form.ReferenceDate = reference;
      form.HKCU = HKCU;
      form.UserSearch = Manual || onlyUpdate;
      form.ShowModal();
    }
  }
  if (onlyUpdate) {
    auto* owner = dynamic_cast<TForm*>(Owner());
    if (!owner) throw base::Exception("Ungültige Typumwandlung");
    // The program ends here: its own destroy handler must not run, the wizard's does.
    owner->OnDestroy = nullptr;
    Application->Halt(0);
  }
  return false;
}

void TTrelkUpdateFile::TellUpdateOutcome(settings::ProgramKey& key, int32_t today) {
  // Another type, or a value that cannot be read: nothing to tell.
  const UpdateOutcome outcome = ReadUpdateOutcome(key.TryUpdateResult().value_or(""));
  // Gone before anything is shown: the message comes once, even when the program is ended while
  // it shows.
  key.RemoveUpdateResult();
  if (outcome.kind != UpdateOutcome::Nothing) SettlePreviousVersion(key, outcome.kind == UpdateOutcome::Installed);
  if (outcome.kind != UpdateOutcome::Failed) return;
  // The installation that was due is still due: the wizard comes at this start.
  key.SetUpdate(static_cast<base::TDateTime>(today) - 1);
  MessageDlg(UpdateFailedText(outcome), MB_OK | MB_ICONWARNING);
}

void TTrelkUpdateFile::SettlePreviousVersion(settings::ProgramKey& key, bool installed) {
  const std::optional<std::string> text = key.TryPreviousVersion();
  if (!text) return;
  const std::optional<wizard::PreviousVersion> previous = wizard::ReadPreviousVersion(*text);
  const std::optional<wizard::PreviousVersion::State> next =
      previous ? wizard::PreviousStateAfter(previous->state, installed) : std::nullopt;
  const std::string programDir = base::ExtractFilePath(ExeName());
  if (next) {
    wizard::PreviousVersion settled = *previous;
    settled.state = *next;
    key.SetPreviousVersion(wizard::PreviousVersionText(settled));
    return;
  }
  key.RemovePreviousVersion();
  // Restored: the files the newer version added go, as far as this user may remove them.
  if (previous && previous->state == wizard::PreviousVersion::Restoring && installed)
    wizard::RemoveAddedFiles(programDir);
  wizard::DropKept(programDir);
}

}  // namespace engine
