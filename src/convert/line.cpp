// Lines, cut into pieces of Text1 metres before projection.
#include "base/error.h"
#include "convert/common.h"
#include "geodesy/plane.h"
#include "kml/document.h"

namespace varnolt {

using convert_detail::PointLines;

int64_t toline(const Line& ent, const ConvertContext& ctx, std::string_view qstab,
               std::string_view plinename, std::string_view plinestyle, std::string& out,
               const PlacemarkLayout& layout) {
  const Point3 P1 = ent.start;
  const Point3 P2 = ent.end;
  // Measured over all three components: a sloping line is cut along its slope.
  const double d = pt_pt(P1, P2);
  const int64_t n = convert_detail::PieceCount(d, ctx);
  // Start point (when n >= 1), the inner points and the end point.
  convert_detail::CheckPointCount(
      static_cast<double>((n >= 1 ? 1 : 0) +
                          convert_detail::InnerPoints(n, d, ctx.segmentLength) + 1));

  AppendLineStringOpen(out, qstab, plinename, plinestyle, layout);
  int64_t written = 0;
  PointLines::Write(ctx, qstab, out, [&](PointLines& lines) {
    Point3 P{};
    for (int64_t i = 0; i < n; ++i) {
      const double a = static_cast<double>(i) * ctx.segmentLength;
      // A point exactly at the end would divide by zero in xnd; the end point follows.
      if (i >= 1 && a == d) continue;
      xnd(P1, P2, P, a);
      lines.Add(P[0], P[1], P[2]);
      ++written;
    }
    lines.Add(P2[0], P2[1], P2[2]);
    ++written;
  });
  AppendLineStringClose(out, qstab);
  return written;
}

}  // namespace varnolt
