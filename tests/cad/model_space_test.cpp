// An import into the live session, over the fake host in its adding mode (the strict
// operations and the documented ones that add entities and layers, nothing more):
// the host's model space receives exactly the entities and layers our own reader
// reads from the DXF the same import writes, for every golden document and the
// import's sample files; layers the drawing has keep their colours; what cannot be
// added is refused before the host hears of it.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "cad/autocad.h"
#include "cad/dxf.h"
#include "cad/dxf_writer.h"
#include "fake_cad.h"
#include "golden_cases.h"
#include "import/import.h"
#include "settings/settings.h"
#include "text/ascii.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;
using testing::FakeCad;
using testing::FakeCadScript;
using testing::FakeHostMode;

// The import of `input` with the settings of `ini` (the defaults when empty).
ImportedDrawing Imported(const fs::path& input, const fs::path& ini = {}) {
  const Settings settings = ini.empty() ? Settings() : LoadSettings(ini);
  const SettingsPlane plane(settings);
  return ImportFile(input, plane.finder(), ImportOptions());
}

FakeCadScript EmptyDrawing() {
  FakeCadScript script;
  script.layers = {{"0", 7}};
  return script;
}

void ExpectHostHoldsTheDxf(const ImportedDrawing& drawing, const std::string& what) {
  SCOPED_TRACE(what);
  DxfLimits limits;
  limits.include = kIncludePoints;
  const DxfDrawing dxf = ParseDxf(WriteDxf(drawing.layers, drawing.entities), what, limits);
  FakeCad fake(EmptyDrawing(), FakeHostMode::kAdding);
  size_t heard = 0;
  AttachCad(fake.application())->AddToModelSpace(drawing.layers, drawing.entities,
                                                 [&](size_t added, size_t total) {
                                                   EXPECT_EQ(added, heard + 1);
                                                   EXPECT_EQ(total, drawing.entities.size());
                                                   heard = added;
                                                 });
  EXPECT_EQ(heard, drawing.entities.size());
  ASSERT_EQ(fake.added().size(), dxf.entities.size());
  for (size_t k = 0; k < dxf.entities.size(); ++k) {
    const Entity& got = fake.added()[k];
    EXPECT_TRUE(got.geometry == dxf.entities[k].geometry) << "entity " << k;
    EXPECT_EQ(got.layer, dxf.entities[k].layer) << "entity " << k;
    EXPECT_EQ(got.color, dxf.entities[k].color) << "entity " << k;
  }
  ASSERT_EQ(fake.layers().size(), dxf.layers.size());
  for (size_t k = 0; k < dxf.layers.size(); ++k) {
    EXPECT_EQ(fake.layers()[k].name, dxf.layers[k].name);
    EXPECT_EQ(fake.layers()[k].color, dxf.layers[k].color);
  }
}

fs::path Sample(const std::string& name) {
  return fs::path(VARNOLT_SOURCE_DIR) / "fuzz" / "seeds" / "geo_import" / name;
}

TEST(ModelSpace, TheHostReceivesWhatTheDxfHolds) {
  for (const std::string& name : testing::GoldenCases()) {
    const fs::path dir = testing::GoldenDir() / name;
    ExpectHostHoldsTheDxf(Imported(dir / "expected.kml", dir / "Varnolt.ini"), name);
  }
  // Waypoints with names, routes, tracks with altitudes, folders, closed rings, KMZ.
  for (const char* name : {"track.gpx", "styles.kml", "features.geojson", "doc.kmz"}) {
    ExpectHostHoldsTheDxf(Imported(Sample(name)), name);
  }
}

// A layer the drawing has (in another case) keeps its colour and spelling and is not
// added again; the imported entities go onto it.
TEST(ModelSpace, LayersTheDrawingHasKeepTheirColours) {
  FakeCadScript script = EmptyDrawing();
  script.layers.push_back({"TRACKS", 5});
  FakeCad fake(script, FakeHostMode::kAdding);
  const ImportedDrawing drawing = Imported(Sample("track.gpx"));
  AttachCad(fake.application())->AddToModelSpace(drawing.layers, drawing.entities);
  size_t onTracks = 0;
  for (const Entity& e : fake.added()) onTracks += e.layer == "TRACKS";
  EXPECT_GT(onTracks, 0u);
  int named = 0;
  for (const Layer& l : fake.layers()) {
    if (l.name == "TRACKS") {
      EXPECT_EQ(l.color, 5);
    }
    named += EqualsIgnoringAsciiCase(l.name, "tracks");
  }
  EXPECT_EQ(named, 1);
}

TEST(ModelSpace, WhatCannotBeAddedIsRefusedBeforeTheHostHearsOfIt) {
  FakeCad fake(EmptyDrawing(), FakeHostMode::kAdding);
  std::unique_ptr<CadSession> session = AttachCad(fake.application());
  const size_t calls = fake.calls().size();
  ImportedDrawing drawing = Imported(Sample("track.gpx"));
  Entity circle;
  circle.geometry = Circle{{1, 2, 3}, 4};
  drawing.entities.push_back(circle);
  EXPECT_THROW(session->AddToModelSpace(drawing.layers, drawing.entities), Error);
  EXPECT_EQ(fake.calls().size(), calls);
  EXPECT_TRUE(fake.added().empty());
}

}  // namespace
}  // namespace varnolt
