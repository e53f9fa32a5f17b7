// Arcs in plan against their definitions: a mirrored arc's ends are where the
// extrusion (0, 0, -1) puts the ends of the arc in its own plane, and a bulge's arc
// passes through both ends of its segment with the included angle 4 atan(bulge).
#include "geometry/arc.h"

#include <gtest/gtest.h>

#include <cmath>

#include "geodesy/angles.h"

namespace varnolt {
namespace {

constexpr double kTol = 1e-12;  // m, on radii of about 10 m

TEST(ArcTest, MirroredArcRunsThroughTheEndsSeenFromBelow) {
  const double pi = SystemPi();
  for (const double start : {0.3, 2.0, 4.5}) {
    for (const double end : {0.1, 1.7, 5.9}) {
      const Point3 below{0, 0, -1};
      const PlanArc plan = PlanArcAngles(start, end, below, pi);
      EXPECT_GE(plan.end, plan.start);
      EXPECT_LT(plan.end - plan.start, 2 * pi + kTol);
      // Seen from below, the OCS point (cos a, sin a) lies at (-cos a, sin a): the arc
      // runs from the image of its end to the image of its start.
      EXPECT_NEAR(std::cos(plan.start), -std::cos(end), kTol);
      EXPECT_NEAR(std::sin(plan.start), std::sin(end), kTol);
      EXPECT_NEAR(std::cos(plan.end), -std::cos(start), kTol);
      EXPECT_NEAR(std::sin(plan.end), std::sin(start), kTol);
      // From above, the angles stand as they are, the end past the start.
      const PlanArc above = PlanArcAngles(start, end, {0, 0, 1}, pi);
      EXPECT_EQ(above.start, start);
      EXPECT_EQ(above.end, end < start ? end + 2 * pi : end);
    }
  }
}

TEST(ArcTest, BulgeArcPassesThroughBothEnds) {
  const Point3 p1{3, 4, 0}, p2{13, -1, 0};
  for (const double b : {1.0, -1.0, 0.25, -0.6, 3.0}) {
    const BulgeArc arc = BulgeToArc(p1, p2, b);
    EXPECT_NEAR(arc.sweep, 4 * std::atan(b), kTol);
    const double r2 = std::hypot(p2[0] - arc.centerX, p2[1] - arc.centerY);
    EXPECT_NEAR(r2, arc.radius, kTol);
    EXPECT_NEAR(arc.centerX + arc.radius * std::cos(arc.startAngle + arc.sweep), p2[0], 1e-9);
    EXPECT_NEAR(arc.centerY + arc.radius * std::sin(arc.startAngle + arc.sweep), p2[1], 1e-9);
    // The radius from the chord c and the bulge: c (1 + b^2) / (4 |b|).
    const double c = std::hypot(p2[0] - p1[0], p2[1] - p1[1]);
    EXPECT_NEAR(arc.radius, c * (1 + b * b) / (4 * std::fabs(b)), 1e-9);
  }
  // A half circle: the centre is the chord's middle.
  const BulgeArc half = BulgeToArc({0, 0, 0}, {10, 0, 0}, 1);
  EXPECT_NEAR(half.centerX, 5, kTol);
  EXPECT_NEAR(half.centerY, 0, kTol);
}

}  // namespace
}  // namespace varnolt
