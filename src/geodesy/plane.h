// Plane geometry on point arrays, in the drawing's own units (metres). A point is
// {easting, northing, z}: index 0 is the drawing's x, index 1 its y.
#pragma once

#include <array>

namespace varnolt {

using Point3 = std::array<double, 3>;

// Distance over all three components.
double pt_pt(const Point3& p1, const Point3& p2);

// Midpoint of indices 0 and 1 into p; p[2] is left as it was.
void pp_mid(const Point3& p1, const Point3& p2, Point3& p);

// Direction angle of p1 -> p2 in radians, 0 <= angle <= 2 pi, counter-clockwise from
// the positive x axis (east). Coincident points give 3 pi / 2.
double fwjjs(const Point3& p1, const Point3& p2);

// The point at distance aa from p1 along the line p1 -> p2 (beyond p2 for aa > d,
// before p1 for aa < 0), all three components. Coincident p1, p2 give p1.
// aa equal to the distance is outside the domain; callers never ask for it.
void xnd(const Point3& p1, const Point3& p2, Point3& p, double aa);

}  // namespace varnolt
