// What a run leaves out of real drawings and says so: one unusable entity of an
// included kind never refuses the drawing (unless strict=yes, which refuses it as
// before), a drawing of nothing convertible says what it holds, and texts named as
// CAD shows them with plain_text=yes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/files.h"
#include "cad/dxf.h"
#include "run/run.h"
#include "dxf_groups.h"
#include "entity_access.h"
#include "temp_dir.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;

using test::Cat;
using test::Groups;

std::string Dxf(const Groups& blocks, const Groups& entities) { return test::Drawing(blocks, entities); }

Groups Line(double x, double y) {
  return {{0, "LINE"}, {8, "0"}, {10, std::to_string(x)}, {20, std::to_string(y)},
          {11, std::to_string(x + 30)}, {21, std::to_string(y)}};
}

// A 3D face or solid of three or four corners (x, y, z each).
Groups Face(const char* kind, const std::string& handle, const std::vector<Point3>& c) {
  Groups g{{0, kind}, {5, handle}, {8, "0"}};
  for (size_t k = 0; k < 4; ++k) {
    const Point3& p = c[std::min(k, c.size() - 1)];
    g.insert(g.end(), {{10 + static_cast<int>(k), std::to_string(p[0])},
                       {20 + static_cast<int>(k), std::to_string(p[1])},
                       {30 + static_cast<int>(k), std::to_string(p[2])}});
  }
  return g;
}

constexpr double kE = 500000, kN = 3380000;

// Two 3D faces without area in plan (corners on a line; a vertical one), a good
// solid, a closed spline with fit points and control points but no knots, a spline
// whose knots decrease, two blocks that insert each other, a dimension whose block
// is missing, and a line.
std::string DegenerateDrawing() {
  Groups closed{{0, "SPLINE"}, {8, "0"}, {70, "11"}, {71, "3"}, {72, "0"}, {73, "7"}, {74, "5"}};
  for (int k = 0; k < 7; ++k) {
    closed.insert(closed.end(), {{10, std::to_string(kE + 10 * k)}, {20, std::to_string(kN + 400)}});
  }
  for (int k = 0; k < 5; ++k) {
    const double a = 1.2566370614359172 * k;
    closed.insert(closed.end(), {{11, std::to_string(kE + 20 * std::cos(a))},
                                 {21, std::to_string(kN + 400 + 20 * std::sin(a))}});
  }
  const Groups knots{{0, "SPLINE"}, {8, "0"}, {71, "1"}, {40, "0"}, {40, "1"}, {40, "0.5"},
                     {10, std::to_string(kE)}, {20, std::to_string(kN)},
                     {10, std::to_string(kE + 1)}, {20, std::to_string(kN + 1)}};
  auto insert = [](const char* block, double x, double y) {
    return Groups{{0, "INSERT"}, {8, "0"}, {2, block}, {10, std::to_string(x)},
                  {20, std::to_string(y)}};
  };
  auto block = [&](const char* name, const char* inner) {
    return Cat({Groups{{0, "BLOCK"}, {2, name}, {10, "0"}, {20, "0"}}, Line(0, 0),
                insert(inner, 5, 5), Groups{{0, "ENDBLK"}}});
  };
  return Dxf(Cat({block("A", "B"), block("B", "A")}),
             Cat({Line(kE, kN),
                  Face("3DFACE", "353", {{kE, kN + 100, 0}, {kE + 10, kN + 100, 0}, {kE + 20, kN + 100, 0}}),
                  Face("3DFACE", "354", {{kE, kN + 150, 0}, {kE + 10, kN + 150, 0}, {kE + 10, kN + 150, 5}}),
                  Face("SOLID", "355", {{kE, kN + 200, 0}, {kE + 10, kN + 200, 0}, {kE, kN + 210, 0},
                                        {kE + 10, kN + 210, 0}}),
                  closed, knots, insert("A", kE, kN + 300),
                  Groups{{0, "DIMENSION"}, {8, "0"}, {2, "*D9"}}}));
}

struct Recorder : RunReporter {
  std::vector<RunWarning> warnings;
  void Prompt(const std::string&) override {}
  void Warning(const RunWarning& warning) override { warnings.push_back(warning); }
};

struct LeftOutTest : ::testing::Test {
  testing::TempDir temp{"varnolt-left-out"};
  Settings settings;
  Recorder reporter;

  // Converts `dxf` read as the settings ask; the document, or the failure's message
  // (and then no document).
  std::string Convert(const std::string& dxf, bool* failed = nullptr) {
    const fs::path in = temp.path() / "t.dxf", out = temp.path() / "t.kml";
    fs::remove(out);
    WriteFileAtomically(in, dxf);
    DxfLimits limits;
    limits.include = IncludedKinds(settings);
    try {
      DxfSource source(in, limits);
      RunConversion(source, settings, out, reporter);
    } catch (const Error& e) {
      EXPECT_FALSE(fs::exists(out));
      if (failed != nullptr) *failed = true;
      return e.what();
    }
    if (failed != nullptr) *failed = false;
    return ReadFile(out);
  }
};

std::vector<std::string> Names(const std::string& doc) { return test::PlacemarkNames(doc); }

// The point lines of the Placemark named `name`.
std::vector<std::string> PointsOf(const std::string& doc, const std::string& name) {
  size_t at = doc.find("<coordinates>", doc.find("<name>" + name + "</name>")) + 15;
  const size_t end = doc.find("</coordinates>", at);
  std::vector<std::string> points;
  for (size_t nl; (nl = doc.find("\r\n", at)) < end; at = nl + 2) {
    const std::string line = doc.substr(at, nl - at);
    if (line.find(',') != std::string::npos) points.push_back(line);
  }
  return points;
}

TEST_F(LeftOutTest, OneUnusableEntityNeverRefusesTheDrawing) {
  settings.SetExtra("include", "all");
  bool failed = true;
  const std::string doc = Convert(DegenerateDrawing(), &failed);
  ASSERT_FALSE(failed) << doc;
  EXPECT_EQ(Names(doc),
            (std::vector<std::string>{"line1", "line2", "line3", "spline1", "solid3"}));
  // Drawn through its fit points, and closed.
  const std::vector<std::string> spline = PointsOf(doc, "spline1");
  ASSERT_GT(spline.size(), 10u);
  const std::string first = spline.front(), last = spline.back();
  EXPECT_NEAR(std::stod(first), std::stod(last), 1e-9);  // longitude
  EXPECT_NEAR(std::stod(first.substr(first.find(',') + 1)),
              std::stod(last.substr(last.find(',') + 1)), 1e-9);
  ASSERT_EQ(reporter.warnings.size(), 1u);
  EXPECT_EQ(reporter.warnings[0].english,
            "left out: spline 1 (knots decrease), block reference 1 (inserts itself: A -> B -> A), "
            "dimension 1 (its block is missing), solids 2 (no area)");
  EXPECT_EQ(reporter.warnings[0].chinese,
            "已略去: 样条曲线 1（节点递减）, 块参照 1（插入自身：A -> B -> A）, 标注 1（缺少块定义）, "
            "二维填充 2（无面积）");
}

// strict=yes refuses as the reading always has: the first refusal the reading
// recorded, else the first entity that cannot be drawn.
TEST_F(LeftOutTest, StrictRefusesAsBefore) {
  settings.SetExtra("include", "all");
  settings.SetExtra("strict", "yes");
  bool failed = false;
  std::string message = Convert(DegenerateDrawing(), &failed);
  EXPECT_TRUE(failed);
  EXPECT_NE(message.find("t.dxf, line "), std::string::npos) << message;
  EXPECT_NE(message.find(": the SPLINE's knots decrease (knot 3 is less than knot 2); such a "
                         "drawing cannot be converted."),
            std::string::npos)
      << message;
  const std::string faces =
      Dxf({}, Cat({Line(kE, kN), Face("3DFACE", "353", {{kE, kN, 0}, {kE + 1, kN, 0}, {kE + 2, kN, 0}})}));
  message = Convert(faces, &failed);
  EXPECT_TRUE(failed);
  EXPECT_NE(message.find("solid (handle 353, line "), std::string::npos) << message;
  EXPECT_NE(message.find("): its corners enclose no area (three distinct corners at least)"),
            std::string::npos)
      << message;
  // Left out without a refusal before (a missing block) stays left out.
  settings.SetExtra("include", "blocks");
  Convert(Dxf({}, Cat({Line(kE, kN), Groups{{0, "DIMENSION"}, {8, "0"}, {2, "*D1"}}})), &failed);
  EXPECT_FALSE(failed);
}

TEST_F(LeftOutTest, NothingToConvertSaysWhatTheDrawingHolds) {
  Groups images;
  for (int k = 0; k < 8; ++k) {
    images.insert(images.end(), {{0, "IMAGE"}, {8, "0"}, {10, std::to_string(kE + k)},
                                 {20, std::to_string(kN)}, {13, "10"}, {23, "10"}});
  }
  images.insert(images.end(), {{0, "WIPEOUT"}, {8, "0"}, {0, "HELIX"}, {8, "0"}});
  bool failed = false;
  EXPECT_EQ(Convert(Dxf({}, images), &failed),
            "nothing to convert: the drawing holds IMAGE 8 (not converted), WIPEOUT 1 (not "
            "converted), HELIX 1 (not converted); --include frames converts all but the HELIX");
  EXPECT_TRUE(failed);
  settings.SetExtra("include", "solids");
  EXPECT_EQ(Convert(Dxf({}, Face("3DFACE", "1", {{kE, kN, 0}, {kE, kN, 0}, {kE + 1, kN, 0}})),
                    &failed),
            "nothing to convert: the drawing holds SOLID 1 (left out: no area)");
  EXPECT_TRUE(failed);
  // With the kinds included, the images' frames are converted.
  settings.SetExtra("include", "frames");
  EXPECT_EQ(Names(Convert(Dxf({}, images), &failed)).size(), 9u);
  EXPECT_FALSE(failed);
}

TEST_F(LeftOutTest, PlainTextNamesTextsAsCadShowsThem) {
  const std::string texts = Dxf(
      {}, {{0, "MTEXT"}, {8, "0"}, {10, "500000"}, {20, "3380000"},
           {1, "{\\fSimSun|b0;\xE6\xB5\x8B\xE7\xAB\x99}\\PK12+300 \\S1/2;"},
           {0, "TEXT"}, {8, "0"}, {10, "500000"}, {20, "3380000"}, {1, "%%c600 %%uA&B"}});
  EXPECT_EQ(Names(Convert(texts)),
            (std::vector<std::string>{"%%c600 %%uA&amp;B",
                                      "{\\fSimSun|b0;测站}\\PK12+300 \\S1/2;"}));
  settings.SetExtra("plain_text", "yes");
  EXPECT_EQ(Names(Convert(texts)),
            (std::vector<std::string>{"⌀600 A&amp;B", "测站\r\nK12+300 1/2"}));
}

}  // namespace
}  // namespace varnolt
