// Files and the platform seam, on every platform the program is built for: an
// atomic replace over an existing file, file names in Chinese, and where the
// settings go when the program's own folder is not writable.
#include "base/files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/error.h"
#include "base/paths.h"
#include "base/platform.h"
#include "temp_dir.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;

size_t Entries(const fs::path& dir) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(Files, AtomicReplaceOverAnExistingFile) {
  const testing::TempDir dir("varnolt-files");
  ASSERT_FALSE(dir.path().empty());
  const fs::path target = dir.path() / "road.kml";
  WriteFileAtomically(target, "earlier");
  WriteFileAtomically(target, "later\r\n");
  EXPECT_EQ(ReadFile(target), "later\r\n");
  EXPECT_EQ(Entries(dir.path()), 1u);  // no temporary left beside it

  // Dropped before Commit: the earlier file stays, the temporary goes.
  {
    AtomicFile file(target);
    file.Write("half a document");
  }
  EXPECT_EQ(ReadFile(target), "later\r\n");
  EXPECT_EQ(Entries(dir.path()), 1u);
}

TEST(Files, ChineseFileNamesRoundTrip) {
  const testing::TempDir dir("varnolt-files");
  ASSERT_FALSE(dir.path().empty());
  const fs::path folder = dir.path() / PathFromUtf8("测绘");
  fs::create_directory(folder);
  const fs::path target = folder / PathFromUtf8("道路_计算结果.txt");
  WriteFileAtomically(target, "标识\r\n");
  EXPECT_EQ(ReadFile(target), "标识\r\n");
  EXPECT_EQ(Utf8(target.filename()), "道路_计算结果.txt");
  EXPECT_EQ(Utf8(fs::directory_iterator(folder)->path().filename()), "道路_计算结果.txt");
  // A missing file is a file access failure that names the path in UTF-8.
  try {
    ReadFile(folder / PathFromUtf8("无.dxf"));
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kFileAccess);
    EXPECT_NE(std::string(e.what()).find("无.dxf"), std::string::npos) << e.what();
  }
}

TEST(Platform, SettingsFolders) {
  const testing::TempDir dir("varnolt-files");
  ASSERT_FALSE(dir.path().empty());
  EXPECT_TRUE(DirectoryWritable(dir.path()));
  EXPECT_EQ(Entries(dir.path()), 0u);  // the probe leaves nothing
  EXPECT_FALSE(DirectoryWritable(dir.path() / "missing"));
  EXPECT_FALSE(ExecutableDirectory().empty());
  EXPECT_TRUE(fs::is_directory(ExecutableDirectory()));

  // The user's own folder follows the platform's variable for it.
#ifdef _WIN32
  const char* variable = "APPDATA";
  const fs::path expected = dir.path() / "Varnolt";
#else
  const char* variable = "XDG_CONFIG_HOME";
  const fs::path expected = dir.path() / "varnolt";
#endif
  const char* old = std::getenv(variable);
  const std::string saved = old != nullptr ? old : "";
#ifdef _WIN32
  _putenv_s(variable, dir.path().string().c_str());
#else
  ::setenv(variable, dir.path().c_str(), 1);
#endif
  EXPECT_EQ(UserSettingsDirectory(), expected);
#ifdef _WIN32
  _putenv_s(variable, saved.c_str());
#else
  if (old != nullptr) {
    ::setenv(variable, saved.c_str(), 1);
  } else {
    ::unsetenv(variable);
  }
#endif
}

}  // namespace
}  // namespace varnolt
