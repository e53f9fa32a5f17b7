#include "cad/ocs.h"

#include <algorithm>
#include <cmath>

namespace varnolt {
namespace {

Point3 Cross(const Point3& a, const Point3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// v / |v| for v != 0; a vector so long or so short that its squared length
// overflows or underflows is scaled first.
Point3 Unit(const Point3& v) {
  double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (len > 0 && std::isfinite(len)) return {v[0] / len, v[1] / len, v[2] / len};
  const double m = std::max({std::fabs(v[0]), std::fabs(v[1]), std::fabs(v[2])});
  const Point3 s{v[0] / m, v[1] / m, v[2] / m};
  len = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
  return {s[0] / len, s[1] / len, s[2] / len};
}

}  // namespace

Point3 OcsToWcs(const Point3& p, const Point3& extrusion) {
  if (extrusion[0] == 0 && extrusion[1] == 0) {
    if (extrusion[2] < 0) return {-p[0], p[1], -p[2]};
    return p;  // (0, 0, +k) and the degenerate (0, 0, 0)
  }
  const Point3 n = Unit(extrusion);
  // Arbitrary axis: the OCS x axis is Wy x N when N lies within 1/64 of the world z
  // axis, Wz x N otherwise; the y axis completes the right-handed system.
  constexpr double kLimit = 1.0 / 64.0;
  const Point3 ax = (std::fabs(n[0]) < kLimit && std::fabs(n[1]) < kLimit)
                        ? Unit(Cross({0, 1, 0}, n))
                        : Unit(Cross({0, 0, 1}, n));
  const Point3 ay = Unit(Cross(n, ax));
  return {p[0] * ax[0] + p[1] * ay[0] + p[2] * n[0],
          p[0] * ax[1] + p[1] * ay[1] + p[2] * n[1],
          p[0] * ax[2] + p[1] * ay[2] + p[2] * n[2]};
}

}  // namespace varnolt
