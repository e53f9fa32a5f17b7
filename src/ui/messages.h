// The system's own messages for failed actions, chosen by the kind of failure.
#pragma once

#include <QString>

#include "base/error.h"

namespace varnolt {

// Title of every failure box.
inline QString ErrorTitle() { return QStringLiteral("错误"); }

// A failed conversion run (and a drawing that cannot be opened for it).
inline QString RunMessage(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::kFileAccess:
      return QStringLiteral("读取文件被取消！");
    case ErrorKind::kUnsupported:
      return QStringLiteral("程序仅支持R2000以上版本！");
    case ErrorKind::kGeneral:
      break;
  }
  return QStringLiteral("数据文件格式有误、操作不当或其它未知错误！");
}

// A failed correction calculation.
inline QString CorrectionMessage(ErrorKind kind) {
  if (kind == ErrorKind::kFileAccess) return QStringLiteral("读取文件被取消！");
  return QStringLiteral("数据文件格式有误或操作不当！");
}

}  // namespace varnolt
