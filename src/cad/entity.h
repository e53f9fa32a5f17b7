// The drawing as the converters see it: plain values for the entities, one small type
// per kind with what every entity has in common beside it, and the layer table, whatever source they came from (a DXF file here, a
// live CAD session elsewhere). Coordinates are drawing units, metres of the
// Gauss-Krueger plane: x easting, y northing.
#pragma once

#include <array>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
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
  kMesh = 105,    // polygon and polyface meshes: faces
  kLeader = 106,  // LEADER and MULTILEADER: their lines
  kFrame = 107,   // IMAGE and WIPEOUT: their boundary
};

// How many entities of one kind a source left out, for the summary warning: a kind
// not read, or (with a reason) entities of an included kind that could not be used.
struct SkippedKind {
  std::string kind;  // the DXF name: "INSERT", "POINT", "HATCH", "DIMENSION", ...
  int64_t count = 0;
  // Why they were left out, in the words of both front ends ("no area", "无面积");
  // empty for a kind that was not read.
  std::string reason{}, reasonChinese{};
  // The refusal that strict reading gives instead, naming the file and line of the
  // first one; empty when strict reading leaves it out as well.
  std::string refusal{};
};

// Adds `count` of `kind` left out for `reason` to `skipped`, beside the same kind
// and reason when it is there already (the first refusal kept).
void AddSkipped(std::vector<SkippedKind>& skipped, const SkippedKind& kind);

// Colour numbers: 1..255 index the palette, 0 is ByBlock, 256 ByLayer.
inline constexpr int kColorByBlock = 0;
inline constexpr int kColorByLayer = 256;

struct Layer {
  std::string name;  // UTF-8, as the layer table spells it
  int color = 7;     // 1..255 (the absolute value for a layer that is off)
};

// What every entity has, whatever its kind.
struct EntityCommon {
  std::string layer;  // name of the entity's layer, UTF-8
  int color = kColorByLayer;
  // Where it came from, for messages: the DXF handle (group 5) and the line (ASCII
  // DXF) or byte offset (binary DXF) where the entity starts; 0 when it came from no
  // file.
  std::string handle;
  int64_t sourceLine = 0;
  // Exploded from a block: the block names from the outermost insert inward ("TREE",
  // "SITE/TREE"), and the 1-based number of the model-space insert it came from (0
  // for an entity that is in model space itself), so that one insert picks as one.
  std::string blockPath;
  int64_t insertId = 0;

  bool operator==(const EntityCommon&) const = default;
};

// The kinds, each with exactly its own data. Points are world coordinates (WCS)
// unless said otherwise; angles are radians in the entity's own plane; `normal` is
// the extrusion direction of that plane.

// StartPoint, endPoint.
struct Line {
  Point3 start{}, end{};
  bool operator==(const Line&) const = default;
};

// center, Radius, startAngle, endAngle, Normal.
struct Arc {
  Point3 center{};
  double radius = 0;
  double startAngle = 0, endAngle = 0;
  Point3 normal{0, 0, 1};
  bool operator==(const Arc&) const = default;
};

// center, Radius; the normal is read but the circle is drawn in plan.
struct Circle {
  Point3 center{};
  double radius = 0;
  Point3 normal{0, 0, 1};
  bool operator==(const Circle&) const = default;
};

// A vertex of a lightweight polyline, in the polyline's own plane (OCS), and the
// bulge of the segment that starts there (GetBulge).
struct LwVertex {
  double x = 0, y = 0;
  double bulge = 0;
  bool operator==(const LwVertex&) const = default;
};

// Coordinates with GetBulge of each vertex, Closed, Elevation, Normal.
struct LwPolyline {
  std::vector<LwVertex> vertices;
  bool closed = false;
  double elevation = 0;
  Point3 normal{0, 0, 1};
  bool operator==(const LwPolyline&) const = default;
};

// Coordinates as points; the closed flag is kept but not drawn.
struct Polyline3d {
  std::vector<Point3> vertices;
  bool closed = false;
  bool operator==(const Polyline3d&) const = default;
};

// InsertionPoint and TextAlignmentPoint ((0, 0, 0) when unset), textstring (UTF-8),
// the height (group 40) and the rotation (group 50), for drawing.
struct Text {
  Point3 insertion{}, alignment{};
  std::string textstring;
  double height = 0;
  double rotation = 0;
  Point3 normal{0, 0, 1};
  bool operator==(const Text&) const = default;
};

// InsertionPoint and textstring (formatting codes kept); the character height and
// the direction's angle in plan, for drawing.
struct MText {
  Point3 insertion{};
  std::string textstring;
  double height = 0;
  double rotation = 0;
  Point3 normal{0, 0, 1};
  bool operator==(const MText&) const = default;
};

struct Point {
  Point3 position{};
  bool operator==(const Point&) const = default;
};

// Ellipses and elliptic arcs: majorAxis runs from the centre to the end of the major
// axis, ratio is minor / major, the start and end parameters are 0 and 2 pi for a
// whole ellipse.
struct Ellipse {
  Point3 center{}, majorAxis{};
  double ratio = 1;
  double startAngle = 0, endAngle = 0;
  Point3 normal{0, 0, 1};
  bool operator==(const Ellipse&) const = default;
};

// A B-spline by its degree, knots, weights (empty: all 1) and control points, or,
// without control points, the cubic through its fit points, whose end tangents
// (groups 12 and 13) are (0, 0, 0) when the file gives none.
struct Spline {
  int degree = 3;
  std::vector<double> knots, weights;
  std::vector<Point3> control, fit;
  Point3 startTangent{}, endTangent{};
  bool closed = false;  // periodic
  Point3 normal{0, 0, 1};
  bool operator==(const Spline&) const = default;
};

// A hatch boundary's edges: lines, arcs, elliptic arcs and splines of an edge path
// in WCS, or one polyline path in the hatch's OCS.
using HatchEdge = std::variant<Line, Arc, Ellipse, Spline, LwPolyline>;

struct HatchLoop {
  int flags = 0;  // group 92: 1 external, 2 polyline, 16 outermost
  std::vector<HatchEdge> edges;
  bool operator==(const HatchLoop&) const = default;
};

struct Hatch {
  std::vector<HatchLoop> loops;
  double elevation = 0;
  Point3 normal{0, 0, 1};
  bool operator==(const Hatch&) const = default;
};

// SOLID, TRACE and 3DFACE: three or four corners in order round the polygon (a
// SOLID's third and fourth corners swapped back).
struct Solid {
  std::vector<Point3> corners;
  Point3 normal{0, 0, 1};
  bool operator==(const Solid&) const = default;
};

// One face of a mesh: four corners in order round, a triangle's fourth equal to its
// third.
using MeshFace = std::array<Point3, 4>;

// Polygon meshes (M x N vertices) and polyface meshes, as their faces in WCS.
struct Mesh {
  std::vector<MeshFace> faces;
  bool polyface = false;
  bool operator==(const Mesh&) const = default;
};

// A LEADER's line through its vertices, or a MULTILEADER's leader lines (its text
// is a multiline text of its own); WCS.
struct Leader {
  std::vector<std::vector<Point3>> lines;
  bool multileader = false;
  bool operator==(const Leader&) const = default;
};

// The boundary of an IMAGE or WIPEOUT (its clipping boundary, else the image's
// rectangle), in order round, WCS, not repeating its first corner.
struct Frame {
  std::vector<Point3> boundary;
  bool wipeout = false;
  bool operator==(const Frame&) const = default;
};

// In the order of kGeometryTypes below.
using Geometry = std::variant<Line, Arc, Circle, LwPolyline, Polyline3d, Text, MText, Point,
                              Ellipse, Spline, Hatch, Solid, Mesh, Leader, Frame>;

// The family code of each alternative of Geometry, by its index.
inline constexpr EntityType kGeometryTypes[] = {
    EntityType::kLine,       EntityType::kArc,    EntityType::kCircle, EntityType::kLwPolyline,
    EntityType::k3dPolyline, EntityType::kText,   EntityType::kMText,  EntityType::kPoint,
    EntityType::kEllipse,    EntityType::kSpline, EntityType::kHatch,  EntityType::kSolid,
    EntityType::kMesh,       EntityType::kLeader, EntityType::kFrame,
};
static_assert(std::size(kGeometryTypes) == std::variant_size_v<Geometry>);

// Equality is exact: every number compares with ==, so an entity holding a NaN
// equals no entity, itself included.
struct Entity : EntityCommon {
  Geometry geometry;

  EntityType type() const { return kGeometryTypes[geometry.index()]; }
  template <class Kind>
  const Kind* As() const {
    return std::get_if<Kind>(&geometry);
  }
  template <class Kind>
  Kind* As() {
    return std::get_if<Kind>(&geometry);
  }

  bool operator==(const Entity&) const = default;
};

// Two readings of one file agree: the same entity, or both holding a number that
// is none (a NaN, which no comparison can match) where the other reading has one.
inline bool SameReading(const Entity& a, const Entity& b) {
  return a == b || (!(a == a) && !(b == b));
}

// How messages and the document name a kind: its DXF name ("LWPOLYLINE") and its
// words ("lightweight polyline").
struct KindNames {
  std::string_view dxf;
  std::string_view english;
};
KindNames NamesOf(EntityType type);

// The DXF name of the entity itself where one kind stands for several: "WIPEOUT"
// and "MULTILEADER" beside NamesOf()'s "IMAGE" and "LEADER".
std::string_view DxfNameOf(const Entity& ent);

// Where a text stands: its alignment point, or its insertion point when the
// alignment point's x and y are both 0 (a left-aligned text has none); a multiline
// text's insertion point. The converters place the Point there and the picking view
// draws the label there, so the two always agree.
inline Point3 TextAnchor(const Text& text) {
  if (text.alignment[0] != 0 || text.alignment[1] != 0) return text.alignment;
  return text.insertion;
}
inline Point3 TextAnchor(const MText& text) { return text.insertion; }

// The content of a text or multiline text; empty for other kinds.
inline std::string_view TextOf(const Entity& ent) {
  if (const Text* t = ent.As<Text>()) return t->textstring;
  if (const MText* t = ent.As<MText>()) return t->textstring;
  return {};
}

// A closed lightweight polyline of three vertices or more, or a circle: what
// --polygons may fill.
inline bool IsClosedShape(const Entity& ent) {
  if (ent.As<Circle>() != nullptr) return true;
  const LwPolyline* p = ent.As<LwPolyline>();
  return p != nullptr && p->closed && p->vertices.size() >= 3;
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
    return {e.type(), e.color, e.layer, IsClosedShape(e)};
  }
  const Entity& Get(size_t k, Entity& scratch) const override {
    (void)scratch;
    return *picked_[k];
  }

 private:
  std::vector<const Entity*> picked_;
};

// Something a source has to say about how it read a pick, in the words of both front
// ends: the command line speaks English, the window and a CAD host's command line
// Chinese.
struct SourceNote {
  std::string english;
  std::string chinese;
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
  // What the user should know of how the last pick was read; the run reports each
  // as a warning once the pick is read.
  virtual std::vector<SourceNote> PickNotes() const { return {}; }
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
