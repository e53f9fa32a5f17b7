// The bad-input table of docs/reliability.md, row by row: the `varnolt` program run
// on each hostile input. Every failure must give the system's message and a line
// that says what is wrong, exit 1 within the time limit, leave the earlier output
// file as it was and leave no partial file; the rows marked accepted must give
// exactly the behaviour the table states.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/paths.h"
#include "cad/dxf.h"
#include "child.h"
#include "temp_dir.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;
using testing::ChildOptions;
using testing::ChildResult;
using testing::RunChild;

const std::string kCancelled = "读取文件被取消！";
const std::string kRunFailed = "数据文件格式有误、操作不当或其它未知错误！";
const std::string kBadData = "数据文件格式有误或操作不当！";
const std::string kEarlier = "<kml>an earlier document</kml>\r\n";

// A failure's two lines must stay readable, whatever the input held.
constexpr size_t kLongestMessage = 1000;

// The system's words, which the program passes on, for a missing file and a missing
// folder.
#ifdef _WIN32
std::string SystemText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string utf8;
  if (n > 0) {
    const int wide = static_cast<int>(n);
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, wide, nullptr, 0, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(size));
    ::WideCharToMultiByte(CP_UTF8, 0, text, wide, utf8.data(), size, nullptr, nullptr);
  }
  if (text != nullptr) ::LocalFree(text);
  while (!utf8.empty() && std::isspace(static_cast<unsigned char>(utf8.back()))) utf8.pop_back();
  return utf8;
}
const std::string kNoSuchFile = SystemText(ERROR_FILE_NOT_FOUND);
const std::string kNoSuchFolder = SystemText(ERROR_PATH_NOT_FOUND);
#else
const std::string kNoSuchFile = "No such file or directory";
const std::string kNoSuchFolder = kNoSuchFile;
#endif

fs::path Source(const std::string& relative) { return fs::path(VARNOLT_SOURCE_DIR) / relative; }

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// One drawing of the seven families; its settings file is the golden case's.
const fs::path kDrawing = Source("tests/golden/families/drawing.dxf");

// An ASCII DXF with the given ENTITIES section body (group lines, LF ends).
std::string Dxf(const std::string& entities) {
  return "0\nSECTION\n2\nENTITIES\n" + entities + "0\nENDSEC\n0\nEOF\n";
}

std::string LineAt(const std::string& x, const std::string& y) {
  return "0\nLINE\n5\n1A\n8\n0\n62\n1\n10\n" + x + "\n20\n" + y +
         "\n30\n0\n11\n500100\n21\n3380100\n31\n0\n";
}

class BadInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty()) << "no temporary folder";
    dir_ = temp_.path();
    // Readable by the unprivileged user of the read-only folder row.
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    settings_ = dir_ / "Varnolt.ini";
    settingsText_ = ReadBytes(Source("tests/golden/families/Varnolt.ini"));
    WriteBytes(settings_, settingsText_);
    out_ = dir_ / "out.kml";
  }

  // The folder must be the owner's again before TempDir removes it.
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
  }

  ChildResult Varnolt(std::vector<std::string> args, const ChildOptions& options = {}) {
    args.insert(args.begin(), VARNOLT_BINARY);
    args.push_back("--settings");
    args.push_back(settings_.string());
    return RunChild(args, options);
  }

  // varnolt convert DRAWING -o out.kml [extra...] over an earlier out.kml.
  ChildResult Convert(const fs::path& drawing, std::vector<std::string> extra = {},
                      const ChildOptions& options = {}) {
    WriteBytes(out_, kEarlier);
    std::vector<std::string> args = {"convert", drawing.string(), "-o", out_.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return Varnolt(args, options);
  }

  // Names in the folder other than those given.
  std::vector<std::string> Extra(std::vector<std::string> known, const fs::path& folder = {}) {
    known.push_back("Varnolt.ini");
    std::vector<std::string> extra;
    for (const auto& entry : fs::directory_iterator(folder.empty() ? dir_ : folder)) {
      const std::string name = entry.path().filename().string();
      if (std::find(known.begin(), known.end(), name) == known.end()) extra.push_back(name);
    }
    return extra;
  }

  // Exit 1, the message and a detail line holding `detail`, nothing hung or killed,
  // the earlier output intact, no other file, the settings file unchanged.
  void ExpectFailure(const ChildResult& r, const std::string& message, const std::string& detail,
                     std::vector<std::string> known = {}) {
    EXPECT_FALSE(r.hung);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, 1) << r.err.substr(0, kLongestMessage);
    const size_t at = r.err.find("varnolt: " + message + "\n");
    ASSERT_NE(at, std::string::npos) << r.err.substr(0, kLongestMessage);
    const std::string rest = r.err.substr(at + message.size() + 10);
    EXPECT_NE(rest.find(detail), std::string::npos) << rest.substr(0, kLongestMessage);
    EXPECT_LT(rest.size(), kLongestMessage) << "an unreadably long message";
    EXPECT_EQ(ReadBytes(out_), kEarlier);
    known.push_back(out_.filename().string());
    EXPECT_EQ(Extra(known), std::vector<std::string>{});
    EXPECT_EQ(ReadBytes(settings_), settingsText_);
  }

  // Exit 0, a complete document at out.kml, the settings file unchanged.
  std::string ExpectConverted(const ChildResult& r) {
    EXPECT_FALSE(r.hung);
    EXPECT_EQ(r.exitCode, 0) << r.err.substr(0, kLongestMessage);
    const std::string doc = ReadBytes(out_);
    EXPECT_TRUE(doc.starts_with("<?xml") && doc.ends_with("</kml>\r\n\r\n \r\n"));
    EXPECT_EQ(ReadBytes(settings_), settingsText_);
    return doc;
  }

  // A real drawing cut at every 1% of its length. A cut after the ENTITIES section
  // has closed may pass (some writers leave out "0 EOF"), and must then give the
  // whole document; every other cut fails as an incomplete file.
  void TruncateEverywhere(const fs::path& drawing, const std::string& detail,
                          const std::string& fullDocument, size_t entitiesEnd) {
    const std::string bytes = ReadBytes(drawing);
    const fs::path in = dir_ / "cut.dxf";
    for (int percent = 1; percent < 100; ++percent) {
      const size_t cut = bytes.size() * static_cast<size_t>(percent) / 100;
      SCOPED_TRACE("cut at " + std::to_string(percent) + "% (" + std::to_string(cut) + " bytes)");
      WriteBytes(in, bytes.substr(0, cut));
      const ChildResult r = Convert(in);
      if (r.exitCode == 0 && cut > entitiesEnd) {
        EXPECT_TRUE(ReadBytes(out_) == fullDocument);
      } else {
        ExpectFailure(r, kRunFailed, detail, {"cut.dxf"});
      }
    }
  }

  testing::TempDir temp_{"varnolt-bad"};
  fs::path dir_, settings_, out_;
  std::string settingsText_;
};

// --- the drawing ------------------------------------------------------------------

TEST_F(BadInputTest, DrawingThatCannotBeRead) {
  ExpectFailure(Convert(dir_ / "nosuch.dxf"), kCancelled, kNoSuchFile);
  // A folder stands for the drawings in it: one that holds none is a usage error
  // naming it, before anything is written.
  fs::create_directory(dir_ / "folder.dxf");
  const ChildResult folder = Convert(dir_ / "folder.dxf");
  EXPECT_EQ(folder.exitCode, 2);
  EXPECT_NE(folder.err.find("folder.dxf' holds no .dxf drawing"), std::string::npos) << folder.err;
  EXPECT_EQ(ReadBytes(out_), kEarlier);
  WriteBytes(dir_ / "empty.dxf", "");
  ExpectFailure(Convert(dir_ / "empty.dxf"), kRunFailed, "empty.dxf is empty",
                {"folder.dxf", "empty.dxf"});
}

TEST_F(BadInputTest, FilesThatAreNoDxf) {
  struct Row {
    const char* label;
    std::string bytes;
    std::string detail;
  };
  const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x06\0\0\0", 29);
  const std::string dwg("AC1015\0\0\0\0\0\x0f\x01\0\0\0\x1c\0\0\0\x03\0", 22);
  const std::string dwgR14("AC1014\0\0\0\0\0\x0f\x01", 14);
  const Row rows[] = {
      {"a PNG picture", png, "is not a DXF file"},
      {"a DWG drawing", dwg, "DWG is not supported; save the drawing as DXF"},
      {"an R14 DWG drawing", dwgR14, "DWG is not supported; save the drawing as DXF"},
      {"garbage group codes", "0\nSECTION\n2\nENTITIES\n0\nLINE\nten\n500000\n", "line 7: a group code was expected"},
      {"a group code out of range", "0\nSECTION\n2\nENTITIES\n99999\nx\n0\nENDSEC\n0\nEOF\n", "line 5"},
      {"a binary header with its line ends changed", "AutoCAD Binary DXF\n\x1a", "damaged binary DXF header"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    WriteBytes(dir_ / "in.dxf", row.bytes);
    ExpectFailure(Convert(dir_ / "in.dxf"), kRunFailed, row.detail, {"in.dxf"});
  }
}

// A 10 MB line where a group code or a number belongs is reported in a short
// message; as the text of a TEXT entity it is taken whole.
TEST_F(BadInputTest, TenMegabyteLine) {
  const std::string huge(10'000'000, 'x');
  WriteBytes(dir_ / "in.dxf", Dxf(huge + "\n"));
  ExpectFailure(Convert(dir_ / "in.dxf"), kRunFailed, "a group code was expected", {"in.dxf"});
  WriteBytes(dir_ / "in.dxf", Dxf("0\nLINE\n10\n" + std::string(10'000'000, '1') + "\n20\n0\n"));
  ExpectFailure(Convert(dir_ / "in.dxf"), kRunFailed, "group 10 is not a number", {"in.dxf"});

  std::string text;
  for (int i = 0; i < 3'500'000 / 3; ++i) text += "测站号";
  WriteBytes(dir_ / "in.dxf",
             Dxf("0\nTEXT\n8\n0\n62\n1\n10\n500000\n20\n3380000\n30\n0\n1\n" + text + "\n"));
  const std::string doc = ExpectConverted(Convert(dir_ / "in.dxf"));
  EXPECT_NE(doc.find("<name>" + text + "</name>"), std::string::npos);
}

TEST_F(BadInputTest, CoordinatesThatAreNoPlace) {
  struct Row {
    const char* label;
    std::string entities;
    std::string detail;
  };
  const Row rows[] = {
      {"NaN easting", LineAt("nan", "3380000"), "line 13: the value of group 10 is not a finite number"},
      {"NaN northing", LineAt("500000", "NaN"), "line 15: the value of group 20 is not a finite number"},
      {"infinite easting", LineAt("inf", "3380000"), "group 10 is not a finite number"},
      {"infinite northing", LineAt("500000", "-infinity"), "group 20 is not a finite number"},
      {"easting 1e308", LineAt("1e308", "3380000"),
       "line (handle 1A, line 5 of in.dxf): a straight segment of length Infinity m"},
      {"northing 1e308", LineAt("500000", "1e308"), "line (handle 1A, line 5 of in.dxf)"},
      {"circle at northing 1e308",
       "0\nCIRCLE\n8\n0\n10\n500000\n20\n1e308\n30\n0\n40\n5\n", "the northing lies beyond 100 000 km"},
      {"circle at easting 1e308",
       "0\nCIRCLE\n8\n0\n10\n1e308\n20\n3380000\n30\n0\n40\n5\n", "the easting lies more than 100 000 km from the central meridian"},
      {"radius 1e308", "0\nCIRCLE\n8\n0\n10\n500000\n20\n3380000\n30\n0\n40\n1e308\n",
       "circle (line 5 of in.dxf): cannot project"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    WriteBytes(dir_ / "in.dxf", Dxf(row.entities));
    ExpectFailure(Convert(dir_ / "in.dxf"), kRunFailed, row.detail, {"in.dxf"});
  }
}

// Eastings written with their zone number in front (38 500 100 m) project to
// nonsense without any error: the run warns once and converts.
TEST_F(BadInputTest, EastingsWithZoneNumbersWarn) {
  WriteBytes(dir_ / "in.dxf", Dxf(LineAt("38500100", "3380000") + LineAt("38500200", "3380050")));
  const ChildResult r = Convert(dir_ / "in.dxf");
  ExpectConverted(r);
  const std::string warning = "the easting 38500100 m of line (handle 1A, line 5 of in.dxf) is "
                              "above 1000000 m and looks like it carries a zone number in "
                              "front (38: zone 38 has the central meridian 114 degrees)";
  ASSERT_NE(r.err.find("varnolt: warning: " + warning), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--zone auto"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("warning", r.err.find(warning) + warning.size()), std::string::npos)
      << "warned more than once:\n" << r.err;
}

TEST_F(BadInputTest, AsciiDrawingTruncatedAtEveryPercent) {
  ASSERT_EQ(Convert(kDrawing).exitCode, 0);
  const std::string full = ReadBytes(out_);
  const std::string bytes = ReadBytes(kDrawing);
  const size_t entities = bytes.find("ENTITIES");
  ASSERT_NE(entities, std::string::npos);
  const size_t entitiesEnd = bytes.find("ENDSEC", entities);
  TruncateEverywhere(
kDrawing, "the file is incomplete", full, entitiesEnd);
}

TEST_F(BadInputTest, BinaryDrawingTruncatedAtEveryPercent) {
  const fs::path drawing = Source("tests/cad/data/binary_r2018.dxf");
  const ChildResult whole = Convert(drawing);
  ASSERT_EQ(whole.exitCode, 0) << whole.err;
  const std::string full = ReadBytes(out_);
  const std::string bytes = ReadBytes(drawing);
  const size_t entities = bytes.find(std::string("ENTITIES\0", 9));
  ASSERT_NE(entities, std::string::npos);
  const size_t entitiesEnd = bytes.find(std::string("ENDSEC\0", 7), entities);
  TruncateEverywhere(
drawing, "incomplete", full, entitiesEnd);
}

// --- limits -----------------------------------------------------------------------

// Content that only --include reads, made hostile: each is refused with its
// reason, exit 1, the earlier document intact, nothing else written.
TEST_F(BadInputTest, HostileBlocksHatchesAndSplines) {
  const std::string blocks = "0\nSECTION\n2\nBLOCKS\n";
  const std::string entities = "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n";
  const std::string end = "0\nENDSEC\n0\nEOF\n";
  auto block = [](const std::string& name, const std::string& body) {
    return "0\nBLOCK\n2\n" + name + "\n10\n0\n20\n0\n" + body + "0\nENDBLK\n";
  };
  auto insert = [](const std::string& name, const std::string& more = "") {
    return "0\nINSERT\n8\n0\n2\n" + name + "\n10\n500000\n20\n3380000\n" + more;
  };
  const std::string line = "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n";
  std::string deep = block("L0", line);
  for (int k = 1; k <= 1000; ++k) {
    deep += block("L" + std::to_string(k), insert("L" + std::to_string(k - 1)));
  }
  const struct {
    const char* what;
    std::string dxf;
    const char* detail;
  } rows[] = {
      {"a block inserting itself", blocks + block("SELF", insert("SELF")) + entities +
                                       insert("SELF") + end,
       "the block \"SELF\" contains itself"},
      {"two blocks inserting each other",
       blocks + block("A", insert("B")) + block("B", insert("A")) + entities + insert("A") + end,
       "contains itself (\"A\" -> \"B\" -> \"A\")"},
      {"1000 levels", blocks + deep + entities + insert("L1000") + end,
       "more than 200 levels deep"},
      {"a 10000 x 10000 MINSERT",
       blocks + block("G", line) + entities +
           insert("G", "70\n10000\n71\n10000\n44\n1\n45\n1\n") + end,
       "place more than 1000000 entities"},
      {"a HATCH of ten million edges",
       "0\nSECTION\n2\nENTITIES\n0\nHATCH\n8\n0\n91\n1\n92\n1\n93\n10000000\n72\n1\n" + end,
       "the HATCH has more than 1000000 edges"},
      {"a SPLINE whose knots decrease",
       "0\nSECTION\n2\nENTITIES\n0\nSPLINE\n8\n0\n71\n1\n40\n0\n40\n1\n40\n0.5\n"
       "10\n500000\n20\n3380000\n10\n500001\n20\n3380001\n" + end,
       "the SPLINE's knots decrease"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    WriteBytes(dir_ / "in.dxf", row.dxf);
    ExpectFailure(Convert(dir_ / "in.dxf", {"--include", "all", "--strict"}), kRunFailed,
                  row.detail, {"in.dxf"});
  }
}

TEST_F(BadInputTest, LimitsGiveClearErrors) {
  ExpectFailure(Convert(kDrawing, {"--max-file-size", "1K"}), kRunFailed,
                "bytes, larger than the limit of 1024 bytes");
  ExpectConverted(Convert(kDrawing, {"--max-file-size", "64K"}));
  const ChildResult usage = Convert(kDrawing, {"--max-file-size", "lots"});
  EXPECT_EQ(usage.exitCode, 2);

  // A polyline that declares more vertices than any drawing may hold.
  WriteBytes(dir_ / "in.dxf",
             Dxf("0\nLWPOLYLINE\n8\n0\n90\n10000001\n70\n0\n10\n500000\n20\n3380000\n"));
  ExpectFailure(Convert(dir_ / "in.dxf"), kRunFailed,
                "the LWPOLYLINE has more than 10000000 vertices", {"in.dxf"});

  // A line of 2000 km cut every 0.1 m would take 20 million points.
  WriteBytes(dir_ / "in.dxf", Dxf(LineAt("500000", "3380000").replace(
                                  LineAt("500000", "3380000").find("21\n3380100"), 10,
                                  "21\n5380000")));
  ExpectFailure(Convert(dir_ / "in.dxf", {"--segment", "0.1"}), kRunFailed,
                "points, more than the 10000000 one Placemark may hold", {"in.dxf"});
}

// The vertices present count too, in both polyline forms (a small limit stands in
// for the ten million).
TEST(Limits, VerticesPresentInOnePolyline) {
  DxfLimits limits;
  limits.maxVertices = 3;
  std::string lw = "0\nLWPOLYLINE\n8\n0\n";
  std::string r12 = "0\nPOLYLINE\n8\n0\n66\n1\n70\n8\n";
  for (int i = 0; i < 4; ++i) {
    const std::string x = std::to_string(500000 + i);
    lw += "10\n" + x + "\n20\n3380000\n";
    r12 += "0\nVERTEX\n8\n0\n10\n" + x + "\n20\n3380000\n30\n0\n70\n32\n";
  }
  r12 += "0\nSEQEND\n";
  for (const std::string& entities : {lw, r12}) {
    try {
      ParseDxf(Dxf(entities), "v.dxf", limits);
      ADD_FAILURE() << "four vertices passed a limit of three";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("more than 3 vertices"), std::string::npos) << e.what();
    }
  }
  limits.maxVertices = 4;
  EXPECT_EQ(ParseDxf(Dxf(lw), "v.dxf", limits).entities.size(), 1u);
  EXPECT_EQ(ParseDxf(Dxf(r12), "v.dxf", limits).entities.size(), 1u);
}

// --- settings ---------------------------------------------------------------------

// The coordinates of the first Placemark named `name`.
std::string Coordinates(const std::string& doc, const std::string& name) {
  const size_t at = doc.find("<name>" + name + "</name>");
  if (at == std::string::npos) return "";
  const size_t from = doc.find("<coordinates>", at) + 13;
  return doc.substr(from, doc.find("</coordinates>", from) - from);
}

size_t CountLines(const std::string& s) { return static_cast<size_t>(std::count(s.begin(), s.end(), '\n')); }

// Negative, zero and letters in each of the seven texts, given as this call's
// override (the same text the settings file would hold).
TEST_F(BadInputTest, NegativeZeroAndLettersInEachSetting) {
  const std::string base = ExpectConverted(Convert(kDrawing));
  auto run = [&](const std::string& option, const std::string& value) {
    SCOPED_TRACE(option + " " + value);
    return ExpectConverted(Convert(kDrawing, {option, value}));
  };

  // Text1: negative means no intermediate points (a line keeps only its end point,
  // a polyline its vertices); 0 and letters (read as 0) cannot cut anything.
  {
    const std::string doc = run("--segment", "-10");
    EXPECT_EQ(CountLines(Coordinates(doc, "line1")), 2u);  // the end point and the indent line
    EXPECT_LT(doc.size(), base.size());
    for (const char* v : {"0", "abc"}) {
      SCOPED_TRACE(std::string(v));
      ExpectFailure(Convert(kDrawing, {"--segment", v}), kRunFailed, "直线最小分段长度 (Text1) is 0");
    }
  }
  // Text2: any number is a central meridian (-114.3 reads as -115 deg + 70 min);
  // letters read as 0 degrees. Either converts, with a warning that the meridian lies
  // outside China's zones; an ordinary one gives none.
  for (const char* v : {"-114.3", "0", "abc"}) {
    SCOPED_TRACE(std::string(v));
    const ChildResult r = Convert(kDrawing, {"--meridian", v});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("outside China's zones"), std::string::npos) << r.err;
  }
  EXPECT_EQ(Convert(kDrawing, {"--meridian", "114.3"}).err.find("outside China's zones"),
            std::string::npos);
  {
    const std::string west = run("--meridian", "-114.3");
    EXPECT_TRUE(Coordinates(west, "line1").find("\t-113.7") != std::string::npos)
        << Coordinates(west, "line1");
    const std::string zero = run("--meridian", "0");
    EXPECT_TRUE(Coordinates(zero, "line1").find("\t0.1") != std::string::npos)
        << Coordinates(zero, "line1");
    EXPECT_TRUE(run("--meridian", "abc") == zero);
  }
  // Text3 is stored only.
  for (const char* v : {"-100", "0", "abc"}) EXPECT_TRUE(run("--arc-segments", v) == base);
  // Text4: the width as read, in every style key and width element; letters read 0.
  {
    const std::string negative = run("--width", "-6");
    EXPECT_NE(negative.find("#m_colorFF0000FF_width-6</styleUrl>"), std::string::npos);
    EXPECT_NE(negative.find("<width>-6</width>"), std::string::npos);
    const std::string zero = run("--width", "0");
    EXPECT_NE(zero.find("<width>0</width>"), std::string::npos);
    EXPECT_TRUE(run("--width", "abc") == zero);
  }
  // Text5 and Text6: minutes added as read; 0, letters and empty are no correction.
  for (const char* option : {"--lat-correction", "--lon-correction"}) {
    const std::string zero = run(option, "0");
    EXPECT_TRUE(run(option, "abc") == zero);
    EXPECT_TRUE(run(option, "") == zero);
    EXPECT_FALSE(run(option, "-1") == zero);
  }
  // Text7: with arcs honoured, a chord is compared with the number as read; letters
  // read 0, the same as 0.
  {
    const std::string zero = run("--arc-chord", "0");
    EXPECT_TRUE(Convert(kDrawing, {"--arcs", "--arc-chord", "abc"}).exitCode == 0);
    EXPECT_TRUE(run("--arc-chord", "abc") == zero);
    ExpectConverted(Convert(kDrawing, {"--arcs", "--arc-chord", "-10"}));
  }
}

// Lines 8 to 10 of the settings file: a number (non-zero selects) or True/False for
// the datum buttons, 0, 1 or 2 for the check box; anything else gives all defaults.
TEST_F(BadInputTest, NegativeZeroAndLettersInTheButtonLines) {
  auto withLines = [&](const std::string& l8, const std::string& l9, const std::string& l10) {
    WriteBytes(settings_, "10\r\n114.3\r\n100\r\n6\r\n-0.0335\r\n0.039\r\n10\r\n" + l8 + "\r\n" +
                              l9 + "\r\n" + l10 + "\r\n");
    settingsText_ = ReadBytes(settings_);
    return ExpectConverted(Convert(kDrawing));
  };
  const std::string beijing = withLines("-1", "0", "0");
  const std::string xian = withLines("0", "-1", "0");
  ASSERT_FALSE(beijing == xian);
  EXPECT_TRUE(withLines("-5", "0", "0") == beijing);
  EXPECT_TRUE(withLines("0", "0", "0") == xian);  // neither selected: Xi'an 1980
  // Letters in a button line, or -1 in the check box line: the whole file is
  // ignored, so the default meridian 115 replaces 114.3.
  WriteBytes(settings_, "");
  settingsText_ = "";
  fs::remove(settings_);
  const std::string defaults = ExpectConverted(Convert(kDrawing));
  EXPECT_FALSE(fs::exists(settings_));
  for (const auto& lines : {std::vector<std::string>{"abc", "0", "0"},
                            std::vector<std::string>{"-1", "x", "0"},
                            std::vector<std::string>{"-1", "0", "-1"},
                            std::vector<std::string>{"-1", "0", "abc"}}) {
    SCOPED_TRACE(lines[0] + " " + lines[1] + " " + lines[2]);
    EXPECT_TRUE(withLines(lines[0], lines[1], lines[2]) == defaults);
  }
}

TEST_F(BadInputTest, SettingsFileOfRandomBytesGivesTheDefaults) {
  fs::remove(settings_);
  settingsText_.clear();
  const std::string defaults = ExpectConverted(Convert(kDrawing));
  std::mt19937 random(20240611);
  for (int round = 0; round < 5; ++round) {
    std::string bytes(4096, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xff);
    WriteBytes(settings_, bytes);
    settingsText_ = bytes;
    EXPECT_TRUE(ExpectConverted(Convert(kDrawing)) == defaults);  // and the file kept as it was
  }
}

// --- control points ---------------------------------------------------------------

TEST_F(BadInputTest, ControlPointFiles) {
  const fs::path input = dir_ / "pts.txt";
  const fs::path table = dir_ / PathFromUtf8("pts_计算结果.txt");
  const std::string line2 = "GPS02 3379870.058 493512.930 30.32164945 114.25589564\r\n";
  // GB18030 (GBK) text: the identifier 控制点1 in two-byte characters.
  const std::string gbk = "\xbf\xd8\xd6\xc6\xb5\xe3" "1 3381245.312 481906.447 30.33008619 114.18435554\r\n";
  WriteBytes(input, gbk + line2);
  ChildResult r = Varnolt({"correct", input.string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(r.out.starts_with("标识 纬度修正(分) 经度修正(分)\r\n控制点1 ")) << r.out;
  // stdout is the table and then the RMS line.
  EXPECT_TRUE(ReadBytes(table) + r.out.substr(r.out.rfind("RMS ")) == r.out) << r.out;

  WriteBytes(input, "\xEF\xBB\xBF" "P1 3381245.312 481906.447 30.33008619 114.18435554\r\n" + line2);
  r = Varnolt({"correct", input.string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("\r\nP1 "), std::string::npos) << r.out;

  struct Row {
    const char* label;
    std::string text;
    std::string detail;
  };
  const Row rows[] = {
      {"four fields", line2 + "P3 3381245.312 481906.447 30.33008619\r\n",
       "line 2 has 4 fields, 5 are needed"},
      {"letters", line2 + "P3 3381245.312 48190x.447 30.33008619 114.18435554\r\n",
       "line 2, field 3 (easting Y): '48190x.447' is not a number"},
      {"empty", "", "no data lines"},
      {"comments only", ";; X Y B L\r\n\r\n", "no data lines"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    WriteBytes(input, row.text);
    WriteBytes(table, "an earlier table");
    r = Varnolt({"correct", "--save", input.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("varnolt: " + kBadData + "\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(row.detail), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(table), "an earlier table");
    EXPECT_EQ(ReadBytes(settings_), settingsText_);
    EXPECT_EQ(Extra({"pts.txt", "pts_计算结果.txt", "out.kml"}), std::vector<std::string>{});
  }
  r = Varnolt({"correct", (dir_ / "nosuch.txt").string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find(kCancelled), std::string::npos) << r.err;
}

// --- the output -------------------------------------------------------------------

// A symbolic link; false when none can be made. On Windows a user needs developer
// mode for one, and wine reports success without making it.
bool CreateSymlink(const fs::path& target, const fs::path& link) {
#ifdef _WIN32
  return ::CreateSymbolicLinkW(link.c_str(), target.c_str(),
                               SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
         fs::exists(link);
#else
  fs::create_symlink(target, link);
  return true;
#endif
}

TEST_F(BadInputTest, OutputThatIsTheDrawingIsRefused) {
  const fs::path drawing = dir_ / "site.dxf";
  const std::string bytes = ReadBytes(kDrawing);
  WriteBytes(drawing, bytes);
  std::vector<fs::path> outputs = {drawing, dir_ / "." / "site.dxf"};
  if (CreateSymlink(drawing, dir_ / "link.kml")) {
    outputs.push_back(dir_ / "link.kml");
  } else {
    std::cout << "no symbolic link can be made here: that case is left out\n";
  }
  fs::create_hard_link(drawing, dir_ / "hard.kml");
  outputs.push_back(dir_ / "hard.kml");
  for (const fs::path& out : outputs) {
    SCOPED_TRACE(out.string());
    const ChildResult r = Varnolt({"convert", drawing.string(), "-o", out.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(kCancelled + "\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("is the drawing itself"), std::string::npos) << r.err;
    EXPECT_TRUE(ReadBytes(drawing) == bytes);
  }
  EXPECT_EQ(Extra({"site.dxf", "link.kml", "hard.kml"}), std::vector<std::string>{});
}

TEST_F(BadInputTest, OutputFolderMissingOrReadOnly) {
  ChildResult r = Varnolt({"convert", kDrawing.string(), "-o", (dir_ / "missing" / "o.kml").string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find(kCancelled + "\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(kNoSuchFolder), std::string::npos) << r.err;

#ifdef _WIN32
  GTEST_SKIP() << "no unprivileged user on Windows, and a read-only folder still takes new files";
#endif
  // Read-only for the user who runs the program; as root, run it as nobody, for
  // whom the permission bits hold.
  const fs::path locked = dir_ / "locked";
  fs::create_directory(locked);
  WriteBytes(locked / "o.kml", kEarlier);
  fs::permissions(settings_, fs::perms::owner_read | fs::perms::owner_write |
                                 fs::perms::group_read | fs::perms::others_read);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read |
                              fs::perms::others_exec);
  ChildOptions asNobody;
  asNobody.unprivileged = true;
  r = Varnolt({"convert", kDrawing.string(), "-o", (locked / "o.kml").string()}, asNobody);
  fs::permissions(locked, fs::perms::owner_all);
  if (r.exitCode == 126 || r.exitCode == 127) GTEST_SKIP() << "cannot run the program as nobody";
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find(kCancelled + "\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
  EXPECT_EQ(ReadBytes(locked / "o.kml"), kEarlier);
  EXPECT_EQ(Extra({"o.kml"}, locked), std::vector<std::string>{});
}

// A full disk, simulated by a file-size limit: the write fails (EFBIG), the run
// reports a file access failure, and the earlier file stays whole.
TEST_F(BadInputTest, FullDisk) {
#ifdef _WIN32
  GTEST_SKIP() << "no RLIMIT_FSIZE on Windows";
#endif
  ChildOptions full;
  full.fileSizeLimit = 4096;
  ExpectFailure(Convert(kDrawing, {}, full), kCancelled, "File too large");

  out_ = dir_ / "out.kmz";
  ExpectFailure(Convert(kDrawing, {}, full), kCancelled, "out.kmz", {"out.kml"});

  const fs::path input = dir_ / "pts.txt";
  const fs::path table = dir_ / PathFromUtf8("pts_计算结果.txt");
  WriteBytes(input, ReadBytes(Source("examples/control_points.txt")));
  WriteBytes(table, "an earlier table");
  full.fileSizeLimit = 64;
  const ChildResult r = Varnolt({"correct", input.string()}, full);
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("varnolt: " + kCancelled + "\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
  EXPECT_EQ(ReadBytes(table), "an earlier table");
  EXPECT_EQ(Extra({"pts.txt", "pts_计算结果.txt", "out.kml", "out.kmz"}), std::vector<std::string>{});
}

}  // namespace
}  // namespace varnolt
