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
      {EntityType::kMesh, {"POLYLINE", "mesh"}},
      {EntityType::kLeader, {"LEADER", "leader"}},
      {EntityType::kFrame, {"IMAGE", "image frame"}},
  };
  for (const Row& r : kRows) {
    if (r.type == type) return r.names;
  }
  return {"", "entity"};
}

std::string_view DxfNameOf(const Entity& ent) {
  if (const Frame* f = ent.As<Frame>(); f != nullptr && f->wipeout) return "WIPEOUT";
  if (const Leader* l = ent.As<Leader>(); l != nullptr && l->multileader) return "MULTILEADER";
  return NamesOf(ent.type()).dxf;
}

void AddSkipped(std::vector<SkippedKind>& skipped, const SkippedKind& kind) {
  for (SkippedKind& s : skipped) {
    if (s.kind == kind.kind && s.reason == kind.reason) {
      s.count += kind.count;
      if (s.refusal.empty()) s.refusal = kind.refusal;
      return;
    }
  }
  skipped.push_back(kind);
}

}  // namespace varnolt
