// Helpers of the transfer tests: the test server's ports and what it recorded (through
// tests/support/TestServer.h), the pattern of its bodies, scratch files.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/TestServer.h"

namespace net_test {

using testsupport::ClosedPort;
using testsupport::OtherHost;
using testsupport::Port80;
using testsupport::ProxyPort;
using testsupport::SecureURL;
using testsupport::ServerPort;
using testsupport::TestCaTrusted;

inline std::string BaseURL() { return "http://localhost:" + std::to_string(ServerPort()); }

// The pattern the server's /file sends: byte i is i % 251.
inline std::string Pattern(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i % 251);
  return s;
}

// The bytes of the latest request the server received.
inline std::string LastRequest() { return testsupport::ServerGet("/_last"); }
inline int RequestCount() { return std::atoi(testsupport::ServerGet("/_count").c_str()); }
inline void ResetLog() { testsupport::ServerGet("/_reset"); }

inline std::string ScratchFile(const std::string& name) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + "net_test_" + std::to_string(GetCurrentProcessId()) + "_" + name;
}

inline std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteWhole(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// CPU seconds this thread has used.
inline double ThreadCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  auto secs = [](const FILETIME& t) {
    return static_cast<double>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) |
                               t.dwLowDateTime) /
           1e7;
  };
  return secs(kernel) + secs(user);
}

}  // namespace net_test
