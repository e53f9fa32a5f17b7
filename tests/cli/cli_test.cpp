// The `varnolt` command line, run as a program: what it prints, what it writes, its
// exit codes (0 done, 1 the work failed, 2 bad usage), and that a failure damages no
// file. Every call names a settings file in a temporary folder, so the Varnolt.ini
// beside the binary is never touched (checked after each test).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "base/paths.h"
#include "calc/correction.h"
#include "geodesy/datum.h"
#include "geodesy/projection.h"
#include "run_process.h"
#include "settings/settings.h"
#include "temp_dir.h"
#include "text/numtext.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace varnolt {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;
using testing::RunProcess;

const std::string kBadData = "数据文件格式有误或操作不当！";
const std::string kCancelled = "读取文件被取消！";
const std::string kRunFailed = "数据文件格式有误、操作不当或其它未知错误！";

// Beijing 1954 about 114 deg 30 min, the rest the defaults.
const std::string kSettingsText =
    "10\r\n114.3\r\n100\r\n6\r\n-0.0335\r\n0.039\r\n10\r\n-1\r\n0\r\n0\r\n";

// Comments, blank lines, tabs and runs of blanks, as surveyors' files have them.
const std::string kControlPoints =
    ";; 控制点 X Y B L\r\n"
    "\r\n"
    "GPS01\t3381245.312\t481906.447\t30.33008619\t114.18435554\r\n"
    "GPS02   3379870.058    493512.930     30.32164945     114.25589564\r\n"
    "   ;; indented comment\r\n"
    "   K07\t 3380416.775 \t500233.164  30.32343827\t\t114.30112135   \r\n"
    "K12 3382903.601 509874.218 30.33548273 114.36128047 extra fields ignored\r\n";

std::optional<std::string> FileIfPresent(const fs::path& path) {
  if (!fs::exists(path)) return std::nullopt;
  return ReadWholeFile(path);
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty()) << "no temporary folder";
    dir_ = temp_.path();
    settingsPath_ = dir_ / "Varnolt.ini";
    Write(settingsPath_, kSettingsText);
    besideBinary_ = fs::path(VARNOLT_BINARY).parent_path() / "Varnolt.ini";
    besideBefore_ = FileIfPresent(besideBinary_);
  }

  void TearDown() override {
    EXPECT_EQ(FileIfPresent(besideBinary_), besideBefore_)
        << "a test touched " << besideBinary_;
  }

  static void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }

  // varnolt SUBCOMMAND ARGS... --settings <temp>/Varnolt.ini
  testing::ProcessResult Varnolt(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), VARNOLT_BINARY);
    args.push_back("--settings");
    args.push_back(settingsPath_.string());
    return RunProcess(args, input);
  }

  // Names in the folder other than those given.
  std::vector<std::string> ExtraFiles(const fs::path& folder, std::vector<std::string> known) {
    std::vector<std::string> extra;
    for (const auto& entry : fs::directory_iterator(folder)) {
      std::string name = entry.path().filename().string();
      if (std::find(known.begin(), known.end(), name) == known.end()) extra.push_back(name);
    }
    return extra;
  }

  testing::TempDir temp_{"varnolt-cli"};
  fs::path dir_, settingsPath_, besideBinary_;
  std::optional<std::string> besideBefore_;
};

// --- correct -------------------------------------------------------------------

TEST_F(CliTest, CorrectPrintsAndWritesTheCoreTable) {
  const fs::path input = dir_ / "pts.txt";
  Write(input, kControlPoints);
  Settings settings;
  ASSERT_TRUE(ParseSettings(kSettingsText, settings));
  const std::vector<ControlPoint> points = ParseControlPoints(kControlPoints);
  ASSERT_EQ(points.size(), 4u);
  const CorrectionResult expected = ComputeCorrections(settings, points);

  auto r = Varnolt({"correct", input.string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, expected.table + "RMS " + FixedText(expected.rms, 4) + " m\r\n");
  EXPECT_EQ(ReadWholeFile(dir_ / PathFromUtf8("pts_计算结果.txt")), expected.table);
  // The table lists the points in input order and ends with the two averages.
  EXPECT_NE(expected.table.find("GPS01 "), std::string::npos);
  EXPECT_LT(expected.table.find("GPS02 "), expected.table.find("K07 "));
  EXPECT_NE(expected.table.find("纬度修正平均：" + FixedText(expected.latAverage, 5)),
            std::string::npos);
  // Without --save the settings file keeps every byte.
  EXPECT_EQ(ReadWholeFile(settingsPath_), kSettingsText);
}

TEST_F(CliTest, CorrectSaveStoresTheAveragesAsLinesFiveAndSix) {
  const fs::path input = dir_ / "pts.txt";
  Write(input, kControlPoints);
  Settings settings;
  ASSERT_TRUE(ParseSettings(kSettingsText, settings));
  const CorrectionResult expected = ComputeCorrections(settings, ParseControlPoints(kControlPoints));

  auto r = Varnolt({"correct", "--save", input.string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  char lat[32], lon[32];
  std::snprintf(lat, sizeof lat, "%.5f", expected.latAverage);
  std::snprintf(lon, sizeof lon, "%.5f", expected.lonAverage);
  EXPECT_EQ(ReadWholeFile(settingsPath_),
            "10\r\n114.3\r\n100\r\n6\r\n" + std::string(lat) + "\r\n" + std::string(lon) +
                "\r\n10\r\n-1\r\n0\r\n0\r\n");
}

TEST_F(CliTest, CorrectSaveKeepsOverridesOutOfTheFile) {
  const fs::path input = dir_ / "pts.txt";
  Write(input, kControlPoints);
  auto r = Varnolt({"correct", "--save", "--width", "3", input.string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Settings saved = LoadSettings(settingsPath_);
  EXPECT_EQ(saved.Text4, "6");
  EXPECT_EQ(saved.Text2, "114.3");
}

TEST_F(CliTest, CorrectBadDataNamesTheLineAndWritesNothing) {
  const fs::path input = dir_ / "pts.txt";
  Write(input, ";; header\r\nP1 3381245.312 481906.447 30.33008619\r\n");
  auto r = Varnolt({"correct", "--save", input.string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  ASSERT_NE(r.err.find(kBadData + "\n"), std::string::npos) << r.err;
  // The line after the message says where: line 2 of the file.
  const std::string detail = r.err.substr(r.err.find(kBadData) + kBadData.size() + 1);
  EXPECT_NE(detail.find("line 2"), std::string::npos) << detail;
  EXPECT_FALSE(fs::exists(dir_ / PathFromUtf8("pts_计算结果.txt")));
  EXPECT_EQ(ReadWholeFile(settingsPath_), kSettingsText);

  Write(input, "P1 3381245.312 48190x.447 30.33008619 114.18435554\r\n");
  r = Varnolt({"correct", input.string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find(kBadData), std::string::npos) << r.err;

  Write(input, ";; only comments\r\n\r\n");
  r = Varnolt({"correct", input.string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find(kBadData), std::string::npos) << r.err;
}

TEST_F(CliTest, CorrectMissingFileIsReportedAsCancelled) {
  auto r = Varnolt({"correct", (dir_ / "nosuch.txt").string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find(kCancelled + "\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("nosuch.txt"), std::string::npos) << r.err;
  EXPECT_EQ(ExtraFiles(dir_, {"Varnolt.ini"}), std::vector<std::string>{});
}

// --- point ---------------------------------------------------------------------

std::string CoreLonLat(double X, double Y) {
  const DatumParameters datum = SelectDatum(true);
  return Lstr(datum, X, Y, 114.3, 0.039) + "," + Bstr(datum, X, Y, 114.3, -0.0335);
}

TEST_F(CliTest, PointPrintsLstrAndBstr) {
  auto r = Varnolt({"point", "3380600", "512400"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, CoreLonLat(3380600, 512400) + "\n");
  // On the central meridian the longitude is 114.5 + 0.039 / 60.
  r = Varnolt({"point", "3380100", "500000"});
  EXPECT_EQ(r.out.substr(0, r.out.find(',')), "114.50065");
}

TEST_F(CliTest, PointFollowsTheDatumOverride) {
  auto r = Varnolt({"point", "--datum", "xian80", "3380600", "512400"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const DatumParameters datum = SelectDatum(false);
  EXPECT_EQ(r.out, Lstr(datum, 3380600, 512400, 114.3, 0.039) + "," +
                       Bstr(datum, 3380600, 512400, 114.3, -0.0335) + "\n");
}

TEST_F(CliTest, PointBatchAnswersEveryLineOfStdin) {
  auto r = Varnolt({"point"}, "3380600 512400\n\n3381245.312\t481906.447\r\n3379870.058,493512.93\n");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, CoreLonLat(3380600, 512400) + "\n" + CoreLonLat(3381245.312, 481906.447) + "\n" +
                       CoreLonLat(3379870.058, 493512.93) + "\n");
}

TEST_F(CliTest, PointBatchStopsAtABadLine) {
  auto r = Varnolt({"point"}, "3380600 512400\n3380600 abc\n3380100 500000\n");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, CoreLonLat(3380600, 512400) + "\n");
  EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;

  r = Varnolt({"point"}, "3380600\n");
  EXPECT_EQ(r.exitCode, 1);
}

TEST_F(CliTest, PointNonNumericArgumentIsAUsageError) {
  auto r = Varnolt({"point", "north", "512400"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "");
  r = Varnolt({"point", "3380600", "5124OO"});
  EXPECT_EQ(r.exitCode, 2);
}

// --- coordinate systems --------------------------------------------------------

// Two control points fit exactly: a point converted by the saved fit lands on its
// known position.
TEST_F(CliTest, FitTwoPointsThenTheFourParameterMethodHitsThem) {
  const fs::path input = dir_ / "two.txt";
  Write(input, "A 3381245.312 481906.447 30.33008619 114.18435554\r\n"
               "B 3379870.058 493512.930 30.32164945 114.25589564\r\n");
  auto r = Varnolt({"fit", "--save", input.string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadWholeFile(dir_ / PathFromUtf8("two_四参数.txt")), r.out);
  EXPECT_NE(r.out.find("RMS 0.0000 m\r\n"), std::string::npos) << r.out;
  EXPECT_NE(ReadWholeFile(settingsPath_).find("\r\nfour_parameter="), std::string::npos);

  r = Varnolt({"point", "--transform", "four-parameter", "3381245.312", "481906.447"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  double lon = 0, lat = 0;
  ASSERT_EQ(std::sscanf(r.out.c_str(), "%lf,%lf", &lon, &lat), 2) << r.out;
  // 30°33'00.8619", 114°18'43.5554"
  EXPECT_NEAR(lat, 30 + 33 / 60.0 + 0.8619 / 3600, 1e-9);
  EXPECT_NEAR(lon, 114 + 18 / 60.0 + 43.5554 / 3600, 1e-9);

  // The fit belongs to the plane of 114°30': another meridian's points are refused.
  r = Varnolt({"point", "--transform", "four-parameter", "--meridian", "117", "3381245.312",
               "481906.447"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("fitted on the plane of the central meridian 114.5 degrees"),
            std::string::npos) << r.err;
}

TEST_F(CliTest, ContradictoryCoordinateOptionsAreUsageErrors) {
  const std::vector<std::vector<std::string>> calls = {
      {"point", "--crs", "EPSG:4526", "--meridian", "114", "3380600", "512400"},
      {"point", "--helmert", "1,2,3,0,0,0,0", "--transform", "four-parameter", "1", "2"},
      {"point", "--helmert", "1,2,3", "3380600", "512400"},
      {"point", "--crs", "EPSG:4326", "3380600", "512400"},
  };
  for (const auto& call : calls) {
    auto r = Varnolt(call);
    EXPECT_EQ(r.exitCode, 2) << call[1] << " " << call[2] << ": " << r.err;
    EXPECT_EQ(r.out, "");
  }
  auto r = Varnolt({"convert", "--crs", "EPSG:2000", "x.dxf"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("2401-2442, 21413-21423, 21453-21463"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("4491-4554"), std::string::npos) << r.err;
}

// With --zone auto an easting with zone 38 in front is the easting of zone 38's
// meridian (114 degrees): the same document, to the byte, as the plain eastings with
// that meridian (only the end points: points between them are interpolated from
// coordinates of other magnitudes). Entities in two zones fail.
TEST_F(CliTest, ConvertReadsZoneNumbersInEastings) {
  auto line = [](const std::string& x1, const std::string& x2) {
    return "0\nLINE\n5\n1A\n8\n0\n62\n1\n10\n" + x1 + "\n20\n3380000\n30\n0\n11\n" + x2 +
           "\n21\n3380050\n31\n0\n";
  };
  auto dxf = [](const std::string& entities) {
    return "0\nSECTION\n2\nENTITIES\n" + entities + "0\nENDSEC\n0\nEOF\n";
  };
  fs::create_directories(dir_ / "zoned");
  fs::create_directories(dir_ / "plain");
  Write(dir_ / "zoned" / "d.dxf", dxf(line("38500100", "38500200")));
  Write(dir_ / "plain" / "d.dxf", dxf(line("500100", "500200")));
  auto r = Varnolt({"convert", "--segment", "1000", "--zone", "auto",
                    (dir_ / "zoned" / "d.dxf").string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // The settings' meridian is 114°30': the zone's replaces it, with a warning.
  EXPECT_NE(r.err.find("warning: the eastings carry zone 38, whose central meridian 114 "),
            std::string::npos) << r.err;
  r = Varnolt({"convert", "--segment", "1000", "--meridian", "114",
               (dir_ / "plain" / "d.dxf").string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string plain = ReadWholeFile(dir_ / "plain" / "d.kml");
  EXPECT_NE(plain.find("114.0"), std::string::npos) << plain;
  EXPECT_TRUE(ReadWholeFile(dir_ / "zoned" / "d.kml") == plain);

  Write(dir_ / "two.dxf", dxf(line("38500100", "39500200")));
  r = Varnolt({"convert", "--zone", "auto", (dir_ / "two.dxf").string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("different zones"), std::string::npos) << r.err;
}

// CGCS2000 chosen in the settings file (the two buttons off, its own line) or on the
// command line, where its corrections default to 0.
TEST_F(CliTest, Cgcs2000FromTheFileOrTheCommandLine) {
  const DatumParameters cgcs = DatumParametersOf(Datum::kCgcs2000);
  Write(settingsPath_, "10\r\n114.3\r\n100\r\n6\r\n-0.0335\r\n0.039\r\n10\r\n0\r\n0\r\n0\r\n"
                       "datum=cgcs2000\r\n");
  auto r = Varnolt({"point", "3380600", "512400"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, Lstr(cgcs, 3380600, 512400, 114.3, 0.039) + "," +
                       Bstr(cgcs, 3380600, 512400, 114.3, -0.0335) + "\n");
  Write(settingsPath_, kSettingsText);
  r = Varnolt({"point", "--datum", "cgcs2000", "3380600", "512400"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, Lstr(cgcs, 3380600, 512400, 114.3, 0) + "," +
                       Bstr(cgcs, 3380600, 512400, 114.3, 0) + "\n");
}

// --- convert -------------------------------------------------------------------

fs::path Golden(const std::string& name) {
  return fs::path(VARNOLT_SOURCE_DIR) / "tests" / "golden" / name;
}

TEST_F(CliTest, ConvertWritesTheGoldenDocument) {
  Write(settingsPath_, ReadWholeFile(Golden("families") / "Varnolt.ini"));
  const fs::path out = dir_ / "families.kml";
  Write(out, "an older document");
  auto r = Varnolt({"convert", Golden("families/drawing.dxf").string(), "-o", out.string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(ReadWholeFile(out) == ReadWholeFile(Golden("families") / "expected.kml"));
  EXPECT_EQ(ExtraFiles(dir_, {"Varnolt.ini", "families.kml"}), std::vector<std::string>{});
}

// An opt-in line that cannot be used, in the settings file or from this call's
// option, is a usage error with the one message naming the line and the value, for
// every subcommand that reads it; nothing is written, the settings file untouched.
TEST_F(CliTest, UnusableOptInLinesAreUsageErrors) {
  const fs::path drawing = Golden("families/drawing.dxf");
  const fs::path out = dir_ / "out.kml";
  const std::string file = kSettingsText + "altitude=sky\r\n";
  Write(settingsPath_, file);
  const std::string named = "the setting altitude=sky: \"sky\" is not relative, clamp or absolute";
  for (const std::vector<std::string>& call :
       {std::vector<std::string>{"convert", drawing.string(), "-o", out.string()},
        std::vector<std::string>{"convert", drawing.string(), "-o", out.string(), "-d",
                                 dir_.string()},
        std::vector<std::string>{"point", "3380600", "512400"},
        std::vector<std::string>{"fit", "points.txt"}}) {
    SCOPED_TRACE(call[0] + " " + call.back());
    auto r = Varnolt(call);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(r.err, "varnolt " + call[0] + ": " + named + "\n");
    EXPECT_EQ(r.out, "");
  }
  // The option's value is refused as the line it sets would be.
  Write(settingsPath_, kSettingsText);
  auto r = Varnolt({"convert", drawing.string(), "-o", out.string(), "--altitude", "Sky"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("the setting altitude=Sky: \"Sky\" is not"), std::string::npos) << r.err;
  r = Varnolt({"convert", drawing.string(), "-o", out.string(), "--include", "blocks,trees"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("the setting include=blocks,trees: \"trees\" is not"), std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(ReadWholeFile(settingsPath_), kSettingsText);
  // Words in any case are read, and the document is the one the lower case gives.
  r = Varnolt({"convert", drawing.string(), "-o", out.string(), "--altitude", "CLAMP"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(ReadWholeFile(out).find("<altitudeMode>clampToGround</altitudeMode>"),
            std::string::npos);
}

// Each failure: its message, exit 1, the earlier file at the output path untouched and
// nothing left in the output folder.
TEST_F(CliTest, ConvertFailuresDamageNoFile) {
  const std::string drawing = Golden("families/drawing.dxf").string();
  const std::string pointOnly =
      (fs::path(VARNOLT_SOURCE_DIR) / "tests" / "cli" / "data" / "point_only.dxf").string();
  const fs::path out = dir_ / "road.kml";
  const std::string earlier = "<kml>an earlier document</kml>\r\n";
  struct Case {
    const char* label;
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {"segment 0", {drawing, "--segment", "0"}, kRunFailed},
      {"segment letters", {drawing, "--segment", "abc"}, kRunFailed},
      {"only a POINT", {pointOnly}, kRunFailed},
      {"no such layer", {drawing, "--layer", "NOSUCH"}, kRunFailed},
      {"missing drawing", {(dir_ / "nosuch.dxf").string()}, kCancelled},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Write(out, earlier);
    std::vector<std::string> args = {"convert"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.insert(args.end(), {"-o", out.string()});
    auto r = Varnolt(args);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(c.message + "\n"), std::string::npos) << r.err;
    EXPECT_EQ(ReadWholeFile(out), earlier);
    EXPECT_EQ(ExtraFiles(dir_, {"Varnolt.ini", "road.kml"}), std::vector<std::string>{});
    EXPECT_EQ(ReadWholeFile(settingsPath_), kSettingsText);
  }
}

TEST_F(CliTest, ConvertNotADrawingFails) {
  const fs::path drawing = dir_ / "notes.dxf";
  Write(drawing, "this is not a drawing\n");
  const fs::path out = dir_ / "road.kml";
  Write(out, "earlier");
  auto r = Varnolt({"convert", drawing.string(), "-o", out.string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find(kRunFailed), std::string::npos) << r.err;
  EXPECT_EQ(ReadWholeFile(out), "earlier");
}

// Write permission only means something when not running as root. Windows has no
// permission bits that stop the owner (a folder's read-only attribute does not);
// there the plain file in place of a folder is the case.
bool WritePermissionHolds() {
#ifdef _WIN32
  return false;
#else
  return ::geteuid() != 0;
#endif
}

TEST_F(CliTest, ConvertToAFolderThatCannotBeWrittenFails) {
  const std::string drawing = Golden("families/drawing.dxf").string();
  // A folder that does not exist, and one "inside" a plain file.
  Write(dir_ / "plain", "x");
  for (const fs::path& out : {dir_ / "missing" / "road.kml", dir_ / "plain" / "road.kml"}) {
    SCOPED_TRACE(out.string());
    auto r = Varnolt({"convert", drawing, "-o", out.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(kCancelled + "\n"), std::string::npos) << r.err;
  }
  EXPECT_EQ(ExtraFiles(dir_, {"Varnolt.ini", "plain"}), std::vector<std::string>{});

  if (WritePermissionHolds()) {
    const fs::path locked = dir_ / "locked";
    fs::create_directory(locked);
    Write(locked / "road.kml", "earlier");
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    auto r = Varnolt({"convert", drawing, "-o", (locked / "road.kml").string()});
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(kCancelled), std::string::npos) << r.err;
    EXPECT_EQ(ReadWholeFile(locked / "road.kml"), "earlier");
    EXPECT_EQ(ExtraFiles(locked, {"road.kml"}), std::vector<std::string>{});
  }
}

TEST_F(CliTest, ConvertRefusesToOverwriteTheDrawing) {
  const fs::path drawing = dir_ / "site.kml";  // a drawing whose name ends in .kml
  const std::string bytes = ReadWholeFile(Golden("families/drawing.dxf"));
  Write(drawing, bytes);
  fs::create_directory(dir_ / "sub");
  for (const std::string& out :
       {drawing.string(), (dir_ / "sub" / ".." / "site.kml").string()}) {
    SCOPED_TRACE(out);
    auto r = Varnolt({"convert", drawing.string(), "-o", out});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(kCancelled), std::string::npos) << r.err;
    EXPECT_TRUE(ReadWholeFile(drawing) == bytes);
  }
  // Without -o the output is the drawing's name with .kml: the same file here.
  auto r = Varnolt({"convert", drawing.string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(ReadWholeFile(drawing) == bytes);
  EXPECT_EQ(ExtraFiles(dir_, {"Varnolt.ini", "site.kml", "sub"}), std::vector<std::string>{});
}

TEST_F(CliTest, ConvertDefaultOutputIsBesideTheDrawing) {
  const fs::path drawing = dir_ / "families.dxf";
  Write(drawing, ReadWholeFile(Golden("families/drawing.dxf")));
  Write(settingsPath_, ReadWholeFile(Golden("families") / "Varnolt.ini"));
  auto r = Varnolt({"convert", drawing.string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(ReadWholeFile(dir_ / "families.kml") ==
              ReadWholeFile(Golden("families") / "expected.kml"));
}

// --- usage and help ---------------------------------------------------------------

TEST_F(CliTest, UsageErrorsExitTwo) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"convert", "--no-such-option", "a.dxf"},
        std::vector<std::string>{"point", "--bogus"},
        std::vector<std::string>{"correct", "--bogus", "pts.txt"},
        std::vector<std::string>{"convert"},  // the drawing is required
        // The live session takes no drawing and needs its output named.
        std::vector<std::string>{"convert", "--cad", "a.dxf", "-o", "a.kml"},
        std::vector<std::string>{"convert", "--cad"},
        std::vector<std::string>{"frobnicate"},
        std::vector<std::string>{"point", "--datum", "wgs84", "1", "2"},
        // 2^34 GiB is 2^64 bytes: it would wrap around to a limit of 0.
        std::vector<std::string>{"convert", "--max-file-size", "17179869184G", "a.dxf"},
        std::vector<std::string>{"convert", "--max-file-size", "18446744073709551616",
                                 "a.dxf"}}) {
    SCOPED_TRACE(args[0] + " " + (args.size() > 1 ? args[1] : ""));
    auto r = Varnolt(args);
    EXPECT_EQ(r.exitCode, 2) << r.err;
  }
  auto r = RunProcess({VARNOLT_BINARY});  // no subcommand
  EXPECT_EQ(r.exitCode, 2);
}

// Arguments reach the program as they are, however the platform passes them on (on
// Windows one command line that the child's C runtime splits again): blanks, quotes,
// backslashes before a quote and at the end, an empty argument, Chinese.
TEST_F(CliTest, ArgumentsArriveAsTheyAre) {
  for (const std::string& arg :
       {std::string("a b"), std::string("say \"hi\""), std::string("C:\\dir\\"),
        std::string("\\\"q\\\\\""), std::string("\t"), std::string(""),
        std::string("道路 K1")}) {
    SCOPED_TRACE(arg);
    auto r = Varnolt({"point", arg, "1"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("(got '" + arg + "' '1')"), std::string::npos) << r.err;
  }
}

#ifndef _WIN32
// The live CAD session exists only on Windows; elsewhere the option says so.
TEST_F(CliTest, ConvertCadIsWindowsOnly) {
  auto r = Varnolt({"convert", "--cad", "-o", (dir_ / "cad.kml").string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("--cad works only on Windows"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "cad.kml"));
}
#endif

// A 3D face without area beside a line: left out and said (exit 0), or with
// --strict refused as before (exit 1, the output untouched); --plain-text names a
// multiline text as CAD shows it.
TEST_F(CliTest, ConvertLeavesOutWhatItCannotDrawUnlessStrict) {
  const std::string entities =
      "0\nSECTION\n2\nENTITIES\n"
      "0\nLINE\n8\n0\n10\n500000\n20\n3380000\n11\n500030\n21\n3380000\n"
      "0\n3DFACE\n5\n353\n8\n0\n10\n500000\n20\n3380100\n11\n500010\n21\n3380100\n"
      "12\n500020\n22\n3380100\n13\n500020\n23\n3380100\n"
      "0\nMTEXT\n8\n0\n10\n500000\n20\n3380000\n1\n{\\fSimSun|b0;K1}\\P+300\n"
      "0\nENDSEC\n0\nEOF\n";
  const fs::path drawing = dir_ / "faces.dxf", out = dir_ / "faces.kml";
  Write(drawing, entities);
  auto r = Varnolt({"convert", drawing.string(), "--include", "solids", "--plain-text"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("varnolt: warning: left out: solid 1 (no area)\n"), std::string::npos)
      << r.err;
  EXPECT_NE(ReadWholeFile(out).find("<name>K1\r\n+300</name>"), std::string::npos);
  Write(out, "earlier");
  r = Varnolt({"convert", drawing.string(), "--include", "solids", "--strict"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("varnolt: solid (handle 353, line 17 of faces.dxf): its corners enclose "
                       "no area (three distinct corners at least)\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ReadWholeFile(out), "earlier");
}

TEST_F(CliTest, EverySubcommandHelpNamesItsOptions) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
      {"convert", {"--output", "--layer", "--settings", "--segment", "--width", "--arcs",
                   "--meridian", "--datum", "--cad", "--cad-progid", "--crs", "--zone",
                   "--transform", "--helmert", "--helmert-convention", "--output-datum",
                   "--strict", "--plain-text", "meshes (polygon", "frames (the"}},
      {"point", {"--settings", "--meridian", "--datum", "--lat-correction", "--lon-correction",
                 "--crs", "--zone", "--transform", "--helmert", "--helmert-convention",
                 "--output-datum", "cgcs2000"}},
      {"correct", {"--save", "--settings", "--meridian", "--datum"}},
      {"fit", {"--save", "--settings", "--meridian", "--crs", "--zone"}},
  };
  for (const auto& [command, options] : expected) {
    SCOPED_TRACE(command);
    auto r = RunProcess({VARNOLT_BINARY, command, "--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const std::string& option : options) {
      EXPECT_NE(r.out.find(option), std::string::npos) << option << " missing in\n" << r.out;
    }
  }
}

}  // namespace
}  // namespace varnolt
