#include "settings/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/error.h"
#include "base/files.h"
#include "temp_dir.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace varnolt {
namespace {

namespace fs = std::filesystem;

const char kDefaultFile[] = "10\r\n115\r\n100\r\n6\r\n-0.0335\r\n0.039\r\n10\r\n-1\r\n0\r\n0\r\n";

// A fresh folder per test, removed afterwards.
class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty()) << "no temporary folder";
    dir_ = temp_.path();
  }

  fs::path Write(const std::string& bytes) {
    fs::path path = dir_ / "Varnolt.ini";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  testing::TempDir temp_{"varnolt-settings"};
  fs::path dir_;
};

// A settings value unlike the defaults in every field.
Settings Custom() {
  Settings s;
  s.Text1 = "5";
  s.Text2 = "114.3";
  s.Text3 = "";
  s.Text4 = "3";
  s.Text5 = "";
  s.Text6 = " 0.041 ";
  s.Text7 = "中央 20";
  s.Option1 = false;
  s.Option2 = true;
  s.Check1 = 1;
  return s;
}

// --- Writing ---------------------------------------------------------------

TEST(SettingsText, DefaultsGiveTheTenLineFile) {
  EXPECT_EQ(SettingsFileText(Settings{}), kDefaultFile);
}

TEST(SettingsText, NeitherDatumSelectedAndCheckedBox) {
  Settings s;
  s.Option1 = false;
  s.Check1 = 1;
  EXPECT_EQ(SettingsFileText(s),
            "10\r\n115\r\n100\r\n6\r\n-0.0335\r\n0.039\r\n10\r\n0\r\n0\r\n1\r\n");
}

TEST_F(SettingsFileTest, SaveThenLoadGivesTheSameSettings) {
  fs::path path = dir_ / "Varnolt.ini";
  SaveSettings(path, Custom());
  EXPECT_EQ(LoadSettings(path), Custom());
  SaveSettings(path, Settings{});  // replaces the earlier file
  EXPECT_EQ(ReadFile(path), kDefaultFile);
  EXPECT_EQ(LoadSettings(path), Settings{});
}

TEST_F(SettingsFileTest, SaveCreatesMissingFolders) {
  fs::path path = dir_ / "config" / "varnolt" / "Varnolt.ini";
  SaveSettings(path, Custom());
  EXPECT_EQ(LoadSettings(path), Custom());
}

TEST_F(SettingsFileTest, FailedSaveThrowsNamingThePathAndKeepsTheOldFile) {
  fs::path blocker = Write(kDefaultFile);  // a file where a folder is needed
  fs::path path = blocker / "Varnolt.ini";
  try {
    SaveSettings(path, Custom());
    FAIL() << "saving below a file succeeded";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kFileAccess);
    EXPECT_NE(std::string(e.what()).find(path.string()), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadFile(blocker), kDefaultFile);
}

TEST(SettingsPath, BesideTheExecutableWhenItsFolderIsWritable) {
  // The test program's own folder (the build tree) is writable.
#ifdef _WIN32
  std::wstring name(32768, L'\0');
  name.resize(::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size())));
  fs::path exe = name;
#else
  fs::path exe = fs::read_symlink("/proc/self/exe");
#endif
  EXPECT_EQ(DefaultSettingsPath(), exe.parent_path() / "Varnolt.ini");
}

// --- Reading ---------------------------------------------------------------

TEST_F(SettingsFileTest, MissingFileOrFolderGivesDefaults) {
  EXPECT_EQ(LoadSettings(dir_ / "absent.ini"), Settings{});
  EXPECT_EQ(LoadSettings(dir_), Settings{});  // a folder, not a file
}

TEST(SettingsParse, NineLinesGiveAllDefaults) {
  // Lines that were present do not survive: all or nothing.
  Settings s = Custom();
  EXPECT_FALSE(ParseSettings("5\r\n114.3\r\n100\r\n6\r\n\r\n0.039\r\n10\r\n-1\r\n0\r\n", s));
  EXPECT_EQ(s, Custom()) << "a failed parse must leave its target untouched";
  EXPECT_FALSE(ParseSettings("", s));
}

TEST_F(SettingsFileTest, BadLinesGiveAllDefaults) {
  const std::string head = "5\r\n114.3\r\n100\r\n6\r\n\r\n0.039\r\n10\r\n";
  for (const std::string& tail : {
           std::string("yes\r\n0\r\n0\r\n"),   // line 8 not a boolean
           std::string("-1\r\n\r\n0\r\n"),     // line 9 empty
           std::string("-1\r\n0\r\n3\r\n"),    // no such check-box state
           std::string("-1\r\n0\r\n-1\r\n"),
           std::string("-1\r\n0\r\nabc\r\n"),
           std::string("-1\r\n0\r\n\r\n"),     // empty tenth line
       }) {
    EXPECT_EQ(LoadSettings(Write(head + tail)), Settings{}) << tail;
  }
}

TEST(SettingsParse, BooleanForms) {
  const std::string head = "10\r\n115\r\n100\r\n6\r\n-0.0335\r\n0.039\r\n10\r\n";
  struct Case {
    const char* lines89;
    bool option1, option2;
  } cases[] = {
      {"True\r\nFalse\r\n", true, false},
      {"TRUE\r\nfalse\r\n", true, false},
      {"false\r\ntRuE\r\n", false, true},
      {"0\r\n0\r\n", false, false},   // neither selected
      {"-1\r\n-1\r\n", false, true},  // selecting Option2 clears Option1
      {"2\r\n0\r\n", true, false},    // any non-zero number is true
      {"0\r\n0.5\r\n", false, true},
  };
  for (const Case& c : cases) {
    Settings s;
    ASSERT_TRUE(ParseSettings(head + c.lines89 + "0\r\n", s)) << c.lines89;
    EXPECT_EQ(s.Option1, c.option1) << c.lines89;
    EXPECT_EQ(s.Option2, c.option2) << c.lines89;
  }
}

TEST(SettingsParse, CheckBoxStates) {
  const std::string head = "10\r\n115\r\n100\r\n6\r\n-0.0335\r\n0.039\r\n10\r\n-1\r\n0\r\n";
  for (int state : {0, 1, 2}) {
    Settings s;
    ASSERT_TRUE(ParseSettings(head + std::to_string(state) + "\r\n", s));
    EXPECT_EQ(s.Check1, state);
  }
}

TEST(SettingsParse, TextLinesKeptAsTheyAre) {
  Settings s;
  ASSERT_TRUE(ParseSettings(" 10 \r\n115abc\r\n\r\n6\r\n\r\n0.039\r\n\t7\r\n-1\r\n0\r\n0\r\n", s));
  EXPECT_EQ(s.Text1, " 10 ");
  EXPECT_EQ(s.Text2, "115abc");
  EXPECT_EQ(s.Text3, "");
  EXPECT_EQ(s.Text5, "") << "an empty correction line means no correction";
  EXPECT_EQ(s.Text7, "\t7");
}

TEST(SettingsParse, LineEndsAndBom) {
  Settings lf, bom, noFinalEnd;
  ASSERT_TRUE(ParseSettings("5\n114.3\n100\n6\n\n0.039\n10\n0\n-1\n1\n", lf));
  ASSERT_TRUE(ParseSettings(std::string("\xEF\xBB\xBF") + kDefaultFile, bom));
  ASSERT_TRUE(ParseSettings("10\r\n115\r\n100\r\n6\r\n-0.0335\r\n0.039\r\n10\r\n-1\r\n0\r\n0",
                            noFinalEnd));
  EXPECT_EQ(lf.Text1, "5");
  EXPECT_EQ(lf.Text5, "");
  EXPECT_TRUE(lf.Option2);
  EXPECT_EQ(lf.Check1, 1);
  EXPECT_EQ(bom, Settings{}) << "the mark must not end up in Text1";
  EXPECT_EQ(bom.Text1, "10");
  EXPECT_EQ(noFinalEnd, Settings{});
}

TEST(SettingsParse, LinesAfterTheTenthIgnored) {
  Settings s = Custom();
  ASSERT_TRUE(ParseSettings(std::string(kDefaultFile) + "extra\r\nmore\r\n", s));
  EXPECT_EQ(s, Settings{});
}

// Extra settings ride after the tenth line: a file with them round-trips, keys it
// does not know survive, and the ten lines read exactly as without them.
TEST(SettingsParse, ExtraLinesRoundTripAndLeaveTheTenAlone) {
  const std::string file = std::string(kDefaultFile) + "datum=cgcs2000\r\nfuture = x=y\r\n";
  Settings s;
  ASSERT_TRUE(ParseSettings(file, s));
  EXPECT_EQ(s.Extra("datum"), "cgcs2000");
  EXPECT_EQ(s.Extra("future"), "x=y");
  EXPECT_EQ(SettingsFileText(s), std::string(kDefaultFile) + "datum=cgcs2000\r\nfuture=x=y\r\n");
  s.SetExtra("datum", "");
  s.SetExtra("future", "");
  EXPECT_EQ(s, Settings{});
  EXPECT_EQ(SettingsFileText(s), kDefaultFile);
}

TEST(SettingsParse, Gb18030TextDecoded) {
  // "中央" in GB18030 is D6 D0 D1 EB.
  Settings s;
  ASSERT_TRUE(ParseSettings(
      "\xD6\xD0\xD1\xEB\r\n115\r\n100\r\n6\r\n-0.0335\r\n0.039\r\n10\r\n-1\r\n0\r\n0\r\n", s));
  EXPECT_EQ(s.Text1, "中央");
}

TEST_F(SettingsFileTest, GarbageGivesDefaults) {
  std::string garbage;
  for (int i = 0; i < 300; ++i) {
    garbage += static_cast<char>(0x80 + (i * 37) % 128);
    if (i % 20 == 19) garbage += "\r\n";  // enough lines, none of them a value
  }
  EXPECT_EQ(LoadSettings(Write(garbage)), Settings{});
}

}  // namespace
}  // namespace varnolt
