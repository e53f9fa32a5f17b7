// Every golden document read by real KML/XML clients: xmllint must find it
// well-formed, and GDAL's KML reader (ogrinfo) must see the same Placemarks, names,
// point counts and style references that the file holds. Skipped where the tools
// are not installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "golden_cases.h"
#include "run_process.h"

namespace varnolt {
namespace {

using testing::Feature;
using testing::FeaturesInFile;
using testing::GoldenCases;
using testing::GoldenDir;
using testing::ReadBytes;
using testing::RunProcess;
using testing::ToolAvailable;

// What ogrinfo reports: one feature per "OGRFeature(...)" block. A name of several
// lines goes on on lines of its own, not indented.
std::vector<Feature> FeaturesFromOgrinfo(const std::string& out, long& featureCount) {
  std::vector<Feature> features;
  featureCount = -1;
  static const std::regex countLine("^Feature Count: ([0-9]+)$");
  static const std::regex nameLine("^  Name \\(String\\) = (.*)$");
  static const std::regex styleLine("^  Style = @(.*)$");
  static const std::regex geometryLine(
      "^  (POINT|LINESTRING|POLYGON|MULTILINESTRING|MULTIPOLYGON|GEOMETRYCOLLECTION)( Z)? (.*)$");
  std::istringstream lines(out);
  std::string line;
  std::smatch m;
  bool inName = false;
  while (std::getline(lines, line)) {
    const bool wasInName = inName;
    inName = false;
    if (wasInName && !line.empty() && line[0] != ' ' && line.rfind("OGRFeature(", 0) != 0) {
      features.back().name += "\n" + line;
      inName = true;
    } else if (std::regex_match(line, m, countLine)) {
      // One layer per Folder: the counts add up.
      featureCount = std::max(featureCount, 0L) + std::stol(m[1]);
    } else if (line.rfind("OGRFeature(", 0) == 0) {
      features.emplace_back();
    } else if (!features.empty() && std::regex_match(line, m, nameLine)) {
      features.back().name = m[1];
      inName = true;
    } else if (!features.empty() && std::regex_match(line, m, styleLine)) {
      features.back().style = m[1];
    } else if (!features.empty() && std::regex_match(line, m, geometryLine)) {
      const std::string body = m[3];
      if (body != "EMPTY") features.back().points = 1 + std::count(body.begin(), body.end(), ',');
    }
  }
  return features;
}

class KmlClientTest : public ::testing::TestWithParam<std::string> {
 protected:
  std::string Path() const { return (GoldenDir() / GetParam() / "expected.kml").string(); }
};

TEST_P(KmlClientTest, XmllintFindsTheDocumentWellFormed) {
  if (!ToolAvailable("xmllint")) GTEST_SKIP() << "xmllint (libxml2-utils) is not installed";
  auto r = RunProcess({"xmllint", "--noout", Path()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
}

TEST_P(KmlClientTest, OgrinfoSeesEveryPlacemark) {
  if (!ToolAvailable("ogrinfo")) GTEST_SKIP() << "ogrinfo (gdal-bin) is not installed";
  const std::vector<Feature> inFile = FeaturesInFile(ReadBytes(Path()));
  ASSERT_FALSE(inFile.empty());
  auto r = RunProcess({"ogrinfo", "-ro", "-al", Path()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  long count = 0;
  const std::vector<Feature> read = FeaturesFromOgrinfo(r.out, count);
  EXPECT_EQ(count, static_cast<long>(inFile.size()));
  ASSERT_EQ(read.size(), inFile.size()) << r.out.substr(0, 2000);
  for (size_t i = 0; i < read.size(); ++i) {
    SCOPED_TRACE("Placemark " + std::to_string(i + 1) + " " + inFile[i].name);
    // An XML reader takes a line break CR LF as LF.
    EXPECT_EQ(read[i].name, std::regex_replace(inFile[i].name, std::regex("\r\n"), "\n"));
    EXPECT_EQ(read[i].style, inFile[i].style);  // the shared style was found by its id
    EXPECT_EQ(read[i].points, inFile[i].points);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, KmlClientTest, ::testing::ValuesIn(GoldenCases()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace varnolt
