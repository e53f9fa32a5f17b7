// The drawing as the converters see it: plain values for the entities of the seven
// families and the layer table, whatever source they came from (a DXF file here, a
// live CAD session elsewhere). Coordinates are drawing units, metres of the
// Gauss-Krueger plane: x easting, y northing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geodesy/plane.h"

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

// What the converters read: the layer table and the entities picked, in pick order.
class EntitySource {
 public:
  virtual ~EntitySource() = default;
  virtual const std::vector<Layer>& Layers() const = 0;
  // The user's pick. For a file: every model-space entity of the seven families in
  // file order, narrowed by whatever filter the source was given.
  virtual std::vector<const Entity*> SelectOnScreen() = 0;
  // Where the entities come from, for messages ("site.dxf").
  virtual std::string Describe() const = 0;
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
