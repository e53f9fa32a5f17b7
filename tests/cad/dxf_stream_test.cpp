// A file read in pieces on several threads, its entities kept as records and parsed
// again when asked for, must give exactly what the serial reading gives: the same
// entities to the last bit, the same layer table and skipped kinds, or the same
// error. Checked on every drawing the project and the shared corpus hold, cut into
// pieces far smaller than real ones so that every kind of cut is met.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "cad/dxf.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Drawings() {
  std::vector<fs::path> files;
  const fs::path source(VARNOLT_SOURCE_DIR);
  for (const fs::path& dir : {source / "tests" / "cad" / "data", source / "tests" / "golden",
                             source / "examples", source / ".." / "shared" / "testdata" / "dxf"}) {
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
      if (entry.path().extension() == ".dxf") files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The serial reading's result, or its error.
struct Reading {
  DxfDrawing drawing;
  std::string error;
};

Reading ReadSerially(const fs::path& path, const DxfLimits& limits) {
  Reading r;
  try {
    r.drawing = ReadDxfFile(path, limits);
  } catch (const Error& e) {
    r.error = e.what();
  }
  return r;
}

// Compares the source read from `path` with the serial reading; true when it was
// read in pieces.
bool ExpectSameAsSerial(const fs::path& path, const DxfLimits& limits, const Reading& serial) {
  SCOPED_TRACE(path.string() + ", pieces of " + std::to_string(limits.pieceBytes) +
               " bytes, " + std::to_string(limits.threads) + " threads, include " +
               std::to_string(limits.include));
  std::unique_ptr<DxfSource> source;
  try {
    source = std::make_unique<DxfSource>(path, limits);
  } catch (const Error& e) {
    EXPECT_EQ(e.what(), serial.error);
    return false;
  }
  EXPECT_EQ(serial.error, "");
  if (!serial.error.empty()) return false;
  const DxfDrawing& d = serial.drawing;
  EXPECT_EQ(source->Layers().size(), d.layers.size());
  if (source->Layers().size() != d.layers.size()) return false;
  for (size_t k = 0; k < d.layers.size(); ++k) {
    EXPECT_EQ(source->Layers()[k].name, d.layers[k].name);
    EXPECT_EQ(source->Layers()[k].color, d.layers[k].color);
  }
  const std::vector<SkippedKind> skipped = source->Skipped();
  EXPECT_EQ(skipped.size(), d.skipped.size());
  for (size_t k = 0; k < std::min(skipped.size(), d.skipped.size()); ++k) {
    EXPECT_EQ(skipped[k].kind, d.skipped[k].kind);
    EXPECT_EQ(skipped[k].count, d.skipped[k].count);
    EXPECT_EQ(skipped[k].reason, d.skipped[k].reason);
  }
  const std::unique_ptr<EntityList> picked = source->Pick();
  EXPECT_EQ(picked->size(), d.entities.size());
  Entity scratch;
  for (size_t k = 0; k < std::min(picked->size(), d.entities.size()); ++k) {
    const Entity& e = picked->Get(k, scratch);
    EXPECT_TRUE(SameReading(e, d.entities[k]))
        << "entity " << k << " (line " << d.entities[k].sourceLine << ") differs";
    const EntityBrief brief = picked->Brief(k);
    EXPECT_EQ(brief.type, e.type());
    EXPECT_EQ(brief.color, e.color);
    EXPECT_EQ(brief.layer, e.layer);
    EXPECT_EQ(brief.closedShape, IsClosedShape(e));
  }
  return source->Streamed();
}

TEST(DxfInPieces, EveryDrawingReadsAsTheSerialReadingReadsIt) {
  const std::vector<fs::path> files = Drawings();
  ASSERT_GT(files.size(), 20u);
  size_t streamed = 0;
  for (const fs::path& path : files) {
    for (const unsigned include : {0u, (kIncludeAll & ~kIncludeBlocks) | kIncludeMeshes |
                                           kIncludeLeaders | kIncludeFrames}) {
      DxfLimits limits;
      limits.include = include;
      const Reading serial = ReadSerially(path, limits);
      // Pieces of a few lines (cuts everywhere), of a few entities, and as they come.
      for (const auto& [bytes, threads] : {std::pair<size_t, unsigned>{40, 3}, {700, 2}, {0, 0}}) {
        limits.pieceBytes = bytes;
        limits.threads = threads;
        streamed += ExpectSameAsSerial(path, limits, serial) ? 1 : 0;
      }
    }
  }
  // Not a test of the fallback alone: the ASCII drawings are read in pieces.
  EXPECT_GT(streamed, files.size() * 3);
}

// A source read whole says why.
TEST(DxfInPieces, BlocksAndBinaryFilesAreReadWhole) {
  const fs::path data = fs::path(VARNOLT_SOURCE_DIR) / "tests" / "cad" / "data";
  const DxfSource binary(data / "binary_r2018.dxf");
  EXPECT_FALSE(binary.Streamed());
  EXPECT_EQ(binary.SerialReason(), "a binary file");
  DxfLimits blocks;
  blocks.include = kIncludeBlocks;
  const DxfSource exploded(data / "blocks.dxf", blocks);
  EXPECT_FALSE(exploded.Streamed());
  EXPECT_EQ(exploded.SerialReason(), "blocks are exploded");
  const DxfSource pieces(data / "blocks.dxf");
  EXPECT_TRUE(pieces.Streamed());
  EXPECT_EQ(pieces.SerialReason(), "");
}

// Cut where a serial scan would not cut (a value line "0" before a name can only
// come from a broken file), the pieces disagree with each other: the file is read
// the serial way and fails as that reading fails.
TEST(DxfInPieces, ABrokenFileFailsAsTheSerialReadingFails) {
  const fs::path dir = fs::temp_directory_path() / "varnolt_dxf_pieces";
  fs::create_directories(dir);
  const fs::path path = dir / "broken.dxf";
  std::string text = "0\nSECTION\n2\nENTITIES\n";
  for (int k = 0; k < 50; ++k) text += "0\nLINE\n8\nA\n10\n1\n20\n2\n11\n3\n21\n4\n";
  text += "1\n0\nLINE\n";  // a stray value: every group after it is out of step
  for (int k = 0; k < 50; ++k) text += "0\nLINE\n8\nA\n10\n1\n20\n2\n11\n3\n21\n4\n";
  text += "0\nENDSEC\n0\nEOF\n";
  {
    std::ofstream(path, std::ios::binary) << text;
  }
  DxfLimits limits;
  const Reading serial = ReadSerially(path, limits);
  ASSERT_FALSE(serial.error.empty());
  for (const size_t bytes : {16u, 100u, 0u}) {
    limits.pieceBytes = bytes;
    limits.threads = 2;
    ExpectSameAsSerial(path, limits, serial);
  }
  // A piece that cannot stand alone is named, with what it met.
  text = "0\nSECTION\n2\nENTITIES\n0\nMTEXT\n8\n0\n1\nA\n1001\nACAD\n"
         "1000\nACAD_MTEXT_COLUMNS_BEGIN\n1005\n2E\n1000\nACAD_MTEXT_COLUMNS_END\n"
         "0\nENDSEC\n0\nEOF\n";
  {
    std::ofstream(path, std::ios::binary) << text;
  }
  const DxfSource columns(path);
  EXPECT_FALSE(columns.Streamed());
  EXPECT_EQ(columns.SerialReason(),
            "piece 1 (from line 5): an entity read only whole (MTEXT in columns or MULTILEADER) "
            "at its line 1");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace varnolt
