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

// A source over entities held in memory: for tests, and the base of the DXF source.
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
    for (const Entity& e : entities_) {
      if (layerFilter_.empty()) {
        picked.push_back(&e);
        continue;
      }
      for (const std::string& name : layerFilter_) {
        if (name == e.layer) {
          picked.push_back(&e);
          break;
        }
      }
    }
    return picked;
  }
  std::string Describe() const override { return description_; }

  // Only entities on these layers are picked (exact names); empty picks all.
  void SetLayerFilter(std::vector<std::string> names) { layerFilter_ = std::move(names); }

  std::vector<Layer>& layers() { return layers_; }
  std::vector<Entity>& entities() { return entities_; }
  const std::vector<Entity>& entities() const { return entities_; }

 private:
  std::vector<Layer> layers_;
  std::vector<Entity> entities_;
  std::string description_;
  std::vector<std::string> layerFilter_;
};

}  // namespace varnolt
