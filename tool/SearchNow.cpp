// TForm1's "Jetzt nach Updates suchen": the selected program started in update-only mode.
#include <windows.h>

#include <algorithm>

#include "base/StrUtils.h"
#include "settings/ProgramKey.h"
#include "tool/MainForm.h"
#include "toolkit/Application.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Handles.h"
#include "wizard/HeldFile.h"
#include "wizard/PreviousVersion.h"
#include "wizard/keep_rules.h"

namespace tool {

using namespace toolkit;

const char kKeyNotFoundText[] =
    "Die notwendigen Registrierungsdaten wurden nicht gefunden. Starten Sie das betreffende Programm, beenden Sie "
    "es anschließend und versuchen Sie es dann erneut.";
const char kKeyNotFoundCaption[] = "Registrierungsdaten wurden nicht gefunden";
const char kProgramNotFoundText[] =
    "Die Programmdatei wurde nicht gefunden. Starten Sie das betreffende Programm manuell, um die aktuellen Updates "
    "zu downloaden.";
const char kProgramNotFoundCaption[] = "Programmdatei wurde nicht gefunden";
const char kStartFailedCaption[] = "Programm konnte nicht gestartet werden";
const char kRestorePreviousCaption[] = "Vorherige Version wiederherstellen";

// The system's text for an error code, without its line end.
std::string SystemErrorText(DWORD code) {
  char buffer[512] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                           sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text.empty() ? "Fehler " + base::IntToStr(code) : text;
}

namespace {

// Whether a started program has passed its start: it waits for input, has ended, or is no
// windowed program at all (nothing to wait for then).
bool PastItsStart(HANDLE process) {
  if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return true;
  DWORD idle = WaitForInputIdle(process, 0);
  return idle != WAIT_TIMEOUT;
}

}  // namespace

void WaitWithMessages(DWORD milliseconds, HANDLE startedProcess, DWORD limit) {
  const DWORD start = GetTickCount();
  for (;;) {
    ProcessMessages();
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= milliseconds) {
      if (!startedProcess || elapsed >= limit || Application->Terminated() || PastItsStart(startedProcess)) return;
      WaitForMessage(std::min<DWORD>(50, limit - elapsed));
    } else {
      // The wait for the next message ends at the latest when the time is up.
      WaitForMessage(std::min<DWORD>(milliseconds - elapsed, 50));
    }
  }
}

std::string ProgramFileOf(const settings::ProgramKey& key) {
  const std::optional<std::string> command = key.ApplicationFileName();
  const std::vector<std::string> elements = command ? base::SplitCommaList(*command) : std::vector<std::string>();
  return elements.empty() ? std::string() : elements.front();
}

HANDLE StartOnlyUpdate(const std::string& keyName, std::string& text, std::string& caption) {
  HANDLE started = nullptr;
  // An empty name would address "Software\Trelk" itself, which holds no program's values.
  std::optional<settings::ProgramKey> key;
  if (!keyName.empty()) key.emplace(HKEY_LOCAL_MACHINE, keyName, settings::ProgramKey::Access::Change);
  const std::optional<std::string> command = key && key->IsOpen() ? key->ApplicationFileName() : std::nullopt;
  if (!key || !key->IsOpen()) {
    text = kKeyNotFoundText;
    caption = kKeyNotFoundCaption;
  } else if (!command) {
    text = kProgramNotFoundText;
    caption = kProgramNotFoundCaption;
  } else {
    const std::vector<std::string> elements = base::SplitCommaList(*command);
    if (elements.empty() || !wizard::IsFile(elements.front())) {
      text = kProgramNotFoundText;
      caption = kProgramNotFoundCaption;
      // A mark left by an earlier search would make the program start as an update search
      // every time: take it away.
      key->RemoveOnlyUpdate();
    } else {
      key->SetOnlyUpdate();
      STARTUPINFOA si{sizeof si};
      si.dwFlags = STARTF_USESHOWWINDOW;
      si.wShowWindow = SW_SHOWNORMAL;
      PROCESS_INFORMATION pi{};
      std::string line = *command;  // CreateProcess may write into the command line
      if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        started = pi.hProcess;
        WaitWithMessages(kSearchMarkMilliseconds, started, kSearchMarkLimit);
      } else {
        text = "Das Programm konnte nicht gestartet werden:\r\n" + *command + "\r\n\r\n" + SystemErrorText(GetLastError());
        caption = kStartFailedCaption;
      }
      key->RemoveOnlyUpdate();
    }
  }
  return started;
}

void TForm1::Button_SearchForUpdatesClick(TComponent*) {
  const int index = ListBox_Programs->ItemIndex();
  if (index < 0) return;
  std::string text, caption;
  ScopedHandle started(StartOnlyUpdate(CatalogLookup(CatalogTable, ListBox_Programs->Item(index), 1), text, caption));
  if (!text.empty()) ShowMessageBox(Application->Handle(), text, caption, MB_OK | MB_ICONEXCLAMATION);
}

bool TForm1::HasPreviousVersion(const std::string& programName) const {
  const std::string keyName = CatalogLookup(CatalogTable, programName, 1);
  if (keyName.empty()) return false;
  const std::optional<wizard::PreviousVersion> previous = wizard::StoredPreviousVersion(HKEY_LOCAL_MACHINE, keyName);
  return previous && previous->state == wizard::PreviousVersion::Kept;
}

void TForm1::Button_RestorePreviousClick(TComponent*) {
  const int index = ListBox_Programs->ItemIndex();
  if (index < 0) return;
  const std::string keyName = CatalogLookup(CatalogTable, ListBox_Programs->Item(index), 1);
  std::string text, caption;
  {
    std::optional<settings::ProgramKey> key;
    if (!keyName.empty()) key.emplace(HKEY_LOCAL_MACHINE, keyName, settings::ProgramKey::Access::Read);
    const std::string exe = key && key->IsOpen() ? ProgramFileOf(*key) : std::string();
    if (!key || !key->IsOpen()) {
      text = kKeyNotFoundText;
      caption = kKeyNotFoundCaption;
    } else if (exe.empty() || !wizard::IsFile(exe)) {
      text = kProgramNotFoundText;
      caption = kProgramNotFoundCaption;
    } else {
      // The program itself, with the restore as its only argument: the start parameters of its
      // last start have no part in it.
      std::string line = "\"" + exe + "\" " + wizard::kRestoreArgument;
      STARTUPINFOA si{sizeof si};
      PROCESS_INFORMATION pi{};
      if (CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        ScopedHandle process(pi.hProcess), thread(pi.hThread);
        // The restore is over (or its batch runs) when the program has ended; the button then
        // shows what is left. Meanwhile it starts no second restore.
        Button_RestorePrevious->SetEnabled(false);
        while (MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0 &&
               !Application->Terminated())
          ProcessMessages();
        Button_RestorePrevious->SetEnabled(true);
        ListBox_ProgramsClick(ListBox_Programs);
      } else {
        text = "Das Programm konnte nicht gestartet werden:\r\n" + line + "\r\n\r\n" + SystemErrorText(GetLastError());
        caption = kStartFailedCaption;
      }
    }
  }
  if (!text.empty()) ShowMessageBox(Application->Handle(), text, caption, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace tool
