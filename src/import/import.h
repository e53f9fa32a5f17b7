// The way back: positions from KML, KMZ, GPX or GeoJSON put onto the drawing's plane
// as entities, with the settings a conversion uses (datum, central meridian,
// corrections, and any opt-in method), every correction undone. The result is plain
// entity values, which a DXF file or a CAD session's model space can take alike.
//
//   LineString, gx:Track, GPX track segment or route, GeoJSON LineString:
//       a lightweight polyline, or a 3D polyline when it keeps its altitudes
//   Polygon ring: the same, closed (the repeated first position dropped)
//   Point, GPX waypoint: a POINT, and a TEXT of its name there when it has one
//   Layers: the KML Folder, the GPX kind ("waypoints", "tracks", "routes"), or one
//   named layer for everything; colours: the nearest of the palette's 255.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cad/entity.h"
#include "geodesy/plane_finder.h"
#include "geodesy/projection.h"
#include "import/geo_reader.h"
#include "settings/settings.h"

namespace varnolt {

// How far an import has come, heard on the thread that imports: `done` of `total` in
// the stage's own unit (bytes read, positions placed, entities written).
enum class ImportStage { kReading, kPlacing, kWriting };
using ImportProgress = std::function<void(ImportStage stage, uint64_t done, uint64_t total)>;

// Whether lines keep the altitudes of their positions as z: kAuto keeps them for a
// line whose altitudes are not all 0.
enum class KeepAltitude { kAuto, kYes, kNo };

struct ImportOptions {
  KeepAltitude keepAltitude = KeepAltitude::kAuto;
  double textHeight = 2.5;  // drawing units
  std::string layer;        // not empty: every entity on this layer
  uint64_t maxFileBytes = uint64_t{2} << 30;  // as a conversion's drawings
  unsigned threads = 0;     // 0: one per core
  ImportProgress progress;  // when given: reading and placing (the writer tells writing)
};

struct ImportedDrawing {
  std::string format;        // "KML", "KMZ", "GPX", "GeoJSON"
  std::vector<Layer> layers;  // in the order first met
  std::vector<Entity> entities;
  int64_t emptyGeometries = 0;  // left out; the caller warns once
  size_t positions = 0;         // positions put onto the plane
};

// The plane of a conversion with these settings: its forward (the projection and the
// methods the settings choose) and the finder that inverts it. With zone numbers in
// the eastings, the zone is the --crs's, else that of the central meridian (a 3-degree
// zone before a 6-degree one); a meridian no zone has gives plain eastings. Throws
// SettingError or Error(kGeneral) as a conversion would for these settings.
class SettingsPlane {
 public:
  explicit SettingsPlane(const Settings& settings);
  ~SettingsPlane();
  const PlaneFinder& finder() const { return *finder_; }
  const Projector& forward() const { return *forward_; }

 private:
  std::unique_ptr<Projector> forward_;
  std::unique_ptr<PlaneFinder> finder_;
};

// The nearest colour number (1..255) of the system's palette to an RGB colour: the
// lowest number of those at the least distance, so a palette colour gives itself (or
// the first number with the same colour).
int NearestPaletteColour(const GeoRgb& rgb);

// The features onto the plane. `name` names the file in messages. Throws
// Error(kGeneral) naming the feature whose position has no plane point. The document
// is taken, its positions let go as the entities are made.
ImportedDrawing ImportDocument(GeoDocument doc, const PlaneFinder& finder,
                               const ImportOptions& options, const std::string& name);

// Reads the file (refused beyond options.maxFileBytes before it is read) and imports
// it. Throws Error(kFileAccess) when it cannot be read, Error(kGeneral) otherwise.
ImportedDrawing ImportFile(const std::filesystem::path& path, const PlaneFinder& finder,
                           const ImportOptions& options);

}  // namespace varnolt
