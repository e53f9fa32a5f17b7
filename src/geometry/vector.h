// Vectors of world space, in drawing units: the few operations that placing,
// outlining and sampling curves share. Each is written out in one fixed order of
// operations, so that a result is the same to the last bit wherever it is used.
#pragma once

#include <cmath>

#include "geodesy/plane.h"

namespace varnolt {

inline Point3 Add(const Point3& a, const Point3& b) {
  return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
inline Point3 Minus(const Point3& a, const Point3& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
inline Point3 Scaled(const Point3& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
inline double Dot(const Point3& a, const Point3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
inline Point3 Cross(const Point3& a, const Point3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline double Length(const Point3& a) { return std::sqrt(Dot(a, a)); }

// a scaled by the reciprocal of its length; (0, 0, 1) for the zero vector, which is
// the normal a plane without one takes.
inline Point3 UnitNormal(const Point3& a) {
  const double n = Length(a);
  return n > 0 ? Scaled(a, 1 / n) : Point3{0, 0, 1};
}

// v divided by its length, for v != 0; a vector so long or so short that its
// squared length overflows or underflows is scaled by its largest component first.
Point3 UnitVector(const Point3& v);

}  // namespace varnolt
