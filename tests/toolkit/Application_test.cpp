// The message-window helper, the one message pump with its quit rule, the timer on the helper,
// and a program whose destroy handler throws, ending through Halt and through its normal end.
#include "toolkit/MessageWindow.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "ToolkitTestSupport.h"
#include "tests/support/Programs.h"
#include "toolkit/Timer.h"

namespace {

using namespace toolkit;
using tktest::AppTest;

constexpr UINT kPing = WM_APP + 7;

// An object that owns its window as a member and may fail to be made after it.
struct TSession {
  explicit TSession(bool failLater, std::vector<UINT>* seen)
      : seen_(seen), window_("TestSessionWindow", [this](UINT msg, WPARAM, LPARAM lp, LRESULT& result) {
          seen_->push_back(msg);
          if (msg == kPing && lp == 1) throw base::Exception("Fehler im Fenster");
          if (msg != kPing) return false;
          result = 42;
          return true;
        }) {
    if (failLater) throw base::Exception("Sitzung kann nicht gestartet werden");
  }
  std::vector<UINT>* seen_;
  MessageWindow window_;
};

int SessionWindows() {
  int n = 0;
  for (HWND h = FindWindowExA(HWND_MESSAGE, nullptr, "TestSessionWindow", nullptr); h;
       h = FindWindowExA(HWND_MESSAGE, h, "TestSessionWindow", nullptr))
    ++n;
  return n;
}

TEST_F(AppTest, AMessageWindowHandsItsMessagesToItsObjectAndNothingAfterItsEnd) {
  std::vector<UINT> seen;
  {
    TSession session(false, &seen);
    HWND h = session.window_.Handle();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetParent(h), nullptr);
    EXPECT_EQ(SessionWindows(), 1) << "a message-only window";
    EXPECT_NE(std::find(seen.begin(), seen.end(), static_cast<UINT>(WM_NCCREATE)), seen.end()) << "known from WM_NCCREATE on";
    EXPECT_EQ(SendMessageA(h, kPing, 0, 0), 42);
    // An exception goes to the error handler; the message answers 0.
    EXPECT_EQ(SendMessageA(h, kPing, 0, 1), 0);
    EXPECT_EQ(boxes, std::vector<std::string>{"Toolkit-Test|Fehler im Fenster"});
    seen.clear();
  }
  EXPECT_TRUE(seen.empty()) << "messages of the destruction reached the object: " << seen.size();
  EXPECT_EQ(SessionWindows(), 0);
  // A constructor that fails after the window was made leaves no window behind.
  EXPECT_THROW(TSession(true, &seen), base::Exception);
  EXPECT_EQ(SessionWindows(), 0);
  // A class of that name with another procedure is refused.
  WNDCLASSEXA wc{sizeof wc};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TestForeignClass";
  RegisterClassExA(&wc);
  try {
    MessageWindow foreign("TestForeignClass", [](UINT, WPARAM, LPARAM, LRESULT&) { return false; });
    ADD_FAILURE() << "a foreign class was taken";
  } catch (const base::Exception& e) {
    EXPECT_EQ(e.Message(), "Fensterklasse TestForeignClass ist schon vergeben");
  }
  // The application's window: hidden, top-level, found by class and title.
  EXPECT_EQ(FindWindowExA(nullptr, nullptr, "TApplication", "Toolkit-Test"), app->Handle());
  EXPECT_FALSE(IsWindowVisible(app->Handle()));
}

TEST(Pump, AQuitRequestEndsThePumpingAndIsLeftToTheThreadWithoutAnApplication) {
  MSG stale;
  while (PeekMessageA(&stale, nullptr, 0, 0, PM_REMOVE)) {
  }
  std::vector<UINT> seen;
  TSession session(false, &seen);
  PostMessageA(session.window_.Handle(), kPing, 0, 0);
  EXPECT_TRUE(WaitForMessage(0));
  EXPECT_TRUE(ProcessMessages()) << "one was dispatched";
  EXPECT_FALSE(ProcessMessages()) << "nothing is left";
  EXPECT_FALSE(WaitForMessage(30));
  // The quit request comes when the queue is empty otherwise; pumping ends there.
  seen.clear();
  PostQuitMessage(5);
  PostMessageA(session.window_.Handle(), kPing, 0, 0);
  EXPECT_TRUE(ProcessMessages());
  EXPECT_EQ(seen, std::vector<UINT>{kPing});
  // The request is there again for the thread's own loop.
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 5u);
  PostQuitMessage(6);
  EXPECT_FALSE(ProcessMessages()) << "nothing dispatched";
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 6u);
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

TEST_F(AppTest, AQuitRequestBecomesTheApplicationsTerminate) {
  EXPECT_FALSE(app->Terminated());
  PostQuitMessage(0);
  ProcessMessages();
  EXPECT_TRUE(app->Terminated());
  MSG msg;
  int quits = 0;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) quits += msg.message == WM_QUIT;
  EXPECT_LE(quits, 1);
  app->Run();  // returns at once: the request was seen
}

TEST_F(AppTest, ATimerTicksThroughThePumpAndNotOnceItsOwnerEnds) {
  auto* form = app->CreateForm<tktest::TTestForm>();
  auto* timer = new TTimer(form);
  timer->SetInterval(10);
  int ticks = 0;
  timer->OnTimer = [&](TComponent* sender) {
    EXPECT_EQ(sender, timer);
    ++ticks;
  };
  EXPECT_TRUE(tktest::PumpUntil([&] { return ticks >= 3; }));
  timer->SetEnabled(false);
  tktest::Settle(50);
  int stopped = ticks;
  tktest::Settle(100);
  EXPECT_EQ(ticks, stopped) << "no ticks while disabled";
  timer->SetEnabled(true);
  // The form's destroy handler waits with the pump running: the timer does not tick for it.
  form->OnDestroy = [&](TComponent*) {
    int at = ticks;
    tktest::Settle(100);
    EXPECT_EQ(ticks, at);
  };
  form->Free();
}

// ---- a whole program ending with a failing destroy handler -----------------------------------

std::string RunProbe(const std::string& mode, DWORD* code) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string log = std::string(temp) + "teardown-" + mode + ".txt";
  DeleteFileA(log.c_str());
  testsupport::Process probe;
  std::string exe = testsupport::BinDir() + "teardown_probe.exe";
  STARTUPINFOA si{sizeof si};
  std::string cmd = "\"" + exe + "\" " + mode + " \"" + log + "\"";
  if (!CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &probe.pi)) return "<not started>";
  *code = probe.Wait(20000);
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(Teardown, AThrowingDestroyHandlerIsShownAndTheProgramEndsNormally) {
  struct Case {
    const char* mode;
    DWORD code;
    const char* log;
  };
  const Case cases[] = {
      {"halt", 3, "destroy C\nbox Probe|Fehler beim Setzen der Daten für 'Update'\ndestroy A\n"},
      {"end", 0, "destroy C\nbox Probe|Fehler beim Setzen der Daten für 'Update'\ndestroy A\nafter the application\n"},
  };
  for (const Case& c : cases) {
    DWORD code = 0;
    EXPECT_EQ(RunProbe(c.mode, &code), c.log) << c.mode;
    EXPECT_EQ(code, c.code) << c.mode << ": not the exit code of its normal end";
  }
}

}  // namespace
