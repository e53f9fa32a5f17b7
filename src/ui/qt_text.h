// The one crossing between Qt's UTF-16 strings and the core's UTF-8 text.
#pragma once

#include <QString>

#include <filesystem>
#include <string>

namespace varnolt {

inline QString ToQString(const std::string& utf8) { return QString::fromStdString(utf8); }
inline std::string ToUtf8(const QString& text) { return text.toStdString(); }

// File paths: Qt's path text to a std::filesystem path and back, through UTF-8.
inline std::filesystem::path ToPath(const QString& path) {
  const std::string utf8 = path.toStdString();
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline QString FromPath(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return QString::fromUtf8(reinterpret_cast<const char*>(utf8.data()),
                           static_cast<qsizetype>(utf8.size()));
}

}  // namespace varnolt
