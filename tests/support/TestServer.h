// The loopback test server that tests/support/run_with_server.sh starts around a test program:
// its port, its refusing port, its port-80 twin, its forwarding proxy, a second name of 127.0.0.1, and the one GET of
// the tests, over a plain blocking socket, for its control requests.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <string>

namespace testsupport {

inline int EnvNumber(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::atoi(v) : 0;
}

// The server's port (0 when the program was not started through run_with_server.sh), a port
// that refuses connections, and its twin on port 80 (0 when port 80 could not be had).
inline int ServerPort() { return EnvNumber("TEST_SERVER_PORT"); }
inline int ClosedPort() { return EnvNumber("TEST_SERVER_CLOSED_PORT"); }
inline int Port80() { return EnvNumber("TEST_SERVER_PORT80"); }
// The server's forwarding proxy (0 when the program was not started through run_with_server.sh).
// With --files: a second server of the same kind, a company's mirror of the maker's (its
// folder in TEST_MIRROR_ROOT).
inline int MirrorPort() { return EnvNumber("TEST_MIRROR_PORT"); }
inline int ProxyPort() { return EnvNumber("TEST_SERVER_PROXY_PORT"); }
// The TLS servers (see run_with_server.sh): "https://localhost:PORT" of the one named `which`
// ("TLS", "TLS_OTHERNAME", "TLS_UNTRUSTED", "TLS_EXPIRED", "TLS13", "TLS_SEGMENTED").
inline std::string SecureURL(const std::string& which) {
  return "https://localhost:" + std::to_string(EnvNumber(("TEST_" + which + "_PORT").c_str()));
}
// The test CA is trusted by the machine, as far as these programs see it.
inline bool TestCaTrusted() { return EnvNumber("TEST_TLS_TRUSTED") == 1; }
// Another name of 127.0.0.1 than "localhost".
inline std::string OtherHost() {
  const char* v = std::getenv("TEST_SERVER_OTHER_HOST");
  return v ? v : "LOCALHOST";
}

// GET `path` from the server; the body ("" when no reply came).
// `port`: another server of ours (the mirror), 0 the maker's.
inline std::string ServerGet(const std::string& path, int port = 0) {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<u_short>(port ? port : ServerPort()));
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

}  // namespace testsupport
