// The drawing as the converters see it: plain values for the entities of the seven
// families and the layer table, whatever source they came from (a DXF file here, a
// live CAD session elsewhere). Coordinates are drawing units, metres of the
// Gauss-Krueger plane: x easting, y northing.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "geodesy/plane.h"
#include "settings/include_kinds.h"

namespace varnolt {

// Family codes as a CAD host's automation interface numbers them.
enum class EntityType : int {
  k3dPolyline = 2,
  kArc = 4,
  kCircle = 8,
  kLine = 19,
  kMText = 21,
  kLwPolyline = 24,
  kText = 32,

  // Kinds beyond the seven, read and converted only when the user includes them.
  kPoint = 100,
  kEllipse = 101,  // ellipses and elliptic arcs
  kSpline = 102,
  kHatch = 103,
  kSolid = 104,  // SOLID, TRACE and 3DFACE: a flat polygon of three or four corners
};

// How many entities of one kind a source left out, for the summary warning.
struct SkippedKind {
  std::string kind;  // the DXF name: "INSERT", "POINT", "HATCH", "DIMENSION", ...
  int64_t count = 0;
};

// Colour numbers: 1..255 index the palette, 0 is ByBlock, 256 ByLayer.
inline constexpr int kColorByBlock = 0;
inline constexpr int kColorByLayer = 256;

struct Layer {
  std::string name;  // UTF-8, as the layer table spells it
  int color = 7;     // 1..255 (the absolute value for a layer that is off)
};

struct Entity {
  EntityType type = EntityType::kLine;
  int color = kColorByLayer;
  std::string layer;   // name of the entity's layer, UTF-8

  // Where it came from, for error messages: the DXF handle (group 5) and the line
  // (ASCII DXF) or byte offset (binary DXF) where the entity starts.
  std::string handle;
  int64_t sourceLine = 0;

  // Line: StartPoint, endPoint (WCS).
  Point3 start{}, end{};

  // Arc and circle: center (WCS), Radius; arc only: startAngle, endAngle (radians,
  // angles in the entity's own plane) and Normal (its extrusion direction).
  Point3 center{};
  double radius = 0;
  double startAngle = 0, endAngle = 0;
  Point3 normal{0, 0, 1};

  // Lightweight polyline: Coordinates x0, y0, x1, y1, ...; bulges[i] is GetBulge(i)
  // (one per vertex); Closed; Elevation.
  // 3D polyline: Coordinates x0, y0, z0, x1, y1, z1, ...
  std::vector<double> coordinates;
  std::vector<double> bulges;
  bool closed = false;
  double elevation = 0;

  // Text: InsertionPoint and TextAlignmentPoint (WCS, (0,0,0) when unset).
  // Multiline text: InsertionPoint. Both: textstring (UTF-8, formatting codes kept).
  Point3 insertion{}, alignment{};
  std::string textstring;
  // Text: height (group 40) and rotation (group 50, radians, in the text's plane);
  // multiline text: character height and the direction's angle in plan. For drawing.
  double height = 0;
  double rotation = 0;

  // Point: insertion (WCS).
  // Ellipse: center (WCS), majorAxis (WCS vector from the centre to the end of the
  // major axis), ratio (minor / major), startAngle and endAngle the start and end
  // parameters in radians (0 and 2 pi for a whole ellipse), normal.
  Point3 majorAxis{};
  double ratio = 1;
  // Spline: degree, knots, weights (empty: all 1), the control points in coordinates
  // as x, y, z triples (WCS), the fit points in fitPoints (x, y, z triples), used
  // when there are no control points; closed (periodic); normal.
  int degree = 3;
  std::vector<double> knots, weights, fitPoints;
  // The end tangents of a spline through fit points (groups 12 and 13); (0, 0, 0)
  // when the file gives none.
  Point3 startTangent{}, endTangent{};
  // Solid: the corners in coordinates as x, y, z triples (WCS), in order round the
  // polygon (a SOLID's third and fourth corners swapped back).
  // Hatch: the loops' edges as entities of their own (kLine, kArc, kEllipse,
  // kSpline, kLwPolyline), loop k running from edge loopEnds[k-1] (0 for the first)
  // to loopEnds[k]; loopFlags[k] is the loop's group 92 (1 external, 16 outermost).
  std::vector<Entity> boundary;
  std::vector<int64_t> loopEnds;
  std::vector<int> loopFlags;

  // Exploded from a block: the block names from the outermost insert inward ("TREE",
  // "SITE/TREE"), and the 1-based number of the model-space insert it came from (0
  // for an entity that is in model space itself), so that one insert picks as one.
  std::string blockPath;
  int64_t insertId = 0;
};

// Where a text or multiline text stands: a text's alignment point, or its insertion
// point when the alignment point's x and y are both 0 (a left-aligned text has none);
// a multiline text's insertion point. The converters place the Point there and the
// picking view draws the label there, so the two always agree.
inline Point3 TextAnchor(const Entity& ent) {
  if (ent.type == EntityType::kText && (ent.alignment[0] != 0 || ent.alignment[1] != 0)) {
    return ent.alignment;
  }
  return ent.insertion;
}

// Whether two entities are the same to the last bit of every number (NaN too): two
// ways of reading one file must agree exactly.
inline bool IdenticalEntities(const Entity& a, const Entity& b) {
  auto same = [](double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; };
  auto sameAll = [&](const std::vector<double>& x, const std::vector<double>& y) {
    return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin(), same);
  };
  auto samePoint = [&](const Point3& x, const Point3& y) {
    return same(x[0], y[0]) && same(x[1], y[1]) && same(x[2], y[2]);
  };
  if (a.boundary.size() != b.boundary.size()) return false;
  for (size_t k = 0; k < a.boundary.size(); ++k) {
    if (!IdenticalEntities(a.boundary[k], b.boundary[k])) return false;
  }
  return a.type == b.type && a.color == b.color && a.layer == b.layer && a.handle == b.handle &&
         a.sourceLine == b.sourceLine && samePoint(a.start, b.start) && samePoint(a.end, b.end) &&
         samePoint(a.center, b.center) && same(a.radius, b.radius) &&
         same(a.startAngle, b.startAngle) && same(a.endAngle, b.endAngle) &&
         samePoint(a.normal, b.normal) && sameAll(a.coordinates, b.coordinates) &&
         sameAll(a.bulges, b.bulges) && a.closed == b.closed && same(a.elevation, b.elevation) &&
         samePoint(a.insertion, b.insertion) && samePoint(a.alignment, b.alignment) &&
         a.textstring == b.textstring && same(a.height, b.height) &&
         same(a.rotation, b.rotation) && samePoint(a.majorAxis, b.majorAxis) &&
         same(a.ratio, b.ratio) && a.degree == b.degree && sameAll(a.knots, b.knots) &&
         sameAll(a.weights, b.weights) && sameAll(a.fitPoints, b.fitPoints) &&
         samePoint(a.startTangent, b.startTangent) && samePoint(a.endTangent, b.endTangent) &&
         a.loopEnds == b.loopEnds && a.loopFlags == b.loopFlags && a.blockPath == b.blockPath &&
         a.insertId == b.insertId;
}

// A closed lightweight polyline of three vertices or more, or a circle: what
// --polygons may fill.
inline bool IsClosedShape(const Entity& ent) {
  return ent.type == EntityType::kCircle ||
         (ent.type == EntityType::kLwPolyline && ent.closed && ent.coordinates.size() >= 6);
}

// What sorting a pick into families needs of an entity, without the whole entity.
struct EntityBrief {
  EntityType type = EntityType::kLine;
  int color = kColorByLayer;
  std::string_view layer;
  bool closedShape = false;
};

// The picked entities in pick order. A large drawing's entities need not all be held
// at once: a source may read each one when it is asked for it.
class EntityList {
 public:
  virtual ~EntityList() = default;
  virtual size_t size() const = 0;
  virtual EntityBrief Brief(size_t k) const = 0;
  // Entity k, held by the list or read into `scratch`. Safe to call from several
  // threads at once, each with its own scratch.
  virtual const Entity& Get(size_t k, Entity& scratch) const = 0;
};

// A pick held as pointers to entities that outlive the list.
class PointerEntityList : public EntityList {
 public:
  explicit PointerEntityList(std::vector<const Entity*> picked) : picked_(std::move(picked)) {}
  size_t size() const override { return picked_.size(); }
  EntityBrief Brief(size_t k) const override {
    const Entity& e = *picked_[k];
    return {e.type, e.color, e.layer, IsClosedShape(e)};
  }
  const Entity& Get(size_t k, Entity& scratch) const override {
    (void)scratch;
    return *picked_[k];
  }

 private:
  std::vector<const Entity*> picked_;
};

// What the converters read: the layer table and the entities picked, in pick order.
class EntitySource {
 public:
  virtual ~EntitySource() = default;
  virtual const std::vector<Layer>& Layers() const = 0;
  // The user's pick. For a file: every model-space entity of the seven families in
  // file order, narrowed by whatever filter the source was given.
  virtual std::vector<const Entity*> SelectOnScreen() = 0;
  // The same pick as a list the run reads entity by entity; a source that reads its
  // entities only when asked gives them this way without holding them all.
  virtual std::unique_ptr<EntityList> Pick() {
    return std::make_unique<PointerEntityList>(SelectOnScreen());
  }
  // Where the entities come from, for messages ("site.dxf").
  virtual std::string Describe() const = 0;
  // What the source left out, by kind, in the order first met; for the summary
  // warning after a run.
  virtual std::vector<SkippedKind> Skipped() const { return {}; }
};

// A source over entities held in memory, all picked in their order: for tests and
// benchmarks that build their entities by hand.
class MemorySource : public EntitySource {
 public:
  MemorySource() = default;
  MemorySource(std::vector<Layer> layers, std::vector<Entity> entities,
               std::string description = "memory")
      : layers_(std::move(layers)),
        entities_(std::move(entities)),
        description_(std::move(description)) {}

  const std::vector<Layer>& Layers() const override { return layers_; }
  std::vector<const Entity*> SelectOnScreen() override {
    std::vector<const Entity*> picked;
    picked.reserve(entities_.size());
    for (const Entity& e : entities_) picked.push_back(&e);
    return picked;
  }
  std::string Describe() const override { return description_; }

  std::vector<Layer>& layers() { return layers_; }
  std::vector<Entity>& entities() { return entities_; }
  const std::vector<Entity>& entities() const { return entities_; }

 private:
  std::vector<Layer> layers_;
  std::vector<Entity> entities_;
  std::string description_;
};

}  // namespace varnolt
