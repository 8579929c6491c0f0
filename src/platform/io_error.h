#pragma once
// The one error type of the file services: it carries the OS error code, and
// its text is the runtime's German message that users quote in support mails.
#include <stdexcept>
#include <string>

namespace zek {

class EInOutError : public std::runtime_error {
 public:
  explicit EInOutError(int code)
      : std::runtime_error("I/O-Fehler " + std::to_string(code)), ErrorCode(code) {}
  int ErrorCode;
};

// The system's own words for an error code of the file services.
std::string ErrorMessage(int code);

}  // namespace zek
