// The DXF reader on small drawings built here, in ASCII and binary form.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "base/error.h"
#include "cad/dxf.h"
#include "entity_access.h"

namespace varnolt {
namespace {

using test::As;
using test::Bulges;
using test::Xy;
using test::Xyz;

struct G {
  int code;
  std::string value;
};
using Groups = std::vector<G>;

Groups operator+(Groups a, const Groups& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string Ascii(const Groups& groups, const std::string& eol = "\n") {
  std::string out;
  for (const G& g : groups) {
    std::string code = std::to_string(g.code);
    if (code.size() < 3) code.insert(0, 3 - code.size(), ' ');
    out += code + eol + g.value + eol;
  }
  return out;
}

// Binary DXF as AutoCAD writes it: R12 with one-byte group codes (255 and two bytes
// for codes above 254), R13 and later with two-byte codes.
std::string Binary(const Groups& groups, bool r12) {
  std::string out("AutoCAD Binary DXF\r\n\x1a\0", 22);
  auto put = [&out](uint64_t v, int n) {
    for (int i = 0; i < n; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  for (const G& g : groups) {
    const int c = g.code;
    if (!r12) {
      put(static_cast<uint16_t>(c), 2);
    } else if (c < 255) {
      put(static_cast<uint64_t>(c), 1);
    } else {
      put(255, 1);
      put(static_cast<uint16_t>(c), 2);
    }
    if ((c >= 10 && c <= 59) || (c >= 110 && c <= 149) || (c >= 210 && c <= 239) ||
        (c >= 1010 && c <= 1059)) {
      const double d = std::stod(g.value);
      uint64_t bits;
      std::memcpy(&bits, &d, 8);
      put(bits, 8);
    } else if ((c >= 60 && c <= 79) || (c >= 170 && c <= 179) || (c >= 270 && c <= 289) ||
               (c >= 1060 && c <= 1070)) {
      put(static_cast<uint16_t>(std::stoi(g.value)), 2);
    } else if (c >= 90 && c <= 99) {
      put(static_cast<uint32_t>(std::stol(g.value)), 4);
    } else {
      out += g.value;
      out += '\0';
    }
  }
  return out;
}

Groups Header(const std::string& acadver, const std::string& codepage = "") {
  Groups g{{0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, acadver}};
  if (!codepage.empty()) g = g + Groups{{9, "$DWGCODEPAGE"}, {3, codepage}};
  return g + Groups{{0, "ENDSEC"}};
}

// A LAYER table; a colour of 0 leaves group 62 out.
Groups LayerTable(const std::vector<std::pair<std::string, int>>& layers) {
  Groups g{{0, "SECTION"}, {2, "TABLES"}, {0, "TABLE"}, {2, "LAYER"}, {70, "1"}};
  for (const auto& [name, color] : layers) {
    g = g + Groups{{0, "LAYER"}, {2, name}, {70, "0"}};
    if (color != 0) g.push_back({62, std::to_string(color)});
    g.push_back({6, "CONTINUOUS"});
  }
  return g + Groups{{0, "ENDTAB"}, {0, "ENDSEC"}};
}

Groups Entities(const Groups& body) {
  return Groups{{0, "SECTION"}, {2, "ENTITIES"}} + body + Groups{{0, "ENDSEC"}};
}

const Groups kEof{{0, "EOF"}};

Groups Line(const std::string& layer, double x0, double y0, double x1, double y1) {
  return {{0, "LINE"}, {8, layer},           {10, std::to_string(x0)}, {20, std::to_string(y0)},
          {30, "0"},   {11, std::to_string(x1)}, {21, std::to_string(y1)}, {31, "0"}};
}

DxfDrawing Parse(const std::string& bytes) { return ParseDxf(bytes, "t.dxf"); }

// The message of the error `bytes` raise; fails the test when they parse.
std::string ErrorOf(const std::string& bytes, const DxfLimits& limits = {}) {
  try {
    ParseDxf(bytes, "t.dxf", limits);
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kGeneral);
    return e.what();
  }
  ADD_FAILURE() << "no error";
  return {};
}

bool Contains(const std::string& s, const std::string& part) {
  return s.find(part) != std::string::npos;
}

const double kPi = 4 * std::atan(1.0);

// --- geometry -----------------------------------------------------------------

TEST(DxfGeometry, LineCircleArc) {
  const Groups body = Line("0", 1.5, 2.5, 3.5, -4.5) +
                      Groups{{0, "CIRCLE"}, {5, "2A"}, {8, "0"}, {62, "3"}, {10, "100"},
                             {20, "200"}, {30, "5"}, {40, "12.5"}} +
                      Groups{{0, "ARC"}, {8, "0"}, {10, "1"}, {20, "2"}, {40, "3"},
                             {50, "30"}, {51, "390.5"}};
  const DxfDrawing d = Parse(Ascii(Header("AC1015") + Entities(body) + kEof));
  ASSERT_EQ(d.entities.size(), 3u);
  EXPECT_EQ(d.entities[0].color, kColorByLayer);
  const varnolt::Line& l = As<varnolt::Line>(d.entities[0]);
  EXPECT_EQ(l.start, (Point3{1.5, 2.5, 0}));
  EXPECT_EQ(l.end, (Point3{3.5, -4.5, 0}));
  EXPECT_EQ(d.entities[1].handle, "2A");
  EXPECT_EQ(d.entities[1].color, 3);
  const Circle& c = As<Circle>(d.entities[1]);
  EXPECT_EQ(c.center, (Point3{100, 200, 5}));
  EXPECT_EQ(c.radius, 12.5);
  const Arc& a = As<Arc>(d.entities[2]);
  // degrees * pi / 180, in that order; angles beyond 360 are kept as stored.
  EXPECT_EQ(a.startAngle, 30 * kPi / 180);
  EXPECT_EQ(a.endAngle, 390.5 * kPi / 180);
  EXPECT_EQ(a.normal, (Point3{0, 0, 1}));
}

// A mirrored arc: the centre goes to WCS exactly (x -> -x, z -> -z); the angles
// stay those of its own plane and the normal is handed over for the converter.
TEST(DxfGeometry, ArcWithNegativeExtrusion) {
  const Groups arc{{0, "ARC"},   {8, "0"},     {10, "650.0541823996996"},
                   {20, "347.5909732684974"}, {30, "2.25"}, {40, "0.76"},
                   {210, "0"},   {220, "0"},   {230, "-1"},
                   {50, "338.8998819521181"}, {51, "355.0752244008874"}};
  for (const std::string& bytes : {Ascii(Entities(arc) + kEof),
                                   Binary(Header("AC1015") + Entities(arc) + kEof, false)}) {
    const DxfDrawing d = Parse(bytes);
    ASSERT_EQ(d.entities.size(), 1u);
    const Arc& a = As<Arc>(d.entities[0]);
    EXPECT_EQ(a.center, (Point3{-650.0541823996996, 347.5909732684974, -2.25}));
    EXPECT_EQ(a.normal, (Point3{0, 0, -1}));
    EXPECT_EQ(a.startAngle, 338.8998819521181 * kPi / 180);
    EXPECT_EQ(a.endAngle, 355.0752244008874 * kPi / 180);
  }
}

TEST(DxfGeometry, TiltedCircleCentreGoesToWorld) {
  const Groups circle{{0, "CIRCLE"}, {8, "0"},   {10, "1"},   {20, "2"}, {30, "3"},
                      {40, "1"},     {210, "0"}, {220, "1"}, {230, "0"}};
  const DxfDrawing d = Parse(Ascii(Entities(circle) + kEof));
  ASSERT_EQ(d.entities.size(), 1u);
  EXPECT_EQ(As<Circle>(d.entities[0]).center, (Point3{-1, 3, 2}));
}

TEST(DxfGeometry, TextPoints) {
  const Groups body{
      // Left aligned: no group 11, the alignment point reads (0, 0, 0).
      {0, "TEXT"}, {8, "0"}, {10, "500100"}, {20, "3400200"}, {30, "0"}, {40, "2.5"},
      {1, "K12+300"},
      // Centred: group 11 is the alignment point.
      {0, "TEXT"}, {8, "0"}, {10, "500100"}, {20, "3400200"}, {30, "0"}, {1, "B"},
      {72, "1"}, {11, "500150"}, {21, "3400200"}, {31, "0"},
      // Mirrored plane: both points go to WCS.
      {0, "TEXT"}, {8, "0"}, {10, "5"}, {20, "6"}, {30, "1"}, {1, "C"}, {72, "2"},
      {11, "7"}, {21, "8"}, {31, "1"}, {210, "0"}, {220, "0"}, {230, "-1"}};
  const DxfDrawing d = Parse(Ascii(Entities(body) + kEof));
  ASSERT_EQ(d.entities.size(), 3u);
  EXPECT_EQ(d.entities[0].type(), EntityType::kText);
  EXPECT_EQ(TextOf(d.entities[0]), "K12+300");
  EXPECT_EQ(As<Text>(d.entities[0]).insertion, (Point3{500100, 3400200, 0}));
  EXPECT_EQ(As<Text>(d.entities[0]).alignment, (Point3{0, 0, 0}));
  EXPECT_EQ(As<Text>(d.entities[1]).alignment, (Point3{500150, 3400200, 0}));
  EXPECT_EQ(As<Text>(d.entities[2]).insertion, (Point3{-5, 6, -1}));
  EXPECT_EQ(As<Text>(d.entities[2]).alignment, (Point3{-7, 8, -1}));
}

// MTEXT: group-3 chunks, then group 1, joined; formatting codes kept; the point is
// WCS already; an embedded object's groups do not override the entity's own.
TEST(DxfGeometry, MTextChunksAndEmbeddedObject) {
  const Groups body{{0, "MTEXT"}, {8, "0"},   {10, "10"},  {20, "20"},  {30, "12"},
                    {210, "0"},   {220, "0"}, {230, "-1"}, {3, "{\\fSimHei|b0;"},
                    {3, "first\\P"}, {1, "last}"}, {101, "Embedded Object"},
                    {70, "1"},    {10, "99"}, {11, "98"}, {1, "not this"}};
  const DxfDrawing d = Parse(Ascii(Header("AC1032") + Entities(body) + kEof));
  ASSERT_EQ(d.entities.size(), 1u);
  const MText& m = As<MText>(d.entities[0]);
  EXPECT_EQ(m.textstring, "{\\fSimHei|b0;first\\Plast}");
  EXPECT_EQ(m.insertion, (Point3{10, 20, 12}));
}

// Columns saved for a release before 2018: one MTEXT per column, listed by handle in
// the first one's extended data; a host joins them on opening.
TEST(DxfGeometry, MTextColumnsAreJoined) {
  const Groups body{{0, "MTEXT"},    {5, "2D"},   {8, "0"},    {10, "1"},   {1, "one \\N"},
                    {1001, "ACAD"}, {1000, "ACAD_MTEXT_COLUMNS_BEGIN"},     {1070, "47"},
                    {1070, "3"},    {1005, "2F"}, {1005, "2e"}, {1005, "99"},
                    {1000, "ACAD_MTEXT_COLUMNS_END"},       {0, "MTEXT"}, {5, "2E"},
                    {8, "0"},       {1, "two "},  {0, "LINE"}, {8, "0"},   {0, "MTEXT"},
                    {5, "2F"},      {8, "0"},     {1, "three "}};
  for (const std::string& bytes : {Ascii(Entities(body) + kEof),
                                   Binary(Header("AC1015") + Entities(body) + kEof, false)}) {
    const DxfDrawing d = Parse(bytes);
    ASSERT_EQ(d.entities.size(), 2u);
    EXPECT_EQ(TextOf(d.entities[0]), "one \\Nthree two ");
    EXPECT_EQ(d.entities[1].type(), EntityType::kLine);
  }
}

// Coordinates stay in the polyline's plane; one bulge per vertex.
TEST(DxfGeometry, LightweightPolyline) {
  const Groups body{{0, "LWPOLYLINE"}, {8, "0"},    {90, "3"},   {70, "129"}, {38, "7.5"},
                    {43, "0.5"},       {10, "-500"}, {20, "3000"}, {42, "0.25"}, {10, "2"},
                    {20, "3"},         {10, "4"},   {20, "5"},   {42, "-1"},  {210, "0"},
                    {220, "0"},        {230, "-1"}};
  const DxfDrawing d = Parse(Ascii(Entities(body) + kEof));
  ASSERT_EQ(d.entities.size(), 1u);
  const LwPolyline& p = As<LwPolyline>(d.entities[0]);
  EXPECT_EQ(Xy(p), (std::vector<double>{-500, 3000, 2, 3, 4, 5}));
  EXPECT_EQ(Bulges(p), (std::vector<double>{0.25, 0, -1}));
  EXPECT_TRUE(p.closed);
  EXPECT_EQ(p.elevation, 7.5);
}

Groups Polyline(int flags, double elevation, const std::vector<Point3>& vertices,
                const std::vector<double>& bulges = {}, int vertexFlags = 0) {
  Groups g{{0, "POLYLINE"}, {8, "0"}, {66, "1"}, {10, "0"}, {20, "0"},
           {30, std::to_string(elevation)}, {70, std::to_string(flags)}};
  for (size_t i = 0; i < vertices.size(); ++i) {
    g = g + Groups{{0, "VERTEX"},
                   {8, "0"},
                   {10, std::to_string(vertices[i][0])},
                   {20, std::to_string(vertices[i][1])},
                   {30, std::to_string(vertices[i][2])}};
    if (i < bulges.size()) g.push_back({42, std::to_string(bulges[i])});
    if (vertexFlags != 0) g.push_back({70, std::to_string(vertexFlags)});
  }
  return g + Groups{{0, "SEQEND"}, {8, "0"}};
}

TEST(DxfGeometry, PlainTwoDimensionalPolylineIsLightweight) {
  const Groups body = Polyline(1, 4.5, {{0, 0, 9}, {10, 0, 9}, {10, 10, 9}}, {0.5, 0, -0.25});
  const DxfDrawing d = Parse(Ascii(Header("AC1009") + Entities(body) + kEof));
  ASSERT_EQ(d.entities.size(), 1u);
  const LwPolyline& p = As<LwPolyline>(d.entities[0]);
  EXPECT_EQ(Xy(p), (std::vector<double>{0, 0, 10, 0, 10, 10}));
  EXPECT_EQ(Bulges(p), (std::vector<double>{0.5, 0, -0.25}));
  EXPECT_TRUE(p.closed);
  EXPECT_EQ(p.elevation, 4.5);
}

TEST(DxfGeometry, ThreeDimensionalPolyline) {
  const Groups body = Polyline(8, 0, {{0, 0, 5}, {10, 0, 7}}, {}, 32);
  const DxfDrawing d = Parse(Ascii(Entities(body) + kEof));
  ASSERT_EQ(d.entities.size(), 1u);
  EXPECT_EQ(d.entities[0].type(), EntityType::k3dPolyline);
  EXPECT_EQ(Xyz(As<Polyline3d>(d.entities[0]).vertices), (std::vector<double>{0, 0, 5, 10, 0, 7}));
}

// Meshes and fitted 2D polylines are no family of ours; the entity after them is
// read as usual. A spline-fit 3D polyline keeps the vertices on the curve.
TEST(DxfGeometry, MeshesAndFittedPolylinesAreSkipped) {
  const Groups body = Polyline(16, 0, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}) +
                      Polyline(64, 0, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}) +
                      Polyline(2, 0, {{0, 0, 0}, {1, 0, 0}}) +
                      Polyline(4, 0, {{0, 0, 0}, {1, 0, 0}}) +
                      Groups{{0, "POLYLINE"}, {70, "12"}, {0, "VERTEX"}, {10, "9"},
                             {70, "16"}, {0, "VERTEX"}, {10, "1"}, {20, "2"}, {30, "3"},
                             {70, "40"}, {0, "VERTEX"}, {10, "8"}, {70, "16"},
                             {0, "SEQEND"}} +
                      Line("0", 0, 0, 1, 1);
  const DxfDrawing d = Parse(Ascii(Entities(body) + kEof));
  ASSERT_EQ(d.entities.size(), 2u);
  EXPECT_EQ(d.entities[0].type(), EntityType::k3dPolyline);
  EXPECT_EQ(Xyz(As<Polyline3d>(d.entities[0]).vertices), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(d.entities[1].type(), EntityType::kLine);
}

// --- selection ----------------------------------------------------------------

TEST(DxfSelection, PaperSpaceBlocksAndOtherKindsAreNotPicked) {
  const Groups blocks{{0, "SECTION"}, {2, "BLOCKS"}, {0, "BLOCK"}, {8, "0"}, {2, "B1"},
                      {0, "LINE"},    {8, "0"},      {10, "9"},    {20, "9"}, {11, "8"},
                      {21, "8"},      {0, "ENDBLK"}, {0, "ENDSEC"}};
  Groups body = Line("0", 1, 1, 2, 2);
  body = body + Groups{{0, "LINE"}, {67, "1"}, {8, "0"}, {10, "5"}, {20, "5"}};
  body = body + Groups{{0, "POINT"}, {8, "0"}, {10, "5"}, {20, "5"}};
  body = body + Groups{{0, "INSERT"}, {8, "0"}, {2, "B1"}, {66, "1"}, {0, "ATTRIB"},
                       {8, "0"},      {1, "x"}, {0, "SEQEND"}};
  body = body + Groups{{0, "CIRCLE"}, {67, "0"}, {8, "0"}, {40, "1"}};
  const DxfDrawing d = Parse(Ascii(Header("AC1009") + blocks + Entities(body) + kEof));
  ASSERT_EQ(d.entities.size(), 2u);
  EXPECT_EQ(d.entities[0].type(), EntityType::kLine);
  EXPECT_EQ(As<varnolt::Line>(d.entities[0]).start, (Point3{1, 1, 0}));
  EXPECT_EQ(d.entities[1].type(), EntityType::kCircle);
}

TEST(DxfSelection, LayersResolveIgnoringCase) {
  const Groups tables = LayerTable({{"Roads", 3}, {"Off", -5}, {"NoColour", 0}});
  Groups body = Line("ROADS", 0, 0, 1, 1) + Line("roads", 0, 0, 1, 1) +
                Line("Rivers", 0, 0, 1, 1) + Line("RIVERS", 0, 0, 1, 1) +
                Line("off", 0, 0, 1, 1);
  body = body + Groups{{0, "LINE"}, {10, "0"}, {20, "0"}};  // no group 8
  const DxfDrawing d = Parse(Ascii(Header("AC1015") + tables + Entities(body) + kEof));
  ASSERT_EQ(d.layers.size(), 5u);
  EXPECT_EQ(d.layers[0].name, "Roads");
  EXPECT_EQ(d.layers[0].color, 3);
  EXPECT_EQ(d.layers[1].name, "Off");
  EXPECT_EQ(d.layers[1].color, 5);  // off: the absolute value
  EXPECT_EQ(d.layers[2].name, "NoColour");
  EXPECT_EQ(d.layers[2].color, 7);  // no group 62
  EXPECT_EQ(d.layers[3].name, "Rivers");  // created, in the spelling first met
  EXPECT_EQ(d.layers[3].color, 7);
  EXPECT_EQ(d.layers[4].name, "0");
  EXPECT_EQ(d.layers[4].color, 7);
  ASSERT_EQ(d.entities.size(), 6u);
  const char* expected[] = {"Roads", "Roads", "Rivers", "Rivers", "Off", "0"};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(d.entities[i].layer, expected[i]) << i;

  DxfSource source(d, "t.dxf");
  EXPECT_EQ(source.Describe(), "t.dxf");
  EXPECT_EQ(source.SelectOnScreen().size(), 6u);
  source.SetLayerFilter({"rivers", "OFF"});
  const std::vector<const Entity*> picked = source.SelectOnScreen();
  ASSERT_EQ(picked.size(), 3u);
  EXPECT_EQ(picked[0], &source.drawing().entities[2]);
  EXPECT_EQ(picked[2]->layer, "Off");
}

TEST(DxfSelection, ReadsAFile) {
  const std::filesystem::path path =
      std::filesystem::path(VARNOLT_BINARY_DIR) / "cad_read_a_file.dxf";
  {
    std::ofstream f(path, std::ios::binary);
    f << Ascii(Entities(Line("0", 0, 0, 1, 1)) + kEof, "\r\n");
  }
  DxfSource source(path);
  EXPECT_EQ(source.Describe(), "cad_read_a_file.dxf");
  EXPECT_EQ(source.SelectOnScreen().size(), 1u);
  std::filesystem::remove(path);
  try {
    ReadDxfFile(path);
    ADD_FAILURE() << "a missing file was read";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kFileAccess);
  }
}

// --- text ---------------------------------------------------------------------

TEST(DxfText, GbkInAnR2000Drawing) {
  const std::string gbkLayer = "\xB5\xE7\xC6\xF8";  // 电气
  const Groups body{{0, "TEXT"}, {8, gbkLayer}, {10, "0"}, {20, "0"},
                    {1, "\xD6\xD0\xCE\xC4\\U+03BB"}};
  const DxfDrawing d = Parse(Ascii(Header("AC1015", "ANSI_936") +
                                   LayerTable({{gbkLayer, 2}}) + Entities(body) + kEof));
  ASSERT_EQ(d.entities.size(), 1u);
  EXPECT_EQ(TextOf(d.entities[0]), "中文λ");
  EXPECT_EQ(d.entities[0].layer, "电气");
  ASSERT_EQ(d.layers.size(), 1u);
  EXPECT_EQ(d.layers[0].name, "电气");
}

TEST(DxfText, Utf8InAnR2018DrawingWhateverItsCodepage) {
  const Groups body{{0, "MTEXT"}, {8, "图层1"}, {10, "0"}, {20, "0"}, {1, "设计号 \xFF"}};
  const DxfDrawing d = Parse(Ascii(Header("AC1032", "ANSI_936") + Entities(body) + kEof));
  ASSERT_EQ(d.entities.size(), 1u);
  EXPECT_EQ(TextOf(d.entities[0]), "设计号 \xEF\xBF\xBD");
  EXPECT_EQ(d.entities[0].layer, "图层1");
}

// A chunk boundary may fall inside a double-byte character: chunks are joined
// before they are decoded.
TEST(DxfText, MTextChunkSplitsAGbkCharacter) {
  const Groups body{{0, "MTEXT"}, {8, "0"}, {10, "0"}, {20, "0"}, {3, "\xD6"}, {1, "\xD0"}};
  const DxfDrawing d = Parse(Ascii(Header("AC1015", "ANSI_936") + Entities(body) + kEof));
  ASSERT_EQ(d.entities.size(), 1u);
  EXPECT_EQ(TextOf(d.entities[0]), "中");
}

TEST(DxfText, LongValuesAreKeptWhole) {
  const std::string text(5000, 'x');
  const Groups body{{0, "TEXT"}, {8, "0"}, {10, "0"}, {20, "0"}, {1, text}};
  const DxfDrawing d = Parse(Ascii(Entities(body) + kEof));
  ASSERT_EQ(d.entities.size(), 1u);
  EXPECT_EQ(TextOf(d.entities[0]), text);
}

// --- file forms ---------------------------------------------------------------

Groups Sample() {
  return Header("AC1015", "ANSI_1252") + LayerTable({{"A", 1}}) +
         Entities(Line("a", 1.25, 2, 3, 4) +
                  Groups{{0, "LWPOLYLINE"}, {5, "FF"}, {8, "A"}, {90, "2"}, {70, "1"},
                         {10, "1"}, {20, "2"}, {42, "0.5"}, {10, "3"}, {20, "4"}} +
                  Groups{{0, "TEXT"}, {8, "0"}, {10, "1"}, {20, "2"}, {1, "caf\xE9"}}) +
         kEof;
}

void ExpectSample(const DxfDrawing& d) {
  EXPECT_EQ(d.acadver, "AC1015");
  EXPECT_EQ(d.codepage, "ANSI_1252");
  ASSERT_EQ(d.entities.size(), 3u);
  EXPECT_EQ(d.entities[0].layer, "A");
  EXPECT_EQ(As<varnolt::Line>(d.entities[0]).start, (Point3{1.25, 2, 0}));
  EXPECT_EQ(d.entities[1].handle, "FF");
  EXPECT_EQ(Xy(As<LwPolyline>(d.entities[1])), (std::vector<double>{1, 2, 3, 4}));
  EXPECT_EQ(Bulges(As<LwPolyline>(d.entities[1])), (std::vector<double>{0.5, 0}));
  EXPECT_TRUE(As<LwPolyline>(d.entities[1]).closed);
  EXPECT_EQ(TextOf(d.entities[2]), "café");
}

TEST(DxfForms, AsciiLfCrLfAndBinaryReadAlike) {
  ExpectSample(Parse(Ascii(Sample())));
  ExpectSample(Parse(Ascii(Sample(), "\r\n")));
  ExpectSample(Parse(Binary(Sample(), false)));
  ExpectSample(Parse(Binary(Sample(), true)));
  ExpectSample(Parse("\xEF\xBB\xBF" + Ascii(Sample())));
}

TEST(DxfForms, WhereEntitiesStart) {
  const DxfDrawing ascii = Parse(Ascii(Sample()));
  // Header 7 groups, table 5 + 5 + 2, section start 2: the LINE is group 22.
  EXPECT_EQ(ascii.entities[0].sourceLine, 43);
  const std::string binary = Binary(Sample(), false);
  const DxfDrawing b = Parse(binary);
  const size_t lineAt = binary.find(std::string("LINE\0", 5));
  EXPECT_EQ(b.entities[0].sourceLine, static_cast<int64_t>(lineAt) - 2);
}

TEST(DxfForms, BlanksAroundNumbersAndJunkAfterColours) {
  const Groups body{{0, " LINE "}, {8, "0"},  {62, " 256QSW"}, {10, "\t1.5 "},
                    {20, " -2"},   {11, "+3"}, {21, "1e2"}, {0, "CIRCLE"}, {62, "\t5\t"},
                    {40, "1"}};
  const DxfDrawing d = Parse(Ascii(Entities(body) + kEof));
  ASSERT_EQ(d.entities.size(), 2u);
  EXPECT_EQ(d.entities[0].color, kColorByLayer);
  EXPECT_EQ(As<varnolt::Line>(d.entities[0]).start, (Point3{1.5, -2, 0}));
  EXPECT_EQ(As<varnolt::Line>(d.entities[0]).end, (Point3{3, 100, 0}));
  EXPECT_EQ(d.entities[1].color, 5);
}

TEST(DxfForms, OddButReadable) {
  // Comments, junk after EOF, stray groups between sections.
  const std::string bytes = Ascii(Groups{{999, "made by hand"}} + Entities(Line("0", 0, 0, 1, 1)) +
                                  Groups{{9, "$EXTMIN"}, {10, "0"}, {0, "ENDSEC"}} +
                                  Entities(Line("0", 2, 2, 3, 3)) + kEof) +
                            "trash\nbeyond\x01\n";
  EXPECT_EQ(Parse(bytes).entities.size(), 2u);
  // No EOF marker after a complete ENTITIES section.
  EXPECT_EQ(Parse(Ascii(Entities(Line("0", 0, 0, 1, 1)))).entities.size(), 1u);
  // Out-of-range entity colours read as ByLayer; layer colours as 7.
  const Groups odd = LayerTable({{"L", 999}}) +
                     Entities(Groups{{0, "LINE"}, {8, "L"}, {62, "-3"}, {0, "LINE"},
                                     {8, "L"}, {62, "300"}}) +
                     kEof;
  const DxfDrawing d = Parse(Ascii(odd));
  ASSERT_EQ(d.entities.size(), 2u);
  EXPECT_EQ(d.entities[0].color, kColorByLayer);
  EXPECT_EQ(d.entities[1].color, kColorByLayer);
  EXPECT_EQ(d.layers[0].color, 7);
}

// --- broken input ---------------------------------------------------------------

TEST(DxfBroken, NotADrawing) {
  EXPECT_TRUE(Contains(ErrorOf(""), "t.dxf is empty"));
  EXPECT_TRUE(Contains(ErrorOf(" \r\n\n"), "t.dxf is empty"));
  EXPECT_TRUE(Contains(ErrorOf("\x89PNG\r\n\x1a\n\0\0\0\rIHDR"), "t.dxf is not a DXF file"));
  EXPECT_TRUE(Contains(ErrorOf("AC1015\0\0\0\0"),
                       "t.dxf: DWG is not supported; save the drawing as DXF."));
  EXPECT_TRUE(Contains(ErrorOf("0\nLINE\n8\n0\n0\nEOF\n"), "not a DXF file"));
  EXPECT_TRUE(Contains(ErrorOf(std::string("AutoCAD Binary DXF\n\x1a\0", 21)),
                       "damaged binary DXF header"));
}

TEST(DxfBroken, BadValuesNameTheLine) {
  const std::string bad = Ascii(Entities(Groups{{0, "LINE"}, {8, "0"}, {10, "12,5"}}) + kEof);
  const std::string m = ErrorOf(bad);
  EXPECT_TRUE(Contains(m, "t.dxf, line 9: the value of group 10 is not a number: \"12,5\""))
      << m;
  EXPECT_TRUE(Contains(
      ErrorOf(Ascii(Entities(Groups{{0, "LINE"}, {8, "0"}, {62, "QSW"}}) + kEof)),
      "line 9: the value of group 62 is not a whole number"));
  EXPECT_TRUE(Contains(ErrorOf(Ascii(Entities(Groups{{0, "CIRCLE"}, {40, "nan"}}) + kEof)),
                       "not a finite number"));
  EXPECT_TRUE(Contains(ErrorOf(Ascii(Entities(Groups{})) + "x\n0\nEOF\n"),
                       "line 7: a group code was expected, but the line reads \"x\""));
  // A bad value in a group nobody reads does not matter.
  EXPECT_EQ(Parse(Ascii(Entities(Groups{{0, "LINE"}, {8, "0"}, {39, "oops"}}) + kEof))
                .entities.size(),
            1u);
}

TEST(DxfBroken, VertexCounts) {
  DxfLimits limits;
  limits.maxVertices = 2;
  const Groups lw{{0, "LWPOLYLINE"}, {8, "0"}, {10, "0"}, {20, "0"}, {10, "1"},
                  {20, "1"},         {10, "2"}, {20, "2"}};
  EXPECT_TRUE(Contains(ErrorOf(Ascii(Entities(lw) + kEof), limits),
                       "line 5: the LWPOLYLINE has more than 2 vertices"));
  const Groups poly = Polyline(8, 0, {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}});
  EXPECT_TRUE(Contains(ErrorOf(Ascii(Entities(poly) + kEof), limits),
                       "the POLYLINE has more than 2 vertices"));
  // An absurd declared count is refused; a count that merely disagrees with the
  // vertices present is not trusted either way.
  EXPECT_TRUE(Contains(
      ErrorOf(Ascii(Entities(Groups{{0, "LWPOLYLINE"}, {90, "2000000000"}, {10, "0"}}) + kEof)),
      "more than 10000000 vertices"));
  const DxfDrawing d = Parse(Ascii(
      Entities(Groups{{0, "LWPOLYLINE"}, {90, "7"}, {10, "0"}, {20, "1"}, {10, "2"}}) + kEof));
  ASSERT_EQ(d.entities.size(), 1u);
  EXPECT_EQ(Xy(As<LwPolyline>(d.entities[0])), (std::vector<double>{0, 1, 2, 0}));
}

// Every prefix of a drawing: an error, or a clean result holding at most the
// complete drawing's entities. A prefix that ends inside the ENTITIES section is
// never taken as complete.
void CheckEveryPrefix(const std::string& whole, bool binary) {
  const size_t full = Parse(whole).entities.size();
  const size_t entitiesAt = binary ? whole.find(std::string("ENTITIES\0", 9))
                                   : whole.find("ENTITIES");
  const size_t entitiesEnd = whole.rfind("ENDSEC");
  for (size_t n = 0; n < whole.size(); ++n) {
    const std::string prefix = whole.substr(0, n);
    try {
      const DxfDrawing d = ParseDxf(prefix, "t.dxf");
      EXPECT_LE(d.entities.size(), full) << n;
      EXPECT_FALSE(n > entitiesAt && n < entitiesEnd) << "a cut at " << n << " passed";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::kGeneral);
      if (n > entitiesAt + 16 && n < entitiesEnd) {
        EXPECT_TRUE(Contains(e.what(), "unexpected end of file")) << n << ": " << e.what();
      }
    }
  }
}

TEST(DxfBroken, EveryTruncationIsAnErrorOrClean) {
  CheckEveryPrefix(Ascii(Sample()), false);
  CheckEveryPrefix(Ascii(Sample(), "\r\n"), false);
  CheckEveryPrefix(Binary(Sample(), false), true);
  CheckEveryPrefix(Binary(Sample(), true), true);
}

// Bytes flipped at every place of a small drawing: no crash, only clean results or
// errors of the general kind (run under the sanitizers to see out-of-bounds reads).
TEST(DxfBroken, FlippedBytesNeverCrash) {
  for (const std::string& whole :
       {Ascii(Sample()), Binary(Sample(), false), Binary(Sample(), true)}) {
    for (size_t i = 0; i < whole.size(); ++i) {
      for (const char c : {'\0', '\n', '\xFF', '9'}) {
        std::string bytes = whole;
        bytes[i] = c;
        try {
          ParseDxf(bytes, "t.dxf");
        } catch (const Error& e) {
          EXPECT_EQ(e.kind(), ErrorKind::kGeneral);
        }
      }
    }
  }
}

}  // namespace
}  // namespace varnolt
