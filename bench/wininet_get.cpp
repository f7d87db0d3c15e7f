// wininet_get URL FILE: the platform's own HTTP client as the download benchmark's peer: WinINet's
// InternetOpenUrl and InternetReadFile in reads of 64 KiB, each written into FILE as it comes.
// Prints "N bytes in S s", the seconds from the request (connection included) to the last byte,
// like httpget's. Exit code 0 for a whole transfer, 2 for a failure, 3 for a wrong command line.
#include <windows.h>
#include <wininet.h>

#include <cstdio>

namespace {

// An Internet handle closed by its owner.
class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET h) : h_(h) {}
  ~InternetHandle() {
    if (h_) InternetCloseHandle(h_);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  HINTERNET get() const { return h_; }

 private:
  HINTERNET h_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: wininet_get URL FILE\n");
    return 3;
  }
  const InternetHandle session(InternetOpenA("wininet_get", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!session.get()) {
    std::fprintf(stderr, "wininet_get: InternetOpen failed (%lu)\n", GetLastError());
    return 2;
  }
  HANDLE file = CreateFileA(argv[2], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "wininet_get: %s cannot be made (%lu)\n", argv[2], GetLastError());
    return 2;
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  long long total = 0;
  int code = 0;
  {
    // No cache: the body goes straight from the connection into the reads.
    const InternetHandle request(InternetOpenUrlA(
        session.get(), argv[1], nullptr, 0,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE, 0));
    if (!request.get()) {
      std::fprintf(stderr, "wininet_get: InternetOpenUrl failed (%lu)\n", GetLastError());
      code = 2;
    } else {
      static char buffer[65536];
      for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(request.get(), buffer, sizeof(buffer), &got)) {
          std::fprintf(stderr, "wininet_get: InternetReadFile failed (%lu)\n", GetLastError());
          code = 2;
          break;
        }
        if (got == 0) break;
        DWORD written = 0;
        if (!WriteFile(file, buffer, got, &written, nullptr) || written != got) {
          std::fprintf(stderr, "wininet_get: the file cannot be written (%lu)\n", GetLastError());
          code = 2;
          break;
        }
        total += got;
      }
    }
  }
  QueryPerformanceCounter(&end);
  CloseHandle(file);
  std::printf("%lld bytes in %.3f s\n", total,
              static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
  return code;
}
