#include "geometry/vector.h"

#include <algorithm>

namespace varnolt {

Point3 UnitVector(const Point3& v) {
  double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (len > 0 && std::isfinite(len)) return {v[0] / len, v[1] / len, v[2] / len};
  const double m = std::max({std::fabs(v[0]), std::fabs(v[1]), std::fabs(v[2])});
  const Point3 s{v[0] / m, v[1] / m, v[2] / m};
  len = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
  return {s[0] / len, s[1] / len, s[2] / len};
}

}  // namespace varnolt
