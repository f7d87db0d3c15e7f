// The update wizard's own steps in this process, against the maker's web server on 127.0.0.1:
// the update-list check and its result page, the download with its progress display, stop,
// retry and leaving, and the installation with the bytes of the "Update.bat" it writes.
#include "wizard/TrelkUpdateFile_StatusForm.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "tests/support/RegistryKeys.h"
#include "tests/support/UpdateServer.h"
#include "toolkit/Application.h"
#include "toolkit/Seams.h"
#include "toolkit/Timer.h"
#include "wizard/ZipExtract.h"
#include "wizard/update_rules.h"

namespace {

using namespace testsupport;
using wizard::TStatusForm;

const char kKey[] = "UpdateRoadTest";

struct Box {
  std::string text, caption;
  UINT flags;
};

// The folder's "$" list files.
int ListFiles(const std::string& folder) {
  int n = 0;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((folder + "$*.tmp").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return 0;
  do ++n;
  while (FindNextFileA(h, &fd));
  FindClose(h);
  return n;
}

std::string TimeText(int h, int m, int s) {
  SYSTEMTIME st{2000, 1, 0, 1, static_cast<WORD>(h), static_cast<WORD>(m), static_cast<WORD>(s), 0};
  char text[64];
  int n = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, text, sizeof text);
  return std::string(text, static_cast<size_t>(n > 0 ? n - 1 : 0));
}

class UpdateRoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(UpdateServerPort(), 0) << "run through run_with_update_server.sh";
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    base_ = std::string(temp) + "road_test\\";
    RemoveTree(base_);
    CreateDirectoryA(base_.c_str(), nullptr);
    folder = base_ + "T\xE4mp\\";  // an umlaut, as in a German user name
    CreateDirectoryA(folder.c_str(), nullptr);
    guards_.push_back(toolkit::TempPathSeam.Replace([this] { return folder; }));
    guards_.push_back(toolkit::InternetConnectedSeam.Replace([this] { return connected; }));
    guards_.push_back(toolkit::MessageBoxSeam.Replace([this](HWND, const std::string& text, const std::string& caption,
                                                              UINT flags) {
      boxes.push_back({text, caption, flags});
      return onBox ? onBox() : IDOK;
    }));
    guards_.push_back(toolkit::ShellExecuteSeam.Replace(
        [this](HWND, const std::string&, const std::string& file, const std::string&, const std::string&, int) -> INT_PTR {
          shellStarts.push_back(file);
          return 42;
        }));
    DeleteKey(HKEY_LOCAL_MACHINE, kKey);
    ServerClear();
    wizard::Step = 0;
    app = std::make_unique<toolkit::TApplication>();
    form = new TStatusForm(app.get());
    form->DoCreate();
    form->EnsureControls();
    form->UpdateServer = UpdateServerAuthority();
    form->ProgramName = "Kasse";
    form->ZIPFileName = "Kasse.zip";
    form->RegistryKey = kKey;
    form->ReferenceDate = TodayNumber() - 1 + 0.5;
    form->ShowForm();
  }
  void TearDown() override {
    EndProgram();
    guards_.clear();
    DeleteKey(HKEY_LOCAL_MACHINE, kKey);
    RemoveTree(base_);
    ServerClear();
  }
  void EndProgram() {
    app.reset();
    form = nullptr;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  static void Serve(const std::string& name, const std::string& bytes) { WriteFileBytes(UpdateServerRoot() + name, bytes); }
  // From the welcome page through a check; true when it reached the result page.
  bool Check() {
    form->FormShow(nullptr);
    form->Button_NextClick(nullptr);
    form->Button_CheckClick(form->Button_Check);
    return wizard::Step == 2;
  }
  // Runs `step` while `tick` is called every 10 ms from the message loop inside it.
  void WhileTicking(const std::function<void()>& tick, const std::function<void()>& step) {
    toolkit::TTimer timer(nullptr);
    timer.SetInterval(10);
    timer.OnTimer = [&](toolkit::TComponent*) { tick(); };
    step();
    timer.SetEnabled(false);
  }
  void Click(toolkit::TControl* button) { SendMessageA(button->Handle(), BM_CLICK, 0, 0); }

  std::string folder;  // the wizard's temporary folder
  bool connected = true;
  std::vector<Box> boxes;
  std::function<int()> onBox;
  std::vector<std::string> shellStarts;
  std::unique_ptr<toolkit::TApplication> app;
  TStatusForm* form = nullptr;

 private:
  std::string base_;
  std::vector<toolkit::SeamGuard> guards_;
};

TEST_F(UpdateRoadTest, CheckDecidesAndListsTheNews) {
  const int t = TodayNumber();
  auto D = [t](int k) { return ShortDateText(t + k); };
  const double yesterdayNoon = t - 1 + 0.5;
  enum Server { Plain, NotFound, CutOff, Closed, Offline };
  struct Case {
    const char* name;
    std::string ini;
    double reference;
    Server server;
    bool update;       // the result page offers an update (ignored when the check fails)
    std::string news;  // the news list of the update text
    bool fails;        // "Es besteht keine Internetverbindung."
  } cases[] = {
      {"three news items", "[Kasse]\r\nDate=" + D(0) + "\r\nFile=Kasse.zip\r\nNews=" + D(-3) + ":Alt," + D(-1) +
           ":Neu," + D(-1) + ":Zwei Teile\r\n",
       yesterdayNoon, Plain, true, "- " + D(-1) + ":Neu\r\n- " + D(-1) + ":Zwei\r\n- Teile\r\n", false},
      {"same day as a reference after midnight", "[Kasse]\r\nDate=" + D(-1) + "\r\nNews=x\r\n", yesterdayNoon, Plain,
       false, "", false},
      {"today against yesterday, no News", "[Kasse]\r\nDate=" + D(0) + "\r\n", t - 1.0, Plain, true,
       "- keine Angaben gefunden\r\n", false},
      {"no Date: today at midnight", "[Kasse]\r\nFile=Kasse.zip\r\n", t + 0.0, Plain, true, "- keine Angaben gefunden\r\n",
       false},
      {"no Date against a reference later today", "[Kasse]\r\nFile=Kasse.zip\r\n", t + 0.25, Plain, false, "", false},
      {"an unreadable Date is today", "[Kasse]\r\nDate=irgendwann\r\n", yesterdayNoon, Plain, true,
       "- keine Angaben gefunden\r\n", false},
      {"section names without regard to case", "[KASSE]\r\ndate=" + D(0) + "\r\n", yesterdayNoon, Plain, true,
       "- keine Angaben gefunden\r\n", false},
      {"another program's section only", "[Waage]\r\nDate=" + D(0) + "\r\n", yesterdayNoon, Plain, false, "", false},
      {"an empty section", "[Kasse]\r\n[Waage]\r\nDate=" + D(0) + "\r\n", yesterdayNoon, Plain, false, "", false},
      {"News empty", "[Kasse]\r\nDate=" + D(0) + "\r\nNews=\r\n", yesterdayNoon, Plain, true, "", false},
      {"a value quoted as a whole", "[Kasse]\r\nDate=" + D(0) + "\r\nNews=  \"" + D(0) + ":Eins," + D(0) + ":Zwei\"  \r\n",
       yesterdayNoon, Plain, true, "- " + D(0) + ":Eins\r\n- " + D(0) + ":Zwei\r\n", false},
      {"a date part that is no date is kept", "[Kasse]\r\nDate=" + D(0) + "\r\nNews=Bald:Neu," + D(-5) + ":Alt\r\n",
       yesterdayNoon, Plain, true, "- Bald:Neu\r\n", false},
      {"404 for the list", "[Kasse]\r\nDate=" + D(0) + "\r\n", yesterdayNoon, NotFound, false, "", true},
      {"a list cut off by a reset", "[Kasse]\r\nDate=" + D(0) + "\r\nNews=" + std::string(3000, 'n') + "\r\n",
       yesterdayNoon, CutOff, false, "", true},
      {"connection refused", "[Kasse]\r\nDate=" + D(0) + "\r\n", yesterdayNoon, Closed, false, "", true},
      {"no Internet connection", "[Kasse]\r\nDate=" + D(0) + "\r\n", yesterdayNoon, Offline, false, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ServerClear();
    Serve("Updates.ini", c.ini);
    if (c.server == NotFound) ServerMode("/Updates.ini", "status=404");
    if (c.server == CutOff) ServerMode("/Updates.ini", "reset=100");
    form->UpdateServer = c.server == Closed ? "127.0.0.1:9" : UpdateServerAuthority();
    connected = c.server != Offline;
    form->ReferenceDate = c.reference;
    boxes.clear();
    const std::string logBefore = ServerLog();
    Check();
    const std::string requests = ServerLog().substr(logBefore.size());
    EXPECT_EQ(requests, c.server == Offline || c.server == Closed ? "" : "GET /Updates.ini HTTP/1.0\n");
    if (c.fails) {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].text, "Es besteht keine Internetverbindung.");
      EXPECT_EQ(boxes[0].caption, "Internetverbindung erforderlich");
      EXPECT_EQ(boxes[0].flags, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
      EXPECT_EQ(wizard::Step, 1);
      EXPECT_EQ(form->Pages->PageIndex(), 1);
      EXPECT_TRUE(form->Button_Check->Enabled()) << "the user may try again";
      EXPECT_EQ(ListFiles(folder), 0) << "the list file of a failed check is deleted";
      continue;
    }
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(wizard::Step, 2);
    EXPECT_EQ(form->UpdateAvailable, c.update);
    EXPECT_EQ(form->Label_CheckResult->Text(), wizard::CheckResultText(c.update, c.news));
    EXPECT_EQ(form->Button_Next->Text(), c.update ? "Weiter >" : "Beenden");
    EXPECT_EQ(ListFiles(folder), 1) << "one list file, that of the last check";
  }
  EndProgram();
  EXPECT_EQ(ListFiles(folder), 0) << "the last list goes with the wizard";
}

// The download page while an archive of 2,000,000 bytes arrives at 1 MB/s, stopped, retried,
// left, and without an announced length.
TEST_F(UpdateRoadTest, DownloadShowsProgressStopsAndRetries) {
  const std::string archive = RandomBytes(2000000, 7);
  Serve("Updates\\Kasse.zip", archive);
  Serve("Updates.ini", "[Kasse]\r\nDate=" + ShortDateText(TodayNumber()) + "\r\nFile=Kasse.zip\r\n");
  const std::string local = folder + "Kasse.zip";
  const std::string size = TStatusForm::FormatSize(2000000, 1);
  ASSERT_EQ(size, "1,9 MB");
  const std::string zeroTime = "verbleibende Zeit: " + TimeText(0, 0, 0);

  // A stop confirmed with "Ja" part-way.
  ASSERT_TRUE(Check());
  ServerMode("/Updates/Kasse.zip", "rate=1000000");
  std::vector<std::string> percents;
  bool asked = false, existedWhenAsked = false, timeShown = false;
  DWORD answeredAt = 0;
  onBox = [&] {
    existedWhenAsked = FileExists(local);
    answeredAt = GetTickCount();
    return IDYES;
  };
  WhileTicking(
      [&] {
        if (!form->Downloading) return;
        const std::string left = form->TimeLeft->Text();
        if (!left.empty() && left != zeroTime) timeShown = true;
        const std::string percent = form->PerCent->Text();
        if (!percent.empty() && (percents.empty() || percents.back() != percent)) percents.push_back(percent);
        EXPECT_FALSE(form->Button_Next->Enabled());
        if (!asked && form->HTTP->ReceivedBytes() > 600000) {
          asked = true;
          EXPECT_EQ(form->Label_Download->Text(), wizard::kDownloadText);
          EXPECT_EQ(form->CancelDownload->Text(), "Download ab&brechen");
          Click(form->CancelDownload);
        }
      },
      [&] { form->Button_NextClick(form->Button_Next); });
  const DWORD returnedAt = GetTickCount();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Soll der Download wirklich abgebrochen werden?");
  EXPECT_EQ(boxes[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_TRUE(existedWhenAsked);
  EXPECT_GE(returnedAt - answeredAt, 2900u) << "the partial file stays 3 s";
  EXPECT_FALSE(FileExists(local)) << "and is gone then";
  EXPECT_TRUE(wizard::DownloadAborted);
  EXPECT_EQ(form->Label_Download->Text(), wizard::kDownloadStoppedText);
  EXPECT_EQ(form->CancelDownload->Text(), "Erneut versuchen");
  EXPECT_TRUE(form->CancelDownload->Visible());
  EXPECT_FALSE(form->Button_Next->Enabled());
  ASSERT_GE(percents.size(), 3u);
  for (size_t i = 1; i < percents.size(); ++i) EXPECT_LT(std::stoi(percents[i - 1]), std::stoi(percents[i]));
  EXPECT_LT(std::stoi(percents.back()), 100);
  EXPECT_TRUE(timeShown) << "a remaining time above zero while the bytes come";

  // "Erneut versuchen" at full speed: the whole archive, and the page of a complete download.
  ServerMode("/Updates/Kasse.zip", "rate=0");
  boxes.clear();
  Click(form->CancelDownload);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(wizard::Step, 3);
  EXPECT_EQ(ReadFileBytes(local), archive);
  EXPECT_FALSE(wizard::DownloadAborted || wizard::CancelConfirmed);
  EXPECT_EQ(form->Label_Download->Text(), wizard::kDownloadDoneText);
  EXPECT_FALSE(form->CancelDownload->Visible());
  EXPECT_TRUE(form->Button_Next->Enabled());
  EXPECT_EQ(form->PerCent->Text(), "100 %");
  EXPECT_EQ(form->StatusLabel->Text(), size + " von " + size + " gedownloadet");
  EXPECT_EQ(form->TimeLeft->Text(), zeroTime);
  EXPECT_EQ(form->Status->Max(), 2000000);
  EXPECT_EQ(form->Status->Position(), 2000000);

  // "Nein": the download goes on to its end.
  ASSERT_TRUE(Check());
  ServerMode("/Updates/Kasse.zip", "rate=1000000");
  boxes.clear();
  onBox = [] { return IDNO; };
  asked = false;
  WhileTicking(
      [&] {
        if (!asked && form->Downloading && form->HTTP->ReceivedBytes() > 300000) {
          asked = true;
          Click(form->CancelDownload);
        }
      },
      [&] { form->Button_NextClick(form->Button_Next); });
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(ReadFileBytes(local), archive);
  EXPECT_EQ(form->Label_Download->Text(), wizard::kDownloadDoneText);
  EXPECT_FALSE(form->CancelDownload->Visible()) << "a second download hides the button again";

  // No Content-Length: "100 %" and "0 Byte" throughout, the remaining time zero.
  ASSERT_TRUE(Check());
  ServerMode("/Updates/Kasse.zip", "nolength=1");
  ServerMode("/Updates/Kasse.zip", "rate=2000000");
  std::vector<std::string> amounts;
  WhileTicking(
      [&] {
        if (!form->Downloading) return;
        EXPECT_EQ(form->PerCent->Text(), "100 %");
        EXPECT_EQ(form->TimeLeft->Text(), zeroTime);
        amounts.push_back(form->StatusLabel->Text());
      },
      [&] { form->Button_NextClick(form->Button_Next); });
  EXPECT_EQ(ReadFileBytes(local), archive);
  EXPECT_EQ(form->StatusLabel->Text(), size + " von 0 Byte gedownloadet");
  ASSERT_FALSE(amounts.empty());

  // A download that starts at midnight, and one that runs across it: the clock's time of day at
  // the start is 0, or later than every reading after it; the remaining time shows zero.
  for (double start : {0.0, 0.99999}) {
    SCOPED_TRACE(start);
    ASSERT_TRUE(Check());
    ServerClear();
    ServerMode("/Updates/Kasse.zip", "rate=2000000");
    int readings = 0;
    const double day = TodayNumber();
    toolkit::SeamGuard clock = toolkit::NowSeam.Replace([&] {
      // The first reading is the download's start; every later one is a moment after midnight.
      return readings++ == 0 ? day + start : day + 1 + readings * 1e-7;
    });
    int ticks = 0;
    WhileTicking(
        [&] {
          if (!form->Downloading || form->StatusLabel->Text().find(" von 1,9 MB") == std::string::npos) return;
          ++ticks;
          EXPECT_EQ(form->TimeLeft->Text(), zeroTime);
        },
        [&] { form->Button_NextClick(form->Button_Next); });
    EXPECT_NEAR(wizard::DownloadStart, start, 1e-9);
    EXPECT_GT(ticks, 0);
    EXPECT_EQ(form->TimeLeft->Text(), zeroTime);
    EXPECT_EQ(ReadFileBytes(local), archive);
  }

  // Leaving the wizard during a download: asked once; "Ja" closes it once the download has
  // returned, and the partial file is gone by then.
  ASSERT_TRUE(Check());
  ServerClear();
  ServerMode("/Updates/Kasse.zip", "rate=1000000");
  boxes.clear();
  onBox = [] { return IDYES; };
  asked = false;
  WhileTicking(
      [&] {
        if (!asked && form->Downloading && form->HTTP->ReceivedBytes() > 300000) {
          asked = true;
          SendMessageA(form->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
          EXPECT_TRUE(form->Visible()) << "open until the download has returned";
        }
      },
      [&] { form->Button_NextClick(form->Button_Next); });
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_FALSE(form->Visible());
  EXPECT_FALSE(FileExists(local));
  EXPECT_FALSE(form->Downloading);
}

// Archives the download step did not get whole lead to the second result text, then to a
// clear failure on "Einrichten": no installation, nothing started at the end.
TEST_F(UpdateRoadTest, BrokenArchivesInstallNothing) {
  std::string archiveBytes;
  {
    const std::string path = folder + "..\\gut.zip";
    ASSERT_TRUE(MakeZip(path, {{"Kasse.exe", RandomBytes(800000, 3), true}, {"Update.bat", "@echo off\r\n"}}));
    archiveBytes = ReadFileBytes(path);
    DeleteFileA(path.c_str());
  }
  struct Case {
    const char* name;
    const char* mode;  // for "/Updates/Kasse.zip"
    const char* error;  // part of the message
  } cases[] = {
      {"404", "status=404", "kann nicht ge\xF6\x66\x66net werden"},
      {"reset in the middle", "reset=300000", "kann nicht ge\xF6\x66\x66net werden"},
  };
  Serve("Updates\\Kasse.zip", archiveBytes);
  Serve("Updates.ini", "[Kasse]\r\nDate=" + ShortDateText(TodayNumber()) + "\r\nFile=Kasse.zip\r\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ServerClear();
    ServerMode("/Updates/Kasse.zip", c.mode);
    boxes.clear();
    ASSERT_TRUE(Check());
    form->Button_NextClick(form->Button_Next);
    EXPECT_EQ(form->Label_Download->Text(), wizard::kDownloadDoneText);
    EXPECT_TRUE(form->Button_Next->Enabled());
    form->Button_NextClick(form->Button_Next);
    EXPECT_EQ(form->Pages->PageIndex(), 4);
    form->Button_NextClick(form->Button_Next);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find(c.error), std::string::npos) << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("Das Update wird nicht installiert."), std::string::npos);
    EXPECT_EQ(wizard::Step, 5);
    EXPECT_EQ(form->Pages->PageIndex(), 4);
    EXPECT_EQ(form->Label3->Text(), wizard::kInstallFailedText);
    EXPECT_EQ(form->Image_Icon2->Icon(), LoadIconA(nullptr, IDI_HAND));
    EXPECT_FALSE(form->Button_Next->Enabled());
    EXPECT_TRUE(form->Button_Cancel->Enabled());
    EXPECT_FALSE(wizard::InstallPrepared);
    EXPECT_FALSE(FileExists(folder + "Update.bat"));
    EXPECT_FALSE(FileExists(folder + "Kasse.exe"));
  }
  Click(form->Button_Cancel);
  EXPECT_TRUE(app->Terminated()) << "Abbrechen in step 5 ends the program";
  EndProgram();
  EXPECT_TRUE(shellStarts.empty());
  EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, kKey), "<no key>");
  EXPECT_EQ(ListFiles(folder), 0);
}

// Step 5 on an archive already in the temporary folder: the "Update.bat" it writes, byte for
// byte, or the failure it shows.
TEST_F(UpdateRoadTest, InstallationWritesTheBatchFile) {
  char exeBuffer[MAX_PATH];
  const std::string exe(exeBuffer, GetModuleFileNameA(nullptr, exeBuffer, MAX_PATH));
  const std::string prog = wizard::ToOemText(exe.substr(0, exe.find_last_of('\\') + 1));
  const std::string temp = wizard::ToOemText(folder);
  ASSERT_NE(temp.find('\x84'), std::string::npos) << "the temporary folder in its OEM form";
  const std::string eight =
      "@echo off\r\n:warte %s\r\nif exist \"%sKasse.lock\" goto warte\r\ncopy /y \"%0:sKasse.exe\" \"%1:sKasse.exe\"\r\n"
      " rem Rest %s\r\ndel \"%sKasse.exe\"\r\necho 100%% fertig\r\n[%-12.5s]";
  const std::string formatted = "@echo off\r\n:warte " + prog + "\r\nif exist \"" + prog + "Kasse.lock\" goto warte\r\n" +
                                "copy /y \"" + temp + "Kasse.exe\" \"" + prog + "Kasse.exe\"\r\n rem Rest " + temp +
                                "\r\ndel \"" + temp + "Kasse.exe\"\r\necho 100% fertig\r\n[" + temp.substr(0, 5) +
                                "       ]\r\n";
  const std::string restart = "\"" + wizard::ToOemText(exe) + "\"\r\n";
  const std::string del = "del " + temp + "Update.bat\r\n";
  const std::string program = RandomBytes(300000, 5);
  std::string damaged;
  {
    const std::string path = folder + "..\\kaputt.zip";
    ASSERT_TRUE(MakeZip(path, {{"Kasse.exe", program, true}, {"daten.bin", RandomBytes(200000, 9), true},
                               {"Update.bat", eight}}));
    damaged = ReadFileBytes(path);
    DeleteFileA(path.c_str());
    damaged[damaged.find(RandomBytes(200000, 9).substr(0, 64)) + 100000] ^= 0x55;
  }
  struct Case {
    const char* name;
    std::vector<ZipEntry> entries;  // empty with `raw` empty: no archive at all
    std::string raw;                // the archive's bytes, instead of entries
    std::string stale;              // an "Update.bat" already in the folder
    bool restart;
    std::string batch;  // the written "Update.bat"; empty: no installation
    std::string error;  // the general error handler's message, or the message box's start
  } cases[] = {
      {"eight lines, a blank-led fifth line, an umlaut in the temp path",
       {{"Kasse.exe", program}, {"Update.bat", eight}}, "", "", true, formatted + restart + del, ""},
      {"restart box cleared", {{"Kasse.exe", program}, {"Update.bat", eight}}, "", "", false, formatted + del, ""},
      {"entries in folders land in the temp folder", {{"bin/Kasse.exe", program}, {"setup\\Update.bat", eight}}, "",
       "", true, formatted + restart + del, ""},
      {"an Update.bat left from an earlier run is not replaced", {{"Kasse.exe", program}, {"Update.bat", eight}}, "",
       " echo alt %s\r\n", false, " echo alt " + temp + "\r\n" + del, ""},
      {"a format of another type", {{"Kasse.exe", program}, {"Update.bat", "a\r\nb\r\nc\r\nd\r\n tail %d\r\n"}}, "", "",
       true, "", "Format ' tail %d' ung\xFCltig oder nicht kompatibel mit Argument"},
      {"no template in the archive", {{"Kasse.exe", program}}, "", "", true, "",
       "Die Datei \"" + folder + "Update.bat\" kann nicht ge\xF6\x66\x66net werden."},
      {"an entry failing its checksum", {}, damaged, "", true, "", "Der Eintrag \"daten.bin\" des Archivs ist fehlerhaft"},
      {"no archive", {}, "", "", true, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string archive = folder + "Kasse.zip";
    if (!c.entries.empty()) ASSERT_TRUE(MakeZip(archive, c.entries));
    if (!c.raw.empty()) WriteFileBytes(archive, c.raw);
    if (!c.stale.empty()) WriteFileBytes(folder + "Update.bat", c.stale);
    form->FormShow(nullptr);
    form->CheckBox_Restart->SetChecked(c.restart);
    form->Label3->SetCaption("");
    form->Image_Icon2->SetIcon(nullptr);
    wizard::Step = 4;  // on "Einrichten"
    form->Pages->SetPageIndex(4);
    boxes.clear();
    std::string error;
    try {
      form->Button_NextClick(form->Button_Next);
    } catch (const base::Exception& e) {
      error = e.Message();
    }
    const bool hasArchive = !c.entries.empty() || !c.raw.empty();
    EXPECT_EQ(wizard::Step, 5);
    EXPECT_EQ(wizard::InstallPrepared, !c.batch.empty());
    if (!c.batch.empty()) {
      EXPECT_EQ(error, "");
      EXPECT_TRUE(boxes.empty());
      EXPECT_EQ(ReadFileBytes(folder + "Update.bat"), c.batch);
      EXPECT_EQ(ReadFileBytes(folder + "Kasse.exe"), program);
      EXPECT_FALSE(FileExists(archive)) << "the archive is deleted";
      EXPECT_EQ(form->Pages->PageIndex(), 5);
      EXPECT_EQ(form->Button_Next->Text(), "Beenden");
      EXPECT_FALSE(form->Button_Cancel->Enabled());
      continue;
    }
    EXPECT_EQ(form->Pages->PageIndex(), 4);
    EXPECT_EQ(FileExists(archive), hasArchive) << "the archive stays";
    if (!c.raw.empty() || !hasArchive) {
      // The failure state: the archive cannot serve, and what it brought is gone again.
      EXPECT_EQ(error, "");
      ASSERT_EQ(boxes.size(), hasArchive ? 1u : 0u);
      if (hasArchive) EXPECT_EQ(boxes[0].text.substr(0, c.error.size()), c.error);
      EXPECT_EQ(form->Label3->Text(), wizard::kInstallFailedText);
      EXPECT_EQ(form->Image_Icon2->Icon(), LoadIconA(nullptr, IDI_HAND));
      EXPECT_FALSE(form->Button_Next->Enabled());
      EXPECT_EQ(Listing(folder), hasArchive ? "[Kasse.zip]" : "");
    } else {
      // A template error reaches the general error handler; the wizard stays on "Einrichten"
      // with "Weiter >" usable, and the template is as it came.
      EXPECT_EQ(error, c.error);
      EXPECT_TRUE(form->Button_Next->Enabled());
      EXPECT_EQ(form->Label3->Text(), "");
      const std::string expectedTemplate =
          !c.stale.empty() ? c.stale : (c.entries.size() > 1 ? c.entries[1].data : std::string("<missing>"));
      EXPECT_EQ(ReadFileBytes(folder + "Update.bat"), expectedTemplate);
    }
  }
}

}  // namespace
