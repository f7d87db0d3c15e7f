// Helpers of the transfer tests: the test server's ports, a plain blocking Winsock client that
// reads what the server recorded, scratch files.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace net_test {

inline int EnvInt(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::atoi(v) : 0;
}

// The test server (started by run_with_server.sh), its refusing port, its port-80 twin (0 when
// port 80 could not be had) and a second name of 127.0.0.1.
inline int ServerPort() { return EnvInt("NET_TEST_PORT"); }
inline int ClosedPort() { return EnvInt("NET_TEST_CLOSED_PORT"); }
inline int Port80() { return EnvInt("NET_TEST_PORT80"); }
inline std::string OtherHost() {
  const char* v = std::getenv("NET_TEST_OTHER_HOST");
  return v ? v : "LOCALHOST";
}
inline std::string BaseURL() { return "http://localhost:" + std::to_string(ServerPort()); }

// The pattern the server's /file sends: byte i is i % 251.
inline std::string Pattern(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i % 251);
  return s;
}

// GET `path` from the test server over a plain blocking socket; returns the body.
inline std::string RawGet(const std::string& path) {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<u_short>(ServerPort()));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof(to)) == 0) {
    std::string request = "GET " + path + " HTTP/1.0\r\n\r\n";
    send(s, request.data(), static_cast<int>(request.size()), 0);
    char buffer[65536];
    int got;
    while ((got = recv(s, buffer, sizeof(buffer), 0)) > 0) reply.append(buffer, got);
  }
  closesocket(s);
  WSACleanup();
  std::size_t end = reply.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : reply.substr(end + 4);
}

// The bytes of the latest request the server received.
inline std::string LastRequest() { return RawGet("/_last"); }
inline int RequestCount() { return std::atoi(RawGet("/_count").c_str()); }
inline void ResetLog() { RawGet("/_reset"); }

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
