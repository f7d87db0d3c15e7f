// The road of one update through the real example program: Notizkasten.exe started under Wine
// against the maker's web server on 127.0.0.1 (run_with_server.sh --files), driven from here like
// a person drives it. The check and its news, the 20 MB archive through a throttled server with a
// stop, the partial file's end and a retry, "Update.bat" run by Wine's cmd.exe replacing the
// program and starting it again as version 2.0; and the roads that must not install anything.
#include <windows.h>

#include <tlhelp32.h>
#include <sodium.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Programs.h"
#include "tests/support/RegistryKeys.h"
#include "tests/support/UpdateServer.h"
#include "tests/support/TestServer.h"
#include "wizard/keep_rules.h"
#include "wizard/protected_rules.h"
#include "wizard/update_rules.h"
#include "wizard/wizard_rules.h"

namespace {

using namespace testsupport;

const char kKey[] = "Notizkasten";
const char kWizardClass[] = "TStatusForm";
const char kMainClass[] = "TNotizkastenForm";

// The texts the user reads on the way, as the program must show them.
const char kDownloadStoppedText[] =
    "Der Download wurde nicht vollendet.\r\n\r\nKlicken Sie auf \"Erneut versuchen\", um den Download erneut zu "
    "starten.\r\nKlicken Sie auf \"Abbrechen\", um den Assistenten zu beenden.";
const char kDownloadDoneText[] =
    "Die Update-Dateien wurden erfolgreich heruntergeladen. Klicken Sie auf \"Weiter\", um die Updates zu "
    "installieren.";
const char kDownloadFailedText[] =
    "Die Update-Dateien konnten nicht vollst\xE4ndig heruntergeladen werden.\r\n\r\nKlicken Sie auf \"Erneut "
    "versuchen\", um den Download erneut zu starten.\r\nKlicken Sie auf \"Abbrechen\", um den Assistenten zu beenden.";
const char kInstallFailedText[] =
    "Die Installationsdateien wurden nicht gefunden. Klicken Sie auf \"Abbrechen\" und versuchen Sie es später "
    "noch einmal.";

const char kTemplate[] =
    "@echo off\r\n"
    "rem Programmordner %s\r\n"
    "rem Programm %sNotizkasten.exe\r\n"
    ":kopieren\r\n"
    "ping -n 2 127.0.0.1 >nul\r\n"
    "rem %s\r\n"
    "rem %s\r\n"
    "copy /y \"%0:sNotizkasten.exe\" \"%1:sNotizkasten.exe\" >nul\r\n"
    " if errorlevel 1 goto kopieren\r\n"
    " del \"%sNotizkasten.exe\"\r\n"
    " del \"%sfuellung.bin\"\r\n";

struct Child {
  HWND handle;
  std::string cls, text;
};

// The visible child windows of `top` with their class and text.
std::vector<Child> Children(HWND top) {
  std::vector<Child> found;
  EnumChildWindows(top, [](HWND h, LPARAM p) CALLBACK -> BOOL {
    if (!IsWindowVisible(h)) return TRUE;
    char cls[64];
    GetClassNameA(h, cls, sizeof cls);
    char text[4096];
    int n = GetWindowTextA(h, text, sizeof text);
    reinterpret_cast<std::vector<Child>*>(p)->push_back({h, cls, std::string(text, n > 0 ? n : 0)});
    return TRUE;
  }, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Waits up to `ms` for a visible child whose text satisfies `match`; its text, or "" when none came.
template <typename Match>
std::string WaitForText(HWND top, Match match, int ms = 15000) {
  for (int waited = 0; waited <= ms; waited += 20) {
    for (const Child& c : Children(top))
      if (match(c.text)) return c.text;
    Sleep(20);
  }
  return std::string();
}
bool ShowsText(HWND top, const std::string& text, int ms = 15000) {
  return !WaitForText(top, [&](const std::string& t) { return t == text; }, ms).empty();
}
bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Waits for a visible, enabled button with that text and clicks it; false when none came.
bool Click(HWND top, const std::string& caption, int ms = 15000) {
  for (int waited = 0; waited <= ms; waited += 20) {
    for (const Child& c : Children(top))
      if (lstrcmpiA(c.cls.c_str(), "Button") == 0 && c.text == caption && IsWindowEnabled(c.handle)) {
        PostMessageA(c.handle, BM_CLICK, 0, 0);
        return true;
      }
    Sleep(20);
  }
  return false;
}
bool ButtonEnabled(HWND top, const std::string& caption) {
  for (const Child& c : Children(top))
    if (lstrcmpiA(c.cls.c_str(), "Button") == 0 && c.text == caption) return IsWindowEnabled(c.handle) != 0;
  return false;
}

// A message box of the process: its caption and text; it is answered with `button`.
struct Answered {
  std::string caption, text;
};
Answered AnswerBox(DWORD pid, const std::string& button) {
  HWND box = WaitForWindow(pid, "#32770", nullptr);
  Answered a;
  if (!box) return a;
  char caption[256];
  GetWindowTextA(box, caption, sizeof caption);
  a.caption = caption;
  for (const Child& c : Children(box))
    if (lstrcmpiA(c.cls.c_str(), "Static") == 0 && !c.text.empty()) a.text = c.text;
  Click(box, button);
  for (int i = 0; i < 250 && IsWindow(box); ++i) Sleep(20);
  return a;
}

// An environment block: this process's, with `overrides` ("NAME=value") put in.
std::string EnvironmentWith(const std::vector<std::string>& overrides) {
  std::vector<std::string> vars;
  char* block = GetEnvironmentStringsA();
  for (const char* p = block; *p; p += strlen(p) + 1) {
    std::string var(p);
    bool replaced = false;
    for (const std::string& o : overrides) {
      std::string name = o.substr(0, o.find('=') + 1);
      if (var.size() >= name.size() && lstrcmpiA(var.substr(0, name.size()).c_str(), name.c_str()) == 0) replaced = true;
    }
    if (!replaced) vars.push_back(var);
  }
  FreeEnvironmentStringsA(block);
  vars.insert(vars.end(), overrides.begin(), overrides.end());
  std::string env;
  for (const std::string& v : vars) env += v + '\0';
  return env + '\0';
}

void SetFileDate(const std::string& path, int day, double fraction) {
  // Local time of that day and fraction, as the file's last-write time.
  SYSTEMTIME st;
  ULONGLONG ticks = (static_cast<ULONGLONG>(day) + 109205ULL) * 864000000000ULL +
                    static_cast<ULONGLONG>(fraction * 864000000000.0);
  FILETIME local{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}, utc;
  FileTimeToSystemTime(&local, &st);
  LocalFileTimeToFileTime(&local, &utc);
  HANDLE f = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  SetFileTime(f, nullptr, nullptr, &utc);
  CloseHandle(f);
}

// The SHA-256 of `bytes` as 64 lower-case hex digits, as a keep list names a file.
std::string Sha256Hex(const std::string& bytes) {
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  static const char hex[] = "0123456789abcdef";
  std::string text;
  for (unsigned char b : digest) text += std::string{hex[b >> 4], hex[b & 15]};
  return text;
}

// The process behind a visible main window of the program other than `except`, or 0.
DWORD OtherMainWindowProcess(DWORD except, HWND& window) {
  for (HWND h : WindowsOf(0, kMainClass, "Notizkasten")) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid != except && IsWindowVisible(h)) {
      window = h;
      return pid;
    }
  }
  return 0;
}

// The Unix path of a Windows path, as Wine's own kernel32 gives it; empty elsewhere.
std::string UnixPath(const std::string& path) {
  using UnixNameFn = char*(CDECL*)(LPCWSTR);
  auto unixName = reinterpret_cast<UnixNameFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixName) return std::string();
  std::wstring wide(path.size() + 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
  char* name = unixName(wide.c_str());
  std::string result = name ? name : "";
  if (name) HeapFree(GetProcessHeap(), 0, name);
  return result;
}

// A symbolic link `link` to `target`, made as another process of the user makes one (Wine's
// programs make none): through the test server, a Unix process. With `away`, what is at `link`
// is renamed first.
std::string Encoded(const std::string& text) {
  std::string out;
  char hex[4];
  for (unsigned char c : text) {
    wsprintfA(hex, "%%%02X", c);
    out += hex;
  }
  return out;
}
bool PlantLink(const std::string& link, const std::string& target, bool away = false) {
  const auto encoded = Encoded;
  return ServerGet("/_symlink?link=" + encoded(UnixPath(link)) + "&target=" + encoded(UnixPath(target)) +
                   (away ? "&away=1" : "")) == "ok";
}

// The kind of token the process runs with: TokenElevationTypeFull (2) with administrators'
// rights, TokenElevationTypeLimited (3) with a user's; 0 when it cannot be read.
int ElevationOf(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  HANDLE token = nullptr;
  TOKEN_ELEVATION_TYPE type{};
  DWORD size = 0;
  const bool read = process && OpenProcessToken(process, TOKEN_QUERY, &token) &&
                    GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size);
  if (token) CloseHandle(token);
  if (process) CloseHandle(process);
  return read ? static_cast<int>(type) : 0;
}

class UpdateRoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(ServerPort(), 0) << "run through run_with_server.sh --files";
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    work = std::string(temp) + "road_e2e\\";
    RemoveTree(work);
    program = work + "Programm\\";
    tempDir = work + "T\xE4mp\\";  // the program's temporary folder, with an umlaut
    CreateDirectoryA(work.c_str(), nullptr);
    CreateDirectoryA(program.c_str(), nullptr);
    CreateDirectoryA(tempDir.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA((BinDir() + "Notizkasten.exe").c_str(), (program + "Notizkasten.exe").c_str(), FALSE));
    // The installed version is ten days old (the reference date, at noon).
    today = TodayNumber();
    SetFileDate(program + "Notizkasten.exe", today - 10, 0.5);
    oldProgram = ReadFileBytes(program + "Notizkasten.exe");
    newProgram = ReadFileBytes(BinDir() + "NotizkastenNeu.exe");
    ASSERT_NE(oldProgram, newProgram);
    DeleteKey(HKEY_LOCAL_MACHINE, kKey);
    DeletePolicies();
    ServerClear();
    news = "- " + ShortDateText(today - 10) + ":Stichtag\r\n- " + ShortDateText(today - 9) + ":Neu\r\n- und\r\n- gut\r\n";
    WriteFileBytes(UpdateServerRoot() + "Updates.ini",
                   "[Notizkasten]\r\nDate=" + ShortDateText(today) + "\r\nFile=Notizkasten.zip\r\nNews=" +
                       ShortDateText(today - 12) + ":Alt," + ShortDateText(today - 10) + ":Stichtag," +
                       ShortDateText(today - 9) + ":Neu und gut\r\n");
  }
  void TearDown() override {
    if (pending != INVALID_HANDLE_VALUE) CloseHandle(pending);
    for (DWORD pid : others) {
      HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
      if (h) {
        TerminateProcess(h, 1);
        WaitForSingleObject(h, 5000);
        CloseHandle(h);
      }
    }
    DeleteKey(HKEY_LOCAL_MACHINE, kKey);
    DeletePolicies();
    ServerClear();
    RemoveTree(work);
  }
  // The archive of version 2.0, of about 20 MB: the program, the template and incompressible
  // filler.
  std::string Archive20MB() {
    const std::string path = work + "bau.zip";
    EXPECT_TRUE(MakeZip(path, {{"bin/Notizkasten.exe", newProgram}, {"Update.bat", kTemplate}}));
    const size_t base = ReadFileBytes(path).size();
    EXPECT_TRUE(MakeZip(path, {{"bin/Notizkasten.exe", newProgram},
                               {"Update.bat", kTemplate},
                               {"daten/fuellung.bin", RandomBytes(20000000 - base - 120, 11), true}}));
    std::string bytes = ReadFileBytes(path);
    DeleteFileA(path.c_str());
    return bytes;
  }
  // The update server the program is started with.
  std::string server = UpdateServerAuthority();
  void ServeArchive(const std::string& bytes) { WriteFileBytes(UpdateServerRoot() + "Updates\\Notizkasten.zip", bytes); }
  // Starts the program; `limited`: with a user's rights (the limited token linked to this
  // process's own), as a user who is not an administrator starts it.
  bool Start(Process& p, bool limited = false, const std::string& argument = std::string()) {
    STARTUPINFOA si{sizeof si};
    std::string cmd = "\"" + program + "Notizkasten.exe\"" + (argument.empty() ? "" : " " + argument);
    std::string env = EnvironmentWith({"TMP=" + tempDir.substr(0, tempDir.size() - 1),
                                       "TEMP=" + tempDir.substr(0, tempDir.size() - 1),
                                       "TRELK_UPDATE_SERVER=" + server});
    if (!limited)
      return CreateProcessA((program + "Notizkasten.exe").c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, &env[0],
                            nullptr, &si, &p.pi) != 0;
    HANDLE own = nullptr, user = nullptr;
    TOKEN_LINKED_TOKEN linked{};
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own) ||
        !GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size) ||
        !DuplicateTokenEx(linked.LinkedToken, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary, &user))
      return false;
    const bool started = CreateProcessAsUserA(user, (program + "Notizkasten.exe").c_str(), &cmd[0], nullptr, nullptr,
                                              FALSE, 0, &env[0], nullptr, &si, &p.pi) != 0;
    CloseHandle(user);
    CloseHandle(linked.LinkedToken);
    CloseHandle(own);
    return started;
  }
  // The program started again after the process `pid`: the main window of another process,
  // waited for up to 30 s and ended with the test; null when none came. `again`: its process.
  HWND Restarted(DWORD pid, DWORD& again) {
    HWND restarted = nullptr;
    again = 0;
    for (int i = 0; i < 1500 && !again; ++i) {
      again = OtherMainWindowProcess(pid, restarted);
      Sleep(20);
    }
    if (again) others.push_back(again);
    return again ? restarted : nullptr;
  }
  // From "Beenden" on "Bestätigung3": the program ends and comes back as version 2.0.
  void EndsAndRestartsAsNewVersion(HWND wizard, DWORD pid) {
    ASSERT_TRUE(Click(wizard, "Beenden"));
    EXPECT_EQ(process.Wait(20000), 0u);
    DWORD other = 0;
    HWND restarted = Restarted(pid, other);
    ASSERT_NE(restarted, nullptr) << "the program was not started again";
    EXPECT_FALSE(
        WaitForText(restarted, [](const std::string& t) { return t.find("Notizkasten 2.0,") == 0; }, 5000).empty());
    EXPECT_EQ(ReadFileBytes(program + "Notizkasten.exe"), newProgram);
    PostMessageA(restarted, WM_CLOSE, 0, 0);
    EXPECT_TRUE(CleanedUp()) << "the search folder is still there";
  }
  // A start of the program with no search due: its main window comes, and it ends when closed.
  void StartsAndCloses() {
    ASSERT_TRUE(SeedNothingDue(kKey));
    Process again;
    ASSERT_TRUE(Start(again));
    HWND main = WaitForWindow(again.pi.dwProcessId, kMainClass, "Notizkasten");
    ASSERT_NE(main, nullptr);
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(again.Wait(20000), 0u);
  }
  // Whether, within 20 s, what an installation's batch started has ended: its search folder is
  // gone, no cmd.exe, ping.exe or program runs (the batch starts the program two seconds after
  // its end to clear its folder, through a cmd.exe that waits with ping), and the program file
  // can be written. A test that ends earlier would find its successor's folder in use.
  bool CleanedUp() {
    const auto running = [] {
      HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
      PROCESSENTRY32 entry{sizeof entry};
      bool found = false;
      for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry))
        for (const char* name : {"cmd.exe", "ping.exe", "Notizkasten.exe"})
          found = found || lstrcmpiA(entry.szExeFile, name) == 0;
      CloseHandle(snapshot);
      return found;
    };
    int waited = 0;
    for (; waited < 20000 && !SearchFolder().empty(); waited += 100) Sleep(100);
    for (; waited < 20000 && running(); waited += 100) Sleep(100);
    for (; waited < 20000; waited += 100) {
      HANDLE h = CreateFileA((program + "Notizkasten.exe").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return true;
      }
      Sleep(100);
    }
    return false;
  }
  // The folder the program's search works in below its temporary folder ("" while there is
  // none); folders the test put there itself are not it.
  std::string SearchFolder() const {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((tempDir + "Trelk-Notizkasten-*").c_str(), &fd);
    std::string found;
    if (h == INVALID_HANDLE_VALUE) return found;
    do
      if (fd.cFileName != std::string("Trelk-Notizkasten-0000beef")) found = tempDir + fd.cFileName + "\\";
    while (found.empty() && FindNextFileA(h, &fd));
    FindClose(h);
    return found;
  }
  // What another process may have put into the temporary folder before the search: an
  // "Update.bat" and a program file of its own, a folder an earlier search of the program left
  // behind, and an installation of the program that is still pending (its batch held open, as
  // the program that prepared it holds it until it ends). None of it may be used, the pending
  // one not touched.
  void PlantFiles() {
    WriteFileBytes(tempDir + "Update.bat", "echo gepflanzt> \"" + program + "gepflanzt.txt\"\r\n");
    WriteFileBytes(tempDir + "Notizkasten.exe", "MZ gepflanzt");
    CreateDirectoryA((tempDir + "Trelk-Notizkasten-0000dead").c_str(), nullptr);
    WriteFileBytes(tempDir + "Trelk-Notizkasten-0000dead\\Update.bat", "echo alt> \"" + program + "gepflanzt.txt\"\r\n");
    WriteFileBytes(tempDir + "Trelk-Notizkasten-0000dead\\Notizkasten.exe", "MZ alt");
    CreateDirectoryA((tempDir + "Trelk-Notizkasten-0000beef").c_str(), nullptr);
    WriteFileBytes(tempDir + "Trelk-Notizkasten-0000beef\\Update.bat", "rem wartet\r\n");
    pending = CreateFileA((tempDir + "Trelk-Notizkasten-0000beef\\Update.bat").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(pending, INVALID_HANDLE_VALUE);
  }
  // After the installation: the planted files unused and where they were, the left folder gone,
  // the pending one as it was.
  void PlantedFilesUnused() {
    EXPECT_FALSE(FileExists(program + "gepflanzt.txt")) << "a planted batch ran";
    EXPECT_EQ(ReadFileBytes(tempDir + "Notizkasten.exe"), "MZ gepflanzt");
    CloseHandle(pending);
    pending = INVALID_HANDLE_VALUE;
    EXPECT_EQ(Listing(tempDir), "[Notizkasten.exe][Trelk-Notizkasten-0000beef/][Update.bat]");
    EXPECT_EQ(ReadFileBytes(tempDir + "Trelk-Notizkasten-0000beef\\Update.bat"), "rem wartet\r\n");
  }
  // From the start to the result page; the wizard's window.
  static HWND ToResultPage(DWORD pid) {
    HWND wizard = WaitForWindow(pid, kWizardClass, "Updates installieren");
    if (!wizard || !Click(wizard, "Weiter >") || !Click(wizard, "Jetzt auf neue Updates prüfen")) return nullptr;
    return wizard;
  }

  std::string work, program, tempDir, oldProgram, newProgram, news;
  HANDLE pending = INVALID_HANDLE_VALUE;
  int today = 0;
  Process process;
  std::vector<DWORD> others;
};

TEST_F(UpdateRoadTest, WholeRoadInstallsAndRestartsTheNewVersion) {
  const std::string archive = Archive20MB();
  ASSERT_GE(archive.size(), 19980000u);
  ASSERT_LE(archive.size(), 20020000u);
  ServeArchive(archive);
  ServerMode("/Updates/Notizkasten.zip", "rate=4000000");
  PlantFiles();
  // The user's Internet options name a proxy: the program's check and downloads go through it.
  // The server by another name of 127.0.0.1: the loopback names never go through a proxy.
  server = OtherHost() + ":" + std::to_string(ServerPort());
  SetUserProxy(1, "http=127.0.0.1:" + std::to_string(ProxyPort()) + ";https=127.0.0.1:1", "*.intern");
  struct ClearProxy {
    ~ClearProxy() { SetUserProxy(-1, "", ""); }
  } clearProxy;
  const std::string proxyBefore = ProxyLog();
  ASSERT_TRUE(Start(process));
  const DWORD pid = process.pi.dwProcessId;
  HWND wizard = ToResultPage(pid);
  ASSERT_NE(wizard, nullptr);

  // The result page: the item of the reference day, the newer one in its pieces, not the older.
  EXPECT_TRUE(ShowsText(wizard, wizard::CheckResultText(true, news)));

  // The download through the throttling server: the percentage rises.
  ASSERT_TRUE(Click(wizard, "Weiter >"));
  std::vector<int> percents;
  for (int i = 0; i < 60; ++i) {
    std::string p = WaitForText(wizard, [](const std::string& t) { return EndsWith(t, " %"); }, 2000);
    if (!p.empty() && (percents.empty() || std::stoi(p) != percents.back())) percents.push_back(std::stoi(p));
    Sleep(25);
  }
  ASSERT_GE(percents.size(), 3u);
  for (size_t i = 1; i < percents.size(); ++i) EXPECT_LT(percents[i - 1], percents[i]);
  EXPECT_LT(percents.back(), 100);
  EXPECT_FALSE(ButtonEnabled(wizard, "Weiter >"));

  // A stop confirmed with "Ja": the partial file stays for 3 s, then it is gone and the page
  // offers "Erneut versuchen".
  ASSERT_TRUE(Click(wizard, "Download ab&brechen"));
  Answered question = AnswerBox(pid, "&Ja");
  EXPECT_EQ(question.text, "Soll der Download wirklich abgebrochen werden?");
  Sleep(1000);
  const std::string search = SearchFolder();
  ASSERT_NE(search, "");
  EXPECT_TRUE(FileExists(search + "Notizkasten.zip")) << "the partial file during the pause";
  ASSERT_TRUE(ShowsText(wizard, "Erneut versuchen", 10000));
  EXPECT_FALSE(FileExists(search + "Notizkasten.zip"));
  EXPECT_TRUE(ShowsText(wizard, kDownloadStoppedText, 1000));
  EXPECT_FALSE(ButtonEnabled(wizard, "Weiter >"));

  // The retry completes.
  ServerMode("/Updates/Notizkasten.zip", "rate=10000000");
  ASSERT_TRUE(Click(wizard, "Erneut versuchen"));
  EXPECT_TRUE(ShowsText(wizard, kDownloadDoneText, 30000));
  EXPECT_TRUE(ShowsText(wizard, "100 %", 1000));
  EXPECT_TRUE(ShowsText(wizard, "19,1 MB von 19,1 MB gedownloadet", 1000));
  EXPECT_EQ(ReadFileBytes(search + "Notizkasten.zip"), archive);
  EXPECT_FALSE(FileExists(tempDir + "Trelk-Notizkasten-0000dead")) << "the folder an earlier search left is gone";
  const std::string url = "http://" + server;
  EXPECT_EQ(ProxyLog().substr(proxyBefore.size()), "GET " + url + "/Updates.ini HTTP/1.0\nGET " + url +
                                                       "/Updates/Notizkasten.zip HTTP/1.0\nGET " + url +
                                                       "/Updates/Notizkasten.zip HTTP/1.0\n");

  // "Einrichten", "Weiter >": the installation is prepared.
  ASSERT_TRUE(Click(wizard, "Weiter >"));
  ASSERT_TRUE(ShowsText(wizard, "Programm automatisch neu starten"));
  ASSERT_TRUE(Click(wizard, "Weiter >"));
  ASSERT_TRUE(ShowsText(wizard, "Beenden"));
  const std::string batch = ReadFileBytes(search + "Update.bat");
  EXPECT_FALSE(FileExists(search + "Notizkasten.zip")) << "the archive is deleted";
  // The unpacked files are held: no other process changes them before the batch has run.
  EXPECT_EQ(CreateFileA((search + "Notizkasten.exe").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  // The paths in the console's code page: the umlaut of the temporary folder is 0x84 there.
  const std::string oemParent = work + "T\x84mp\\";
  const std::string oemTemp = oemParent + search.substr(tempDir.size());
  EXPECT_NE(batch.find("copy /y \"" + oemTemp + "Notizkasten.exe\" \"" + program + "Notizkasten.exe\" >nul\r\n"),
            std::string::npos)
      << batch;
  // The restart; two seconds after the batch the program removes the folder; the batch deletes
  // itself.
  EXPECT_TRUE(EndsWith(batch, "\r\n\"" + program + "Notizkasten.exe\"\r\ncd /d C:\\windows\\system32\\ & start \"\" /b "
                              "C:\\windows\\system32\\cmd.exe /d /c \"C:\\windows\\system32\\ping.exe -n 3 127.0.0.1 >nul & \"" +
                              program + "Notizkasten.exe\" /trelk-cleanup\"\r\ndel " + oemTemp + "Update.bat\r\n"))
      << batch;
  // The program ends; cmd.exe replaces it once it is gone and starts version 2.0, and once that
  // ends the batch file deletes itself.
  EndsAndRestartsAsNewVersion(wizard, pid);
  const std::string values = Values(HKEY_LOCAL_MACHINE, kKey);
  EXPECT_NE(values.find("Update=date:" + std::to_string(today + 6)), std::string::npos) << values;
  PlantedFilesUnused();
}

// The road that ends without an installation in the whole program: an archive that installs
// nothing (the signed refusal is SignedRoadTest's). The wizard says so, stays usable, and the
// program, its folder and the registry are as they were. Every way a check or a download fails
// is a case of tests/wizard/UpdateRoad_test.cpp.
TEST_F(UpdateRoadTest, FailuresInstallNothing) {
  std::string hostile;
  {
    const std::string path = work + "feind.zip";
    ASSERT_TRUE(MakeZip(path, {{"../x", "1"},
                               {"C:evil", "2"},
                               {"sub\\..\\y", "3"},
                               {"CON.txt", "4"},
                               {std::string(300, 'a'), "5"},
                               {"Update.bat", "del /q \"%s*.*\"\r\n"},
                               {"tief/Update.bat", "zweite\r\n"}}));
    hostile = ReadFileBytes(path);
    DeleteFileA(path.c_str());
  }
  struct Case {
    const char* name;
    std::string archive;
    const char* mode;   // for "/Updates/Notizkasten.zip"
    const char* error;  // what the message box says
  } cases[] = {
      {"hostile archive", hostile, "rate=0", "des Archivs kann nicht entpackt werden"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteKey(HKEY_LOCAL_MACHINE, kKey);
    RemoveTree(tempDir);
    CreateDirectoryA(tempDir.c_str(), nullptr);
    WriteFileBytes(tempDir + "x", "alt");  // a file of the same name as an entry
    ServerClear();
    ServeArchive(c.archive);
    ServerMode("/Updates/Notizkasten.zip", c.mode);
    Process p;
    ASSERT_TRUE(Start(p));
    HWND w = ToResultPage(p.pi.dwProcessId);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(ShowsText(w, wizard::CheckResultText(true, news)));
    ASSERT_TRUE(Click(w, "Weiter >"));
    {
      EXPECT_TRUE(ShowsText(w, kDownloadDoneText, 30000));
      ASSERT_TRUE(Click(w, "Weiter >"));
      ASSERT_TRUE(ShowsText(w, "Programm automatisch neu starten"));
      ASSERT_TRUE(Click(w, "Weiter >"));
      Answered failure = AnswerBox(p.pi.dwProcessId, "OK");
      EXPECT_NE(failure.text.find(c.error), std::string::npos) << failure.text;
      EXPECT_NE(failure.text.find("Das Update wird nicht installiert."), std::string::npos) << failure.text;
      EXPECT_TRUE(ShowsText(w, kInstallFailedText, 2000));
      EXPECT_FALSE(ButtonEnabled(w, "Weiter >"));
      // Still usable: the settings page opens and closes.
      ASSERT_TRUE(Click(w, "Einstellungen"));
      ASSERT_TRUE(ShowsText(w, "Speichern", 2000));
      ASSERT_TRUE(Click(w, "Abbrechen"));
      ASSERT_TRUE(ShowsText(w, kInstallFailedText, 2000));
      // "Abbrechen" ends the program without a batch file.
      ASSERT_TRUE(Click(w, "Abbrechen"));
    }
    EXPECT_EQ(p.Wait(20000), 0u);
    Sleep(500);
    EXPECT_EQ(ReadFileBytes(program + "Notizkasten.exe"), oldProgram);
    EXPECT_EQ(Listing(work), "[Programm/][T\xE4mp/]") << "nothing beside the temporary folder";
    EXPECT_EQ(Listing(program), "[Notizkasten.exe]");
    EXPECT_EQ(Listing(tempDir), "[x]") << "nothing of the search stays";
    EXPECT_EQ(ReadFileBytes(tempDir + "x"), "alt") << "nothing replaced";
    EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, kKey).find("Update="), std::string::npos);
  }
}


// The road with signed updates: the maker's tool (trelkpublish.exe, built beside the programs)
// publishes version 2.0, with the Update.bat it writes itself, for the example program built
// with the build's public key (bin/update-testkey), which takes it only as it was signed; and
// the program without a key takes the same server's offer as it always did.
class SignedRoadTest : public UpdateRoadTest {
 protected:
  void SetUp() override {
    UpdateRoadTest::SetUp();
    if (HasFatalFailure()) return;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    maker = std::string(temp) + "road_maker\\";
    RemoveTree(maker);
    CreateDirectoryA(maker.c_str(), nullptr);
    CreateDirectoryA((maker + "neu").c_str(), nullptr);
    ASSERT_TRUE(CopyFileA((BinDir() + "NotizkastenSigniert.exe").c_str(), (program + "Notizkasten.exe").c_str(), FALSE))
        << "error " << GetLastError();
    SetFileDate(program + "Notizkasten.exe", today - 10, 0.5);
    oldProgram = ReadFileBytes(program + "Notizkasten.exe");
    newProgram = ReadFileBytes(BinDir() + "NotizkastenSigniertNeu.exe");
    ASSERT_NE(oldProgram, newProgram);
    // No Update.bat: the maker's tool writes the one that puts everything back on a failure.
    WriteFileBytes(maker + "neu\\Notizkasten.exe", newProgram);
    secretKey = BinDir() + "update-testkey\\update-secret.key";
    ASSERT_TRUE(FileExists(secretKey)) << "the build makes the key pair";
    // Another program's section, which publishing leaves as it is.
    otherSection = "[Waage]\r\nDate=1.1.2003\r\nFile=Waage.zip\r\n\r\n";
    WriteFileBytes(UpdateServerRoot() + "Updates.ini", otherSection);
    DeleteFileA((UpdateServerRoot() + "Updates.ini.sig").c_str());
    DeleteFileA((UpdateServerRoot() + "Updates.ini.chain").c_str());
    item = MakerDate(today - 1) + ":Signiert und gepr\xFC" "ft";
  }
  void TearDown() override {
    UpdateRoadTest::TearDown();
    RemoveTree(maker);
  }
  // trelkpublish.exe with these arguments; its exit code. What it prints goes to a file that a
  // failure shows.
  DWORD Tool(const std::vector<std::string>& args) {
    std::string cmd = "\"" + BinDir() + "trelkpublish.exe\"";
    for (const std::string& a : args) cmd += " \"" + a + "\"";
    const std::string out = maker + "tool.txt";
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE log = CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA si{sizeof si};
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = log;
    Process tool;
    const bool started = CreateProcessA((BinDir() + "trelkpublish.exe").c_str(), &cmd[0], nullptr, nullptr, TRUE,
                                        0, nullptr, nullptr, &si, &tool.pi) != 0;
    const DWORD code = started ? tool.Wait(60000) : 999;
    CloseHandle(log);
    toolOutput = ReadFileBytes(out);
    return code;
  }
  // Publishes version 2.0 with the given secret key (the build's by default) and options.
  void Publish(const std::string& key = std::string(), const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"publish", "--key", key.empty() ? secretKey : key, "--server",
                                     UpdateServerRoot().substr(0, UpdateServerRoot().size() - 1), "--program",
                                     "Notizkasten", "--from", maker + "neu", "--file", "Notizkasten.zip", "--date",
                                     MakerDate(today), "--news", item};
    args.insert(args.end(), extra.begin(), extra.end());
    ASSERT_EQ(Tool(args), 0u) << toolOutput;
    const std::string listing = Listing(maker + "neu\\");
    const std::string files = std::to_string(std::count(listing.begin(), listing.end(), '['));
    EXPECT_NE(toolOutput.find("Update.bat written by trelkpublish (the folder has none): " + files +
                              " file(s), each put back when one fails, up to 30 s for a file in use, outcome in "
                              "HKLM\\Software\\Trelk\\Notizkasten as UpdateResult"),
              std::string::npos)
        << toolOutput;
  }
  // The program's start with the search still due: the wizard opens, "Abbrechen" leads to the
  // main window of version 1.0, which closes.
  void StartsNormally() {
    Process p;
    ASSERT_TRUE(Start(p));
    HWND w = WaitForWindow(p.pi.dwProcessId, kWizardClass, "Updates installieren");
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(Click(w, "Abbrechen"));
    HWND main = WaitForWindow(p.pi.dwProcessId, kMainClass, "Notizkasten");
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(WaitForText(main, [](const std::string& t) { return t.find("Notizkasten 1.0,") == 0; }, 5000).empty());
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(p.Wait(20000), 0u);
  }
  // Check, download and installation up to "Bestätigung3".
  void InstallsUpTo(HWND wizard) {
    ASSERT_TRUE(ShowsText(wizard, wizard::CheckResultText(true, "- " + item + "\r\n")));
    ASSERT_TRUE(Click(wizard, "Weiter >"));
    ASSERT_TRUE(ShowsText(wizard, kDownloadDoneText, 30000));
    ASSERT_TRUE(Click(wizard, "Weiter >"));
    ASSERT_TRUE(ShowsText(wizard, "Programm automatisch neu starten"));
    ASSERT_TRUE(Click(wizard, "Weiter >"));
    ASSERT_TRUE(ShowsText(wizard, "Beenden"));
  }

  // Whether a batch recorded its outcome in the program key within 30 s.
  static bool OutcomeRecorded() {
    for (int i = 0; i < 300; ++i) {
      if (Values(HKEY_LOCAL_MACHINE, kKey).find("UpdateResult=sz:") != std::string::npos) return true;
      Sleep(100);
    }
    return false;
  }
  // A restore's batch ended well: it recorded "ok", the program file is `kept` byte for byte, and
  // the version it replaced (today's list, `sha`) is skipped.
  void RestoredTo(const std::string& kept, const std::string& sha) {
    const bool done = OutcomeRecorded();
    const std::string values = Values(HKEY_LOCAL_MACHINE, kKey);
    ASSERT_TRUE(done) << values;
    EXPECT_NE(values.find("|ok"), std::string::npos) << values;
    EXPECT_EQ(ReadFileBytes(program + "Notizkasten.exe"), kept) << "the kept version byte for byte";
    EXPECT_NE(values.find("SkippedDate=date:" + std::to_string(today) + " SkippedSHA256=sz:" + sha), std::string::npos)
        << values;
  }

  std::string maker, secretKey, otherSection, item, toolOutput;
};

// The key pair of the build: its public half is the resource of both signed versions, and the
// programs without a key have none.
TEST_F(SignedRoadTest, OnlyTheSignedVariantsCarryTheKey) {
  const std::string key = ReadFileBytes(BinDir() + "update-testkey\\update-public.key");
  ASSERT_EQ(base::TrimBlanksAndBreaks(key).size(), 44u) << key;
  struct Program {
    const char* file;
    bool keyed;
  } programs[] = {{"NotizkastenSigniert.exe", true}, {"NotizkastenSigniertNeu.exe", true},
                  {"Notizkasten.exe", false}, {"NotizkastenNeu.exe", false}};
  for (const Program& p : programs) {
    HMODULE m = LoadLibraryExA((BinDir() + p.file).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(m, nullptr) << p.file;
    HRSRC r = FindResourceA(m, "TRELK_UPDATE_PUBLIC_KEY", MAKEINTRESOURCEA(10));
    std::string text;
    if (r) text.assign(static_cast<const char*>(LockResource(LoadResource(m, r))), SizeofResource(m, r));
    FreeLibrary(m);
    EXPECT_EQ(text, p.keyed ? key : "") << p.file;
  }
}

// Over https, the certificate checked against the machine's trusted roots.
TEST_F(SignedRoadTest, PublishedUpdateInstallsAndRestartsTheNewVersion) {
  if (!TestCaTrusted()) GTEST_SKIP() << "the test CA is not trusted here";
  server = SecureURL("TLS");
  Publish();
  const std::string list = ReadFileBytes(UpdateServerRoot() + "Updates.ini");
  EXPECT_EQ(list.substr(0, otherSection.size()), otherSection) << "the other program's section stays";
  EXPECT_NE(list.find("SHA256="), std::string::npos) << list;
  EXPECT_TRUE(FileExists(UpdateServerRoot() + "Updates.ini.sig"));
  const std::string logBefore = ServerLog();
  PlantFiles();
  ASSERT_TRUE(Start(process));
  const DWORD pid = process.pi.dwProcessId;
  HWND wizard = ToResultPage(pid);
  ASSERT_NE(wizard, nullptr);
  // The checked list is held while the wizard reads it: it can neither be rewritten (to name
  // another archive and its checksum) nor replaced.
  ASSERT_TRUE(ShowsText(wizard, wizard::CheckResultText(true, "- " + item + "\r\n")));
  WIN32_FIND_DATAA fd;
  HANDLE find = FindFirstFileA((SearchFolder() + "$*.tmp").c_str(), &fd);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  FindClose(find);
  const std::string listFile = SearchFolder() + fd.cFileName;
  EXPECT_EQ(CreateFileA(listFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                        nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeleteFileA(listFile.c_str()));
  EXPECT_FALSE(MoveFileA(listFile.c_str(), (listFile + ".alt").c_str()));
  InstallsUpTo(wizard);
  EXPECT_EQ(ServerLog().substr(logBefore.size()),
            "GET /Updates.ini HTTP/1.0\nGET /Updates.ini.sig HTTP/1.0\nGET /Updates/Notizkasten.zip HTTP/1.0\n");
  EndsAndRestartsAsNewVersion(wizard, pid);
  EXPECT_EQ(Listing(program), "[Notizkasten.exe][Trelk-Vorher/]")
      << "nothing of the installation stays in the program folder but the kept version";
  PlantedFilesUnused();
  const std::string values = Values(HKEY_LOCAL_MACHINE, kKey);
  EXPECT_NE(values.find("Update=date:" + std::to_string(today + 6)), std::string::npos) << values;
}

// The user's word and the maker's caution in the whole program, each start a new process: a
// rollout of 0 % offers nothing at the reminder (the number drawn there survives the starts),
// the settings tool's search shows the update all the same, and the version skipped there is
// offered at no reminder, also after a renewal that lets everybody have it, until a newer one
// is published.
TEST_F(SignedRoadTest, SkippedVersionsAndRolloutsWaitForTheUsersSearch) {
  const std::string serverFolder = UpdateServerRoot().substr(0, UpdateServerRoot().size() - 1);
  const std::string key = "Software\\Trelk\\" + std::string(kKey);
  auto Number = [&]() -> int {
    DWORD value = 0, size = sizeof value;
    return RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "RolloutNumber", RRF_RT_REG_DWORD, nullptr, &value, &size) ==
                   ERROR_SUCCESS
               ? static_cast<int>(value)
               : -1;
  };
  // A start; `search`: the settings tool's search ("OnlyUpdate"), else the reminder (due: no
  // "Update"). The result page's text, then the way out: "Abbrechen", or `skip`.
  auto StartAndCheck = [&](bool search, bool skip = false) -> std::string {
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "Update");
    if (search) EXPECT_TRUE(SetString(HKEY_LOCAL_MACHINE, kKey, "OnlyUpdate", ""));
    Process p;
    EXPECT_TRUE(Start(p));
    HWND wizard = ToResultPage(p.pi.dwProcessId);
    EXPECT_NE(wizard, nullptr);
    if (!wizard) return std::string();
    const std::string text = WaitForText(wizard, [](const std::string& t) {
      return t.find("Es stehen") == 0 || t.find("Diese Version haben") == 0;
    });
    EXPECT_EQ(ButtonEnabled(wizard, "Diese Version \xFC" "berspringen"), text.find("Es stehen neue") == 0);
    EXPECT_TRUE(Click(wizard, skip                                 ? "Diese Version \xFC" "berspringen"
                              : text == wizard::kNoUpdateText ? "Beenden"
                                                              : "Abbrechen"));
    if (!search) {
      HWND main = WaitForWindow(p.pi.dwProcessId, kMainClass, "Notizkasten");
      EXPECT_NE(main, nullptr);
      if (main) PostMessageA(main, WM_CLOSE, 0, 0);
    }
    EXPECT_EQ(p.Wait(20000), 0u);
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "OnlyUpdate");
    return text;
  };
  const std::string offer = wizard::CheckResultText(true, "- " + item + "\r\n");
  Publish(std::string(), {"--rollout", "0"});
  EXPECT_NE(toolOutput.find("Rollout 0 % from today, doubling weekly"), std::string::npos) << toolOutput;
  EXPECT_EQ(Number(), -1);
  EXPECT_EQ(StartAndCheck(false), wizard::kNoUpdateText);
  const int drawn = Number();
  EXPECT_GE(drawn, 0);
  EXPECT_LE(drawn, 99);
  EXPECT_EQ(StartAndCheck(true, true), offer) << "the tool's search bypasses the rollout";
  EXPECT_EQ(Number(), drawn) << "drawn once";
  const std::string list = ReadFileBytes(UpdateServerRoot() + "Updates.ini");
  const size_t sha = list.find("SHA256=");
  ASSERT_NE(sha, std::string::npos);
  EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, kKey).find("SkippedDate=date:" + std::to_string(today) +
                                                  " SkippedSHA256=sz:" + list.substr(sha + 7, 64)) != std::string::npos,
            true)
      << Values(HKEY_LOCAL_MACHINE, kKey);
  // Everybody may have it now, but this user skipped it.
  ASSERT_EQ(Tool({"renew", "--key", secretKey, "--server", serverFolder, "--program", "Notizkasten", "--rollout", "100"}),
            0u)
      << toolOutput;
  EXPECT_EQ(StartAndCheck(false), wizard::kNoUpdateText);
  EXPECT_EQ(StartAndCheck(true), wizard::kSkippedLineText + offer) << "the search shows it, and that it was skipped";
  // A newer version comes to the reminder again; publishing without --rollout ends the rollout.
  std::vector<std::string> args = {"publish", "--key", secretKey, "--server", serverFolder, "--program", "Notizkasten",
                                   "--from", maker + "neu", "--file", "Notizkasten.zip", "--date", MakerDate(today + 1),
                                   "--news", item};
  ASSERT_EQ(Tool(args), 0u) << toolOutput;
  EXPECT_NE(ReadFileBytes(UpdateServerRoot() + "Updates.ini").find("Rollout=100\r\n"), std::string::npos);
  EXPECT_EQ(StartAndCheck(false), offer);
  EXPECT_EQ(Number(), drawn);
}

// The road of a signed refusal: a foreign list, an older list served again after the program
// accepted a newer one, an expired list. The program installs nothing, says why, stays usable,
// and its next start is as always. A changed archive, list or signature, a missing signature and
// an archive of the wrong size are refused on the same road: they are cases of
// tests/wizard/UpdateRoad_test.cpp.
TEST_F(SignedRoadTest, ForeignOfferInstallsNothing) {
  const std::string root = UpdateServerRoot();
  // The list's serial as the maker's tool wrote it.
  auto SerialOf = [](const std::string& list) {
    const size_t at = list.find("Serial=");
    return at == std::string::npos ? -1 : std::atoi(list.c_str() + at + 7);
  };
  const std::string foreign = maker + "fremd";
  ASSERT_EQ(Tool({"keygen", foreign}), 0u) << toolOutput;
  EXPECT_NE(toolOutput.find("update-public.key"), std::string::npos) << toolOutput;
  const std::string foreignSecret = ReadFileBytes(foreign + "\\update-secret.key");
  EXPECT_EQ(toolOutput.find(foreignSecret.substr(0, 40)), std::string::npos) << "the secret key is never printed";
  struct Case {
    const char* name;
    std::function<void()> spoil;  // after publishing with the build's key
    const char* text;             // what the wizard shows on the result page
  } cases[] = {
      {"the list signed by another key", [&] { Publish(foreign + "\\update-secret.key"); },
       wizard::kListSignatureInvalidText},
      // The program once accepted a newer list (its serial in the key); the older one, signed
      // and all, is served again.
      {"an older signed list served again",
       [&] {
         const std::string list = ReadFileBytes(root + "Updates.ini"), sig = ReadFileBytes(root + "Updates.ini.sig");
         Publish();
         ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kKey, "UpdateSerial", SerialOf(ReadFileBytes(root + "Updates.ini"))));
         WriteFileBytes(root + "Updates.ini", list);
         WriteFileBytes(root + "Updates.ini.sig", sig);
       },
       wizard::kListReplayedText},
      {"a list that expired yesterday",
       [&] {
         ASSERT_EQ(Tool({"renew", "--key", secretKey, "--server", root.substr(0, root.size() - 1), "--expires",
                         MakerDate(today - 1)}),
                   0u)
             << toolOutput;
       },
       wizard::kListExpiredText},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveTree(tempDir);
    CreateDirectoryA(tempDir.c_str(), nullptr);
    DeleteKey(HKEY_LOCAL_MACHINE, kKey);
    ServerClear();
    Publish();
    c.spoil();
    if (HasFatalFailure()) return;
    Process p;
    ASSERT_TRUE(Start(p));
    HWND w = ToResultPage(p.pi.dwProcessId);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(ShowsText(w, c.text)) << "the wizard says why";
    EXPECT_TRUE(ButtonEnabled(w, "Abbrechen"));
    EXPECT_FALSE(FileExists(SearchFolder() + "Notizkasten.zip")) << "no archive stays";
    EXPECT_FALSE(FileExists(SearchFolder() + "Notizkasten.exe")) << "nothing unpacked";
    // "< Zurück" leads to a new check; "Abbrechen" there to the program.
    ASSERT_TRUE(Click(w, "< Zurück"));
    for (int i = 0; i < 100 && !ButtonEnabled(w, "Jetzt auf neue Updates prüfen"); ++i) Sleep(20);
    EXPECT_TRUE(ButtonEnabled(w, "Jetzt auf neue Updates prüfen"));
    ASSERT_TRUE(Click(w, "Abbrechen"));
    HWND main = WaitForWindow(p.pi.dwProcessId, kMainClass, "Notizkasten");
    ASSERT_NE(main, nullptr);
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(p.Wait(20000), 0u);
    Sleep(300);
    EXPECT_EQ(ReadFileBytes(program + "Notizkasten.exe"), oldProgram);
    EXPECT_EQ(Listing(work), "[Programm/][T\xE4mp/]") << "nothing beside the temporary folder";
    EXPECT_EQ(Listing(program), "[Notizkasten.exe]");
    EXPECT_EQ(Listing(tempDir), "") << "no list, signature or archive left";
    EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, kKey).find("Update="), std::string::npos) << "the search stays due";
    StartsNormally();
    EXPECT_EQ(Listing(tempDir), "");
  }
}

// The program built with two root keys (bin/update-testkeyroot1 and 2, the primary and the
// backup) and release keys the maker delegates with them.
class RootKeyRoadTest : public SignedRoadTest {
 protected:
  void SetUp() override {
    SignedRoadTest::SetUp();
    if (HasFatalFailure()) return;
    for (const char* n : {"1", "2"}) {
      rootSecret.push_back(BinDir() + "update-testkeyroot" + n + "\\root-secret.key");
      rootPublic.push_back(BinDir() + "update-testkeyroot" + n + "\\root-public.key");
      ASSERT_TRUE(FileExists(rootSecret.back())) << "the build makes the root keys";
      rootId.push_back(base::KeyId(*base::ParsePublicKey(ReadFileBytes(rootPublic.back()))));
    }
    for (const char* name : {"release1", "release2"}) {
      ASSERT_EQ(Tool({"keygen", maker + name}), 0u) << toolOutput;
      releaseSecret.push_back(maker + name + "\\update-secret.key");
    }
    delegation = maker + "delegation.txt";
  }
  // The delegation of release key `release` (0 or 1) by the root key `rootSecretFile`.
  void Delegate(const std::string& rootSecretFile, int release, const std::string& programs, int epoch, int expires) {
    ASSERT_EQ(Tool({"delegate", "--root", rootSecretFile, "--release",
                    maker + "release" + std::to_string(release + 1) + "\\update-public.key", "--programs", programs,
                    "--epoch", std::to_string(epoch), "--expires", MakerDate(expires), "--out", delegation}),
              0u)
        << toolOutput;
  }
  void PublishDelegated(int release, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"--delegation", delegation};
    args.insert(args.end(), extra.begin(), extra.end());
    Publish(releaseSecret[static_cast<size_t>(release)], args);
  }
  // Starts the program up to the result page, where it must show `text`, and leaves it with
  // "Abbrechen" and its main window.
  void ShowsAndCancels(const std::string& text) {
    Process p;
    ASSERT_TRUE(Start(p));
    HWND w = ToResultPage(p.pi.dwProcessId);
    ASSERT_NE(w, nullptr);
    const bool shown = ShowsText(w, text);
    std::string texts;
    if (!shown)
      for (const Child& c : Children(w)) texts += c.text + "|";
    EXPECT_TRUE(shown) << texts;
    ASSERT_TRUE(Click(w, "Abbrechen"));
    HWND main = WaitForWindow(p.pi.dwProcessId, kMainClass, "Notizkasten");
    ASSERT_NE(main, nullptr);
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(p.Wait(20000), 0u);
  }

  std::vector<std::string> rootSecret, rootPublic, rootId, releaseSecret;
  std::string delegation;
};

// The migration list of a maker whose primary root key's secret is gone: the backup delegates a
// release key and retires the primary; the list keeps the old one-line signature beside the
// chain. The program built with one key takes it as before, and the program built with root keys
// installs it, remembering the epoch and the retirement.
TEST_F(RootKeyRoadTest, BackupRootKeyAloneDelegatesAndBothKindsOfProgramTakeTheList) {
  Delegate(rootSecret[1], 0, "*", 1, today + 100);
  ASSERT_EQ(Tool({"retire", "--root", rootSecret[1], "--retired", rootPublic[0], "--from", "1", "--delegation",
                  delegation}),
            0u)
      << toolOutput;
  PublishDelegated(0, {"--legacy-key", secretKey});
  const std::string root = UpdateServerRoot();
  // (Waage's section names no archive on this server: verify says so, and ends with 1.)
  Tool({"verify", "--server", root.substr(0, root.size() - 1), "--public",
        BinDir() + "update-testkey\\update-public.key", "--root", rootPublic[0], "--root", rootPublic[1]});
  EXPECT_NE(toolOutput.find("[Notizkasten]: taken by programs built with the root keys"), std::string::npos)
      << toolOutput;
  EXPECT_NE(toolOutput.find("Programs built with the one key"), std::string::npos) << toolOutput;
  // The program of today (one key): offered, as always, from the one-line signature.
  std::string logBefore = ServerLog();
  ShowsAndCancels(wizard::CheckResultText(true, "- " + item + "\r\n"));
  if (HasFatalFailure()) return;
  EXPECT_EQ(ServerLog().substr(logBefore.size()), "GET /Updates.ini HTTP/1.0\nGET /Updates.ini.sig HTTP/1.0\n");
  // The program with root keys: installs through the chain.
  ASSERT_TRUE(CopyFileA((BinDir() + "NotizkastenWurzel.exe").c_str(), (program + "Notizkasten.exe").c_str(), FALSE));
  SetFileDate(program + "Notizkasten.exe", today - 10, 0.5);
  logBefore = ServerLog();
  ASSERT_TRUE(Start(process));
  const DWORD pid = process.pi.dwProcessId;
  HWND wizard = ToResultPage(pid);
  ASSERT_NE(wizard, nullptr);
  InstallsUpTo(wizard);
  EXPECT_EQ(ServerLog().substr(logBefore.size()),
            "GET /Updates.ini HTTP/1.0\nGET /Updates.ini.sig HTTP/1.0\nGET /Updates.ini.chain HTTP/1.0\n"
            "GET /Updates/Notizkasten.zip HTTP/1.0\n");
  EndsAndRestartsAsNewVersion(wizard, pid);
  const std::string values = Values(HKEY_LOCAL_MACHINE, kKey);
  EXPECT_NE(values.find("UpdateKeyEpoch=dword:1"), std::string::npos) << values;
  EXPECT_NE(values.find("UpdateKeyRetired=sz:" + rootId[0]), std::string::npos) << values;
}

// What the program with root keys refuses, each with its text, nothing kept: the chain's every
// link, a rotation and a retired root key.
TEST_F(RootKeyRoadTest, DelegationRefusalsInstallNothing) {
  ASSERT_TRUE(CopyFileA((BinDir() + "NotizkastenWurzel.exe").c_str(), (program + "Notizkasten.exe").c_str(), FALSE));
  SetFileDate(program + "Notizkasten.exe", today - 10, 0.5);
  const std::string stranger = maker + "fremd";
  ASSERT_EQ(Tool({"keygen", "--root", stranger}), 0u) << toolOutput;
  struct Case {
    const char* name;
    std::function<void()> make;
    const char* text;
  } cases[] = {
      {"a delegation that expired yesterday", [&] { Delegate(rootSecret[0], 0, "*", 1, today - 1); PublishDelegated(0); },
       wizard::kDelegationExpiredText},
      {"a delegation for another program",
       [&] { Delegate(rootSecret[0], 0, "Waage", 1, today + 100); PublishDelegated(0); },
       wizard::kProgramNotCoveredText},
      {"a delegation by a root key the program does not carry",
       [&] { Delegate(stranger + "\\root-secret.key", 0, "*", 1, today + 100); PublishDelegated(0); },
       wizard::kListSignatureInvalidText},
      // The program took epoch 2 (release key 2) at a check; then the old release key signs a
      // fresh list with its own, older delegation.
      {"the old release key after a rotation",
       [&] {
         Delegate(rootSecret[0], 1, "*", 2, today + 100);
         PublishDelegated(1);
         ShowsAndCancels(wizard::CheckResultText(true, "- " + item + "\r\n"));
         ASSERT_NE(Values(HKEY_LOCAL_MACHINE, kKey).find("UpdateKeyEpoch=dword:2"), std::string::npos);
         Delegate(rootSecret[0], 0, "*", 1, today + 100);
         PublishDelegated(0);
       },
       wizard::kKeyEpochLowerText},
      {"an older delegation served again",
       [&] {
         Delegate(rootSecret[0], 0, "*", 1, today + 100);
         PublishDelegated(0);
         ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kKey, "UpdateKeyEpoch", 3));
       },
       wizard::kKeyEpochLowerText},
      {"a delegation by the retired primary",
       [&] {
         Delegate(rootSecret[0], 0, "*", 5, today + 100);
         PublishDelegated(0);
         ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kKey, "UpdateKeyRetired", rootId[0]));
       },
       wizard::kRootRetiredText},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveTree(tempDir);
    CreateDirectoryA(tempDir.c_str(), nullptr);
    DeleteKey(HKEY_LOCAL_MACHINE, kKey);
    c.make();
    if (HasFatalFailure()) return;
    // The values a check remembers; the engine writes others at every start.
    auto remembered = [this] {
      std::string values = Values(HKEY_LOCAL_MACHINE, kKey), kept;
      for (const char* name : {"UpdateSerial=", "UpdateKeyEpoch=", "UpdateKeyRetired="}) {
        const size_t at = values.find(name);
        if (at != std::string::npos) kept += values.substr(at, values.find(' ', at) - at) + ";";
      }
      return kept;
    };
    const std::string before = remembered();
    ShowsAndCancels(c.text);
    if (HasFatalFailure()) return;
    EXPECT_EQ(remembered(), before) << "nothing remembered of a refused list";
    EXPECT_EQ(ReadFileBytes(program + "Notizkasten.exe"), ReadFileBytes(BinDir() + "NotizkastenWurzel.exe"));
    EXPECT_EQ(Listing(tempDir), "") << "no list, chain or archive left";
  }
}

// The same server and list for the program built without a key: the road as always, the new
// values unread and no signature asked for, from a server that sends every request on to https
// (as most web hosts do). The update brings two files with German names, one
// with a character that the console's code page lacks ("\x96"): they install under exactly
// those names, and the batch records "ok" (the program, restarted, says nothing).
// The unattended switch, as an administrator's script runs it: no window, the exit code and
// "UpdateResult" tell. The maker's server is the one the program names; a policy points the
// program at the company's mirror, which alone is asked. A forged list, the administrator's pin
// and updates switched off install nothing, each with its code; the pin also shows in the
// wizard's check.
TEST_F(SignedRoadTest, UnattendedSwitchObeysThePoliciesAndInstallsFromTheMirror) {
  ASSERT_NE(MirrorPort(), 0) << "run through run_with_server.sh --files";
  const std::string root = UpdateServerRoot(), mirror = MirrorRoot();
  const std::string foreign = maker + "fremd";
  ASSERT_EQ(Tool({"keygen", foreign}), 0u) << toolOutput;
  const std::string mirrorPolicy = "127.0.0.1:" + std::to_string(MirrorPort());
  struct Case {
    const char* name;
    const char* policies;    // "value type data" separated by ";"
    bool forged;             // the list signed by another key
    bool wizard;             // a normal start: the wizard's check says why
    DWORD code;              // the exit code of the unattended run
    const char* result;      // how "UpdateResult" ends
    bool protectedForUser = false;  // the program sees its folder as protected, started with a user's rights
  } cases[] = {
      {"protected folder, a user's rights", "", false, false, 4, "|unattended|4|administrator", true},
      {"forged list from the mirror", "", true, false, 2, "|unattended|2|failed|refused 2"},
      {"switched off", "DisableUpdates REG_DWORD 1", false, false, 5, "|unattended|5|disabled"},
      {"pinned before the list's day", "PinnedDate REG_SZ 01.01.2003", false, false, 6, "|unattended|6|pinned"},
      {"pinned: the wizard says so", "PinnedDate REG_SZ 01.01.2003", false, true, 0, nullptr},
      {"pinned below the list's serial", "PinnedSerial REG_DWORD 0", false, false, 6, "|unattended|6|pinned"},
      {"installed from the mirror", "", false, false, 1, "|ok"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveTree(tempDir);
    CreateDirectoryA(tempDir.c_str(), nullptr);
    DeleteKey(HKEY_LOCAL_MACHINE, kKey);
    DeletePolicies();
    ServerClear();
    // Published for the maker's server, then copied to the mirror; the maker's server keeps
    // nothing, so that a request there would fail.
    Publish(c.forged ? foreign + "\\update-secret.key" : std::string());
    for (const char* file : {"Updates.ini", "Updates.ini.sig", "Updates\\Notizkasten.zip"}) {
      WriteFileBytes(mirror + file, ReadFileBytes(root + file));
      DeleteFileA((root + file).c_str());
    }
    ASSERT_TRUE(PolicyAdd("", "UpdateServer", "REG_SZ", mirrorPolicy));
    for (const char* item = c.policies; *item;) {
      const char* end = std::strchr(item, ';');
      const std::string one(item, end ? end - item : std::strlen(item));
      const size_t a = one.find(' '), b = one.find(' ', a + 1);
      ASSERT_TRUE(PolicyAdd(kKey, one.substr(0, a), one.substr(a + 1, b - a - 1), one.substr(b + 1))) << one;
      item = end ? end + 1 : item + std::strlen(item);
    }
    if (c.protectedForUser) {
      ASSERT_TRUE(CopyFileA((BinDir() + "NotizkastenGeschuetzt.exe").c_str(), (program + "Notizkasten.exe").c_str(), FALSE));
      SetFileDate(program + "Notizkasten.exe", today - 10, 0.5);
    }
    const std::string before = ReadFileBytes(program + "Notizkasten.exe");
    const std::string makerLog = ServerLog(), mirrorLog = ServerGet("/_log", MirrorPort());
    Process p;
    if (c.wizard) {
      ASSERT_TRUE(Start(p));
      HWND w = ToResultPage(p.pi.dwProcessId);
      ASSERT_NE(w, nullptr);
      EXPECT_TRUE(ShowsText(w, wizard::kPinnedText)) << "the check says why in one line";
      ASSERT_TRUE(Click(w, "Beenden"));
      HWND main = WaitForWindow(p.pi.dwProcessId, kMainClass, "Notizkasten");
      ASSERT_NE(main, nullptr);
      PostMessageA(main, WM_CLOSE, 0, 0);
      EXPECT_EQ(p.Wait(20000), 0u);
    } else {
      ASSERT_TRUE(Start(p, c.protectedForUser, "/UpdateSilent"));
      // Watched while it runs: no visible window of the process, message boxes included.
      int shown = 0;
      DWORD code = STILL_ACTIVE;
      for (int i = 0; i < 6000 && (code = p.Wait(20)) == STILL_ACTIVE; ++i)
        for (HWND h : WindowsOf(p.pi.dwProcessId, nullptr, nullptr)) shown += IsWindowVisible(h) ? 1 : 0;
      EXPECT_EQ(code, c.code);
      EXPECT_EQ(shown, 0) << "no window at all";
      char text[2048] = {};
      DWORD size = sizeof text;
      ASSERT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Trelk\\Notizkasten", "UpdateResult", RRF_RT_REG_SZ,
                             nullptr, text, &size),
                ERROR_SUCCESS);
      EXPECT_TRUE(EndsWith(text, c.result)) << text;
    }
    EXPECT_EQ(ServerLog().substr(makerLog.size()), "") << "the maker's server is never asked";
    // Updates switched off: nothing fetched at all.
    EXPECT_EQ(ServerGet("/_log", MirrorPort()).substr(mirrorLog.size(), 26),
              c.code == 5 ? "" : "GET /Updates.ini HTTP/1.0\n");
    EXPECT_TRUE(ReadFileBytes(program + "Notizkasten.exe") == (c.code == 1 ? newProgram : before))
        << "the program file";
    if (c.protectedForUser) {
      WriteFileBytes(program + "Notizkasten.exe", oldProgram);
      SetFileDate(program + "Notizkasten.exe", today - 10, 0.5);
    }
    if (c.code == 1) {
      // The image set aside while the batch replaced it goes at the next start.
      for (int i = 0; i < 5 && FileExists(program + "Notizkasten.exe.trelk-alt"); ++i) StartsAndCloses();
      EXPECT_EQ(Listing(program), "[Notizkasten.exe]");
    } else {
      EXPECT_EQ(Listing(program), "[Notizkasten.exe]");
    }
  }
}

// The settings tool's look at all programs (built with the same key): four programs of the
// family, a signed list that offers two of them (one switched off by the administrator), one
// fetch, the result read from the tool's window; the example program's update started from
// there installs it. A forged list and a list that does not come are each one message.
TEST_F(SignedRoadTest, SettingsToolLooksAtTheWholeFamilyAndInstallsOneUpdate) {
  const std::string others[] = {"Kassenbuch", "Terminwerk", "Adressmeister", "Ostvane"};
  struct Cleanup {
    const std::string* keys;
    ~Cleanup() {
      for (int i = 0; i < 4; ++i) DeleteKey(HKEY_LOCAL_MACHINE, keys[i]);
    }
  } cleanup{others};
  WriteFileBytes(UpdateServerRoot() + "Updates.ini",
                 "[Kassenbuch]\r\nDate=" + MakerDate(today) + "\r\nFile=Kassenbuch.zip\r\n\r\n[Terminwerk]\r\nDate=" + MakerDate(today - 20) +
                     "\r\nFile=Terminwerk.zip\r\n\r\n[Adressmeister]\r\nDate=" + MakerDate(today) +
                     "\r\nFile=Adressmeister.zip\r\n\r\n");
  Publish();
  StartsNormally();  // the example program records its command line and its version's date
  ASSERT_NE(Values(HKEY_LOCAL_MACHINE, kKey).find("VersionDate=date:" + std::to_string(today - 10) + ".500000"),
            std::string::npos)
      << "its program file's date: " << Values(HKEY_LOCAL_MACHINE, kKey);
  ASSERT_TRUE(SetDate(HKEY_LOCAL_MACHINE, "Kassenbuch", "VersionDate", today - 20 + 0.5));
  ASSERT_TRUE(SetDate(HKEY_LOCAL_MACHINE, "Terminwerk", "VersionDate", today - 5 + 0.5));
  ASSERT_TRUE(SetDate(HKEY_LOCAL_MACHINE, "Adressmeister", "VersionDate", today - 20 + 0.5));
  ASSERT_TRUE(PolicyAdd("Adressmeister", "DisableUpdates", "REG_DWORD", "1"));
  ASSERT_TRUE(SeedNothingDue("Ostvane"));

  Process tool;
  STARTUPINFOA si{sizeof si};
  const std::string exe = BinDir() + "BriselSigniert.exe";
  std::string cmd = "\"" + exe + "\"";
  std::string env = EnvironmentWith({"TMP=" + tempDir.substr(0, tempDir.size() - 1),
                                     "TEMP=" + tempDir.substr(0, tempDir.size() - 1), "TRELK_UPDATE_SERVER=" + server});
  ASSERT_TRUE(CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, &env[0], nullptr, &si, &tool.pi));
  const DWORD pid = tool.pi.dwProcessId;
  HWND main = WaitForWindow(pid, "TForm1", "Trelk-Software Ostvane");
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(Click(main, "Weiter >"));
  // What the look shows: the list's items, read from the window once it is there.
  HWND family = nullptr;
  // An item of a list box of the tool's process (the text crosses as UTF-16).
  const auto itemText = [](HWND list, int index) {
    wchar_t wide[256] = {};
    const LRESULT n = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(wide));
    char text[512];
    const int got = n > 0 ? WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(n), text, sizeof text, nullptr, nullptr) : 0;
    return std::string(text, got > 0 ? static_cast<size_t>(got) : 0);
  };
  const auto items = [&] {
    std::vector<std::string> texts;
    for (int i = 0; family && i < SendMessageA(family, LB_GETCOUNT, 0, 0); ++i) texts.push_back(itemText(family, i));
    std::sort(texts.begin(), texts.end());
    return texts;
  };
  const auto look = [&] {
    const size_t logged = ServerLog().size();
    if (!Click(main, "Alle Programme pr\xFC" "fen")) return std::string("<no button>");
    for (int i = 0; i < 750 && !family && WindowsOf(pid, "#32770", nullptr).empty(); ++i, Sleep(20))
      for (const Child& c : Children(main))
        // The look's list: its items carry their state (the list's page has one of its own).
        if (lstrcmpiA(c.cls.c_str(), "ListBox") == 0 && SendMessageA(c.handle, LB_GETCOUNT, 0, 0) == 5 &&
            itemText(c.handle, 0).find('\x96') != std::string::npos)
          family = c.handle;
    return ServerLog().substr(logged);
  };

  struct Case {
    const char* name;
    bool forged, missing;
    const char* message;  // the one message; null: the result page
  } cases[] = {
      {"forged list", true, false, wizard::kListSignatureInvalidText},
      {"no list", false, true, wizard::kNoConnectionText},
      {"signed list", false, false, nullptr},
  };
  const std::string foreign = maker + "fremd";
  ASSERT_EQ(Tool({"keygen", foreign}), 0u) << toolOutput;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ServerClear();
    Publish(c.forged ? foreign + "\\update-secret.key" : std::string());
    if (c.missing) ServerMode("/Updates.ini", "status=404");
    const std::string requests = look();
    if (c.message) {
      const Answered box = AnswerBox(pid, "OK");
      EXPECT_EQ(box.text, c.message);
      EXPECT_EQ(WindowsOf(pid, "#32770", nullptr).size(), 0u) << "one message, not one per program";
      EXPECT_EQ(family, nullptr) << "no result for any program";
      EXPECT_TRUE(ButtonEnabled(main, "Alle Programme pr\xFC" "fen"));
      continue;
    }
    EXPECT_EQ(std::count(requests.begin(), requests.end(), '\n'), 2) << "one list and its signature: " << requests;
    ASSERT_NE(family, nullptr) << requests;
    EXPECT_EQ(items(), (std::vector<std::string>{"Adressmeister \x96 Updates vom Administrator abgeschaltet",
                                                 "Kassenbuch \x96 Update verf\xFC" "gbar",
                                                 "Notizkasten \x96 Update verf\xFC" "gbar", "Ostvane \x96 aktuell",
                                                 "Terminwerk \x96 aktuell"}));
    EXPECT_TRUE(ShowsText(main, "Updates f\xFCr 2 von 5 Programmen. Markieren Sie eines und klicken Sie auf \"Update "
                                "installieren\"."));
    // The example program's row by the mouse, then its update.
    int row = -1;
    for (int i = 0; i < 5 && row < 0; ++i)
      if (itemText(family, i).rfind("Notizkasten", 0) == 0) row = i;
    RECT r{};
    SendMessageA(family, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
    PostMessageA(family, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.left + 20, r.top + 8));
    PostMessageA(family, WM_LBUTTONUP, 0, MAKELPARAM(r.left + 20, r.top + 8));
    EXPECT_TRUE(WaitForText(main, [](const std::string& t) { return t.rfind("Neuigkeiten zu Notizkasten:", 0) == 0; }, 5000)
                    .find(item) != std::string::npos);
    ASSERT_TRUE(Click(main, "Update installieren"));
    std::string shown;
    for (int i = 0; i < 3000 && shown != "Notizkasten \x96 Update installiert"; ++i, Sleep(20)) shown = itemText(family, row);
    EXPECT_EQ(shown, "Notizkasten \x96 Update installiert") << "the outcome in the program's row";
    EXPECT_EQ(ReadFileBytes(program + "Notizkasten.exe"), newProgram);
    EXPECT_FALSE(ButtonEnabled(main, "Update installieren")) << "nothing left to install for it";
    // The image the unattended run set aside goes at the program's next start.
    StartsAndCloses();
    EXPECT_EQ(Listing(program), "[Notizkasten.exe]");
    EXPECT_TRUE(CleanedUp());
  }
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(tool.Wait(20000), 0u);
}

TEST_F(SignedRoadTest, ProgramWithoutKeyTakesTheRoadAsAlways) {
  ASSERT_TRUE(CopyFileA((BinDir() + "Notizkasten.exe").c_str(), (program + "Notizkasten.exe").c_str(), FALSE));
  SetFileDate(program + "Notizkasten.exe", today - 10, 0.5);
  const std::string help = "Hilfe f\xFCr Anf\xE4nger.txt", overview = "\xDC" "bersicht \x96 Gr\xF6\xDF" "e.dat";
  WriteFileBytes(maker + "neu\\" + help, "Erste Schritte\r\n");
  WriteFileBytes(maker + "neu\\" + overview, "Spalte 1;Spalte 2\r\n");
  Publish();
  const bool secure = TestCaTrusted();
  if (secure) {
    ServerMode("/Updates.ini", "tlsmoved=1");
    ServerMode("/Updates/Notizkasten.zip", "tlsmoved=1");
  }
  const std::string logBefore = ServerLog();
  ASSERT_TRUE(Start(process));
  const DWORD pid = process.pi.dwProcessId;
  HWND wizard = ToResultPage(pid);
  ASSERT_NE(wizard, nullptr);
  InstallsUpTo(wizard);
  const std::string list = "GET /Updates.ini HTTP/1.0\n", archive = "GET /Updates/Notizkasten.zip HTTP/1.0\n";
  EXPECT_EQ(ServerLog().substr(logBefore.size()), secure ? list + list + archive + archive : list + archive);
  EndsAndRestartsAsNewVersion(wizard, pid);
  EXPECT_EQ(Listing(program),
            "[Hilfe f\xFCr Anf\xE4nger.txt][Notizkasten.exe][Trelk-Vorher/][\xDC" "bersicht \x96 Gr\xF6\xDF" "e.dat]");
  EXPECT_EQ(ReadFileBytes(program + help), "Erste Schritte\r\n");
  EXPECT_EQ(ReadFileBytes(program + overview), "Spalte 1;Spalte 2\r\n");
  // "ok" read and gone; a failure would have made the search due again (the day before today).
  const std::string values = Values(HKEY_LOCAL_MACHINE, kKey);
  EXPECT_NE(values.find("Update=date:" + std::to_string(today + 6)), std::string::npos) << values;
  EXPECT_EQ(values.find("UpdateResult"), std::string::npos) << values;
  // The kept 1.0 names the files 2.0 added; back to 1.0, whose next start removes them.
  const std::string before = ReadFileBytes(BinDir() + "Notizkasten.exe");
  const std::string kept = ReadFileBytes(program + "Trelk-Vorher\\Trelk-Vorher.txt");
  for (const std::string& line : {"K " + Sha256Hex(before) + " Notizkasten.exe\r\n", "N " + help + "\r\n",
                                  "N " + overview + "\r\n"})
    EXPECT_NE(kept.find(line), std::string::npos) << kept;
  for (DWORD other : others) {
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, other);
    if (h) WaitForSingleObject(h, 20000), CloseHandle(h);
  }
  Process restore;
  ASSERT_TRUE(Start(restore, false, wizard::kRestoreArgument));
  EXPECT_EQ(restore.Wait(20000), 0u);
  ASSERT_TRUE(OutcomeRecorded()) << Values(HKEY_LOCAL_MACHINE, kKey);
  EXPECT_EQ(ReadFileBytes(program + "Notizkasten.exe"), before);
  StartsAndCloses();
  EXPECT_EQ(Listing(program), "[Notizkasten.exe]");
  EXPECT_TRUE(CleanedUp()) << "the restore's folder is gone and the program file free";
}

// The signed program in a folder it sees as protected, started with a user's rights; this build
// consents at once (Wine asks nobody). "Beenden" starts the program's own executable with the
// administrators' rights, which installs from copies it checked in a folder of its own. Another
// process of the user that changes the search folder at any moment after the click (the batch,
// the new program file, a ping.bat beside them and in the temporary folder, links to the user's
// other files) gets none of its lines run and nothing outside the search folder deleted: either
// the signed 2.0 is installed and starts with the user's rights, or nothing changes and the
// user is told why.
TEST_F(SignedRoadTest, ConsentInstallsOnlyWhatWasChecked) {
  struct Case {
    const char* name;
    bool archiveReplaced;  // the archive checked in the finish step, replaced before the click
    bool folderSwapped;    // the search folder itself, renamed and replaced by a link before the click
    const char* message;   // what the user is told; null: version 2.0 is installed
    bool rootKeys = false; // the program with root keys, the list with its chain from a delegated key
  } cases[] = {
      {"the batch, the new program and ping.bat rewritten, links in the folder", false, false, nullptr},
      {"with root keys: the chain checked again with the list", false, false, nullptr, true},
      {"the archive replaced after its check", true, false, wizard::kProtectedFilesChangedText},
      {"the search folder replaced by a link", false, true, wizard::kProtectedFailedText},
  };
  const std::string victim = work + "Eigenes\\", mark = work + "fremd.txt";
  const std::string foreignLine = "echo fremd> \"" + mark + "\"\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // What the last case planted goes as links, without following them.
    ServerGet("/_rmtree?path=" + Encoded(UnixPath(tempDir)));
    CreateDirectoryA(tempDir.c_str(), nullptr);
    RemoveTree(victim);
    CreateDirectoryA(victim.c_str(), nullptr);
    WriteFileBytes(victim + "Brief.txt", "mein Brief");
    DeleteFileA(mark.c_str());
    DeleteKey(HKEY_LOCAL_MACHINE, kKey);
    const std::string exe = c.rootKeys ? "NotizkastenWurzelGeschuetzt.exe" : "NotizkastenGeschuetzt.exe";
    ASSERT_TRUE(CopyFileA((BinDir() + exe).c_str(), (program + "Notizkasten.exe").c_str(), FALSE));
    SetFileDate(program + "Notizkasten.exe", today - 10, 0.5);
    const std::string before = ReadFileBytes(program + "Notizkasten.exe");
    for (const char* name : {"ping.bat", "cmd.bat", "reg.bat", "fc.bat"}) WriteFileBytes(tempDir + name, foreignLine);
    ServerClear();
    DeleteFileA((UpdateServerRoot() + "Updates.ini.chain").c_str());
    if (c.rootKeys) {
      // A release key of the maker's, delegated by the build's primary root key.
      const std::string release = maker + "release";
      if (!FileExists(release + "\\update-secret.key")) ASSERT_EQ(Tool({"keygen", release}), 0u) << toolOutput;
      ASSERT_EQ(Tool({"delegate", "--root", BinDir() + "update-testkeyroot1\\root-secret.key", "--release",
                      release + "\\update-public.key", "--programs", "Notizkasten", "--epoch", "1", "--expires",
                      MakerDate(today + 30), "--out", maker + "delegation.txt"}),
                0u)
          << toolOutput;
      Publish(release + "\\update-secret.key", {"--delegation", maker + "delegation.txt"});
      ASSERT_TRUE(FileExists(UpdateServerRoot() + "Updates.ini.chain"));
      ASSERT_FALSE(FileExists(UpdateServerRoot() + "Updates.ini.sig"));
    } else {
      Publish();
    }
    Process p;
    ASSERT_TRUE(Start(p, true)) << "error " << GetLastError();
    const DWORD pid = p.pi.dwProcessId;
    ASSERT_EQ(ElevationOf(pid), 3) << "started with a user's rights";
    HWND w = ToResultPage(pid);
    ASSERT_NE(w, nullptr);
    InstallsUpTo(w);
    EXPECT_FALSE(WaitForText(w, [](const std::string& t) { return EndsWith(t, wizard::kConsentNeededText); }).empty());
    const std::string search = SearchFolder();
    ASSERT_NE(search, "");
    if (c.archiveReplaced) WriteFileBytes(search + "Notizkasten.zip", ReadFileBytes(UpdateServerRoot() + "Updates\\Notizkasten.zip") + "x");
    if (c.folderSwapped)
      ASSERT_TRUE(PlantLink(search.substr(0, search.size() - 1), victim.substr(0, victim.size() - 1), true));

    // The other process, from the click on: again and again, whatever the search folder holds.
    std::atomic<bool> stop{false};
    std::thread other([&] {
      bool linked = c.folderSwapped;
      while (!stop) {
        WriteFileBytes(search + "Update.bat", foreignLine);
        WriteFileBytes(search + "Notizkasten.exe", oldProgram);
        for (const char* name : {"ping.bat", "cmd.bat", "reg.bat", "fc.bat"}) WriteFileBytes(search + name, foreignLine);
        if (!linked && FileExists(search + "ping.bat"))
          linked = PlantLink(search + "Vorher", victim.substr(0, victim.size() - 1)) &&
                   PlantLink(search + "Brief.txt", victim + "Brief.txt");
        Sleep(1);
      }
    });
    struct Join {
      std::atomic<bool>& stop;
      std::thread& t;
      ~Join() {
        stop = true;
        t.join();
      }
    } join{stop, other};
    ASSERT_TRUE(Click(w, "Beenden"));
    if (c.message) {
      // The program goes on as after a cancelled search, and the search stays due.
      Answered told = AnswerBox(pid, "OK");
      EXPECT_EQ(told.text, c.message);
      HWND main = WaitForWindow(pid, kMainClass, "Notizkasten");
      ASSERT_NE(main, nullptr);
      PostMessageA(main, WM_CLOSE, 0, 0);
      EXPECT_EQ(p.Wait(20000), 0u);
      EXPECT_EQ(ReadFileBytes(program + "Notizkasten.exe"), before);
      EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, kKey).find("Update="), std::string::npos) << "the search stays due";
    } else {
      EXPECT_EQ(p.Wait(20000), 0u);
      DWORD again = 0;
      HWND restarted = Restarted(pid, again);
      ASSERT_NE(restarted, nullptr) << "the program was not started again";
      EXPECT_EQ(ElevationOf(again), 3) << "the restarted program has the user's rights, not the administrators'";
      EXPECT_FALSE(
          WaitForText(restarted, [](const std::string& t) { return t.find("Notizkasten 2.0,") == 0; }, 5000).empty());
      EXPECT_EQ(ReadFileBytes(program + "Notizkasten.exe"), newProgram);
      const std::string values = Values(HKEY_LOCAL_MACHINE, kKey);
      EXPECT_NE(values.find("Update=date:" + std::to_string(today + 6)), std::string::npos) << values;
      EXPECT_EQ(values.find("UpdateResult"), std::string::npos) << "the outcome was read: " << values;
      // The replaced version is kept by the administrators' side, in the protected folder.
      EXPECT_NE(values.find("PreviousVersion=sz:ok|" + std::to_string(today) + "|"), std::string::npos) << values;
      EXPECT_EQ(ReadFileBytes(program + "Trelk-Vorher\\Notizkasten.exe"), before);
      PostMessageA(restarted, WM_CLOSE, 0, 0);
    }
    stop = true;
    Sleep(500);
    EXPECT_FALSE(FileExists(mark)) << "a line of the other process ran";
    EXPECT_EQ(ReadFileBytes(victim + "Brief.txt"), "mein Brief") << "a link was followed";
    EXPECT_EQ(Listing(program), c.message ? "[Notizkasten.exe]" : "[Notizkasten.exe][Trelk-Vorher/]");
    RemoveTree(program + "Trelk-Vorher\\");
  }
}

// Back to the previous version in the whole program: version 2.0 installed by the maker's
// written batch keeps 1.0; the restore the settings tool starts puts 1.0 back byte for byte,
// and 2.0 is offered at no reminder until 3.0 comes.
TEST_F(SignedRoadTest, RestoredVersionIsSkippedUntilANewerOne) {
  const std::string key = "Software\\Trelk\\" + std::string(kKey);
  Publish();
  const std::string list = ReadFileBytes(UpdateServerRoot() + "Updates.ini");
  const size_t at = list.find("SHA256=");
  ASSERT_NE(at, std::string::npos);
  const std::string sha = list.substr(at + 7, 64);
  ASSERT_TRUE(Start(process));
  const DWORD pid = process.pi.dwProcessId;
  HWND wizard = ToResultPage(pid);
  ASSERT_NE(wizard, nullptr);
  InstallsUpTo(wizard);
  EndsAndRestartsAsNewVersion(wizard, pid);
  for (DWORD other : others) {
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, other);
    if (h) WaitForSingleObject(h, 20000), CloseHandle(h);
  }
  // Version 2.0 told the outcome at its start: the kept 1.0 can be restored.
  EXPECT_NE(Values(HKEY_LOCAL_MACHINE, kKey).find("PreviousVersion=sz:ok|" + std::to_string(today) + "|" + sha),
            std::string::npos)
      << Values(HKEY_LOCAL_MACHINE, kKey);
  EXPECT_EQ(ReadFileBytes(program + "Trelk-Vorher\\Notizkasten.exe"), oldProgram);
  EXPECT_EQ(ReadFileBytes(program + "Trelk-Vorher\\Trelk-Vorher.txt"),
            "K " + Sha256Hex(oldProgram) + " Notizkasten.exe\r\n");

  Process restore;
  ASSERT_TRUE(Start(restore, false, wizard::kRestoreArgument));
  EXPECT_EQ(restore.Wait(20000), 0u);
  ASSERT_NO_FATAL_FAILURE(RestoredTo(oldProgram, sha));
  EXPECT_NE(Values(HKEY_LOCAL_MACHINE, kKey).find("PreviousVersion=sz:restoring|"), std::string::npos)
      << Values(HKEY_LOCAL_MACHINE, kKey);

  // The reminder of 1.0: the restore is told as done, the kept version goes, 2.0 is not offered.
  auto Reminder = [&]() -> std::string {
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "Update");
    Process p;
    EXPECT_TRUE(Start(p));
    HWND w = ToResultPage(p.pi.dwProcessId);
    EXPECT_NE(w, nullptr);
    if (!w) return std::string();
    const std::string text = WaitForText(w, [](const std::string& t) { return t.find("Es stehen") == 0; });
    EXPECT_TRUE(Click(w, text == wizard::kNoUpdateText ? "Beenden" : "Abbrechen"));
    HWND main = WaitForWindow(p.pi.dwProcessId, kMainClass, "Notizkasten");
    EXPECT_NE(main, nullptr);
    if (main) PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(p.Wait(20000), 0u);
    return text;
  };
  EXPECT_EQ(Reminder(), wizard::kNoUpdateText);
  EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, kKey).find("PreviousVersion"), std::string::npos);
  EXPECT_EQ(Listing(program), "[Notizkasten.exe]");
  // 3.0 comes to the reminder.
  ASSERT_EQ(Tool({"publish", "--key", secretKey, "--server", UpdateServerRoot().substr(0, UpdateServerRoot().size() - 1),
                  "--program", "Notizkasten", "--from", maker + "neu", "--file", "Notizkasten.zip", "--date",
                  MakerDate(today + 1), "--news", item}),
            0u)
      << toolOutput;
  EXPECT_EQ(Reminder(), wizard::CheckResultText(true, "- " + item + "\r\n"));
  EXPECT_TRUE(CleanedUp()) << "the restore's folder is gone and the program file free";
}

// The restore with consent, in a program folder the program sees as protected: the kept files
// are copied into the administrators' folder and checked there; a kept file changed after the
// keep is refused and nothing changes.
TEST_F(SignedRoadTest, ConsentRestoreInstallsOnlyCheckedKeptFiles) {
  struct Case {
    const char* name;
    bool changed;  // the kept program file changed after its list was written
  } cases[] = {{"restored with consent", false}, {"a changed kept file is refused", true}};
  const std::string kept = ReadFileBytes(BinDir() + "NotizkastenSigniert.exe");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteKey(HKEY_LOCAL_MACHINE, kKey);
    RemoveTree(program + "Trelk-Vorher\\");
    ASSERT_TRUE(CopyFileA((BinDir() + "NotizkastenGeschuetzt.exe").c_str(), (program + "Notizkasten.exe").c_str(), FALSE));
    const std::string current = ReadFileBytes(program + "Notizkasten.exe");
    ASSERT_NE(current, kept);
    CreateDirectoryA((program + "Trelk-Vorher").c_str(), nullptr);
    WriteFileBytes(program + "Trelk-Vorher\\Notizkasten.exe", kept);
    WriteFileBytes(program + "Trelk-Vorher\\Trelk-Vorher.txt", "K " + Sha256Hex(kept) + " Notizkasten.exe\r\n");
    if (c.changed) WriteFileBytes(program + "Trelk-Vorher\\Notizkasten.exe", kept + "x");
    const std::string sha(64, 'e');
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kKey, "PreviousVersion", "ok|" + std::to_string(today) + "|" + sha));
    Process p;
    ASSERT_TRUE(Start(p, true, wizard::kRestoreArgument));
    ASSERT_EQ(ElevationOf(p.pi.dwProcessId), 3) << "started with a user's rights";
    if (c.changed) {
      Answered told = AnswerBox(p.pi.dwProcessId, "OK");
      EXPECT_EQ(told.text, wizard::kRestoreFilesChangedText);
      EXPECT_EQ(p.Wait(20000), static_cast<DWORD>(wizard::RestoreOutcome::FilesChanged));
      Sleep(500);
      EXPECT_EQ(ReadFileBytes(program + "Notizkasten.exe"), current);
      const std::string values = Values(HKEY_LOCAL_MACHINE, kKey);
      EXPECT_NE(values.find("PreviousVersion=sz:ok|"), std::string::npos) << values;
      EXPECT_EQ(values.find("Skipped"), std::string::npos) << values;
      continue;
    }
    EXPECT_EQ(p.Wait(20000), 0u);
    ASSERT_NO_FATAL_FAILURE(RestoredTo(kept, sha));
  }
  RemoveTree(program + "Trelk-Vorher\\");
}

}  // namespace
