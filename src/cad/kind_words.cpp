#include "cad/kind_words.h"

namespace varnolt {

KindWords WordsForKind(std::string_view kind) {
  struct Row {
    std::string_view kind, singular, english, chinese;
    unsigned include;
  };
  static constexpr Row kRows[] = {
      {"INSERT", "block reference", "block references", "块参照", kIncludeBlocks},
      {"DIMENSION", "dimension", "dimensions", "标注", kIncludeBlocks},
      {"POINT", "point", "points", "点", kIncludePoints},
      {"ELLIPSE", "ellipse", "ellipses", "椭圆", kIncludeEllipses},
      {"SPLINE", "spline", "splines", "样条曲线", kIncludeSplines},
      {"POLYLINE (fitted)", "fitted polyline", "fitted polylines", "拟合多段线", kIncludeFitted},
      {"HATCH", "hatch", "hatches", "填充", kIncludeHatches},
      {"SOLID", "solid", "solids", "二维填充", kIncludeSolids},
      {"TRACE", "trace", "traces", "宽线", kIncludeSolids},
      {"3DFACE", "3D face", "3D faces", "三维面", kIncludeSolids},
      {"POLYLINE (mesh)", "polygon mesh", "polygon meshes", "网格", kIncludeMeshes},
      {"POLYLINE (polyface)", "polyface mesh", "polyface meshes", "多面网格", kIncludeMeshes},
      {"POLYLINE", "mesh", "meshes", "网格", kIncludeMeshes},
      {"LEADER", "leader", "leaders", "引线", kIncludeLeaders},
      {"MULTILEADER", "multileader", "multileaders", "多重引线", kIncludeLeaders},
      {"IMAGE", "image", "images", "光栅图像", kIncludeFrames},
      {"WIPEOUT", "wipeout", "wipeouts", "区域覆盖", kIncludeFrames},
  };
  for (const Row& r : kRows) {
    if (r.kind == kind) {
      return {std::string(r.english), std::string(r.chinese), r.include, std::string(r.singular)};
    }
  }
  return {std::string(kind), std::string(kind), 0, std::string(kind)};
}

}  // namespace varnolt
