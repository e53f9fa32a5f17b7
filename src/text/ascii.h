// ASCII-only text helpers. Names in drawings and words in settings files are
// compared the way a CAD host and the settings reader do: ASCII letters fold, every
// other byte must match exactly.
#pragma once

#include <string_view>

namespace varnolt {

// True when a and b are equal but for the case of ASCII letters.
inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// `s` without leading and trailing blanks and tabs.
inline std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace varnolt
