// The update wizard's own steps in this process, against the maker's web server on 127.0.0.1:
// the update-list check and its result page, the download with its progress display, stop,
// retry and leaving, and the installation with the bytes of the "Update.bat" it writes.
#include "wizard/TrelkUpdateFile_StatusForm.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <functional>
#include <memory>
#include <map>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "settings/ProgramKey.h"
#include "settings/UpdateServer.h"
#include "tests/support/RegistryKeys.h"
#include "tests/support/UpdateServer.h"
#include "toolkit/Application.h"
#include "toolkit/Seams.h"
#include "toolkit/Timer.h"
#include "wizard/Signature.h"
#include "wizard/UserLocale.h"
#include "wizard/ZipExtract.h"
#include "base/signed_update.h"
#include "wizard/HeldFile.h"
#include "wizard/ProtectedInstall.h"
#include "wizard/update_rules.h"

namespace {

using namespace testsupport;
using wizard::TStatusForm;

const char kKey[] = "UpdateRoadTest";

struct Box {
  std::string text, caption;
  UINT flags;
};

// The "$" list files in the folder and in the search folders below it.
int ListFiles(const std::string& folder) {
  int n = 0;
  auto count = [&n](const std::string& pattern) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do ++n;
    while (FindNextFileA(h, &fd));
    FindClose(h);
  };
  count(folder + "$*.tmp");
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((folder + "Trelk-*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return n;
  do count(folder + fd.cFileName + "\\$*.tmp");
  while (FindNextFileA(h, &fd));
  FindClose(h);
  return n;
}

struct KeyPair {
  std::string publicKey, secretKey;  // raw bytes
};
KeyPair NewKeyPair() {
  unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES];
  crypto_sign_keypair(pk, sk);
  return {std::string(reinterpret_cast<char*>(pk), sizeof pk), std::string(reinterpret_cast<char*>(sk), sizeof sk)};
}
std::string Sign(const std::string& message, const KeyPair& keys) {
  unsigned char sig[crypto_sign_BYTES];
  crypto_sign_detached(sig, nullptr, reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                       reinterpret_cast<const unsigned char*>(keys.secretKey.data()));
  return std::string(reinterpret_cast<char*>(sig), sizeof sig);
}
std::string Sha256(const std::string& bytes) {
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  return std::string(reinterpret_cast<char*>(digest), sizeof digest);
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
    ASSERT_NE(ServerPort(), 0) << "run through run_with_server.sh --files";
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
    app = std::make_unique<toolkit::TApplication>();
    form = new TStatusForm(app.get(), settings::UpdateServerSetting());
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
    return form->Step == wizard::WizardStep::Result;
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
  enum Server { Plain, NotFound, CutOff, Closed, Offline, Endless, Secure, ToHttps, ToHttp, OtherName, Untrusted,
                Expired, Tls13 };
  struct Case {
    const char* name;
    std::string ini;
    double reference;
    Server server;
    bool update;       // the result page offers an update (ignored when the check fails)
    std::string news;  // the news list of the update text
    bool fails;        // "Es besteht keine Internetverbindung."
    // A secure connection refused: the message names the host and the cause.
    net::TTlsFault tls = net::TTlsFault::None;
  };
  std::vector<Case> cases = {
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
      {"a list streamed without length beyond 16 MB", "[Kasse]\r\nDate=" + D(0) + "\r\n;" + std::string(17 << 20, 'x'),
       yesterdayNoon, Endless, false, "", true},
  };
  // Over https, with the certificate checked; a redirection to https is followed, one away from
  // it is refused.
  const std::string list = "[Kasse]\r\nDate=" + D(0) + "\r\n";
  const std::vector<Case> secure = {
      {"over https", list, yesterdayNoon, Secure, true, "- keine Angaben gefunden\r\n", false},
      {"http redirected to https", list, yesterdayNoon, ToHttps, true, "- keine Angaben gefunden\r\n", false},
      {"https redirected to http", list, yesterdayNoon, ToHttp, false, "", true, net::TTlsFault::InsecureRedirect},
      {"a certificate for another name", list, yesterdayNoon, OtherName, false, "", true, net::TTlsFault::OtherName},
      {"a certificate from an unknown CA", list, yesterdayNoon, Untrusted, false, "", true, net::TTlsFault::Untrusted},
      {"an expired certificate", list, yesterdayNoon, Expired, false, "", true, net::TTlsFault::Expired},
      {"a server that speaks TLS 1.3 only", list, yesterdayNoon, Tls13, false, "", true, net::TTlsFault::Handshake},
  };
  if (TestCaTrusted()) cases.insert(cases.end(), secure.begin(), secure.end());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ServerClear();
    Serve("Updates.ini", c.ini);
    if (c.server == NotFound) ServerMode("/Updates.ini", "status=404");
    if (c.server == CutOff) ServerMode("/Updates.ini", "reset=100");
    if (c.server == Endless) ServerMode("/Updates.ini", "nolength=1");
    if (c.server == ToHttps) ServerMode("/Updates.ini", "tlsmoved=1");
    if (c.server == ToHttp) ServerMode("/Updates.ini", "plainmoved=1");
    const std::map<Server, std::string> secureServer = {
        {Secure, "TLS"}, {ToHttp, "TLS"}, {OtherName, "TLS_OTHERNAME"}, {Untrusted, "TLS_UNTRUSTED"},
        {Expired, "TLS_EXPIRED"}, {Tls13, "TLS13"}};
    form->UpdateServer = c.server == Closed                ? "127.0.0.1:9"
                         : secureServer.count(c.server) > 0 ? SecureURL(secureServer.at(c.server))
                                                            : UpdateServerAuthority();
    connected = c.server != Offline;
    form->ReferenceDate = c.reference;
    boxes.clear();
    const std::string logBefore = ServerLog();
    Check();
    const std::string requests = ServerLog().substr(logBefore.size());
    const bool reached = c.server != Offline && c.server != Closed && c.tls != net::TTlsFault::OtherName &&
                         c.tls != net::TTlsFault::Untrusted && c.tls != net::TTlsFault::Expired && c.server != Tls13;
    EXPECT_EQ(requests, !reached            ? ""
                        : c.server == ToHttps ? "GET /Updates.ini HTTP/1.0\nGET /Updates.ini HTTP/1.0\n"
                                              : "GET /Updates.ini HTTP/1.0\n");
    if (c.fails) {
      ASSERT_EQ(boxes.size(), 1u);
      if (c.tls != net::TTlsFault::None) {
        EXPECT_EQ(boxes[0].text, wizard::SecureConnectionText(c.tls, "localhost"));
        EXPECT_NE(boxes[0].text.find(c.tls == net::TTlsFault::Handshake || c.tls == net::TTlsFault::InsecureRedirect
                                         ? "HTTPS"
                                         : "Zertifikat"),
                  std::string::npos);
        EXPECT_EQ(boxes[0].caption, wizard::kSecureConnectionCaption);
      } else {
        EXPECT_EQ(boxes[0].text, c.server == Endless ? wizard::kListTooLongText : "Es besteht keine Internetverbindung.");
        EXPECT_EQ(boxes[0].caption, c.server == Endless ? wizard::kListTooLongCaption : "Internetverbindung erforderlich");
      }
      EXPECT_EQ(boxes[0].flags, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
      EXPECT_EQ(form->Step, wizard::WizardStep::Check);
      EXPECT_EQ(form->Pages->PageIndex(), 1);
      EXPECT_TRUE(form->Button_Check->Enabled()) << "the user may try again";
      EXPECT_EQ(ListFiles(folder), 0) << "the list file of a failed check is deleted";
      EXPECT_EQ(Listing(folder), "") << "and its search folder";
      continue;
    }
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(form->Step, wizard::WizardStep::Result);
    EXPECT_EQ(form->UpdateAvailable, c.update);
    EXPECT_EQ(form->Label_CheckResult->Text(), wizard::CheckResultText(c.update, c.news));
    EXPECT_EQ(form->Button_Next->Text(), c.update ? "Weiter >" : "Beenden");
    EXPECT_EQ(ListFiles(folder), 1) << "one list file, that of the last check";
  }
  EndProgram();
  EXPECT_EQ(ListFiles(folder), 0) << "the last list goes with the wizard";
}

// The user's word and the maker's caution, one check after another on the same key: a skipped
// version is not offered at a reminder until a newer one comes, though the user's own search
// still shows it (with a line saying so); a rollout holds the update back from the installations
// whose number lies at or above its share, never from the user's own search nor a critical
// update; the number is drawn once and kept. Lists without these values leave the key alone.
TEST_F(UpdateRoadTest, SkippedVersionsAndRolloutsAtReminders) {
  const int t = TodayNumber();
  const std::string a(64, 'a'), b(64, 'b');
  auto List = [](const std::string& date, const std::string& sha, const std::string& more) {
    return "[<Liste>]\r\nSerial=7\r\n[Kasse]\r\nDate=" + date + "\r\nFile=Kasse.zip\r\nSHA256=" + sha + "\r\n" + more;
  };
  const std::string key = "Software\\Trelk\\" + std::string(kKey);
  // "RolloutNumber" as stored: -1 absent, -2 of another type.
  auto Number = [&]() -> int {
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "RolloutNumber", RRF_RT_ANY, &type, &value, &size) != ERROR_SUCCESS)
      return -1;
    return type == REG_DWORD ? static_cast<int>(value) : -2;
  };
  enum Expect { Offer, SkippedOffer, Nothing };
  struct Step {
    const char* name;
    std::string ini;
    bool user;  // Ctrl+U or the settings tool's search, not a reminder
    Expect expect;
    bool skip = false;        // click "Diese Version überspringen"
    int shareAbove = -1000;   // "Rollout=" the drawn number plus this
  };
  const std::string newer = MakerDate(t + 1);
  const std::vector<Step> steps = {
      {"an offer as always", List(MakerDate(t), a, ""), false, Offer},
      {"skipped at the reminder", List(MakerDate(t), a, ""), false, Offer, true},
      {"the same version again", List(MakerDate(t), a, ""), false, Nothing},
      {"renewed: the same version", "[<Liste>]\r\nSerial=8\r\n" + List(MakerDate(t), a, "").substr(21), false, Nothing},
      {"Ctrl+U shows it", List(MakerDate(t), a, ""), true, SkippedOffer},
      {"another archive the same day", List(MakerDate(t), b, ""), false, Offer},
      {"a newer version", List(newer, a, ""), false, Offer},
      {"a rollout of 0 %", List(newer, a, "Rollout=0\r\n"), false, Nothing},
      {"... but Ctrl+U", List(newer, a, "Rollout=0\r\n"), true, Offer},
      {"... and a critical update", List(newer, a, "Rollout=0\r\nCritical=1\r\n"), false, Offer},
      {"a share just above the number", List(newer, a, ""), false, Offer, false, 1},
      {"a share at the number", List(newer, a, ""), false, Nothing, false, 0},
      {"a share not yet started", List(newer, a, "Rollout=100\r\nRolloutStart=" + newer + "\r\n"), false, Nothing},
  };
  int drawn = -1;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    std::string ini = step.ini;
    if (step.shareAbove > -1000) ini += "Rollout=" + std::to_string(drawn + step.shareAbove) + "\r\n";
    const bool rollout = ini.find("Rollout=") != std::string::npos;
    if (drawn < 0) EXPECT_EQ(Number(), -1) << "no number is drawn before a list with a rollout";
    Serve("Updates.ini", ini);
    form->UserSearch = step.user;
    form->ReferenceDate = t - 10;
    ASSERT_TRUE(Check());
    if (rollout && drawn < 0) {
      drawn = Number();
      ASSERT_GE(drawn, 0);
      ASSERT_LE(drawn, 99);
    }
    if (drawn >= 0) EXPECT_EQ(Number(), drawn) << "the number drawn once stays";
    const bool offered = step.expect != Nothing;
    EXPECT_EQ(form->UpdateAvailable, offered);
    const std::string text = wizard::CheckResultText(offered, offered ? "- keine Angaben gefunden\r\n" : "");
    EXPECT_EQ(form->Label_CheckResult->Text(), step.expect == SkippedOffer ? wizard::kSkippedLineText + text : text);
    EXPECT_EQ(form->Button_Skip->Visible(), step.expect == Offer);
    if (!step.skip) continue;
    Click(form->Button_Skip);
    EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, kKey), "SkippedDate=date:" + std::to_string(t) + " SkippedSHA256=sz:" + a);
    EXPECT_FALSE(form->Button_Cancel->Enabled()) << "the wizard ends as after a result without update";
    EXPECT_EQ(form->Pages->PageIndex(), wizard::kDownloadPage);
  }
  // A number that is no number of 0 to 99 is drawn again.
  ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kKey, "RolloutNumber", 100));
  Serve("Updates.ini", List(newer, a, "Rollout=0\r\n"));
  form->UserSearch = false;
  ASSERT_TRUE(Check());
  EXPECT_LT(Number(), 100);
  EXPECT_GE(Number(), 0);
}

// The download page while an archive of 2,000,000 bytes arrives at 1 MB/s, stopped, retried,
// left, and without an announced length.
TEST_F(UpdateRoadTest, DownloadShowsProgressStopsAndRetries) {
  const std::string archive = RandomBytes(2000000, 7);
  Serve("Updates\\Kasse.zip", archive);
  Serve("Updates.ini", "[Kasse]\r\nDate=" + ShortDateText(TodayNumber()) + "\r\nFile=Kasse.zip\r\n");
  auto local = [this] { return form->Work.SearchDir() + "Kasse.zip"; };
  const std::string size = wizard::FormatSize(2000000, 1, wizard::UserDecimalSeparator());
  ASSERT_EQ(size, "1,9 MB");
  const std::string zeroTime = "verbleibende Zeit: " + TimeText(0, 0, 0);

  // A stop confirmed with "Ja" part-way.
  ASSERT_TRUE(Check());
  ServerMode("/Updates/Kasse.zip", "rate=1000000");
  std::vector<std::string> percents;
  bool asked = false, existedWhenAsked = false, timeShown = false;
  DWORD answeredAt = 0;
  onBox = [&] {
    existedWhenAsked = FileExists(local());
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
        if (!asked && form->HTTP->ReceivedBytes() > 1000000) {
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
  EXPECT_FALSE(FileExists(local())) << "and is gone then";
  EXPECT_TRUE(form->DownloadAborted);
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
  EXPECT_EQ(form->Step, wizard::WizardStep::Download);
  EXPECT_EQ(ReadFileBytes(local()), archive);
  EXPECT_FALSE(form->DownloadAborted || form->CancelConfirmed);
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
  EXPECT_EQ(ReadFileBytes(local()), archive);
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
  EXPECT_EQ(ReadFileBytes(local()), archive);
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
    EXPECT_NEAR(form->Work.DownloadStart(), start, 1e-9);
    EXPECT_GT(ticks, 0);
    EXPECT_EQ(form->TimeLeft->Text(), zeroTime);
    EXPECT_EQ(ReadFileBytes(local()), archive);
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
  EXPECT_FALSE(FileExists(local()));
  EXPECT_FALSE(form->Downloading);
}

// A download that did not arrive says so, keeps nothing of it and can be tried again; an archive
// that arrived whole but is damaged leads to a clear failure on "Einrichten". No installation,
// nothing started at the end.
TEST_F(UpdateRoadTest, BrokenDownloadsAndArchivesInstallNothing) {
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
    bool cutOff;       // the server holds only the first half of the archive
    // Over https: the TLS server of the download (the check goes to the good one), and why the
    // secure connection was refused.
    const char* secure = nullptr;
    net::TTlsFault fault = net::TTlsFault::None;
  };
  std::vector<Case> cases = {
      {"404", "status=404", false},
      {"500", "status=500", false},
      {"reset in the middle", "reset=300000", false},
      {"archive cut off on the server", "rate=0", true},
  };
  // Before the last case, which ends on the installation's page.
  if (TestCaTrusted()) {
    cases.insert(cases.end() - 1, {{"https: a certificate for another name", "", false, "TLS_OTHERNAME",
                                    net::TTlsFault::OtherName},
                                   {"https redirected to http", "plainmoved=1", false, "TLS",
                                    net::TTlsFault::InsecureRedirect}});
  }
  Serve("Updates.ini", "[Kasse]\r\nDate=" + ShortDateText(TodayNumber()) + "\r\nFile=Kasse.zip\r\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Serve("Updates\\Kasse.zip", c.cutOff ? archiveBytes.substr(0, archiveBytes.size() / 2) : archiveBytes);
    ServerClear();
    ServerMode("/Updates/Kasse.zip", c.mode);
    boxes.clear();
    form->UpdateServer = c.secure ? SecureURL("TLS") : UpdateServerAuthority();
    ASSERT_TRUE(Check());
    if (c.secure) form->UpdateServer = SecureURL(c.secure);
    form->Button_NextClick(form->Button_Next);
    if (!c.cutOff) {
      EXPECT_EQ(form->Label_Download->Text(),
                c.secure ? wizard::DownloadFailedBecause(wizard::SecureConnectionText(c.fault, "localhost"))
                         : std::string(wizard::kDownloadFailedText));
      EXPECT_EQ(form->CancelDownload->Text(), "Erneut versuchen");
      EXPECT_TRUE(form->CancelDownload->Visible());
      EXPECT_FALSE(form->Button_Next->Enabled());
      EXPECT_FALSE(FileExists(form->Work.SearchDir() + "Kasse.zip")) << "nothing of the failed transfer stays";
      EXPECT_TRUE(boxes.empty());
      // The server answers again: "Erneut versuchen" fetches the whole archive.
      ServerClear();
      if (c.secure) form->UpdateServer = SecureURL("TLS");
      Click(form->CancelDownload);
      EXPECT_EQ(form->Label_Download->Text(), wizard::kDownloadDoneText);
      EXPECT_TRUE(form->Button_Next->Enabled());
      EXPECT_FALSE(form->CancelDownload->Visible());
      EXPECT_EQ(ReadFileBytes(form->Work.SearchDir() + "Kasse.zip"), archiveBytes);
      continue;
    }
    EXPECT_EQ(form->Label_Download->Text(), wizard::kDownloadDoneText);
    EXPECT_TRUE(form->Button_Next->Enabled());
    form->Button_NextClick(form->Button_Next);
    EXPECT_EQ(form->Pages->PageIndex(), 4);
    form->Button_NextClick(form->Button_Next);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("kann nicht ge\xF6\x66\x66net werden"), std::string::npos) << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("Das Update wird nicht installiert."), std::string::npos);
    EXPECT_EQ(form->Step, wizard::WizardStep::Finish);
    EXPECT_EQ(form->Pages->PageIndex(), 4);
    EXPECT_EQ(form->Label3->Text(), wizard::kInstallFailedText);
    EXPECT_EQ(form->Image_Icon2->Icon(), LoadIconA(nullptr, IDI_HAND));
    EXPECT_FALSE(form->Button_Next->Enabled());
    EXPECT_TRUE(form->Button_Cancel->Enabled());
    EXPECT_FALSE(form->InstallPrepared);
    EXPECT_FALSE(FileExists(form->Work.SearchDir() + "Update.bat"));
    EXPECT_FALSE(FileExists(form->Work.SearchDir() + "Kasse.exe"));
  }
  Click(form->Button_Cancel);
  EXPECT_TRUE(app->Terminated()) << "Abbrechen in step 5 ends the program";
  EndProgram();
  EXPECT_TRUE(shellStarts.empty());
  EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, kKey), "<no key>");
  EXPECT_EQ(ListFiles(folder), 0);
}

// A download that broke off at 60 % keeps what arrived, held by the wizard, and "Erneut
// versuchen" asks only for the rest when the server gave a validator (or the program has a key);
// whatever the server answers, the archive ends up byte for byte the served one.
TEST_F(UpdateRoadTest, BrokenDownloadContinuesWhereItBroke) {
  ASSERT_GE(sodium_init(), 0);
  const KeyPair keys = NewKeyPair();
  auto zipOf = [this](unsigned seed, std::size_t size) {
    const std::string path = folder + "..\\bau.zip";
    EXPECT_TRUE(MakeZip(path, {{"Kasse.exe", RandomBytes(size, seed), true}, {"Update.bat", " echo %s\r\n"}}));
    std::string bytes = ReadFileBytes(path);
    DeleteFileA(path.c_str());
    return bytes;
  };
  const std::string archive = zipOf(21, 1000000), changed = zipOf(22, 1000000), shorter = zipOf(23, 300000);
  const std::string cut = std::to_string(archive.size() * 6 / 10);
  const std::string served = UpdateServerRoot() + "Updates\\Kasse.zip";
  // The archive on the server with a fixed time, which Last-Modified gives.
  auto serveAt = [&](const std::string& bytes, WORD day) {
    Serve("Updates\\Kasse.zip", bytes);
    SYSTEMTIME st{2026, 1, 0, day, 10, 0, 0, 0};
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    HANDLE h = CreateFileA(served.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
  };
  const char* const jan5 = "Mon, 05 Jan 2026 10:00:00 GMT";
  enum Retry { Rest, Whole, RestThenWhole, MovedThenRest };
  struct Case {
    const char* name;
    const char* validators;  // the server's modes for the archive on both attempts
    const char* retryModes;  // more modes for the retry
    int changeTo;            // 0: the same archive; 1: another one of the same length; 2: a shorter one
    bool key;
    bool kept;               // the first part stays for the retry
    std::string ifRange;     // the If-Range of the retry ("": none)
    Retry retry;             // what the retry asks for
    bool secure = false;     // over https
  };
  std::vector<Case> cases = {
      {"ETag and ranges", "etag=1&lastmod=1", "ranges=1", 0, false, true, "\"v1\"", Rest},
      {"Last-Modified only", "lastmod=1", "ranges=1", 0, false, true, jan5, Rest},
      {"a server that ignores ranges", "etag=1", "", 0, false, true, "\"v1\"", Whole},
      {"a file changed between the attempts", "etag=1", "ranges=1&etag=2", 1, false, true, "\"v1\"", Whole},
      {"a changed file with an unchanged ETag, shorter: 416", "etag=1", "ranges=1", 2, false, true, "\"v1\"",
       RestThenWhole},
      // The redirection's body goes behind the kept bytes, never over them.
      {"a redirection before the rest", "etag=1", "ranges=1&moved=1", 0, false, true, "\"v1\"", MovedThenRest},
      {"no validator, no key: nothing kept", "", "ranges=1", 0, false, false, "", Whole},
      // With a key the signed "Size" bounds the whole archive, the kept bytes included.
      {"no validator but a key: the checksum decides", "", "ranges=1", 0, true, true, "", Rest},
  };
  if (TestCaTrusted()) cases.push_back({"over https", "etag=1", "ranges=1", 0, false, true, "\"v1\"", Rest, true});
  auto local = [this] { return form->Work.SearchDir() + "Kasse.zip"; };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ServerClear();
    form->UpdateServer = c.secure ? SecureURL("TLS") : UpdateServerAuthority();
    serveAt(archive, 5);
    const std::string& final = c.changeTo == 1 ? changed : c.changeTo == 2 ? shorter : archive;
    const std::string list = "[Kasse]\r\nDate=" + ShortDateText(TodayNumber()) + "\r\nFile=Kasse.zip\r\nSHA256=" +
                             base::HexText(Sha256(final)) + "\r\n" +
                             (c.key ? "Size=" + std::to_string(final.size()) + "\r\n" : "");
    Serve("Updates.ini", list);
    Serve("Updates.ini.sig", base::EncodeBase64(Sign(list, keys)));
    form->UpdatePublicKey = c.key ? base::EncodeBase64(keys.publicKey) : std::string();
    ASSERT_TRUE(Check());
    ServerMode("/Updates/Kasse.zip", std::string(c.validators) + "&cut=" + cut);
    form->Button_NextClick(form->Button_Next);
    EXPECT_EQ(form->Label_Download->Text(), wizard::kDownloadFailedText);
    EXPECT_EQ(form->CancelDownload->Text(), "Erneut versuchen");
    const std::string part = ReadFileBytes(local());
    if (!c.kept) {
      EXPECT_EQ(part, "<missing>");
    } else {
      ASSERT_EQ(std::to_string(part.size()), cut);
      EXPECT_TRUE(part == archive.substr(0, part.size()));
      // Held by the wizard: no other process writes into what the retry continues.
      HANDLE writer = CreateFileA(local().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
      EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
      if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    }

    ServerClear();
    if (c.changeTo) serveAt(final, 6);
    ServerMode("/Updates/Kasse.zip", std::string(c.validators) + "&" + c.retryModes);
    const bool watch = c.retry == Rest && c.kept;
    // About 1.2 s for the rest: the progress, shown four times a second, shows it rising.
    if (watch) ServerMode("/Updates/Kasse.zip", "rate=350000");
    std::vector<std::string> percents, amounts;
    const std::string logBefore = ServerLog();
    WhileTicking(
        [&] {
          if (!form->Downloading) return;
          if (percents.empty() || percents.back() != form->PerCent->Text()) percents.push_back(form->PerCent->Text());
          amounts.push_back(form->StatusLabel->Text());
        },
        [&] { Click(form->CancelDownload); });
    const std::string plain = "GET /Updates/Kasse.zip HTTP/1.0\n";
    const std::string ranged =
        plain + "  Range: bytes=" + std::to_string(part.size()) + "-\n" + (c.ifRange.empty() ? "" : "  If-Range: " + c.ifRange + "\n");
    EXPECT_EQ(ServerLog().substr(logBefore.size()),
              !c.kept                     ? plain
              : c.retry == RestThenWhole  ? ranged + plain
              : c.retry == MovedThenRest ? ranged + ranged
                                          : ranged);
    EXPECT_EQ(form->Label_Download->Text(), wizard::kDownloadDoneText);
    EXPECT_TRUE(ReadFileBytes(local()) == final) << "the archive is the served one, byte for byte";
    const std::string whole = wizard::FormatSize(static_cast<std::int64_t>(final.size()), 1, wizard::UserDecimalSeparator());
    EXPECT_EQ(form->PerCent->Text(), "100 %");
    EXPECT_EQ(form->StatusLabel->Text(), whole + " von " + whole + " gedownloadet");
    EXPECT_EQ(form->Status->Max(), static_cast<int>(final.size()));
    if (watch) {
      // The bytes of the first attempt count from the first block of the rest on: the bar never
      // shows less than 60 %, and the amounts always the whole archive.
      ASSERT_GE(percents.size(), 3u);
      for (const std::string& percent : percents) EXPECT_GE(std::stoi(percent), 60) << percent;
      for (const std::string& amount : amounts) EXPECT_NE(amount.find(" von " + whole), std::string::npos) << amount;
    }
    if (!c.key) continue;
    form->Button_NextClick(form->Button_Next);
    form->Button_NextClick(form->Button_Next);
    EXPECT_TRUE(form->InstallPrepared) << "the checksum of the whole archive matched";
  }
}

// The user's proxy from the Internet options: the check and the download go through it when the
// settings say so (the proxy's log is the proof), directly for an override that matches or
// without settings; a proxy that refuses is a failed check or download that names it.
TEST_F(UpdateRoadTest, ChecksAndDownloadsGoThroughTheUsersProxy) {
  ASSERT_NE(ProxyPort(), 0);
  struct ClearSettings {
    ~ClearSettings() { SetUserProxy(-1, "", ""); }
  } clearAtEnd;

  const std::string archive = RandomBytes(300000, 11);
  Serve("Updates\\Kasse.zip", archive);
  Serve("Updates.ini", "[Kasse]\r\nDate=" + ShortDateText(TodayNumber()) + "\r\nFile=Kasse.zip\r\n");
  const std::string proxy = "127.0.0.1:" + std::to_string(ProxyPort());
  const std::string refusing = "127.0.0.1:" + std::to_string(ClosedPort());
  // The server by another name of 127.0.0.1: the loopback names never go through a proxy.
  const std::string named = OtherHost() + ":" + std::to_string(ServerPort());
  const std::string server = "http://" + named;
  struct Case {
    const char* name;
    int enable;  // "ProxyEnable"; -1: absent
    std::string proxyServer, proxyOverride;
    bool via;    // through the proxy
    bool fails;  // the check fails
    bool secure = false;  // the server speaks https: through the "https=" proxy, in a tunnel
  };
  std::vector<Case> cases = {
      {"no settings", -1, "", "", false, false},
      {"host:port", 1, proxy, "", true, false},
      {"switched off", 0, proxy, "", false, false},
      {"an override that matches", 1, proxy, "*.intern; " + OtherHost(), false, false},
      {"the loopback address", 1, proxy, "", false, false},
      {"a proxy that refuses", 1, refusing, "", false, true},
      {"a proxy that asks for a password", 1, proxy, "", true, true},
  };
  const std::string secureNamed = OtherHost() + SecureURL("TLS").substr(SecureURL("TLS").rfind(':'));
  const std::string tunnel = "CONNECT " + secureNamed + " HTTP/1.0\n";
  if (TestCaTrusted()) {
    cases.push_back({"https through the https= proxy", 1, "http=" + refusing + ";https=" + proxy, "", true, false, true});
    cases.push_back({"a tunnel that asks for a password", 1, "https=" + proxy, "", true, true, true});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUserProxy(c.enable, c.proxyServer, c.proxyOverride);
    ServerClear();
    if (c.fails && c.via) ServerMode(c.secure ? "CONNECT" : "/Updates.ini", "proxyauth=1");
    form->UpdateServer = c.secure                        ? "https://" + secureNamed
                         : std::string(c.name) == "the loopback address" ? UpdateServerAuthority()
                                                          : named;
    boxes.clear();
    const std::string logBefore = ServerLog(), proxyBefore = ProxyLog();
    const bool checked = Check();
    EXPECT_EQ(checked, !c.fails);
    // The list's request says that no cache on the way may answer; a direct one stays as it was.
    if (checked) {
      EXPECT_EQ(ServerGet("/_last").find("Pragma: no-cache\r\nCache-Control: no-cache\r\n") != std::string::npos, c.via);
    }
    if (checked) form->Button_NextClick(form->Button_Next);
    EXPECT_EQ(ProxyLog().substr(proxyBefore.size()),
              !c.via      ? ""
              : c.secure  ? (c.fails ? tunnel : tunnel + tunnel)
              : c.fails   ? "GET " + server + "/Updates.ini HTTP/1.0\n"
                          : "GET " + server + "/Updates.ini HTTP/1.0\nGET " + server + "/Updates/Kasse.zip HTTP/1.0\n");
    EXPECT_EQ(ServerLog().substr(logBefore.size()),
              c.fails ? "" : "GET /Updates.ini HTTP/1.0\nGET /Updates/Kasse.zip HTTP/1.0\n");
    if (c.fails) {
      ASSERT_EQ(boxes.size(), 1u);
      // A proxy that asks for a password is named as one.
      EXPECT_EQ(boxes[0].text, c.via ? wizard::ProxyAuthText(proxy)
                                     : std::string(wizard::kNoConnectionText) + wizard::kViaProxyText + c.proxyServer + ".");
      EXPECT_EQ(boxes[0].caption, "Internetverbindung erforderlich");
      continue;
    }
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(form->Label_Download->Text(), wizard::kDownloadDoneText);
    EXPECT_TRUE(ReadFileBytes(form->Work.SearchDir() + "Kasse.zip") == archive);
  }

  // The proxy goes away between the check and the download: the download fails, keeps nothing,
  // and goes through once the settings name none.
  ServerClear();
  form->UpdateServer = named;
  SetUserProxy(1, proxy, "");
  ASSERT_TRUE(Check());
  SetUserProxy(1, refusing, "");
  form->Button_NextClick(form->Button_Next);
  EXPECT_EQ(form->Label_Download->Text(), wizard::kDownloadFailedText);
  EXPECT_FALSE(FileExists(form->Work.SearchDir() + "Kasse.zip"));
  SetUserProxy(0, refusing, "");
  Click(form->CancelDownload);
  EXPECT_EQ(form->Label_Download->Text(), wizard::kDownloadDoneText);
  EXPECT_TRUE(ReadFileBytes(form->Work.SearchDir() + "Kasse.zip") == archive);
}

// Step 5 on an archive already in the temporary folder: the "Update.bat" it writes, byte for
// byte, or the failure it shows.
TEST_F(UpdateRoadTest, InstallationWritesTheBatchFile) {
  char exeBuffer[MAX_PATH];
  const std::string exe(exeBuffer, GetModuleFileNameA(nullptr, exeBuffer, MAX_PATH));
  const std::string prog = wizard::ToOemText(exe.substr(0, exe.find_last_of('\\') + 1));
  // The search folder in its OEM form, put in per case below: each check makes a new one.
  const std::string temp = "\x01";
  ASSERT_NE(wizard::ToOemText(folder).find('\x84'), std::string::npos) << "the temporary folder in its OEM form";
  const std::string eight =
      "@echo off\r\n:warte %s\r\nif exist \"%sKasse.lock\" goto warte\r\ncopy /y \"%0:sKasse.exe\" \"%1:sKasse.exe\"\r\n"
      " rem Rest %s\r\ndel \"%sKasse.exe\"\r\necho 100%% fertig\r\n[%-12.5s]";
  const std::string formatted = "@echo off\r\n:warte " + prog + "\r\nif exist \"" + prog + "Kasse.lock\" goto warte\r\n" +
                                "copy /y \"" + temp + "Kasse.exe\" \"" + prog + "Kasse.exe\"\r\n rem Rest " + temp +
                                "\r\ndel \"" + temp + "Kasse.exe\"\r\necho 100% fertig\r\n[" + wizard::ToOemText(folder).substr(0, 5) +
                                "       ]\r\n";
  const std::string restart = "\"" + wizard::ToOemText(exe) + "\"\r\n";
  // Two seconds after the batch, the program removes the folder; the last line deletes the batch.
  const std::string system = wizard::SystemFolder();
  const std::string del = "cd /d " + system + " & start \"\" /b " + system + "cmd.exe /d /c \"" + system +
                          "ping.exe -n 3 127.0.0.1 >nul & \"" + wizard::ToOemText(exe) + "\" /trelk-cleanup\"\r\ndel " +
                          temp + "Update.bat\r\n";
  const std::string program = RandomBytes(300000, 5);
  std::string damaged;
  {
    const std::string path = folder + "kaputt.zip";
    ASSERT_TRUE(MakeZip(path, {{"Kasse.exe", program, true}, {"daten.bin", RandomBytes(200000, 9), true},
                               {"Update.bat", eight}}));
    damaged = ReadFileBytes(path);
    DeleteFileA(path.c_str());
    damaged[damaged.find(RandomBytes(200000, 9).substr(0, 64)) + 100000] ^= 0x55;
  }
  Serve("Updates.ini", "[Kasse]\r\nDate=" + ShortDateText(TodayNumber()) + "\r\nFile=Kasse.zip\r\n");
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
      {"an Update.bat put into the folder before is neither replaced nor used",
       {{"Kasse.exe", program}, {"Update.bat", eight}}, "", " echo alt %s\r\n", false, "",
       "Der Eintrag \"Update.bat\" des Archivs kann nicht entpackt werden: Im tempor\xE4ren Ordner ist schon eine "
       "Datei dieses Namens."},
      {"a format of another type", {{"Kasse.exe", program}, {"Update.bat", "a\r\nb\r\nc\r\nd\r\n tail %d\r\n"}}, "", "",
       true, "", "Format ' tail %d' ung\xFCltig oder nicht kompatibel mit Argument"},
      {"no template in the archive", {{"Kasse.exe", program}}, "", "", true, "",
       "Die Datei \"\x02Update.bat\" kann nicht ge\xF6\x66\x66net werden."},
      {"an entry failing its checksum", {}, damaged, "", true, "", "Der Eintrag \"daten.bin\" des Archivs ist fehlerhaft"},
      {"no archive", {}, "", "", true, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Check());  // the search folder, as the check makes it
    const std::string search = form->Work.SearchDir();
    std::string batch = c.batch;
    for (std::size_t at; (at = batch.find('\x01')) != std::string::npos;) batch.replace(at, 1, wizard::ToOemText(search));
    std::string wanted = c.error;  // \x02: the search folder as the message names it
    if (wanted.find('\x02') != std::string::npos) wanted.replace(wanted.find('\x02'), 1, search);
    const std::string archive = search + "Kasse.zip";
    if (!c.entries.empty()) ASSERT_TRUE(MakeZip(archive, c.entries));
    if (!c.raw.empty()) WriteFileBytes(archive, c.raw);
    if (!c.stale.empty()) WriteFileBytes(search + "Update.bat", c.stale);
    form->CheckBox_Restart->SetChecked(c.restart);
    form->Label3->SetCaption("");
    form->Image_Icon2->SetIcon(nullptr);
    form->Step = wizard::WizardStep::Install;  // on "Einrichten"
    form->Pages->SetPageIndex(4);
    boxes.clear();
    std::string error;
    try {
      form->Button_NextClick(form->Button_Next);
    } catch (const base::Exception& e) {
      error = e.Message();
    }
    const bool hasArchive = !c.entries.empty() || !c.raw.empty();
    EXPECT_EQ(form->Step, wizard::WizardStep::Finish);
    EXPECT_EQ(form->InstallPrepared, !c.batch.empty());
    if (!c.batch.empty()) {
      EXPECT_EQ(error, "");
      EXPECT_TRUE(boxes.empty());
      EXPECT_EQ(ReadFileBytes(search + "Update.bat"), batch);
      EXPECT_EQ(ReadFileBytes(form->Work.SearchDir() + "Kasse.exe"), program);
      EXPECT_FALSE(FileExists(archive)) << "the archive is deleted";
      EXPECT_EQ(form->Pages->PageIndex(), 5);
      EXPECT_EQ(form->Button_Next->Text(), "Beenden");
      EXPECT_FALSE(form->Button_Cancel->Enabled());
      continue;
    }
    EXPECT_EQ(form->Pages->PageIndex(), 4);
    EXPECT_EQ(FileExists(archive), hasArchive) << "the archive stays";
    if (!c.raw.empty() || !hasArchive || !c.stale.empty()) {
      // The failure state: the archive cannot serve, and what it brought is gone again.
      EXPECT_EQ(error, "");
      ASSERT_EQ(boxes.size(), hasArchive ? 1u : 0u);
      if (hasArchive) EXPECT_EQ(boxes[0].text.substr(0, wanted.size()), wanted);
      EXPECT_EQ(form->Label3->Text(), wizard::kInstallFailedText);
      EXPECT_EQ(form->Image_Icon2->Icon(), LoadIconA(nullptr, IDI_HAND));
      EXPECT_FALSE(form->Button_Next->Enabled());
      std::string listed = Listing(search);  // beside the list of the check ("$....tmp")
      if (listed.rfind("[$", 0) == 0) listed.erase(0, listed.find(']') + 1);
      EXPECT_EQ(listed, std::string(hasArchive ? "[Kasse.zip]" : "") + (c.stale.empty() ? "" : "[Update.bat]"));
      if (!c.stale.empty()) EXPECT_EQ(ReadFileBytes(search + "Update.bat"), c.stale);
    } else {
      // A template error reaches the general error handler; the wizard stays on "Einrichten"
      // with "Weiter >" usable, and the template is as it came.
      EXPECT_EQ(error, wanted);
      EXPECT_TRUE(form->Button_Next->Enabled());
      EXPECT_EQ(form->Label3->Text(), "");
      const std::string expectedTemplate =
          !c.stale.empty() ? c.stale : (c.entries.size() > 1 ? c.entries[1].data : std::string("<missing>"));
      EXPECT_EQ(ReadFileBytes(form->Work.SearchDir() + "Update.bat"), expectedTemplate);
    }
  }
}

// The wrappers over libsodium: a signature verifies only for its message and key, and the
// archive's digest is the same whether it is read in one block or in many.
TEST_F(UpdateRoadTest, SignatureAndChecksumOfFiles) {
  ASSERT_GE(sodium_init(), 0);
  const KeyPair keys = NewKeyPair(), other = NewKeyPair();
  const std::string list = "[Kasse]\r\nDate=1.2.2003\r\n";
  const std::string signature = Sign(list, keys);
  std::string flipped = signature;
  flipped[63] ^= 0x01;
  EXPECT_TRUE(wizard::SignatureVerifies(list, signature, keys.publicKey));
  EXPECT_FALSE(wizard::SignatureVerifies(list + " ", signature, keys.publicKey));
  EXPECT_FALSE(wizard::SignatureVerifies(list, flipped, keys.publicKey));
  EXPECT_FALSE(wizard::SignatureVerifies(list, signature, other.publicKey));
  EXPECT_FALSE(wizard::SignatureVerifies(list, signature.substr(0, 63), keys.publicKey));
  EXPECT_FALSE(wizard::SignatureVerifies(list, signature, keys.secretKey)) << "64 bytes are no public key";
  EXPECT_TRUE(wizard::SignatureVerifies("", Sign("", keys), keys.publicKey));

  struct File {
    std::string bytes;
    const char* hex;  // nullptr: computed in one piece here
  } files[] = {
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {RandomBytes(65536, 1), nullptr},
      {RandomBytes(65537, 2), nullptr},
      {RandomBytes(5 * 1048576 + 13, 3), nullptr},
  };
  const std::string path = folder + "pr\xFC" "fen.zip";
  for (const File& f : files) {
    WriteFileBytes(path, f.bytes);
    auto digest = wizard::FileSha256(path);
    ASSERT_TRUE(digest) << f.bytes.size();
    EXPECT_EQ(base::HexText(*digest), f.hex ? f.hex : base::HexText(Sha256(f.bytes))) << f.bytes.size();
  }
  DeleteFileA(path.c_str());
  EXPECT_FALSE(wizard::FileSha256(path)) << "a file that is not there";
  EXPECT_FALSE(wizard::FileSha256(folder)) << "a folder";
  WriteFileBytes(path, std::string(5000, 'x'));
  {
    // The road's one whole-file reader: a file up to its bound, nothing of one beyond it.
    const toolkit::ScopedFile held = wizard::HoldForReading(path);
    std::string bytes;
    EXPECT_TRUE(wizard::ReadHeld(held.get(), 5000, bytes));
    EXPECT_EQ(bytes, std::string(5000, 'x'));
    EXPECT_FALSE(wizard::ReadHeld(held.get(), 4999, bytes));
  }
  DeleteFileA(path.c_str());
  EXPECT_EQ(wizard::BuiltInPublicKey(), "") << "this test program has no key of its own";
}

// A wizard with a built-in key: the list is read only with a signature that verifies, the
// result page says why otherwise and leads back to a new check; the date comparison still
// decides; nothing of a refused list stays in the folder.
TEST_F(UpdateRoadTest, SignedListsAreReadOnlyWhenTheSignatureVerifies) {
  ASSERT_GE(sodium_init(), 0);
  const KeyPair keys = NewKeyPair(), other = NewKeyPair();
  form->UpdatePublicKey = base::EncodeBase64(keys.publicKey) + "\r\n";
  const int t = TodayNumber();
  const std::string newer = "[Kasse]\r\nDate=" + ShortDateText(t) + "\r\nFile=Kasse.zip\r\nNews=" + ShortDateText(t) +
                            ":Signiert\r\n[Waage]\r\nDate=1.1.2003\r\n";
  const std::string older = "[Kasse]\r\nDate=" + ShortDateText(t - 3) + "\r\nFile=Kasse.zip\r\n";
  const std::string undated = "[Kasse]\r\nFile=Kasse.zip\r\n";
  const std::string badDate = "[Kasse]\r\nDate=bald\r\nFile=Kasse.zip\r\n";
  std::string changedList = newer;
  changedList[changedList.find("Signiert")] = 's';
  // Serial and expiry: the list as published, its replay, an expired one, and the old form.
  auto stamped = [&](const std::string& list, const char* serial, int expires) {
    return list + "\r\n[<Liste>]\r\nSerial=" + serial + "\r\nExpires=" + MakerDate(expires) + "\r\n";
  };
  const std::string serial7 = stamped(newer, "7", t + 30), serial6 = stamped(newer, "6", t + 300);
  const std::string expired = stamped(newer, "9", t - 1), lastDay = stamped(newer, "8", t);
  const std::string sized = stamped("[Kasse]\r\nDate=" + ShortDateText(t) + "\r\nFile=Kasse.zip\r\nSize=viel\r\n", "9", t + 30);
  std::string flipped = base::EncodeBase64(Sign(newer, keys));
  flipped[10] = flipped[10] == 'A' ? 'B' : 'A';
  using wizard::Refusal;
  enum Signature { Served, Missing, Status500, CutOff, NoLength };
  struct Case {
    const char* name;
    std::string list;       // what the server sends as the list
    std::string signature;  // what it sends as "Updates.ini.sig"
    Signature how;
    Refusal refusal;
    bool update;  // with Refusal::None
    bool fails;   // the connection message instead
    // "UpdateSerial" in the program key before and after the check (-1: absent).
    long long storedBefore = -1, storedAfter = -1;
    // "Updates.ini.chain", asked for when the signature is none of the key's; empty: none there.
    std::string chain = "";
    Signature chainHow = Served;
  } cases[] = {
      {"signed", newer, base::EncodeBase64(Sign(newer, keys)), Served, Refusal::None, true, false},
      {"signature with blanks and CR LF", newer, "  " + base::EncodeBase64(Sign(newer, keys)) + " \r\n", Served, Refusal::None, true,
       false},
      {"an older signed list brings nothing in", older, base::EncodeBase64(Sign(older, keys)), Served, Refusal::None, false, false},
      {"no signature on the server", newer, "", Missing, Refusal::ListUnsigned, false, false},
      {"status 500 for the signature", newer, base::EncodeBase64(Sign(newer, keys)), Status500, Refusal::ListUnsigned, false,
       false},
      {"one byte of the list changed", changedList, base::EncodeBase64(Sign(newer, keys)), Served, Refusal::ListSignatureInvalid,
       false, false},
      {"one character of the signature changed", newer, flipped, Served, Refusal::ListSignatureInvalid, false, false},
      {"signed by another key", newer, base::EncodeBase64(Sign(newer, other)), Served, Refusal::ListSignatureInvalid, false, false},
      {"the signature of another list", newer, base::EncodeBase64(Sign(older, keys)), Served, Refusal::ListSignatureInvalid, false,
       false},
      {"raw signature bytes instead of Base64", newer, Sign(newer, keys), Served, Refusal::ListSignatureInvalid, false,
       false},
      {"a page of 10 KB as signature", newer, std::string(10000, 'A'), Served, Refusal::ListSignatureInvalid, false,
       false},
      {"a signature streamed without length beyond 4 KB", newer, std::string(1 << 20, 'A'), NoLength,
       Refusal::ListSignatureInvalid, false, false},
      {"a signature cut off by a reset", newer, std::string(3000, 'A'), CutOff, Refusal::None, false, true},
      {"a signed list without Date", undated, base::EncodeBase64(Sign(undated, keys)), Served, Refusal::ListDateUnreadable, false,
       false},
      {"a signed list with a Date that is no date", badDate, base::EncodeBase64(Sign(badDate, keys)), Served,
       Refusal::ListDateUnreadable, false, false},
      // A program that never saw a serial reads the first one and keeps it; a lower one is a
      // replay, an equal one the same list again, a passed expiry day refused, and the old form
      // refused once a serial was seen.
      {"the first list with a serial", serial7, base::EncodeBase64(Sign(serial7, keys)), Served, Refusal::None, true, false, -1, 7},
      {"the same list again", serial7, base::EncodeBase64(Sign(serial7, keys)), Served, Refusal::None, true, false, 7, 7},
      {"a higher serial", serial7, base::EncodeBase64(Sign(serial7, keys)), Served, Refusal::None, true, false, 3, 7},
      {"a replayed list", serial6, base::EncodeBase64(Sign(serial6, keys)), Served, Refusal::ListReplayed, false, false, 7, 7},
      {"an expired list", expired, base::EncodeBase64(Sign(expired, keys)), Served, Refusal::ListExpired, false, false, 7, 7},
      {"on its expiry day", lastDay, base::EncodeBase64(Sign(lastDay, keys)), Served, Refusal::None, true, false, 7, 8},
      {"the old form after a serial", newer, base::EncodeBase64(Sign(newer, keys)), Served, Refusal::ListWithoutSerial, false,
       false, 7, 7},
      {"a Size that is no number", sized, base::EncodeBase64(Sign(sized, keys)), Served, Refusal::ListValueUnreadable, false,
       false, -1, -1},
      // A chain is read only whole and within its limit, and as the one form.
      {"a chain streamed without length beyond 16 KB", newer, "", Missing, Refusal::ListSignatureInvalid, false, false, -1,
       -1, std::string(1 << 20, '['), NoLength},
      {"a chain cut off by a reset", newer, "", Missing, Refusal::None, false, true, -1, -1, std::string(9000, '['), CutOff},
      {"a chain of another form", newer, flipped, Served, Refusal::ListSignatureInvalid, false, false, -1, -1,
       "[Delegation]\nKey=" + base::EncodeBase64(keys.publicKey) + "\n"},
  };
  auto setStored = [&](long long serial) {
    DeleteKey(HKEY_LOCAL_MACHINE, kKey);  // a program that never accepted a serial
    if (serial >= 0)
      settings::ProgramKey(HKEY_LOCAL_MACHINE, kKey, settings::ProgramKey::Access::Create)
          .SetUpdateSerial(static_cast<std::uint32_t>(serial));
  };
  auto stored = [&]() -> long long {
    const auto serial = settings::ProgramKey(HKEY_LOCAL_MACHINE, kKey, settings::ProgramKey::Access::Read).UpdateSerial();
    return serial ? static_cast<long long>(*serial) : -1;
  };
  // The check's work without the window: what it finds, what it stores, what stays in the folder.
  net::THttpClient http(nullptr);
  net::UseUpdateTransferSettings(http, "");
  wizard::RunProgram program;
  program.name = "Kasse";
  program.zipFileName = "Kasse.zip";
  program.registryKey = kKey;
  program.referenceDate = form->ReferenceDate;
  program.server = UpdateServerAuthority();
  program.publicKey = form->UpdatePublicKey;
  wizard::UpdateRun run;
  auto serve = [&](const Case& c) {
    ServerClear();
    Serve("Updates.ini", c.list);
    DeleteFileA((UpdateServerRoot() + "Updates.ini.sig").c_str());
    if (c.how != Missing) Serve("Updates.ini.sig", c.signature);
    if (c.how == Status500) ServerMode("/Updates.ini.sig", "status=500");
    if (c.how == NoLength) ServerMode("/Updates.ini.sig", "nolength=1");
    if (c.how == CutOff) ServerMode("/Updates.ini.sig", "reset=1000");
    DeleteFileA((UpdateServerRoot() + "Updates.ini.chain").c_str());
    if (!c.chain.empty()) Serve("Updates.ini.chain", c.chain);
    if (c.chainHow == NoLength) ServerMode("/Updates.ini.chain", "nolength=1");
    if (c.chainHow == CutOff) ServerMode("/Updates.ini.chain", "reset=1000");
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    serve(c);
    setStored(c.storedBefore);
    const std::string logBefore = ServerLog();
    run.Begin(folder);
    const wizard::CheckOutcome outcome = run.Check(http, program);
    // The chain is asked for when the signature is none of the key's, and the connection held.
    const bool chainAsked = (c.refusal == Refusal::ListUnsigned || c.refusal == Refusal::ListSignatureInvalid) ||
                            !c.chain.empty();
    EXPECT_EQ(ServerLog().substr(logBefore.size()), std::string("GET /Updates.ini HTTP/1.0\nGET /Updates.ini.sig HTTP/1.0\n") +
                                                        (chainAsked ? "GET /Updates.ini.chain HTTP/1.0\n" : ""));
    EXPECT_EQ(stored(), c.storedAfter);
    if (c.fails) {
      EXPECT_EQ(outcome.kind, wizard::CheckOutcome::NoConnection);
      EXPECT_EQ(ListFiles(folder), 0);
      continue;
    }
    EXPECT_EQ(outcome.refusal, c.refusal);
    EXPECT_EQ(outcome.kind, c.refusal != Refusal::None ? wizard::CheckOutcome::Refused
                            : c.update                 ? wizard::CheckOutcome::Offered
                                                       : wizard::CheckOutcome::NoUpdate);
    if (c.refusal == Refusal::None) {
      if (c.update) EXPECT_EQ(run.News("Kasse").value_or("<none>"), ShortDateText(t) + ":Signiert");
      EXPECT_EQ(ListFiles(folder), 1) << "the list stays, its signature file goes";
      continue;
    }
    EXPECT_EQ(ListFiles(folder), 0) << "neither list nor signature stays";
    EXPECT_EQ(Listing(folder), "");
    if (c.storedBefore >= 0) {
      // The next search finds the current list and offers its update.
      ServerClear();
      Serve("Updates.ini", serial7);
      Serve("Updates.ini.sig", base::EncodeBase64(Sign(serial7, keys)));
      EXPECT_EQ(run.Check(http, program).kind, wizard::CheckOutcome::Offered);
      EXPECT_EQ(stored(), 7);
    }
  }
  // Other programs judged by the same list, as the settings tool's look at all programs does: a
  // release key signs only for the programs its delegation names, and a program that accepted a
  // later list takes none older.
  {
    const KeyPair release = NewKeyPair();
    const std::string list = stamped("[Kasse]\r\nDate=" + ShortDateText(t) + "\r\nFile=Kasse.zip\r\n[Waage]\r\nDate=" +
                                         ShortDateText(t) + "\r\n[Uhr]\r\nDate=" + ShortDateText(t) + "\r\n[Alt]\r\nDate=" +
                                         ShortDateText(t - 9) + "\r\n",
                                     "7", t + 30);
    base::KeyChain chain;
    chain.delegation.signedText =
        base::DelegationText(release.publicKey, {"Kasse", "waage", "Alt"}, 1, MakerDate(t + 30), base::KeyId(keys.publicKey));
    chain.delegation.signature = Sign(chain.delegation.signedText, keys);
    chain.listSignature = Sign(list, release);
    ServerClear();
    Serve("Updates.ini", list);
    DeleteFileA((UpdateServerRoot() + "Updates.ini.sig").c_str());
    Serve("Updates.ini.chain", base::KeyChainText(chain));
    setStored(-1);
    run.Begin(folder);
    ASSERT_EQ(run.Check(http, program).kind, wizard::CheckOutcome::Offered);
    const char kMember[] = "ThemenWaage";
    struct Member {
      const char* name;
      long long stored;  // the member's "UpdateSerial" (-1: none)
      wizard::CheckOutcome::Kind kind;
      Refusal refusal;
      long long epoch = -1;  // the member's "UpdateKeyEpoch" (-1: none)
    } members[] = {
        {"Waage", -1, wizard::CheckOutcome::Offered, Refusal::None},
        {"Waage", 9, wizard::CheckOutcome::Refused, Refusal::ListReplayed},
        {"Waage", -1, wizard::CheckOutcome::Refused, Refusal::KeyEpochLower, 2},
        {"Uhr", -1, wizard::CheckOutcome::Refused, Refusal::ProgramNotCovered},
        {"Alt", -1, wizard::CheckOutcome::NoUpdate, Refusal::None},
    };
    for (const Member& m : members) {
      SCOPED_TRACE(std::string(m.name) + " " + std::to_string(m.stored));
      DeleteKey(HKEY_LOCAL_MACHINE, kMember);
      settings::ProgramKey key(HKEY_LOCAL_MACHINE, kMember, settings::ProgramKey::Access::Create);
      if (m.stored >= 0) key.SetUpdateSerial(static_cast<std::uint32_t>(m.stored));
      if (m.epoch >= 0) key.SetUpdateKeyEpoch(static_cast<std::uint32_t>(m.epoch));
      wizard::RunProgram member;
      member.name = m.name;
      member.registryKey = kMember;
      member.referenceDate = t - 3 + 0.5;
      member.publicKey = program.publicKey;
      const wizard::CheckOutcome judged = run.JudgeMember(member);
      EXPECT_EQ(judged.kind, m.kind);
      EXPECT_EQ(judged.refusal, m.refusal);
    }
    DeleteKey(HKEY_LOCAL_MACHINE, kMember);
    DeleteFileA((UpdateServerRoot() + "Updates.ini.chain").c_str());
  }
  run.DropSearch();

  // What the wizard shows of a refusal, and its way back: the check page, ready for a new check.
  serve(cases[3]);
  setStored(-1);
  boxes.clear();
  Check();
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(form->Step, wizard::WizardStep::Result);
  EXPECT_EQ(form->Panel_Title->Text(), "Ergebnis der Prüfung");
  EXPECT_FALSE(form->UpdateAvailable);
  EXPECT_EQ(form->Label_CheckResult->Text(), wizard::RefusalText(Refusal::ListUnsigned));
  EXPECT_EQ(form->Button_Next->Text(), "< Zurück");
  EXPECT_TRUE(form->Button_Next->Enabled());
  EXPECT_TRUE(form->Button_Cancel->Enabled());
  Click(form->Button_Next);
  EXPECT_EQ(form->Step, wizard::WizardStep::Check);
  EXPECT_EQ(form->Pages->PageIndex(), 1);
  EXPECT_EQ(form->Panel_Title->Text(), "Auf neue Updates prüfen");
  EXPECT_EQ(form->Button_Next->Text(), "Weiter >");
  EXPECT_FALSE(form->Button_Next->Enabled());
  EXPECT_TRUE(form->Button_Check->Enabled());
  serve(cases[0]);
  form->Button_CheckClick(form->Button_Check);
  EXPECT_EQ(form->Step, wizard::WizardStep::Result);
  EXPECT_TRUE(form->UpdateAvailable);
  EXPECT_EQ(form->Label_CheckResult->Text(), wizard::CheckResultText(true, "- " + ShortDateText(t) + ":Signiert\r\n"));
  EXPECT_EQ(form->Button_Next->Text(), "Weiter >");

  // A computer whose short date puts the month first: the maker's dates (dd.MM.yyyy) still read
  // as published. The installed version is not offered again, a newer one is, and an older
  // signed list served again brings nothing in.
  char saved[80] = "";
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, saved, sizeof saved);
  ASSERT_TRUE(SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, "M/d/yyyy"));
  struct RestoreFormat {
    std::string picture;
    ~RestoreFormat() { SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, picture.c_str()); }
  } restore{saved};
  ASSERT_NE(ShortDateText(t).find('/'), std::string::npos);
  form->ReferenceDate = t - 1 + 0.5;  // installed yesterday
  struct Dated {
    const char* name;
    int day;  // the list's Date, relative to today
    bool update;
  } dated[] = {{"the installed version's own release", -1, false}, {"a newer release", 0, true},
               {"an older signed list served again", -3, false}};
  for (const Dated& d : dated) {
    SCOPED_TRACE(d.name);
    const std::string list = "[Kasse]\r\nDate=" + MakerDate(t + d.day) + "\r\nFile=Kasse.zip\r\nNews=" +
                             MakerDate(t + d.day) + ":Neu," + MakerDate(t - 5) + ":Alt\r\n";
    Serve("Updates.ini", list);
    Serve("Updates.ini.sig", base::EncodeBase64(Sign(list, keys)));
    boxes.clear();
    ASSERT_TRUE(Check());
    EXPECT_EQ(form->UpdateAvailable, d.update);
    EXPECT_EQ(form->Label_CheckResult->Text(),
              wizard::CheckResultText(d.update, d.update ? "- " + MakerDate(t + d.day) + ":Neu\r\n" : ""));
  }

  // A refusal closed with "Abbrechen" writes no reminder date: the search stays due.
  EndProgram();
  EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, kKey), "<no key>");
  EXPECT_EQ(Listing(folder), "");
}

// Step 5 with a built-in key: the archive is unpacked only when its SHA-256 is the section's
// "SHA256"; otherwise "Einrichten" says why, the archive is gone, and "< Zurück" leads to a new
// check, after which a sound archive installs. Without a key the same list installs whatever
// its "SHA256" says, and no signature is asked for.
TEST_F(UpdateRoadTest, SignedArchivesAreUnpackedOnlyWithTheirChecksum) {
  ASSERT_GE(sodium_init(), 0);
  const KeyPair keys = NewKeyPair();
  std::string archive;
  {
    const std::string path = folder + "..\\gut.zip";
    ASSERT_TRUE(MakeZip(path, {{"Kasse.exe", RandomBytes(300000, 4), true}, {"Update.bat", " echo %s\r\n"}}));
    archive = ReadFileBytes(path);
    DeleteFileA(path.c_str());
  }
  std::string changed = archive;
  changed[changed.size() / 2] ^= 0x20;
  std::string upper = base::HexText(Sha256(archive));
  for (char& ch : upper) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
  const std::string head = "[Kasse]\r\nDate=" + ShortDateText(TodayNumber()) + "\r\nFile=Kasse.zip\r\n";
  using wizard::Refusal;
  struct Case {
    const char* name;
    bool key;
    std::string sha256Line;  // the section's "SHA256" line, or none
    std::string served;      // the archive on the server
    Refusal refusal;
    long long size = -1;     // the section's "Size" (-1: none)
    bool noLength = false;   // the server sends the archive without Content-Length
  } cases[] = {
      {"checksum in upper case", true, "SHA256=" + upper + "\r\n", archive, Refusal::None},
      {"no SHA256", true, "", archive, Refusal::ArchiveUnchecked},
      {"an empty SHA256", true, "SHA256=\r\n", archive, Refusal::ArchiveUnchecked},
      {"one byte of the archive changed", true, "SHA256=" + base::HexText(Sha256(archive)) + "\r\n", changed,
       Refusal::ArchiveDamaged},
      {"the checksum of another archive", true, "SHA256=" + base::HexText(Sha256(changed)) + "\r\n", archive,
       Refusal::ArchiveDamaged},
      {"without a key a wrong SHA256 is ignored", false, "SHA256=" + base::HexText(Sha256(changed)) + "\r\n",
       archive, Refusal::None},
      // "Size": the download takes no byte beyond it, and one of another length installs nothing.
      {"the right Size", true, "SHA256=" + upper + "\r\n", archive, Refusal::None, (long long)archive.size()},
      {"more bytes than Size", true, "SHA256=" + upper + "\r\n", archive, Refusal::ArchiveSizeWrong,
       (long long)archive.size() - 1000},
      {"more bytes than Size, no length", true, "SHA256=" + upper + "\r\n", archive, Refusal::ArchiveSizeWrong,
       (long long)archive.size() - 1000, true},
      {"fewer bytes than Size", true, "SHA256=" + upper + "\r\n", archive, Refusal::ArchiveSizeWrong,
       (long long)archive.size() + 1000},
      {"fewer bytes than Size, no length", true, "SHA256=" + upper + "\r\n", archive, Refusal::ArchiveSizeWrong,
       (long long)archive.size() + 1000, true},
      {"without a key a wrong Size is ignored", false, "", archive, Refusal::None, 5},
  };
  auto local = [this] { return form->Work.SearchDir() + "Kasse.zip"; };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    ServerClear();
    const std::string list = head + c.sha256Line + (c.size >= 0 ? "Size=" + std::to_string(c.size) + "\r\n" : "");
    Serve("Updates.ini", list);
    if (c.noLength) ServerMode("/Updates/Kasse.zip", "nolength=1");
    Serve("Updates.ini.sig", c.key ? base::EncodeBase64(Sign(list, keys)) : std::string("kaputt"));
    Serve("Updates\\Kasse.zip", c.served);
    form->UpdatePublicKey = c.key ? base::EncodeBase64(keys.publicKey) : std::string();
    boxes.clear();
    const std::string logBefore = ServerLog();
    ASSERT_TRUE(Check());
    form->Button_NextClick(form->Button_Next);  // the download
    if (c.refusal == Refusal::ArchiveSizeWrong) {
      EXPECT_LE(form->HTTP->ReceivedBytes(), c.size + 1) << "stopped at Size";
      EXPECT_EQ(form->Pages->PageIndex(), 3);
      EXPECT_EQ(form->Label_Download->Text(), wizard::RefusalText(c.refusal));
      EXPECT_EQ(form->Button_Next->Text(), "< Zurück");
      EXPECT_TRUE(form->Button_Next->Enabled());
      EXPECT_TRUE(form->Button_Cancel->Enabled()) << "no reminder date at the end";
      EXPECT_EQ(Listing(folder), "") << "nothing of the search stays";
      Click(form->Button_Next);
      EXPECT_EQ(form->Step, wizard::WizardStep::Check);
      EXPECT_EQ(form->Pages->PageIndex(), 1);
      continue;
    }
    ASSERT_EQ(ReadFileBytes(local()), c.served);
    form->Button_NextClick(form->Button_Next);  // "Einrichten"
    EXPECT_EQ(form->Label3->Text().substr(0, 40), "Das Update kann jetzt installiert werden") << "the page as it always reads";
    EXPECT_NE(form->Image_Icon2->Icon(), LoadIconA(nullptr, IDI_HAND));
    form->Button_NextClick(form->Button_Next);  // step 5
    EXPECT_EQ(ServerLog().substr(logBefore.size()),
              std::string("GET /Updates.ini HTTP/1.0\n") + (c.key ? "GET /Updates.ini.sig HTTP/1.0\n" : "") +
                  "GET /Updates/Kasse.zip HTTP/1.0\n");
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(form->Step, wizard::WizardStep::Finish);
    if (c.refusal == Refusal::None) {
      EXPECT_TRUE(form->InstallPrepared);
      EXPECT_EQ(form->Pages->PageIndex(), 5);
      EXPECT_TRUE(FileExists(form->Work.SearchDir() + "Kasse.exe"));
      EXPECT_EQ(ReadFileBytes(form->Work.SearchDir() + "Update.bat").substr(0, 6), " echo ");
      continue;
    }
    EXPECT_FALSE(form->InstallPrepared);
    EXPECT_EQ(form->Pages->PageIndex(), 4);
    EXPECT_EQ(form->Label3->Text(), wizard::RefusalText(c.refusal));
    EXPECT_EQ(form->Image_Icon2->Icon(), LoadIconA(nullptr, IDI_HAND));
    EXPECT_EQ(form->Button_Next->Text(), "< Zurück");
    EXPECT_TRUE(form->Button_Next->Enabled());
    EXPECT_TRUE(form->Button_Cancel->Enabled());
    EXPECT_FALSE(FileExists(local())) << "the refused archive is deleted";
    EXPECT_EQ(ListFiles(folder), 1) << "only the list, which goes with the wizard";
    EXPECT_EQ(Listing(folder).find("Kasse.exe"), std::string::npos) << "nothing unpacked";
    EXPECT_FALSE(FileExists(form->Work.SearchDir() + "Update.bat"));
    // The settings page in between returns to the refusal.
    Click(form->Button_Settings);
    Click(form->Button_SettingsCancel);
    EXPECT_EQ(form->Pages->PageIndex(), 4);
    EXPECT_EQ(form->Label3->Text(), wizard::RefusalText(c.refusal));
    // "< Zurück", and a sound archive on the server: a new check, the download, and
    // "Einrichten" reads as always before the installation.
    Click(form->Button_Next);
    EXPECT_EQ(form->Step, wizard::WizardStep::Check);
    EXPECT_EQ(form->Pages->PageIndex(), 1);
    const std::string sound = head + "SHA256=" + base::HexText(Sha256(archive)) + "\r\n";
    Serve("Updates.ini", sound);
    Serve("Updates.ini.sig", base::EncodeBase64(Sign(sound, keys)));
    Serve("Updates\\Kasse.zip", archive);
    form->Button_CheckClick(form->Button_Check);
    ASSERT_EQ(form->Step, wizard::WizardStep::Result);
    form->Button_NextClick(form->Button_Next);
    form->Button_NextClick(form->Button_Next);
    EXPECT_EQ(form->Pages->PageIndex(), 4);
    EXPECT_EQ(form->Label3->Text().substr(0, 40), "Das Update kann jetzt installiert werden");
    EXPECT_NE(form->Image_Icon2->Icon(), LoadIconA(nullptr, IDI_HAND));
    form->Button_NextClick(form->Button_Next);
    EXPECT_TRUE(form->InstallPrepared);
    EXPECT_TRUE(FileExists(form->Work.SearchDir() + "Kasse.exe"));
  }

  // A process that opened the archive for writing before its check could change it after: such
  // an archive is not taken at all.
  ASSERT_TRUE(Check());
  form->Button_NextClick(form->Button_Next);
  form->Button_NextClick(form->Button_Next);
  HANDLE writer = CreateFileA(local().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  std::string error;
  try {
    form->Button_NextClick(form->Button_Next);
  } catch (const base::Exception& e) {
    error = e.Message();
  }
  CloseHandle(writer);
  EXPECT_EQ(error, "Die Datei \"" + local() + "\" kann nicht ge\xF6\x66\x66net werden.");
  EXPECT_FALSE(form->InstallPrepared);
  EXPECT_FALSE(FileExists(form->Work.SearchDir() + "Kasse.exe"));
}

}  // namespace
