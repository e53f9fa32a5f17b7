#include "geometry/arc.h"

#include <cmath>

namespace varnolt {

PlanArc PlanArcAngles(double startAngle, double endAngle, const Point3& normal, double pi) {
  double sa = startAngle;
  double ea = endAngle;
  if (normal[2] == -1) {
    sa = pi - endAngle;
    if (sa < 0) sa = sa + 2 * pi;
    ea = pi - startAngle;
    if (ea < 0) ea = ea + 2 * pi;
  }
  if (sa > ea) ea = ea + 2 * pi;
  return {sa, ea};
}

BulgeArc BulgeToArc(const Point3& p1, const Point3& p2, double b) {
  const double dx = p2[0] - p1[0];
  const double dy = p2[1] - p1[1];
  const double f = (1 - b * b) / (4 * b);
  BulgeArc arc;
  arc.centerX = (p1[0] + p2[0]) / 2 - f * dy;
  arc.centerY = (p1[1] + p2[1]) / 2 + f * dx;
  const double ux = p1[0] - arc.centerX, uy = p1[1] - arc.centerY;
  arc.radius = std::sqrt(ux * ux + uy * uy);
  arc.startAngle = std::atan2(uy, ux);
  arc.endAngle = std::atan2(p2[1] - arc.centerY, p2[0] - arc.centerX);
  arc.sweep = 4 * std::atan(b);
  return arc;
}

}  // namespace varnolt
