// Whole conversions, drawing to KML, compared byte for byte with the documents in
// tests/golden/<case>/expected.kml.
//
// Each case folder holds drawing.dxf (written by make_drawings.py with ezdxf), the
// settings file Varnolt.ini and expected.kml. The conversion writes "<case>.kml" into
// a fresh temporary folder, so the document's <name> is the case's folder name.
//
// VARNOLT_REGENERATE=1 rewrites expected.kml from the current code instead of
// comparing; read the diff before committing it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <utility>
#include <string>
#include <vector>

#include "cad/dxf.h"
#include "golden_cases.h"
#include "run/run.h"
#include "settings/settings.h"
#include "temp_dir.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;
using testing::GoldenCases;
using testing::GoldenDir;
using testing::ReadBytes;

class CollectingReporter : public RunReporter {
 public:
  void Prompt(const std::string& text) override { prompts.push_back(text); }
  void Warning(const RunWarning& warning) override { warnings.push_back(warning.english); }
  std::vector<std::string> prompts, warnings;
};

bool Regenerating() {
  const char* v = std::getenv("VARNOLT_REGENERATE");
  return v != nullptr && std::string(v) == "1";
}

// "line N: expected <...> got <...>" for the first line that differs.
std::string FirstDifference(const std::string& expected, const std::string& got) {
  size_t line = 1, start = 0;
  for (size_t i = 0; i < std::min(expected.size(), got.size()); ++i) {
    if (expected[i] != got[i]) {
      size_t endE = expected.find('\n', i), endG = got.find('\n', i);
      return "line " + std::to_string(line) + ": expected [" +
             expected.substr(start, endE == std::string::npos ? std::string::npos : endE - start) +
             "] got [" + got.substr(start, endG == std::string::npos ? std::string::npos : endG - start) +
             "]";
    }
    if (expected[i] == '\n') {
      ++line;
      start = i + 1;
    }
  }
  return "sizes differ: expected " + std::to_string(expected.size()) + " bytes, got " +
         std::to_string(got.size());
}

class GoldenTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty()) << "no temporary folder";
    tmp_ = temp_.path();
  }
  testing::TempDir temp_{"varnolt-golden"};
  fs::path tmp_;
};

TEST_P(GoldenTest, ConversionMatchesExpectedKml) {
  const std::string name = GetParam();
  const fs::path dir = GoldenDir() / name;

  // A broken settings file would silently give the defaults: refuse it instead.
  Settings settings;
  ASSERT_TRUE(ParseSettings(ReadBytes(dir / "Varnolt.ini"), settings)) << dir / "Varnolt.ini";
  ASSERT_EQ(LoadSettings(dir / "Varnolt.ini"), settings);

  DxfLimits limits;
  limits.include = IncludedKinds(settings);
  DxfSource source(dir / "drawing.dxf", limits);
  CollectingReporter reporter;
  const fs::path out = tmp_ / (name + ".kml");
  RunConversion(source, settings, out, reporter);
  const std::string got = ReadBytes(out);
  ASSERT_FALSE(got.empty());

  const fs::path expectedPath = dir / "expected.kml";
  if (Regenerating()) {
    std::ofstream(expectedPath, std::ios::binary) << got;
    GTEST_SKIP() << "rewrote " << expectedPath;
  }
  ASSERT_TRUE(fs::exists(expectedPath)) << expectedPath << " is missing; VARNOLT_REGENERATE=1 writes it";
  const std::string expected = ReadBytes(expectedPath);
  EXPECT_TRUE(got == expected) << name << ": " << FirstDifference(expected, got);
  // Only the temporary folder's one output file: no temporaries left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(tmp_), fs::directory_iterator()), 1);
}

// The drawing read in pieces of a few entities on three threads, and converted on
// three: the same document.
TEST_P(GoldenTest, ReadInSmallPiecesGivesTheSameDocument) {
  const std::string name = GetParam();
  const fs::path dir = GoldenDir() / name;
  const Settings settings = LoadSettings(dir / "Varnolt.ini");
  DxfLimits limits;
  limits.include = IncludedKinds(settings);
  limits.pieceBytes = 300;
  limits.threads = 3;
  DxfSource source(dir / "drawing.dxf", limits);
  CollectingReporter reporter;
  const fs::path out = tmp_ / (name + ".kml");
  RunConversion(source, settings, out, reporter, 3);
  const std::string expected = ReadBytes(dir / "expected.kml");
  EXPECT_TRUE(ReadBytes(out) == expected) << name << ": " << FirstDifference(expected, ReadBytes(out));
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenTest, ::testing::ValuesIn(GoldenCases()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// A settings file may hold 2 for the arcs box, which shows it greyed. Only an
// unchecked box straightens bulges, so greyed converts as checked does.
TEST_F(GoldenTest, GreyedArcsBoxHonoursBulgesAsCheckedDoes) {
  const fs::path dir = GoldenDir() / "bulges_arcs_on";
  Settings settings = LoadSettings(dir / "Varnolt.ini");
  ASSERT_EQ(settings.Check1, 1);
  settings.Check1 = 2;
  DxfSource source(dir / "drawing.dxf");
  CollectingReporter reporter;
  const fs::path out = tmp_ / "bulges_arcs_on.kml";
  RunConversion(source, settings, out, reporter);
  EXPECT_TRUE(ReadBytes(out) == ReadBytes(dir / "expected.kml"));
}

// What each expected document must hold, worked out by hand from the drawings in
// make_drawings.py and the conversion rules, independently of the code: a careless
// regeneration that changes a count, a name, the family order or the style order
// fails here even though the byte comparison would pass.
// The point count of a spline, whatever the sampler makes it (more than two).
constexpr size_t kSampled = static_cast<size_t>(-1);

struct Shape {
  std::vector<std::pair<std::string, size_t>> placemarks;  // name, point count
  std::vector<std::string> styles;                          // style keys, in file order
  std::vector<std::string> folders = {"From AutoCAD"};      // Folder names, in order
};

std::vector<std::string> Keys(std::initializer_list<const char*> colours, const std::string& width) {
  std::vector<std::string> keys;
  for (const char* c : colours) keys.push_back(std::string("m_color") + c + "_width" + width);
  return keys;
}

const std::map<std::string, Shape>& Shapes() {
  // Colour texts: 1 FF0000FF, 2 FF00FFFF, 3 FF00FF00, 4 FFFFFF00, 5 FFFF0000,
  // 6 FFFF00FF, 7 FFFFFFFF, 8 FF808080, 108 FF0F4800, 248 FF0F004F.
  static const std::map<std::string, Shape> shapes = {
      // Families in the fixed order; a 25 m line with spacing 10 has 4 points, a
      // sloped 50 m one 6, an exactly 20 m one 3; circles are named like arcs.
      {"families",
       {{{"pline1", 6}, {"3dpline1", 3}, {"K12+300", 1}, {"雨水管线", 1}, {"line1", 4},
         {"line2", 6}, {"line3", 3}, {"arc1", 101}, {"arc2", 101}, {"arc1", 101}, {"arc2", 101}},
        Keys({"FF0000FF", "FF00FFFF", "FF00FF00", "FFFF0000", "FFFFFFFF"}, "6")}},
      // Chords 30 and 20 above Text7 10: 101 + 101; chord 6: 2; straight 25 m: 4.
      {"bulges_arcs_on", {{{"pline1", 208}}, Keys({"FFFFFF00"}, "6")}},
      // Text7 30: no chord is above it: 2 + 2 + 2 + 4.
      {"bulges_chord_threshold", {{{"pline1", 10}}, Keys({"FFFFFF00"}, "6")}},
      // Straight: 30 m 4, 20 m 3, 6 m 2, 25 m 4.
      {"bulges_arcs_off", {{{"pline1", 13}}, Keys({"FFFFFF00"}, "6")}},
      // 4 + 2 then the straight closing segment of 26.93 m: 4; two vertices 12 m apart,
      // closed: 3 + 3; one vertex: none; closed 3D polyline: its 4 vertices.
      {"closed_polylines",
       {{{"pline1", 10}, {"pline2", 6}, {"pline3", 0}, {"3dpline1", 4}},
        Keys({"FF00FFFF", "FF00FF00", "FFFFFFFF"}, "6")}},
      {"arc_extrusion",
       {{{"arc1", 101}, {"arc2", 101}, {"arc1", 101}}, Keys({"FF0000FF", "FF00FFFF", "FF00FF00"}, "6")}},
      {"texts",
       {{{"左对齐", 1},
         {"居中", 1},
         {"A&B <K1+200> \"q\"", 1},
         {"{\\fSimHei|b0|i0|c134|p2;雨水}\\P管径 DN600 \\A1;x", 1},
         {[] {
            std::string t;
            for (int i = 1; i < 40; ++i) {
              t += std::string("第") + (i < 10 ? "0" : "") + std::to_string(i) + "段 abc\\P";
            }
            return t;
          }(),
          1}},
        Keys({"FFFFFFFF"}, "6")}},
      {"gbk_r2000", {{{"测试文本", 1}, {"雨水\\P管线", 1}, {"line1", 3}}, Keys({"FFFF0000"}, "6")}},
      {"utf8_r2018",
       {{{"测试文本", 1}, {"한글 😀", 1}, {"雨水\\P管线", 1}}, Keys({"FFFF00FF"}, "6")}},
      // ByLayer 5, ByBlock 8, ByLayer on a layer that is off (-3) 3, then 248, 1, 108, 1.
      {"colours_width_half",
       {{{"line1", 2}, {"line2", 2}, {"line3", 2}, {"line4", 2}, {"line5", 2}, {"line6", 2},
         {"line7", 2}, {"arc1", 101}},
        Keys({"FF0000FF", "FF00FF00", "FFFF0000", "FF808080", "FF0F4800", "FF0F004F"}, ".5")}},
      {"datum_beijing54",
       {{{"中央子午线", 1}, {"line1", 4}, {"line2", 3}}, Keys({"FF0000FF", "FFFFFFFF"}, "6")}},
      {"datum_xian80",
       {{{"中央子午线", 1}, {"line1", 4}, {"line2", 3}}, Keys({"FF0000FF", "FFFFFFFF"}, "6")}},
      // Folders by layer in table order (0, 道路, 管线), families in their order inside
      // each, names numbered across the whole document.
      {"layout_folders_attributes",
       {{{"pline1", 2}, {"line2", 2}, {"arc1", 101}, {"A&B", 1}, {"line1", 2}},
        Keys({"FF0000FF", "FF00FF00", "FFFF0000", "FFFFFFFF"}, "6"),
        {"0", "道路", "管线"}}},
      // Exploded blocks: the attribute and the dimension's text, 10 trees' lines and
      // the dimension's 4, 10 trees' circles. ByBlock takes the insert's colour (1,
      // then ByLayer of 树: 3); layer-0 lines take the insert's layer (树: 3);
      // the grid's nested trees are ByLayer on layer 0: 7.
      {"kinds_blocks",
       {{{"T-01", 1}, {"20", 1}, {"line1", 2}, {"line2", 2}, {"line3", 2}, {"line4", 2},
         {"line5", 2}, {"line6", 2}, {"line7", 2}, {"line8", 2}, {"line9", 2}, {"line10", 2},
         {"line11", 2}, {"line12", 2}, {"line13", 2}, {"line14", 2}, {"arc1", 101},
         {"arc2", 101}, {"arc3", 101}, {"arc4", 101}, {"arc5", 101}, {"arc6", 101},
         {"arc7", 101}, {"arc8", 101}, {"arc9", 101}, {"arc10", 101}},
        Keys({"FF0000FF", "FF00FF00", "FFFFFFFF"}, "6")}},
      {"kinds_points", {{{"point1", 1}, {"point2", 1}}, Keys({"FF0000FF", "FFFFFFFF"}, "6")}},
      {"kinds_ellipses",
       {{{"ellipse1", 101}, {"ellipse2", 101}, {"ellipse3", 101}}, Keys({"FF00FFFF", "FFFFFFFF"}, "6")}},
      {"kinds_splines",
       {{{"spline1", kSampled}, {"spline2", kSampled}, {"spline3", kSampled}},
        Keys({"FFFFFF00", "FFFFFFFF"}, "6")}},
      // Curve-fit: every vertex, 2 + 2 + 3 with Text1 10; spline-fit: the five curve
      // vertices (3 + 3 + 3 + 3), not the frame.
      {"kinds_fitted", {{{"pline1", 7}, {"pline2", 12}}, Keys({"FFFF00FF", "FFFFFFFF"}, "6")}},
      // Outer: 4 corners and the bulge's 99 inner points, closed (104); the round hole
      // 100 and its closing point; two triangles of 3 + 1.
      {"kinds_hatches",
       {{{"hatch1", 205}, {"hatch2", 8}}, {"m_polyFF0000FF_width6", "m_polyFF00FF00_width6"}}},
      // With --polygons the closed triangle (3 + 1) and the circle (100 + 1) are
      // polygons, the solid and trace 4 + 1, the 3D face 3 + 1; line styles stay
      // for the two shapes, which would be lines if they enclosed nothing.
      {"kinds_solids_polygons",
       {{{"pline1", 4}, {"arc1", 101}, {"solid1", 5}, {"solid2", 5}, {"solid3", 4}},
        {"m_colorFFFF0000_width6", "m_colorFFFFFFFF_width6", "m_polyFF0000FF_width6",
         "m_polyFFFF0000_width6", "m_polyFFFFFFFF_width6"}}},
      // The multileader's text named as CAD shows it; the polyface's floor, wall and
      // roof (5 + 5 + 4), the 3 x 3 mesh's four faces (4 x 5); the leader's three
      // vertices, the multileader's two lines of a vertex, the landing point and the
      // dogleg's end; the image's clipping polygon and the wipeout's triangle, closed.
      {"kinds_outlines",
       {{{"井\r\nK12+300 ⌀600", 1}, {"mesh1", 14}, {"mesh2", 20}, {"leader1", 3},
         {"leader2", 6}, {"frame1", 5}, {"frame2", 4}},
        {"m_colorFF0000FF_width6", "m_colorFFFFFFFF_width6", "m_polyFF00FF00_width6",
         "m_polyFFFF0000_width6"}}},
      // Old-style 2D polyline, closed: bulge of chord 30 101, 15 m 3, closing 33.5 m 5.
      {"r12_polyline",
       {{{"pline1", 109}, {"3dpline1", 2}, {"line1", 2}}, Keys({"FF0000FF", "FF00FF00", "FFFFFFFF"}, "6")}},
  };
  return shapes;
}

class GoldenShapeTest : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenShapeTest, DocumentHoldsWhatTheRulesPredict) {
  const std::string name = GetParam();
  const std::string kml = ReadBytes(GoldenDir() / name / "expected.kml");
  ASSERT_FALSE(kml.empty());
  auto shape = Shapes().find(name);
  ASSERT_NE(shape, Shapes().end()) << "no hand-made description of case " << name;

  // Frame: no byte-order mark, CR LF only, the document named after the output file,
  // the closing lines and the lone blank.
  EXPECT_EQ(kml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<kml xmlns=", 0), 0u);
  EXPECT_NE(kml.find("\r\n<Document>\r\n\r\n\t<name>" + name + "</name>\r\n"), std::string::npos);
  std::vector<std::string> folders;
  const std::string open = "\t<Folder>\r\n\t\t<name>";
  for (size_t at = kml.find(open); at != std::string::npos; at = kml.find(open, at + 1)) {
    const size_t from = at + open.size();
    folders.push_back(kml.substr(from, kml.find("</name>\r\n\t\t<open>1</open>\r\n", from) - from));
  }
  EXPECT_EQ(folders, shape->second.folders);
  const std::string tail = "\t</StyleMap>\r\n\r\n\r\n</Document>\r\n\r\n</kml>\r\n\r\n \r\n";
  ASSERT_GE(kml.size(), tail.size());
  EXPECT_EQ(kml.substr(kml.size() - tail.size()), tail);
  for (size_t i = 0; i < kml.size(); ++i) {
    if (kml[i] == '\n') {
      ASSERT_TRUE(i > 0 && kml[i - 1] == '\r') << "bare LF at byte " << i;
    }
    if (kml[i] == '\r') {
      ASSERT_TRUE(i + 1 < kml.size() && kml[i + 1] == '\n') << "bare CR at byte " << i;
    }
  }

  std::vector<std::pair<std::string, size_t>> placemarks;
  for (const testing::Feature& f : testing::FeaturesInFile(kml)) {
    // A sampled curve's count is the sampler's own (checked against ezdxf there).
    const size_t k = placemarks.size();
    const bool sampled = k < shape->second.placemarks.size() &&
                         shape->second.placemarks[k].second == kSampled && f.points > 2;
    placemarks.emplace_back(f.name, sampled ? kSampled : f.points);
  }
  EXPECT_EQ(placemarks, shape->second.placemarks);

  std::vector<std::string> styles;
  for (size_t at = kml.find("<StyleMap id=\""); at != std::string::npos;
       at = kml.find("<StyleMap id=\"", at + 1)) {
    size_t from = at + 14;
    styles.push_back(kml.substr(from, kml.find('"', from) - from));
  }
  EXPECT_EQ(styles, shape->second.styles);
  // Every Placemark refers to one of the pairs written.
  for (const testing::Feature& f : testing::FeaturesInFile(kml)) {
    EXPECT_NE(std::find(styles.begin(), styles.end(), f.style), styles.end()) << f.style;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenShapeTest, ::testing::ValuesIn(GoldenCases()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// Coordinates checked against an independent implementation. The references come from
// PROJ with the corrections of the settings applied by hand (+0.039/60 to the longitude,
// -0.0335/60 to the latitude), e.g. for Beijing 1954:
//   echo "500000 3380100" | cs2cs -f %.12f +proj=tmerc +k=1 +x_0=500000 +lon_0=114.5
//     +ellps=krass +to +proj=longlat +ellps=krass
// and for Xi'an 1980 the same with +a=6378140 +rf=298.257 instead of +ellps=krass.
// Tolerance 1e-8 degrees, about a millimetre.
TEST(GoldenCoordinatesTest, PointsAgreeWithProj) {
  struct Probe {
    const char* kase;
    const char* placemark;  // name of the Placemark whose first point is probed
    double lon, lat;
  };
  const Probe probes[] = {
      // A text on the central meridian: the longitude is exactly 114.5 + 0.039 / 60.
      {"datum_beijing54", "中央子午线", 114.50065, 30.540016776215},
      {"datum_xian80", "中央子午线", 114.50065, 30.540544319681},
      {"datum_beijing54", "line2", 114.291943885937, 30.674247221156},  // (480000, 3395000)
      {"datum_xian80", "line2", 114.291939337225, 30.674777037015},
      {"families", "K12+300", 114.629875439783, 30.544462720770},  // (512400, 3380600)
  };
  for (const Probe& p : probes) {
    SCOPED_TRACE(std::string(p.kase) + " " + p.placemark);
    const std::string kml = ReadBytes(GoldenDir() / p.kase / "expected.kml");
    size_t at = kml.find("<name>" + std::string(p.placemark) + "</name>");
    ASSERT_NE(at, std::string::npos);
    at = kml.find("<coordinates>\r\n", at);
    ASSERT_NE(at, std::string::npos);
    at = kml.find_first_not_of('\t', at + 15);
    const std::string point = kml.substr(at, kml.find("\r\n", at) - at);
    const size_t comma = point.find(',');
    EXPECT_NEAR(std::stod(point.substr(0, comma)), p.lon, 1e-8) << point;
    EXPECT_NEAR(std::stod(point.substr(comma + 1)), p.lat, 1e-8) << point;
  }
  // On the central meridian the longitude text is exact.
  EXPECT_NE(ReadBytes(GoldenDir() / "datum_xian80" / "expected.kml").find("\t114.50065,30.54"),
            std::string::npos);
}

// The drawings really are what their cases claim, so that a regenerated drawing
// (another ezdxf, another option) cannot quietly stop testing its point.
TEST(GoldenDrawingsTest, DrawingsHoldWhatTheirCasesTest) {
  auto drawing = [](const char* kase) { return ReadBytes(GoldenDir() / kase / "drawing.dxf"); };
  const std::string gbk = drawing("gbk_r2000");
  EXPECT_NE(gbk.find("$ACADVER\n  1\nAC1015\n"), std::string::npos);
  EXPECT_NE(gbk.find("$DWGCODEPAGE\n  3\nANSI_936\n"), std::string::npos);
  EXPECT_NE(gbk.find("\xB2\xE2\xCA\xD4\xCE\xC4\xB1\xBE"), std::string::npos);  // 测试文本 in GBK
  EXPECT_EQ(gbk.find("测试文本"), std::string::npos);                                    // not UTF-8
  EXPECT_EQ(gbk.find("\\U+"), std::string::npos);                                       // nor escaped

  const std::string utf8 = drawing("utf8_r2018");
  EXPECT_NE(utf8.find("$ACADVER\n  1\nAC1032\n"), std::string::npos);
  EXPECT_NE(utf8.find("한글 😀"), std::string::npos);

  // The long multiline text is split into a group 3 chunk and a group 1 tail.
  const std::string texts = drawing("texts");
  const size_t chunk = texts.find("\n  3\n第01段");
  ASSERT_NE(chunk, std::string::npos);
  EXPECT_NE(texts.find("\n  1\n", chunk), std::string::npos);

  // Layer OFF is stored with colour -3; one line is ByBlock.
  const std::string colours = drawing("colours_width_half");
  EXPECT_NE(colours.find("\n  2\nOFF\n 70\n0\n 62\n-3\n"), std::string::npos);
  EXPECT_NE(colours.find("\n 62\n0\n"), std::string::npos);

  EXPECT_NE(drawing("arc_extrusion").find("\n210\n0.0\n220\n0.0\n230\n-1.0\n"), std::string::npos);

  const std::string r12 = drawing("r12_polyline");
  EXPECT_NE(r12.find("$ACADVER\n  1\nAC1009\n"), std::string::npos);
  EXPECT_NE(r12.find("\nPOLYLINE\n"), std::string::npos);
  EXPECT_EQ(r12.find("LWPOLYLINE"), std::string::npos);
}

TEST(GoldenCasesTest, AllCasesArePresent) {
  // A lost folder would otherwise just shrink the suite.
  EXPECT_GE(GoldenCases().size(), 22u);
}

}  // namespace
}  // namespace varnolt
