// The update component in this process: what its construction makes, and AutomaticUpdate's
// decisions on the real registry, with the wizard's modal show watched from its own loop.
#include "engine/TrelkUpdateFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "settings/Registry.h"
#include "resources/Version.h"
#include "tests/support/RegistryKeys.h"
#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Seams.h"
#include "toolkit/Timer.h"
#include "ui/Info.h"
#include "wizard/TrelkUpdateFile_StatusForm.h"

namespace {

using engine::TTrelkUpdateFile;
using namespace testsupport;

const char kKey[] = "EngineTest";

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts(1);
  for (char ch : text) {
    if (ch == separator)
      parts.emplace_back();
    else
      parts.back() += ch;
  }
  return parts;
}

class UpdateFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteKey(HKEY_LOCAL_MACHINE, kKey);
    DeleteKey(HKEY_CURRENT_USER, kKey);
    app = std::make_unique<toolkit::TApplication>();
    owner = new toolkit::TForm(app.get(), "TOwnerForm", "Besitzer", 200, 100);
    boxGuard = toolkit::MessageBoxSeam.Replace([this](HWND, const std::string& text, const std::string&, UINT) {
      boxes.push_back(text);
      return IDOK;
    });
  }
  void TearDown() override {
    app.reset();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    _putenv("TRELK_UPDATE_SERVER=");
    DeletePolicies();
    DeleteKey(HKEY_LOCAL_MACHINE, kKey);
    DeleteKey(HKEY_CURRENT_USER, kKey);
  }
  TTrelkUpdateFile* MakeComponent() {
    auto* c = new TTrelkUpdateFile(owner);
    c->SetName("Update");
    c->ProgramName = "Testprogramm";
    c->RegistryKey = kKey;
    c->ZIPFileName = "Test.zip";
    return c;
  }
  // Runs AutomaticUpdate; a wizard that opens is closed again from its own loop, and what it
  // was handed is kept. Returns whether it opened.
  bool Run(TTrelkUpdateFile* c, const std::string& params, bool manual, double reference) {
    shown = false;
    toolkit::TTimer timer(nullptr);
    timer.SetInterval(10);
    timer.OnTimer = [&](toolkit::TComponent*) {
      wizard::TStatusForm* w = wizard::StatusForm;
      if (!w || !IsWindowVisible(w->Handle())) return;
      shown = true;
      handed = {w->ProgramName, w->ZIPFileName, w->RegistryKey, w->ReferenceDate, w->HKCU, w->UserSearch};
      w->SetModalResult(toolkit::TForm::mrCancel);
    };
    c->AutomaticUpdate(params, manual, reference);
    return shown;
  }

  struct Handed {
    std::string programName, zipFileName, registryKey;
    double referenceDate = 0;
    bool hkcu = false;
    bool userSearch = false;  // Ctrl+U or the settings tool's search, not a reminder
  } handed;
  bool shown = false;
  std::vector<std::string> boxes;  // the message boxes shown, answered with OK
  toolkit::SeamGuard boxGuard;
  std::unique_ptr<toolkit::TApplication> app;
  toolkit::TForm* owner = nullptr;
};

TEST_F(UpdateFileTest, ConstructionMakesTheActionListTheWizardAndTheSettings) {
  TTrelkUpdateFile* c = MakeComponent();
  EXPECT_EQ(owner->FindComponent("ActionList_"), c->ActionList());
  ASSERT_NE(c->ActionList(), nullptr);
  EXPECT_EQ(c->ActionList()->Owner(), owner);
  EXPECT_EQ(c->Host, OSTVANE_MAKER_WEB_HOST);
  EXPECT_EQ(c->Port, 21);
  EXPECT_EQ(c->TimeOut, 10000);
  EXPECT_EQ(c->Body, "");
  EXPECT_EQ(c->Header, "");
  EXPECT_TRUE(c->InputFileMode);
  EXPECT_FALSE(c->HKCU);
  // The wizard waits for its first need; made after the forms took the message font's face, it
  // has that face as it would have had, made with the component.
  EXPECT_EQ(wizard::StatusForm, nullptr);
  ui::AdaptFormFonts();
  wizard::TStatusForm& made = c->Wizard();
  EXPECT_EQ(wizard::StatusForm, &made);
  EXPECT_EQ(&c->Wizard(), &made) << "one wizard";
  EXPECT_EQ(made.Owner(), app.get()) << "the wizard belongs to the application";
  EXPECT_FALSE(IsWindowVisible(made.Handle()));
  EXPECT_EQ(made.HTTP->Host, OSTVANE_MAKER_WEB_HOST);
  EXPECT_EQ(made.Pages, nullptr) << "the pages wait for the first show";
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = 340;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 340, &metrics, 0));
  EXPECT_EQ(made.Font().Name(), metrics.lfMessageFont.lfFaceName);

  // A second component on the same owner is refused and leaves the owner as it was.
  const int count = owner->ComponentCount();
  try {
    new TTrelkUpdateFile(owner);
    FAIL() << "a second component was accepted";
  } catch (const base::Exception& e) {
    EXPECT_STREQ(e.what(), "Komponente mit der Bezeichnung ActionList_ existiert bereits");
  }
  EXPECT_EQ(owner->ComponentCount(), count);

  // The component ends with its owner; the wizard stays until the application ends.
  wizard::TStatusForm* wizard = wizard::StatusForm;
  delete owner;
  owner = nullptr;
  EXPECT_EQ(wizard::StatusForm, wizard);
}

TEST_F(UpdateFileTest, CtrlUOpensTheWizardFromTheOwnerFormOnly) {
  TTrelkUpdateFile* c = MakeComponent();
  ASSERT_EQ(c->ActionList()->ActionCount(), 1);
  EXPECT_EQ(c->ActionList()->Action(0)->ShortCut(), toolkit::ShortCut('U', toolkit::kCtrlKey));
  // Nothing due and "NoUpdate": the shortcut still opens the wizard, and records nothing.
  SetDate(HKEY_LOCAL_MACHINE, kKey, "Update", static_cast<int32_t>(toolkit::Today()) + 30);
  SetString(HKEY_LOCAL_MACHINE, kKey, "NoUpdate", "");
  const std::string before = Values(HKEY_LOCAL_MACHINE, kKey);
  auto* other = new toolkit::TForm(app.get(), "TOtherForm", "anderes", 100, 100);
  EXPECT_FALSE(other->IsShortCut(toolkit::ShortCut('U', toolkit::kCtrlKey)));
  EXPECT_FALSE(owner->IsShortCut(toolkit::ShortCut('U', toolkit::kCtrlKey | toolkit::kShiftKey)));
  shown = false;
  toolkit::TTimer timer(nullptr);
  timer.SetInterval(10);
  timer.OnTimer = [&](toolkit::TComponent*) {
    if (wizard::StatusForm && IsWindowVisible(wizard::StatusForm->Handle())) {
      shown = true;
      wizard::StatusForm->SetModalResult(toolkit::TForm::mrCancel);
    }
  };
  EXPECT_TRUE(owner->IsShortCut(toolkit::ShortCut('U', toolkit::kCtrlKey)));
  EXPECT_TRUE(shown);
  EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, kKey), before);
}

TEST_F(UpdateFileTest, StagingServerFromTheEnvironment) {
  struct Case {
    const char* setting;
    const char* host;
    int port;
    std::string origin;  // the start of the wizard's URLs
  } cases[] = {
      {"127.0.0.1:8080", "127.0.0.1", 8080, "http://127.0.0.1:8080"},
      {"staging.example", "staging.example", 21, "http://staging.example"},
      {"https://staging.example:8443", "staging.example", 8443, "https://staging.example:8443"},
      // malformed: the built-in host
      {"127.0.0.1:99999", OSTVANE_MAKER_WEB_HOST, 21, std::string("http://") + OSTVANE_MAKER_WEB_HOST},
      {"", OSTVANE_MAKER_WEB_HOST, 21, std::string("http://") + OSTVANE_MAKER_WEB_HOST},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    _putenv((std::string("TRELK_UPDATE_SERVER=") + c.setting).c_str());
    if (wizard::StatusForm) wizard::StatusForm->Free();
    auto* owner2 = new toolkit::TForm(app.get(), "TOwnerForm", "zweiter", 200, 100);
    auto* component = new TTrelkUpdateFile(owner2);
    _putenv("TRELK_UPDATE_SERVER=elsewhere:1");  // read once, at construction
    EXPECT_EQ(component->Host, c.host);
    EXPECT_EQ(component->Port, c.port);
    EXPECT_EQ(component->Wizard().HTTP->Host, c.host);
    EXPECT_EQ(component->Wizard().UpdateServer, c.origin);
    delete owner2;
  }
}

TEST_F(UpdateFileTest, StartDecisionOnTheRegistry) {
  const int32_t today = static_cast<int32_t>(toolkit::Today());
  const std::string exe = toolkit::ExeName();
  enum Seed { Nothing, Today_, Yesterday, YesterdayEvening, InAMonth, LongAgoNever, NeverOnly, UpdateAsText,
              UpdateNineBytes, UpdateFourBytes, Locked, TodayNever };
  // What every message after a failed installation ends with.
  const std::string restored =
      "\r\n\r\nDie bisherige Version des Programms wurde wiederhergestellt und kann wie gewohnt verwendet werden. Bei der "
      "nächsten Suche nach Updates wird erneut versucht, das Update zu installieren.";
  const std::string failed = "Das letzte Update konnte nicht installiert werden. ";
  enum Outcome { Told, Silent, Kept };  // the message of "UpdateResult", the value afterwards
  struct Case {
    const char* name;
    Seed seed;
    bool manual;
    const char* params;
    bool opens;
    const char* recorded;  // "ApplicationFileName" afterwards; null: none
    const char* error;     // the error AutomaticUpdate raises; null: none
    // The outcome the last installation recorded ("UpdateResult"; "#" seeds a number), what
    // the start shows of it (after the common first sentence), and whether the value stays.
    const char* result = nullptr;
    const char* message = nullptr;
    Outcome outcome = Silent;
    bool readsResult = true;  // the component's ReadUpdateResult
    // The administrator's policy values ("[program:]value type data", ";" between them), and
    // the one message the start shows then.
    const char* policy = nullptr;
    const char* box = nullptr;
  } cases[] = {
      {"no Update value: due", Nothing, false, "", true, "", nullptr},
      {"Update = today: not due", Today_, false, "", false, "", nullptr},
      {"Update = yesterday: due", Yesterday, false, "", true, "", nullptr},
      {"Update = yesterday evening: due", YesterdayEvening, false, "", true, "", nullptr},
      {"Update in a month: not due", InAMonth, false, "", false, "", nullptr},
      {"NoUpdate and a date long past", LongAgoNever, false, "", false, "", nullptr},
      {"NoUpdate alone", NeverOnly, false, "", false, "", nullptr},
      {"Ctrl+U with NoUpdate", LongAgoNever, true, "", true, nullptr, nullptr},
      {"Ctrl+U when nothing is due", InAMonth, true, "", true, nullptr, nullptr},
      {"start parameters are recorded", Today_, false, "/x \"a b\"", false, " /x \"a b\"", nullptr},
      {"Update as text", UpdateAsText, false, "", false, "", "Ungültiger Datentyp für 'Update'"},
      {"Update of nine bytes", UpdateNineBytes, false, "", false, "", "Fehler beim Holen der Daten für 'Update'"},
      {"Update of four bytes", UpdateFourBytes, false, "", false, "", "Ungültiger Datentyp für 'Update'"},
      {"a key without rights", Locked, false, "", false, nullptr, "Fehler beim Setzen der Daten für 'ApplicationFileName'"},
      {"Ctrl+U on a key without rights", Locked, true, "", true, nullptr, nullptr},
      // The outcome of the last installation: a failure is told once and the search is due again.
      {"failed: file in use", Today_, false, "", true, "", nullptr, "08.12.2026 19:40:12,34|failed|Notizkasten.exe|locked",
       "Die Datei \"Notizkasten.exe\" war noch in Gebrauch und konnte nicht ersetzt werden.", Told},
      {"failed: no backup", Today_, false, "", true, "", nullptr, "Di 08.12.2026 19:40|failed|Kalvor.dll|backup",
       "Von der Datei \"Kalvor.dll\" konnte keine Sicherungskopie angelegt werden.", Told},
      {"failed: not written", InAMonth, false, "", true, "", nullptr, "x|failed|Brisel Hilfe.chm|copy",
       "Die neue Datei \"Brisel Hilfe.chm\" konnte nicht geschrieben werden.", Told},
      {"failed: differs", Today_, false, "", true, "", nullptr, "x|failed|Übersicht.exe|compare",
       "Die neue Datei \"Übersicht.exe\" wurde nicht fehlerfrei geschrieben: Sie stimmt nicht mit der Datei des "
       "Updates überein.", Told},
      {"failed for an unknown reason", Today_, false, "", true, "", nullptr, "x|failed|N.exe|disk",
       "Beim Ersetzen der Datei \"N.exe\" ist ein Fehler aufgetreten.", Told},
      {"failed without a file name", Today_, false, "", true, "", nullptr, "x|failed||locked",
       "Beim Ersetzen der Programmdateien ist ein Fehler aufgetreten.", Told},
      {"failed with NoUpdate: told, no wizard", TodayNever, false, "", false, "", nullptr, "x|failed|N.exe|copy",
       "Die neue Datei \"N.exe\" konnte nicht geschrieben werden.", Told},
      {"ok: deleted silently", Today_, false, "", false, "", nullptr, "08.12.2026 19:40:12,34|ok", nullptr, Silent},
      {"a number: deleted silently", Today_, false, "", false, "", nullptr, "#", nullptr, Silent},
      {"reading switched off", Today_, false, "", false, "", nullptr, "x|failed|N.exe|copy", nullptr, Kept, false},
      {"Ctrl+U leaves it to the next start", Today_, true, "", true, nullptr, nullptr, "x|failed|N.exe|copy", nullptr, Kept},
      // The administrator's word, read from the policy keys (how the values combine is the
      // rules' table): updates off, no wizard however due; Ctrl+U says why in one sentence; the
      // program's own key is read, another program's is not; a value of the wrong type is
      // ignored; a fixed interval reminds a user who chose "never".
      {"policy: off, due", Nothing, false, "", false, "", nullptr, nullptr, nullptr, Silent, true,
       "DisableUpdates REG_DWORD 1"},
      {"policy: off, Ctrl+U", InAMonth, true, "", false, nullptr, nullptr, nullptr, nullptr, Silent, true,
       "DisableUpdates REG_DWORD 1", "Der Administrator hat die Updates für dieses Programm abgeschaltet."},
      {"policy: family on, program off", Nothing, false, "", false, "", nullptr, nullptr, nullptr, Silent, true,
       "DisableUpdates REG_DWORD 0;EngineTest:DisableUpdates REG_DWORD 1"},
      {"policy: other program off", Nothing, false, "", true, "", nullptr, nullptr, nullptr, Silent, true,
       "Waage:DisableUpdates REG_DWORD 1"},
      {"policy: off as text is ignored", Nothing, false, "", true, "", nullptr, nullptr, nullptr, Silent, true,
       "DisableUpdates REG_SZ 1"},
      {"policy: fixed interval over never", LongAgoNever, false, "", true, "", nullptr, nullptr, nullptr, Silent, true,
       "UpdateInterval REG_DWORD 14"},
  };
  TTrelkUpdateFile* c = MakeComponent();
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    DeleteKey(HKEY_LOCAL_MACHINE, kKey);
    const double eight[2] = {0, 0};
    switch (k.seed) {
      case Nothing: break;
      case Today_: SetDate(HKEY_LOCAL_MACHINE, kKey, "Update", today); break;
      case Yesterday: SetDate(HKEY_LOCAL_MACHINE, kKey, "Update", today - 1); break;
      case YesterdayEvening: SetDate(HKEY_LOCAL_MACHINE, kKey, "Update", today - 1 + 0.75); break;
      case InAMonth: SetDate(HKEY_LOCAL_MACHINE, kKey, "Update", today + 30); break;
      case LongAgoNever:
        SetDate(HKEY_LOCAL_MACHINE, kKey, "Update", today - 400);
        SetString(HKEY_LOCAL_MACHINE, kKey, "NoUpdate", "");
        break;
      case NeverOnly: SetString(HKEY_LOCAL_MACHINE, kKey, "NoUpdate", ""); break;
      case UpdateAsText: SetString(HKEY_LOCAL_MACHINE, kKey, "Update", "gestern"); break;
      case UpdateNineBytes: SetValue(HKEY_LOCAL_MACHINE, kKey, "Update", REG_BINARY, eight, 9); break;
      case UpdateFourBytes: SetValue(HKEY_LOCAL_MACHINE, kKey, "Update", REG_BINARY, eight, 4); break;
      case Locked: SetValue(HKEY_LOCAL_MACHINE, kKey, nullptr, 0, nullptr, 0); break;
      case TodayNever:
        SetDate(HKEY_LOCAL_MACHINE, kKey, "Update", today);
        SetString(HKEY_LOCAL_MACHINE, kKey, "NoUpdate", "");
        break;
    }
    if (k.result && std::string(k.result) == "#") SetDword(HKEY_LOCAL_MACHINE, kKey, "UpdateResult", 2);
    else if (k.result) SetString(HKEY_LOCAL_MACHINE, kKey, "UpdateResult", k.result);
    c->ReadUpdateResult = k.readsResult;
    DeletePolicies();
    for (const std::string& item : Split(k.policy ? k.policy : "", ';')) {
      if (item.empty()) continue;
      const std::size_t colon = item.find(':');
      const std::string program = colon == std::string::npos ? "" : item.substr(0, colon);
      const std::vector<std::string> parts = Split(item.substr(colon + 1), ' ');
      ASSERT_TRUE(PolicyAdd(program, parts[0], parts[1], parts[2])) << item;
    }
    boxes.clear();
    const std::string before = Values(HKEY_LOCAL_MACHINE, kKey);
    if (k.seed == Locked) ASSERT_TRUE(LockKey(HKEY_LOCAL_MACHINE, kKey));
    std::string error;
    bool opened = false;
    try {
      opened = Run(c, k.params, k.manual, 0);
    } catch (const base::Exception& e) {
      error = e.what();
    }
    EXPECT_EQ(opened, k.opens);
    EXPECT_EQ(error, k.error ? k.error : "");
    UnlockKey(HKEY_LOCAL_MACHINE, kKey);
    const std::string after = Values(HKEY_LOCAL_MACHINE, kKey);
    if (k.recorded) {
      const std::string value = "ApplicationFileName=sz:\"" + exe + "\"" + k.recorded;
      EXPECT_EQ(after.substr(0, value.size()), value);
    } else {
      EXPECT_EQ(after, before) << "nothing recorded";
    }
    EXPECT_EQ(after.find("OnlyUpdate"), std::string::npos);
    DeletePolicies();
    if (k.box) {
      EXPECT_EQ(boxes, std::vector<std::string>{k.box});
      continue;
    }
    if (!k.result) {
      EXPECT_TRUE(boxes.empty()) << boxes.front();
      continue;
    }
    // Told: the one message; "Update" moved back to yesterday so that the wizard came now.
    // Silent: no message, "Update" as it was. Both delete the value; Kept leaves it.
    if (k.outcome == Told) {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0], failed + k.message + restored);
    } else {
      EXPECT_TRUE(boxes.empty()) << boxes.front();
    }
    const std::string update = "Update=date:" + std::to_string(k.seed == InAMonth ? today + 30 : today);
    EXPECT_NE(after.find(k.outcome == Told ? "Update=date:" + std::to_string(today - 1) : update), std::string::npos)
        << after;
    EXPECT_EQ(after.find("UpdateResult=") != std::string::npos, k.outcome == Kept) << after;
    if (k.outcome == Kept) EXPECT_NE(after.find("UpdateResult=sz:x|failed|N.exe|copy"), std::string::npos) << after;
    // The start after it tells nothing.
    if (k.outcome == Kept) continue;
    boxes.clear();
    c->ReadUpdateResult = true;
    Run(c, "", false, 0);
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, kKey), after) << "the next start changed nothing";
  }
  c->ReadUpdateResult = true;
}

TEST_F(UpdateFileTest, WizardReceivesTheProgramsIdentity) {
  TTrelkUpdateFile* c = MakeComponent();
  // 0 stands for the program file's own date, cut to the even second.
  ASSERT_TRUE(Run(c, "", true, 0));
  EXPECT_NE(wizard::StatusForm->Image_Icon1->Icon(), nullptr) << "the first show made the pages";
  const auto fileDate = engine::FileDateTime(toolkit::ExeName());
  ASSERT_TRUE(fileDate);
  EXPECT_EQ(handed.referenceDate, *fileDate);
  EXPECT_EQ(base::DecodeTime(*fileDate).second % 2, 0);
  EXPECT_EQ(handed.programName, "Testprogramm");
  EXPECT_EQ(handed.zipFileName, "Test.zip");
  EXPECT_EQ(handed.registryKey, kKey);
  EXPECT_FALSE(handed.hkcu);
  EXPECT_TRUE(handed.userSearch) << "Ctrl+U is the user's own search";
  // A given date is handed on as it is; HKCU moves the key to the current user.
  c->HKCU = true;
  ASSERT_TRUE(Run(c, "", false, 37695.123));
  EXPECT_EQ(handed.referenceDate, 37695.123);
  EXPECT_TRUE(handed.hkcu);
  EXPECT_FALSE(handed.userSearch) << "a due reminder";
  EXPECT_NE(Values(HKEY_CURRENT_USER, kKey).find("ApplicationFileName=sz:"), std::string::npos);
  EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, kKey), "") << "the search by hand opened the key and wrote nothing";
}

TEST(EngineFileDate, LocalTimeInEvenSeconds) {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  const std::string file = std::string(folder) + "engine_file_date.tmp";
  HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  struct Case {
    WORD hour, minute, second, ms;
    int expectedSecond;
  } cases[] = {{10, 20, 13, 700, 12}, {10, 20, 12, 0, 12}, {23, 59, 59, 999, 58}, {0, 0, 1, 0, 0}};
  for (const Case& c : cases) {
    SYSTEMTIME local{2003, 3, 0, 15, c.hour, c.minute, c.second, c.ms};
    FILETIME localTime, utc;
    SystemTimeToFileTime(&local, &localTime);
    LocalFileTimeToFileTime(&localTime, &utc);
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &utc));
    FlushFileBuffers(h);
    auto date = engine::FileDateTime(file);
    ASSERT_TRUE(date);
    EXPECT_DOUBLE_EQ(*date, *base::TryEncodeDate(2003, 3, 15) + *base::TryEncodeTime(c.hour, c.minute, c.expectedSecond, 0))
        << c.hour << ":" << c.minute << ":" << c.second;
  }
  CloseHandle(h);
  DeleteFileA(file.c_str());
  EXPECT_FALSE(engine::FileDateTime(file));
  EXPECT_FALSE(engine::FileDateTime(folder)) << "a folder has no file date";
}

}  // namespace
