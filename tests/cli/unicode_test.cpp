// Chinese folder and file names through the command line: the drawing, the output,
// the control points, the result table and --settings, each named in UTF-8 on the
// command line and found on disk under that name, on Linux and Windows alike.
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

fs::path Golden(const std::string& name) {
  return fs::path(VARNOLT_SOURCE_DIR) / "tests" / "golden" / name;
}

TEST(CliUnicode, ChineseNamesForDrawingOutputPointsAndSettings) {
  const testing::TempDir temp("varnolt-unicode");
  ASSERT_FALSE(temp.path().empty());
  const fs::path dir = temp.path() / PathFromUtf8("测绘 成果");
  fs::create_directories(dir);
  const fs::path drawing = dir / PathFromUtf8("道路.dxf");
  const fs::path settings = dir / PathFromUtf8("设置.ini");
  fs::copy_file(Golden("families") / "drawing.dxf", drawing);
  fs::copy_file(Golden("families") / "Varnolt.ini", settings);
  const std::string exe = VARNOLT_BINARY;

  // The output beside the drawing, named after it, and one named on the command line.
  auto r = RunProcess({exe, "convert", Utf8(drawing), "--settings", Utf8(settings)});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string beside = ReadWholeFile(dir / PathFromUtf8("道路.kml"));
  EXPECT_NE(beside.find("\t<name>道路</name>\r\n"), std::string::npos);
  EXPECT_NE(r.err.find("KML文件转换完成！ <" + Utf8(dir / PathFromUtf8("道路.kml")) + ">"),
            std::string::npos)
      << r.err;
  const fs::path named = dir / PathFromUtf8("families.kml");
  r = RunProcess({exe, "convert", Utf8(drawing), "-o", Utf8(named), "--settings",
                  Utf8(settings)});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(ReadWholeFile(named) == ReadWholeFile(Golden("families") / "expected.kml"));

  // Control points in a Chinese file; the table beside them; --save into 设置.ini.
  const fs::path points = dir / PathFromUtf8("控制点.txt");
  std::ofstream(points, std::ios::binary)
      << "GPS01 3381245.312 481906.447 30.33008619 114.18435554\r\n";
  r = RunProcess({exe, "correct", Utf8(points), "--save", "--settings", Utf8(settings)});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir / PathFromUtf8("控制点_计算结果.txt")));
  const std::string saved = ReadWholeFile(settings);
  EXPECT_NE(saved.find("\r\n114.3\r\n"), std::string::npos) << saved;  // the rest kept
  EXPECT_EQ(saved.find("-0.0335\r\n"), std::string::npos) << saved;   // corrections saved

  // A point read with the settings of that file.
  r = RunProcess({exe, "point", "3380000", "500000", "--settings", Utf8(settings),
                  "--lat-correction", "0", "--lon-correction", "0"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 6), "114.5,");
}

}  // namespace
}  // namespace varnolt
