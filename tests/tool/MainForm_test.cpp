// TForm1 in this process: the product list from seeded keys, page steps and the layout.
#include "tool/MainForm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <aclapi.h>

#include "base/StrUtils.h"
#include "settings/Registry.h"
#include "tests/support/RegistryKeys.h"
#include "toolkit/Application.h"
#include "toolkit/Handles.h"
#include "toolkit/Seams.h"
#include "toolkit/Timer.h"
#include "wizard/TrelkUpdateFile_StatusForm.h"

namespace {

using tool::TForm1;

void SeedKey(const std::string& name) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, ("Software\\Trelk\\" + name).c_str(), &key), ERROR_SUCCESS);
  RegCloseKey(key);
}

// What a program key holds, as "name=type:value" items in name order ("sz:", "dword:").
std::string Values(const std::string& name) { return testsupport::Values(HKEY_LOCAL_MACHINE, name); }

// Takes every right on the key away from everybody (an empty access list).
void LockKey(const std::string& name) {
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, ("Software\\Trelk\\" + name).c_str(), 0, WRITE_DAC, &key), ERROR_SUCCESS);
  ACL acl;
  ASSERT_TRUE(InitializeAcl(&acl, sizeof acl, ACL_REVISION));
  ASSERT_EQ(SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl, nullptr),
            static_cast<DWORD>(ERROR_SUCCESS));
  RegCloseKey(key);
}

// Leaves everybody the right to read the key and nothing else.
void ReadOnlyKey(const std::string& path) {
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, WRITE_DAC, &key), ERROR_SUCCESS);
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
  alignas(8) BYTE buffer[256];
  auto* acl = reinterpret_cast<ACL*>(buffer);
  ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION));
  ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, everyone));
  ASSERT_EQ(SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, acl, nullptr),
            static_cast<DWORD>(ERROR_SUCCESS));
  FreeSid(everyone);
  RegCloseKey(key);
}

void UnlockPath(const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS) return;
  SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
}

// The day number (day 2 is 1 January 1900) of the file's last change in local time, in whole
// seconds rounded down to an even one as a DOS time holds them, worked out here from the
// file's times.
double LocalDosDate(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  FILETIME local;
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  const ULONGLONG ticks = (static_cast<ULONGLONG>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
  const ULONGLONG seconds = ticks / 10000000ULL;
  return static_cast<double>(seconds - seconds % 2) / 86400.0 - 109205.0;
}

void UnlockKey(const std::string& name) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ("Software\\Trelk\\" + name).c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS)
    return;
  SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
}

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Trelk");
    app = std::make_unique<toolkit::TApplication>();
    app->SetTitle(tool::kAppTitle);
  }
  void TearDown() override {
    app.reset();
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Trelk");
  }
  // The tool's own update check runs in FormCreate and records the tool's start in its key
  // "Ostvane". Here a reminder date ahead keeps the wizard closed, and what the start added is
  // taken out again, so that each test sees the keys it seeded (OwnUpdateCheck tests the
  // record itself).
  TForm1* Create() {
    const bool hadKey = testsupport::KeyExists(HKEY_LOCAL_MACHINE, "Ostvane");
    const std::string before = Values("Ostvane");
    testsupport::SeedNothingDue("Ostvane");
    TForm1* form = app->CreateForm<TForm1>();
    settings::TRegistry reg;
    if (!hadKey) {
      RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Trelk\\Ostvane");
    } else if (reg.OpenKey("Software\\Trelk\\Ostvane", false)) {
      for (const char* added : {"ApplicationFileName", "VersionDate", "Update"})
        if (before.find(std::string(added) + "=") == std::string::npos) reg.DeleteValue(added);
    }
    return form;
  }
  std::vector<std::string> Items(TForm1* f) {
    std::vector<std::string> items;
    for (int i = 0; i < f->ListBox_Programs->Count(); ++i) items.push_back(f->ListBox_Programs->Item(i));
    return items;
  }
  std::unique_ptr<toolkit::TApplication> app;
};

TEST_F(MainFormTest, ListShowsInstalledCataloguePrograms) {
  // Wine enumerates subkeys in name order; so does this seed.
  SeedKey("Adressmeister");                     // neither value: standard
  SeedKey("kassenbuch");                        // letter case differs from the catalogue
  SeedKey("Lagerfix");                          // both values: never
  SeedKey("Ostvane");                           // 0 without NoUpdate: the engine takes 7 days
  SeedKey("Rechnungsblick");                    // negative interval: 7 days too
  SeedKey("Unbekannt");                         // not in the catalogue
  SeedKey("Woerterbuch");                       // display name differs from key
  settings::TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("Software\\Trelk\\Lagerfix", false));
  reg.WriteString("NoUpdate", "");
  reg.WriteInteger("UpdateInterval", 14);
  ASSERT_TRUE(reg.OpenKey("Software\\Trelk\\Ostvane", false));
  reg.WriteInteger("UpdateInterval", 0);
  ASSERT_TRUE(reg.OpenKey("Software\\Trelk\\Rechnungsblick", false));
  reg.WriteInteger("UpdateInterval", -3);
  ASSERT_TRUE(reg.OpenKey("Software\\Trelk\\Woerterbuch", false));
  reg.WriteInteger("UpdateInterval", 30);
  reg.WriteString("UpdateResult", "08.12.2026 19:40|failed|Woerterbuch.exe|locked");  // an installation's outcome
  reg.CloseKey();

  TForm1* form = Create();
  form->FillProductList();
  std::vector<std::string> names = {"Adressmeister", "Lagerfix", "Ostvane", "Rechnungsblick", "Wörterbuch"};
  std::vector<std::string> entries = {"Standard (7/28)", "0", "7", "7", "30"};
  EXPECT_EQ(Items(form), names);
  ASSERT_TRUE(tool::IntervalList);
  EXPECT_EQ(*tool::IntervalList, entries);

  // Back on page 0 and forward again: the registry is not read a second time, edits stay.
  (*tool::IntervalList)[0] = "14";
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Trelk");
  form->FillProductList();
  EXPECT_EQ(Items(form), names);
  EXPECT_EQ((*tool::IntervalList)[0], "14");
}

TEST_F(MainFormTest, NoTrelkKeyLeavesTheListEmpty) {
  TForm1* form = Create();
  form->Button_NextClick(form->Button_Next);
  EXPECT_EQ(form->ListBox_Programs->Count(), 0);
  EXPECT_EQ(form->Pages->PageIndex(), 1);
  EXPECT_EQ(form->Button_Next->Text(), "Übernehmen");
  EXPECT_TRUE(form->Button_Previous->Enabled());
  form->Button_PreviousClick(form->Button_Previous);
  EXPECT_EQ(form->Pages->PageIndex(), 0);
  EXPECT_EQ(form->Button_Next->Text(), "Weiter >");
  EXPECT_FALSE(form->Button_Previous->Enabled());
}

// The tool's own update check, the first step of FormCreate: it records the tool's start,
// dates the installed version by Kalvor.dll and may run the wizard before anything of the
// window exists; a registry error is shown and the start-up goes on.
TEST_F(MainFormTest, OwnUpdateCheckComesFirst) {
  const std::string exe = toolkit::ExeName();
  enum Seed { NothingDue, Due, Locked };
  struct Case {
    const char* name;
    Seed seed;
    bool opens;
    const char* error;
  } cases[] = {
      {"nothing due", NothingDue, false, nullptr},
      {"due: the wizard runs before the list exists", Due, true, nullptr},
      {"no rights on the key", Locked, false, "Fehler beim Setzen der Daten für 'ApplicationFileName'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Trelk");
    if (c.seed == NothingDue) testsupport::SeedNothingDue("Ostvane");
    if (c.seed == Locked) {
      SeedKey("Ostvane");
      LockKey("Ostvane");
    }
    std::vector<std::string> shown;
    toolkit::SeamGuard boxes = toolkit::MessageBoxSeam.Replace([&](HWND, const std::string& text, const std::string&, UINT) {
      shown.push_back(text);
      return IDOK;
    });
    bool opened = false, listMade = true, catalogueCopied = true, mainVisible = true;
    double reference = 0;
    toolkit::TTimer timer(nullptr);
    timer.SetInterval(10);
    timer.OnTimer = [&](toolkit::TComponent*) {
      wizard::TStatusForm* w = wizard::StatusForm;
      if (!w || !IsWindowVisible(w->Handle())) return;
      opened = true;
      listMade = tool::IntervalList != nullptr;
      catalogueCopied = !tool::CatalogTable.empty();
      mainVisible = app->MainForm() && IsWindowVisible(app->MainForm()->Handle());
      reference = w->ReferenceDate;
      EXPECT_EQ(w->ProgramName, "Ostvane");
      EXPECT_EQ(w->ZIPFileName, "Brisel.zip");
      EXPECT_EQ(w->RegistryKey, "Ostvane");
      w->SetModalResult(toolkit::TForm::mrCancel);
    };
    tool::IntervalList.reset();
    tool::CatalogTable.clear();
    TForm1* form = app->CreateForm<TForm1>();
    timer.SetEnabled(false);
    UnlockKey("Ostvane");
    EXPECT_EQ(opened, c.opens);
    if (opened) {
      EXPECT_FALSE(listMade || catalogueCopied || mainVisible) << "the wizard runs before the rest of FormCreate";
      EXPECT_EQ(reference, form->CatalogFileDate());
      EXPECT_DOUBLE_EQ(reference, LocalDosDate(base::ExtractFilePath(exe) + "Kalvor.dll"));
    }
    ASSERT_EQ(shown.size(), c.error ? 1u : 0u) << (shown.empty() ? "" : shown[0]);
    if (c.error) EXPECT_EQ(shown[0], c.error);
    // The start-up went on in every case.
    EXPECT_TRUE(tool::IntervalList);
    EXPECT_EQ(tool::CatalogTable.size(), 11u);
    if (c.seed != Locked) {
      EXPECT_EQ(Values("Ostvane").substr(0, 24 + exe.size() + 1), "ApplicationFileName=sz:\"" + exe + "\"");
      // The installed version's date for the look at all programs: the catalogue library's.
      EXPECT_NE(Values("Ostvane").find("VersionDate=date:" + std::to_string(form->CatalogFileDate())), std::string::npos)
          << Values("Ostvane");
      form->Button_NextClick(form->Button_Next);
      EXPECT_EQ(Items(form), std::vector<std::string>{"Ostvane"}) << "the tool lists itself once it has run";
    }
    app.reset();  // the old application object ends before the next one begins
    app = std::make_unique<toolkit::TApplication>();
    app->SetTitle(tool::kAppTitle);
  }
}

TEST_F(MainFormTest, CatalogueIsCopiedAndInRowControlsSitInTheList) {
  TForm1* form = Create();
  ASSERT_EQ(tool::CatalogTable.size(), 11u);
  EXPECT_EQ(tool::CatalogTable[4], tool::CatalogRow("Ostvane", "Ostvane"));
  // The list's page is made at the first step to it.
  EXPECT_EQ(form->ListBox_Programs, nullptr);
  form->Button_NextClick(form->Button_Next);
  ASSERT_NE(form->ListBox_Programs, nullptr);
  EXPECT_TRUE(form->Label3->Font().Bold());
  EXPECT_EQ(GetParent(form->ComboBox_UpdtInterval->Handle()), form->ListBox_Programs->Handle());
  EXPECT_EQ(GetParent(form->Button_SearchForUpdates->Handle()), form->ListBox_Programs->Handle());
  EXPECT_FALSE(form->ComboBox_UpdtInterval->Visible());
  EXPECT_FALSE(form->Button_SearchForUpdates->Visible());
  EXPECT_NE(form->Image_Icon->Icon(), nullptr);
  EXPECT_EQ(form->SpinEdit_Default->Value(), 7);
  ASSERT_EQ(form->ComboBox_UpdtInterval->Count(), 10);
  EXPECT_EQ(form->ComboBox_UpdtInterval->Item(0), "niemals");
  EXPECT_EQ(form->ComboBox_UpdtInterval->Item(8), "14 Tage");
  // The catalogue's date is the file time of Kalvor.dll beside the program, in DOS steps.
  char exe[MAX_PATH];
  std::string path(exe, GetModuleFileNameA(nullptr, exe, MAX_PATH));
  const double expected = LocalDosDate(path.substr(0, path.find_last_of('\\') + 1) + "Kalvor.dll");
  EXPECT_DOUBLE_EQ(form->CatalogFileDate(), expected);
  EXPECT_GT(expected, 40000.0);
}

TEST_F(MainFormTest, EveryControlLiesInsideItsParent) {
  TForm1* form = Create();
  form->EnsurePageControls();
  for (int i = 0; i < form->ComponentCount(); ++i) {
    auto* c = dynamic_cast<toolkit::TControl*>(form->Component(i));
    if (!c || !c->Parent() || c == form->ComboBox_UpdtInterval || c == form->Button_SearchForUpdates) continue;
    RECT parent;
    GetClientRect(c->Parent()->Handle(), &parent);
    RECT r = c->BoundsRect();
    EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= parent.right && r.bottom <= parent.bottom) << c->Name();
  }
  RECT client;
  GetClientRect(form->Handle(), &client);
  EXPECT_EQ(client.right, 601);
  EXPECT_EQ(client.bottom, 400);
}

// Picks row `row`, types `text` into the in-row editor and leaves it, the way the form sees it.
void EditRow(TForm1* form, int row, const std::string& text) {
  form->ListBox_Programs->SetItemIndex(row);
  form->ListBox_ProgramsClick(form->ListBox_Programs);
  form->ComboBox_UpdtInterval->SetText(text);
  form->ComboBox_UpdtIntervalExit(form->ComboBox_UpdtInterval);
}

TEST_F(MainFormTest, ApplyWritesEveryListedProgramByItsEntry) {
  struct Program {
    const char* key;
    const char* seed;      // "" none; "n" NoUpdate "x"; "i<n>" UpdateInterval n; "s" UpdateInterval as text
    const char* typed;     // nullptr: untouched
    const char* expected;  // the key's values after the apply step
  } programs[] = {
      {"Adressmeister", "s", nullptr, "UpdateInterval=sz:14"},  // standard: left as it was
      {"Fotoschachtel", "", "-3", ""},  // a negative number of days is not taken
      {"Haushaltsplan", "i0", nullptr, "UpdateInterval=dword:7"},  // untouched 0: still every 7 days
      {"Kassenbuch", "i14", "niemals", "NoUpdate=sz:"},
      {"Lagerfix", "n", "14 Tage", "UpdateInterval=dword:14"},
      {"Notizkasten", "n", "0", "NoUpdate=sz:x"},  // an existing NoUpdate is not rewritten
      {"Ostvane", "i-3", "+0", "NoUpdate=sz:"},  // zero in any spelling means never
      {"Rechnungsblick", "i30", "+5", "UpdateInterval=dword:5"},
      {"Terminwerk", "i2", "Standard (7/28)", "UpdateInterval=dword:28"},
      {"Unbekannt", "i9", nullptr, "UpdateInterval=dword:9"},  // not in the catalogue: not listed
      {"Vereinskasse", "i3", "abc", "UpdateInterval=dword:3"},  // not taken: rewritten unchanged
      {"Woerterbuch", "", "007", "UpdateInterval=dword:7"},
  };
  for (const Program& p : programs) {
    SeedKey(p.key);
    settings::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(std::string("Software\\Trelk\\") + p.key, false));
    std::string seed = p.seed;
    if (seed == "n") reg.WriteString("NoUpdate", "x");
    if (seed == "s") reg.WriteString("UpdateInterval", "14");
    if (!seed.empty() && seed[0] == 'i') reg.WriteInteger("UpdateInterval", std::stoi(seed.substr(1)));
  }
  TForm1* form = Create();
  form->Button_NextClick(form->Button_Next);
  ASSERT_EQ(form->ListBox_Programs->Count(), 11);
  int row = 0;
  for (const Program& p : programs) {
    if (std::string(p.key) == "Unbekannt") continue;
    if (p.typed) EditRow(form, row, p.typed);
    ++row;
  }
  form->Button_NextClick(form->Button_Next);
  for (const Program& p : programs) EXPECT_EQ(Values(p.key), p.expected) << p.key;
  EXPECT_EQ(form->Pages->PageIndex(), 2);
  EXPECT_EQ(form->Button_Next->Text(), "Schließen");
  EXPECT_FALSE(form->Button_Cancel->Enabled());
  EXPECT_TRUE(form->Button_Previous->Enabled());

  // Back to the list: it can be edited and applied again.
  form->Button_PreviousClick(form->Button_Previous);
  EXPECT_EQ(form->Pages->PageIndex(), 1);
  EXPECT_EQ(form->Button_Next->Text(), "Übernehmen");
  EXPECT_TRUE(form->Button_Cancel->Enabled());
  EXPECT_TRUE(form->Button_Previous->Enabled());
  EditRow(form, 3, "1 Tag");  // Kassenbuch
  form->Button_NextClick(form->Button_Next);
  EXPECT_EQ(Values("Kassenbuch"), "UpdateInterval=dword:1");
}

// Rows the administrator's policy fixes: the policy's value, the mark painted below it, no
// editor; "für alle" and "Übernehmen" leave them alone, and the first says so. An ignored value
// is named once at the start.
TEST_F(MainFormTest, RowsFixedByThePolicyAreShownAndLeftAlone) {
  std::vector<std::string> boxes;
  toolkit::SeamGuard guard = toolkit::MessageBoxSeam.Replace([&](HWND, const std::string& text, const std::string&, UINT) {
    boxes.push_back(text);
    return IDOK;
  });
  struct Program {
    const char* key;
    const char* seed;    // "" none; "n" NoUpdate "x"; "i<n>" UpdateInterval n
    const char* policy;  // the program's policy value "name type data"; "" none
    const char* row;     // the row's text
    const char* after;   // the key's values after "für alle" (5) and "Übernehmen"
  } programs[] = {
      {"Adressmeister", "i14", "", "14 Tage", "UpdateInterval=dword:5"},
      {"Kassenbuch", "i3", "DisableUpdates REG_DWORD 1", "niemals", "UpdateInterval=dword:3"},
      {"Notizkasten", "n", "UpdateInterval REG_DWORD 30", "30 Tage", "NoUpdate=sz:x"},
      {"Terminwerk", "", "UpdateInterval REG_DWORD 400", "Standard (7/28)", "UpdateInterval=dword:5"},
  };
  testsupport::DeletePolicies();
  ASSERT_TRUE(testsupport::PolicyAdd("", "MaxUpdateInterval", "REG_SZ", "x"));
  for (const Program& p : programs) {
    SeedKey(p.key);
    settings::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(std::string("Software\\Trelk\\") + p.key, false));
    const std::string seed = p.seed;
    if (seed == "n") reg.WriteString("NoUpdate", "x");
    if (!seed.empty() && seed[0] == 'i') reg.WriteInteger("UpdateInterval", std::stoi(seed.substr(1)));
    std::string policy = p.policy;
    if (policy.empty()) continue;
    const size_t a = policy.find(' '), b = policy.find(' ', a + 1);
    ASSERT_TRUE(testsupport::PolicyAdd(p.key, policy.substr(0, a), policy.substr(a + 1, b - a - 1), policy.substr(b + 1)));
  }
  TForm1* form = Create();
  form->ShowForm();
  EXPECT_EQ(boxes, std::vector<std::string>{tool::IgnoredPoliciesText(
                       {"HKLM\\Software\\Policies\\Trelk-Software\\Update\\MaxUpdateInterval",
                        "HKLM\\Software\\Policies\\Trelk-Software\\Update\\Terminwerk\\UpdateInterval"})});
  boxes.clear();
  form->Button_NextClick(form->Button_Next);
  auto* list = form->ListBox_Programs;
  ASSERT_EQ(list->Count(), 4);
  HDC dc = GetDC(list->Handle());
  const COLORREF window = GetSysColor(COLOR_WINDOW);
  for (int i = 0; i < 4; ++i) {
    const bool locked = std::string(programs[i].policy).find("REG_DWORD 400") == std::string::npos && *programs[i].policy;
    SCOPED_TRACE(programs[i].key);
    EXPECT_EQ(tool::IntervalText((*tool::IntervalList)[i]), programs[i].row);
    // Selected: the editor only for a row the user may change.
    list->SetItemIndex(i);
    form->ListBox_ProgramsClick(list);
    EXPECT_EQ(form->ComboBox_UpdtInterval->Visible(), !locked);
    EXPECT_EQ(form->ComboBox_UpdtInterval->Enabled(), !locked);
    // Not selected: the mark, right-aligned in the row's lower part, is painted on a fixed row only.
    list->SetItemIndex(-1);
    form->ListBox_ProgramsClick(list);
    list->Repaint();
    const RECT r = list->ItemRect(i);
    bool inked = false;
    for (int y = r.bottom - 14; y < r.bottom - 3; ++y)
      for (int x = r.right - 150; x < r.right - 104; ++x) inked = inked || GetPixel(dc, x, y) != window;
    EXPECT_EQ(inked, locked);
  }
  ReleaseDC(list->Handle(), dc);
  form->SpinEdit_Default->SetText("5");
  form->Button_SetDefaultClick(form->Button_SetDefault);
  EXPECT_EQ(boxes, std::vector<std::string>{tool::ForAllLeftAloneText(2)});
  EditRow(form, 2, "1 Tag");  // not taken on a fixed row
  form->Button_NextClick(form->Button_Next);
  for (const Program& p : programs) EXPECT_EQ(Values(p.key), p.after) << p.key;
  testsupport::DeletePolicies();
}

TEST_F(MainFormTest, EmptyListAppliesNothingAndStillSucceeds) {
  TForm1* form = Create();
  form->Button_NextClick(form->Button_Next);
  form->Button_NextClick(form->Button_Next);
  EXPECT_EQ(form->Pages->PageIndex(), 2);
  EXPECT_EQ(form->Button_Next->Text(), "Schließen");
}

TEST_F(MainFormTest, FailingWriteStopsAtThatProgramAndStaysOnTheList) {
  for (const char* key : {"Adressmeister", "Kassenbuch", "Lagerfix"}) SeedKey(key);
  TForm1* form = Create();
  form->Button_NextClick(form->Button_Next);
  ASSERT_EQ(form->ListBox_Programs->Count(), 3);
  form->SpinEdit_Default->SetValue(21);
  form->Button_SetDefaultClick(form->Button_SetDefault);
  LockKey("Kassenbuch");

  std::vector<std::string> shown;
  auto answer = toolkit::MessageBoxSeam.Replace([&](HWND, const std::string& text, const std::string& caption, UINT) {
    shown.push_back(caption + "|" + text);
    return IDOK;
  });
  form->ShowForm();
  // A real click, so that the error takes the way every handler's error takes.
  SendMessageA(form->Button_Next->Handle(), BM_CLICK, 0, 0);
  answer.Restore();
  UnlockKey("Kassenbuch");

  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "Trelk-Software Ostvane|Fehler beim Setzen der Daten für 'UpdateInterval'");
  EXPECT_EQ(Values("Adressmeister"), "UpdateInterval=dword:21");
  EXPECT_EQ(Values("Kassenbuch"), "");
  EXPECT_EQ(Values("Lagerfix"), "");
  EXPECT_EQ(form->Pages->PageIndex(), 1);
  EXPECT_EQ(form->Button_Next->Text(), "Übernehmen");
  EXPECT_TRUE(form->Button_Cancel->Enabled());

  // With the rights back the same step goes through.
  SendMessageA(form->Button_Next->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(Values("Kassenbuch"), "UpdateInterval=dword:21");
  EXPECT_EQ(Values("Lagerfix"), "UpdateInterval=dword:21");
  EXPECT_EQ(form->Pages->PageIndex(), 2);
}

// A user who may read HKEY_LOCAL_MACHINE but not write it sees the list; applying then reports
// the registry error.
TEST_F(MainFormTest, ReadOnlyKeysAreListedAndApplyingReportsTheError) {
  SeedKey("Adressmeister");
  SeedKey("Kassenbuch");
  settings::TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("Software\\Trelk\\Kassenbuch", false));
  reg.WriteInteger("UpdateInterval", 5);
  reg.CloseKey();
  const char* paths[] = {"Software\\Trelk\\Adressmeister", "Software\\Trelk\\Kassenbuch", "Software\\Trelk"};
  for (const char* path : paths) ReadOnlyKey(path);
  std::vector<std::string> shown;
  auto answer = toolkit::MessageBoxSeam.Replace([&](HWND, const std::string& text, const std::string& caption, UINT) {
    shown.push_back(caption + "|" + text);
    return IDOK;
  });
  TForm1* form = Create();
  form->Button_NextClick(form->Button_Next);
  EXPECT_EQ(Items(form), (std::vector<std::string>{"Adressmeister", "Kassenbuch"}));
  EXPECT_EQ(*tool::IntervalList, (std::vector<std::string>{"Standard (7/28)", "5"}));
  form->ShowForm();
  SendMessageA(form->Button_Next->Handle(), BM_CLICK, 0, 0);
  for (const char* path : paths) UnlockPath(path);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "Trelk-Software Ostvane|Fehler beim Setzen der Daten für 'UpdateInterval'");
  EXPECT_EQ(form->Pages->PageIndex(), 1);
  EXPECT_EQ(Values("Kassenbuch"), "UpdateInterval=dword:5");
}

TEST_F(MainFormTest, ForAllTakesTheSpinValue) {
  for (const char* key : {"Adressmeister", "Kassenbuch"}) SeedKey(key);
  TForm1* form = Create();
  form->Button_NextClick(form->Button_Next);
  struct Case {
    const char* spinText;
    const char* entry;
  } cases[] = {{"0", "0"}, {"30", "30"}, {"abc", "0"}, {"2000000", "1048575"}, {"-4", "0"}, {"$10", "0"}, {"0x10", "0"}, {"+12", "12"}};
  for (const Case& c : cases) {
    form->SpinEdit_Default->SetText(c.spinText);
    form->Button_SetDefaultClick(form->Button_SetDefault);
    EXPECT_EQ(*tool::IntervalList, std::vector<std::string>(2, c.entry)) << c.spinText;
  }
}

TEST_F(MainFormTest, EditorFollowsTheSelectedRow) {
  for (const char* key : {"Adressmeister", "Kassenbuch", "Lagerfix", "Ostvane", "Terminwerk"}) SeedKey(key);
  settings::TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("Software\\Trelk\\Lagerfix", false));
  reg.WriteInteger("UpdateInterval", 1);
  // Lagerfix kept its previous version; Adressmeister's installation has not told its outcome.
  reg.WriteString("PreviousVersion", "ok|46000|");
  reg.CloseKey();
  ASSERT_TRUE(reg.OpenKey("Software\\Trelk\\Adressmeister", false));
  reg.WriteString("PreviousVersion", "pending|46000|");
  reg.CloseKey();
  TForm1* form = Create();
  form->ShowForm();
  form->Button_NextClick(form->Button_Next);
  auto* list = form->ListBox_Programs;
  auto* editor = form->ComboBox_UpdtInterval;
  auto* button = form->Button_SearchForUpdates;
  for (int row : {0, 2, 1}) {
    list->SetItemIndex(row);
    form->ListBox_ProgramsClick(list);
    RECT r = list->ItemRect(row);
    EXPECT_TRUE(editor->Visible());
    EXPECT_TRUE(button->Visible());
    EXPECT_EQ(IsWindowVisible(form->Button_RestorePrevious->Handle()) != 0, row == 2) << row;
    EXPECT_EQ(editor->Left(), r.right - 102) << row;
    EXPECT_EQ(editor->Top(), r.top + (r.bottom - r.top) / 2 - editor->Height() / 2) << row;
    EXPECT_EQ(button->Left(), 2);
    EXPECT_EQ(button->Top(), r.bottom - 17 - 4) << row;
    EXPECT_EQ(button->Width(), 153);
    EXPECT_EQ(button->Height(), 17);
    EXPECT_EQ(editor->Text(), row == 2 ? "1 Tag" : "Standard (7/28)") << row;
  }
  EXPECT_EQ(list->ItemRect(1).bottom - list->ItemRect(1).top, 40);

  // A rejected text stays in the field until the row is placed again, then the entry shows.
  editor->SetText("5x");
  form->ComboBox_UpdtIntervalExit(editor);
  EXPECT_EQ((*tool::IntervalList)[1], "Standard (7/28)");
  form->ListBox_ProgramsClick(list);
  EXPECT_EQ(editor->Text(), "Standard (7/28)");

  // Enter in the editor: taken, editor and button gone, no row selected, still on the list.
  editor->SetFocus();
  editor->SetText("14 Tage");
  SendMessageA(editor->EditHandle(), WM_CHAR, '\r', 0);
  EXPECT_EQ((*tool::IntervalList)[1], "14");
  EXPECT_FALSE(editor->Visible());
  EXPECT_FALSE(button->Visible());
  EXPECT_EQ(list->ItemIndex(), -1);
  EXPECT_EQ(form->Pages->PageIndex(), 1);

  // Enter on the list is the step of the wizard's button: the apply step.
  list->SetFocus();
  SendMessageA(list->Handle(), WM_CHAR, '\r', 0);
  EXPECT_EQ(form->Pages->PageIndex(), 2);
  EXPECT_EQ(Values("Kassenbuch"), "UpdateInterval=dword:14");
}

// The rows as painted on the screen: colours of the selected row, text where the row puts it.
TEST_F(MainFormTest, RowsArePaintedWithNameAndIntervalText) {
  for (const char* key : {"Adressmeister", "Kassenbuch"}) SeedKey(key);
  TForm1* form = Create();
  form->ShowForm();
  form->Button_NextClick(form->Button_Next);
  auto* list = form->ListBox_Programs;
  list->SetItemIndex(0);
  form->ListBox_ProgramsClick(list);
  list->Repaint();
  RECT selected = list->ItemRect(0), other = list->ItemRect(1);
  HDC dc = GetDC(list->Handle());
  const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT), window = GetSysColor(COLOR_WINDOW);
  EXPECT_EQ(GetPixel(dc, selected.left + 2, selected.top + 1), highlight);
  EXPECT_EQ(GetPixel(dc, other.left + 2, other.top + 1), window);
  // Ink in a band: some pixel in the rectangle differs from the row's background.
  auto inked = [&](int left, int top, int right, int bottom, COLORREF background) {
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x)
        if (GetPixel(dc, x, y) != background) return true;
    return false;
  };
  const int middle = other.top + 20;
  EXPECT_TRUE(inked(other.left + 8, middle - 4, other.left + 40, middle + 4, window));     // name, centred
  EXPECT_FALSE(inked(other.left, other.top, other.left + 7, other.bottom, window));         // no icon
  EXPECT_TRUE(inked(other.right - 100, middle - 4, other.right - 60, middle + 4, window));  // interval text
  EXPECT_FALSE(inked(other.left + 8, other.top, other.right, other.top + 8, window));
  EXPECT_TRUE(inked(selected.left + 8, selected.top + 2, selected.left + 40, selected.top + 12, highlight));
  ReleaseDC(list->Handle(), dc);
}

// ---- The search for updates now --------------------------------------------------------------

std::string Folder(const std::string& path) { return path.substr(0, path.find_last_of('\\') + 1); }

std::string TestBinFolder() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return Folder(path);
}

std::string TempFolder() {
  char path[MAX_PATH];
  GetTempPathA(MAX_PATH, path);
  return path;
}

std::string ReadFile(const std::string& path) {
  std::string text;
  if (FILE* f = fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    fclose(f);
  }
  return text;
}

void WriteString(const std::string& key, const std::string& name, const std::string& value) {
  settings::TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("Software\\Trelk\\" + key, true));
  reg.WriteString(name, value);
}

class SearchNowTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    guard = toolkit::MessageBoxSeam.Replace([this](HWND, const std::string& text, const std::string& caption, UINT flags) {
      boxes.push_back(caption + " | " + text);
      EXPECT_EQ(flags, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
      return IDOK;
    });
  }
  // The list as page 1 shows it, with the row of `display` selected as a click leaves it.
  TForm1* ListAndSelect(const std::string& display) {
    TForm1* form = Create();
    form->Button_NextClick(form->Button_Next);
    for (int i = 0; i < form->ListBox_Programs->Count(); ++i) {
      if (form->ListBox_Programs->Item(i) != display) continue;
      form->ListBox_Programs->SetItemIndex(i);
      form->ListBox_ProgramsClick(form->ListBox_Programs);
    }
    EXPECT_TRUE(form->Button_SearchForUpdates->Visible());
    return form;
  }
  toolkit::SeamGuard guard;
  std::vector<std::string> boxes;
};

TEST_F(SearchNowTest, MissingPiecesAreToldAndTheKeyStaysAsItWas) {
  const std::string keyMessage = std::string(tool::kKeyNotFoundCaption) + " | " + tool::kKeyNotFoundText;
  const std::string fileMessage = std::string(tool::kProgramNotFoundCaption) + " | " + tool::kProgramNotFoundText;
  const std::string textFile = TempFolder() + "keinprogramm.txt";
  { FILE* f = fopen(textFile.c_str(), "wb"); fputs("kein Programm", f); fclose(f); }
  struct Case {
    const char* key;
    const char* command;  // nullptr: no "ApplicationFileName"
    bool staleMark;       // an "OnlyUpdate" left behind by someone
    bool removeKey;       // the key goes after the list was read
    std::string message;
    std::string after;    // the key's values afterwards
  } cases[] = {
      {"Adressmeister", nullptr, false, true, keyMessage, "<no key>"},
      {"Kassenbuch", nullptr, false, false, fileMessage, "UpdateInterval=dword:14"},
      {"Lagerfix", "\"C:\\nirgends\\Lagerfix.exe\" /x", true, false, fileMessage,
       "ApplicationFileName=sz:\"C:\\nirgends\\Lagerfix.exe\" /x UpdateInterval=dword:14"},
      {"Terminwerk", "\"C:\\windows\"", false, false, fileMessage, "ApplicationFileName=sz:\"C:\\windows\" UpdateInterval=dword:14"},
      {"Vereinskasse", "", true, false, fileMessage, "ApplicationFileName=sz: UpdateInterval=dword:14"},
      {"Haushaltsplan", "   ", false, false, fileMessage, "ApplicationFileName=sz:    UpdateInterval=dword:14"},
  };
  for (const Case& c : cases) {
    SeedKey(c.key);
    settings::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(std::string("Software\\Trelk\\") + c.key, false));
    reg.WriteInteger("UpdateInterval", 14);
    if (c.command) reg.WriteString("ApplicationFileName", c.command);
    if (c.staleMark) reg.WriteString("OnlyUpdate", "");
  }
  for (const Case& c : cases) {
    boxes.clear();
    TForm1* form = ListAndSelect(c.key);
    if (c.removeKey) RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string("Software\\Trelk\\") + c.key).c_str());
    form->Button_SearchForUpdatesClick(form->Button_SearchForUpdates);
    ASSERT_EQ(boxes.size(), 1u) << c.key;
    EXPECT_EQ(boxes[0], c.message) << c.key;
    EXPECT_EQ(Values(c.key), c.after) << c.key;
    delete form;
  }

  // A file that is no program: the start fails and the user reads the system's reason.
  SeedKey("Fotoschachtel");
  WriteString("Fotoschachtel", "ApplicationFileName", "\"" + textFile + "\" /a");
  boxes.clear();
  TForm1* form = ListAndSelect("Fotoschachtel");
  form->Button_SearchForUpdatesClick(form->Button_SearchForUpdates);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind(std::string(tool::kStartFailedCaption) + " | Das Programm konnte nicht gestartet werden:\r\n\"" +
                               textFile + "\" /a\r\n\r\n", 0), 0u) << boxes[0];
  EXPECT_GT(boxes[0].size(), std::string(tool::kStartFailedCaption).size() + textFile.size() + 60) << boxes[0];
  EXPECT_EQ(Values("Fotoschachtel"), "ApplicationFileName=sz:\"" + textFile + "\" /a");
  DeleteFileA(textFile.c_str());
}

// The started program sees the mark whether it reaches its start quickly or slowly, gets its
// parameters, and the tool handles its messages meanwhile.
TEST_F(SearchNowTest, StartsTheProgramWithItsParametersAndHoldsTheMarkUntilItIsUp) {
  const std::string folder = TempFolder() + "Mein Programm\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string program = folder + "Start Probe.exe";
  ASSERT_TRUE(CopyFileA((TestBinFolder() + "startprobe.exe").c_str(), program.c_str(), FALSE));
  for (int delay : {0, 4000}) {
    const std::string out = folder + "gestartet" + std::to_string(delay) + ".txt";
    DeleteFileA(out.c_str());
    const std::string command = "\"" + program + "\" \"" + out + "\" Kassenbuch " + std::to_string(delay) + " /zweiter Parameter";
    SeedKey("Kassenbuch");
    WriteString("Kassenbuch", "ApplicationFileName", command);
    boxes.clear();
    TForm1* form = ListAndSelect("Kassenbuch");
    int ticks = 0;
    toolkit::TTimer timer(nullptr);
    timer.SetInterval(100);
    timer.OnTimer = [&](toolkit::TComponent*) { ++ticks; };
    form->Button_SearchForUpdatesClick(form->Button_SearchForUpdates);
    timer.SetEnabled(false);
    EXPECT_TRUE(boxes.empty()) << boxes[0];
    EXPECT_GE(ticks, 5) << "the tool's messages were not handled while it waited";
    EXPECT_EQ(Values("Kassenbuch"), "ApplicationFileName=sz:" + command);  // the mark is gone again
    EXPECT_EQ(ReadFile(out), command + "\nOnlyUpdate=yes\n") << "delay " << delay;
    delete form;
  }
}

// Visible top-level windows of class `cls` that belong to another process.
std::vector<HWND> ForeignWindows(const char* cls) {
  struct Search {
    const char* cls;
    std::vector<HWND> found;
  } search{cls, {}};
  EnumWindows(
      [](HWND h, LPARAM p) CALLBACK -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        char name[64] = "";
        GetClassNameA(h, name, sizeof name);
        if (pid != GetCurrentProcessId() && IsWindowVisible(h) && std::string(name) == s->cls) s->found.push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The real programs of the family started from their rows: the example program and the tool
// itself run their update wizard at once, without their main window, and end after it.
TEST_F(SearchNowTest, TheStartedProgramRunsOnlyItsWizard) {
  struct Case {
    const char* key;
    const char* exe;
    const char* mainClass;
  } cases[] = {{"Notizkasten", "Notizkasten.exe", "TNotizkastenForm"}, {"Ostvane", "Brisel.exe", "TForm1"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    SeedKey(c.key);
    const std::string command = "\"" + TestBinFolder() + c.exe + "\"";
    WriteString(c.key, "NoUpdate", "");  // a search now runs whatever the reminder says
    TForm1* form = ListAndSelect(c.key);
    // After the form's own update check, which records this test program's command line in the
    // tool's own key.
    WriteString(c.key, "ApplicationFileName", command);
    bool mainSeen = false;
    toolkit::TTimer timer(nullptr);
    timer.SetInterval(50);
    timer.OnTimer = [&](toolkit::TComponent*) {
      if (!ForeignWindows(c.mainClass).empty()) mainSeen = true;
    };
    form->Button_SearchForUpdatesClick(form->Button_SearchForUpdates);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(Values(c.key).find("OnlyUpdate"), std::string::npos) << "the mark is gone after the search";
    HWND wizard = nullptr;
    for (int i = 0; i < 400 && !wizard; ++i) {
      std::vector<HWND> found = ForeignWindows("TStatusForm");
      if (!found.empty()) wizard = found.front();
      else Sleep(25);
    }
    ASSERT_NE(wizard, nullptr) << "the started program shows its wizard";
    DWORD pid = 0;
    GetWindowThreadProcessId(wizard, &pid);
    toolkit::ScopedHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid));
    // "Abbrechen" on the welcome page ends the update-only start.
    struct Find {
      HWND found = nullptr;
    } find;
    EnumChildWindows(
        wizard,
        [](HWND h, LPARAM p) CALLBACK -> BOOL {
          char text[64] = "";
          GetWindowTextA(h, text, sizeof text);
          if (std::string(text) == "Abbrechen" && IsWindowVisible(h) && IsWindowEnabled(h)) {
            reinterpret_cast<Find*>(p)->found = h;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&find));
    ASSERT_NE(find.found, nullptr);
    PostMessageA(find.found, BM_CLICK, 0, 0);
    DWORD waited = WAIT_TIMEOUT;
    for (int i = 0; i < 400 && waited == WAIT_TIMEOUT; ++i) {
      if (!ForeignWindows(c.mainClass).empty()) mainSeen = true;
      waited = WaitForSingleObject(process.get(), 25);
    }
    EXPECT_EQ(waited, WAIT_OBJECT_0) << "the started program ends after its wizard";
    EXPECT_FALSE(mainSeen) << "its main window never shows";
    delete form;
  }
}

// "Vorherige Version wiederherstellen" starts the program itself with the restore (not with the
// parameters of its last start): the kept file comes back through the batch, whose outcome
// waits for the next start, and the row no longer offers the restore.
TEST_F(SearchNowTest, RestoreStartsTheProgramWhichPutsTheKeptFilesBack) {
  const std::string folder = TempFolder() + "Alte Fassung \xC4\\";
  const std::string file = "Liesmich \xFC.txt";
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA((folder + "Trelk-Vorher").c_str(), nullptr);
  ASSERT_TRUE(CopyFileA((TestBinFolder() + "Notizkasten.exe").c_str(), (folder + "Notizkasten.exe").c_str(), FALSE));
  auto Write = [](const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  };
  Write(folder + file, "Version 2.0\r\n");
  Write(folder + "Trelk-Vorher\\" + file, "Version 1.0\r\n");
  Write(folder + "Trelk-Vorher\\Trelk-Vorher.txt",
        "K bb5656b08a243797c9cb708f70aa4014678b33e9e055b340dec22e61b8ad2b4d " + file + "\r\n");
  SeedKey("Notizkasten");
  WriteString("Notizkasten", "PreviousVersion", "ok|46000|");
  TForm1* form = ListAndSelect("Notizkasten");
  WriteString("Notizkasten", "ApplicationFileName", "\"" + folder + "Notizkasten.exe\" /x");
  EXPECT_TRUE(form->Button_RestorePrevious->Visible());
  form->Button_RestorePreviousClick(form->Button_RestorePrevious);
  EXPECT_TRUE(boxes.empty());
  bool recorded = false;
  for (int i = 0; i < 300 && !recorded; ++i) {
    recorded = Values("Notizkasten").find("UpdateResult=sz:") != std::string::npos;
    if (!recorded) Sleep(100);
  }
  // What the restore records is the road's own test; here: it ran, from this row.
  EXPECT_TRUE(recorded) << Values("Notizkasten");
  EXPECT_EQ(ReadFile(folder + file), "Version 1.0\r\n");
  form->ListBox_ProgramsClick(form->ListBox_Programs);
  EXPECT_FALSE(form->Button_RestorePrevious->Visible());
  delete form;
  // The batch starts the program once more to clear its folder; it ends by itself.
  for (int i = 0; i < 100 && !DeleteFileA((folder + "Notizkasten.exe").c_str()); ++i) Sleep(100);
  for (const std::string& name : {folder + "Trelk-Vorher\\" + file, folder + "Trelk-Vorher\\Trelk-Vorher.txt", folder + file})
    DeleteFileA(name.c_str());
  RemoveDirectoryA((folder + "Trelk-Vorher").c_str());
  EXPECT_TRUE(RemoveDirectoryA(folder.c_str()));
}

}  // namespace
