// Exception base of the runtime support: a message text, as every failure that an
// interface operation turns into a result code needs one.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace vnx::rt {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }

 private:
  std::string message_;
};

// A text that is not a valid number, date or time.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A failure reported by the database layer of the runtime (invalid boolean text,
// a catalogue query that failed).
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace vnx::rt
