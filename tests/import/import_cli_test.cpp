// `varnolt import` as a program: a golden document back to DXF that `varnolt point`,
// ezdxf's auditor, GDAL and LibreCAD read; and every kind of bad input refused with
// the system's message and a line naming the file and what is wrong, exit 1, and no
// output written (an earlier one left as it was).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cad/dxf.h"
#include "run/kmz.h"
#include "run_process.h"
#include "temp_dir.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;
using testing::RunProcess;

const std::string kRunFailed = "数据文件格式有误、操作不当或其它未知错误！";
const fs::path kGolden = fs::path(VARNOLT_SOURCE_DIR) / "tests" / "golden";

void Write(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class ImportCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    dir_ = temp_.path();
    fs::copy_file(kGolden / "families" / "Varnolt.ini", dir_ / "Varnolt.ini");
  }
  testing::ProcessResult Varnolt(std::vector<std::string> args, const std::string& in = "") {
    args.insert(args.begin(), VARNOLT_BINARY);
    args.push_back("--settings");
    args.push_back((dir_ / "Varnolt.ini").string());
    return RunProcess(args, in);
  }
  testing::TempDir temp_{"varnolt-import"};
  fs::path dir_;
};

TEST_F(ImportCli, GoldenDocumentBackToDxfThatEveryReaderTakes) {
  const fs::path out = dir_ / "families.dxf";
  const auto r = Varnolt({"import", (kGolden / "families" / "expected.kml").string(), "-o",
                          out.string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("families.dxf"), std::string::npos) << r.err;
  const std::string bytes = ReadWholeFile(out);
  // The same input gives the same bytes.
  ASSERT_EQ(Varnolt({"import", (kGolden / "families" / "expected.kml").string(), "-o",
                     (dir_ / "again.dxf").string()}).exitCode, 0);
  EXPECT_EQ(ReadWholeFile(dir_ / "again.dxf"), bytes);

  // `varnolt point` of every vertex: the document's positions, to 1e-10 degrees.
  DxfLimits limits;
  limits.include = kIncludePoints;
  const DxfDrawing d = ReadDxfFile(out, limits);
  std::string pairs;
  size_t n = 0;
  for (const Entity& e : d.entities) {
    if (const auto* p = e.As<LwPolyline>()) {
      for (const LwVertex& v : p->vertices) {
        char line[80];
        std::snprintf(line, sizeof line, "%.17g %.17g\n", v.y, v.x);
        pairs += line;
        ++n;
      }
    }
  }
  ASSERT_GT(n, 10u);
  const auto point = Varnolt({"point"}, pairs);
  ASSERT_EQ(point.exitCode, 0) << point.err;
  // The document's positions: the first two numbers of each coordinate line.
  std::vector<std::pair<double, double>> positions;
  std::istringstream kml(ReadWholeFile(kGolden / "families" / "expected.kml"));
  for (std::string line; std::getline(kml, line);) {
    double lon = 0, lat = 0, alt = 0;
    if (std::sscanf(line.c_str(), " %lf,%lf,%lf", &lon, &lat, &alt) == 3) {
      positions.emplace_back(lon, lat);
    }
  }
  std::istringstream answers(point.out);
  size_t answered = 0;
  for (std::string answer; std::getline(answers, answer); ++answered) {
    double lon = 0, lat = 0;
    ASSERT_EQ(std::sscanf(answer.c_str(), "%lf,%lf", &lon, &lat), 2) << answer;
    const bool there = std::any_of(positions.begin(), positions.end(), [&](const auto& p) {
      return std::fabs(p.first - lon) <= 1e-10 && std::fabs(p.second - lat) <= 1e-10;
    });
    EXPECT_TRUE(there) << answer << " is not within 1e-10 degrees of a position of the document";
  }
  EXPECT_EQ(answered, n);

}

#ifndef _WIN32
// ezdxf's auditor, GDAL and LibreCAD (scripts/bootstrap installs them) on the
// drawings of golden documents with folders, rings, 3D polylines, points and texts
// beyond ASCII: tests/import/check_dxf.py says what each found.
TEST_F(ImportCli, IndependentReadersTakeTheDrawings) {
  std::string files;
  for (const char* name : {"families", "layout_folders_attributes", "kinds_solids_polygons",
                           "utf8_r2018", "kinds_points"}) {
    const fs::path out = dir_ / (std::string(name) + ".dxf");
    const auto r = Varnolt({"import", (kGolden / name / "expected.kml").string(), "-o",
                            out.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    files += " '" + out.string() + "'";
  }
  const std::string script =
      (fs::path(VARNOLT_SOURCE_DIR) / "tests" / "import" / "check_dxf.py").string();
  // Debian's interpreter, which has python3-ezdxf, whatever python3 comes first on PATH.
  const int code = std::system(("/usr/bin/python3 '" + script + "'" + files).c_str());
  EXPECT_EQ(code, 0) << "check_dxf.py found a fault (its output is above)";
}
#endif

// Inputs that must be refused, and a part of the line that says why.
struct Bad {
  const char* what;
  std::string bytes;
  const char* detail;
};

std::vector<Bad> BadInputs() {
  const std::string kml =
      "<kml><Placemark><LineString><coordinates>114.5,30.5 114.6,30.6</coordinates>"
      "</LineString></Placemark></kml>";
  const std::string kmz = ZipKmz(kml);
  std::string corrupt = kmz;
  corrupt[corrupt.size() / 2] ^= 0x55;
  corrupt[corrupt.size() / 3] ^= 0x55;
  return {
      {"billion laughs",
       "<?xml version=\"1.0\"?><!DOCTYPE kml [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
       "\"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]><kml><Placemark><name>&b;</name></Placemark></kml>",
       "declares the XML entity \"a\""},
      {"a truncated KMZ", kmz.substr(0, kmz.size() / 2), "not a readable KMZ (zip) archive"},
      {"a corrupt KMZ", corrupt, "not a readable KMZ (zip) archive"},
      {"not XML", "this is no map at all", "is neither KML, KMZ, GPX nor GeoJSON"},
      {"XML of another kind", "<svg xmlns=\"http://www.w3.org/2000/svg\"></svg>",
       "its root element is <svg>"},
      {"a coordinate that is no number",
       "<kml><Placemark><Point><coordinates>114.5,abc</coordinates></Point></Placemark></kml>",
       "line 1: the latitude \"abc\" is not a number"},
      {"a longitude beyond 180",
       "<gpx version=\"1.1\"><wpt lat=\"30\" lon=\"181.5\"/></gpx>",
       "the longitude 181.5"},
      {"a latitude beyond 90", "{\"type\":\"Point\",\"coordinates\":[114.5,91]}",
       "the latitude 91"},
      {"a GPX without geometry", "<gpx version=\"1.1\"><metadata/></gpx>",
       "the GPX holds no geometry"},
      {"a KML without geometry", "<kml><Document><Placemark><name>x</name></Placemark></Document></kml>",
       "the KML holds no geometry (1 empty geometries)"},
      {"broken XML", "<kml><Placemark>", "not well-formed XML"},
      {"broken JSON", "{\"type\": ", "not valid JSON"},
  };
}

TEST_F(ImportCli, BadInputIsRefusedAndWritesNothing) {
  const fs::path out = dir_ / "out.dxf";
  for (const Bad& bad : BadInputs()) {
    SCOPED_TRACE(bad.what);
    Write(dir_ / "in.kml", bad.bytes);
    Write(out, "earlier");
    const auto r = Varnolt({"import", (dir_ / "in.kml").string(), "-o", out.string()});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(kRunFailed), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("in.kml"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(bad.detail), std::string::npos) << r.err;
    EXPECT_EQ(ReadWholeFile(out), "earlier");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 3)
        << "a temporary file was left behind";
  }
}

// --cad is a usage error where no CAD host runs (off Windows) and beside -o everywhere:
// exit 2, nothing written, no file read.
TEST_F(ImportCli, CadIsAUsageErrorWithAnOutputOrOffWindows) {
  const std::string track = (fs::path(VARNOLT_SOURCE_DIR) / "fuzz" / "seeds" / "geo_import" /
                             "track.gpx").string();
  const auto r = Varnolt({"import", track, "--cad", "-o", (dir_ / "t.dxf").string()});
  EXPECT_EQ(r.exitCode, 2) << r.err;
  EXPECT_NE(r.err.find("--cad"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "t.dxf"));
#ifndef _WIN32
  const auto here = Varnolt({"import", track, "--cad"});
  EXPECT_EQ(here.exitCode, 2) << here.err;
  EXPECT_NE(here.err.find("only on Windows"), std::string::npos) << here.err;
#endif
}

// A gigabyte is refused by the size limit before it is read (a sparse file: no disk).
TEST_F(ImportCli, OversizedInputIsRefusedBeforeReading) {
  const fs::path big = dir_ / "big.gpx";
  { std::ofstream(big, std::ios::binary) << "<gpx>"; }
  fs::resize_file(big, uint64_t{1} << 30);
  const auto r = Varnolt({"import", big.string(), "--max-file-size", "512M", "-o",
                          (dir_ / "big.dxf").string()});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("1073741824 bytes, larger than the limit of 536870912 bytes"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "big.dxf"));
  fs::resize_file(big, (uint64_t{1} << 31) + 1);  // beyond the default limit, as convert's
  const auto d = Varnolt({"import", big.string(), "-o", (dir_ / "big.dxf").string()});
  EXPECT_EQ(d.exitCode, 1) << d.err;
  EXPECT_NE(d.err.find("larger than the limit of 2147483648 bytes"), std::string::npos) << d.err;
}

}  // namespace
}  // namespace varnolt
