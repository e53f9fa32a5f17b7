// Points: a named Point Placemark, without the view texts carry.
#include "convert/common.h"
#include "kml/document.h"

namespace varnolt {

using convert_detail::PointLines;

int64_t topoint(const Point& ent, const ConvertContext& ctx, std::string_view qstab,
                std::string_view pointname, std::string_view pointstyle, std::string& out,
                const PlacemarkLayout& layout) {
  AppendPlacemarkHead(out, qstab, pointname, pointstyle);
  AppendPointOpen(out, qstab, layout);
  PointLines::Write(ctx, qstab, out, [&](PointLines& lines) {
    lines.Add(ent.position[0], ent.position[1], ent.position[2]);
  });
  AppendPointClose(out, qstab);
  return 1;
}

}  // namespace varnolt
