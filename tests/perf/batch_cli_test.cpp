// `varnolt convert A.dxf B.dxf ... -d OUTDIR`, folders and (on Windows) wildcards,
// run as a program: each drawing's document equals the one a run on that drawing
// alone writes, a failing drawing is named and does not stop the others, a line
// counts the drawings done and one sums them up, and clashing outputs are refused up
// front.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/paths.h"
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

  // The document a run on `drawing` alone writes into a file of this name.
  std::string Alone(const fs::path& drawing, const std::string& name) {
    const fs::path out = dir_ / "alone" / PathFromUtf8(name);
    fs::create_directories(out.parent_path());
    const auto r = Convert({Utf8(drawing), "-o", Utf8(out)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return ReadWholeFile(out);
  }

  // A folder as colleagues hand it over: a Chinese name, drawings with the extension
  // in either case, one broken, a file that is no drawing and a subfolder.
  fs::path MakeFolder() {
    const fs::path folder = dir_ / PathFromUtf8("测区 图纸");
    fs::create_directories(folder / PathFromUtf8("二期"));
    fs::copy_file(drawings_[0], folder / "families.dxf");
    fs::copy_file(drawings_[1], folder / "TEXTS.DXF");
    std::ofstream(folder / "broken.Dxf", std::ios::binary)
        << "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\nabc\n";
    std::ofstream(folder / "notes.txt", std::ios::binary) << "no drawing";
    fs::copy_file(drawings_[2], folder / PathFromUtf8("二期") / PathFromUtf8("道路.dxf"));
    return folder;
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

TEST_F(BatchCliTest, AFolderConvertsEachDrawingCountsThemAndSumsUp) {
  const fs::path folder = MakeFolder();
  const fs::path out = dir_ / PathFromUtf8("成果");
  auto r = Convert({Utf8(folder), "-d", Utf8(out)});
  EXPECT_EQ(r.exitCode, 1) << r.err;  // one failed
  EXPECT_TRUE(ReadWholeFile(out / "families.kml") == Alone(drawings_[0], "families.kml"));
  EXPECT_TRUE(ReadWholeFile(out / "TEXTS.kml") == Alone(drawings_[1], "TEXTS.kml"));
  EXPECT_FALSE(fs::exists(out / "broken.kml"));
  EXPECT_FALSE(fs::exists(out / "notes.kml"));
  EXPECT_FALSE(fs::exists(out / PathFromUtf8("二期")));  // not without --recursive
  // In name order, each drawing's line says how far the batch has come.
  const size_t first = r.err.find("[1/3] " + Utf8(folder / "TEXTS.DXF") + " -> ");
  const size_t second = r.err.find("[2/3] " + Utf8(folder / "broken.Dxf") + " failed");
  const size_t third = r.err.find("[3/3] " + Utf8(folder / "families.dxf") + " -> ");
  EXPECT_TRUE(first < second && second < third && third != std::string::npos) << r.err;
  EXPECT_NE(r.err.find(Utf8(folder / "broken.Dxf") + ": "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("varnolt: 2 converted, 1 failed\n"), std::string::npos) << r.err;

  // With --recursive the subfolder's drawing too, in the same subfolder of OUTDIR.
  const fs::path tree = dir_ / "tree";
  r = Convert({Utf8(folder), "--recursive", "-d", Utf8(tree)});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_TRUE(ReadWholeFile(tree / PathFromUtf8("二期") / PathFromUtf8("道路.kml")) ==
              Alone(drawings_[2], "道路.kml"));
  EXPECT_NE(r.err.find("varnolt: 3 converted, 1 failed\n"), std::string::npos) << r.err;

  // A folder with no drawing, and -o with a folder, are usage errors naming why.
  fs::create_directories(dir_ / "empty");
  r = Convert({Utf8(dir_ / "empty"), "-d", Utf8(out)});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("'" + Utf8(dir_ / "empty") + "' holds no .dxf drawing"), std::string::npos)
      << r.err;
  r = Convert({Utf8(folder), "-o", Utf8(dir_ / "one.kml")});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_FALSE(fs::exists(dir_ / "one.kml"));
}

// cmd.exe hands "*.dxf" over as it is: the program expands it as dir would, in any
// letter case and with Chinese names; a pattern that matches nothing is named.
TEST_F(BatchCliTest, WildcardsAreExpandedAsDirListsThem) {
#ifndef _WIN32
  GTEST_SKIP() << "on Linux the shell expands wildcards";
#else
  const fs::path folder = MakeFolder();
  fs::copy_file(drawings_[3], folder / PathFromUtf8("道路.dxf"));
  const fs::path out = dir_ / "out";
  auto r = Convert({Utf8(folder / "*.dxf"), "-d", Utf8(out)});
  EXPECT_EQ(r.exitCode, 1) << r.err;  // broken.Dxf matches too
  for (const char* name : {"families.kml", "TEXTS.kml", "道路.kml"}) {
    EXPECT_TRUE(fs::exists(out / PathFromUtf8(name))) << name << "\n" << r.err;
  }
  EXPECT_FALSE(fs::exists(out / "notes.kml"));
  EXPECT_NE(r.err.find("varnolt: 3 converted, 1 failed\n"), std::string::npos) << r.err;

  const fs::path two = dir_ / "two";
  r = Convert({Utf8(folder / "??.DXF"), "-d", Utf8(two)});  // 道路 only: two letters
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(ReadWholeFile(two / PathFromUtf8("道路.kml")) ==
              Alone(drawings_[3], "道路.kml"));
  EXPECT_EQ(std::distance(fs::directory_iterator(two), fs::directory_iterator()), 1);

  r = Convert({Utf8(folder / "*.dwg"), "-d", Utf8(dir_ / "none")});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("'" + Utf8(folder / "*.dwg") + "' matches no file"), std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "none"));
#endif
}

}  // namespace
}  // namespace varnolt
