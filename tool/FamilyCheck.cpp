// TForm1's look at all programs: one fetch of the family's list, every listed program judged by
// it as its own search would judge it, and the update of one program started from there.
#include <windows.h>

#include <memory>

#include "base/StrUtils.h"
#include "engine/engine_rules.h"
#include "net/HttpClient.h"
#include "settings/Policy.h"
#include "settings/ProgramKey.h"
#include "tool/MainForm.h"
#include "toolkit/Application.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Handles.h"
#include "toolkit/Seams.h"
#include "wizard/HeldFile.h"
#include "wizard/Signature.h"
#include "wizard/UpdateRun.h"
#include "wizard/UserLocale.h"
#include "wizard/wizard_rules.h"

namespace tool {

using namespace toolkit;

const char kCheckAllCaption[] = "Alle Programme prüfen";
const char kCheckAllTitle[] = "Alle Programme auf Updates prüfen";
const char kInstallUpdateCaption[] = "Update installieren";

namespace {

// ProgramFileOf without the registry error: one program's unreadable value names no file and
// stops neither the look nor the other rows.
std::string ProgramFile(const settings::ProgramKey& key) {
  try {
    return ProgramFileOf(key);
  } catch (const std::exception&) {
    return std::string();
  }
}

// The date the program compares the list with: the one its last start recorded, else its
// program file's, as a program that hands in no date of its own takes it.
base::TDateTime InstalledDate(const settings::ProgramKey& key) {
  if (const std::optional<base::TDateTime> date = key.TryVersionDate()) return *date;
  const std::string file = ProgramFile(key);
  return file.empty() ? 0 : engine::FileDateTime(file).value_or(0);
}

// Waits for the process to end, handling the tool's messages meanwhile; its exit code.
int WaitForEnd(HANDLE process) {
  while (MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0 &&
         !Application->Terminated())
    ProcessMessages();
  DWORD code = 0;
  if (!GetExitCodeProcess(process, &code) || code == STILL_ACTIVE) return kStartFailed;
  return static_cast<int>(code);
}

}  // namespace

void TForm1::Button_CheckAllClick(TComponent*) {
  if (familyBusy_ || !ListBox_Programs) return;
  {
    ScopedValue busy(familyBusy_, true);
    // While the list is on its way the page stays as it is: no second look, no step.
    Button_CheckAll->SetEnabled(false);
    Button_Next->SetEnabled(false);
    Button_Previous->SetEnabled(false);
    // The list is fetched as the tool's own search fetches it: its server (or the
    // administrator's mirror), its key, its serial; nothing of the tool's own offer is drawn.
    wizard::RunProgram own;
    own.name = Update->ProgramName;
    own.zipFileName = Update->ZIPFileName;
    own.registryKey = Update->RegistryKey;
    own.hkcu = Update->HKCU;
    own.referenceDate = catalogFileDate_;
    own.programDir = base::ExtractFilePath(ExeName());
    own.server = Update->Server().Origin();
    own.publicKey = wizard::BuiltInPublicKey();
    own.policy = settings::ReadPolicy(own.registryKey);
    own.userSearch = true;
    own.keepsList = true;
    std::unique_ptr<net::THttpClient> http(new net::THttpClient(nullptr));
    net::UseUpdateTransferSettings(*http, "");
    http->Host = Update->Server().host;
    wizard::UpdateRun run;
    run.Begin(TempPathSeam());
    const wizard::CheckOutcome checked = run.Check(*http, own);
    Button_CheckAll->SetEnabled(true);
    Button_Next->SetEnabled(true);
    Button_Previous->SetEnabled(true);
    switch (checked.kind) {
      case wizard::CheckOutcome::NoConnection:
        ShowMessageBox(Handle(), wizard::NoConnectionMessage(checked.fault), wizard::NoConnectionCaption(checked.fault),
                       MB_OK | MB_ICONEXCLAMATION);
        return;
      case wizard::CheckOutcome::ListTooLong:
        ShowMessageBox(Handle(), wizard::kListTooLongText, wizard::kListTooLongCaption, MB_OK | MB_ICONEXCLAMATION);
        return;
      case wizard::CheckOutcome::Refused:
        // Nothing of a list the tool may not read is shown for any program.
        ShowMessageBox(Handle(), wizard::RefusalText(checked.refusal), kCheckAllTitle, MB_OK | MB_ICONEXCLAMATION);
        return;
      default:
        break;
    }
    FamilyRows.clear();
    const base::ShortDateFormat format = wizard::UserShortDateFormat();
    const base::TDateTime today = Today();
    for (int i = 0; i < ListBox_Programs->Count(); ++i) {
      FamilyRow row;
      row.name = ListBox_Programs->Item(i);
      row.keyName = CatalogLookup(CatalogTable, row.name, 1);
      if (row.keyName.empty()) continue;
      const settings::ProgramKey key(HKEY_LOCAL_MACHINE, row.keyName, settings::ProgramKey::Access::Read);
      row.installed = InstalledDate(key);
      wizard::RunProgram member;
      member.name = member.registryKey = row.keyName;
      member.referenceDate = row.installed;
      member.publicKey = own.publicKey;
      member.policy = settings::ReadPolicy(row.keyName);
      if (member.policy.UpdatesOff()) {
        row.state = FamilyRow::SwitchedOff;
      } else if (row.installed == 0) {
        row.state = FamilyRow::NotChecked;
      } else {
        const wizard::CheckOutcome judged = run.JudgeMember(member);
        row.refusal = judged.refusal;
        row.skipped = judged.skipped;
        row.heldBack = judged.heldBack;
        switch (judged.kind) {
          case wizard::CheckOutcome::Offered: row.state = FamilyRow::Offered; break;
          case wizard::CheckOutcome::Pinned: row.state = FamilyRow::Pinned; break;
          case wizard::CheckOutcome::NoUpdate: row.state = FamilyRow::Current; break;
          default: row.state = FamilyRow::NotChecked; break;
        }
        if (row.state == FamilyRow::Offered || row.state == FamilyRow::Pinned) {
          row.offered = judged.version.date;
          row.news = wizard::NewsListText(run.News(row.keyName), row.installed, format, today);
        }
      }
      FamilyRows.push_back(row);
    }
    run.DropSearch();
  }
  ListBox_Family->Clear();
  int first = -1;
  for (size_t i = 0; i < FamilyRows.size(); ++i) {
    ListBox_Family->Add(FamilyItemText(FamilyRows[i]));
    if (first < 0 && FamilyRowStartable(FamilyRows[i])) first = static_cast<int>(i);
  }
  Pages->SetPageIndex(3);
  Button_Previous->SetEnabled(true);
  Button_Next->SetEnabled(false);
  ListBox_Family->SetItemIndex(first);
  ListBox_FamilyClick(ListBox_Family);
  ListBox_Family->SetFocus();
}

void TForm1::ShowFamilyRow(int index) {
  if (index < 0 || static_cast<size_t>(index) >= FamilyRows.size()) return;
  // The item's text is the row's state, for whoever reads the list.
  HWND list = ListBox_Family->Handle();
  const std::string text = FamilyItemText(FamilyRows[static_cast<size_t>(index)]);
  const bool selected = ListBox_Family->ItemIndex() == index;
  SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
  SendMessageA(list, LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.c_str()));
  if (selected) ListBox_Family->SetItemIndex(index);
  ListBox_FamilyClick(ListBox_Family);
}

void TForm1::ListBox_FamilyDrawItem(TComponent*, int index, const RECT& rect, bool) {
  if (index < 0 || static_cast<size_t>(index) >= FamilyRows.size()) return;
  const FamilyRow& row = FamilyRows[static_cast<size_t>(index)];
  TCanvas& canvas = *ListBox_Family->Canvas();
  canvas.SetBrushStyle(TCanvas::BrushStyle::Solid);
  canvas.SetPenStyle(TCanvas::PenStyle::Clear);
  canvas.FillRect(rect);
  // Name and dates on the first line, the state below; an update stands out in bold.
  canvas.TextOut(rect.left + 8, rect.top + 3, row.name);
  const std::string detail = FamilyDetailText(row);
  canvas.TextOut(rect.right - 6 - canvas.TextWidth(detail), rect.top + 3, detail);
  const bool strong = FamilyRowStartable(row) || row.state == FamilyRow::Running;
  canvas.Font().SetBold(strong);
  canvas.TextOut(rect.left + 8, rect.top + 19, FamilyStateText(row));
  canvas.Font().SetBold(false);
}

void TForm1::ListBox_FamilyClick(TComponent*) {
  const int index = ListBox_Family->ItemIndex();
  const bool any = index >= 0 && static_cast<size_t>(index) < FamilyRows.size();
  const FamilyRow* row = any ? &FamilyRows[static_cast<size_t>(index)] : nullptr;
  Label9->SetCaption(FamilySummaryText(FamilyRows));
  Label_News->SetCaption(row && !row->news.empty() ? "Neuigkeiten zu " + row->name + ":\r\n" + row->news : "");
  Button_InstallUpdate->SetEnabled(!familyBusy_ && row && FamilyRowStartable(*row));
}

void TForm1::Button_InstallUpdateClick(TComponent*) {
  const int index = ListBox_Family->ItemIndex();
  if (familyBusy_ || index < 0 || static_cast<size_t>(index) >= FamilyRows.size() ||
      !FamilyRowStartable(FamilyRows[static_cast<size_t>(index)]))
    return;
  const auto row = [this, index]() -> FamilyRow& { return FamilyRows[static_cast<size_t>(index)]; };
  std::string text, caption;
  {
    ScopedValue busy(familyBusy_, true);
    Button_Previous->SetEnabled(false);
    Button_InstallUpdate->SetEnabled(false);
    if (row().keyName == Update->RegistryKey) {
      // The tool itself: its own wizard, as Ctrl+U opens it. An installation ends the tool.
      row().state = FamilyRow::Running;
      row().viaWizard = true;
      ShowFamilyRow(index);
      Update->AutomaticUpdate("", true, catalogFileDate_);
      row().state = FamilyRow::Ended;
      row().exitCode = kWizardEnded;
    } else {
      std::string exe;
      {
        const settings::ProgramKey key(HKEY_LOCAL_MACHINE, row().keyName, settings::ProgramKey::Access::Read);
        if (key.IsOpen()) exe = ProgramFile(key);
      }
      // Unattended where nobody needs to be asked: its folder takes this user's files, and it
      // would take the offer at a reminder too (a skipped or held-back offer only its wizard,
      // a search of the user's own, installs).
      const bool unattended = !exe.empty() && wizard::IsFile(exe) && !row().skipped && !row().heldBack &&
                              wizard::ProgramFolderWritableSeam(base::ExtractFilePath(exe));
      ScopedHandle process;
      if (unattended) {
        std::string line = "\"" + exe + "\" " + engine::kUnattendedArgument;
        STARTUPINFOA si{sizeof si};
        PROCESS_INFORMATION pi{};
        if (CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
          CloseHandle(pi.hThread);
          process.reset(pi.hProcess);
        } else {
          text = "Das Programm konnte nicht gestartet werden:\r\n" + line + "\r\n\r\n" + SystemErrorText(GetLastError());
          caption = kStartFailedCaption;
        }
      } else {
        process.reset(StartOnlyUpdate(row().keyName, text, caption));
      }
      if (process) {
        row().state = FamilyRow::Running;
        row().viaWizard = !unattended;
        ShowFamilyRow(index);
        const int code = WaitForEnd(process.get());
        row().exitCode = unattended ? code : kWizardEnded;
      } else {
        row().exitCode = kStartFailed;
      }
      row().state = FamilyRow::Ended;
      if (row().exitCode == 1) row().installed = row().offered;
    }
    Button_Previous->SetEnabled(true);
  }
  ShowFamilyRow(index);
  if (!text.empty()) ShowMessageBox(Application->Handle(), text, caption, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace tool
