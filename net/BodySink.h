// TBodySink, what a reply's body goes into, and the transfer layer's sinks: a named file, an open
// file from an offset, a string.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "net/http_rules.h"
#include "toolkit/Handles.h"

namespace net {

// How a sink takes the body of the reply it was just told of.
struct TBodyTake {
  // Not at all: the body is not read, and the transfer ends there (no status event, no
  // redirection followed).
  bool Refused = false;
  // At most this many bytes; -1: any. A body that announces more is not read, one without a
  // length is read up to the limit (and one byte further, to know): either ends the transfer
  // with the limit reached.
  std::int64_t Limit = -1;

  static TBodyTake All() { return {}; }
  static TBodyTake AtMost(std::int64_t limit) { return {false, limit}; }
  static TBodyTake Refuse() { return {true, -1}; }
};

// What a body goes into, as the capture's status report and a cancel's error name it: a file
// ("CaptureFile", "Socket send aborted") or text ("Capture String", "Socket capture aborted").
enum class TCaptureKind { File, Text };

// Where the bodies of a transfer go. For each reply (each step of a redirection too) the client
// calls Begin once the reply's header is read, before any of its body; then Write for each block
// of the body it takes, in order; then End when the body came whole, before the reply's status
// events. A body that breaks off gets no End. Every call may throw: the transfer then ends with
// that error.
class TBodySink {
 public:
  virtual ~TBodySink() = default;
  // The reply `reply` (status, Content-Length as sent, validators, range) has come, and its body
  // has `length` bytes (none: it ends where the server closes). Returns how the body is taken.
  virtual TBodyTake Begin(const TResponseInfo& reply, std::optional<std::int64_t> length) = 0;
  // The next block of the body. Throws base::Exception when it cannot be stored.
  virtual void Write(const char* data, std::size_t size) = 0;
  virtual void End() {}
  virtual TCaptureKind Kind() const { return TCaptureKind::File; }
};

// Each body into the file `name`, made anew for it (an existing file is cut to nothing), at most
// `limit` bytes of it (-1: any). The file is closed at the body's end, at the next body and with
// the sink.
class TFileSink : public TBodySink {
 public:
  explicit TFileSink(std::string name, std::int64_t limit = -1);
  // Makes the file anew. Throws base::Exception "Datei <name> kann nicht erstellt werden".
  void Create();
  TBodyTake Begin(const TResponseInfo& reply, std::optional<std::int64_t> length) override;
  // Throws base::Exception "Fehler beim Schreiben der Datei <name>".
  void Write(const char* data, std::size_t size) override;
  void End() override { file_.reset(); }

 private:
  std::string name_;
  std::int64_t limit_;
  toolkit::ScopedFile file_;
};

// Each body into the open file `file` (borrowed; opened for writing, the caller keeps it) from
// the offset Start on, the file cut there first; `name` names it in errors. A derived sink moves
// the offset (and the limit) per reply with Place before it calls Begin.
class TOpenFileSink : public TBodySink {
 public:
  TOpenFileSink(HANDLE file, std::string name, std::int64_t start = 0, std::int64_t limit = -1);
  // Where the next body goes (0 or more) and the most of it taken (-1: any).
  void Place(std::int64_t start, std::int64_t limit);
  std::int64_t Start() const { return start_; }
  // Cuts the file at Start. Throws base::Exception "Fehler beim Schreiben der Datei <name>".
  TBodyTake Begin(const TResponseInfo& reply, std::optional<std::int64_t> length) override;
  void Write(const char* data, std::size_t size) override;

 private:
  HANDLE file_;
  std::string name_;
  std::int64_t start_;
  std::int64_t limit_;
};

// Each body into `text` (borrowed), which it replaces, at most `limit` bytes of it (-1: any).
class TStringSink : public TBodySink {
 public:
  explicit TStringSink(std::string& text, std::int64_t limit = -1) : text_(text), limit_(limit) {}
  TBodyTake Begin(const TResponseInfo& reply, std::optional<std::int64_t> length) override;
  void Write(const char* data, std::size_t size) override { text_.append(data, size); }
  TCaptureKind Kind() const override { return TCaptureKind::Text; }

 private:
  std::string& text_;
  std::int64_t limit_;
};

}  // namespace net
