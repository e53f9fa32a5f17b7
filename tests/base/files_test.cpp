// Files and the platform seam, on every platform the program is built for: an
// atomic replace over an existing file, file names in Chinese, and where the
// settings go when the program's own folder is not writable.
#include "base/files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

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

// A large document goes out in pieces while it is synced in the background, and a
// large drawing comes in as blocks read on two threads: every byte must land in its
// place, whatever the order the blocks are read in, and an odd tail too.
TEST(Files, LargeFilesWrittenAndReadInBlocks) {
  const testing::TempDir dir("varnolt-files");
  ASSERT_FALSE(dir.path().empty());
  const fs::path target = dir.path() / "large.kml";
  std::string bytes(9 * (size_t{1} << 20) + 12345, '\0');
  uint32_t state = 2463534242u;  // xorshift: no block repeats another
  for (char& c : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    c = static_cast<char>(state);
  }
  {
    AtomicFile file(target);
    const std::string_view all = bytes;
    for (size_t at = 0; at < all.size(); at += 700000) file.Write(all.substr(at, 700000));
    file.Commit();
  }
  EXPECT_EQ(Entries(dir.path()), 1u);
  EXPECT_TRUE(ReadFile(target) == bytes);
  const FileBytes read(target, bytes.size());
  EXPECT_TRUE(read.view() == bytes);

  // One byte over the limit fails before anything is read; a missing file names itself.
  try {
    FileBytes tooLarge(target, bytes.size() - 1);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kGeneral);
  }
  try {
    FileBytes missing(dir.path() / "missing.dxf", bytes.size());
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kFileAccess);
    EXPECT_NE(std::string(e.what()).find("missing.dxf"), std::string::npos) << e.what();
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
