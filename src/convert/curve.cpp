// Circles and arcs, each drawn as 100 straight pieces (101 points). The piece count
// is fixed; the setting 圆及圆弧分段个数 (Text3) is kept but not read.
#include "convert/common.h"
#include "kml/document.h"

#include <cmath>

namespace varnolt {

using convert_detail::PointLines;

namespace {

constexpr int kCurvePoints = 101;

// theta = sa + (i - 1) * step for i = 1..101; x = cx + R cos theta, y = cy + R sin theta.
void AppendCurvePoints(std::string& out, const Entity& ent, const ConvertContext& ctx,
                       std::string_view qstab, double sa, double step) {
  const double cx = ent.center[0];
  const double cy = ent.center[1];
  const double R = ent.radius;
  PointLines::Write(ctx, qstab, out, [&](PointLines& lines) {
    for (int i = 1; i <= kCurvePoints; ++i) {
      const double theta = sa + static_cast<double>(i - 1) * step;
      const double x = cx + R * std::cos(theta);
      const double y = cy + R * std::sin(theta);
      lines.Add(x, y, ent.center[2]);
    }
  });
}

}  // namespace

int64_t tocircle(const Entity& ent, const ConvertContext& ctx, std::string_view qstab,
                 std::string_view plinename, std::string_view plinestyle,
                 std::string& out) {
  AppendLineStringOpen(out, qstab, plinename, plinestyle);
  const double step = 2 * ctx.pi / 100;
  // From angle 0: theta = 0 + (i - 1) * step is exactly (i - 1) * step.
  AppendCurvePoints(out, ent, ctx, qstab, 0.0, step);
  AppendLineStringClose(out, qstab);
  return kCurvePoints;
}

int64_t toarc(const Entity& ent, const ConvertContext& ctx, std::string_view qstab,
              std::string_view plinename, std::string_view plinestyle,
              std::string& out) {
  const double pi = ctx.pi;
  double sa = ent.startAngle;
  double ea = ent.endAngle;
  // An arc seen from below (extrusion exactly -Z) has its angles mirrored in plan:
  // it runs from the mirrored end angle to the mirrored start angle.
  if (ent.normal[2] == -1) {
    sa = pi - ent.endAngle;
    if (sa < 0) sa = sa + 2 * pi;
    ea = pi - ent.startAngle;
    if (ea < 0) ea = ea + 2 * pi;
  }
  if (sa > ea) ea = ea + 2 * pi;
  const double step = (ea - sa) / 100;
  AppendLineStringOpen(out, qstab, plinename, plinestyle);
  AppendCurvePoints(out, ent, ctx, qstab, sa, step);
  AppendLineStringClose(out, qstab);
  return kCurvePoints;
}

}  // namespace varnolt
