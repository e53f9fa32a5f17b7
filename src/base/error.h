// The one error type of the core. Every failure below a user action is thrown as
// an Error; the command line and the window turn its kind into the system's own
// message with FailureMessage() and show what() as the line that says what failed
// and where.
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

// What the user asked for when a failure came. The calculator words its failures
// differently from a conversion; projecting single points speaks as a conversion.
enum class Task { kConversion, kCorrection };

// The system's message for a failure of `task` of this kind: the one place where a
// kind becomes words, for the command line and the window alike.
//   conversion: file access "读取文件被取消！", unsupported "程序仅支持R2000以上版本！",
//               anything else "数据文件格式有误、操作不当或其它未知错误！"
//   correction: file access "读取文件被取消！", anything else "数据文件格式有误或操作不当！"
constexpr const char* FailureMessage(Task task, ErrorKind kind) {
  if (kind == ErrorKind::kFileAccess) return "读取文件被取消！";
  if (task == Task::kCorrection) return "数据文件格式有误或操作不当！";
  if (kind == ErrorKind::kUnsupported) return "程序仅支持R2000以上版本！";
  return "数据文件格式有误、操作不当或其它未知错误！";
}

}  // namespace varnolt
