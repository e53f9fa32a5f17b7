// ASCII-only text helpers. Names in drawings and words in settings files are
// compared the way a CAD host and the settings reader do: ASCII letters fold, every
// other byte must match exactly.
#pragma once

#include <string>
#include <string_view>

namespace varnolt {

// `c` with an ASCII capital turned into its small letter; every other byte as it is.
constexpr char FoldAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// `s` with its ASCII capitals folded: a key under which names equal but for case meet.
inline std::string FoldAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = FoldAscii(c);
  return out;
}

// True when a and b are equal but for the case of ASCII letters.
inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

// True when `s` ends with `suffix`, but for the case of ASCII letters.
inline bool EndsWithIgnoringAsciiCase(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() &&
         EqualsIgnoringAsciiCase(s.substr(s.size() - suffix.size()), suffix);
}

// `s` without the leading and trailing characters found in `blanks`. Each reader
// says what a blank is for it: a DXF line also drops a stray CR, a control-point
// line only spaces.
inline std::string_view Trim(std::string_view s, std::string_view blanks) {
  const size_t first = s.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

// `s` without leading and trailing blanks and tabs.
inline std::string_view TrimBlanks(std::string_view s) { return Trim(s, " \t"); }

}  // namespace varnolt
