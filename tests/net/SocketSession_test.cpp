// Tests of TSocketSession and TMessageTimer against the loopback test server: lines, lookups,
// refused connections, time-outs, status levels, waiting without spinning.
#include "net/SocketSession.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/HttpClient.h"
#include "toolkit/Application.h"
#include "tests/net/NetTestSupport.h"

namespace net {
namespace {

using namespace net_test;

// A label of 64 characters cannot be put into a name query, so the lookup fails on this machine
// without asking any name server.
const std::string kUnresolvable = std::string(64, 'q') + ".invalid";

TEST(SocketSessionTest, ReadLnKeepsLineEndAndLeavesTheRestUnread) {
  TSocketSession s(nullptr);
  s.Host = "127.0.0.1";
  s.Port = ServerPort();
  int resolved = 0;
  s.OnHostResolved = [&](TComponent*) { ++resolved; };
  s.Connect();
  EXPECT_TRUE(s.Connected());
  s.Writeln("GET /status?code=200 HTTP/1.0");
  s.Writeln("");
  const std::string status = s.ReadLn();
  EXPECT_EQ(status, "HTTP/1.0 200 Something\r\n");
  // The next line is still in the socket, whole.
  EXPECT_EQ(s.ReadLn(), "Content-Length: 35\r\n");
  EXPECT_EQ(s.ReadLn(), "Content-Type: text/html\r\n");
  EXPECT_EQ(s.ReadLn(), "\r\n");
  std::string body;
  s.CaptureString(body);
  EXPECT_EQ(body, "<html><body>Error 200</body></html>");
  EXPECT_EQ(s.ReceivedBytes(), 35);
  // The peer has closed: an empty line.
  EXPECT_EQ(s.ReadLn(), "");
  s.Disconnect();
  // A dotted address needs no lookup.
  EXPECT_EQ(resolved, 0);
}

TEST(SocketSessionTest, FreshSocketAfterDisconnect) {
  TSocketSession s(nullptr);
  s.Host = "localhost";
  s.Port = ServerPort();
  int resolved = 0, disconnected = 0;
  s.OnHostResolved = [&](TComponent*) { ++resolved; };
  s.OnDisconnect = [&](TComponent*) { ++disconnected; };
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    s.Connect();
    EXPECT_EQ(s.Transaction("GET /echo HTTP/1.0\r\n"), "HTTP/1.0 200 OK\r\n");
    EXPECT_EQ(s.ReplyCode(), 0);  // the reply does not start with digits
    s.Disconnect();
    EXPECT_FALSE(s.Connected());
    EXPECT_NE(s.Socket(), INVALID_SOCKET);
  }
  EXPECT_EQ(resolved, 3);
  // Only our own Disconnect closes: the peer's close leaves the socket to be read to its end.
  EXPECT_EQ(disconnected, 3);
  EXPECT_EQ(LastRequest().substr(0, 20), "GET /echo HTTP/1.0\r\n");
}

TEST(SocketSessionTest, UnresolvableHost) {
  struct Case {
    const char* name;
    bool handler;
    bool handled;
    int wantAsked;
    int wantLookups;
  };
  const Case cases[] = {
      {"no handler", false, false, 0, 1},
      {"handler declines", true, false, 1, 1},
      {"handler asks again", true, true, 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TSocketSession s(nullptr);
    s.Host = kUnresolvable;
    s.Port = ServerPort();
    s.ReportLevel = kLevelTrace;
    int asked = 0, lookups = 0, failed = 0;
    s.OnStatus = [&](TComponent*, const std::string& text) { lookups += text == "Resolve Host"; };
    if (c.handler) {
      s.OnInvalidHost = [&](bool& handled) {
        ++asked;
        handled = c.handled;
      };
    }
    s.OnConnectionFailed = [&](TComponent*) { ++failed; };
    try {
      s.Connect();
      ADD_FAILURE() << "connected";
    } catch (const ESockError& e) {
      EXPECT_EQ(e.Message(), "Null Remote Address");
    }
    EXPECT_EQ(asked, c.wantAsked);
    EXPECT_EQ(lookups, c.wantLookups);
    EXPECT_EQ(failed, 0);
  }
}

TEST(SocketSessionTest, RefusedConnection) {
  TSocketSession s(nullptr);
  s.Host = "localhost";
  s.Port = ClosedPort();
  int failed = 0, connected = 0;
  s.OnConnectionFailed = [&](TComponent*) { ++failed; };
  s.OnConnect = [&](TComponent*) { ++connected; };
  try {
    s.Connect();
    ADD_FAILURE() << "connected";
  } catch (const EAbortError&) {
    ADD_FAILURE() << "an abort";
  } catch (const ESockError& e) {
    EXPECT_EQ(e.Message(), "Connection Failed");
  }
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(connected, 0);
  s.Disconnect();
  // The same instance connects to a listening port afterwards.
  s.Port = ServerPort();
  s.Connect();
  EXPECT_EQ(connected, 1);
  s.Disconnect();
}

TEST(SocketSessionTest, StatusReportsByLevel) {
  struct Case {
    int level;
    std::vector<std::string> want;  // in order, the reports that must come
    std::vector<std::string> never;
  };
  const Case cases[] = {
      {0, {}, {"Connecting", "Transaction Completed"}},
      {2, {"Transaction Completed"}, {"Connecting", "Request Close Socket", "ReadLn"}},
      // The status is evaluated while the connection still stands.
      {4, {"Sending Buffer", "Transaction Completed", "Request Close Socket"}, {"Connecting"}},
      {8, {"Connecting", "Resolve Host", "Timer On", "Write", "ReadLn", "CaptureFile",
           "Transaction Completed", "Disconnecting"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    std::vector<std::string> seen;
    {
      THttpClient http(nullptr);
      http.ReportLevel = c.level;
      http.TimeOut = 10000;
      http.InputFileMode = true;
      http.Body = ScratchFile("levels.htm");
      http.OnStatus = [&](TComponent*, const std::string& t) { seen.push_back(t); };
      http.Get(BaseURL() + "/echo");
    }
    if (c.level == 0) EXPECT_TRUE(seen.empty());
    std::size_t at = 0;
    for (const std::string& w : c.want) {
      while (at < seen.size() && seen[at] != w) ++at;
      EXPECT_LT(at, seen.size()) << "missing or out of order: " << w;
    }
    for (const std::string& n : c.never) {
      for (const std::string& s : seen) EXPECT_NE(s, n);
    }
  }
}

// Ten seconds of silence end the wait with an abort and TimedOut, before the header and within
// the body; twelve seconds of a steady drip (a byte a second) do not.
TEST(SocketSessionTest, TimeOutCountsSilenceOnly) {
  THttpClient http(nullptr);
  http.TimeOut = 10000;
  int succeeded = 0, failed = 0;
  http.OnSuccess = [&](CmdType) { ++succeeded; };
  http.OnFailure = [&](CmdType) { ++failed; };

  struct Case {
    const char* path;
    const char* message;
    std::size_t bytes;  // in the file afterwards
  };
  const Case cases[] = {
      {"/silent?secs=30", "Socket readln aborted", 0},
      {"/stall?after=300000&secs=30", "Socket send aborted", 300000},
  };
  const std::string file = ScratchFile("silence.bin");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    WriteWhole(file, "");
    http.InputFileMode = true;
    http.Body = file;
    const DWORD start = GetTickCount();
    try {
      http.Get(BaseURL() + c.path);
      ADD_FAILURE() << "no time-out";
    } catch (const EAbortError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
    const DWORD waited = GetTickCount() - start;
    EXPECT_TRUE(http.TimedOut());
    EXPECT_GE(waited, 9900u);
    EXPECT_LT(waited, 20000u);
    EXPECT_FALSE(http.Connected());
    EXPECT_EQ(ReadWhole(file), Pattern(c.bytes));
  }

  // A header line that trickles in restarts the silence with every byte; the header as a whole
  // has its own limit.
  http.InputFileMode = false;
  DWORD start = GetTickCount();
  http.Get(BaseURL() + "/hdrip?n=12&gap=1");
  EXPECT_GE(GetTickCount() - start, 11000u);
  EXPECT_EQ(http.Body, "slow");
  EXPECT_EQ(succeeded, 1);
  http.HeaderTimeLimit = 3000;
  start = GetTickCount();
  try {
    http.Get(BaseURL() + "/hdrip?n=20&gap=0.5");
    ADD_FAILURE() << "no limit";
  } catch (const EHttpError& e) {
    EXPECT_EQ(e.Message(), "Reply header not complete after 3 s");
  }
  EXPECT_GE(GetTickCount() - start, 2900u);
  EXPECT_LT(GetTickCount() - start, 6000u);
  EXPECT_FALSE(http.Connected());
  http.HeaderTimeLimit = 60000;
  succeeded = 0;

  std::vector<std::int64_t> blocks;
  http.OnPacketRecvd = [&](TComponent*) { blocks.push_back(http.ReceivedBytes()); };
  start = GetTickCount();
  http.Get(BaseURL() + "/drip?n=12&gap=1");
  EXPECT_GE(GetTickCount() - start, 11000u);
  EXPECT_FALSE(http.TimedOut());
  // Every byte came as a block of its own and was appended.
  EXPECT_EQ(http.Body, "abcdefghijkl");
  EXPECT_EQ(http.ReceivedBytes(), 12);
  EXPECT_EQ(http.ExpectedBytes(), 12);
  ASSERT_FALSE(blocks.empty());
  EXPECT_EQ(blocks.back(), 12);
  EXPECT_GE(blocks.size(), 6u);
  EXPECT_EQ(succeeded, 1);
  EXPECT_EQ(failed, 0);
}

// While the server is silent the call waits for messages instead of polling: it uses a small
// fraction of the processor, and the window messages of the thread are still handled inside it.
TEST(SocketSessionTest, WaitingNeitherSpinsNorBlocksMessages) {
  THttpClient http(nullptr);
  http.TimeOut = 10000;
  http.InputFileMode = false;
  TMessageTimer ticker(nullptr);
  int ticks = 0;
  ticker.SetInterval(100);
  ticker.SetOnTimer([&](TComponent*) { ++ticks; });

  const double cpuBefore = ThreadCpuSeconds();
  const DWORD start = GetTickCount();
  http.Get(BaseURL() + "/late?secs=3");
  const double wall = (GetTickCount() - start) / 1000.0;
  const double cpu = ThreadCpuSeconds() - cpuBefore;
  EXPECT_EQ(http.Body, "late");
  EXPECT_GE(wall, 2.9);
  // A polling loop would use the whole three seconds.
  EXPECT_LT(cpu, 0.5) << "CPU seconds while waiting " << wall << " s";
  EXPECT_GE(ticks, 15);
}

TEST(MessageTimerTest, FiresOnlyWhenEnabledWithIntervalAndHandler) {
  struct Case {
    bool enabled;
    std::uint32_t interval;
    bool handler;
    bool fires;
  };
  const Case cases[] = {
      {true, 50, true, true},
      {false, 50, true, false},
      {true, 0, true, false},
      {true, 50, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.enabled << " " << c.interval << " " << c.handler);
    TMessageTimer timer(nullptr);
    int fired = 0;
    timer.SetEnabled(c.enabled);
    timer.SetInterval(c.interval);
    if (c.handler) timer.SetOnTimer([&](TComponent*) { ++fired; });
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 400) {
      toolkit::ProcessMessages();
      toolkit::WaitForMessage(20);
    }
    EXPECT_EQ(fired > 0, c.fires);
  }
}

TEST(SocketSessionTest, AcceptTakesAnIncomingConnection) {
  TSocketSession listener(nullptr);
  listener.TimeOut = 5000;
  const int port = listener.Listen(0);
  TSocketSession client(nullptr);
  client.Host = "127.0.0.1";
  client.Port = port;
  // Connects while the listener waits: the connect runs from a message of the listener's wait.
  bool started = false;
  TMessageTimer kick(nullptr);
  kick.SetInterval(50);
  kick.SetOnTimer([&](TComponent*) {
    if (started) return;
    started = true;
    kick.SetEnabled(false);
    client.Connect();
    client.Writeln("hello");
  });
  // The accepted socket's notifications reach the session: its data is announced.
  int announced = 0;
  listener.OnDataAvailable = [&](TComponent*) { ++announced; };
  ScopedSocket accepted = listener.Accept();
  ASSERT_TRUE(accepted);
  EXPECT_EQ(listener.RemoteAddress().sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  char buffer[16] = {};
  int got = 0;
  for (int i = 0; i < 100 && (got <= 0 || announced == 0); ++i) {
    if (got <= 0) got = recv(accepted.get(), buffer, sizeof(buffer), 0);
    toolkit::ProcessMessages();
    toolkit::WaitForMessage(20);
  }
  EXPECT_EQ(std::string(buffer, got > 0 ? got : 0), "hello\r\n");
  EXPECT_GE(announced, 1);
  client.Disconnect();

  // A wait that is cancelled is an abort.
  TSocketSession idle(nullptr);
  idle.Listen(0);
  kick.SetOnTimer([&](TComponent*) {
    kick.SetEnabled(false);
    idle.Cancel();
  });
  kick.SetEnabled(true);
  try {
    idle.Accept();
    ADD_FAILURE() << "accepted";
  } catch (const EAbortError& e) {
    EXPECT_EQ(e.Message(), "Socket send aborted");
  }
  EXPECT_FALSE(idle.CancelRequested());
}

// A session whose construction fails after its window was made leaves no window behind that
// would point at the unfinished object.
TEST(SocketSessionTest, FailedConstructionLeavesNoWindow) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  // The timer's window class taken by another procedure: the timer cannot be made.
  UnregisterClassA("MessageTimerWindow", instance);
  WNDCLASSEXA foreign{sizeof foreign};
  foreign.lpfnWndProc = DefWindowProcA;
  foreign.hInstance = instance;
  foreign.lpszClassName = "MessageTimerWindow";
  ASSERT_NE(RegisterClassExA(&foreign), 0);
  try {
    TSocketSession s(nullptr);
    ADD_FAILURE() << "made";
  } catch (const ESockError& e) {
    EXPECT_EQ(e.Message(), "Initializaton of windows sockets failed");
  }
  EXPECT_EQ(FindWindowExA(HWND_MESSAGE, nullptr, "SocketSessionWindow", nullptr), nullptr);
  EXPECT_TRUE(UnregisterClassA("MessageTimerWindow", instance));
  // And sessions are made again afterwards.
  TSocketSession again(nullptr);
  EXPECT_NE(FindWindowExA(HWND_MESSAGE, nullptr, "SocketSessionWindow", nullptr), nullptr);
}

TEST(SocketSessionTest, CancelBeforeSendAborts) {
  TSocketSession s(nullptr);
  s.Host = "127.0.0.1";
  s.Port = ServerPort();
  s.Connect();
  // Also an empty write is a send that a pending cancel ends.
  for (const char* text : {"", "GET / HTTP/1.0\r\n"}) {
    s.Cancel();
    try {
      s.Write(text);
      ADD_FAILURE() << "sent";
    } catch (const EAbortError& e) {
      EXPECT_EQ(e.Message(), "Socket send aborted");
    }
  }
  // The abort cleared the request: the session goes on.
  EXPECT_FALSE(s.CancelRequested());
  s.Writeln("GET /echo HTTP/1.0");
  s.Writeln("");
  EXPECT_EQ(s.ReadLn(), "HTTP/1.0 200 OK\r\n");
  s.Disconnect();
}

}  // namespace
}  // namespace net
