// winsock_floor HOST PORT PATH FILE [nonblocking]: the plainest download over Winsock (connect,
// send a GET, recv 64 KiB blocks into FILE until the server closes), to show what Wine itself
// allows. With "nonblocking" the socket does not block and a receive that would block waits in
// select, as every socket in asynchronous-notification mode has to: that shows what Wine's
// non-blocking receives cost by themselves.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc != 5 && !(argc == 6 && std::strcmp(argv[5], "nonblocking") == 0)) {
    std::fprintf(stderr, "usage: winsock_floor HOST PORT PATH FILE [nonblocking]\n");
    return 3;
  }
  const bool nonblocking = argc == 6;
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<u_short>(std::atoi(argv[2])));
  to.sin_addr.s_addr = inet_addr(argv[1]);
  if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof(to)) != 0) {
    std::fprintf(stderr, "connect failed: %d\n", WSAGetLastError());
    return 2;
  }
  std::string request = std::string("GET ") + argv[3] + " HTTP/1.0\r\nHost: " + argv[1] + "\r\n\r\n";
  send(s, request.data(), static_cast<int>(request.size()), 0);
  if (nonblocking) {
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
  }
  HANDLE file = CreateFileA(argv[4], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  static char buffer[65536];
  long long total = 0;
  for (;;) {
    int got = recv(s, buffer, sizeof(buffer), 0);
    if (got < 0 && nonblocking && WSAGetLastError() == WSAEWOULDBLOCK) {
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(s, &readable);
      timeval wait{0, 5000};
      select(0, &readable, nullptr, nullptr, &wait);
      continue;
    }
    if (got <= 0) break;
    DWORD written;
    WriteFile(file, buffer, static_cast<DWORD>(got), &written, nullptr);
    total += got;
  }
  CloseHandle(file);
  closesocket(s);
  QueryPerformanceCounter(&end);
  std::printf("%lld bytes (header included) in %.3f s\n", total,
              static_cast<double>(end.QuadPart - start.QuadPart) /
                  static_cast<double>(frequency.QuadPart));
  return 0;
}
