// TForm1: the settings tool's main window, a three-page wizard over the installed programs.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "engine/TrelkUpdateFile.h"
#include "tool/tool_rules.h"
#include "toolkit/Controls.h"
#include "ui/WinAni.h"
#include "ui/WinXP.h"

namespace settings {
class ProgramKey;
}

namespace tool {

extern const char kAppTitle[];  // "Trelk-Software Ostvane", also the single-instance mutex name

// The tool's working state, one per process.
extern std::vector<CatalogRow> CatalogTable;            // copy of the catalogue, filled in FormCreate
extern std::unique_ptr<std::vector<std::string>> IntervalList;  // one entry per product-list item
// Per product-list item: whether the administrator's policy fixes its reminder (the row shows
// the policy's value, its editor is disabled, and neither "für alle" nor "Übernehmen" touch it).
extern std::vector<bool> LockedRows;
extern bool DrawLock;  // set while the selected row's editor and button repaint: no row is drawn then

// The search for updates now: the program's mark "OnlyUpdate" stays at least this long, and
// beyond that until the started program waits for input (it has then read the mark), at most
// until the limit.
constexpr DWORD kSearchMarkMilliseconds = 2000;
constexpr DWORD kSearchMarkLimit = 60000;
extern const char kKeyNotFoundText[], kKeyNotFoundCaption[];
extern const char kProgramNotFoundText[], kProgramNotFoundCaption[];
extern const char kStartFailedCaption[];
extern const char kRestorePreviousCaption[];  // "Vorherige Version wiederherstellen"

// Returns after at least `milliseconds` (by the system's tick count), dispatching the thread's
// messages meanwhile and sleeping until the next one comes. With `startedProcess`, it goes on
// waiting until that process waits for input or ends, or until `limit` milliseconds passed.
void WaitWithMessages(DWORD milliseconds, HANDLE startedProcess = nullptr, DWORD limit = 0);

// The program file named first in the program's stored start command ("ApplicationFileName");
// empty without one. Throws the registry error for a value of another type.
std::string ProgramFileOf(const settings::ProgramKey& key);
// Starts the program with this key in update-only mode by its stored command line; the mark
// "OnlyUpdate" stays until the program has read it. The started process (the caller closes it),
// or null with the message to show in `text` and `caption`: the key, its command line or its
// program file is missing, or the start failed.
HANDLE StartOnlyUpdate(const std::string& keyName, std::string& text, std::string& caption);
// The system's text for an error code, without its line end.
std::string SystemErrorText(DWORD code);

// The look at all programs: the button on the list's page, the page's title and the message
// caption of a look that found no list.
extern const char kCheckAllCaption[];    // "Alle Programme prüfen"
extern const char kCheckAllTitle[];      // "Alle Programme auf Updates prüfen"
extern const char kInstallUpdateCaption[];  // "Update installieren"

class TForm1 : public toolkit::TForm {
 public:
  explicit TForm1(toolkit::TComponent* owner);

  toolkit::TImage* Image1 = nullptr;
  toolkit::TPageControl* Pages = nullptr;
  toolkit::TBevel* Bevel1 = nullptr;
  toolkit::TBevel* Bevel2 = nullptr;
  toolkit::TButton* Button_Previous = nullptr;
  toolkit::TButton* Button_Next = nullptr;
  toolkit::TButton* Button_Cancel = nullptr;
  ui::TWinXP* WinXP1 = nullptr;
  toolkit::TLabel* Label1 = nullptr;
  toolkit::TImage* Image_Logo = nullptr;
  ui::TWinAni* WinAni1 = nullptr;
  // The second and third page's controls are made at the first step to the list
  // (EnsurePageControls); until then these are null.
  toolkit::TLabel* Label2 = nullptr;
  toolkit::TLabel* Label3 = nullptr;
  toolkit::TButton* Button_SetDefault = nullptr;
  toolkit::TLabel* Label4 = nullptr;
  toolkit::TImage* Image_Icon = nullptr;
  toolkit::TLabel* Label5 = nullptr;
  toolkit::TListBox* ListBox_Programs = nullptr;
  toolkit::TComboBox* ComboBox_UpdtInterval = nullptr;
  toolkit::TSpinEdit* SpinEdit_Default = nullptr;
  toolkit::TLabel* Label6 = nullptr;
  toolkit::TLabel* Label7 = nullptr;
  toolkit::TButton* Button_SearchForUpdates = nullptr;
  toolkit::TButton* Button_RestorePrevious = nullptr;
  // The look at all programs: its button on the list's page, and its page (index 3) with the
  // title, the summary, the list of programs, the selected one's news and its update's start.
  toolkit::TButton* Button_CheckAll = nullptr;
  toolkit::TLabel* Label8 = nullptr;
  toolkit::TLabel* Label9 = nullptr;
  toolkit::TListBox* ListBox_Family = nullptr;
  toolkit::TLabel* Label_News = nullptr;
  toolkit::TButton* Button_InstallUpdate = nullptr;
  std::vector<FamilyRow> FamilyRows;  // one per item of ListBox_Family
  engine::TTrelkUpdateFile* Update = nullptr;  // the tool's own update component

  // The date handed to the tool's own update check: the catalogue library's file time.
  base::TDateTime CatalogFileDate() const { return catalogFileDate_; }

  void FormCreate(toolkit::TComponent* sender);
  void FormShow(toolkit::TComponent* sender);
  void FormDestroy(toolkit::TComponent* sender);
  void FormKeyPress(toolkit::TComponent* sender, char& key);
  void Image_LogoClick(toolkit::TComponent* sender);
  void Button_CancelClick(toolkit::TComponent* sender);
  void Button_NextClick(toolkit::TComponent* sender);
  void Button_PreviousClick(toolkit::TComponent* sender);
  void ListBox_ProgramsDrawItem(toolkit::TComponent* sender, int index, const RECT& rect, bool selected);
  void ListBox_ProgramsClick(toolkit::TComponent* sender);
  void ComboBox_UpdtIntervalExit(toolkit::TComponent* sender);
  void ComboBox_UpdtIntervalKeyPress(toolkit::TComponent* sender, char& key);
  void Button_SetDefaultClick(toolkit::TComponent* sender);
  // Starts the selected program in update-only mode by its stored command line; tells the user
  // when its key, its command line or its program file is missing, or when it cannot start.
  void Button_SearchForUpdatesClick(toolkit::TComponent* sender);
  // "Vorherige Version wiederherstellen": the selected program started to restore the version its
  // last installation replaced; shown only for a program that kept one.
  void Button_RestorePreviousClick(toolkit::TComponent* sender);
  bool HasPreviousVersion(const std::string& programName) const;
  // "Alle Programme prüfen": one fetch of the family's list, judged for every listed program;
  // the result on page index 3, or one message when no list could be read.
  void Button_CheckAllClick(toolkit::TComponent* sender);
  void ListBox_FamilyDrawItem(toolkit::TComponent* sender, int index, const RECT& rect, bool selected);
  void ListBox_FamilyClick(toolkit::TComponent* sender);
  // Starts the selected program's update: unattended where it can run without anybody (its
  // folder writable, nothing skipped or held back), otherwise its wizard; the outcome shows in
  // its row when the program has ended. One at a time.
  void Button_InstallUpdateClick(toolkit::TComponent* sender);
  // Makes the controls of the second and third page unless they exist.
  void EnsurePageControls();
  // Makes the list's page (EnsurePageControls) and fills the list from the registry once.
  void FillProductList();
  // Writes every listed program's entry into its key; the first failing write throws the
  // registry error and leaves the programs after it as they were.
  void ApplySettings();
  // Whether the row `index` is fixed by the administrator.
  static bool RowLocked(int index);

 private:
  // The row shown again after its state changed, and the page's texts with it.
  void ShowFamilyRow(int index);
  base::TDateTime catalogFileDate_ = 0;
  bool familyBusy_ = false;  // a look or an update started from it runs
};

}  // namespace tool
