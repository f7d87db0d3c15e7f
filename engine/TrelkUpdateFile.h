// TTrelkUpdateFile: the update component a program of the family places on its main form. It
// carries the program's update identity, makes the process's one update wizard (at its first
// need) and the Ctrl+U shortcut, and decides at program start whether the wizard opens (AutomaticUpdate).
#pragma once

#include <optional>
#include <string>

#include "base/DateTime.h"
#include "engine/engine_rules.h"
#include "settings/ProgramKey.h"
#include "settings/settings_rules.h"
#include "net/HttpClient.h"
#include "toolkit/Actions.h"
#include "toolkit/Component.h"

namespace wizard {
class TStatusForm;
}

namespace engine {

// The last-write time of a file in local time, cut to the even second (the resolution of the
// file dates the system hands out); empty when the file cannot be read.
std::optional<base::TDateTime> FileDateTime(const std::string& path);

class TTrelkUpdateFile : public net::THttpClient {
 public:
  // `owner` is the program's main form. Creates the action list "ActionList_" on the owner
  // with the Ctrl+U action and sets the connection properties; the wizard follows at its first
  // need (Wizard). Throws base::Exception "Komponente mit der Bezeichnung ActionList_
  // existiert bereits" for a second component on the same owner; the owner is then unchanged.
  explicit TTrelkUpdateFile(toolkit::TComponent* owner);

  std::string ProgramName;  // the program's section in the server's update list
  std::string RegistryKey;  // the program's key below "Software\Trelk\"
  std::string ZIPFileName;  // the update archive on the server and in the temp folder
  bool HKCU = false;        // true: the key lies below HKEY_CURRENT_USER, else HKEY_LOCAL_MACHINE
  // Whether a start reads the outcome the last installation recorded ("UpdateResult"). Off, the
  // value is left alone, as by a program built before the installation recorded it.
  bool ReadUpdateResult = true;

  // The start-of-program decision (Manual false), called from the owner form's create
  // handler, and the search by hand (Manual true). Records the start command, applies the
  // drive test, the reminder date and "NoUpdate", and shows the wizard modally when a search
  // is due. A start (not a search by hand) first reads and deletes "UpdateResult": after a failed
  // installation it shows what failed and moves "Update" back to yesterday, so that the wizard
  // opens at this start. An update-only start ("OnlyUpdate" present) ends the process after the wizard,
  // without the owner form's destroy handler; the wizard's destruction still runs.
  // ReferenceDate 0 stands for the program file's own date. Registry errors propagate
  // (ERegistryException). Returns false.
  // The administrator's policies apply first (settings::ReadPolicy): their update server for every
  // fetch; updates switched off: no wizard at the start, and a search by hand (or an
  // update-only start) only says so; their interval for the reminder. A first argument
  // kUnattendedArgument runs the unattended update (RunUnattended) and ends the process with its
  // exit code.
  bool AutomaticUpdate(const std::string& StartParameters, bool Manual, base::TDateTime ReferenceDate);

  // The Ctrl+U action: a search by hand, nothing recorded.
  void ShortcutExecute(toolkit::TComponent* sender);

  // The action list made on the owner form (owned by it), with the one Ctrl+U action.
  toolkit::TActionList* ActionList() const { return actionList_; }

  // The process's one update wizard (wizard::StatusForm), owned by the application object and
  // made at the first need: a program whose search is not due makes no window for it. Made
  // later than at the component's construction, it is what it would have been then: the
  // server read at construction, the font face the forms took since (ui::AdaptFormFonts).
  wizard::TStatusForm& Wizard();

  // The server this program fetches from: the build's (or the staging server), or the
  // administrator's mirror once AutomaticUpdate has read the policy.
  const settings::ServerSetting& Server() const { return server_; }

 private:
  // The server every fetch of this program uses from now on, the wizard's included.
  void UseServer(const settings::ServerSetting& server);
  // The unattended update under `policy` (Unattended.cpp): no window and no message; the
  // outcome as the exit code, and in "UpdateResult". Throws nothing.
  UnattendedExit RunUnattended(const settings::Policy& policy, base::TDateTime referenceDate);
  // Deletes the program image an unattended run set aside beside `exe`, when it is there and no
  // longer in use.
  static void RemoveSetAsideImage(const std::string& exe);

  settings::ServerSetting server_;
  int fontAdaptationsSeen_ = 0;
  // Reads, deletes and tells the installation's outcome in the program key open in `reg`.
  void TellUpdateOutcome(settings::ProgramKey& key, int32_t today);
  // What the installation's outcome makes of the kept previous version ("PreviousVersion").
  void SettlePreviousVersion(settings::ProgramKey& key, bool installed);
  toolkit::TActionList* actionList_ = nullptr;
};

}  // namespace engine
