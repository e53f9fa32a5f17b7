// The way back, checked on every golden document: the KML a conversion wrote is
// imported with the case's own settings and written as DXF; our reader reads the DXF
// back to the very entities, the forward projection of every vertex (what `varnolt
// point` prints for it) gives the document's position to 1e-10 degrees, and every
// vertex of the original drawing is among the vertices that came back. Some of the
// drawings are kept as they were written, to the byte (tests/import/expected).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "cad/dxf.h"
#include "cad/dxf_writer.h"
#include "golden_cases.h"
#include "import/import.h"
#include "settings/conversion_options.h"
#include "settings/settings.h"

namespace varnolt {
namespace {

using testing::GoldenCases;
using testing::GoldenDir;
using testing::ReadBytes;

constexpr double kDegrees = 1e-10;  // the round trip's promise
// The documents carry 12 decimals of a degree: 0.1 micrometre on the ground.
constexpr double kMetres = 1e-5;

// Each entity's vertices as written: polylines' in order, a point's or text's one.
std::vector<Point3> VerticesOf(const Entity& e) {
  std::vector<Point3> out;
  if (const auto* p = e.As<LwPolyline>()) {
    for (const LwVertex& v : p->vertices) out.push_back({v.x, v.y, p->elevation});
  } else if (const auto* p = e.As<Polyline3d>()) {
    out = p->vertices;
  } else if (const auto* p = e.As<Point>()) {
    out.push_back(p->position);
  } else if (const auto* t = e.As<Text>()) {
    out.push_back(t->insertion);
  }
  return out;
}

// The positions in the order the entities hold them: a named point twice (POINT, TEXT),
// a ring without its repeated first position.
std::vector<GeoPosition> PositionsInOrder(const GeoDocument& doc) {
  std::vector<GeoPosition> out;
  for (const GeoFeature& f : doc.features) {
    for (const GeoPart& part : f.parts) {
      std::vector<GeoPosition> p = part.positions;
      if (part.kind == GeoPartKind::kRing && p.size() > 2 && p.front().lon == p.back().lon &&
          p.front().lat == p.back().lat && p.front().alt == p.back().alt) {
        p.pop_back();
      }
      out.insert(out.end(), p.begin(), p.end());
      if ((part.kind == GeoPartKind::kPoint || p.size() == 1) && !f.name.empty()) {
        out.push_back(p.front());
      }
    }
  }
  return out;
}

// The vertices a conversion keeps as they are: line ends, polyline vertices, text
// anchors and points, of entities drawn in plan in model space itself.
std::vector<Point3> DrawingVertices(const DxfDrawing& drawing) {
  std::vector<Point3> out;
  for (const Entity& e : drawing.entities) {
    if (!e.blockPath.empty()) continue;
    if (const auto* l = e.As<Line>()) {
      out.push_back(l->start);
      out.push_back(l->end);
    } else if (const auto* p = e.As<LwPolyline>()) {
      // A polyline of one vertex has no line to write.
      if (p->normal != Point3{0, 0, 1} || p->vertices.size() < 2) continue;
      for (const LwVertex& v : p->vertices) out.push_back({v.x, v.y, 0});
    } else if (const auto* p = e.As<Polyline3d>()) {
      out.insert(out.end(), p->vertices.begin(), p->vertices.end());
    } else if (const auto* t = e.As<Text>()) {
      if (t->normal == Point3{0, 0, 1}) out.push_back(TextAnchor(*t));
    } else if (const auto* t = e.As<MText>()) {
      out.push_back(TextAnchor(*t));
    } else if (const auto* p = e.As<Point>()) {
      out.push_back(p->position);
    }
  }
  return out;
}

class GoldenRoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenRoundTrip, ComesBackOntoTheDrawing) {
  const auto dir = GoldenDir() / GetParam();
  const Settings settings = LoadSettings(dir / "Varnolt.ini");
  const SettingsPlane plane(settings);
  const GeoDocument doc = ReadGeoBytes(ReadBytes(dir / "expected.kml"), "expected.kml", 1u << 30);
  const ImportedDrawing got = ImportDocument(doc, plane.finder(), {}, "expected.kml");
  const std::string dxf = WriteDxf(got.layers, got.entities);
  EXPECT_EQ(dxf, WriteDxf(got.layers, got.entities)) << "the same entities give other bytes";
  // A few drawings are kept byte for byte: folders as layers, GBK and \U+ names.
  const auto pinned = std::filesystem::path(VARNOLT_SOURCE_DIR) / "tests" / "import" /
                      "expected" / (GetParam() + ".dxf");
  if (std::filesystem::exists(pinned)) {
    EXPECT_TRUE(dxf == ReadBytes(pinned)) << "the drawing differs from " << pinned;
  }

  DxfLimits limits;
  limits.include = kIncludePoints;
  const DxfDrawing back = ParseDxf(dxf, "import.dxf", limits);
  EXPECT_EQ(back.acadver, "AC1015");
  EXPECT_EQ(back.codepage, "ANSI_936");
  ASSERT_EQ(back.entities.size(), got.entities.size());
  for (size_t k = 0; k < got.entities.size(); ++k) {
    EXPECT_TRUE(back.entities[k].geometry == got.entities[k].geometry) << "entity " << k;
    EXPECT_EQ(back.entities[k].layer, got.entities[k].layer) << "entity " << k;
    EXPECT_EQ(back.entities[k].color, got.entities[k].color) << "entity " << k;
  }

  // What `varnolt point` prints for each vertex: the document's own position.
  const std::vector<GeoPosition> positions = PositionsInOrder(doc);
  std::vector<Point3> vertices;
  for (const Entity& e : back.entities) {
    for (const Point3& v : VerticesOf(e)) vertices.push_back(v);
  }
  ASSERT_EQ(vertices.size(), positions.size());
  double worst = 0;
  for (size_t k = 0; k < vertices.size(); ++k) {
    double lon = 0, lat = 0;
    plane.forward().LonLat(vertices[k][1], vertices[k][0], lon, lat);
    worst = std::max({worst, std::fabs(lon - positions[k].lon), std::fabs(lat - positions[k].lat)});
  }
  EXPECT_LE(worst, kDegrees);

  // The drawing's own vertices are there again (to the 12 decimals the KML keeps).
  DxfLimits original;
  original.include = ReadConversionOptions(settings).include;
  const DxfDrawing drawing = ReadDxfFile(dir / "drawing.dxf", original);
  size_t missing = 0;
  for (const Point3& p : DrawingVertices(drawing)) {
    const bool found = std::any_of(vertices.begin(), vertices.end(), [&](const Point3& v) {
      return std::hypot(v[0] - p[0], v[1] - p[1]) <= kMetres;
    });
    if (!found && ++missing <= 3) ADD_FAILURE() << "no vertex at " << p[0] << ", " << p[1];
  }
  EXPECT_EQ(missing, 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryCase, GoldenRoundTrip, ::testing::ValuesIn(GoldenCases()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace
}  // namespace varnolt
