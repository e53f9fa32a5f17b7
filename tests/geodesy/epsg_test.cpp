// Every row of the EPSG table against PROJ's database as projinfo prints it, so that
// a wrong row cannot hide; and the codes outside the table.
#include "geodesy/epsg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <regex>
#include <string>

namespace varnolt {
namespace {

TEST(EpsgTable, LooksUpCodesAndRefusesOthers) {
  const auto crs = FindGaussKruegerCrs("EPSG:4526");
  ASSERT_TRUE(crs);
  EXPECT_EQ(crs->datum, Datum::kCgcs2000);
  EXPECT_EQ(crs->meridian, 114);
  EXPECT_EQ(crs->zone, 38);
  EXPECT_FALSE(FindGaussKruegerCrs("EPSG:4326"));   // geographic WGS 84
  EXPECT_FALSE(FindGaussKruegerCrs("EPSG:32650"));  // UTM
  EXPECT_FALSE(FindGaussKruegerCrs("EPSG:4526x"));
  size_t count = 0;
  GaussKruegerCrsTable(count);
  EXPECT_EQ(count, 42u + 11 + 11 + 64 + 64);
}

#ifndef _WIN32
std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
  pclose(pipe);
  return out;
}

TEST(EpsgTable, EveryRowAgreesWithProjinfo) {
  if (Output("command -v projinfo").empty()) {
    GTEST_SKIP() << "projinfo (Debian proj-bin) is not installed: the table is not checked";
  }
  const std::map<Datum, std::string> ellipsoid = {{Datum::kBeijing1954, "krass"},
                                                  {Datum::kXian1980, "IAU76"},
                                                  {Datum::kCgcs2000, "GRS80"}};
  size_t count = 0;
  const GaussKruegerCrs* rows = GaussKruegerCrsTable(count);
  const std::regex parameter(R"(\+(\w+)=(\S+))");
  for (size_t k = 0; k < count; ++k) {
    const GaussKruegerCrs& row = rows[k];
    const std::string out =
        Output("projinfo -o PROJ -q EPSG:" + std::to_string(row.code) + " 2>&1");
    std::map<std::string, std::string> def;
    for (std::sregex_iterator it(out.begin(), out.end(), parameter), end; it != end; ++it) {
      def[(*it)[1]] = (*it)[2];
    }
    SCOPED_TRACE("EPSG:" + std::to_string(row.code) + ": " + out);
    EXPECT_EQ(def["proj"], "tmerc");
    EXPECT_EQ(def["k"], "1");
    EXPECT_EQ(def["ellps"], ellipsoid.at(row.datum));
    EXPECT_EQ(def["lon_0"], std::to_string(row.meridian));
    EXPECT_EQ(def["x_0"], std::to_string(row.zone * 1000000 + 500000));
  }
  std::printf("[ EPSG ] %zu rows checked against projinfo\n", count);
}
#else
TEST(EpsgTable, EveryRowAgreesWithProjinfo) {
  GTEST_SKIP() << "projinfo runs only in the Linux build: the table is checked there";
}
#endif

}  // namespace
}  // namespace varnolt
