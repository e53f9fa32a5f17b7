#include "settings/include_kinds.h"

#include "text/ascii.h"

namespace varnolt {
namespace {

struct IncludeName {
  std::string_view name;
  unsigned bit;
};

constexpr IncludeName kNames[] = {
    {"blocks", kIncludeBlocks},     {"points", kIncludePoints},   {"ellipses", kIncludeEllipses},
    {"splines", kIncludeSplines},   {"fitted", kIncludeFitted},   {"hatches", kIncludeHatches},
    {"solids", kIncludeSolids},     {"meshes", kIncludeMeshes},   {"leaders", kIncludeLeaders},
    {"frames", kIncludeFrames},
};

}  // namespace

std::optional<unsigned> ParseIncludeList(std::string_view text, std::string_view* unknown) {
  unsigned bits = 0;
  while (true) {
    const size_t comma = text.find(',');
    const std::string_view word = TrimBlanks(text.substr(0, comma));
    if (EqualsIgnoringAsciiCase(word, "all")) {
      bits |= kIncludeAll;
    } else if (!word.empty() && !EqualsIgnoringAsciiCase(word, "none")) {
      bool known = false;
      for (const IncludeName& n : kNames) {
        if (EqualsIgnoringAsciiCase(word, n.name)) {
          bits |= n.bit;
          known = true;
        }
      }
      if (!known) {
        if (unknown != nullptr) *unknown = word;
        return std::nullopt;
      }
    }
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return bits;
}

std::string IncludeListText(unsigned bits) {
  std::string text;
  if ((bits & kIncludeAll) == kIncludeAll) {
    text = "all";
    bits &= ~static_cast<unsigned>(kIncludeAll);
  }
  for (const IncludeName& n : kNames) {
    if ((bits & n.bit) == 0) continue;
    if (!text.empty()) text += ',';
    text += n.name;
  }
  return text;
}

}  // namespace varnolt
