// The exception types the program raises and catches, and the printf-style
// Format the program builds its messages with.
#pragma once

#include <exception>
#include <string>

namespace Platform {

// A failure with a message meant for the user.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// The silent abort: the default exception display ignores it.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
  explicit EAbort(std::string message) : Exception(std::move(message)) {}
};

// A text that does not convert to the number or date wanted.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// An index outside a grid's rows or columns: the grid control raises it, and code that
// walks a table without the control's widgets catches it by this name.
class EInvalidGridOperation : public Exception {
 public:
  using Exception::Exception;
};

// printf-style formatting into a std::string ("%s" takes a const char*).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace Platform
