// Circles and arcs, each drawn as 100 straight pieces (101 points). The piece count
// is fixed; the setting 圆及圆弧分段个数 (Text3) is kept but not read.
#include <cmath>

#include "convert/common.h"
#include "convert/curve_points.h"
#include "geometry/arc.h"
#include "kml/document.h"

namespace varnolt {

using convert_detail::PointLines;

using convert_detail::kCurvePoints;

namespace convert_detail {

void CirclePoints(const Point3& center, double radius, double sa, double step,
                  std::vector<Point3>& points) {
  for (int i = 1; i <= kCurvePoints; ++i) {
    const double theta = sa + static_cast<double>(i - 1) * step;
    points.push_back({center[0] + radius * std::cos(theta),
                      center[1] + radius * std::sin(theta), center[2]});
  }
}

void ArcPoints(const Arc& arc, double pi, std::vector<Point3>& points) {
  const PlanArc plan = PlanArcAngles(arc.startAngle, arc.endAngle, arc.normal, pi);
  CirclePoints(arc.center, arc.radius, plan.start, (plan.end - plan.start) / 100, points);
}

}  // namespace convert_detail

namespace {

int64_t AppendCurve(const Point3& center, double radius, double sa, double step,
                    const ConvertContext& ctx, std::string_view qstab,
                    std::string_view plinename, std::string_view plinestyle, std::string& out,
                    const PlacemarkLayout& layout) {
  AppendLineStringOpen(out, qstab, plinename, plinestyle, layout);
  const double cx = center[0];
  const double cy = center[1];
  PointLines::Write(ctx, qstab, out, [&](PointLines& lines) {
    for (int i = 1; i <= kCurvePoints; ++i) {
      const double theta = sa + static_cast<double>(i - 1) * step;
      lines.Add(cx + radius * std::cos(theta), cy + radius * std::sin(theta), center[2]);
    }
  });
  AppendLineStringClose(out, qstab);
  return kCurvePoints;
}

}  // namespace

int64_t tocircle(const Circle& ent, const ConvertContext& ctx, std::string_view qstab,
                 std::string_view plinename, std::string_view plinestyle, std::string& out,
                 const PlacemarkLayout& layout) {
  // From angle 0: theta = 0 + (i - 1) * step is exactly (i - 1) * step.
  return AppendCurve(ent.center, ent.radius, 0.0, 2 * ctx.pi / 100, ctx, qstab, plinename,
                     plinestyle, out, layout);
}

int64_t toarc(const Arc& ent, const ConvertContext& ctx, std::string_view qstab,
              std::string_view plinename, std::string_view plinestyle, std::string& out,
              const PlacemarkLayout& layout) {
  const PlanArc plan = PlanArcAngles(ent.startAngle, ent.endAngle, ent.normal, ctx.pi);
  return AppendCurve(ent.center, ent.radius, plan.start, (plan.end - plan.start) / 100, ctx,
                     qstab, plinename, plinestyle, out, layout);
}

}  // namespace varnolt
