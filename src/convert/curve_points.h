// Curve pieces as plane points, shared by the LineString converters and the hatch
// boundaries (not part of the interface).
#pragma once

#include <cstdint>
#include <vector>

#include "cad/entity.h"

namespace varnolt::convert_detail {

// Arcs, ellipses and bulged segments are drawn with this many points.
inline constexpr int kCurvePoints = 101;

// An ellipse's 101 points from its start to its end parameter; `pi` is the datum's.
void EllipsePoints(const Entity& ent, double pi, std::vector<Point3>& points);

// A spline's samples (kSplineTolerance); throws beyond `maxPoints` samples or for
// numbers that make no spline.
void SplinePoints(const Entity& ent, int64_t maxPoints, std::vector<Point3>& points);

}  // namespace varnolt::convert_detail
