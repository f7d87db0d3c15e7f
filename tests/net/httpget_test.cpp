// Tests of httpget.exe as a process: what it prints, its exit code, the file it writes.
#include <gtest/gtest.h>

#include <string>

#include "tests/net/NetTestSupport.h"

namespace {

using namespace net_test;

struct TRunResult {
  DWORD exitCode = 999;
  std::string output;  // stdout and stderr
};

// Starts httpget.exe (beside this test program) with `arguments` and waits for it.
TRunResult RunHttpget(const std::string& arguments) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string exe = self;
  exe = exe.substr(0, exe.find_last_of('\\') + 1) + "httpget.exe";
  const std::string outName = ScratchFile("httpget.out");
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE out = CreateFileA(outName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = out;
  si.hStdError = out;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::string commandLine = "\"" + exe + "\" " + arguments;
  TRunResult run;
  if (CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                     &si, &pi)) {
    WaitForSingleObject(pi.hProcess, 60000);
    GetExitCodeProcess(pi.hProcess, &run.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(out);
  run.output = ReadWhole(outName);
  return run;
}

TEST(HttpgetTest, PrintsStatusBytesAndSecondsAndExitsByResult) {
  struct Case {
    std::string path;
    DWORD exitCode;
    std::string firstLine;  // the start of the output
    std::string bytesLine;  // the start of the line after it
    std::string file;       // the file afterwards
  };
  const std::string page = "<html><body>Error 404</body></html>";
  const Case cases[] = {
      {"/file?size=100000", 0, "HTTP/1.0 200 OK\r\n", "100000 bytes in ", Pattern(100000)},
      {"/status?code=404", 1, "HTTP/1.0 404 Something\r\n", "35 bytes in ", page},
      {"/status?code=399", 2, "httpget: Too many redirections (more than 20)\r\n", "0 bytes in ",
       page.substr(0, 18) + "399" + page.substr(21)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string file = ScratchFile("httpget.bin");
    WriteWhole(file, "old");
    TRunResult run = RunHttpget("\"" + BaseURL() + c.path + "\" \"" + file + "\"");
    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    EXPECT_EQ(run.output.substr(0, c.firstLine.size()), c.firstLine);
    std::string rest = run.output.substr(run.output.find('\n') + 1);
    EXPECT_EQ(rest.substr(0, c.bytesLine.size()), c.bytesLine) << run.output;
    EXPECT_EQ(ReadWhole(file), c.file);
  }
  {
    SCOPED_TRACE("refused");
    TRunResult run = RunHttpget("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/x " +
                         ScratchFile("refused.bin"));
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(run.output.substr(0, 29), "httpget: Connection Failed\r\n0");
  }
  EXPECT_EQ(RunHttpget("only-one-argument").exitCode, 3u);
}

}  // namespace
