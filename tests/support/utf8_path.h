// A path from UTF-8 text. The tests write file names as UTF-8 literals; on Windows a
// narrow string given to std::filesystem::path is read in the C library's code page,
// so names such as pts_计算结果.txt go through char8_t (on Linux: the same bytes).
#pragma once

#include <filesystem>
#include <string_view>

namespace varnolt::testing {

inline std::filesystem::path Utf8Path(std::string_view utf8) {
  return std::filesystem::path(
      std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

}  // namespace varnolt::testing
