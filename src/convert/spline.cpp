// Ellipses and splines as LineStrings, and the curve pieces hatch boundaries share
// with them.
#include "convert/curve_points.h"

#include "convert/common.h"
#include "geometry/curves.h"
#include "kml/document.h"

namespace varnolt {

using convert_detail::PointLines;

namespace convert_detail {

void EllipsePoints(const Ellipse& ent, double pi, std::vector<Point3>& points) {
  const double sa = ent.startAngle;
  double ea = ent.endAngle;
  if (sa > ea) ea = ea + 2 * pi;
  const double step = (ea - sa) / 100;
  for (int i = 1; i <= kCurvePoints; ++i) {
    const double t = sa + static_cast<double>(i - 1) * step;
    points.push_back(EllipsePoint(ent.center, ent.majorAxis, ent.ratio, ent.normal, t));
  }
}

namespace {

// The cubic through the fit points, closed on the first when the spline is.
BSpline FitCurve(const Spline& ent) {
  const auto given = [](const Point3& v) { return v[0] != 0 || v[1] != 0 || v[2] != 0; };
  const bool tangents = given(ent.startTangent) && given(ent.endTangent);
  const Point3* start = tangents ? &ent.startTangent : nullptr;
  const Point3* end = tangents ? &ent.endTangent : nullptr;
  if (!ent.closed || ent.fit.empty() || ent.fit.front() == ent.fit.back()) {
    return BSplineFromFitPoints(ent.fit, start, end);
  }
  std::vector<Point3> fit = ent.fit;
  fit.push_back(fit.front());
  return BSplineFromFitPoints(fit, start, end);
}

// A spline's numbers that make no curve leave it out, saying why.
[[noreturn]] void Unusable(const Error& e) {
  std::string why = e.what();
  constexpr std::string_view kPrefix = "spline: ";
  if (why.starts_with(kPrefix)) why.erase(0, kPrefix.size());
  throw UnusableEntity(why, "样条数据无效", e.what());
}

// The B-spline of the control points; the one through the fit points when there are
// none, or when their numbers make no B-spline and there are fit points, as CAD
// draws it.
BSpline CurveOf(const Spline& ent) {
  if (!ent.control.empty()) {
    try {
      return MakeBSpline(ent.degree, ent.knots, ent.weights, ent.control);
    } catch (const Error& e) {
      if (ent.fit.size() < 2) Unusable(e);
    }
  }
  try {
    return FitCurve(ent);
  } catch (const Error& e) {
    Unusable(e);
  }
}

}  // namespace

void SplinePoints(const Spline& ent, int64_t maxPoints, std::vector<Point3>& points) {
  const BSpline spline = CurveOf(ent);
  for (const CurveSample& s : SampleBSpline(spline, kSplineTolerance, maxPoints)) {
    points.push_back(s.p);
  }
}

int64_t AppendLineString(const std::vector<Point3>& points, const ConvertContext& ctx,
                         std::string_view qstab, std::string_view name,
                         std::string_view style, std::string& out,
                         const PlacemarkLayout& layout) {
  AppendLineStringOpen(out, qstab, name, style, layout);
  PointLines::Write(ctx, qstab, out, [&](PointLines& lines) {
    for (const Point3& p : points) lines.Add(p[0], p[1], p[2]);
  });
  AppendLineStringClose(out, qstab);
  return static_cast<int64_t>(points.size());
}

}  // namespace convert_detail

using convert_detail::AppendLineString;

int64_t toellipse(const Ellipse& ent, const ConvertContext& ctx, std::string_view qstab,
                  std::string_view plinename, std::string_view plinestyle, std::string& out,
                  const PlacemarkLayout& layout) {
  std::vector<Point3> points;
  points.reserve(convert_detail::kCurvePoints);
  convert_detail::EllipsePoints(ent, ctx.pi, points);
  return AppendLineString(points, ctx, qstab, plinename, plinestyle, out, layout);
}

int64_t tospline(const Spline& ent, const ConvertContext& ctx, std::string_view qstab,
                 std::string_view plinename, std::string_view plinestyle, std::string& out,
                 const PlacemarkLayout& layout) {
  std::vector<Point3> points;
  convert_detail::SplinePoints(ent, kMaxPointsPerEntity, points);
  return AppendLineString(points, ctx, qstab, plinename, plinestyle, out, layout);
}

}  // namespace varnolt
