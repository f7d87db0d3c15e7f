// TForm1 in this process: the product list from seeded keys, page steps and the layout.
#include "tool/MainForm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <aclapi.h>

#include "engine/Registry.h"
#include "toolkit/Application.h"
#include "toolkit/Seams.h"

namespace {

using tool::TForm1;

void SeedKey(const std::string& name) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, ("Software\\Trelk\\" + name).c_str(), &key), ERROR_SUCCESS);
  RegCloseKey(key);
}

// What a program key holds, as "name=type:value" lines in name order ("sz:", "dword:").
std::string Values(const std::string& name) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ("Software\\Trelk\\" + name).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return "<no key>";
  std::vector<std::string> lines;
  for (DWORD i = 0;; ++i) {
    char valueName[256];
    DWORD nameLength = sizeof valueName, type = 0;
    BYTE data[256];
    DWORD size = sizeof data;
    if (RegEnumValueA(key, i, valueName, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    std::string line = std::string(valueName, nameLength) + "=";
    if (type == REG_DWORD && size == 4) {
      int32_t v;
      memcpy(&v, data, 4);
      line += "dword:" + std::to_string(v);
    } else if (type == REG_SZ) {
      line += "sz:" + std::string(reinterpret_cast<char*>(data), size ? strnlen(reinterpret_cast<char*>(data), size) : 0);
    } else {
      line += "type" + std::to_string(type);
    }
    lines.push_back(line);
  }
  RegCloseKey(key);
  std::sort(lines.begin(), lines.end());
  std::string all;
  for (const auto& l : lines) all += (all.empty() ? "" : " ") + l;
  return all;
}

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
  TForm1* Create() { return app->CreateForm<TForm1>(); }
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
  engine::TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("Software\\Trelk\\Lagerfix", false));
  reg.WriteString("NoUpdate", "");
  reg.WriteInteger("UpdateInterval", 14);
  ASSERT_TRUE(reg.OpenKey("Software\\Trelk\\Ostvane", false));
  reg.WriteInteger("UpdateInterval", 0);
  ASSERT_TRUE(reg.OpenKey("Software\\Trelk\\Rechnungsblick", false));
  reg.WriteInteger("UpdateInterval", -3);
  ASSERT_TRUE(reg.OpenKey("Software\\Trelk\\Woerterbuch", false));
  reg.WriteInteger("UpdateInterval", 30);
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

TEST_F(MainFormTest, CatalogueIsCopiedAndInRowControlsSitInTheList) {
  TForm1* form = Create();
  ASSERT_EQ(tool::CatalogTable.size(), 11u);
  EXPECT_EQ(tool::CatalogTable[4], tool::CatalogRow("Ostvane", "Ostvane"));
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
  auto expected = tool::FileDateTime(path.substr(0, path.find_last_of('\\') + 1) + "Kalvor.dll");
  ASSERT_TRUE(expected);
  EXPECT_EQ(form->CatalogFileDate(), *expected);
  EXPECT_GT(*expected, 40000.0);
}

TEST_F(MainFormTest, EveryControlLiesInsideItsParent) {
  TForm1* form = Create();
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
    engine::TRegistry reg;
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

TEST_F(MainFormTest, ForAllTakesTheSpinValue) {
  for (const char* key : {"Adressmeister", "Kassenbuch"}) SeedKey(key);
  TForm1* form = Create();
  form->Button_NextClick(form->Button_Next);
  struct Case {
    const char* spinText;
    const char* entry;
  } cases[] = {{"0", "0"}, {"30", "30"}, {"abc", "0"}, {"2000000", "1048575"}, {"-4", "0"}, {"$10", "16"}};
  for (const Case& c : cases) {
    form->SpinEdit_Default->SetText(c.spinText);
    form->Button_SetDefaultClick(form->Button_SetDefault);
    EXPECT_EQ(*tool::IntervalList, std::vector<std::string>(2, c.entry)) << c.spinText;
  }
}

TEST_F(MainFormTest, EditorFollowsTheSelectedRow) {
  for (const char* key : {"Adressmeister", "Kassenbuch", "Lagerfix", "Ostvane", "Terminwerk"}) SeedKey(key);
  engine::TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("Software\\Trelk\\Lagerfix", false));
  reg.WriteInteger("UpdateInterval", 1);
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

}  // namespace
