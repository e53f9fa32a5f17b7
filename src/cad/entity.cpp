#include "cad/entity.h"

namespace varnolt {

KindNames NamesOf(EntityType type) {
  struct Row {
    EntityType type;
    KindNames names;
  };
  static constexpr Row kRows[] = {
      {EntityType::kLine, {"LINE", "line"}},
      {EntityType::kArc, {"ARC", "arc"}},
      {EntityType::kCircle, {"CIRCLE", "circle"}},
      {EntityType::kLwPolyline, {"LWPOLYLINE", "lightweight polyline"}},
      {EntityType::k3dPolyline, {"POLYLINE", "3D polyline"}},
      {EntityType::kText, {"TEXT", "text"}},
      {EntityType::kMText, {"MTEXT", "multiline text"}},
      {EntityType::kPoint, {"POINT", "point"}},
      {EntityType::kEllipse, {"ELLIPSE", "ellipse"}},
      {EntityType::kSpline, {"SPLINE", "spline"}},
      {EntityType::kHatch, {"HATCH", "hatch"}},
      {EntityType::kSolid, {"SOLID", "solid"}},
  };
  for (const Row& r : kRows) {
    if (r.type == type) return r.names;
  }
  return {"", "entity"};
}

}  // namespace varnolt
