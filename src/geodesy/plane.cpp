#include "geodesy/plane.h"

#include <cmath>

#include "geodesy/angles.h"

namespace varnolt {

double pt_pt(const Point3& p1, const Point3& p2) {
  double d0 = p1[0] - p2[0], d1 = p1[1] - p2[1], d2 = p1[2] - p2[2];
  return std::sqrt((d0 * d0 + d1 * d1) + d2 * d2);
}

void pp_mid(const Point3& p1, const Point3& p2, Point3& p) {
  double x = (p1[0] + p2[0]) / 2;
  double y = (p1[1] + p2[1]) / 2;
  p[0] = x;
  p[1] = y;
}

double fwjjs(const Point3& p1, const Point3& p2) {
  const double pi = SystemPi();
  double d0 = p2[0] - p1[0];
  double d1 = p2[1] - p1[1];
  if (d0 != 0) {
    double a = std::atan(d1 / d0);
    if (a >= 0) return d0 > 0 ? a : a + pi;
    return d0 > 0 ? a + 2 * pi : a + pi;
  }
  // Straight up gives pi/2; straight down and coincident points give 3 pi / 2.
  if (d1 > 0) return pi / 2;
  return pi * 3 / 2;
}

void xnd(const Point3& p1, const Point3& p2, Point3& p, double aa) {
  double d = pt_pt(p1, p2);
  if (d == 0) {
    p = p1;
    return;
  }
  // The point dividing p1p2 in the ratio aa : (d - aa), component by component.
  double lambda = aa / (d - aa);
  Point3 r;
  for (int i = 0; i < 3; ++i) r[i] = (p1[i] + lambda * p2[i]) / (1 + lambda);
  p = r;
}

}  // namespace varnolt
