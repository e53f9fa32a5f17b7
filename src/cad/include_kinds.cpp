#include "cad/include_kinds.h"

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
    {"solids", kIncludeSolids},
};

}  // namespace

std::optional<unsigned> ParseIncludeList(std::string_view text) {
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
      if (!known) return std::nullopt;
    }
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return bits;
}

std::string IncludeListText(unsigned bits) {
  if ((bits & kIncludeAll) == kIncludeAll) return "all";
  std::string text;
  for (const IncludeName& n : kNames) {
    if ((bits & n.bit) == 0) continue;
    if (!text.empty()) text += ',';
    text += n.name;
  }
  return text;
}

KindWords WordsForKind(std::string_view kind) {
  struct Row {
    std::string_view kind, english, chinese;
    unsigned include;
  };
  static constexpr Row kRows[] = {
      {"INSERT", "block references", "块参照", kIncludeBlocks},
      {"DIMENSION", "dimensions", "标注", kIncludeBlocks},
      {"POINT", "points", "点", kIncludePoints},
      {"ELLIPSE", "ellipses", "椭圆", kIncludeEllipses},
      {"SPLINE", "splines", "样条曲线", kIncludeSplines},
      {"POLYLINE (fitted)", "fitted polylines", "拟合多段线", kIncludeFitted},
      {"HATCH", "hatches", "填充", kIncludeHatches},
      {"SOLID", "solids", "二维填充", kIncludeSolids},
      {"TRACE", "traces", "宽线", kIncludeSolids},
      {"3DFACE", "3D faces", "三维面", kIncludeSolids},
      {"POLYLINE (mesh)", "polygon meshes", "网格", 0},
  };
  for (const Row& r : kRows) {
    if (r.kind == kind) return {std::string(r.english), std::string(r.chinese), r.include};
  }
  return {std::string(kind), std::string(kind), 0};
}

}  // namespace varnolt
