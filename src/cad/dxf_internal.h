// The DXF reader's inner parts, shared by its three files: the group parser and the
// entities (dxf.cpp), block explosion (dxf_blocks.cpp) and the reading of the
// ENTITIES section in pieces (dxf_pieces.cpp). Not part of the interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "cad/dxf.h"
#include "cad/dxf_text.h"
#include "cad/dxf_tokens.h"
#include "cad/transform.h"

namespace varnolt::dxf_detail {

// An entity as read, before its strings are decoded: the code page is known only
// once the header has been read, and it need not come first.
struct RawEntity {
  Entity entity;
  std::string_view layer;  // raw group 8; empty view when absent
  std::string text;        // raw text (MTEXT chunks joined before decoding)
  // MTEXT with columns saved for releases before 2018: the handles of the MTEXT
  // entities that hold its further columns.
  std::vector<std::string_view> columns;
  bool merged = false;  // a column merged into its MTEXT
  int insert = -1;      // INSERT or DIMENSION: its index among the parser's inserts
  // One DXF entity read as two (a MULTILEADER's lines and its text): the file is then
  // read the serial way.
  bool twofold = false;
  // An entity of a block that was left out: what the summary counts when the block
  // is placed.
  std::optional<SkippedKind> leftOut;
};

// Why an entity is left out, in the words of both front ends.
struct Reason {
  std::string_view english, chinese;
};
inline constexpr Reason kMissingBlock{"its block is missing", "缺少块定义"};

// Thrown by a kind's reader for an entity it leaves out.
struct LeftOutEntity {
  SkippedKind what;
};

// A block reference (or a DIMENSION, drawn from its block where it stands) as read.
struct RawInsert {
  std::string_view block;  // group 2
  Point3 insertion{}, scale{1, 1, 1}, extrusion{0, 0, 1};
  double rotation = 0;  // radians
  int64_t columns = 1, rows = 1;
  double columnSpacing = 0, rowSpacing = 0;
  bool dimension = false;
  int64_t where = 0;
  std::vector<RawEntity> attribs;
};

struct RawBlock {
  std::string_view name;
  Point3 base{};
  int64_t where = 0;
  std::vector<RawEntity> entities;
};

// Places in one file, as messages name them: "site.dxf, line 12".
struct DxfPlace {
  std::string name;
  bool binary = false;
  std::string Where(int64_t where) const { return name + ", " + DxfWhere(binary, where); }
};

// The file's own name as UTF-8, for messages ("site.dxf").
std::string FileNameText(const std::filesystem::path& path);

// Entities made in file order put in the order of the pick: `order` holds each one's
// position in it; entities of one picked position keep their order.
void InPickOrder(std::vector<Entity>& entities, const std::vector<size_t>& order);

// Nothing read from this drawing can be converted: the message that says where.
[[noreturn]] void Refuse(const DxfPlace& place, int64_t where, const std::string& what);
std::string RefusalText(const DxfPlace& place, int64_t where, const std::string& what);

// The layer table as a CAD host builds it on opening the file: names match ignoring
// ASCII case and keep the table's spelling; a layer the table lacks is appended with
// colour 7 when it is first used.
class LayerTable {
 public:
  explicit LayerTable(std::vector<Layer>& layers) : layers_(layers) {}
  // A table entry; a repeated name keeps the first.
  void Add(std::string name, int color);
  // The name as the table spells it, appending the layer when the table lacks it.
  std::string Resolve(const std::string& name);
  // Its index in the table, appending it when the table lacks it.
  size_t IndexOf(const std::string& name);

 private:
  std::vector<Layer>& layers_;
  std::unordered_map<std::string, size_t> byName_;
};

// The entity's handle, layer name (when `layer`) and text made UTF-8 with `codec`; an
// entity without a layer is on "0".
void DecodeStrings(RawEntity& r, const DxfTextCodec& codec, bool layer);

// The blocks of one drawing, exploded where their references stand: each reference
// contributes one matrix (base point, scale, rotation, extrusion, grid offset), and
// nested references multiply matrices down the chain.
class BlockExploder {
 public:
  // Decodes the blocks (`raw` is emptied) and finds each nested reference's block.
  // What the placing leaves out is counted in `skipped`.
  BlockExploder(std::vector<RawBlock>& raw, std::vector<RawInsert>& inserts,
                const DxfTextCodec& codec, const DxfLimits& limits, const DxfPlace& place,
                std::vector<SkippedKind>& skipped);

  // The entities the model-space references place, counted before any is made.
  // Refuses nesting deeper than the limit and more placed entities than
  // DxfLimits::maxPlacedEntities. A reference that would insert a block into itself
  // is cut where it closes the loop (first met in file order) and left out wherever
  // its block is placed; it is counted once, as is each entity a counted block
  // leaves out.
  int64_t CountPlaced(const std::vector<RawEntity>& model);

  // Appends what the model-space reference `ins` places to `out`: its block's
  // entities copy by copy, then its attributes as texts. `reference` holds the
  // reference's own layer (resolved) and colour, which layer-0 and ByBlock entities
  // take. Entities are placed up to `placedLimit` entities in `out`. Returns false
  // when the block does not exist.
  bool Explode(const RawInsert& ins, const EntityCommon& reference, int64_t insertId,
               size_t placedLimit, LayerTable& layers, std::vector<Entity>& out);

 private:
  // An entity of a block that is itself a reference, with its block (-1 when it
  // does not exist) and the layer and colour it hands down.
  struct Nested {
    size_t insert = 0;
    int block = -1;
    EntityCommon common;
    bool cut = false;  // closes a loop of blocks: never placed
  };
  // A block's items in their order: entities placed as they are, references placed
  // through their own blocks, and entities left out.
  using Item = std::variant<Entity, Nested, SkippedKind>;
  struct Block {
    std::string name;
    Point3 base{};
    int64_t where = 0;
    std::vector<Item> items;
    enum class Count { kNotYet, kCounting, kDone } counted = Count::kNotYet;
    int64_t count = 0;  // entities one reference places, once counted
    int depth = 0;      // levels of blocks below and including this one
  };
  // What a placing hands down to the entities it places.
  struct HandDown {
    std::string layer;  // for entities on layer 0
    int color = kColorByLayer;  // for ByBlock entities
    std::string path;   // the block path
    int64_t insertId = 0;
  };

  int FindBlock(const RawInsert& ins) const;
  void CountBlock(size_t b, int level, std::vector<size_t>& chain);
  // The nested reference `n` of the block on top of `chain` goes back to a block on
  // the chain: it is cut and counted.
  void CutLoop(Nested& n, const std::vector<size_t>& chain);
  [[noreturn]] void NestingTooDeep(const Block& blk) const;
  [[noreturn]] void TooManyPlaced(int64_t where, const std::string& block) const;
  int64_t Cap() const;
  bool Place(const RawInsert& ins, const Affine& outer, HandDown down, int level);
  void PlaceBlock(const Block& blk, const Affine& m, const HandDown& down, int level);
  void Adopt(size_t from, const HandDown& down, bool zeroLayerInherits);

  std::vector<RawInsert>& inserts_;
  const DxfTextCodec& codec_;
  const DxfLimits& limits_;
  const DxfPlace& place_;
  std::vector<SkippedKind>& skipped_;
  std::vector<Block> blocks_;
  std::unordered_map<std::string, size_t> byName_;
  // Set by Explode for the placing it does.
  LayerTable* layers_ = nullptr;
  std::vector<Entity>* out_ = nullptr;
  size_t placedLimit_ = 0;
};

// ---- What reading in pieces asks of the parser.

// What the parser gives of each model-space entity of a piece.
struct PieceEntity {
  size_t firstToken = 0;  // its group 0
  std::string_view layer;  // raw
  int color = kColorByLayer;
  EntityType type = EntityType::kLine;
  bool closedShape = false;
  // MTEXT in columns, a block reference or a MULTILEADER: read such a file the
  // serial way.
  bool unusual = false;
  size_t pick = DxfPick::kNotPicked;  // its position in the pick being read
};

// Parses `tokens` as the inside of an ENTITIES section, each model-space entity to
// emit() (with a pick: each picked entity), until the section ends or the tokens
// do; what was skipped is counted in `skipped`, and with a pick the positions of
// the picked entities met go to `met`. Returns the index of the token that ended the
// section, or the token count. Throws Error as the serial reading does.
size_t ParseEntitiesPiece(const DxfTokens& tokens, const std::string& name,
                          const DxfLimits& limits,
                          const std::function<void(const PieceEntity&)>& emit,
                          std::vector<SkippedKind>& skipped, std::vector<size_t>& met);

// The one entity `tokens` hold, its strings made UTF-8 with `codec`, its layer left
// for the caller; nullopt when they hold none.
std::optional<Entity> ParseOneEntity(const DxfTokens& tokens, const std::string& name,
                                     const DxfLimits& limits, const DxfTextCodec& codec);

// The drawing of a file whose ENTITIES section was read in pieces: `tokens` hold the
// rest of the file. Each piece's raw layer names (in first use) are resolved in file
// order, as the serial reading resolves the entities' one by one, into indices in
// the layer table; the pieces' skipped kinds follow in order.
struct StreamedDrawing {
  DxfDrawing drawing;
  DxfTextCodec codec;
  std::vector<std::vector<uint32_t>> layerIndex;  // per piece, per raw name
  // Why the file must be read the serial way after all; empty when it need not.
  std::string serialReason;
};
StreamedDrawing FinishStreamed(const DxfTokens& tokens, const std::string& name,
                               const DxfLimits& limits,
                               const std::vector<std::vector<std::string_view>>& pieceLayers,
                               const std::vector<std::vector<SkippedKind>>& pieceSkipped);

}  // namespace varnolt::dxf_detail
