// Plane and space curves the drawings hold besides lines and circles: ellipses and
// (rational) B-splines, in the drawing's own units. Evaluation follows the plain
// textbook formulas in a fixed order of operations, so that samples are reproducible
// to the last bit.
//
// Failures throw Error(kGeneral) saying what is wrong with the curve's numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "geodesy/plane.h"

namespace varnolt {

// The point of an ellipse at parameter t (radians): centre + cos t * major axis +
// sin t * minor axis, the minor axis being normal x major axis scaled to
// |major axis| * ratio. The parameter runs counter-clockwise about the normal.
Point3 EllipsePoint(const Point3& center, const Point3& majorAxis, double ratio,
                    const Point3& normal, double t);

// A B-spline of degree p over knots u_0 .. u_{n+p} and n control points, rational
// when it has weights. Its curve runs over [u_p, u_n].
struct BSpline {
  int degree = 3;
  std::vector<double> knots;
  std::vector<double> weights;  // empty: every weight 1
  std::vector<Point3> control;

  double First() const { return knots[static_cast<size_t>(degree)]; }
  double Last() const { return knots[control.size()]; }

  // The curve's point at t, which is clamped to [First(), Last()] (de Boor's
  // algorithm on homogeneous points).
  Point3 At(double t) const;
};

// A spline from its stored numbers. Throws when the degree is below 1, the knot or
// weight count does not fit the control points and the degree, a knot decreases, a
// weight is not positive, a number is not finite, or the knots leave the curve no
// extent.
BSpline MakeBSpline(int degree, const std::vector<double>& knots,
                    const std::vector<double>& weights, const std::vector<Point3>& control);

// The cubic through fit points as CAD derives its control points:
// chord-length parameters on [0, 1], natural knots, the two end derivatives as
// extra conditions. The end tangents' directions are taken from `startTangent` and
// `endTangent` when both are given, else estimated from five points at each end;
// their length is the fit points' total chord length either way. Consecutive
// repeated fit points count once; fewer than two distinct points throw.
BSpline BSplineFromFitPoints(const std::vector<Point3>& fit,
                             const Point3* startTangent = nullptr,
                             const Point3* endTangent = nullptr);

// One sample of a curve: its parameter and point.
struct CurveSample {
  double t = 0;
  Point3 p{};
};

// Samples from First() to Last() such that no chord between consecutive samples
// departs from the curve by more than `tolerance`: each knot span starts as one
// piece (four for a rational spline or a degree above 3), and a piece is halved
// while a probe of the curve at a quarter, half or three quarters of it lies
// farther from its chord than half the tolerance. Throws when more than
// `maxPoints` samples would be needed.
std::vector<CurveSample> SampleBSpline(const BSpline& spline, double tolerance,
                                       int64_t maxPoints);

// Distance from p to the segment a-b (all three components).
double SegmentDistance(const Point3& p, const Point3& a, const Point3& b);

}  // namespace varnolt
