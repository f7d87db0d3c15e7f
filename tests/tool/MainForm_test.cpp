// TForm1 in this process: the product list from seeded keys, page steps and the layout.
#include "tool/MainForm.h"

#include <gtest/gtest.h>

#include "engine/Registry.h"
#include "toolkit/Application.h"

namespace {

using tool::TForm1;

void SeedKey(const std::string& name) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, ("Software\\Trelk\\" + name).c_str(), &key), ERROR_SUCCESS);
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
  SeedKey("Ostvane");                           // 0 without NoUpdate
  SeedKey("Rechnungsblick");                    // negative interval
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
  std::vector<std::string> entries = {"Standard (7/28)", "0", "0", "-3", "30"};
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

}  // namespace
