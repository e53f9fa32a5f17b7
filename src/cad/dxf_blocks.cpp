// Block references exploded where they stand: counted first, so that a block that
// contains itself or a reference that would place too much is refused before
// anything is made, then placed copy by copy.
#include <algorithm>
#include <cmath>
#include <utility>

#include "base/error.h"
#include "cad/dxf_internal.h"
#include "cad/ocs.h"
#include "text/ascii.h"

namespace varnolt::dxf_detail {
namespace {

// Blocks nested deeper than this are refused: real drawings nest a few levels, and
// the bound keeps the placement's recursion small.
constexpr int kMaxBlockNesting = 200;

// Copies of the block a (M)INSERT places: rows times columns, a spacing of 0
// collapsing its direction to one copy. A count below 1 is taken as 1, as ezdxf
// takes it.
int64_t GridColumns(const RawInsert& ins) {
  return ins.columnSpacing == 0 ? 1 : std::max<int64_t>(ins.columns, 1);
}
int64_t GridRows(const RawInsert& ins) {
  return ins.rowSpacing == 0 ? 1 : std::max<int64_t>(ins.rows, 1);
}
int64_t Copies(const RawInsert& ins) { return GridColumns(ins) * GridRows(ins); }

// a * b + c, held at `cap` when larger.
int64_t MulAdd(int64_t a, int64_t b, int64_t c, int64_t cap) {
  if (a != 0 && b > (cap - c) / a) return cap;
  return std::min(cap, a * b + c);
}

Affine Translation(const Point3& by) {
  Affine t;
  for (int i = 0; i < 3; ++i) t.m[i][3] = by[i];
  return t;
}

}  // namespace

BlockExploder::BlockExploder(std::vector<RawBlock>& raw, std::vector<RawInsert>& inserts,
                             const DxfTextCodec& codec, const DxfLimits& limits,
                             const DxfPlace& place, std::vector<SkippedKind>& skipped)
    : inserts_(inserts), codec_(codec), limits_(limits), place_(place), skipped_(skipped) {
  blocks_.reserve(raw.size());
  for (RawBlock& r : raw) {
    std::string name = DecodeDxfText(r.name, codec_);
    // A repeated name: the first definition stands.
    if (!byName_.emplace(FoldAscii(name), blocks_.size()).second) continue;
    Block& b = blocks_.emplace_back();
    b.name = std::move(name);
    b.base = r.base;
    b.where = r.where;
    b.items.reserve(r.entities.size());
    for (RawEntity& e : r.entities) {
      DecodeStrings(e, codec_, true);
      if (e.leftOut) {
        b.items.emplace_back(std::move(*e.leftOut));
      } else if (e.insert < 0) {
        b.items.emplace_back(std::move(e.entity));
      } else {
        b.items.emplace_back(Nested{static_cast<size_t>(e.insert), -1, e.entity});
      }
    }
    r.entities.clear();
  }
  for (Block& b : blocks_) {
    for (Item& item : b.items) {
      if (Nested* n = std::get_if<Nested>(&item)) n->block = FindBlock(inserts_[n->insert]);
    }
  }
  for (RawInsert& ins : inserts_) {
    for (RawEntity& a : ins.attribs) DecodeStrings(a, codec_, true);
  }
}

int BlockExploder::FindBlock(const RawInsert& ins) const {
  const auto found = byName_.find(FoldAscii(DecodeDxfText(ins.block, codec_)));
  return found == byName_.end() ? -1 : static_cast<int>(found->second);
}

int64_t BlockExploder::Cap() const {
  return std::max<int64_t>(limits_.maxPlacedEntities, 0) + 1;
}

void BlockExploder::CutLoop(Nested& n, const std::vector<size_t>& chain) {
  n.cut = true;
  const Block& back = blocks_[static_cast<size_t>(n.block)];
  std::string path, quoted;
  size_t from = 0;
  while (chain[from] != static_cast<size_t>(n.block)) ++from;
  for (size_t k = from; k < chain.size(); ++k) {
    path += blocks_[chain[k]].name + " -> ";
    quoted += "\"" + blocks_[chain[k]].name + "\" -> ";
  }
  path += back.name;
  quoted += "\"" + back.name + "\"";
  AddSkipped(skipped_,
             {"INSERT", 1, "inserts itself: " + path, "插入自身：" + path,
              RefusalText(place_, back.where,
                          "the block \"" + back.name + "\" contains itself (" + quoted + ")")});
}

// The entities one reference to block b places, found before any is made; nesting
// beyond the limit is refused here, and a reference that closes a loop is cut.
void BlockExploder::CountBlock(size_t b, int level, std::vector<size_t>& chain) {
  Block& blk = blocks_[b];
  if (blk.counted == Block::Count::kDone) return;
  if (level > kMaxBlockNesting) NestingTooDeep(blk);
  blk.counted = Block::Count::kCounting;
  chain.push_back(b);
  int64_t count = 0;
  int depth = 0;
  for (Item& item : blk.items) {
    if (const SkippedKind* left = std::get_if<SkippedKind>(&item)) {
      AddSkipped(skipped_, *left);
      continue;
    }
    Nested* nested = std::get_if<Nested>(&item);
    if (nested == nullptr) {
      count = MulAdd(1, 1, count, Cap());
      continue;
    }
    const RawInsert& ins = inserts_[nested->insert];
    if (nested->block >= 0 &&
        blocks_[static_cast<size_t>(nested->block)].counted == Block::Count::kCounting) {
      CutLoop(*nested, chain);
      continue;
    }
    const int64_t copies = Copies(ins);
    count = MulAdd(copies, static_cast<int64_t>(ins.attribs.size()), count, Cap());
    if (nested->block < 0) {
      AddSkipped(skipped_, {ins.dimension ? "DIMENSION" : "INSERT", 1,
                            std::string(kMissingBlock.english),
                            std::string(kMissingBlock.chinese), ""});
      continue;
    }
    CountBlock(static_cast<size_t>(nested->block), level + 1, chain);
    const Block& c = blocks_[static_cast<size_t>(nested->block)];
    if (level + c.depth > kMaxBlockNesting) NestingTooDeep(c);
    depth = std::max(depth, c.depth);
    count = MulAdd(copies, c.count, count, Cap());
  }
  chain.pop_back();
  blk.count = count;
  blk.depth = depth + 1;
  blk.counted = Block::Count::kDone;
}

void BlockExploder::NestingTooDeep(const Block& blk) const {
  Refuse(place_, blk.where,
         "the block \"" + blk.name + "\" lies more than " + std::to_string(kMaxBlockNesting) +
             " levels deep in nested blocks");
}

void BlockExploder::TooManyPlaced(int64_t where, const std::string& block) const {
  Refuse(place_, where,
         "the block references up to the one to \"" + block + "\" place more than " +
             std::to_string(limits_.maxPlacedEntities) +
             " entities (the limit on entities placed from blocks)");
}

int64_t BlockExploder::CountPlaced(const std::vector<RawEntity>& model) {
  int64_t total = 0;
  std::vector<size_t> chain;
  for (const RawEntity& r : model) {
    if (r.insert < 0 || r.merged) continue;
    const RawInsert& ins = inserts_[static_cast<size_t>(r.insert)];
    const int64_t copies = Copies(ins);
    total = MulAdd(copies, static_cast<int64_t>(ins.attribs.size()), total, Cap());
    const int b = FindBlock(ins);
    if (b >= 0) {
      CountBlock(static_cast<size_t>(b), 1, chain);
      total = MulAdd(copies, blocks_[static_cast<size_t>(b)].count, total, Cap());
    }
    if (total > limits_.maxPlacedEntities) {
      TooManyPlaced(ins.where, DecodeDxfText(ins.block, codec_));
    }
  }
  return total;
}

bool BlockExploder::Explode(const RawInsert& ins, const EntityCommon& reference,
                            int64_t insertId, size_t placedLimit, LayerTable& layers,
                            std::vector<Entity>& out) {
  layers_ = &layers;
  out_ = &out;
  placedLimit_ = placedLimit;
  return Place(ins, Affine{}, HandDown{reference.layer, reference.color, "", insertId}, 1);
}

// The entities placed from `from` on take what the placing hands down: the layer of
// the reference for those on layer 0 (when they inherit it), its colour for ByBlock
// ones, the block path and the insert's number.
void BlockExploder::Adopt(size_t from, const HandDown& down, bool zeroLayerInherits) {
  for (size_t j = from; j < out_->size(); ++j) {
    Entity& p = (*out_)[j];
    p.layer = zeroLayerInherits && p.layer == "0" ? down.layer : layers_->Resolve(p.layer);
    if (p.color == kColorByBlock) p.color = down.color;
    p.blockPath = down.path;
    p.insertId = down.insertId;
  }
}

// Places one reference's copies and attributes through `outer` (the map of the
// space the reference stands in). Returns false when its block does not exist.
bool BlockExploder::Place(const RawInsert& ins, const Affine& outer, HandDown down, int level) {
  const int b = FindBlock(ins);
  // Copies that would place nothing are not walked: a huge grid of an empty block
  // costs no time.
  if ((b < 0 || blocks_[static_cast<size_t>(b)].count == 0) && ins.attribs.empty()) {
    return b >= 0;
  }
  const Block* blk = b < 0 ? nullptr : &blocks_[static_cast<size_t>(b)];
  // The attributes of a reference to a missing block belong to no block path.
  down.path = blk == nullptr ? "" : (down.path.empty() ? "" : down.path + "/") + blk->name;
  const double c = std::cos(ins.rotation), s = std::sin(ins.rotation);
  const int64_t cols = GridColumns(ins);
  const int64_t rows = GridRows(ins);
  for (int64_t row = 0; row < rows; ++row) {
    for (int64_t col = 0; col < cols; ++col) {
      // The copy's offset turns with the insert but is not scaled; turned once, it
      // moves the block's insertion point and the attributes alike.
      const double gx = static_cast<double>(col) * ins.columnSpacing;
      const double gy = static_cast<double>(row) * ins.rowSpacing;
      const double ox = gx * c - gy * s, oy = gx * s + gy * c;
      if (blk != nullptr) {
        Affine m = outer;
        if (!ins.dimension) {  // a dimension's block is drawn where it stands
          Point3 at = ins.insertion;
          at[0] += ox;
          at[1] += oy;
          m = Compose(outer, InsertMatrix(blk->base, at, ins.scale, ins.rotation, ins.extrusion));
        }
        PlaceBlock(*blk, m, down, level);
      }
      // An attribute stands in the reference's own space, on its own layer.
      const Affine attribs = Compose(outer, Translation(OcsToWcs({ox, oy, 0}, ins.extrusion)));
      for (const RawEntity& a : ins.attribs) {
        const size_t from = out_->size();
        PlaceEntity(a.entity, attribs, *out_);
        Adopt(from, down, false);
      }
    }
  }
  return b >= 0;
}

void BlockExploder::PlaceBlock(const Block& blk, const Affine& m, const HandDown& down,
                               int level) {
  for (const Item& item : blk.items) {
    if (const Entity* e = std::get_if<Entity>(&item)) {
      const size_t from = out_->size();
      if (from >= placedLimit_) TooManyPlaced(e->sourceLine, blk.name);
      PlaceEntity(*e, m, *out_);
      Adopt(from, down, true);
      continue;
    }
    const Nested* found = std::get_if<Nested>(&item);
    if (found == nullptr || found->cut) continue;  // left out, and counted so
    const Nested& nested = *found;
    HandDown inner = down;
    if (nested.common.layer != "0") inner.layer = layers_->Resolve(nested.common.layer);
    if (nested.common.color != kColorByBlock) inner.color = nested.common.color;
    Place(inserts_[nested.insert], m, std::move(inner), level + 1);
  }
}

}  // namespace varnolt::dxf_detail
