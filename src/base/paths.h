// Paths and UTF-8. The core keeps every text in UTF-8; a path crosses into the file
// system only as a std::filesystem::path built from UTF-8, so that a drawing at
// D:\测绘\道路.dxf is found on Windows as on Linux, whatever the ANSI code page.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace varnolt {

// The path that the UTF-8 text names.
inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The path as UTF-8 text, for messages and documents.
inline std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace varnolt
