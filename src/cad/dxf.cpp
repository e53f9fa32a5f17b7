// The group parser: sections, the header's code page, the layer table, the entity
// list with its kinds, and the drawing built from what was read.
#include "cad/dxf.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <utility>

#include "base/error.h"
#include "base/files.h"
#include "cad/dxf_parser.h"
#include "text/ascii.h"
#include "text/encoding.h"

namespace varnolt {
namespace dxf_detail {

void Parser::Read() {
  if (t_.empty() || !IsZero(0, "SECTION")) {
    throw Error(ErrorKind::kGeneral,
                place_.name + " is not a DXF file (it does not begin with a SECTION).");
  }
  CheckComplete();
  while (i_ < t_.size()) {
    if (IsZero(i_, "EOF")) break;
    if (!IsZero(i_, "SECTION")) {
      ++i_;  // stray groups between sections (seen in repaired files): skipped
      continue;
    }
    ++i_;
    std::string_view section;
    if (i_ < t_.size() && t_[i_].code == 2) section = DxfName(t_[i_++]);
    if (section == "HEADER") {
      ReadHeader();
    } else if (section == "TABLES") {
      ReadTables();
    } else if (section == "ENTITIES") {
      ReadEntities();
    } else if (section == "BLOCKS" && Included(kIncludeBlocks)) {
      ReadBlocks();
    } else {
      while (!AtSectionEnd()) ++i_;
    }
    if (i_ < t_.size() && IsZero(i_, "ENDSEC")) ++i_;
  }
}

DxfDrawing Parser::Finish() {
  DxfDrawing d;
  LayerTable layers(d.layers);
  Build(d, layers);
  if (Picking()) d.unmatched = limits_.pick->Unmatched(met_);
  return d;
}

size_t Parser::ReadPiece(const Emit& emit) {
  i_ = 0;
  ReadEntityListWith(true, emit);
  return i_;
}

void Parser::Build(DxfDrawing& d, LayerTable& layers) {
  MergeMTextColumns();
  d.acadver = std::string(acadver_);
  d.codepage = std::string(codepage_);
  codec_ = ChooseDxfCodec(acadver_, codepage_);
  for (const RawLayer& l : layers_) layers.Add(DecodeDxfText(l.name, codec_), l.color);
  BlockExploder blocks(blocks_, inserts_, codec_, limits_, place_, skipped_);
  const int64_t placed = blocks.CountPlaced(entities_);
  d.entities.reserve(entities_.size() + static_cast<size_t>(placed));
  const size_t placedLimit =
      entities_.size() + static_cast<size_t>(std::max<int64_t>(limits_.maxPlacedEntities, 0));
  int64_t insertId = 0;
  std::vector<size_t> order;  // with a pick: each entity's position in it
  for (RawEntity& r : entities_) {
    if (r.merged) continue;
    // A multiline text not picked was read only to lend its text to a picked one.
    const size_t at = Picking() ? limits_.pick->Find(r.entity.handle) : DxfPick::kNotPicked;
    if (Picking() && at == DxfPick::kNotPicked) continue;
    DecodeStrings(r, codec_, true);
    Entity& e = r.entity;
    e.layer = layers.Resolve(e.layer);
    if (r.insert < 0) {
      d.entities.push_back(std::move(e));
    } else {
      const RawInsert& ins = inserts_[static_cast<size_t>(r.insert)];
      if (!blocks.Explode(ins, e, ++insertId, placedLimit, layers, d.entities)) {
        AddSkipped(skipped_, {ins.dimension ? "DIMENSION" : "INSERT", 1,
                              std::string(kMissingBlock.english),
                              std::string(kMissingBlock.chinese), ""});
      }
    }
    if (Picking()) order.resize(d.entities.size(), at);
  }
  if (Picking()) InPickOrder(d.entities, order);
  d.skipped = std::move(skipped_);
}

void Parser::CheckComplete() const {
  if (tokens_.sawEof) return;
  bool inSection = false, entitiesClosed = false;
  std::string_view section;
  int64_t sectionAt = 0;
  for (size_t k = 0; k < t_.size(); ++k) {
    if (t_[k].code != 0) continue;
    const std::string_view what = DxfName(t_[k]);
    if (what == "SECTION") {
      inSection = true;
      sectionAt = t_[k].where;
      section = k + 1 < t_.size() && t_[k + 1].code == 2 ? DxfName(t_[k + 1])
                                                        : std::string_view{};
    } else if (what == "ENDSEC") {
      entitiesClosed = entitiesClosed || (inSection && section == "ENTITIES");
      inSection = false;
    }
  }
  const std::string where = place_.Where(tokens_.endWhere);
  if (inSection) {
    throw Error(ErrorKind::kGeneral,
                where + ": unexpected end of file in the section that starts at " +
                    DxfWhere(tokens_.binary, sectionAt) + "; the file is incomplete.");
  }
  if (!entitiesClosed) {
    throw Error(ErrorKind::kGeneral,
                where + ": unexpected end of file; the file is incomplete.");
  }
}

void Parser::ReadHeader() {
  while (!AtSectionEnd()) {
    const DxfToken& t = t_[i_++];
    if (t.code != 9 || i_ >= t_.size()) continue;
    const std::string_view var = DxfName(t);
    if (var == "$ACADVER" && t_[i_].code == 1) {
      acadver_ = DxfName(t_[i_]);
    } else if (var == "$DWGCODEPAGE" && t_[i_].code == 3) {
      codepage_ = DxfName(t_[i_]);
    }
  }
}

void Parser::ReadTables() {
  while (!AtSectionEnd()) {
    if (!IsZero(i_, "LAYER")) {
      ++i_;
      continue;
    }
    const size_t end = NextZero(i_ + 1);
    RawLayer layer;
    bool named = false;
    for (size_t k = i_ + 1; k < end; ++k) {
      const DxfToken& t = t_[k];
      if (t.code == 2) {
        layer.name = Raw(t);
        named = true;
      } else if (t.code == 62) {
        layer.color = LayerColorAsRead(Int(t));
      }
    }
    if (named && !layer.name.empty()) layers_.push_back(layer);
    i_ = end;
  }
}

void Parser::Refuse(const RawEntity& e, const std::string& what) const {
  dxf_detail::Refuse(place_, e.entity.sourceLine, what);
}

void Parser::CheckCount(int64_t declared, const RawEntity& e, std::string_view kind,
                std::string_view what, uint64_t limit) const {
  if (limit == 0) limit = limits_.maxVertices;
  if (declared > 0 && static_cast<uint64_t>(declared) > limit) {
    Refuse(e, "the " + std::string(kind) + " has more than " + std::to_string(limit) + " " +
                  std::string(what));
  }
}

void Parser::CheckVertexCount(size_t count, const RawEntity& e, std::string_view kind) const {
  if (count > limits_.maxVertices) CheckCount(static_cast<int64_t>(count), e, kind, "vertices");
}

void Parser::ReadEntities() {
  ++entitySections_;
  // Room for every entity of the section at once: a growing array of entities
  // would hold twice their size at its peak.
  size_t count = 0;
  for (size_t k = i_; k < t_.size() && !IsZero(k, "ENDSEC"); ++k) {
    if (t_[k].code == 0 && !IsZero(k, "VERTEX") && !IsZero(k, "SEQEND")) ++count;
  }
  entities_.reserve(entities_.size() + count);
  ReadEntityList(entities_, true);
}

void Parser::ReadBlocks() {
  while (!AtSectionEnd()) {
    if (!IsZero(i_, "BLOCK")) {
      ++i_;
      continue;
    }
    RawBlock block;
    block.where = t_[i_].where;
    const size_t end = NextZero(i_ + 1);
    for (size_t k = i_ + 1; k < end; ++k) {
      if (t_[k].code == 2) {
        block.name = Raw(t_[k]);
      } else {
        PointGroup(t_[k], 10, block.base);
      }
    }
    i_ = end;
    ReadEntityList(block.entities, false);
    if (i_ < t_.size() && IsZero(i_, "ENDBLK")) i_ = NextZero(i_ + 1);
    if (!block.name.empty()) blocks_.push_back(std::move(block));
  }
}

void Parser::Skip(std::string_view raw) {
  AddSkipped(skipped_, SkippedKind{SanitizeUtf8(raw.substr(0, 40)), 1, "", "", ""});
}

void Parser::ReadEntityList(std::vector<RawEntity>& into, bool model) {
  ReadEntityListWith(model, [&](RawEntity& e, size_t) { into.push_back(std::move(e)); });
}

Parser::Reader Parser::ReaderOf(std::string_view kind) const {
  static constexpr KindReader kReaders[] = {
      {"LINE", &Parser::ReadLine, 0},
      {"CIRCLE", &Parser::ReadArc, 0},
      {"ARC", &Parser::ReadArc, 0},
      {"TEXT", &Parser::ReadText, 0},
      {"MTEXT", &Parser::ReadMText, 0},
      {"LWPOLYLINE", &Parser::ReadLwPolyline, 0},
      {"POLYLINE", &Parser::ReadPolyline, 0},
      {"INSERT", &Parser::ReadInsert, 0},
      {"DIMENSION", &Parser::ReadInsert, 0},
      {"POINT", &Parser::ReadPoint, kIncludePoints},
      {"ELLIPSE", &Parser::ReadEllipse, kIncludeEllipses},
      {"SPLINE", &Parser::ReadSpline, kIncludeSplines},
      {"HATCH", &Parser::ReadHatch, kIncludeHatches},
      {"SOLID", &Parser::ReadSolid, kIncludeSolids},
      {"TRACE", &Parser::ReadSolid, kIncludeSolids},
      {"3DFACE", &Parser::ReadSolid, kIncludeSolids},
      {"LEADER", &Parser::ReadLeader, kIncludeLeaders},
      {"MULTILEADER", &Parser::ReadMultiLeader, kIncludeLeaders},
      {"IMAGE", &Parser::ReadFrame, kIncludeFrames},
      {"WIPEOUT", &Parser::ReadFrame, kIncludeFrames},
  };
  for (const KindReader& r : kReaders) {
    if (r.kind == kind) return r.include == 0 || Included(r.include) ? r.read : nullptr;
  }
  return nullptr;
}

void Parser::ReadEntityListWith(bool model, const Emit& emit) {
  while (!AtSectionEnd() && !IsZero(i_, "ENDBLK")) {
    if (t_[i_].code != 0) {
      ++i_;
      continue;
    }
    const std::string_view kind = DxfName(t_[i_]);
    const size_t first = i_;
    const size_t begin = i_ + 1;
    const size_t end = NextZero(begin);
    RawEntity e;
    e.entity.sourceLine = t_[i_].where;
    bool paper = false;
    i_ = end;
    // MTEXT keeps an embedded object after group 101 whose groups (10, 11, 40,
    // ...) would override the entity's own; reading stops there for every kind.
    size_t stop = begin;
    while (stop < end && t_[stop].code != 101) ++stop;
    // VERTEX, SEQEND or ATTRIB out of place belong to no entity of their own.
    const bool top = model && !kind.empty() && kind != "VERTEX" && kind != "SEQEND" &&
                     kind != "ATTRIB";
    // What was not picked is passed over unread, but for a multiline text, which
    // may hold a further column of a picked one.
    if (top && Picking() && !MeetPicked(begin, stop) && kind != "MTEXT") continue;
    const Reader read = ReaderOf(kind);
    if (read == nullptr) {
      if (top) {
        for (size_t k = begin; k < end; ++k) {
          if (t_[k].code == 67) paper = Int(t_[k]) == 1;
        }
        if (!paper || Picking()) Skip(kind);
      }
      continue;
    }
    std::string_view skipped;
    try {
      skipped = (this->*read)(begin, stop, e, paper, kind, model);
    } catch (LeftOutEntity& left) {
      second_.reset();
      if (model && (!paper || Picking())) AddSkipped(skipped_, left.what);
      if (!model) {
        // Counted when its block is placed.
        e.leftOut = std::move(left.what);
        emit(e, first);
      }
      continue;
    }
    if (!skipped.empty()) {
      if (model && (!paper || Picking())) Skip(skipped);
      continue;
    }
    if (paper && model && !Picking()) {
      second_.reset();
      continue;
    }
    emit(e, first);
    if (second_) {
      emit(*second_, first);
      second_.reset();
    }
  }
}

bool Parser::MeetPicked(size_t begin, size_t end) {
  for (size_t k = begin; k < end; ++k) {
    if (t_[k].code != 5) continue;
    const size_t at = limits_.pick->Find(Raw(t_[k]));
    if (at == DxfPick::kNotPicked) return false;
    met_.push_back(at);
    return true;
  }
  return false;
}

void Parser::LeaveOut(const RawEntity& e, std::string_view kind, const Reason& why,
                      const std::string& what) const {
  LeaveOut(e, kind, std::string(why.english), std::string(why.chinese), what);
}

void Parser::LeaveOut(const RawEntity& e, std::string_view kind, std::string english,
                      std::string chinese, const std::string& what) const {
  throw LeftOutEntity{SkippedKind{std::string(kind), 1, std::move(english), std::move(chinese),
                                  RefusalText(place_, e.entity.sourceLine, what)}};
}

void Parser::MergeMTextColumns() {
  std::unordered_map<std::string, size_t> byHandle;
  for (size_t k = 0; k < entities_.size(); ++k) {
    const RawEntity& r = entities_[k];
    if (r.entity.As<MText>() != nullptr && !r.entity.handle.empty()) {
      byHandle.emplace(FoldAscii(r.entity.handle), k);
    }
  }
  for (size_t k = 0; k < entities_.size(); ++k) {
    RawEntity& main = entities_[k];
    if (main.merged) continue;
    for (const std::string_view handle : main.columns) {
      const auto found = byHandle.find(FoldAscii(handle));
      if (found == byHandle.end() || found->second == k) continue;
      RawEntity& column = entities_[found->second];
      if (column.merged || !column.columns.empty()) continue;
      main.text += column.text;
      column.merged = true;
    }
  }
}


std::string FileNameText(const std::filesystem::path& path) {
  const std::u8string u8 = path.filename().u8string();
  return std::string(reinterpret_cast<const char*>(u8.data()), u8.size());
}

std::string RefusalText(const DxfPlace& place, int64_t where, const std::string& what) {
  return place.Where(where) + ": " + what + "; such a drawing cannot be converted.";
}

void InPickOrder(std::vector<Entity>& entities, const std::vector<size_t>& order) {
  std::vector<size_t> index(entities.size());
  for (size_t k = 0; k < index.size(); ++k) index[k] = k;
  std::stable_sort(index.begin(), index.end(),
                   [&order](size_t a, size_t b) { return order[a] < order[b]; });
  std::vector<Entity> sorted;
  sorted.reserve(entities.size());
  for (size_t k : index) sorted.push_back(std::move(entities[k]));
  entities = std::move(sorted);
}

void Refuse(const DxfPlace& place, int64_t where, const std::string& what) {
  throw Error(ErrorKind::kGeneral, RefusalText(place, where, what));
}

void LayerTable::Add(std::string name, int color) {
  if (!byName_.emplace(FoldAscii(name), layers_.size()).second) return;
  layers_.push_back(Layer{std::move(name), color});
}

size_t LayerTable::IndexOf(const std::string& name) {
  const auto [found, fresh] = byName_.emplace(FoldAscii(name), layers_.size());
  if (fresh) layers_.push_back(Layer{name, 7});
  return found->second;
}

std::string LayerTable::Resolve(const std::string& name) { return layers_[IndexOf(name)].name; }

void DecodeStrings(RawEntity& r, const DxfTextCodec& codec, bool layer) {
  Entity& e = r.entity;
  e.handle = SanitizeUtf8(e.handle);
  if (layer) e.layer = r.layer.empty() ? std::string("0") : DecodeDxfText(r.layer, codec);
  if (Text* t = e.As<Text>()) t->textstring = DecodeDxfText(r.text, codec);
  if (MText* t = e.As<MText>()) t->textstring = DecodeDxfText(r.text, codec);
}

size_t ParseEntitiesPiece(const DxfTokens& tokens, const std::string& name,
                          const DxfLimits& limits,
                          const std::function<void(const PieceEntity&)>& emit,
                          std::vector<SkippedKind>& skipped, std::vector<size_t>& met) {
  Parser parser(tokens, name, limits);
  const size_t stop = parser.ReadPiece([&](RawEntity& e, size_t first) {
    const size_t at = limits.pick ? limits.pick->Find(e.entity.handle) : DxfPick::kNotPicked;
    if (limits.pick && at == DxfPick::kNotPicked) return;  // read for a column only
    emit(PieceEntity{first, e.layer, e.entity.color, e.entity.type(), IsClosedShape(e.entity),
                     !e.columns.empty() || e.insert >= 0 || e.twofold, at});
  });
  skipped = parser.TakeSkipped();
  met = parser.TakeMet();
  return stop;
}

std::optional<Entity> ParseOneEntity(const DxfTokens& tokens, const std::string& name,
                                     const DxfLimits& limits, const DxfTextCodec& codec) {
  Parser parser(tokens, name, limits);
  std::optional<Entity> one;
  parser.ReadPiece([&](RawEntity& e, size_t) {
    if (one) return;
    DecodeStrings(e, codec, false);
    one = std::move(e.entity);
  });
  return one;
}

StreamedDrawing FinishStreamed(const DxfTokens& tokens, const std::string& name,
                               const DxfLimits& limits,
                               const std::vector<std::vector<std::string_view>>& pieceLayers,
                               const std::vector<std::vector<SkippedKind>>& pieceSkipped) {
  StreamedDrawing s;
  Parser parser(tokens, name, limits);
  parser.Read();
  if (parser.ReadEntitiesItself()) {
    s.serialReason = "a second ENTITIES section";
    return s;
  }
  DxfDrawing& d = s.drawing;
  LayerTable layers(d.layers);
  parser.Build(d, layers);
  s.codec = parser.codec();
  s.layerIndex.resize(pieceLayers.size());
  for (size_t p = 0; p < pieceLayers.size(); ++p) {
    for (const std::string_view raw : pieceLayers[p]) {
      const std::string layer = raw.empty() ? std::string("0") : DecodeDxfText(raw, s.codec);
      s.layerIndex[p].push_back(static_cast<uint32_t>(layers.IndexOf(layer)));
    }
  }
  for (const std::vector<SkippedKind>& skipped : pieceSkipped) {
    for (const SkippedKind& k : skipped) AddSkipped(d.skipped, k);
  }
  return s;
}

}  // namespace dxf_detail

DxfPick::DxfPick(std::vector<std::string> handles) : handles_(std::move(handles)) {
  positions_.reserve(handles_.size());
  for (size_t k = 0; k < handles_.size(); ++k) positions_.emplace(FoldAscii(handles_[k]), k);
}

size_t DxfPick::Find(std::string_view handle) const {
  if (handle.empty()) return kNotPicked;
  const auto found = positions_.find(FoldAscii(handle));
  return found == positions_.end() ? kNotPicked : found->second;
}

std::vector<std::string> DxfPick::Unmatched(const std::vector<size_t>& met) const {
  std::vector<bool> seen(handles_.size(), false);
  for (size_t at : met) {
    if (at < seen.size()) seen[at] = true;
  }
  std::vector<std::string> missing;
  for (size_t k = 0; k < handles_.size(); ++k) {
    // A handle picked twice is one entity: it is missing once.
    if (!seen[k] && positions_.at(FoldAscii(handles_[k])) == k) missing.push_back(handles_[k]);
  }
  return missing;
}

DxfDrawing ParseDxf(std::string_view bytes, const std::string& name, const DxfLimits& limits) {
  DxfTokens tokens = TokenizeDxf(bytes, name);
  dxf_detail::Parser parser(tokens, name, limits);
  parser.Read();
  // The tokens are done with: their memory goes before the drawing is built.
  std::vector<DxfToken>().swap(tokens.tokens);
  return parser.Finish();
}

DxfDrawing ReadDxfFile(const std::filesystem::path& path, const DxfLimits& limits) {
  const std::string bytes = ReadFile(path, limits.maxFileBytes);
  return ParseDxf(bytes, dxf_detail::FileNameText(path), limits);
}

}  // namespace varnolt
