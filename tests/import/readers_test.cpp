// The four formats, told by their content, and what each becomes: kinds, layers,
// colours, names and altitudes, checked on small documents written for the purpose.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error.h"
#include "import/import.h"
#include "kml/palette.h"
#include "run/kmz.h"

namespace varnolt {
namespace {

// KML 2.2 with its namespace and gx: a Folder, a StyleMap colour, a track, a polygon
// with its closing position, a multi-geometry with an empty part, an escaped name.
const std::string kKml22 = R"(<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://www.opengis.net/kml/2.2" xmlns:gx="http://www.google.com/kml/ext/2.2">
<Document>
  <Style id="red"><LineStyle><color>ff0000ff</color></LineStyle></Style>
  <StyleMap id="m"><Pair><key>normal</key><styleUrl>#red</styleUrl></Pair></StyleMap>
  <Folder><name>道路</name>
    <Placemark><name>A &amp; B</name><styleUrl>#m</styleUrl>
      <LineString><coordinates>114.5,30.5,0 114.501,30.5,0</coordinates></LineString>
    </Placemark>
    <Placemark><name>井1</name><Point><coordinates>114.5, 30.501, 12</coordinates></Point></Placemark>
  </Folder>
  <Placemark><name>walk</name>
    <gx:Track><when>2026-01-01T00:00:00Z</when><gx:coord>114.5 30.5 3</gx:coord>
      <gx:coord>114.502 30.502 5</gx:coord></gx:Track>
  </Placemark>
  <Placemark><Style><LineStyle><color>ff00fe00</color></LineStyle></Style>
    <MultiGeometry>
      <Polygon><outerBoundaryIs><LinearRing><coordinates>
        114.5,30.5 114.51,30.5 114.51,30.51 114.5,30.5
      </coordinates></LinearRing></outerBoundaryIs></Polygon>
      <LineString><coordinates> </coordinates></LineString>
    </MultiGeometry>
  </Placemark>
</Document>
</kml>
)";

// KML 2.1 without any namespace, as older writers have it.
const std::string kKml21 =
    "<kml><Placemark><LineString><coordinates>114.5,30.5 114.6,30.6</coordinates>"
    "</LineString></Placemark></kml>";

const std::string kGpx10 = R"(<?xml version="1.0"?>
<gpx version="1.0" creator="test">
  <wpt lat="30.5" lon="114.5"><ele>21.5</ele><name>GPS01</name></wpt>
  <rte><name>r</name><rtept lat="30.5" lon="114.5"/><rtept lat="30.51" lon="114.51"/></rte>
  <trk><name>t</name><trkseg><trkpt lat="30.5" lon="114.5"/><trkpt lat="30.5" lon="114.52"/></trkseg>
    <trkseg></trkseg></trk>
</gpx>
)";

const std::string kGeoJson = R"({"type": "FeatureCollection", "features": [
  {"type": "Feature", "properties": {"name": "桩"}, "geometry": {"type": "MultiPoint",
   "coordinates": [[114.5, 30.5], [114.51, 30.5, 7]]}},
  {"type": "Feature", "properties": {}, "geometry": {"type": "MultiPolygon",
   "coordinates": [[[[114.5, 30.5], [114.6, 30.5], [114.6, 30.6], [114.5, 30.5]]]]}},
  {"type": "Feature", "properties": null, "geometry": null}
]})";

ImportedDrawing Import(const std::string& bytes, const std::string& format) {
  Settings settings;
  settings.Text2 = "114.3";
  const SettingsPlane plane(settings);
  const GeoDocument doc = ReadGeoBytes(bytes, "test", 1 << 20);
  EXPECT_EQ(doc.format, format);
  return ImportDocument(doc, plane.finder(), {}, "test");
}

template <class Kind>
size_t Count(const ImportedDrawing& d) {
  size_t n = 0;
  for (const Entity& e : d.entities) n += e.As<Kind>() != nullptr;
  return n;
}

TEST(Readers, Kml22WithFoldersStylesTracksAndPolygons) {
  for (const auto& [bytes, format] : {std::pair{kKml22, "KML"}, {ZipKmz(kKml22), "KMZ"}}) {
    const ImportedDrawing d = Import(bytes, format);
    ASSERT_EQ(d.entities.size(), 5u);  // line, point + text, 3D track, closed ring
    EXPECT_EQ(d.emptyGeometries, 1);
    const auto* line = d.entities[0].As<LwPolyline>();
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(d.entities[0].layer, "道路");
    EXPECT_EQ(d.entities[0].color, 1);  // the StyleMap's red
    EXPECT_NE(d.entities[1].As<Point>(), nullptr);
    ASSERT_NE(d.entities[2].As<Text>(), nullptr);
    EXPECT_EQ(d.entities[2].As<Text>()->textstring, "井1");
    EXPECT_EQ(d.entities[2].As<Text>()->height, 2.5);
    EXPECT_EQ(d.entities[1].As<Point>()->position[2], 12);
    const auto* track = d.entities[3].As<Polyline3d>();
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->vertices[1][2], 5);
    EXPECT_EQ(d.entities[3].layer, "0");
    const auto* ring = d.entities[4].As<LwPolyline>();
    ASSERT_NE(ring, nullptr);
    EXPECT_TRUE(ring->closed);
    EXPECT_EQ(ring->vertices.size(), 3u);
    EXPECT_EQ(d.entities[4].color, 3);  // 0,254,0 is nearest to green
  }
  EXPECT_EQ(Import(kKml21, "KML").entities.size(), 1u);
}

TEST(Readers, GpxAndGeoJson) {
  const ImportedDrawing gpx = Import(kGpx10, "GPX");
  ASSERT_EQ(gpx.entities.size(), 4u);
  EXPECT_EQ(gpx.entities[0].layer, "waypoints");
  EXPECT_EQ(gpx.entities[0].As<Point>()->position[2], 21.5);
  EXPECT_EQ(gpx.entities[1].As<Text>()->textstring, "GPS01");
  EXPECT_EQ(gpx.entities[2].layer, "routes");
  EXPECT_EQ(gpx.entities[3].layer, "tracks");
  EXPECT_EQ(gpx.emptyGeometries, 1);  // the empty track segment

  const ImportedDrawing json = Import(kGeoJson, "GeoJSON");
  EXPECT_EQ(Count<Point>(json), 2u);
  EXPECT_EQ(Count<Text>(json), 2u);
  EXPECT_EQ(Count<LwPolyline>(json), 1u);
  EXPECT_EQ(json.emptyGeometries, 1);
}

// Progress on a track long enough to be read in several pieces: each stage in turn,
// never going back, and each ends at its whole.
TEST(Readers, ProgressGoesForwardToTheEndOfEachStage) {
  std::string gpx = "<gpx version=\"1.1\"><trk><trkseg>";
  for (int i = 0; i < 200000; ++i) {
    gpx += "<trkpt lat=\"30.5\" lon=\"114." + std::to_string(500000 + i) + "\"/>";
  }
  gpx += "</trkseg></trk></gpx>";
  std::vector<std::pair<ImportStage, uint64_t>> heard;
  uint64_t readTotal = 0, placeTotal = 0;
  auto hear = [&](ImportStage stage, uint64_t done, uint64_t total) {
    if (!heard.empty()) {
      ASSERT_GE(stage, heard.back().first);
      if (stage == heard.back().first) {
        ASSERT_GE(done, heard.back().second);
      }
    }
    heard.emplace_back(stage, done);
    (stage == ImportStage::kReading ? readTotal : placeTotal) = total;
  };
  Settings settings;
  settings.Text2 = "114.3";
  const SettingsPlane plane(settings);
  const GeoDocument doc =
      ReadGeoBytes(gpx, "long.gpx", 1 << 30, [&](uint64_t done, uint64_t total) {
        hear(ImportStage::kReading, done, total);
      });
  ImportOptions options;
  options.threads = 2;
  options.progress = hear;
  const ImportedDrawing d = ImportDocument(doc, plane.finder(), options, "long.gpx");
  ASSERT_EQ(d.positions, 200000u);
  EXPECT_EQ(readTotal, gpx.size());
  EXPECT_EQ(placeTotal, d.positions);
  size_t readings = 0;
  for (const auto& [stage, done] : heard) readings += stage == ImportStage::kReading;
  EXPECT_GT(readings, 1u) << "read in one piece: no progress to see";
  EXPECT_EQ(heard.back().second, placeTotal);
  EXPECT_EQ(heard[readings - 1].second, readTotal);
}

// Every colour of the palette comes back as a number of exactly that colour.
TEST(Readers, PaletteColoursComeBackExactly) {
  for (size_t k = 0; k < kAciPalette.size(); ++k) {
    const PaletteRgb c = kAciPalette[k];
    const int n = NearestPaletteColour({c.red, c.green, c.blue});
    const PaletteRgb got = kAciPalette[static_cast<size_t>(n - 1)];
    EXPECT_TRUE(got.red == c.red && got.green == c.green && got.blue == c.blue) << k + 1;
    EXPECT_LE(n, static_cast<int>(k) + 1);
  }
}

}  // namespace
}  // namespace varnolt
