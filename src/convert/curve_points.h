// Curve pieces as plane points, shared by the LineString converters and the hatch
// boundaries (not part of the interface).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cad/entity.h"
#include "convert/convert.h"

namespace varnolt::convert_detail {

// Arcs, ellipses and bulged segments are drawn with this many points.
inline constexpr int kCurvePoints = 101;

// 101 points of a circle of `radius` about `center`, at the angles sa + (i - 1) step,
// each at the centre's z.
void CirclePoints(const Point3& center, double radius, double sa, double step,
                  std::vector<Point3>& points);

// An arc's 101 points counter-clockwise in plan from its start to its end angle,
// mirrored as seen from below when its extrusion is (.., .., -1); `pi` is the datum's.
void ArcPoints(const Arc& arc, double pi, std::vector<Point3>& points);

// An ellipse's 101 points from its start to its end parameter.
void EllipsePoints(const Ellipse& ent, double pi, std::vector<Point3>& points);

// A spline's samples (kSplineTolerance), as tospline draws it; throws beyond
// `maxPoints` samples, and UnusableEntity for numbers that make no spline.
void SplinePoints(const Spline& ent, int64_t maxPoints, std::vector<Point3>& points);

// A LineString Placemark through `points`, in their order; returns their count.
int64_t AppendLineString(const std::vector<Point3>& points, const ConvertContext& ctx,
                         std::string_view qstab, std::string_view name,
                         std::string_view style, std::string& out,
                         const PlacemarkLayout& layout);

}  // namespace varnolt::convert_detail
