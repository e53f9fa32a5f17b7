// The one error type of the core. Every failure below a user action is thrown as
// an Error; the command line and the window turn its kind into the system's own
// message and show what() as the line that says what failed and where.
#pragma once

#include <stdexcept>
#include <string>

namespace varnolt {

enum class ErrorKind {
  kFileAccess,   // a file cannot be opened, created or written
  kUnsupported,  // an entity lacks an operation the converters need
  kGeneral,      // anything else: bad data, bad settings, empty selection
};

class Error : public std::runtime_error {
 public:
  Error(ErrorKind kind, const std::string& what)
      : std::runtime_error(what), kind_(kind) {}
  ErrorKind kind() const noexcept { return kind_; }

 private:
  ErrorKind kind_;
};

}  // namespace varnolt
