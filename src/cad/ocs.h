// Object coordinate systems: DXF stores the points of planar entities (arcs, circles,
// texts) in the entity's own plane, given by its extrusion direction. Coordinates
// are drawing units; nothing is rounded.
#pragma once

#include "geodesy/plane.h"

namespace varnolt {

// The point `p` of the OCS with extrusion `extrusion` in world coordinates, by the
// DXF arbitrary-axis algorithm. The extrusion need not be of unit length. (0, 0, +k)
// gives p unchanged and (0, 0, -k) exactly (-x, y, -z), both without arithmetic; a
// zero extrusion is taken as (0, 0, 1).
Point3 OcsToWcs(const Point3& p, const Point3& extrusion);

}  // namespace varnolt
