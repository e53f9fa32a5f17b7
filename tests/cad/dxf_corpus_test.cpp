// Every real drawing of the shared corpus: read without a crash, the model-space
// counts of the seven families as an independent DXF library counted them (the
// corpus notes), and a few values checked against that library's readings.
// The corpus is read in place: some of its files must not be copied into the
// project. The tests skip when the folder is absent.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "base/error.h"
#include "cad/dxf.h"
#include "cad/ocs.h"
#include "entity_access.h"

namespace varnolt {
namespace {

using test::As;
using test::Bulges;
using test::Xy;
using test::Xyz;

const double kPi = 4 * std::atan(1.0);

std::filesystem::path CorpusDir() {
  return std::filesystem::path(VARNOLT_SOURCE_DIR) / ".." / "shared" / "testdata" / "dxf";
}

struct Counts {
  int line, arc, circle, lw, poly3d, text, mtext;
  bool operator==(const Counts&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Counts& c) {
  return os << "LINE " << c.line << ", ARC " << c.arc << ", CIRCLE " << c.circle
            << ", LWPOLYLINE+2D POLYLINE " << c.lw << ", 3D POLYLINE " << c.poly3d
            << ", TEXT " << c.text << ", MTEXT " << c.mtext;
}

Counts Count(const DxfDrawing& d) {
  Counts c{};
  for (const Entity& e : d.entities) {
    switch (e.type()) {
      case EntityType::kLine: ++c.line; break;
      case EntityType::kArc: ++c.arc; break;
      case EntityType::kCircle: ++c.circle; break;
      case EntityType::kLwPolyline: ++c.lw; break;
      case EntityType::k3dPolyline: ++c.poly3d; break;
      case EntityType::kText: ++c.text; break;
      case EntityType::kMText: ++c.mtext; break;
      default: ADD_FAILURE() << "a kind the default reading leaves out"; break;
    }
  }
  return c;
}

struct Expected {
  const char* file;
  Counts counts;
};

// Model space as counted by ezdxf 0.18.1; the lightweight family is LWPOLYLINE plus
// the plain 2D POLYLINEs (none of the corpus's 2D POLYLINEs is curve- or
// spline-fit), meshes are not counted.
//                                     LINE  ARC CIRC  LW  3D  TEXT MTEXT
constexpr std::array<Expected, 35> kExpected{{
    {"acadsharp_sample_AC1009_ascii.dxf", {28, 1, 8, 21, 4, 29, 0}},
    {"acadsharp_sample_AC1015_binary.dxf", {26, 1, 8, 21, 1, 29, 5}},
    {"dxfparser_arc1.dxf", {0, 1, 0, 0, 0, 0, 0}},
    {"dxfparser_mtext-test.dxf", {0, 0, 0, 0, 0, 0, 2}},
    {"dxfparser_polylines.dxf", {0, 0, 0, 0, 12, 0, 0}},
    {"ezdxf_AC1003_LINE_Example.dxf", {13, 9, 0, 0, 0, 0, 0}},
    {"ezdxf_Leica_Disto_S910.dxf", {10, 0, 0, 0, 0, 11, 0}},
    {"ezdxf_POLI-ALL210_12.dxf", {0, 0, 0, 30, 0, 0, 0}},
    {"ezdxf_R12_with_trash_beyond_EOF.dxf", {0, 0, 1, 0, 0, 0, 0}},
    {"ezdxf_bin_dxf_r12.dxf", {3, 0, 0, 0, 0, 0, 0}},
    {"ezdxf_bin_dxf_r2000.dxf", {0, 0, 0, 0, 0, 1, 0}},
    {"ezdxf_cc_dxflib.dxf", {0, 0, 0, 0, 1, 0, 0}},
    {"ezdxf_colors.dxf", {0, 0, 6, 4, 0, 0, 14}},
    {"ezdxf_mtext_columns_R2000.dxf", {0, 0, 0, 0, 0, 0, 3}},
    {"ezdxf_mtext_complex_inline_codes.dxf", {4, 0, 0, 0, 0, 0, 8}},
    {"ezdxf_recover01.dxf", {1441, 0, 0, 0, 0, 63, 0}},
    {"ezdxf_small_r13.dxf", {0, 0, 0, 16, 0, 0, 0}},
    {"ezdxf_text.dxf", {47, 0, 0, 78, 0, 62, 30}},
    {"gdal_3d.dxf", {0, 0, 1, 0, 0, 0, 0}},
    {"gdal_LWPOLYLINE-OCS.dxf", {0, 0, 0, 7, 6, 0, 0}},
    {"gdal_assorted.dxf", {1, 1, 0, 0, 0, 0, 1}},
    {"gdal_byblock-bylayer.dxf", {0, 0, 1, 0, 0, 0, 0}},
    {"gdal_circle.dxf", {0, 1, 1, 0, 0, 0, 0}},
    {"gdal_closed_polyline_with_bulge.dxf", {0, 0, 0, 1, 0, 0, 0}},
    {"gdal_frozen-off.dxf", {4, 0, 0, 0, 0, 0, 0}},
    {"gdal_mtext-ocs-reduced.dxf", {0, 0, 0, 0, 0, 3, 3}},
    {"gdal_ocs2wcs2.dxf", {20, 4, 4, 4, 4, 4, 0}},
    {"gdal_polyline_smooth.dxf", {0, 0, 0, 1, 0, 0, 0}},
    {"gdal_text-block-transform.dxf", {0, 0, 0, 0, 0, 1, 0}},
    {"gdal_text-fancy.dxf", {0, 0, 0, 0, 0, 2, 0}},
    {"gdal_utf-8.dxf", {0, 0, 0, 0, 0, 0, 0}},
    {"qcad_colors.dxf", {40, 0, 0, 20, 0, 0, 20}},
    {"qcad_entities.dxf", {29, 0, 0, 29, 0, 0, 29}},
    {"timchen_Test2.dxf", {1248, 68, 49, 477, 0, 340, 0}},
    {"timchen_Test4.dxf", {1063, 35, 2, 0, 0, 3, 29}},
}};

// The OSS-Fuzz input is no drawing: blank lines where group codes belong, bytes
// 0xFF, a section name in mixed case, and its first line "0\rSECTION" (a lone CR is
// no line end in DXF). It is rejected as not DXF; ezdxf cannot read it either.
constexpr const char* kFuzzFile =
    "gdal_clusterfuzz-testcase-minimized-dxf_fuzzer-5400376672124928.dxf";

class DxfCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_directory(CorpusDir())) {
      GTEST_SKIP() << "no DXF corpus at " << CorpusDir();
    }
  }
  static DxfDrawing Read(const char* file) { return ReadDxfFile(CorpusDir() / file); }
};

TEST_F(DxfCorpus, EveryFileIsCountedOrRejected) {
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(CorpusDir())) {
    if (entry.path().extension() == ".dxf") ++files;
  }
  EXPECT_EQ(files, kExpected.size() + 1) << "a file of the corpus has no row here";
  for (const Expected& x : kExpected) {
    SCOPED_TRACE(x.file);
    try {
      EXPECT_EQ(Count(Read(x.file)), x.counts);
    } catch (const Error& e) {
      ADD_FAILURE() << e.what();
    }
  }
  try {
    Read(kFuzzFile);
    ADD_FAILURE() << "the fuzz input was accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kGeneral);
    EXPECT_NE(std::string(e.what()).find(std::string(kFuzzFile) + " is not a DXF file"),
              std::string::npos)
        << e.what();
  }
}

// ezdxf: ARC B484 centre (650.054..., 347.59..., 0), extrusion (0, 0, -1),
// angles 338.899... and 355.075... degrees, colour 0, layer FG-Dtl-Dim.
TEST_F(DxfCorpus, ArcWithNegativeExtrusion) {
  const DxfDrawing d = Read("dxfparser_arc1.dxf");
  ASSERT_EQ(d.entities.size(), 1u);
  EXPECT_EQ(d.entities[0].handle, "B484");
  EXPECT_EQ(d.entities[0].color, 0);
  EXPECT_EQ(d.entities[0].layer, "FG-Dtl-Dim");
  const Arc& a = As<Arc>(d.entities[0]);
  EXPECT_EQ(a.center[0], -650.0541823996996);
  EXPECT_EQ(a.center[1], 347.5909732684974);
  EXPECT_EQ(a.normal[2], -1.0);
  EXPECT_EQ(a.startAngle, 338.8998819521181 * kPi / 180);
  EXPECT_EQ(a.endAngle, 355.0752244008874 * kPi / 180);
}

// ezdxf: three ByLayer LINEs on layer 0, the first from (335.7175512218761,
// 383.1616235910567, 0) to (533.2468418052385, 304.2703520470918, 0).
TEST_F(DxfCorpus, BinaryR12) {
  const DxfDrawing d = Read("ezdxf_bin_dxf_r12.dxf");
  EXPECT_EQ(d.acadver, "AC1009");
  ASSERT_EQ(d.entities.size(), 3u);
  EXPECT_EQ(d.entities[0].color, kColorByLayer);
  EXPECT_EQ(d.entities[0].layer, "0");
  const varnolt::Line& l = As<varnolt::Line>(d.entities[0]);
  EXPECT_EQ(l.start, (Point3{335.7175512218761, 383.1616235910567, 0}));
  EXPECT_EQ(l.end, (Point3{533.2468418052385, 304.2703520470918, 0}));
}

// ezdxf: TEXT "ezdxf" at (0, 0, 0) on layer 0; the first model-space entities of
// the AutoCAD drawing are POINTs, then LINE 2C7 (ByLayer) and LINE 2CF (colour 3).
TEST_F(DxfCorpus, BinaryR2000) {
  const DxfDrawing small = Read("ezdxf_bin_dxf_r2000.dxf");
  ASSERT_EQ(small.entities.size(), 1u);
  EXPECT_EQ(TextOf(small.entities[0]), "ezdxf");
  const DxfDrawing d = Read("acadsharp_sample_AC1015_binary.dxf");
  EXPECT_EQ(d.codepage, "ANSI_1252");
  ASSERT_GE(d.entities.size(), 2u);
  EXPECT_EQ(d.entities[0].handle, "2C7");
  EXPECT_EQ(d.entities[0].color, kColorByLayer);
  EXPECT_EQ(d.entities[1].handle, "2CF");
  EXPECT_EQ(d.entities[1].color, 3);
}

TEST_F(DxfCorpus, LayersThatAreOffKeepTheirColour) {
  const DxfDrawing d = Read("gdal_frozen-off.dxf");
  ASSERT_GE(d.layers.size(), 5u);
  EXPECT_EQ(d.layers[3].name, "OFFTHAW");
  EXPECT_EQ(d.layers[3].color, 7);
  EXPECT_EQ(d.layers[4].name, "OFFFREEZE");
  EXPECT_EQ(d.layers[4].color, 7);
}

// "62 256QSW" reads as ByLayer.
TEST_F(DxfCorpus, JunkAfterAColourNumber) {
  const DxfDrawing d = Read("gdal_assorted.dxf");
  for (const Entity& e : d.entities) EXPECT_EQ(e.color, kColorByLayer) << e.handle;
}

// AC1027 with $DWGCODEPAGE ANSI_936: the strings are UTF-8 all the same.
TEST_F(DxfCorpus, ChineseLayerNamesOfAnAc1027Drawing) {
  const DxfDrawing d = Read("timchen_Test2.dxf");
  EXPECT_EQ(d.codepage, "ANSI_936");
  bool found = false;
  for (const Layer& l : d.layers) found = found || l.name == "电气设备";
  EXPECT_TRUE(found);
}

// --- drawings written by ezdxf (tests/cad/data/make_data.py) ---------------------

std::filesystem::path DataDir() {
  return std::filesystem::path(VARNOLT_SOURCE_DIR) / "tests" / "cad" / "data";
}

// An R2000 drawing in GBK bytes ($DWGCODEPAGE ANSI_936), the form Chinese AutoCAD
// 2000 to 2006 saves; the shared corpus has none.
TEST(DxfWrittenByEzdxf, GbkR2000) {
  const DxfDrawing d = ReadDxfFile(DataDir() / "gbk_r2000.dxf");
  EXPECT_EQ(d.acadver, "AC1015");
  EXPECT_EQ(d.codepage, "ANSI_936");
  int found = 0;
  for (const Layer& l : d.layers) {
    if (l.name == "电气设备") found += l.color == 1;
    if (l.name == "关闭") found += l.color == 3;  // off: stored as -3
  }
  EXPECT_EQ(found, 2);
  ASSERT_EQ(d.entities.size(), 5u);

  EXPECT_EQ(d.entities[0].layer, "电气设备");
  const Text& text = As<Text>(d.entities[0]);
  EXPECT_EQ(text.textstring, "中文 K12+300");
  EXPECT_EQ(text.insertion, (Point3{500100, 3400200, 0}));
  EXPECT_EQ(text.alignment, (Point3{0, 0, 0}));

  EXPECT_EQ(d.entities[1].layer, "关闭");
  const MText& mtext = As<MText>(d.entities[1]);
  std::string expected;
  for (int i = 0; i < 200; ++i) expected += "测量";
  EXPECT_EQ(mtext.textstring, expected);  // split into group-3 chunks by the writer
  EXPECT_EQ(mtext.insertion, (Point3{500100.5, 3400300.25, 12}));

  EXPECT_EQ(d.entities[2].color, 4);
  const Arc& arc = As<Arc>(d.entities[2]);
  EXPECT_EQ(arc.center, (Point3{-10, 20, 0}));
  EXPECT_EQ(arc.normal, (Point3{0, 0, -1}));
  EXPECT_EQ(arc.startAngle, 30 * kPi / 180);
  EXPECT_EQ(arc.endAngle, 120 * kPi / 180);

  const LwPolyline& poly = As<LwPolyline>(d.entities[3]);
  EXPECT_EQ(Xy(poly), (std::vector<double>{0, 0, 10, 0, 10, 10}));
  EXPECT_EQ(Bulges(poly), (std::vector<double>{0.5, 0, -1}));
  EXPECT_TRUE(poly.closed);
  EXPECT_EQ(poly.elevation, 7.5);

  const LwPolyline& lw = As<LwPolyline>(d.entities[4]);
  EXPECT_EQ(Xy(lw), (std::vector<double>{1, 2, 3, 4}));
  EXPECT_EQ(Bulges(lw), (std::vector<double>{0.25, 0}));
  EXPECT_FALSE(lw.closed);
}

TEST(DxfWrittenByEzdxf, BinaryR2018) {
  const DxfDrawing d = ReadDxfFile(DataDir() / "binary_r2018.dxf");
  EXPECT_EQ(d.acadver, "AC1032");
  ASSERT_EQ(d.entities.size(), 4u);
  EXPECT_EQ(d.entities[0].type(), EntityType::kLine);
  EXPECT_EQ(d.entities[0].layer, "图层1");
  EXPECT_EQ(As<varnolt::Line>(d.entities[0]).start, (Point3{1.25, 2.5, 0}));
  EXPECT_EQ(As<varnolt::Line>(d.entities[0]).end, (Point3{3.75, -4.5, 1}));
  EXPECT_EQ(d.entities[1].type(), EntityType::kCircle);
  EXPECT_EQ(d.entities[1].color, 2);
  EXPECT_EQ(As<Circle>(d.entities[1]).center, (Point3{100, 200, 5}));
  EXPECT_EQ(As<Circle>(d.entities[1]).radius, 12.5);
  EXPECT_EQ(d.entities[2].type(), EntityType::k3dPolyline);
  EXPECT_EQ(Xyz(As<Polyline3d>(d.entities[2]).vertices), (std::vector<double>{0, 0, 5, 10, 0, 7, 10, 10, 9}));
  EXPECT_EQ(d.entities[3].type(), EntityType::kText);
  EXPECT_EQ(TextOf(d.entities[3]), "设计号");
  EXPECT_EQ(As<Text>(d.entities[3]).insertion, (Point3{5, 6, 0}));
  bool found = false;
  for (const Layer& l : d.layers) found = found || (l.name == "图层1" && l.color == 5);
  EXPECT_TRUE(found);
}


// With everything included: the kinds after exploding every block reference and
// dimension to the bottom, as ezdxf 0.18.1 counts them (data/count_exploded.py
// prints these rows; attributes count as texts, 2D POLYLINEs of any fit as LW).
//                  LINE ARC CIRC LW 3D TEXT MTEXT POINT ELLIPSE SPLINE HATCH SOLID
constexpr std::array<std::pair<const char*, std::array<int, 12>>, 35> kExploded{{
    {"acadsharp_sample_AC1009_ascii.dxf", {{1295, 3, 15, 49, 264, 233, 0, 40, 0, 0, 0, 345}}},
    {"acadsharp_sample_AC1015_binary.dxf", {{69, 3, 12, 25, 1, 33, 16, 40, 1, 2, 8, 14}}},
    {"dxfparser_arc1.dxf", {{0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}},
    {"dxfparser_mtext-test.dxf", {{0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0}}},
    {"dxfparser_polylines.dxf", {{0, 0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0}}},
    {"ezdxf_AC1003_LINE_Example.dxf", {{13, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}},
    {"ezdxf_Leica_Disto_S910.dxf", {{10, 0, 0, 0, 0, 11, 0, 11, 0, 0, 0, 0}}},
    {"ezdxf_POLI-ALL210_12.dxf", {{0, 0, 0, 30, 0, 0, 0, 0, 0, 0, 0, 1}}},
    {"ezdxf_R12_with_trash_beyond_EOF.dxf", {{0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}}},
    {"ezdxf_bin_dxf_r12.dxf", {{3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}},
    {"ezdxf_bin_dxf_r2000.dxf", {{0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0}}},
    {"ezdxf_cc_dxflib.dxf", {{0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}}},
    {"ezdxf_colors.dxf", {{0, 0, 18, 20, 0, 0, 30, 0, 0, 0, 0, 0}}},
    {"ezdxf_mtext_columns_R2000.dxf", {{0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0}}},
    {"ezdxf_mtext_complex_inline_codes.dxf", {{4, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0}}},
    {"ezdxf_recover01.dxf", {{1441, 0, 0, 0, 0, 63, 0, 0, 0, 0, 0, 0}}},
    {"ezdxf_small_r13.dxf", {{0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0}}},
    {"ezdxf_text.dxf", {{47, 0, 0, 78, 0, 66, 30, 0, 0, 0, 0, 0}}},
    {"gdal_3d.dxf", {{0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}}},
    {"gdal_LWPOLYLINE-OCS.dxf", {{0, 0, 0, 7, 6, 0, 0, 0, 0, 0, 0, 0}}},
    {"gdal_assorted.dxf", {{6, 1, 0, 0, 0, 0, 3, 1, 2, 0, 0, 0}}},
    {"gdal_byblock-bylayer.dxf", {{8, 0, 1, 0, 0, 0, 1, 3, 0, 0, 0, 2}}},
    {"gdal_circle.dxf", {{0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}}},
    {"gdal_closed_polyline_with_bulge.dxf", {{0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}}},
    {"gdal_frozen-off.dxf", {{84, 0, 4, 16, 0, 0, 0, 0, 0, 0, 0, 0}}},
    {"gdal_mtext-ocs-reduced.dxf", {{0, 0, 0, 0, 0, 3, 3, 0, 0, 0, 0, 0}}},
    {"gdal_ocs2wcs2.dxf", {{20, 4, 4, 4, 4, 4, 0, 4, 4, 8, 4, 8}}},
    {"gdal_polyline_smooth.dxf", {{0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}}},
    {"gdal_text-block-transform.dxf", {{0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0}}},
    {"gdal_text-fancy.dxf", {{0, 0, 0, 2, 0, 3, 1, 0, 0, 0, 0, 0}}},
    {"gdal_utf-8.dxf", {{0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}}},
    {"qcad_colors.dxf", {{40, 0, 0, 20, 0, 0, 20, 0, 0, 0, 0, 0}}},
    {"qcad_entities.dxf", {{154, 22, 9, 32, 0, 0, 76, 152, 3, 6, 2, 68}}},
    {"timchen_Test2.dxf", {{4652, 1256, 169, 1543, 0, 570, 0, 0, 3365, 0, 0, 24}}},
    {"timchen_Test4.dxf", {{6163, 547, 44, 34, 0, 8, 35, 15, 513, 0, 26, 446}}},
}};

TEST_F(DxfCorpus, IncludeAllCountsAsExploded) {
  constexpr EntityType kOrder[12] = {
      EntityType::kLine,   EntityType::kArc,   EntityType::kCircle,  EntityType::kLwPolyline,
      EntityType::k3dPolyline, EntityType::kText, EntityType::kMText, EntityType::kPoint,
      EntityType::kEllipse, EntityType::kSpline, EntityType::kHatch, EntityType::kSolid};
  DxfLimits all;
  all.include = kIncludeAll;
  for (const auto& [file, expected] : kExploded) {
    SCOPED_TRACE(file);
    try {
      const DxfDrawing d = ReadDxfFile(CorpusDir() / file, all);
      std::array<int, 12> got{};
      for (const Entity& e : d.entities) {
        int k = 0;
        while (k < 12 && kOrder[k] != e.type()) ++k;
        ASSERT_LT(k, 12);
        ++got[static_cast<size_t>(k)];
      }
      EXPECT_EQ(got, expected);
      // What the reader knows is read; only other kinds (and a dimension without
      // its block, which ezdxf drops as well) stay skipped.
      for (const SkippedKind& s : d.skipped) {
        EXPECT_TRUE(s.kind != "INSERT" && s.kind != "POINT" && s.kind != "HATCH" &&
                    s.kind != "SPLINE" && s.kind.rfind("POLYLINE (f", 0) != 0)
            << s.kind;
      }
    } catch (const Error& e) {
      ADD_FAILURE() << e.what();
    }
  }
}


// Every model-space HATCH's loops as ezdxf 0.18.1 reads them (data/hatch_edges.py
// prints these rows): per loop "P" and the vertex count of a polyline path, or a
// letter per edge; then the world point where each loop's first edge starts.
struct HatchRow {
  const char* file;
  int index;
  const char* loops;
  std::vector<double> starts;
};

const HatchRow kHatches[] = {
    {"acadsharp_sample_AC1015_binary.dxf", 0, "LLLL", {102.74576160289178, 0.08531779347757151, 0.0}},
    {"acadsharp_sample_AC1015_binary.dxf", 1, "LLLL", {102.74576160289178, 17.314130608472254, 0.0}},
    {"acadsharp_sample_AC1015_binary.dxf", 2, "LLLL", {102.74576160289178, 33.467211499550416, 0.0}},
    {"acadsharp_sample_AC1015_binary.dxf", 3, "LLLL", {102.74576160289178, 49.509654741899595, 0.0}},
    {"acadsharp_sample_AC1015_binary.dxf", 4, "P4", {18.38260550487516, -191.58379006621968, 0.0}},
    {"acadsharp_sample_AC1015_binary.dxf", 5, "LLLL", {19.84707159894242, -191.58379006621968, 0.0}},
    {"acadsharp_sample_AC1015_binary.dxf", 6, "P4", {28.38260550487516, -191.58379006621968, 0.0}},
    {"acadsharp_sample_AC1015_binary.dxf", 7, "P4", {33.38260550487516, -191.58379006621968, 0.0}},
    {"gdal_ocs2wcs2.dxf", 0, "LLLL", {8.0, 8.0, 0.0}},
    {"gdal_ocs2wcs2.dxf", 1, "LLLL", {-3.9999999999999982, 8.0, -6.92820323027551}},
    {"gdal_ocs2wcs2.dxf", 2, "LLLL", {2.0000000000000036, -3.999999999999999, -10.392304845413264}},
    {"gdal_ocs2wcs2.dxf", 3, "LLLL", {11.0, 1.9999999999999996, -1.7320508075688785}},
    {"timchen_Test4.dxf", 0, "LLLL", {3371.634400267608, 2495.325453207636, 0.0}},
    {"timchen_Test4.dxf", 1, "LLL", {2342.819338744972, 2226.361785859301, 0.0}},
    {"timchen_Test4.dxf", 2, "LLL", {2163.129384182655, 2343.661617264467, 0.0}},
    {"timchen_Test4.dxf", 3, "LLL", {2163.129384182655, 2409.910494146541, 0.0}},
    {"timchen_Test4.dxf", 4, "LLL", {2342.819338744972, 2292.610662741374, 0.0}},
    {"timchen_Test4.dxf", 5, "LLA", {2500.099103705049, 2189.93998224508, 0.0}},
    {"timchen_Test4.dxf", 6, "LAL", {2660.036741454578, 2282.455326885321, 0.0}},
    {"timchen_Test4.dxf", 7, "LAL", {2834.365658251419, 2373.379041689703, 0.0}},
    {"timchen_Test4.dxf", 8, "LAL", {3008.736763923793, 2419.20718756951, 0.0}},
    {"timchen_Test4.dxf", 9, "LLAL", {3197.610121031021, 2425.894908981722, 0.0}},
    {"timchen_Test4.dxf", 10, "LLAL", {2482.252704147274, 2119.342384944025, 0.0}},
    {"timchen_Test4.dxf", 11, "LLA", {2461.715719963032, 2001.695295456501, 0.0}},
    {"timchen_Test4.dxf", 12, "LL", {2149.569111187977, 2418.762506714289, 0.0}},
    {"timchen_Test4.dxf", 13, "LL", {1871.634400267609, 2533.946669937396, 0.0}},
    {"timchen_Test4.dxf", 14, "ALAAAAAAAA", {2863.5990820069424, 1829.891789804849, 0.0}},
    {"timchen_Test4.dxf", 15, "LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL", {3717.568472683153, 2006.079062614583, 0.0}},
    {"timchen_Test4.dxf", 16, "LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL", {3371.634400267609, 1270.436240068217, 0.0}},
    {"timchen_Test4.dxf", 17, "LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLAALLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL", {3789.208802722773, 2474.695950047877, 0.0}},
    {"timchen_Test4.dxf", 18, "LLLL", {2210.689607528228, 1527.398204249566, 0.0}},
    {"timchen_Test4.dxf", 19, "LLLL", {1886.499038449576, 1575.914419703422, 0.0}},
    {"timchen_Test4.dxf", 20, "LLLLLLLLLLLLLL", {2021.634400267609, 1570.436240068217, 0.0}},
    {"timchen_Test4.dxf", 21, "LLLLLLLL", {3371.634400267609, 1950.238008021527, 0.0}},
    {"timchen_Test4.dxf", 22, "LLAAAALLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLALLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL", {3535.247945000075, 2184.098324969966, 0.0}},
    {"timchen_Test4.dxf", 23, "LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL", {2402.874126881805, 1270.436240068218, 0.0}},
    {"timchen_Test4.dxf", 24, "A LLLLLALALLLLLLLLLLLLLALAAAAAAAAALLLAAAAAAAAALLL", {3228.4741639669987, 2182.090276784235, 0.0, 2436.456129100563, 1800.087334007712, 0.0}},
    {"timchen_Test4.dxf", 25, "LLLLLL", {3535.247945000076, 2002.544303362144, 0.0}},
};

std::string LoopText(const Hatch& h, std::vector<double>& starts) {
  std::string text;
  for (const HatchLoop& loop : h.loops) {
    if (!text.empty()) text += ' ';
    for (size_t k = 0; k < loop.edges.size(); ++k) {
      const HatchEdge& edge = loop.edges[k];
      Point3 p{};
      if (const auto* e = std::get_if<LwPolyline>(&edge)) {
        text += "P" + std::to_string(e->vertices.size());
        p = OcsToWcs({e->vertices[0].x, e->vertices[0].y, e->elevation}, e->normal);
      } else if (const auto* l = std::get_if<varnolt::Line>(&edge)) {
        text += 'L';
        p = l->start;
      } else if (const auto* a = std::get_if<Arc>(&edge)) {
        text += 'A';
        const Point3 r = OcsToWcs({a->radius * std::cos(a->startAngle),
                                   a->radius * std::sin(a->startAngle), 0}, a->normal);
        p = {a->center[0] + r[0], a->center[1] + r[1], a->center[2] + r[2]};
      } else {
        text += std::holds_alternative<Ellipse>(edge) ? 'E' : 'S';
      }
      if (k == 0) starts.insert(starts.end(), {p[0], p[1], p[2]});
    }
  }
  return text;
}

TEST_F(DxfCorpus, HatchBoundaries) {
  DxfLimits hatches;
  hatches.include = kIncludeHatches;
  std::string file;
  DxfDrawing d;
  for (const HatchRow& row : kHatches) {
    SCOPED_TRACE(std::string(row.file) + " hatch " + std::to_string(row.index));
    if (file != row.file) {
      file = row.file;
      d = ReadDxfFile(CorpusDir() / row.file, hatches);
    }
    int seen = 0;
    const Hatch* h = nullptr;
    for (const Entity& e : d.entities) {
      if (e.As<Hatch>() != nullptr && seen++ == row.index) h = e.As<Hatch>();
    }
    ASSERT_NE(h, nullptr);
    std::vector<double> starts;
    EXPECT_EQ(LoopText(*h, starts), row.loops);
    ASSERT_EQ(starts.size(), row.starts.size());
    for (size_t k = 0; k < starts.size(); ++k) EXPECT_NEAR(starts[k], row.starts[k], 1e-9) << k;
  }
}


// Height and rotation as ezdxf reads them: TEXT 5E1 25 units at 314.4436325050769
// degrees; MTEXT DA 2.5 units along the direction (-1, 0, 0); MTEXT 47 5 units at
// group 50's 30 degrees.
TEST_F(DxfCorpus, TextHeightAndRotation) {
  auto find = [](const DxfDrawing& d, const char* handle) {
    for (const Entity& e : d.entities) {
      if (e.handle == handle) return e;
    }
    ADD_FAILURE() << "no entity " << handle;
    return Entity{};
  };
  const Text text = As<Text>(find(Read("ezdxf_text.dxf"), "5E1"));
  EXPECT_EQ(text.height, 25);
  EXPECT_NEAR(text.rotation, 314.4436325050769 * kPi / 180, 1e-12);
  const MText along = As<MText>(find(Read("ezdxf_mtext_complex_inline_codes.dxf"), "DA"));
  EXPECT_EQ(along.height, 2.5);
  EXPECT_NEAR(along.rotation, kPi, 1e-12);
  const MText turned = As<MText>(find(Read("gdal_assorted.dxf"), "47"));
  EXPECT_EQ(turned.height, 5);
  EXPECT_NEAR(turned.rotation, kPi / 6, 1e-12);
}

}  // namespace
}  // namespace varnolt
