// The exception type of the whole system: an error with a user-readable message (Windows-1252).
#pragma once

#include <exception>
#include <string>

namespace base {

// Every error raised by our own code derives from this. `Message` is what the general error
// handler shows to the user, unchanged.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// A text that should have been a number, a date or the like.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace base
