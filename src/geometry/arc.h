// Circular arcs in plan, as the drawing gives them: the angles an arc runs through
// when it is seen from above, and the arc a polyline's bulge stands for. Angles are
// radians, counter-clockwise from the x axis (east); `pi` is the datum's 4 atan(1).
#pragma once

#include "geodesy/plane.h"

namespace varnolt {

// The angles an arc is drawn through counter-clockwise in plan, start first, the end
// at or beyond the start (2 pi added when it lies below). An arc whose extrusion is
// exactly (.., .., -1) is seen from below: its angles are mirrored, pi - end to
// pi - start, each brought into [0, 2 pi) when negative.
struct PlanArc {
  double start = 0;
  double end = 0;
};
PlanArc PlanArcAngles(double startAngle, double endAngle, const Point3& normal, double pi);

// The arc of the bulged segment p1 -> p2 in plan (bulge b = tan of a quarter of the
// included angle, b != 0 and finite; b > 0 turns counter-clockwise). The centre lies
// (1 - b^2) / (4 b) chords to the left of the chord's middle; the radius is the
// distance from the centre to p1; the arc runs from p1's angle through `sweep`
// = 4 atan(b) to p2's angle. z is not read: the arc lies in the segment's plane.
struct BulgeArc {
  double centerX = 0, centerY = 0;
  double radius = 0;
  double startAngle = 0;  // atan2 of p1 seen from the centre
  double endAngle = 0;    // atan2 of p2 seen from the centre
  double sweep = 0;       // signed: negative clockwise
};
BulgeArc BulgeToArc(const Point3& p1, const Point3& p2, double b);

}  // namespace varnolt
