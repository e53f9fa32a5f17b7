#include "cad/ocs.h"

#include <cmath>

#include "geometry/vector.h"

namespace varnolt {

Point3 OcsToWcs(const Point3& p, const Point3& extrusion) {
  if (extrusion[0] == 0 && extrusion[1] == 0) {
    if (extrusion[2] < 0) return {-p[0], p[1], -p[2]};
    return p;  // (0, 0, +k) and the degenerate (0, 0, 0)
  }
  const Point3 n = UnitVector(extrusion);
  // Arbitrary axis: the OCS x axis is Wy x N when N lies within 1/64 of the world z
  // axis, Wz x N otherwise; the y axis completes the right-handed system.
  constexpr double kLimit = 1.0 / 64.0;
  const Point3 ax = (std::fabs(n[0]) < kLimit && std::fabs(n[1]) < kLimit)
                        ? UnitVector(Cross({0, 1, 0}, n))
                        : UnitVector(Cross({0, 0, 1}, n));
  const Point3 ay = UnitVector(Cross(n, ax));
  return {p[0] * ax[0] + p[1] * ay[0] + p[2] * n[0],
          p[0] * ax[1] + p[1] * ay[1] + p[2] * n[1],
          p[0] * ax[2] + p[1] * ay[2] + p[2] * n[2]};
}

}  // namespace varnolt
