// TForm1: layout, start-up steps, single instance and the product list.
#include "tool/MainForm.h"

#include <windows.h>

#include <optional>

#include "base/StrUtils.h"
#include "catalog/Kalvor.h"
#include "settings/Policy.h"
#include "settings/ProgramKey.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Application.h"
#include "toolkit/Handles.h"
#include "ui/Info.h"

namespace tool {

using namespace toolkit;

const char kAppTitle[] = "Trelk-Software Ostvane";

std::vector<CatalogRow> CatalogTable;
std::unique_ptr<std::vector<std::string>> IntervalList;
std::vector<bool> LockedRows;
bool DrawLock = false;

namespace {

// Held until the process ends, so that later starts see that this one runs.
ScopedHandle& InstanceMutex() {
  static ScopedHandle mutex;
  return mutex;
}

}  // namespace

TForm1::TForm1(TComponent* owner) : TForm(owner, "TForm1") {
  SetName("Form1");
  Build(*this,
        FormSpec(kAppTitle, 601, 400)
            .Flags(FormFlag::MinimizeBox | FormFlag::KeyPreview)
            .Font("MS Sans Serif", -11, FontStyle::None, RGB(0, 0, 0))
            .InitialFocus("Button_Next")
            .OnCreate(this, &TForm1::FormCreate)
            .OnShow(this, &TForm1::FormShow)
            .OnDestroy(this, &TForm1::FormDestroy)
            .OnKeyPress(this, &TForm1::FormKeyPress)
            .Controls({
                Row("Image1", Kind::Image, "", "", {8, 8, 231, 342}).Into(Image1),
                Row("Pages", Kind::PageControl, "", "", {256, 8, 337, 345}).Into(Pages),
                Row("Page1", Kind::Page, "Pages"),
                Row("Page2", Kind::Page, "Pages"),
                Row("Page3", Kind::Page, "Pages"),
                Row("Page4", Kind::Page, "Pages"),
                Row("Bevel1", Kind::HLine, "", "", {8, 360, 585, 2}).Into(Bevel1),
                Row("Bevel2", Kind::VLine, "", "", {248, 8, 2, 353}).Into(Bevel2),
                Row("Button_Cancel", Kind::Button, "", "Abbrechen", {352, 368, 75, 25})
                    .Into(Button_Cancel)
                    .OnClick(this, &TForm1::Button_CancelClick),
                Row("Button_Previous", Kind::Button, "", "< Zurück", {440, 368, 75, 25})
                    .Flags(Flag::Disabled)
                    .Into(Button_Previous)
                    .OnClick(this, &TForm1::Button_PreviousClick),
                Row("Button_Next", Kind::Button, "", "Weiter >", {520, 368, 75, 25})
                    .Into(Button_Next)
                    .OnClick(this, &TForm1::Button_NextClick),
                // Page1
                Row("Label1", Kind::WrapLabel, "Page1",
                    "Dieses Tool unterstützt Sie dabei, die Update-Funktion, die manche der Trelk-Software-Produkte "
                    "besitzen, einzeln oder insgesamt anzupassen. Damit alle verfügbaren Programme in der Liste "
                    "aufgeführt werden, müssen sie auf diesem PC schon einmal ausgeführt worden sein.\r\n\r\n"
                    "Klicken Sie auf \"Weiter\", um den Assistenten fortzuführen.",
                    {8, 8, 321, 185})
                    .Into(Label1),
                Row("Image_Logo", Kind::Image, "Page1", "", {184, 280, 142, 63})
                    .Flags(Flag::AutoSize | Flag::Transparent | Flag::HandPointer)
                    .Into(Image_Logo)
                    .OnClick(this, &TForm1::Image_LogoClick),
                // Non-visual, and the animation in the bottom-left corner
                Row("WinXP1", ui::kWinXP).Into(WinXP1),
                Row("WinAni1", ui::kWinAni, "", "", {8, 362, 38, 38}).Value(20).Into(WinAni1),
            }));
  Image1->SetPicture(TBitmap::FromResource(GetModuleHandleA(nullptr), "WIZARD"));
  // The tool's own update component, stored as every program of the family stores its own.
  // Host and port stay as its construction set them: the maker's web host of the build, or
  // the staging server a maker named for testing.
  Update = new engine::TTrelkUpdateFile(this);
  Update->SetName("Update");
  Update->ProgramName = "Ostvane";
  Update->RegistryKey = "Ostvane";
  Update->ZIPFileName = "Brisel.zip";
  Update->HKCU = false;
  Update->TimeOut = 10000;
  Update->ReportLevel = 0;
  Update->InputFileMode = true;
  Update->OutputFileMode = false;
  Update->ProxyPort = 0;
}

void TForm1::EnsurePageControls() {
  if (ListBox_Programs) return;
  // Page2, controls in tab order, and Page3.
  BuildControls(*this, {
    Row("Label2", Kind::WrapLabel, "Pages.Page2",
        "Wählen Sie in folgender Liste, in welchen Abständen nach Updates gesucht werden soll. Um für "
        "alle Programme den gleichen Wert anzugeben, geben Sie ihn ins untere Eingabefeld ein und klicken "
        "Sie auf \"für alle\". Um jetzt für ein bestimmtes Programm nach Updates zu suchen, markieren Sie es "
        "und klicken Sie auf \"Jetzt nach Updates suchen\". Besteht keine Internetverbindung, bleibt diese "
        "Aktion wirkungslos.",
        {8, 8, 321, 97})
        .Into(Label2),
    Row("Label3", Kind::Label, "Pages.Page2", "Update-Überprüfungsintervall:", {8, 104, 0, 0}).Into(Label3),
    Row("ListBox_Programs", Kind::ListBox, "Pages.Page2", "", {8, 120, 321, 153})
        .ItemHeight(40)
        .Into(ListBox_Programs)
        .OnClick(this, &TForm1::ListBox_ProgramsClick)
        .OnDrawItem(this, &TForm1::ListBox_ProgramsDrawItem),
    Row("Button_SetDefault", Kind::Button, "Pages.Page2", "für alle", {120, 280, 73, 25})
        .Into(Button_SetDefault)
        .OnClick(this, &TForm1::Button_SetDefaultClick),
    Row("SpinEdit_Default", Kind::SpinEdit, "Pages.Page2", "", {8, 280, 65, 22})
        .Range(0, 1048575, 7)
        .Into(SpinEdit_Default),
    Row("Button_SearchForUpdates", Kind::Button, "Pages.Page2", "Jetzt nach Updates suchen", {2, 0, 153, 17})
        .Flags(Flag::Hidden)
        .Into(Button_SearchForUpdates)
        .OnClick(this, &TForm1::Button_SearchForUpdatesClick),
    Row("ComboBox_UpdtInterval", Kind::ComboBox, "Pages.Page2", "", {0, 0, 100, 21})
        .DropDownCount(10)
        .Items({"niemals", "1 Tag", "2 Tage", "3 Tage", "4 Tage", "5 Tage", "6 Tage", "7 Tage", "14 Tage",
                "30 Tage"})
        .Flags(Flag::Hidden)
        .Into(ComboBox_UpdtInterval)
        .OnExit(this, &TForm1::ComboBox_UpdtIntervalExit)
        .OnKeyPress(this, &TForm1::ComboBox_UpdtIntervalKeyPress),
    Row("Label7", Kind::Label, "Pages.Page2", "Tag(e)", {80, 284, 0, 0}).Into(Label7),
    Row("Button_RestorePrevious", Kind::Button, "Pages.Page2", kRestorePreviousCaption, {120, 306, 209, 21})
        .Flags(Flag::Hidden)
        .Into(Button_RestorePrevious)
        .OnClick(this, &TForm1::Button_RestorePreviousClick),
    Row("Button_CheckAll", Kind::Button, "Pages.Page2", kCheckAllCaption, {200, 280, 129, 25})
        .Into(Button_CheckAll)
        .OnClick(this, &TForm1::Button_CheckAllClick),
    Row("Label6", Kind::Label, "Pages.Page2", "0 = niemals", {8, 304, 0, 0}).Into(Label6),
    Row("Label4", Kind::WrapLabel, "Pages.Page2",
        "Klicken Sie zum Übernehmen der Einstellungen auf \"Übernehmen\".", {8, 328, 321, 17})
        .Into(Label4),
    // Page3
    Row("Image_Icon", Kind::Image, "Pages.Page3", "", {8, 8, 32, 32}).Into(Image_Icon),
    Row("Label5", Kind::WrapLabel, "Pages.Page3",
        "Die Einstellungen wurden erfolgreich geändert.\r\n\r\nKlicken Sie auf \"Schließen\", um das "
        "Programm zu verlassen, oder auf \"Zurück\", um die Einstellungen erneut zu bearbeiten.",
        {48, 8, 281, 329})
        .Into(Label5),
    // Page4: the look at all programs
    Row("Label8", Kind::Label, "Pages.Page4", kCheckAllTitle, {8, 8, 0, 0}).Into(Label8),
    Row("Label9", Kind::WrapLabel, "Pages.Page4", "", {8, 28, 321, 41}).Into(Label9),
    Row("ListBox_Family", Kind::ListBox, "Pages.Page4", "", {8, 72, 321, 146})
        .ItemHeight(36)
        .Into(ListBox_Family)
        .OnClick(this, &TForm1::ListBox_FamilyClick)
        .OnDrawItem(this, &TForm1::ListBox_FamilyDrawItem),
    Row("Label_News", Kind::WrapLabel, "Pages.Page4", "", {8, 224, 321, 86}).Into(Label_News),
    Row("Button_InstallUpdate", Kind::Button, "Pages.Page4", kInstallUpdateCaption, {8, 316, 153, 25})
        .Flags(Flag::Disabled)
        .Into(Button_InstallUpdate)
        .OnClick(this, &TForm1::Button_InstallUpdateClick),
  });
  Image_Icon->SetIcon(LoadIconA(nullptr, IDI_INFORMATION));
  // The in-row editor and its button live inside the list.
  Button_SearchForUpdates->SetParent(ListBox_Programs);
  ComboBox_UpdtInterval->SetParent(ListBox_Programs);
  Label3->Font().SetBold(true);
  Label3->FontChanged();
  Label8->Font().SetBold(true);
  Label8->FontChanged();
}

void TForm1::FormCreate(TComponent*) {
  // 1. The installed version is dated by the catalogue library beside the program. When that
  //    file cannot be read, the program file's own date stands in for it.
  std::string folder = base::ExtractFilePath(ExeName());
  auto date = engine::FileDateTime(folder + "Kalvor.dll");
  if (!date) date = engine::FileDateTime(ExeName());
  catalogFileDate_ = date.value_or(0);

  // 2. The tool's own update check, before any window of the tool shows; the wizard may run
  //    modally here. A registry error (no write access to HKEY_LOCAL_MACHINE, say) is shown and
  //    the start-up goes on: the tool is still needed to look at the other programs.
  try {
    Update->AutomaticUpdate("", false, catalogFileDate_);
  } catch (const base::Exception& e) {
    Application->HandleException(e);
  }

  // 3. One instance only.
  InstanceMutex().reset();
  HANDLE mutex = CreateMutexA(nullptr, TRUE, kAppTitle);
  bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
  InstanceMutex().reset(mutex);
  if (existed) {
    HWND other = nullptr;
    for (HWND hit = FindWindowExA(nullptr, nullptr, "TApplication", Application->Title().c_str()); hit;
         hit = FindWindowExA(nullptr, hit, "TApplication", Application->Title().c_str())) {
      if (hit != Application->Handle()) {
        other = hit;
        break;
      }
    }
    if (other) {
      ShowWindow(other, SW_SHOWNORMAL);
      SetForegroundWindow(other);
    }
    Application->Halt(0);
  }
  // 4. Ownership goes, the handle stays open until the process ends.
  if (mutex) ReleaseMutex(mutex);

  // 5. Own copy of the catalogue; the library's texts are never touched again.
  int32_t count = ProgramsCount();
  CatalogTable.assign(static_cast<size_t>(count > 0 ? count : 0), CatalogRow());
  for (int32_t row = 0; row < count; ++row) {
    CatalogTable[static_cast<size_t>(row)].first = GetArrayData(row, 0);
    CatalogTable[static_cast<size_t>(row)].second = GetArrayData(row, 1);
  }

  IntervalList = std::make_unique<std::vector<std::string>>();  // 6.
  LockedRows.clear();

  // 7. Policy values the programs ignore, named once.
  const std::vector<std::string> ignored = settings::IgnoredPolicyValues();
  if (!ignored.empty()) MessageDlg(IgnoredPoliciesText(ignored), MB_OK | MB_ICONWARNING);
}

bool TForm1::RowLocked(int index) {
  return index >= 0 && static_cast<size_t>(index) < LockedRows.size() && LockedRows[static_cast<size_t>(index)];
}

void TForm1::FormShow(TComponent*) {
  // The maker's logo, the picture the about dialog shows.
  Image_Logo->SetPicture(TBitmap::FromResource(GetModuleHandleA(nullptr), "LOGO"));
  Image_Logo->Repaint();
}

void TForm1::FormDestroy(TComponent*) { IntervalList.reset(); }

void TForm1::FormKeyPress(TComponent*, char& key) {
  if (key == '\r' && ActiveControl() != ComboBox_UpdtInterval) Button_NextClick(Button_Next);
}

// The handlers below may run before FormCreate has made the interval list (while the tool's own
// update wizard runs inside FormCreate) or not at all in a start that ends early: without the
// list there is nothing to show, edit or apply.

void TForm1::Image_LogoClick(TComponent*) {
  // The dialog is made at its first show; the fonts it adapts were adapted at the start.
  if (!ui::Info) Application->CreateForm<ui::TInfo>(ui::TInfo::FontsAdapted);
  ui::Info->ShowInfo(Application->Title(), "2002-2003", Application->Icon());
}

void TForm1::Button_CancelClick(TComponent*) { Close(); }

void TForm1::Button_NextClick(TComponent*) {
  if (!IntervalList) return;
  switch (Pages->PageIndex()) {
    case 0:
      FillProductList();  // makes the page's controls first
      Pages->SetPageIndex(1);
      Button_Previous->SetEnabled(true);
      Button_Next->SetText("Übernehmen");
      break;
    case 1:
      ApplySettings();
      Pages->SetPageIndex(2);
      Button_Cancel->SetEnabled(false);
      Button_Next->SetText("Schließen");
      break;
    case 2:
      Close();
      break;
    default:
      break;
  }
}

void TForm1::ApplySettings() {
  if (!IntervalList) return;
  const int count = ListBox_Programs->Count();
  for (int i = 0; i < count; ++i) {
    std::string keyName = CatalogLookup(CatalogTable, ListBox_Programs->Item(i), 1);
    // Every row came from the catalogue; a name without a key would address "Software\Trelk"
    // itself, which holds no program's values.
    if (keyName.empty() || static_cast<size_t>(i) >= IntervalList->size() || RowLocked(i)) continue;
    const settings::Reminder action = ApplyActionFor((*IntervalList)[static_cast<size_t>(i)]);
    if (action.kind == settings::Reminder::Standard) continue;
    // A key that did not open fails at the write.
    settings::ProgramKey(HKEY_LOCAL_MACHINE, keyName, settings::ProgramKey::Access::Create).WriteReminder(action);
  }
}

void TForm1::ListBox_ProgramsDrawItem(TComponent*, int index, const RECT& rect, bool selected) {
  if (DrawLock || !IntervalList) return;
  ListBox_ProgramsClick(ListBox_Programs);
  TCanvas& canvas = *ListBox_Programs->Canvas();
  canvas.SetBrushStyle(TCanvas::BrushStyle::Solid);
  canvas.SetPenStyle(TCanvas::PenStyle::Clear);
  canvas.FillRect(rect);
  const std::string name = ListBox_Programs->Item(index);
  const int middle = rect.top + (rect.bottom - rect.top) / 2;
  if (selected) {
    canvas.TextOut(rect.left + 8, rect.top + 2, name);
    // The editor and its button lie over the row just painted.
    ScopedValue locked(DrawLock, true);
    Button_SearchForUpdates->Repaint();
    ComboBox_UpdtInterval->Repaint();
  } else {
    canvas.TextOut(rect.left + 8, middle - canvas.TextHeight(name) / 2, name);
  }
  if (index >= 0 && static_cast<size_t>(index) < IntervalList->size()) {
    const std::string interval = IntervalText((*IntervalList)[static_cast<size_t>(index)]);
    if (RowLocked(index)) {
      // The administrator's value, and who fixed it, right-aligned below it.
      canvas.TextOut(rect.right - 100, rect.top + 4, interval);
      const int width = canvas.TextWidth(kLockedRowText);
      canvas.TextOut(rect.right - 6 - width, rect.bottom - 4 - canvas.TextHeight(kLockedRowText), kLockedRowText);
    } else {
      canvas.TextOut(rect.right - 100, middle - canvas.TextHeight(interval) / 2, interval);
    }
  }
}

void TForm1::ListBox_ProgramsClick(TComponent*) {
  if (!IntervalList) return;
  const int index = ListBox_Programs->ItemIndex();
  const bool any = index >= 0;
  Button_SearchForUpdates->SetVisible(any);
  ComboBox_UpdtInterval->SetVisible(any);
  Button_RestorePrevious->SetVisible(any && HasPreviousVersion(ListBox_Programs->Item(index)));
  if (!any) return;
  // While the user is typing or picking in the editor, a redraw of the list (the drop-down
  // closing over it, say) must not put the stored entry back over the unsaved text; the text is
  // taken when the editor is left.
  const bool locked = RowLocked(index);
  // A row the administrator fixed is shown, not edited; the drawn value stays visible.
  if (ComboBox_UpdtInterval->Enabled() == locked) ComboBox_UpdtInterval->SetEnabled(!locked);
  ComboBox_UpdtInterval->SetVisible(!locked);
  if (!ComboBox_UpdtInterval->Focused() && static_cast<size_t>(index) < IntervalList->size()) {
    const std::string text = IntervalText((*IntervalList)[static_cast<size_t>(index)]);
    if (ComboBox_UpdtInterval->Text() != text) ComboBox_UpdtInterval->SetText(text);
  }
  const RECT r = ListBox_Programs->ItemRect(index);
  const int buttonTop = r.bottom - Button_SearchForUpdates->Height() - 4;
  if (Button_SearchForUpdates->Top() != buttonTop) Button_SearchForUpdates->SetTop(buttonTop);
  Button_SearchForUpdates->Show();
  const int editorTop = r.top + (r.bottom - r.top) / 2 - ComboBox_UpdtInterval->Height() / 2;
  const int editorLeft = r.right - 102;
  if (ComboBox_UpdtInterval->Top() != editorTop || ComboBox_UpdtInterval->Left() != editorLeft)
    SetWindowPos(ComboBox_UpdtInterval->Handle(), nullptr, editorLeft, editorTop, 0, 0,
                 SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TForm1::ComboBox_UpdtIntervalExit(TComponent*) {
  const int index = ListBox_Programs->ItemIndex();
  // Without a selected row there is no entry the text belongs to.
  if (!IntervalList || index < 0 || static_cast<size_t>(index) >= IntervalList->size() || RowLocked(index)) return;
  std::optional<std::string> entry = CommitEntry(ComboBox_UpdtInterval->Text());
  if (entry) (*IntervalList)[static_cast<size_t>(index)] = *entry;
}

void TForm1::ComboBox_UpdtIntervalKeyPress(TComponent* sender, char& key) {
  if (key != '\r') return;
  ComboBox_UpdtIntervalExit(sender);
  ComboBox_UpdtInterval->Hide();
  ListBox_Programs->SetItemIndex(-1);
  ListBox_ProgramsClick(ListBox_Programs);
  key = 0;
}

void TForm1::Button_SetDefaultClick(TComponent*) {
  if (!IntervalList) return;
  const std::string entry = DefaultEntry(SpinEdit_Default->Value());
  int lockedRows = 0;
  for (size_t i = 0; i < IntervalList->size(); ++i) {
    if (RowLocked(static_cast<int>(i))) {
      ++lockedRows;
      continue;
    }
    (*IntervalList)[i] = entry;
  }
  ListBox_Programs->Repaint();
  if (lockedRows) MessageDlg(ForAllLeftAloneText(lockedRows), MB_OK | MB_ICONINFORMATION);
}

void TForm1::Button_PreviousClick(TComponent*) {
  // The look at all programs came from the list's page and goes back to it; not while an update
  // started from it runs.
  if (familyBusy_) return;
  int index = Pages->PageIndex() == 3 ? 1 : Pages->PageIndex() - 1;
  if (index < 0) return;
  Pages->SetPageIndex(index);
  Button_Previous->SetEnabled(index > 0);
  Button_Cancel->SetEnabled(true);
  Button_Next->SetEnabled(true);
  Button_Next->SetText(index == 0 ? "Weiter >" : "Übernehmen");
}

void TForm1::FillProductList() {
  if (!IntervalList) return;
  EnsurePageControls();
  if (ListBox_Programs->Count() > 0) return;
  for (const std::string& name : settings::ProgramKey::Names(HKEY_LOCAL_MACHINE)) {
    std::string display = CatalogLookup(CatalogTable, name, 0);
    if (display.empty()) continue;
    const settings::ProgramKey program(HKEY_LOCAL_MACHINE, name, settings::ProgramKey::Access::Read);
    const bool noUpdate = program.NoUpdate();
    // A value of another type than a 32-bit number is shown as nothing stored: the list stays
    // usable and applying "Standard" leaves the value as it is.
    const std::optional<std::int32_t> interval = noUpdate ? std::nullopt : program.TryInterval();
    const settings::Policy policy = settings::ReadPolicy(name);
    ListBox_Programs->Add(display);
    LockedRows.push_back(policy.FixesReminder());
    IntervalList->push_back(policy.FixesReminder() ? PolicyEntry(policy, noUpdate, program.TryInterval())
                                                   : IntervalEntry(noUpdate, interval.has_value(), interval.value_or(0)));
  }
}

}  // namespace tool
