// A drawing read for a pick of handles (what a CAD host's user picked): each picked
// top-level entity gives exactly what the whole reading gives for it (a block
// reference all it places), in the pick's order, read whole or in pieces; paper
// space is picked too, only what was picked counts as left out, and the handles the
// file lacks are named.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cad/dxf.h"
#include "run_process.h"
#include "temp_dir.h"
#include "top_entities.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;

DxfLimits Picking(std::vector<std::string> handles, unsigned include, size_t pieceBytes = 0) {
  DxfLimits limits;
  limits.include = include;
  limits.pieceBytes = pieceBytes;
  limits.pick = std::make_shared<DxfPick>(std::move(handles));
  return limits;
}

// Which model-space reference an entity came from is numbered within one reading.
std::vector<Entity> WithoutInsertNumbers(std::vector<Entity> entities) {
  for (Entity& e : entities) e.insertId = 0;
  return entities;
}

void ExpectSame(const std::vector<Entity>& got, const std::vector<Entity>& expected) {
  ASSERT_EQ(got.size(), expected.size());
  for (size_t k = 0; k < got.size(); ++k) {
    EXPECT_TRUE(SameReading(got[k], expected[k])) << k << " " << got[k].handle;
  }
}

std::vector<fs::path> Drawings() {
  const fs::path source(VARNOLT_SOURCE_DIR);
  std::vector<fs::path> drawings = {source / "tests" / "cad" / "data" / "blocks.dxf",
                                    source / "tests" / "golden" / "kinds_blocks" / "drawing.dxf",
                                    source / "tests" / "golden" / "families" / "drawing.dxf"};
  for (const fs::path& up : {source / "..", source / ".." / ".."}) {
    const fs::path sample = up / "shared" / "testdata" / "dxf" / "acadsharp_sample_AC1009_ascii.dxf";
    if (fs::exists(sample)) {
      drawings.push_back(sample);
      break;
    }
  }
  return drawings;
}

// Each model-space entity picked alone gives its share of the whole reading (every
// kind included), the shares in file order making up the whole; all picked in
// reverse give the shares in reverse, whether the file is read whole or in pieces.
TEST(DxfPick, EachPickedEntityGivesItsShareOfTheWholeReading) {
  for (const fs::path& path : Drawings()) {
    SCOPED_TRACE(path.filename().string());
    const DxfDrawing whole = ReadDxfFile(path, Picking({}, kIncludeAll));  // an empty pick
    EXPECT_TRUE(whole.entities.empty());
    const std::vector<Entity> all = WithoutInsertNumbers(ReadDxfFile(path, [] {
                                                           DxfLimits l;
                                                           l.include = kIncludeAll;
                                                           return l;
                                                         }()).entities);
    std::vector<std::vector<Entity>> shares;
    std::vector<std::string> handles;
    for (const testing::TopEntity& top : testing::TopEntities(testing::ReadWholeFile(path))) {
      if (top.paper) continue;
      ASSERT_FALSE(top.handle.empty()) << top.kind;
      handles.push_back(top.handle);
      const DxfDrawing one = ReadDxfFile(path, Picking({top.handle}, kIncludeAll));
      EXPECT_TRUE(one.unmatched.empty());
      shares.push_back(WithoutInsertNumbers(one.entities));
    }
    std::vector<Entity> joined, reversed;
    for (const auto& share : shares) joined.insert(joined.end(), share.begin(), share.end());
    for (auto it = shares.rbegin(); it != shares.rend(); ++it) {
      reversed.insert(reversed.end(), it->begin(), it->end());
    }
    ExpectSame(joined, all);
    const std::vector<std::string> backwards(handles.rbegin(), handles.rend());
    ExpectSame(WithoutInsertNumbers(ReadDxfFile(path, Picking(backwards, kIncludeAll)).entities),
               reversed);
    // In pieces (no blocks to explode), the seven families and the kinds beside them.
    const unsigned flat = kIncludeAll & ~kIncludeBlocks;
    DxfSource pieces(path, Picking(backwards, flat, 512));
    std::vector<Entity> got;
    for (const Entity* e : pieces.SelectOnScreen()) got.push_back(*e);
    ExpectSame(got, ReadDxfFile(path, Picking(backwards, flat)).entities);
  }
}

// A line in model space, a line in paper space, a point, a line with a lower-case
// handle in the pick.
const char kSpaces[] =
    "0\nSECTION\n2\nENTITIES\n"
    "0\nLINE\n5\n10\n8\n0\n10\n1\n20\n2\n11\n3\n21\n4\n"
    "0\nLINE\n5\n11\n8\n0\n67\n1\n10\n5\n20\n6\n11\n7\n21\n8\n"
    "0\nPOINT\n5\n12\n8\n0\n10\n9\n20\n9\n"
    "0\nLINE\n5\n1A\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n"
    "0\nENDSEC\n0\nEOF\n";

// Paper space is picked as model space is; a picked kind not included is counted as
// left out (and only it); a handle the file lacks is named; case does not matter.
TEST(DxfPick, PaperSpaceIsPickedAndMissingHandlesAreNamed) {
  const testing::TempDir dir("varnolt-pick");
  ASSERT_FALSE(dir.path().empty());
  const fs::path file = dir.path() / "spaces.dxf";
  std::ofstream(file, std::ios::binary) << kSpaces;
  const std::vector<std::string> pick = {"11", "FF", "12", "1a", "10"};
  for (size_t pieceBytes : {size_t{0}, size_t{40}}) {
    SCOPED_TRACE(pieceBytes);
    DxfSource source(file, Picking(pick, 0, pieceBytes));
    const std::vector<const Entity*> got = source.SelectOnScreen();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0]->handle, "11");
    EXPECT_EQ(got[1]->handle, "1A");
    EXPECT_EQ(got[2]->handle, "10");
    EXPECT_EQ(source.drawing().unmatched, std::vector<std::string>{"FF"});
    ASSERT_EQ(source.Skipped().size(), 1u);
    EXPECT_EQ(source.Skipped()[0].kind, "POINT");
    EXPECT_EQ(source.Skipped()[0].count, 1);
  }
  // Without a pick, paper space stays out as before.
  EXPECT_EQ(ReadDxfFile(file).entities.size(), 2u);
}

}  // namespace
}  // namespace varnolt
