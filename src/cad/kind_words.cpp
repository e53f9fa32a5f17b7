#include "cad/kind_words.h"

namespace varnolt {

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
