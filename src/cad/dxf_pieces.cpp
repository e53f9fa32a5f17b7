// The DXF file as an entity source, its ENTITIES section read in pieces on several
// threads.
//
// The section is cut at lines that can only be a group 0 starting an entity (a line
// "0" followed by a name, not VERTEX, SEQEND or ATTRIB, which belong to the entity
// before). Each piece is cut into tokens and parsed on its own; a piece must end
// exactly where the next one starts, which proves that the cut agrees with a serial
// scan of the file. Each entity is kept as a small record: where its groups lie in
// the file, its kind, colour and layer; it is parsed again when it is converted.
// Anything unusual (a broken file, MTEXT in columns, a MULTILEADER, which is read as
// two entities, blocks to explode, a file of 4 GiB or more) is read the serial way,
// which also words any error.
#include <algorithm>
#include <iostream>
#include <thread>
#include <unordered_map>
#include <utility>

#include "base/error.h"
#include "base/files.h"
#include "base/ordered_work.h"
#include "cad/dxf.h"
#include "cad/dxf_internal.h"
#include "text/ascii.h"

namespace varnolt {
namespace {

using dxf_detail::PieceEntity;

// A model-space entity of a drawing read in pieces: where its groups lie in the
// file, and what sorting it into families needs.
struct DxfRecord {
  uint32_t begin = 0;   // byte offset of its group 0's code line
  uint32_t length = 0;  // bytes up to the next entity's
  uint32_t line = 0;    // the code line's number
  uint32_t layer = 0;   // index in the layer table
  int16_t color = kColorByLayer;
  uint8_t type = 0;     // EntityType
  bool closedShape = false;
};
static_assert(sizeof(DxfRecord) == 20);

// Pieces read ahead of the one the calling thread takes, per thread.
constexpr size_t kPiecesAheadPerThread = 4;

bool IsIntegerLine(std::string_view line) {
  line = Trim(line, " \t\r");
  if (!line.empty() && (line.front() == '+' || line.front() == '-')) line.remove_prefix(1);
  return !line.empty() && line.find_first_not_of("0123456789") == std::string_view::npos;
}

// The first place in [from, to) where a line "0" is followed by an entity name that
// starts an entity of its own, or npos.
size_t EntityStartIn(std::string_view bytes, size_t from, size_t to) {
  size_t pos = from;
  if (pos > 0 && bytes[pos - 1] != '\n') {
    const size_t nl = bytes.find('\n', pos);
    if (nl == std::string_view::npos) return std::string_view::npos;
    pos = nl + 1;
  }
  while (pos < to) {
    const size_t nl = bytes.find('\n', pos);
    if (nl == std::string_view::npos) return std::string_view::npos;
    if (Trim(bytes.substr(pos, nl - pos), " \t\r") == "0") {
      const size_t next = nl + 1;
      const size_t nl2 = bytes.find('\n', next);
      const std::string_view name =
          Trim(bytes.substr(next, nl2 == std::string_view::npos ? std::string_view::npos : nl2 - next),
               " \t\r");
      if (!name.empty() && !IsIntegerLine(name) && name != "VERTEX" && name != "SEQEND" &&
          name != "ATTRIB") {
        return pos;
      }
    }
    pos = nl + 1;
  }
  return std::string_view::npos;
}

// The start of the line before the one at `value` (the group code line of a value).
size_t CodeLineStart(std::string_view bytes, size_t value) {
  if (value < 2) return 0;
  const size_t nl = bytes.rfind('\n', value - 2);
  return nl == std::string_view::npos ? 0 : nl + 1;
}

struct PieceResult {
  // Why the piece does not agree with a serial scan; empty when it parsed cleanly,
  // up to its end or to the section's end.
  std::string disagrees;
  bool endsSection = false;    // holds the group that ends the ENTITIES section
  size_t sectionEnd = 0;       // that group's code line
  int64_t sectionEndLine = 0;  // its line, counted from the piece's start
  int64_t lines = 0;           // lines in the piece
  std::vector<DxfRecord> records;        // lines counted from the piece's start, layers local
  std::vector<std::string_view> layers;  // raw layer names in first use
  std::vector<SkippedKind> skipped;
  // With a pick: each record's position in it, and the positions of all picked
  // entities met (those not read included).
  std::vector<uint32_t> picks;
  std::vector<size_t> met;
};

PieceResult ReadPiece(std::string_view bytes, size_t begin, size_t end, const std::string& name,
                      const DxfLimits& limits, DxfTokens& tokens) {
  PieceResult piece;
  tokens.tokens.clear();
  const AsciiScan scan = ScanAscii(bytes, begin, end, 0, tokens.tokens);
  piece.lines = scan.line;
  const auto& t = tokens.tokens;
  auto offsetOf = [&](size_t k) {
    return CodeLineStart(bytes, static_cast<size_t>(t[k].text.data() - bytes.data()));
  };
  size_t stop = 0;
  int64_t columns = 0;
  try {
    std::unordered_map<std::string_view, uint32_t> layerIds;
    stop = dxf_detail::ParseEntitiesPiece(
        tokens, name, limits,
        [&](const PieceEntity& e) {
          if (e.unusual && columns == 0) columns = t[e.firstToken].where;
          const auto layer = layerIds.emplace(e.layer, static_cast<uint32_t>(piece.layers.size()));
          if (layer.second) piece.layers.push_back(e.layer);
          DxfRecord r;
          r.begin = static_cast<uint32_t>(offsetOf(e.firstToken));
          r.line = static_cast<uint32_t>(t[e.firstToken].where);
          r.layer = layer.first->second;
          r.color = static_cast<int16_t>(e.color);
          r.type = static_cast<uint8_t>(e.type);
          r.closedShape = e.closedShape;
          piece.records.push_back(r);
          if (limits.pick) piece.picks.push_back(static_cast<uint32_t>(e.pick));
        },
        piece.skipped, piece.met);
  } catch (const Error& e) {
    piece.disagrees = e.what();
    return piece;
  }
  if (columns != 0) {
    piece.disagrees = "an entity read only whole (MTEXT in columns or MULTILEADER) at its line " +
                      std::to_string(columns);
    return piece;
  }
  piece.endsSection = stop < t.size();
  size_t tail = scan.pos;
  if (piece.endsSection) {
    tail = offsetOf(stop);
    piece.sectionEnd = tail;
    piece.sectionEndLine = t[stop].where;
  } else if (scan.stop != AsciiScan::Stop::kEnd || scan.pos != end) {
    piece.disagrees = "its line " + std::to_string(scan.line) +
                      (scan.stop == AsciiScan::Stop::kEnd ? " lies past the cut a serial scan makes"
                                                          : " cannot be read as a group");
    return piece;
  }
  // Each record runs up to the next group 0 that is not its own: the start of the
  // next record's tokens, or of whatever ends the piece.
  for (size_t k = 0; k < piece.records.size(); ++k) {
    const size_t next = k + 1 < piece.records.size() ? piece.records[k + 1].begin : tail;
    piece.records[k].length = static_cast<uint32_t>(next - piece.records[k].begin);
  }
  return piece;
}

}  // namespace

// Records of model-space entities over the file held in memory, each parsed when
// asked for.
class DxfStore {
 public:
  DxfStore(std::unique_ptr<FileBytes> file, std::string_view bytes, std::string name,
           const DxfLimits& limits)
      : file_(std::move(file)), bytes_(bytes), name_(std::move(name)), limits_(limits) {}

  // Reads the drawing with its ENTITIES section in pieces. Returns why it must be
  // read the serial way instead; empty when it was read.
  std::string Read(DxfDrawing& drawing) {
    if (bytes_.size() >= (uint64_t{1} << 32) - 1) return "the file is 4 GiB or larger";
    if ((limits_.include & kIncludeBlocks) != 0) return "blocks are exploded";
    DxfTokens head;
    const size_t entities = FindEntitiesSection(head);
    if (entities == std::string_view::npos) return "no ENTITIES section";
    Section section;
    if (std::string why = ReadPieces(entities, section); !why.empty()) return why;
    std::string why = ReadRest(std::move(head), section, drawing);
    if (why.empty() && limits_.pick) {
      InPickOrder(section.picks);
      drawing.unmatched = limits_.pick->Unmatched(section.met);
    }
    return why;
  }

  size_t size() const { return total_; }
  std::unique_ptr<FileBytes> TakeFile() { return std::move(file_); }

  const DxfRecord& At(size_t k) const {
    if (!order_.empty()) k = order_[k];
    const size_t p = static_cast<size_t>(std::upper_bound(first_.begin(), first_.end(), k) - first_.begin()) - 1;
    return records_[p][k - first_[p]];
  }

  // The entity of record k, parsed again from its groups.
  void Load(size_t k, Entity& out) const {
    const DxfRecord& r = At(k);
    thread_local DxfTokens tokens;
    tokens.tokens.clear();
    ScanAscii(bytes_, r.begin, r.begin + r.length, static_cast<int64_t>(r.line) - 1, tokens.tokens);
    std::optional<Entity> one = dxf_detail::ParseOneEntity(tokens, name_, limits_, codec_);
    if (!one) throw Error(ErrorKind::kGeneral, name_ + ", line " + std::to_string(r.line) + ": the entity could not be read again");
    out = std::move(*one);
    out.layer = (*layers_)[r.layer].name;
  }

  EntityBrief Brief(size_t k) const {
    const DxfRecord& r = At(k);
    return {static_cast<EntityType>(r.type), r.color, (*layers_)[r.layer].name, r.closedShape};
  }

 private:
  // What the pieces hold of the ENTITIES section, and where the rest of the file
  // begins.
  struct Section {
    size_t tail = std::string_view::npos;  // the group that ends the section
    int64_t tailLine = 0;
    std::vector<std::vector<std::string_view>> layers;  // per piece
    std::vector<std::vector<SkippedKind>> skipped;      // per piece
    std::vector<uint32_t> picks;  // with a pick: each record's position in it
    std::vector<size_t> met;      // the positions of the picked entities met
  };

  // With a pick, the records are taken in its order: a permutation of their numbers
  // by their positions in the pick (`picks`), equal positions in file order.
  void InPickOrder(const std::vector<uint32_t>& picks) {
    order_.resize(picks.size());
    for (size_t k = 0; k < order_.size(); ++k) order_[k] = static_cast<uint32_t>(k);
    std::stable_sort(order_.begin(), order_.end(),
                     [&picks](uint32_t a, uint32_t b) { return picks[a] < picks[b]; });
  }

  // Where the ENTITIES section's entities begin (past its "2 ENTITIES" line), the
  // sections before it cut into `head` the serial way; npos when there is none.
  size_t FindEntitiesSection(DxfTokens& head) {
    const std::string_view bytes = bytes_;
    for (size_t at = bytes.find("ENTITIES"); at != std::string_view::npos;
         at = bytes.find("ENTITIES", at + 1)) {
      const size_t nl = bytes.find('\n', at);
      if (nl == std::string_view::npos) return std::string_view::npos;
      const size_t lineStart = at == 0 ? 0 : bytes.rfind('\n', at - 1) + 1;  // npos + 1 is 0
      if (Trim(bytes.substr(lineStart, nl - lineStart), " \t\r") != "ENTITIES") continue;
      head.tokens.clear();
      const AsciiScan scan = ScanAscii(bytes, 0, nl + 1, 0, head.tokens);
      const auto& t = head.tokens;
      if (scan.stop == AsciiScan::Stop::kEnd && scan.pos == nl + 1 && t.size() >= 2 &&
          t.back().code == 2 && DxfName(t.back()) == "ENTITIES" && t[t.size() - 2].code == 0 &&
          DxfName(t[t.size() - 2]) == "SECTION") {
        headLines_ = scan.line;
        return nl + 1;
      }
    }
    return std::string_view::npos;
  }

  // The pieces from `entities` on, read on the threads and taken in order up to the
  // end of the section. Returns why they disagree with a serial scan, empty when
  // they agree.
  std::string ReadPieces(size_t entities, Section& section) {
    const std::string_view bytes = bytes_;
    const size_t pieceBytes = limits_.pieceBytes != 0 ? limits_.pieceBytes : size_t{256} << 10;
    const size_t count = std::max<size_t>(1, (bytes.size() - entities + pieceBytes - 1) / pieceBytes);
    auto nominal = [&](size_t k) { return std::min(bytes.size(), entities + k * pieceBytes); };
    auto startOf = [&](size_t k) {
      return k == 0 ? entities : EntityStartIn(bytes, nominal(k), nominal(k + 1));
    };
    auto read = [&](size_t k) {
      PieceResult piece;
      const size_t begin = startOf(k);
      if (begin == std::string_view::npos) return piece;  // nothing starts here: the piece before reads on
      size_t end = bytes.size();
      for (size_t j = k + 1; j < count; ++j) {
        if (const size_t s = startOf(j); s != std::string_view::npos) {
          end = s;
          break;
        }
      }
      thread_local DxfTokens tokens;
      return ReadPiece(bytes, begin, end, name_, limits_, tokens);
    };
    const unsigned threads = limits_.threads != 0 ? limits_.threads
                                                  : std::max(1u, std::thread::hardware_concurrency());
    OrderedWork<PieceResult> work(count, threads, kPiecesAheadPerThread, read);
    int64_t line = headLines_;
    for (size_t k = 0; k < count && section.tail == std::string_view::npos; ++k) {
      PieceResult p = work.Take(k);
      if (!p.disagrees.empty()) {
        return "piece " + std::to_string(k + 1) + " (from line " + std::to_string(line + 1) +
               "): " + p.disagrees;
      }
      for (DxfRecord& r : p.records) r.line += static_cast<uint32_t>(line);
      if (p.endsSection) {
        section.tail = p.sectionEnd;
        section.tailLine = line + p.sectionEndLine - 1;
      }
      line += p.lines;
      if (line >= int64_t{1} << 32) return "more than 4294967295 lines";
      first_.push_back(total_);
      total_ += p.records.size();
      section.layers.push_back(std::move(p.layers));
      section.skipped.push_back(std::move(p.skipped));
      section.picks.insert(section.picks.end(), p.picks.begin(), p.picks.end());
      section.met.insert(section.met.end(), p.met.begin(), p.met.end());
      records_.push_back(std::move(p.records));
    }
    if (section.tail == std::string_view::npos) return "the ENTITIES section does not end";
    first_.push_back(total_);
    return {};
  }

  // The sections after ENTITIES the serial way, and the drawing built from all.
  std::string ReadRest(DxfTokens all, const Section& section, DxfDrawing& drawing) {
    const std::string_view bytes = bytes_;
    const AsciiScan scan = ScanAscii(bytes, section.tail, bytes.size(), section.tailLine, all.tokens);
    if (scan.stop == AsciiScan::Stop::kNoValue ||
        (scan.stop == AsciiScan::Stop::kBadCode &&
         bytes.substr(scan.pos).find_first_not_of(" \t\r\n") != std::string_view::npos)) {
      return "line " + std::to_string(scan.line) + " after the ENTITIES section cannot be read";
    }
    all.sawEof = scan.stop == AsciiScan::Stop::kEof;
    all.endWhere = scan.line + 1;
    dxf_detail::StreamedDrawing s;
    try {
      s = dxf_detail::FinishStreamed(all, name_, limits_, section.layers, section.skipped);
    } catch (const Error& e) {
      return e.what();
    }
    if (!s.serialReason.empty()) return s.serialReason;
    drawing = std::move(s.drawing);
    codec_ = s.codec;
    for (size_t p = 0; p < records_.size(); ++p) {
      for (DxfRecord& r : records_[p]) r.layer = s.layerIndex[p][r.layer];
    }
    layers_ = &drawing.layers;
    return {};
  }

  std::unique_ptr<FileBytes> file_;
  std::string_view bytes_;
  std::string name_;
  DxfLimits limits_;
  int64_t headLines_ = 0;
  DxfTextCodec codec_{};
  const std::vector<Layer>* layers_ = nullptr;
  std::vector<std::vector<DxfRecord>> records_;  // per piece
  std::vector<size_t> first_;                    // per piece: the index of its first record
  size_t total_ = 0;
  std::vector<uint32_t> order_;  // with a pick: record numbers in its order
};

namespace {

// The pick of a DXF read in pieces: record numbers, all or those of some layers.
class DxfPickList : public EntityList {
 public:
  DxfPickList(const DxfStore& store, std::vector<uint32_t> picked, bool all)
      : store_(store), picked_(std::move(picked)), all_(all) {}
  size_t size() const override { return all_ ? store_.size() : picked_.size(); }
  EntityBrief Brief(size_t k) const override { return store_.Brief(Record(k)); }
  const Entity& Get(size_t k, Entity& scratch) const override {
    store_.Load(Record(k), scratch);
    return scratch;
  }

 private:
  size_t Record(size_t k) const { return all_ ? k : picked_[k]; }
  const DxfStore& store_;
  std::vector<uint32_t> picked_;
  bool all_;
};

}  // namespace

DxfSource::DxfSource(const std::filesystem::path& path, const DxfLimits& limits)
    : description_(dxf_detail::FileNameText(path)) {
  auto file = std::make_unique<FileBytes>(path, limits.maxFileBytes);

  std::string_view bytes = file->view();
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  const bool binary = bytes.substr(0, 18) == std::string_view("AutoCAD Binary DXF", 18);
  if (binary) {
    serialReason_ = "a binary file";
  } else if (bytes.empty()) {
    serialReason_ = "an empty file";
  } else {
    auto store = std::make_unique<DxfStore>(std::move(file), bytes, description_, limits);
    serialReason_ = store->Read(drawing_);
    if (serialReason_.empty()) {
      store_ = std::move(store);
      return;
    }
#ifndef NDEBUG
    std::cerr << "varnolt: debug: " << description_ << " is read the serial way: "
              << serialReason_ << "\n";
#endif
    file = store->TakeFile();
  }
  drawing_ = ParseDxf(file->view(), description_, limits);
}

DxfSource::DxfSource(DxfDrawing drawing, std::string description)
    : drawing_(std::move(drawing)), description_(std::move(description)) {}

DxfSource::~DxfSource() = default;

// The layers the filter lets through, by index in the layer table.
std::vector<bool> DxfSource::LayersPicked() const {
  std::vector<bool> picked(drawing_.layers.size(), layerFilter_.empty());
  for (size_t k = 0; k < picked.size(); ++k) {
    for (const std::string& name : layerFilter_) {
      if (EqualsIgnoringAsciiCase(name, drawing_.layers[k].name)) picked[k] = true;
    }
  }
  return picked;
}

std::unique_ptr<EntityList> DxfSource::Pick() {
  if (!store_) return EntitySource::Pick();
  if (layerFilter_.empty()) return std::make_unique<DxfPickList>(*store_, std::vector<uint32_t>{}, true);
  const std::vector<bool> layers = LayersPicked();
  std::vector<uint32_t> picked;
  for (size_t k = 0; k < store_->size(); ++k) {
    if (layers[store_->At(k).layer]) picked.push_back(static_cast<uint32_t>(k));
  }
  return std::make_unique<DxfPickList>(*store_, std::move(picked), false);
}

std::vector<const Entity*> DxfSource::SelectOnScreen() {
  if (store_ && drawing_.entities.empty()) {
    // Asked for entities to hold: every one is read now.
    drawing_.entities.resize(store_->size());
    for (size_t k = 0; k < store_->size(); ++k) store_->Load(k, drawing_.entities[k]);
  }
  std::vector<const Entity*> picked;
  picked.reserve(drawing_.entities.size());
  for (const Entity& e : drawing_.entities) {
    bool match = layerFilter_.empty();
    for (size_t k = 0; !match && k < layerFilter_.size(); ++k) {
      match = EqualsIgnoringAsciiCase(layerFilter_[k], e.layer);
    }
    if (match) picked.push_back(&e);
  }
  return picked;
}

}  // namespace varnolt
