// Placing entities by an affine map of world space: how an exploded block's entities
// reach their place in the drawing. Every kind keeps its own form where the map
// allows it; an arc or circle under a non-uniform scale becomes an ellipse, as CAD
// does on exploding.
#pragma once

#include <vector>

#include "cad/entity.h"

namespace varnolt {

// p -> L p + t, with L the 3x3 block of m and t its last column.
struct Affine {
  double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};

  Point3 Apply(const Point3& p) const;
  Point3 Direction(const Point3& v) const;  // L v, without the translation
  bool IsIdentity() const;
};

// outer(inner(p)).
Affine Compose(const Affine& outer, const Affine& inner);

// The map of a block reference: the block's base point to the insertion point (in
// the OCS of `extrusion`), scaled by `scale` along the block's axes and turned by
// `rotation` radians about the extrusion.
Affine InsertMatrix(const Point3& base, const Point3& insertion, const Point3& scale,
                    double rotation, const Point3& extrusion);

// Appends `e` placed by `m` to `out`, with what it has in common: one entity, or for
// a lightweight polyline with bulges under a non-uniform scale its segments (lines,
// and arcs or ellipses). A hatch's edges are placed the same way, edge by edge.
void PlaceEntity(const Entity& e, const Affine& m, std::vector<Entity>& out);

}  // namespace varnolt
