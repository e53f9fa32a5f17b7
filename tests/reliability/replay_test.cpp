// Replays every committed fuzz finding, and the hand-made seeds, through the bodies
// of the fuzz targets. A body aborts on a finding, so a regression fails the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "fuzz/targets.h"
#include "text/numtext.h"

namespace varnolt::fuzz {
namespace {

namespace fs = std::filesystem;

const fs::path kFuzzDir = fs::path(VARNOLT_SOURCE_DIR) / "fuzz";

std::vector<fs::path> FilesIn(const fs::path& dir) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

void Replay(const Target& target, const fs::path& file) {
  SCOPED_TRACE(file.string());
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(target.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
}

class ReplayTest : public ::testing::TestWithParam<Target> {};

TEST_P(ReplayTest, CommittedFindings) {
  for (const fs::path& file : FilesIn(kFuzzDir / "regressions" / GetParam().name)) {
    Replay(GetParam(), file);
  }
}

TEST_P(ReplayTest, Seeds) {
  for (const fs::path& file : FilesIn(kFuzzDir / "seeds" / GetParam().name)) {
    Replay(GetParam(), file);
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, ReplayTest, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.name); });

// A finding filed under a name no target has would never be replayed.
TEST(Replay, EveryRegressionFolderIsATarget) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(kFuzzDir / "regressions", ec)) {
    if (!entry.is_directory()) continue;
    const std::string name = entry.path().filename().string();
    const bool known = std::any_of(std::begin(kTargets), std::end(kTargets),
                                   [&](const Target& t) { return t.name == name; });
    EXPECT_TRUE(known) << "fuzz/regressions/" << name << " names no fuzz target";
  }
}

// The drawings the fuzzer starts from convert without a finding in this build too.
TEST(Replay, SeedDrawings) {
  const fs::path root(VARNOLT_SOURCE_DIR);
  std::vector<fs::path> drawings = FilesIn(root / "examples");
  for (const auto& entry : fs::directory_iterator(root / "tests" / "golden")) {
    if (fs::exists(entry.path() / "drawing.dxf")) drawings.push_back(entry.path() / "drawing.dxf");
  }
  for (const fs::path& file : drawings) {
    if (file.extension() == ".dxf") Replay(kTargets[0], file);
  }
}

// Found by the leading_number target: the 15-digit text of the largest doubles
// (1.79769313486232E+308) lies past the double range; Round15 gave 0 for them.
TEST(Replay, Round15OfTheLargestDoubles) {
  const double largest = std::numeric_limits<double>::max();
  EXPECT_EQ(Round15(largest), std::numeric_limits<double>::infinity());
  EXPECT_EQ(Round15(-largest), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(Round15(1.79769313486231e308), 1.79769313486231e308);
  EXPECT_EQ(Round15(-1e308), -1e308);
}

}  // namespace
}  // namespace varnolt::fuzz
