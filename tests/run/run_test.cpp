#include "run/run.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>
#include <utility>

#include "base/error.h"
#include "base/files.h"
#include "base/paths.h"
#include "cad/dxf.h"
#include "cad/kind_words.h"
#include "convert/convert.h"
#include "kml/style.h"
#include "dxf_groups.h"
#include "entity_access.h"
#include "temp_dir.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;

struct Recorder : RunReporter {
  std::vector<std::string> prompts;
  std::vector<std::string> warnings;
  std::vector<std::string> converting;  // ProgressPrompt of each Converting call
  std::vector<std::pair<int64_t, int64_t>> progress;
  void Prompt(const std::string& text) override { prompts.push_back(text); }
  void Warning(const RunWarning& warning) override { warnings.push_back(warning.english); }
  void Progress(int64_t done, int64_t total) override { progress.emplace_back(done, total); }
  void Converting(int family, int64_t i, int64_t count) override {
    converting.push_back(ProgressPrompt(family, i, count));
  }
};

Entity Line(int color, double x = 512000, double y = 3380000) {
  return test::Make(varnolt::Line{{x, y, 0}, {x + 5, y, 0}}, color);
}

Entity Circle(int color) { return test::Make(varnolt::Circle{{512000, 3380000, 0}, 10}, color); }

Entity Arc(int color) {
  return test::Make(varnolt::Arc{{512000, 3380000, 0}, 10, 0, 1}, color);
}

Entity Text(const std::string& s) {
  varnolt::Text t;
  t.insertion = {512000, 3380000, 0};
  t.textstring = s;
  return test::Make(t, 1);
}

Entity MText(const std::string& s) {
  varnolt::MText t;
  t.insertion = {512000, 3380000, 0};
  t.textstring = s;
  return test::Make(t, 1);
}

Entity Pline(int color) {
  return test::Make(test::Pline({512000, 3380000, 512003, 3380004}), color);
}

std::string Slurp(const fs::path& p) { return ReadFile(p); }

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

struct RunTest : ::testing::Test {
  testing::TempDir temp{"varnolt-run"};
  fs::path dir;
  Settings settings;
  Recorder reporter;

  void SetUp() override {
    ASSERT_FALSE(temp.path().empty()) << "no temporary folder";
    dir = temp.path();
  }

  MemorySource Source(std::vector<Entity> entities) {
    return MemorySource({{"0", 7}, {"blue", 5}}, std::move(entities), "test.dxf");
  }

  std::string Run(std::vector<Entity> entities, const std::string& name = "road.kml",
                  RunResult* result = nullptr) {
    MemorySource source = Source(std::move(entities));
    const RunResult r = RunConversion(source, settings, dir / name, reporter);
    if (result != nullptr) *result = r;
    return Slurp(dir / name);
  }

  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // The Placemark names in document order.
  static std::vector<std::string> Names(const std::string& doc) { return test::PlacemarkNames(doc); }
};

TEST_F(RunTest, LinesAndCircle) {
  RunResult result;
  const std::string doc = Run({Line(1), Circle(3), Line(3)}, "road.kml", &result);
  EXPECT_EQ(Names(doc), (std::vector<std::string>{"line1", "line2", "arc1"}));
  EXPECT_EQ(reporter.converting,
            (std::vector<std::string>{"====== 正在转换直线  第 1 个 / 共 2 个 ======",
                                      "====== 正在转换直线  第 2 个 / 共 2 个 ======",
                                      "====== 正在转换圆  第 1 个 / 共 1 个 ======"}));
  EXPECT_EQ(reporter.progress,
            (std::vector<std::pair<int64_t, int64_t>>{{1, 3}, {2, 3}, {3, 3}}));
  EXPECT_EQ(result.entities, 3);
  EXPECT_EQ(result.points, 2 + 2 + 101);
  // Each Placemark its own colour; one style pair per colour, colour 1 first.
  EXPECT_EQ(Count(doc, "<styleUrl>#m_colorFF0000FF_width6</styleUrl>"), 1u);
  EXPECT_EQ(Count(doc, "<styleUrl>#m_colorFF00FF00_width6</styleUrl>"), 2u);
  const size_t folder = doc.find("\t</Folder>\r\n\r\n\t<Style id=\"s_colorFF0000FF_width6\">");
  ASSERT_NE(folder, std::string::npos);
  EXPECT_GT(doc.find("\t<Style id=\"s_colorFF00FF00_width6\">"), folder);
  EXPECT_EQ(Count(doc, "<Style id="), 2u);
  EXPECT_EQ(Count(doc, "<StyleMap id="), 2u);
}

TEST_F(RunTest, FamiliesInFixedOrderWhateverTheSelection) {
  const std::string doc =
      Run({Text("K1+200"), Line(1), Pline(1), Arc(1), Circle(1), Arc(1), Circle(1),
           MText("说明")});
  EXPECT_EQ(Names(doc), (std::vector<std::string>{"pline1", "K1+200", "说明", "line1",
                                                  "arc1", "arc2", "arc1", "arc2"}));
  EXPECT_EQ(reporter.converting.front(), "====== 正在转换多段线  第 1 个 / 共 1 个 ======");
  EXPECT_EQ(reporter.converting[2], "====== 正在转换多行文本  第 1 个 / 共 1 个 ======");
  EXPECT_EQ(reporter.converting[4], "====== 正在转换圆弧  第 1 个 / 共 2 个 ======");
  const Entity poly3d =
      test::Make(Polyline3d{{{512000, 3380000, 0}, {512001, 3380000, 0}}}, 1);
  reporter.converting.clear();
  const std::string doc2 = Run({Line(1), poly3d, poly3d}, "b.kml");
  EXPECT_EQ(Names(doc2), (std::vector<std::string>{"3dpline1", "3dpline2", "line1"}));
  EXPECT_EQ(reporter.converting.front(), "====== 正在转换三维多段线  第 1 个 / 共 2 个 ======");
}

TEST_F(RunTest, ColoursResolvedSortedAndDistinct) {
  Entity byBlock = Line(0);
  Entity byLayer = Line(256);
  byLayer.layer = "blue";  // colour 5
  const std::string doc = Run({Line(7), byBlock, Line(1), byLayer, Line(7), Line(1)});
  EXPECT_NE(doc.find("<styleUrl>#m_colorFF808080_width6</styleUrl>"), std::string::npos);
  EXPECT_NE(doc.find("<styleUrl>#m_colorFFFF0000_width6</styleUrl>"), std::string::npos);
  // Colours 1, 5, 7, 8 in ascending order, each once.
  const size_t c1 = doc.find("<Style id=\"s_colorFF0000FF");
  const size_t c5 = doc.find("<Style id=\"s_colorFFFF0000");
  const size_t c7 = doc.find("<Style id=\"s_colorFFFFFFFF");
  const size_t c8 = doc.find("<Style id=\"s_colorFF808080");
  ASSERT_NE(c8, std::string::npos);
  EXPECT_LT(c1, c5);
  EXPECT_LT(c5, c7);
  EXPECT_LT(c7, c8);
  EXPECT_EQ(Count(doc, "<Style id="), 4u);
}

TEST_F(RunTest, WidthInEveryKeyAndStyle) {
  settings.Text4 = "0.5";
  const std::string doc = Run({Line(1), Circle(1)});
  EXPECT_EQ(Count(doc, "<styleUrl>#m_colorFF0000FF_width.5</styleUrl>"), 2u);
  EXPECT_EQ(Count(doc, "<width>.5</width>"), 1u);
  EXPECT_EQ(doc.find("width6"), std::string::npos);
}

TEST_F(RunTest, DocumentFrameAndPrompts) {
  RunResult result;
  const std::string doc = Run({Text("K12+300")}, "road.kml", &result);
  EXPECT_EQ(doc.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n", 0), 0u);
  EXPECT_NE(doc.find("\t<name>road</name>\r\n"), std::string::npos);
  // The header's write adds an empty line; so does each Placemark's and each style's.
  EXPECT_NE(doc.find("\t\t<open>1</open>\r\n\r\n\t\t<Placemark>\r\n"), std::string::npos);
  EXPECT_NE(doc.find("\t\t</Placemark>\r\n\r\n\r\n\t</Folder>\r\n\r\n\t<Style id="),
            std::string::npos);
  const std::string tail = "\t</StyleMap>\r\n\r\n\r\n</Document>\r\n\r\n</kml>\r\n\r\n \r\n";
  ASSERT_GE(doc.size(), tail.size());
  EXPECT_EQ(doc.substr(doc.size() - tail.size()), tail);

  ASSERT_EQ(reporter.prompts.size(), 4u);
  EXPECT_EQ(reporter.prompts[0], "====== 选择文本、直线、多段线、三维多段线、圆、圆弧 ======");
  EXPECT_EQ(reporter.prompts[1], "====== 正在处理，请稍等！ ======");
  EXPECT_EQ(reporter.prompts[2], ElapsedPrompt(result.seconds));
  EXPECT_EQ(reporter.prompts[3],
            "★★★★★  KML文件转换完成！ <" + (dir / "road.kml").string() + ">  ★★★★★");
  EXPECT_EQ(Files(), std::vector<std::string>{"road.kml"});
}

TEST(Prompts, ElapsedAndProgressWording) {
  EXPECT_EQ(ElapsedPrompt(75), "====== < 1分15秒 > ======");
  EXPECT_EQ(ElapsedPrompt(59), "====== < 0分59秒 > ======");
  EXPECT_EQ(ElapsedPrompt(0), "====== < 0分0秒 > ======");
  EXPECT_EQ(ElapsedPrompt(3605), "====== < 60分5秒 > ======");
  EXPECT_EQ(ProgressPrompt(0, 3, 12), "====== 正在转换多段线  第 3 个 / 共 12 个 ======");
  EXPECT_EQ(ProgressPrompt(6, 40000, 40000),
            "====== 正在转换圆  第 40000 个 / 共 40000 个 ======");
  EXPECT_EQ(CompletionPrompt("/d/a.kml"), "★★★★★  KML文件转换完成！ </d/a.kml>  ★★★★★");
}

TEST_F(RunTest, NamesAreEscapedInTheDocument) {
  const std::string doc = Run({Text("A&B<C>")}, "a&b.kml");
  EXPECT_NE(doc.find("\t<name>a&amp;b</name>\r\n"), std::string::npos);
  EXPECT_NE(doc.find("\t\t\t<name>A&amp;B&lt;C&gt;</name>\r\n"), std::string::npos);
}

TEST_F(RunTest, EmptySelectionFails) {
  for (auto entities : {std::vector<Entity>{}}) {
    try {
      Run(entities);
      FAIL() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::kGeneral);
      EXPECT_STREQ(e.what(),
                   "nothing was selected: no line, arc, circle, polyline, 3D polyline, text "
                   "or multiline text");
    }
    EXPECT_TRUE(Files().empty());
  }
}

TEST_F(RunTest, MissingLayerFailsNamingEntityAndLayer) {
  Entity e = Line(256);
  e.layer = "gone";
  e.handle = "2F";
  e.sourceLine = 120;
  try {
    Run({Line(1), e});
    FAIL() << "no error";
  } catch (const Error& err) {
    EXPECT_EQ(err.kind(), ErrorKind::kGeneral);
    const std::string what = err.what();
    EXPECT_NE(what.find("line (handle 2F, line 120 of test.dxf)"), std::string::npos) << what;
    EXPECT_NE(what.find("\"gone\""), std::string::npos) << what;
  }
  EXPECT_TRUE(Files().empty());
}

// The cap on one document's points, lowered so that a few lines reach it: the run
// stops at the entity that crosses it, names it, and writes nothing.
TEST_F(RunTest, DocumentPointLimitStopsTheRunAtTheEntityThatCrossesIt) {
  { std::ofstream(dir / "road.kml") << "earlier"; }
  std::vector<Entity> lines;
  for (int i = 0; i < 40; ++i) {
    Entity e = Line(1);  // 5 m with Text1 10: start and end, two points each
    e.handle = "H" + std::to_string(i);
    lines.push_back(e);
  }
  for (unsigned threads : {1u, 0u}) {
    MemorySource source = Source(lines);
    try {
      RunConversion(source, settings, dir / "road.kml", reporter, threads, 50);
      FAIL() << "no error";
    } catch (const Error& err) {
      const std::string what = err.what();
      EXPECT_NE(what.find("more than 50 points"), std::string::npos) << what;
      EXPECT_NE(what.find("handle H25,"), std::string::npos) << what;  // 26 lines: 52 points
    }
    EXPECT_EQ(Slurp(dir / "road.kml"), "earlier");
    EXPECT_EQ(Files(), std::vector<std::string>{"road.kml"});
  }
  MemorySource source = Source(lines);
  EXPECT_EQ(RunConversion(source, settings, dir / "road.kml", reporter, 0, 80).points, 80);
}

TEST_F(RunTest, FailureLeavesEarlierFileUntouchedAndNoTemporary) {
  { std::ofstream(dir / "road.kml") << "earlier"; }
  settings.Text1 = "0";
  Entity e = Line(1);
  e.handle = "1F";
  e.sourceLine = 7;
  try {
    Run({Circle(1), e});
    FAIL() << "no error";
  } catch (const Error& err) {
    EXPECT_EQ(err.kind(), ErrorKind::kGeneral);
    EXPECT_EQ(std::string(err.what()).rfind(
                  "line (handle 1F, line 7 of test.dxf): 直线最小分段长度 (Text1) is 0", 0),
              0u)
        << err.what();
  }
  EXPECT_EQ(Slurp(dir / "road.kml"), "earlier");
  EXPECT_EQ(Files(), std::vector<std::string>{"road.kml"});
  // The completion prompts are not given.
  EXPECT_EQ(reporter.prompts.size(), 2u);
}

TEST_F(RunTest, SuccessReplacesEarlierFile) {
  { std::ofstream(dir / "road.kml") << "earlier"; }
  const std::string doc = Run({Line(1)});
  EXPECT_EQ(doc.rfind("<?xml", 0), 0u);
  EXPECT_EQ(Files(), std::vector<std::string>{"road.kml"});
}

TEST_F(RunTest, BadOutputPathsFailBeforeAnythingIsPicked) {
  MemorySource source = Source({Line(1)});
  try {
    RunConversion(source, settings, dir / "ab", reporter);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kGeneral);
  }
  try {
    RunConversion(source, settings, dir / "missing" / "road.kml", reporter);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kFileAccess);
  }
  try {
    RunConversion(source, settings, fs::path(), reporter);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kFileAccess);
  }
  EXPECT_TRUE(reporter.prompts.empty());
  EXPECT_TRUE(Files().empty());
}

TEST_F(RunTest, KmzHoldsTheSameDocumentAsDocKml) {
  const std::string kml = Run({Line(1), Text("K1")}, "site.kml");
  Run({Line(1), Text("K1")}, "site.kmz");
  EXPECT_EQ(Files(), (std::vector<std::string>{"site.kml", "site.kmz"}));

  int err = 0;
  zip_t* za = zip_open((dir / "site.kmz").string().c_str(), ZIP_RDONLY, &err);
  ASSERT_NE(za, nullptr) << err;
  ASSERT_EQ(zip_get_num_entries(za, 0), 1);
  EXPECT_STREQ(zip_get_name(za, 0, 0), "doc.kml");
  zip_stat_t st;
  ASSERT_EQ(zip_stat_index(za, 0, 0, &st), 0);
  std::string inner(st.size, '\0');
  zip_file_t* zf = zip_fopen_index(za, 0, 0);
  ASSERT_NE(zf, nullptr);
  EXPECT_EQ(zip_fread(zf, inner.data(), inner.size()), static_cast<zip_int64_t>(st.size));
  zip_fclose(zf);
  zip_close(za);
  EXPECT_EQ(inner, kml);
}

TEST_F(RunTest, WarnsOnceAboutZoneNumbers) {
  Run({Line(1, 38512000), Line(1, 38512100), Line(1)});
  ASSERT_EQ(reporter.warnings.size(), 1u);
  EXPECT_NE(reporter.warnings[0].find("zone number"), std::string::npos);
}

TEST_F(RunTest, WarnsOnceAboutFarFromTheCentralMeridian) {
  // 400 km east of the meridian at 30.5 N is about 4.2 degrees.
  Run({Circle(1), Line(1, 900000), Line(1, 900000)});
  ASSERT_EQ(reporter.warnings.size(), 1u);
  EXPECT_NE(reporter.warnings[0].find("likely a wrong central meridian"), std::string::npos);
  EXPECT_NE(reporter.warnings[0].find("\"115\""), std::string::npos);
}

// The central meridian's check and its words agree: 73 to 135 degrees east.
TEST_F(RunTest, WarnsAboutACentralMeridianOutside73To135) {
  for (const auto& [meridian, warns] :
       {std::pair{"72.5959", true}, std::pair{"73", false}, std::pair{"135", false},
        std::pair{"135.0001", true}}) {
    SCOPED_TRACE(meridian);
    settings.Text2 = meridian;
    reporter.warnings.clear();
    // On the central meridian, so that only the meridian itself can be warned about.
    Run({Line(1, 500000)});
    ASSERT_EQ(reporter.warnings.size(), warns ? 1u : 0u);
    if (warns) {
      EXPECT_NE(reporter.warnings[0].find("73 to 135"), std::string::npos);
    }
  }
}

// The elapsed time counts from when the user started, as whole-second clock readings.
TEST_F(RunTest, ElapsedTimeCountsFromTheGivenStart) {
  MemorySource source = Source({Line(1)});
  OutputDocument output(dir / "road.kml");
  RunOptions options;
  options.started = std::chrono::system_clock::now() - std::chrono::seconds(75);
  const RunResult result = RunConversion(source, settings, output, reporter, options);
  EXPECT_GE(result.seconds, 75);
  EXPECT_LE(result.seconds, 77);
  EXPECT_EQ(reporter.prompts[reporter.prompts.size() - 2], ElapsedPrompt(result.seconds));
  using std::chrono::milliseconds;
  const std::chrono::system_clock::time_point second{std::chrono::seconds(1000)};
  EXPECT_EQ(ElapsedSeconds(second + milliseconds(900), second + milliseconds(1100)), 1);
  EXPECT_EQ(ElapsedSeconds(second + milliseconds(100), second + milliseconds(900)), 0);
}

// What a source left out is summed up once, after the completion prompt, by kind
// with its count, naming the one option list that converts the kinds that can be.
TEST_F(RunTest, SkippedKindsSummedUpAfterTheRun) {
  struct Skipping : MemorySource {
    using MemorySource::MemorySource;
    std::vector<SkippedKind> Skipped() const override {
      return {{"INSERT", 120}, {"POINT", 40}, {"HELIX", 2}, {"DIMENSION", 3}};
    }
  };
  Skipping source({{"0", 7}}, {Line(1)}, "test.dxf");
  RunConversion(source, settings, dir / "road.kml", reporter);
  ASSERT_EQ(reporter.warnings.size(), 1u);
  EXPECT_EQ(reporter.warnings[0],
            "not converted: block references 120, points 40, HELIX 2, dimensions 3; "
            "--include blocks,points converts all but the HELIX");
  EXPECT_EQ(reporter.prompts.back(), CompletionPrompt(Utf8(dir / "road.kml")));
  EXPECT_EQ(SkippedWarning({}), std::nullopt);
  EXPECT_EQ(SkippedWarning({{"DIMENSION", 3}}, kIncludeBlocks)->english,
            "not converted: dimensions 3; no option converts these kinds");
  EXPECT_EQ(SkippedWarning({{"POINT", 1}})->chinese,
            "未转换: 点 1；在“转换选项”中选择（命令行 --include points）即可转换");
}

// Every set of include bits reads back from its own text; unknown names are refused.
TEST(IncludeList, TextRoundTripsAndUnknownNamesFail) {
  for (unsigned bits = 0; bits <= (kIncludeAll | kIncludeMeshes | kIncludeLeaders | kIncludeFrames);
       ++bits) {
    EXPECT_EQ(ParseIncludeList(IncludeListText(bits)), bits) << IncludeListText(bits);
  }
  EXPECT_EQ(ParseIncludeList(" Blocks , HATCHES"), kIncludeBlocks | kIncludeHatches);
  EXPECT_EQ(ParseIncludeList("none"), 0u);
  EXPECT_EQ(ParseIncludeList("blocks,trees"), std::nullopt);
}

// Every entity a real drawing yields with everything included (the reader's counts
// are ezdxf's, checked in the reader's own tests) becomes one Placemark: nothing
// the reader hands over is lost or refused on the way to the document.
TEST_F(RunTest, RealDrawingsWithEverythingIncludedGiveAPlacemarkPerEntity) {
  const fs::path corpus = fs::path(VARNOLT_SOURCE_DIR) / ".." / "shared" / "testdata" / "dxf";
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "no DXF corpus at " << corpus;
  settings.SetExtra("include", "all");
  DxfLimits all;
  all.include = kIncludeAll;
  int files = 0;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    if (entry.path().extension() != ".dxf") continue;
    SCOPED_TRACE(entry.path().filename().string());
    DxfDrawing drawing;
    try {
      drawing = ReadDxfFile(entry.path(), all);
    } catch (const Error&) {
      continue;  // not a DXF drawing (the reader's tests say which and why)
    }
    if (drawing.entities.empty()) continue;
    const size_t entities = drawing.entities.size();
    DxfSource source(std::move(drawing), "corpus.dxf");
    const RunResult r = RunConversion(source, settings, dir / "corpus.kml", reporter);
    EXPECT_EQ(r.entities, static_cast<int64_t>(entities));
    EXPECT_EQ(Count(Slurp(dir / "corpus.kml"), "<Placemark>"), entities);
    ++files;
  }
  EXPECT_GT(files, 30);
}

TEST_F(RunTest, NoWarningsForAnOrdinaryDrawing) {
  // 300 km east is within 3.5 degrees.
  Run({Line(1), Circle(2), Pline(3), Text("K1"), Line(1, 800000)});
  EXPECT_TRUE(reporter.warnings.empty());
}

}  // namespace
}  // namespace varnolt
