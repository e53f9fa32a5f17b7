#include "calc/correction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "base/error.h"
#include "base/files.h"
#include "base/paths.h"
#include "geodesy/datum.h"
#include "geodesy/projection.h"
#include "temp_dir.h"
#include "text/numtext.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;

// Beijing 1954 about 114 deg 30 min, the setting of the sample control points.
Settings Beijing1143() {
  Settings s;
  s.Text2 = "114.3";
  return s;
}

// Decimal degrees to a packed ddd.mmss... value, for building known positions.
std::string Pack(double degrees) {
  double d = std::floor(degrees);
  double minutes = (degrees - d) * 60;
  double m = std::floor(minutes);
  double seconds = (minutes - m) * 60;
  return GeneralText(d + m / 100 + seconds / 10000);
}

double Number(const std::string& text) {
  double value = 0;
  EXPECT_TRUE(ParseNumber(text, value)) << text;
  return value;
}

// A data line whose known position is the uncorrected projection of (X, Y) moved
// by the given shifts in minutes.
std::string ShiftedLine(const std::string& id, double X, double Y, double latShift,
                        double lonShift, bool beijing = true) {
  DatumParameters datum = SelectDatum(beijing);
  double lat = Number(Bstr(datum, X, Y, 114.3, 0)) + latShift / 60;
  double lon = Number(Lstr(datum, X, Y, 114.3, 0)) + lonShift / 60;
  return id + " " + GeneralText(X) + " " + GeneralText(Y) + " " + Pack(lat) + " " + Pack(lon);
}

std::string ErrorText(const std::function<void()>& action, ErrorKind expectedKind) {
  try {
    action();
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), expectedKind) << e.what();
    return e.what();
  }
  ADD_FAILURE() << "no error thrown";
  return {};
}

// --- Reading the control-point file ---------------------------------------

TEST(ParseControlPoints, SkipsCommentsAndBlankLinesKeepingOrder) {
  std::vector<ControlPoint> points = ParseControlPoints(
      ";; X Y B L\r\n"
      "\r\n"
      "   \r\n"
      "\t\t\r\n"                      // tabs only: a blank line too
      "\t;; indented comment\r\n"
      "P2 3380000 500000 30.3224 114.3\r\n"
      "  ;;P9 1 2 3 4\r\n"
      "P1 3381000.5 512345.678 30.32 114.38 extra fields 7\n"
      "A7 1 2 3 4");                   // last line without a line end
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[0].id, "P2");
  EXPECT_EQ(points[0].line, 6);
  EXPECT_EQ(points[1].id, "P1");
  EXPECT_EQ(points[1].line, 8);
  EXPECT_EQ(points[1].X, 3381000.5);
  EXPECT_EQ(points[1].Y, 512345.678);
  EXPECT_EQ(points[1].knownLat, 30.32);
  EXPECT_EQ(points[1].knownLon, 114.38);
  EXPECT_EQ(points[2].id, "A7");
  EXPECT_EQ(points[2].line, 9);
}

TEST(ParseControlPoints, TabsAndBlankRunsReadAsOneBlank) {
  const std::string run60(60, ' ');
  for (const std::string& line : {
           std::string("P1\t3380000\t500000\t30.3224\t114.3"),
           "  P1     3380000  \t  500000" + run60 + "30.3224 \t\t 114.3   ",
           "P1 \t" + std::string(51, ' ') + "3380000 500000 30.3224 114.3",
       }) {
    std::vector<ControlPoint> points = ParseControlPoints(line);
    ASSERT_EQ(points.size(), 1u) << line;
    EXPECT_EQ(points[0].id, "P1");
    EXPECT_EQ(points[0].X, 3380000);
    EXPECT_EQ(points[0].Y, 500000);
    EXPECT_EQ(points[0].knownLat, 30.3224);
    EXPECT_EQ(points[0].knownLon, 114.3);
  }
}

TEST(ParseControlPoints, BadLinesNameLineAndField) {
  EXPECT_EQ(ErrorText([] { ParseControlPoints(";; c\r\n\r\nP3 3380000 500000 30.3224\r\n"); },
                      ErrorKind::kGeneral)
                .substr(0, 30),
            "line 3 has 4 fields, 5 are nee");
  EXPECT_EQ(ErrorText(
                [] {
                  ParseControlPoints("P1 1 2 3 4\n\n\n\n\n\nP7 3380000 500000 abc 114.3\n");
                },
                ErrorKind::kGeneral),
            "line 7, field 4 (known latitude): 'abc' is not a number");
  // Strict: a number followed by letters is not a number.
  EXPECT_EQ(ErrorText([] { ParseControlPoints("P1 3380000m 500000 30.3 114.3"); },
                      ErrorKind::kGeneral),
            "line 1, field 2 (northing X): '3380000m' is not a number");
  EXPECT_NE(ErrorText([] { ParseControlPoints("P1 3380000 500000 30.3 114,3"); },
                      ErrorKind::kGeneral)
                .find("field 5 (known longitude)"),
            std::string::npos);
}

// --- Computing the corrections ----------------------------------------------

TEST(ComputeCorrections, NoDataLinesIsAnError) {
  std::string what = ErrorText(
      [] { ComputeCorrections(Settings{}, ParseControlPoints(";; only\r\n\r\n")); },
      ErrorKind::kGeneral);
  EXPECT_NE(what.find("no data lines"), std::string::npos) << what;
}

TEST(ComputeCorrections, KnownEqualToProjectedGivesZero) {
  // A billionth of a degree keeps the difference off the negative side of zero.
  const std::string line = ShiftedLine("Z1", 3380000, 512345.678, 6e-8, 6e-8);
  CorrectionResult r = ComputeCorrections(Beijing1143(), ParseControlPoints(line));
  ASSERT_EQ(r.points.size(), 1u);
  EXPECT_NEAR(r.points[0].latCorrection, 0, 1e-6);
  EXPECT_NEAR(r.points[0].lonCorrection, 0, 1e-6);
  EXPECT_NE(r.table.find("\r\nZ1 0.00000 0.00000\r\n"), std::string::npos) << r.table;
}

TEST(ComputeCorrections, WholeTable) {
  const std::string input = ShiftedLine("P1", 3380000, 488000, 0.03, -0.02) + "\r\n" +
                            ShiftedLine("点2", 3381250.25, 515000, 0.01, 0.04) + "\r\n";
  CorrectionResult r = ComputeCorrections(Beijing1143(), ParseControlPoints(input));
  EXPECT_EQ(r.table,
            "标识 纬度修正(分) 经度修正(分)\r\n"
            "P1 0.03000 -0.02000\r\n"
            "点2 0.01000 0.04000\r\n"
            "----------------------------\r\n"
            "纬度修正平均：0.02000\r\n"
            "经度修正平均：0.01000\r\n");
  EXPECT_NEAR(r.latAverage, 0.02, 1e-7);
  EXPECT_NEAR(r.lonAverage, 0.01, 1e-7);
  ASSERT_EQ(r.points.size(), 2u);
  EXPECT_EQ(r.points[1].id, "点2");
}

TEST(ComputeCorrections, SettingsCorrectionsPlayNoPart) {
  // The calculation projects without correction whatever the boxes hold.
  const auto points = ParseControlPoints(ShiftedLine("P1", 3380000, 512345.678, -0.0335, 0.039));
  Settings withCorrections = Beijing1143();
  withCorrections.Text5 = "5";
  withCorrections.Text6 = "-7";
  Settings empty = Beijing1143();
  empty.Text5 = "";
  empty.Text6 = "";
  CorrectionResult a = ComputeCorrections(withCorrections, points);
  EXPECT_EQ(a.table, ComputeCorrections(empty, points).table);
  EXPECT_NE(a.table.find("P1 -0.03350 0.03900\r\n"), std::string::npos) << a.table;
}

TEST(ComputeCorrections, DatumAndCentralMeridianFromSettings) {
  const auto points = ParseControlPoints(ShiftedLine("P1", 3380000, 512345.678, 0, 0));
  Settings beijing = Beijing1143();
  Settings xian = Beijing1143();
  xian.Option1 = false;
  xian.Option2 = true;
  CorrectionResult b = ComputeCorrections(beijing, points);
  CorrectionResult x = ComputeCorrections(xian, points);
  // Xi'an 1980 puts the point about half a thousandth of a degree further north, so
  // the known latitude lies about 0.03 minutes below it; longitudes agree closely.
  double latDiff = x.points[0].latCorrection - b.points[0].latCorrection;
  EXPECT_LT(latDiff, -0.01);
  EXPECT_GT(latDiff, -0.05);
  EXPECT_NEAR(x.points[0].lonCorrection, b.points[0].lonCorrection, 1e-3);

  // Text2 read as packed DMS with the leading-number rule: 114 deg 30 min.
  Settings sloppy = Beijing1143();
  sloppy.Text2 = " 114.3 (Wuhan)";
  EXPECT_EQ(ComputeCorrections(sloppy, points).table, b.table);
  Settings west = Beijing1143();
  west.Text2 = "114";  // half a degree further west: 30 minutes of longitude
  EXPECT_NEAR(ComputeCorrections(west, points).points[0].lonCorrection, 30, 1e-6);
}

TEST(ComputeCorrections, PointThatCannotBeComputedNamesItsLine) {
  // A latitude whose degrees leave the angle range, and a northing beyond the earth.
  const std::string head = ";; c\r\nP1 3380000 500000 30.3 114.3\r\n";
  for (const char* bad : {"Q9 3380000 500000 99999 114.3", "Q9 1e12 500000 30.3 114.3"}) {
    std::string what = ErrorText(
        [&] { ComputeCorrections(Beijing1143(), ParseControlPoints(head + bad + "\r\n")); },
        ErrorKind::kGeneral);
    EXPECT_EQ(what.substr(0, 18), "line 3 (point Q9):") << what;
  }
}

// --- The result file --------------------------------------------------------

TEST(ResultPath, DropsTheLastFourCharacters) {
  EXPECT_EQ(ResultPath("/data/pts.txt"), PathFromUtf8("/data/pts_计算结果.txt"));
  EXPECT_EQ(ResultPath("/data/pts.dat"), PathFromUtf8("/data/pts_计算结果.txt"));
  EXPECT_EQ(ResultPath("/data/points"), PathFromUtf8("/data/po_计算结果.txt"));
  EXPECT_EQ(ResultPath("pts.txt"), PathFromUtf8("pts_计算结果.txt"));
  // Characters, not bytes.
  EXPECT_EQ(ResultPath(PathFromUtf8("/测量/控制点成果表")),
            PathFromUtf8("/测量/控制_计算结果.txt"));
  // A name of four characters or fewer: the table still lands in the same folder.
  EXPECT_EQ(ResultPath("/data/abc"), PathFromUtf8("/data/_计算结果.txt"));
}

class RunCorrectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty()) << "no temporary folder";
    dir_ = temp_.path();
  }

  fs::path Write(const std::string& name, const std::string& bytes) {
    fs::path path = dir_ / PathFromUtf8(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  testing::TempDir temp_{"varnolt-calc"};
  fs::path dir_;
};

TEST_F(RunCorrectionTest, WritesTheTableBesideTheInput) {
  fs::path input = Write("pts.txt", ";; X Y B L\r\n" +
                                        ShiftedLine("P1", 3380000, 488000, 0.03, -0.02) +
                                        "\r\n");
  CorrectionResult r = RunCorrection(Beijing1143(), input);
  EXPECT_EQ(ReadFile(dir_ / PathFromUtf8("pts_计算结果.txt")), r.table);
  EXPECT_NE(r.table.find("P1 0.03000 -0.02000\r\n"), std::string::npos);
  // Nothing else is left in the folder (no temporary).
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

TEST_F(RunCorrectionTest, UnreadableInput) {
  ErrorText([&] { RunCorrection(Beijing1143(), dir_ / "absent.txt"); }, ErrorKind::kFileAccess);
  fs::create_directories(dir_ / "folder.txt");
  ErrorText([&] { RunCorrection(Beijing1143(), dir_ / "folder.txt"); }, ErrorKind::kFileAccess);
  EXPECT_FALSE(fs::exists(dir_ / PathFromUtf8("absent_计算结果.txt")));
  EXPECT_FALSE(fs::exists(dir_ / PathFromUtf8("folder_计算结果.txt")));
}

TEST_F(RunCorrectionTest, BadInputLeavesAnEarlierResultUntouched) {
  fs::path earlier = Write("pts_计算结果.txt", "earlier table\r\n");
  fs::path input = Write("pts.txt", ShiftedLine("P1", 3380000, 488000, 0.03, -0.02) +
                                        "\r\nP2 3380000 500000 30.3224\r\n");
  std::string what = ErrorText([&] { RunCorrection(Beijing1143(), input); }, ErrorKind::kGeneral);
  EXPECT_NE(what.find(input.string()), std::string::npos) << what;
  EXPECT_NE(what.find("line 2 has 4 fields"), std::string::npos) << what;
  EXPECT_EQ(ReadFile(earlier), "earlier table\r\n");

  // No data lines at all: no table is started.
  fs::path empty = Write("empty.txt", ";; nothing yet\r\n\r\n");
  what = ErrorText([&] { RunCorrection(Beijing1143(), empty); }, ErrorKind::kGeneral);
  EXPECT_NE(what.find("no data lines"), std::string::npos) << what;
  EXPECT_FALSE(fs::exists(dir_ / PathFromUtf8("empty_计算结果.txt")));
}

TEST_F(RunCorrectionTest, Gb18030AndBomInputs) {
  const std::string data = ShiftedLine("P1", 3380000, 488000, 0.03, -0.02);
  // ";; 控制点" and the identifier "点1" in GB18030.
  fs::path gb = Write("gb.txt", ";; \xBF\xD8\xD6\xC6\xB5\xE3\r\n\xB5\xE3" "1" +
                                    data.substr(2) + "\r\n");
  CorrectionResult r = RunCorrection(Beijing1143(), gb);
  EXPECT_NE(r.table.find("\r\n点1 0.03000 -0.02000\r\n"), std::string::npos) << r.table;

  fs::path bom = Write("bom.txt", "\xEF\xBB\xBF" + data + "\r\n");
  r = RunCorrection(Beijing1143(), bom);
  ASSERT_EQ(r.points.size(), 1u);
  EXPECT_EQ(r.points[0].id, "P1");
}

TEST(SampleFile, GivesCorrectionsOfAFewHundredthsOfAMinute) {
  std::string text = ReadFile(fs::path(VARNOLT_SOURCE_DIR) / "examples" / "control_points.txt");
  std::vector<ControlPoint> points = ParseControlPoints(text);
  ASSERT_EQ(points.size(), 5u);
  CorrectionResult r = ComputeCorrections(Beijing1143(), points);
  for (const PointCorrection& c : r.points) {
    EXPECT_LT(std::fabs(c.latCorrection), 0.1) << c.id;
    EXPECT_LT(std::fabs(c.lonCorrection), 0.1) << c.id;
  }
}

// The RMS the constant shift leaves, in metres: two points whose known latitudes
// differ from the projection by shifts 0.1" apart each keep half of it, 0.05" of
// latitude, 1.5398 m on the Krassovsky ellipsoid at 30.55 N.
TEST(CorrectionRms, HalfTheDisagreementOfTwoPointsInMetres) {
  const Settings s = Beijing1143();
  const DatumParameters datum = SelectDatum(true);
  std::vector<ControlPoint> points;
  for (int k = 0; k < 2; ++k) {
    ControlPoint p;
    p.id = "P" + std::to_string(k);
    p.X = 3380000 + 1000 * k;
    p.Y = 500000 + 1000 * k;
    const double lat = Number(Bstr(datum, p.X, p.Y, 114.3, 0)) + (2.0 + 0.1 * k) / 3600;
    const double lon = Number(Lstr(datum, p.X, p.Y, 114.3, 0)) - 1.5 / 3600;
    p.knownLat = Number(Pack(lat));
    p.knownLon = Number(Pack(lon));
    points.push_back(p);
  }
  const CorrectionResult one = ComputeCorrections(s, {points[0]});
  EXPECT_LT(one.rms, 1e-6);
  const CorrectionResult two = ComputeCorrections(s, points);
  EXPECT_NEAR(two.rms, 3.0795 / 2, 0.002);
}

}  // namespace
}  // namespace varnolt
