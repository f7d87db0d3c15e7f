// The transfer layer's body sinks: a named file, an open file from an offset, a string.
#include "net/BodySink.h"

#include <algorithm>

#include "base/Exception.h"

namespace net {

namespace {

// Writes all of `data` into `file`; `name` names it in the error.
void WriteAll(HANDLE file, const std::string& name, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, data, piece, &written, nullptr) || written != piece)
      throw base::Exception("Fehler beim Schreiben der Datei " + name);
    data += piece;
    size -= piece;
  }
}

}  // namespace

TFileSink::TFileSink(std::string name, std::int64_t limit) : name_(std::move(name)), limit_(limit) {}

void TFileSink::Create() {
  file_.reset();
  file_.reset(CreateFileA(name_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_) throw base::Exception("Datei " + name_ + " kann nicht erstellt werden");
}

TBodyTake TFileSink::Begin(const TResponseInfo&, std::optional<std::int64_t>) {
  Create();
  return TBodyTake::AtMost(limit_);
}

void TFileSink::Write(const char* data, std::size_t size) {
  if (!file_) throw base::Exception("Fehler beim Schreiben der Datei " + name_);
  WriteAll(file_.get(), name_, data, size);
}

TOpenFileSink::TOpenFileSink(HANDLE file, std::string name, std::int64_t start, std::int64_t limit)
    : file_(file), name_(std::move(name)), start_(start), limit_(limit) {}

void TOpenFileSink::Place(std::int64_t start, std::int64_t limit) {
  start_ = start;
  limit_ = limit;
}

TBodyTake TOpenFileSink::Begin(const TResponseInfo&, std::optional<std::int64_t>) {
  LARGE_INTEGER at;
  at.QuadPart = start_;
  if (start_ < 0 || !SetFilePointerEx(file_, at, nullptr, FILE_BEGIN) || !SetEndOfFile(file_))
    throw base::Exception("Fehler beim Schreiben der Datei " + name_);
  return TBodyTake::AtMost(limit_);
}

void TOpenFileSink::Write(const char* data, std::size_t size) { WriteAll(file_, name_, data, size); }

TBodyTake TStringSink::Begin(const TResponseInfo&, std::optional<std::int64_t>) {
  text_.clear();
  return TBodyTake::AtMost(limit_);
}

}  // namespace net
