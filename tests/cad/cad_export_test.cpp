// The live session through the host's Export, over the in-process fake host in its
// export mode (the listed operations, each entity's Handle and Document.Export): the
// whole drawing read as a DXF file gives every golden document and, on drawings of
// blocks, what the DXF path gives with everything included; when Export cannot serve,
// the pick read member by member gives the same document for the seven families;
// the faults of a live session; the calls a picked entity costs.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "base/error.h"
#include "cad/autocad.h"
#include "cad/dxf.h"
#include "cad_session_fixture.h"
#include "fake_cad.h"
#include "settings/conversion_options.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;
using testing::CadSessionTest;
using testing::ExportWrites;
using testing::FakeCad;
using testing::FakeHostMode;
using testing::Recorder;

DxfLimits Including(unsigned include) {
  DxfLimits limits;
  limits.include = include;
  return limits;
}

Settings WithInclude(Settings s, const std::string& include) {
  s.SetExtra("include", include);
  return s;
}

class CadExportTest : public CadSessionTest {
 protected:
  // What `drawing` picked whole in the export-mode host gives with `settings` (see
  // Outcome), the document named `name`.kml; `arrange` sets the host up. The notes
  // the pick gave go to `notes`.
  std::string ThroughTheHost(const fs::path& drawing, const Settings& settings,
                             const std::string& name,
                             const std::function<void(FakeCad&)>& arrange = {},
                             std::vector<SourceNote>* notes = nullptr) {
    FakeCad fake(testing::ScriptFromDrawing(drawing), FakeHostMode::kExport);
    if (arrange) arrange(fake);
    const std::unique_ptr<CadSession> session = AttachCad(fake.application());
    session->ReadWith(Including(ReadConversionOptions(settings).include));
    Recorder terminal;
    const std::string outcome =
        testing::Outcome([&] { return Convert(*session, settings, terminal, name + ".kml"); });
    if (notes != nullptr) *notes = session->PickNotes();
    for (const fs::path& exported : fake.exports()) EXPECT_FALSE(fs::exists(exported)) << exported;
    return outcome;
  }
  // What `varnolt convert DRAWING -o name.kml` gives with `settings`.
  std::string ThroughTheDxfPath(const fs::path& drawing, const Settings& settings,
                                const std::string& name) {
    return testing::Outcome([&] {
      DxfSource source(drawing, Including(ReadConversionOptions(settings).include));
      Recorder quiet;
      return testing::RunAndRead(source, settings, Out(name + ".kml"), quiet);
    });
  }
};

// The block drawing of the tests and the CAD sample drawing of the shared corpus
// (most of its entities sit in blocks), with the golden settings.
std::vector<fs::path> BlockDrawings() {
  std::vector<fs::path> drawings = {fs::path(VARNOLT_SOURCE_DIR) / "tests" / "cad" / "data" /
                                    "blocks.dxf"};
  const fs::path sample = testing::CorpusFile("acadsharp_sample_AC1009_ascii.dxf");
  if (!sample.empty()) drawings.push_back(sample);
  return drawings;
}

// Every golden drawing picked whole gives its golden document byte for byte, the
// kinds its settings include and the attributes with handles among them: the host
// read only for the handles, its exported drawing for the rest, and deleted.
TEST_F(CadExportTest, EveryGoldenDrawingGivesItsGoldenDocument) {
  for (const std::string& name : testing::GoldenCases()) {
    SCOPED_TRACE(name);
    const fs::path dir = testing::GoldenDir() / name;
    std::vector<SourceNote> notes;
    const std::string got =
        ThroughTheHost(dir / "drawing.dxf", LoadSettings(dir / "Varnolt.ini"), name, {}, &notes);
    EXPECT_TRUE(got == testing::ReadBytes(dir / "expected.kml"));
    EXPECT_TRUE(notes.empty()) << notes.front().english;
  }
  ExpectNothingLeft();
}

// On drawings of blocks the exported drawing gives what the DXF path gives with every
// kind included (a picked block reference brings all it places). For the seven
// families alone, on every golden drawing and these, the pick read member by member
// (Export failing) gives the same document as the exported drawing, and as the DXF
// path.
TEST_F(CadExportTest, BothWaysGiveTheDxfPathsDocument) {
  const Settings golden = LoadSettings(testing::GoldenDir() / "families" / "Varnolt.ini");
  for (const fs::path& drawing : BlockDrawings()) {
    SCOPED_TRACE(drawing.filename().string());
    const Settings all = WithInclude(golden, "all");
    const std::string expected = ThroughTheDxfPath(drawing, all, "all");
    EXPECT_TRUE(ThroughTheHost(drawing, all, "all") == expected);
    EXPECT_NE(expected.find("<Placemark>"), std::string::npos);
  }
  std::vector<fs::path> drawings = BlockDrawings();
  for (const std::string& name : testing::GoldenCases()) {
    drawings.push_back(testing::GoldenDir() / name / "drawing.dxf");
  }
  for (const fs::path& drawing : drawings) {
    SCOPED_TRACE(drawing.string());
    const fs::path ini = drawing.parent_path() / "Varnolt.ini";
    const Settings seven = WithInclude(fs::exists(ini) ? LoadSettings(ini) : golden, "");
    const std::string exported = ThroughTheHost(drawing, seven, "seven");
    std::vector<SourceNote> notes;
    const std::string memberByMember =
        ThroughTheHost(drawing, seven, "seven",
                       [](FakeCad& f) { f.Fail("Document.Export", DISP_E_EXCEPTION); }, &notes);
    EXPECT_TRUE(memberByMember == exported);
    EXPECT_TRUE(exported == ThroughTheDxfPath(drawing, seven, "seven"));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].english.find("Export failed: ActiveDocument.Export: scripted failure"),
              std::string::npos)
        << notes[0].english;
  }
  ExpectNothingLeft();
  if (BlockDrawings().size() < 2) GTEST_SKIP() << "no CAD sample drawing in the shared corpus";
}

// Export that cannot serve: the pick is read member by member, with one warning
// that says why and that the included points were not converted; the document is the
// seven families'. A name taken as given (no ".dxf" added) is read all the same.
TEST_F(CadExportTest, WhenExportCannotServeThePickIsReadMemberByMember) {
  const fs::path dir = testing::GoldenDir() / "families";
  const fs::path drawing = dir / "drawing.dxf";
  const Settings settings = WithInclude(LoadSettings(dir / "Varnolt.ini"), "points");
  const std::string seven = ThroughTheDxfPath(drawing, WithInclude(settings, ""), "families");
  const std::string all = ThroughTheDxfPath(drawing, settings, "families");
  ASSERT_NE(seven, all);  // the drawing's point is converted only when included
  const struct {
    const char* what;
    std::function<void(FakeCad&)> arrange;
    const char* reason;
  } kCases[] = {
      {"truncated", [](FakeCad& f) { f.SetExportWrites(ExportWrites::kTruncated); },
       "the exported drawing cannot be read: "},
      {"no file", [](FakeCad& f) { f.SetExportWrites(ExportWrites::kNothing); },
       "Export wrote no file at "},
      {"not offered", [](FakeCad& f) { f.Missing("Document.Export"); },
       "the CAD host offers no Export"},
      {"no handles", [](FakeCad& f) { f.Missing("Line.Handle"); },
       "the CAD host gives no entity handles"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    std::vector<SourceNote> notes;
    EXPECT_TRUE(ThroughTheHost(drawing, settings, "families", c.arrange, &notes) == seven);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].english.find(c.reason), std::string::npos) << notes[0].english;
    EXPECT_NE(notes[0].english.find("--include points was not honoured"), std::string::npos);
    EXPECT_NE(notes[0].chinese.find("points 未能转换"), std::string::npos);
    ExpectNothingLeft();
  }
  std::vector<SourceNote> notes;
  EXPECT_TRUE(ThroughTheHost(drawing, settings, "families", [](FakeCad& f) {
                f.SetExportWrites(ExportWrites::kDrawingUnderTheNameGiven);
              }, &notes) == all);
  EXPECT_TRUE(notes.empty());
  ExpectNothingLeft();
}

// A picked entity the exported drawing lacks (the host exported another drawing, or
// numbers its handles otherwise there): member by member, the warning naming it.
TEST_F(CadExportTest, APickedHandleMissingFromTheExportIsReadMemberByMember) {
  const fs::path dir = testing::GoldenDir() / "families";
  testing::FakeCadScript script = testing::ScriptFromDrawing(dir / "drawing.dxf");
  script.entities.back().handle = "FFFF0";
  FakeCad fake(script, FakeHostMode::kExport);
  const std::unique_ptr<CadSession> session = AttachCad(fake.application());
  Recorder terminal;
  const std::string got =
      Convert(*session, LoadSettings(dir / "Varnolt.ini"), terminal, "families.kml");
  ASSERT_EQ(terminal.warnings.size(), 1u);
  EXPECT_NE(terminal.warnings[0].english.find(
                "the exported drawing lacks 1 of the " + std::to_string(script.entities.size()) +
                " picked entities (handle FFFF0)"),
            std::string::npos)
      << terminal.warnings[0].english;
  EXPECT_NE(got.find("<Placemark>"), std::string::npos);
  ExpectNothingLeft();
}

// The host dies while the pick is read (at a handle, at Export, at a member read):
// the general failure, no document and no exported drawing left. An empty pick is
// the general failure too, and nothing is exported for it.
TEST_F(CadExportTest, AHostThatDiesOrAnEmptyPickEndsWithTheGeneralFailure) {
  const fs::path drawing = testing::GoldenDir() / "families" / "drawing.dxf";
  auto fails = [this](FakeCad& fake) {
    const std::unique_ptr<CadSession> session = AttachCad(fake.application());
    Recorder terminal;
    try {
      Convert(*session, Settings{}, terminal);
      ADD_FAILURE() << "no failure";
    } catch (const Error& e) {
      EXPECT_STREQ(FailureMessage(Task::kConversion, e.kind()),
                   "数据文件格式有误、操作不当或其它未知错误！")
          << e.what();
    }
    ExpectNothingLeft();
  };
  const struct {
    FakeHostMode mode;
    const char* member;
    int onCall;
  } kDeaths[] = {
      {FakeHostMode::kExport, "Line.Handle", 2},
      {FakeHostMode::kExport, "Document.Export", 1},
      {FakeHostMode::kStrict, "Line.EndPoint", 2},
  };
  for (const auto& death : kDeaths) {
    SCOPED_TRACE(death.member);
    FakeCad fake(testing::ScriptFromDrawing(drawing), death.mode);
    fake.DieAt(death.member, death.onCall);
    fails(fake);
  }
  testing::FakeCadScript empty = testing::ScriptFromDrawing(drawing);
  empty.entities.clear();
  FakeCad fake(empty, FakeHostMode::kExport);
  fails(fake);
  EXPECT_TRUE(fake.exports().empty());
}

// A drawing of `count` lines, each with its handle, for counting calls.
void WriteLines(const fs::path& path, int count) {
  std::ofstream out(path, std::ios::binary);
  out << "0\nSECTION\n2\nENTITIES\n";
  for (int k = 0; k < count; ++k) {
    out << "0\nLINE\n5\n" << std::hex << std::uppercase << 0x100 + k << std::dec << "\n8\n0\n"
        << "10\n" << 512000 + k << "\n20\n3380000\n11\n" << 512000 + k << "\n21\n3380030\n";
  }
  out << "0\nENDSEC\n0\nEOF\n";
}

// Calls the host answers (invocations and name lookups) for a pick of `count` lines.
long CallsForLines(const fs::path& drawing, int count, FakeHostMode mode) {
  WriteLines(drawing, count);
  FakeCad fake(testing::ScriptFromDrawing(drawing), mode);
  const std::unique_ptr<CadSession> session = AttachCad(fake.application());
  const auto frozen = std::chrono::steady_clock::now();
  CadPromptReporter reporter(*session, nullptr, [frozen] { return frozen; });
  const fs::path out = drawing.parent_path() / "lines.kml";
  RunConversion(*session, Settings{}, out, reporter);
  fs::remove(out);
  fs::remove(drawing);
  return static_cast<long>(fake.calls().size()) + fake.lookups();
}

// Through Export a picked entity costs at most 2.5 calls (Item and Handle: 2), the
// rest a constant; read member by member from a strict host a line costs 6 (Item,
// EntityType, color, Layer and its two points).
TEST_F(CadExportTest, APickedEntityCostsTwoCallsThroughExport) {
  const fs::path drawing = Out("lines.dxf");
  const long exported1000 = CallsForLines(drawing, 1000, FakeHostMode::kExport);
  const long exported3000 = CallsForLines(drawing, 3000, FakeHostMode::kExport);
  const double perEntity = (exported3000 - exported1000) / 2000.0;
  EXPECT_LE(perEntity, 2.5);
  EXPECT_LE(exported1000 - 1000 * perEntity, 60);  // the constant: connection, pick, prompts
  const long strict1000 = CallsForLines(drawing, 1000, FakeHostMode::kStrict);
  const long strict3000 = CallsForLines(drawing, 3000, FakeHostMode::kStrict);
  EXPECT_EQ((strict3000 - strict1000) / 2000.0, 6.0);
  RecordProperty("calls_per_entity_export", std::to_string(perEntity));
  RecordProperty("calls_1000_lines_export", std::to_string(exported1000));
  ExpectNothingLeft();
}

}  // namespace
}  // namespace varnolt
