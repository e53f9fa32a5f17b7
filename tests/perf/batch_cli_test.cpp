// `varnolt convert A.dxf B.dxf ... -d OUTDIR`, run as a program: each drawing's
// document equals the one a run on that drawing alone writes, a failing drawing is
// named and does not stop the others, and clashing outputs are refused up front.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run_process.h"
#include "temp_dir.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;
using testing::RunProcess;

const std::string kSettingsText =
    "10\r\n114.3\r\n100\r\n6\r\n-0.0335\r\n0.039\r\n10\r\n-1\r\n0\r\n1\r\n";

class BatchCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty()) << "no temporary folder";
    dir_ = temp_.path();
    std::ofstream(dir_ / "Varnolt.ini", std::ios::binary) << kSettingsText;
    // Drawings of every kind the golden cases hold, each under its own name.
    for (const char* c : {"families", "texts", "bulges_arcs_on", "r12_polyline",
                          "gbk_r2000", "closed_polylines"}) {
      const fs::path to = dir_ / "in" / (std::string(c) + ".dxf");
      fs::create_directories(to.parent_path());
      fs::copy_file(fs::path(VARNOLT_SOURCE_DIR) / "tests/golden" / c / "drawing.dxf", to);
      drawings_.push_back(to);
    }
  }

  testing::ProcessResult Convert(std::vector<std::string> args) {
    std::vector<std::string> argv = {VARNOLT_BINARY, "convert"};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.end(), {"--settings", (dir_ / "Varnolt.ini").string()});
    return RunProcess(argv);
  }

  testing::TempDir temp_{"varnolt-batch"};
  fs::path dir_;
  std::vector<fs::path> drawings_;
};

TEST_F(BatchCliTest, EachDocumentEqualsTheOneOfARunOnItsDrawingAlone) {
  std::vector<std::string> args;
  for (const fs::path& d : drawings_) args.push_back(d.string());
  args.insert(args.end(), {"-d", (dir_ / "out").string()});
  const auto batch = Convert(args);
  ASSERT_EQ(batch.exitCode, 0) << batch.err;
  for (const fs::path& d : drawings_) {
    const fs::path alone = dir_ / "alone" / d.filename().replace_extension(".kml");
    fs::create_directories(alone.parent_path());
    const auto one = Convert({d.string(), "-o", alone.string()});
    ASSERT_EQ(one.exitCode, 0) << one.err;
    const std::string expected = ReadWholeFile(alone);
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(ReadWholeFile(dir_ / "out" / d.filename().replace_extension(".kml")) ==
                expected)
        << d;
    // Each drawing's completion line, once.
    const std::string done = "KML文件转换完成！ <" +
                             (dir_ / "out" / d.filename().replace_extension(".kml")).string();
    EXPECT_NE(batch.err.find(done), std::string::npos) << batch.err;
  }
  // Only the documents: no temporaries left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "out"), fs::directory_iterator()),
            static_cast<long>(drawings_.size()));
}

TEST_F(BatchCliTest, AFailingDrawingIsNamedAndTheOthersStillConvert) {
  const fs::path missing = dir_ / "in" / "missing.dxf";
  const fs::path broken = dir_ / "in" / "broken.dxf";
  std::ofstream(broken, std::ios::binary) << "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\nabc\n";
  const auto r = Convert({drawings_[0].string(), missing.string(), broken.string(),
                          drawings_[1].string(), "-d", (dir_ / "out").string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("varnolt: 读取文件被取消！"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(missing.string() + ": "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(broken.string() + ": "), std::string::npos) << r.err;
  EXPECT_TRUE(fs::exists(dir_ / "out" / "families.kml"));
  EXPECT_TRUE(fs::exists(dir_ / "out" / "texts.kml"));
  EXPECT_FALSE(fs::exists(dir_ / "out" / "missing.kml"));
  EXPECT_FALSE(fs::exists(dir_ / "out" / "broken.kml"));
}

TEST_F(BatchCliTest, ClashingOutputsAndOneOutputForManyAreUsageErrors) {
  fs::create_directories(dir_ / "other");
  const fs::path twin = dir_ / "other" / "families.dxf";
  fs::copy_file(drawings_[0], twin);
  const auto clash =
      Convert({drawings_[0].string(), twin.string(), "-d", (dir_ / "out").string()});
  EXPECT_EQ(clash.exitCode, 2) << clash.err;
  EXPECT_FALSE(fs::exists(dir_ / "out" / "families.kml"));

  const auto one = Convert({drawings_[0].string(), drawings_[1].string(), "-o",
                            (dir_ / "x.kml").string()});
  EXPECT_EQ(one.exitCode, 2) << one.err;
  EXPECT_FALSE(fs::exists(dir_ / "x.kml"));
}

TEST_F(BatchCliTest, WithoutAFolderEachDocumentGoesBesideItsDrawing) {
  const auto r = Convert({drawings_[0].string(), drawings_[1].string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir_ / "in" / "families.kml"));
  EXPECT_TRUE(fs::exists(dir_ / "in" / "texts.kml"));
}

}  // namespace
}  // namespace varnolt
