#include "cad/dxf.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>
#include <thread>
#include <unordered_map>
#include <utility>

#include "base/error.h"
#include "base/files.h"
#include "cad/dxf_text.h"
#include "cad/dxf_tokens.h"
#include "cad/ocs.h"
#include "cad/transform.h"
#include "geodesy/angles.h"
#include "text/ascii.h"
#include "text/encoding.h"

namespace varnolt {
namespace {

// POLYLINE flags (group 70).
constexpr int64_t kPolyClosed = 1;
constexpr int64_t kPolyCurveFit = 2;
constexpr int64_t kPolySplineFit = 4;
constexpr int64_t kPoly3d = 8;
constexpr int64_t kPolyMesh = 16;
constexpr int64_t kPolyFaceMesh = 64;
// VERTEX flag (group 70): a control point of a spline frame, not on the curve.
constexpr int64_t kVertexSplineFrame = 16;

// Blocks nested deeper than this are refused: real drawings nest a few levels, and
// the bound keeps the placement's recursion small.
constexpr int kMaxBlockNesting = 200;

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

struct RawLayer {
  std::string_view name;
  int color = 7;
};

std::string PathText(const std::filesystem::path& path) {
  const std::u8string u8 = path.filename().u8string();
  return std::string(reinterpret_cast<const char*>(u8.data()), u8.size());
}

class Parser {
 public:
  Parser(const DxfTokens& tokens, const std::string& name, const DxfLimits& limits)
      : tokens_(tokens), t_(tokens.tokens), name_(name), limits_(limits) {}

  // Reads the sections; Finish() then builds the drawing, and needs no token.
  void Read() {
    if (t_.empty() || !IsZero(0, "SECTION")) {
      throw Error(ErrorKind::kGeneral,
                  name_ + " is not a DXF file (it does not begin with a SECTION).");
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
      } else if (section == "BLOCKS" && (limits_.include & kIncludeBlocks) != 0) {
        ReadBlocks();
      } else {
        while (!AtSectionEnd()) ++i_;
      }
      if (i_ < t_.size() && IsZero(i_, "ENDSEC")) ++i_;
    }
  }

 private:
  // A file cut short must not pass for a complete one. Without its "0 EOF" a file
  // is taken only when it ends between sections, after a complete ENTITIES section
  // (some writers leave the marker out). Checked before any value is read, so that
  // a value cut in half is reported as the end of the file it is.
  void CheckComplete() const {
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
    const std::string where = Where(tokens_.endWhere);
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

  bool IsZero(size_t k, std::string_view what) const {
    return t_[k].code == 0 && DxfName(t_[k]) == what;
  }

  bool AtSectionEnd() const {
    return i_ >= t_.size() || IsZero(i_, "ENDSEC") || IsZero(i_, "SECTION") ||
           IsZero(i_, "EOF");
  }

  // Index of the next group 0 at or after k (the end of the entity that holds k).
  size_t NextZero(size_t k) const {
    while (k < t_.size() && t_[k].code != 0) ++k;
    return k;
  }

  double Real(const DxfToken& t) const { return DxfReal(t, tokens_.binary, name_); }
  int64_t Int(const DxfToken& t) const { return DxfInteger(t, tokens_.binary, name_); }
  std::string_view Raw(const DxfToken& t) const {
    return DxfRawText(t, tokens_.binary, name_);
  }
  std::string Where(int64_t where) const {
    return name_ + ", " + DxfWhere(tokens_.binary, where);
  }

  void ReadHeader() {
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

  // Only the layer entries matter; "0 LAYER" marks one in no other table.
  void ReadTables() {
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
          layer.color = LayerColor(t);
        }
      }
      if (named && !layer.name.empty()) layers_.push_back(layer);
      i_ = end;
    }
  }

  // A negative colour marks a layer that is off; its colour is the absolute value.
  // 0 and values beyond 255 are no layer colours: such an entry gets the default 7,
  // as a missing group 62 does.
  int LayerColor(const DxfToken& t) const {
    int64_t c = Int(t);
    if (c < 0) c = -c;
    return (c >= 1 && c <= 255) ? static_cast<int>(c) : 7;
  }

  // Entity colour: 0 ByBlock, 1..255, 256 ByLayer. Anything else is no colour a
  // CAD host keeps on an entity; it is read as ByLayer.
  int EntityColor(const DxfToken& t) const {
    const int64_t c = Int(t);
    return (c >= 0 && c <= 256) ? static_cast<int>(c) : kColorByLayer;
  }

  // Groups every entity kind shares. Returns true when `t` was one of them.
  bool Common(const DxfToken& t, RawEntity& e, bool& paper) const {
    switch (t.code) {
      case 5:
        e.entity.handle = std::string(Raw(t));
        return true;
      case 8:
        e.layer = Raw(t);
        return true;
      case 62:
        e.entity.color = EntityColor(t);
        return true;
      case 67:
        paper = Int(t) == 1;
        return true;
      default:
        return false;
    }
  }

  // Reads x, y or z of a point whose first group is `base` (10, 11, ...).
  bool PointGroup(const DxfToken& t, int base, Point3& p) const {
    if (t.code == base) {
      p[0] = Real(t);
    } else if (t.code == base + 10) {
      p[1] = Real(t);
    } else if (t.code == base + 20) {
      p[2] = Real(t);
    } else {
      return false;
    }
    return true;
  }

  void CheckVertexCount(size_t count, const RawEntity& e, std::string_view kind) const {
    if (count > limits_.maxVertices) {
      throw Error(ErrorKind::kGeneral,
                  Where(e.entity.sourceLine) + ": the " + std::string(kind) +
                      " has more than " + std::to_string(limits_.maxVertices) +
                      " vertices; such a drawing cannot be converted.");
    }
  }

  void ReadEntities() {
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

  // Each block with its entities, read as model space is (paper space aside).
  void ReadBlocks() {
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

  // The kind is the file's own bytes: it is made UTF-8 and cut to 40 bytes for the
  // summary that names it.
  void Skip(std::string_view raw) {
    const std::string kind = SanitizeUtf8(raw.substr(0, 40));
    for (SkippedKind& s : skipped_) {
      if (s.kind == kind) {
        ++s.count;
        return;
      }
    }
    skipped_.push_back(SkippedKind{kind, 1});
  }

  bool Included(unsigned kind) const { return (limits_.include & kind) != 0; }

  // Entities up to the end of the section (or of the block: ENDBLK) into `into`.
  // In model space, what is not read is counted by kind; paper space is left alone.
  void ReadEntityList(std::vector<RawEntity>& into, bool model) {
    ReadEntityListWith(model, [&](RawEntity& e, size_t) { into.push_back(std::move(e)); });
  }

  // The same, handing each entity to emit(entity, index of its first token); the
  // parser stands just past the entity's last token then.
  template <typename Emit>
  void ReadEntityListWith(bool model, Emit emit) {
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
      std::string_view skipped;
      i_ = end;
      // MTEXT keeps an embedded object after group 101 whose groups (10, 11, 40,
      // ...) would override the entity's own; reading stops there for every kind.
      size_t stop = begin;
      while (stop < end && t_[stop].code != 101) ++stop;
      if (kind == "LINE") {
        ReadLine(begin, stop, e, paper);
      } else if (kind == "CIRCLE" || kind == "ARC") {
        ReadArc(begin, stop, e, paper, kind == "ARC");
      } else if (kind == "TEXT") {
        ReadText(begin, stop, e, paper);
      } else if (kind == "MTEXT") {
        ReadMText(begin, stop, e, paper);
      } else if (kind == "LWPOLYLINE") {
        ReadLwPolyline(begin, stop, e, paper);
      } else if (kind == "POLYLINE") {
        skipped = ReadPolyline(begin, stop, e, paper, model);
      } else if (kind == "INSERT" || kind == "DIMENSION") {
        skipped = ReadInsert(begin, stop, e, paper, kind == "DIMENSION");
      } else if (kind == "POINT" && Included(kIncludePoints)) {
        ReadPoint(begin, stop, e, paper);
      } else if (kind == "ELLIPSE" && Included(kIncludeEllipses)) {
        ReadEllipse(begin, stop, e, paper);
      } else if (kind == "SPLINE" && Included(kIncludeSplines)) {
        ReadSpline(begin, stop, e, paper);
      } else if (kind == "HATCH" && Included(kIncludeHatches)) {
        ReadHatch(begin, stop, e, paper);
      } else if ((kind == "SOLID" || kind == "TRACE" || kind == "3DFACE") &&
                 Included(kIncludeSolids)) {
        ReadSolid(begin, stop, e, paper, kind == "3DFACE");
      } else {
        // Other kinds, and VERTEX, SEQEND or ATTRIB out of place.
        if (model && !kind.empty() && kind != "VERTEX" && kind != "SEQEND" &&
            kind != "ATTRIB") {
          for (size_t k = begin; k < end; ++k) {
            if (t_[k].code == 67) paper = Int(t_[k]) == 1;
          }
          if (!paper) Skip(kind);
        }
        continue;
      }
      if (!skipped.empty()) {
        if (model && !paper) Skip(skipped);
        continue;
      }
      if (!paper || !model) emit(e, first);
    }
  }

  void ReadLine(size_t begin, size_t end, RawEntity& e, bool& paper) const {
    e.entity.type = EntityType::kLine;
    for (size_t k = begin; k < end; ++k) {
      const DxfToken& t = t_[k];
      if (Common(t, e, paper) || PointGroup(t, 10, e.entity.start)) continue;
      PointGroup(t, 11, e.entity.end);
    }
  }

  // Extrusion groups 210/220/230; true when `t` was one.
  bool Extrusion(const DxfToken& t, Point3& n) const { return PointGroup(t, 210, n); }

  void ReadArc(size_t begin, size_t end, RawEntity& e, bool& paper, bool arc) const {
    e.entity.type = arc ? EntityType::kArc : EntityType::kCircle;
    Point3 center{};
    for (size_t k = begin; k < end; ++k) {
      const DxfToken& t = t_[k];
      if (Common(t, e, paper) || PointGroup(t, 10, center) || Extrusion(t, e.entity.normal)) {
        continue;
      }
      if (t.code == 40) {
        e.entity.radius = Real(t);
      } else if (arc && t.code == 50) {
        e.entity.startAngle = Radians(Real(t));
      } else if (arc && t.code == 51) {
        e.entity.endAngle = Radians(Real(t));
      }
    }
    e.entity.center = OcsToWcs(center, e.entity.normal);
  }

  // Degrees from the file into radians, in this order: degrees * pi / 180.
  static double Radians(double degrees) {
    return degrees * SystemPi() / 180;
  }

  void ReadText(size_t begin, size_t end, RawEntity& e, bool& paper) const {
    e.entity.type = EntityType::kText;
    Point3 insertion{}, alignment{};
    bool aligned = false;
    for (size_t k = begin; k < end; ++k) {
      const DxfToken& t = t_[k];
      if (Common(t, e, paper) || PointGroup(t, 10, insertion) ||
          Extrusion(t, e.entity.normal)) {
        continue;
      }
      if (PointGroup(t, 11, alignment)) {
        aligned = true;
      } else if (t.code == 1) {
        e.text = std::string(Raw(t));
      } else if (t.code == 40) {
        e.entity.height = Real(t);
      } else if (t.code == 50) {
        e.entity.rotation = Radians(Real(t));
      }
    }
    e.entity.insertion = OcsToWcs(insertion, e.entity.normal);
    // Without group 11 the host reports the alignment point as (0, 0, 0).
    if (aligned) e.entity.alignment = OcsToWcs(alignment, e.entity.normal);
  }

  // The insertion point of MTEXT is stored in world coordinates already. The text
  // is the group-3 chunks in order, then group 1.
  //
  // Text in columns, saved for a release before 2018, is one MTEXT per column; the
  // first lists the others in its ACAD extended data, and a host opening the file
  // joins them into one entity again (see Finish).
  void ReadMText(size_t begin, size_t end, RawEntity& e, bool& paper) const {
    e.entity.type = EntityType::kMText;
    std::string last;
    Point3 direction{};
    bool directed = false;
    std::string_view app;
    bool inColumns = false;
    for (size_t k = begin; k < end; ++k) {
      const DxfToken& t = t_[k];
      if (t.code >= 1000) {
        if (t.code == 1001) {
          app = DxfName(t);
        } else if (app == "ACAD" && t.code == 1000) {
          const std::string_view what = DxfName(t);
          if (what == "ACAD_MTEXT_COLUMNS_BEGIN") inColumns = true;
          if (what == "ACAD_MTEXT_COLUMNS_END") inColumns = false;
        } else if (app == "ACAD" && inColumns && t.code == 1005) {
          e.columns.push_back(DxfName(t));
        }
        continue;
      }
      if (Common(t, e, paper) || PointGroup(t, 10, e.entity.insertion) ||
          Extrusion(t, e.entity.normal)) {
        continue;
      }
      if (PointGroup(t, 11, direction)) {
        directed = true;
      } else if (t.code == 3) {
        e.text += Raw(t);
      } else if (t.code == 1) {
        last = std::string(Raw(t));
      } else if (t.code == 40) {
        e.entity.height = Real(t);
      } else if (t.code == 50) {
        e.entity.rotation = Radians(Real(t));
      }
    }
    e.text += last;
    // The x-axis direction, when present, decides the rotation.
    if (directed && (direction[0] != 0 || direction[1] != 0)) {
      e.entity.rotation = std::atan2(direction[1], direction[0]);
    }
  }

  // Joins the columns of each MTEXT that lists them (text in column order) and
  // drops the column entities. One level only: a column's own list is not followed.
  void MergeMTextColumns() {
    std::unordered_map<std::string, size_t> byHandle;
    for (size_t k = 0; k < entities_.size(); ++k) {
      const RawEntity& r = entities_[k];
      if (r.entity.type == EntityType::kMText && !r.entity.handle.empty()) {
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

  // Vertices stay in the polyline's own plane (OCS), as the host hands them over.
  void ReadLwPolyline(size_t begin, size_t end, RawEntity& e, bool& paper) const {
    Entity& p = e.entity;
    p.type = EntityType::kLwPolyline;
    size_t count = 0;
    for (size_t k = begin; k < end; ++k) count += t_[k].code == 10;
    CheckVertexCount(count, e, "LWPOLYLINE");
    p.coordinates.reserve(2 * count);
    p.bulges.reserve(count);
    for (size_t k = begin; k < end; ++k) {
      const DxfToken& t = t_[k];
      if (Common(t, e, paper) || Extrusion(t, p.normal)) continue;
      switch (t.code) {
        case 10:
          p.coordinates.push_back(Real(t));
          p.coordinates.push_back(0);
          p.bulges.push_back(0);
          break;
        case 20:
          if (!p.bulges.empty()) p.coordinates.back() = Real(t);
          break;
        case 42:
          if (!p.bulges.empty()) p.bulges.back() = Real(t);
          break;
        case 38:
          p.elevation = Real(t);
          break;
        case 70:
          p.closed = (Int(t) & kPolyClosed) != 0;
          break;
        case 90: {
          // The declared count is only checked; the vertices present are used.
          const int64_t declared = Int(t);
          if (declared > 0) CheckVertexCount(static_cast<size_t>(declared), e, "LWPOLYLINE");
          break;
        }
        default:
          break;
      }
    }
  }

  // POLYLINE with its VERTEX entities up to SEQEND (i_ stands after the POLYLINE's
  // own groups). A 3D polyline is kept as such; a plain 2D one is handed over as a
  // lightweight polyline, as the host converts it on opening; a curve- or
  // spline-fit 2D one too when fitted polylines are included, with the vertices
  // the fitting made (the frame's control points left out, as CAD draws it).
  // Meshes are none of these. Returns the kind under which a polyline that is not
  // read counts as skipped, empty when it is read.
  std::string_view ReadPolyline(size_t begin, size_t end, RawEntity& e, bool& paper,
                                bool model) {
    Entity& p = e.entity;
    int64_t flags = 0;
    Point3 base{};
    for (size_t k = begin; k < end; ++k) {
      const DxfToken& t = t_[k];
      if (Common(t, e, paper) || Extrusion(t, p.normal)) continue;
      if (t.code == 70) {
        flags = Int(t);
      } else if (t.code == 30) {
        base[2] = Real(t);
      }
    }
    const bool is3d = (flags & kPoly3d) != 0;
    const bool mesh = (flags & (kPolyMesh | kPolyFaceMesh)) != 0;
    const bool fitted = !is3d && (flags & (kPolyCurveFit | kPolySplineFit)) != 0;
    std::string_view skipped;
    if (mesh) {
      skipped = "POLYLINE (mesh)";
    } else if (fitted && !Included(kIncludeFitted)) {
      skipped = "POLYLINE (fitted)";
    }
    const bool keep = skipped.empty() && !(paper && model);
    p.type = is3d ? EntityType::k3dPolyline : EntityType::kLwPolyline;
    p.closed = (flags & kPolyClosed) != 0;
    p.elevation = is3d ? 0 : base[2];

    size_t count = 0;
    while (i_ < t_.size() && IsZero(i_, "VERTEX")) {
      const size_t vbegin = i_ + 1;
      const size_t vend = NextZero(vbegin);
      i_ = vend;
      if (!keep) continue;
      Point3 v{};
      double bulge = 0;
      int64_t vflags = 0;
      for (size_t k = vbegin; k < vend; ++k) {
        const DxfToken& t = t_[k];
        if (PointGroup(t, 10, v)) continue;
        if (t.code == 42) {
          bulge = Real(t);
        } else if (t.code == 70) {
          vflags = Int(t);
        }
      }
      // A spline-fit polyline stores its frame as well; the curve is the rest.
      if ((is3d || fitted) && (vflags & kVertexSplineFrame) != 0) continue;
      CheckVertexCount(++count, e, "POLYLINE");
      if (is3d) {
        p.coordinates.insert(p.coordinates.end(), {v[0], v[1], v[2]});
      } else {
        p.coordinates.insert(p.coordinates.end(), {v[0], v[1]});
        p.bulges.push_back(bulge);
      }
    }
    if (i_ < t_.size() && IsZero(i_, "SEQEND")) i_ = NextZero(i_ + 1);
    return skipped;
  }

  // INSERT (with the ATTRIBs that follow it up to SEQEND) or DIMENSION. Returns the
  // kind under which it counts as skipped when blocks are not included.
  std::string_view ReadInsert(size_t begin, size_t end, RawEntity& e, bool& paper,
                              bool dimension) {
    const bool read = Included(kIncludeBlocks);
    RawInsert ins;
    ins.dimension = dimension;
    ins.where = e.entity.sourceLine;
    for (size_t k = begin; k < end && read; ++k) {
      const DxfToken& t = t_[k];
      if (Common(t, e, paper) || Extrusion(t, ins.extrusion)) continue;
      if (t.code == 2) {
        ins.block = Raw(t);
      } else if (dimension) {
        continue;  // a dimension's block is drawn where it stands
      } else if (PointGroup(t, 10, ins.insertion)) {
        continue;
      } else if (t.code >= 41 && t.code <= 43) {
        ins.scale[t.code - 41] = Real(t);
      } else if (t.code == 50) {
        ins.rotation = Radians(Real(t));
      } else if (t.code == 70) {
        ins.columns = Int(t);
      } else if (t.code == 71) {
        ins.rows = Int(t);
      } else if (t.code == 44) {
        ins.columnSpacing = Real(t);
      } else if (t.code == 45) {
        ins.rowSpacing = Real(t);
      }
    }
    if (!read) {
      for (size_t k = begin; k < end; ++k) {
        if (t_[k].code == 67) paper = Int(t_[k]) == 1;
      }
    }
    // The attributes belong to the insert; they are texts when it is exploded.
    if (!dimension) {
      while (i_ < t_.size() && IsZero(i_, "ATTRIB")) {
        const size_t abegin = i_ + 1;
        const size_t aend = NextZero(abegin);
        size_t astop = abegin;
        while (astop < aend && t_[astop].code != 101) ++astop;
        i_ = aend;
        if (!read) continue;
        RawEntity a;
        a.entity.sourceLine = t_[abegin - 1].where;
        bool apaper = false;
        ReadText(abegin, astop, a, apaper);
        ins.attribs.push_back(std::move(a));
      }
      if (i_ < t_.size() && IsZero(i_, "SEQEND")) i_ = NextZero(i_ + 1);
    }
    if (!read) return dimension ? "DIMENSION" : "INSERT";
    e.insert = static_cast<int>(inserts_.size());
    inserts_.push_back(std::move(ins));
    return {};
  }

  void ReadPoint(size_t begin, size_t end, RawEntity& e, bool& paper) const {
    e.entity.type = EntityType::kPoint;
    for (size_t k = begin; k < end; ++k) {
      if (!Common(t_[k], e, paper)) PointGroup(t_[k], 10, e.entity.insertion);
    }
  }

  void ReadEllipse(size_t begin, size_t end, RawEntity& e, bool& paper) const {
    Entity& p = e.entity;
    p.type = EntityType::kEllipse;
    p.startAngle = 0;
    p.endAngle = 2 * SystemPi();
    for (size_t k = begin; k < end; ++k) {
      const DxfToken& t = t_[k];
      if (Common(t, e, paper) || PointGroup(t, 10, p.center) || PointGroup(t, 11, p.majorAxis) ||
          Extrusion(t, p.normal)) {
        continue;
      }
      if (t.code == 40) {
        p.ratio = Real(t);
      } else if (t.code == 41) {
        p.startAngle = Real(t);
      } else if (t.code == 42) {
        p.endAngle = Real(t);
      }
    }
  }

  [[noreturn]] void Refuse(const RawEntity& e, const std::string& what) const {
    throw Error(ErrorKind::kGeneral, Where(e.entity.sourceLine) + ": " + what +
                                         "; such a drawing cannot be converted.");
  }

  void CheckCount(int64_t declared, const RawEntity& e, std::string_view kind,
                  std::string_view what, uint64_t limit = 0) const {
    if (limit == 0) limit = limits_.maxVertices;
    if (declared > 0 && static_cast<uint64_t>(declared) > limit) {
      Refuse(e, "the " + std::string(kind) + " has more than " + std::to_string(limit) + " " +
                    std::string(what));
    }
  }

  // The raw definition; the curve is evaluated by the converters. A definition that
  // cannot describe a B-spline is refused here, where its line is known.
  void ReadSpline(size_t begin, size_t end, RawEntity& e, bool& paper) const {
    Entity& p = e.entity;
    p.type = EntityType::kSpline;
    int64_t flags = 0;
    size_t points = 0;
    for (size_t k = begin; k < end; ++k) points += t_[k].code == 10 || t_[k].code == 11 || t_[k].code == 40;
    CheckCount(static_cast<int64_t>(points), e, "SPLINE", "knots and points");
    for (size_t k = begin; k < end; ++k) {
      const DxfToken& t = t_[k];
      if (Common(t, e, paper) || Extrusion(t, p.normal)) continue;
      switch (t.code) {
        case 70: flags = Int(t); break;
        case 71: p.degree = static_cast<int>(std::clamp<int64_t>(Int(t), -1, 1000)); break;
        case 72: case 73: case 74: CheckCount(Int(t), e, "SPLINE", "knots and points"); break;
        case 40: p.knots.push_back(Real(t)); break;
        case 41: p.weights.push_back(Real(t)); break;
        case 10: p.coordinates.insert(p.coordinates.end(), {Real(t), 0, 0}); break;
        case 20: if (!p.coordinates.empty()) p.coordinates[p.coordinates.size() - 2] = Real(t); break;
        case 30: if (!p.coordinates.empty()) p.coordinates.back() = Real(t); break;
        case 11: p.fitPoints.insert(p.fitPoints.end(), {Real(t), 0, 0}); break;
        case 21: if (!p.fitPoints.empty()) p.fitPoints[p.fitPoints.size() - 2] = Real(t); break;
        case 31: if (!p.fitPoints.empty()) p.fitPoints.back() = Real(t); break;
        case 12: p.startTangent[0] = Real(t); break;
        case 22: p.startTangent[1] = Real(t); break;
        case 32: p.startTangent[2] = Real(t); break;
        case 13: p.endTangent[0] = Real(t); break;
        case 23: p.endTangent[1] = Real(t); break;
        case 33: p.endTangent[2] = Real(t); break;
        default: break;
      }
    }
    p.closed = (flags & 3) != 0;
    CheckSpline(p, e, "SPLINE");
  }

  void CheckSpline(const Entity& p, const RawEntity& e, std::string_view kind) const {
    const std::string k(kind);
    for (size_t j = 1; j < p.knots.size(); ++j) {
      if (p.knots[j] < p.knots[j - 1]) {
        Refuse(e, "the " + k + "'s knots decrease (knot " + std::to_string(j + 1) +
                      " is less than knot " + std::to_string(j) + ")");
      }
    }
    const size_t control = p.coordinates.size() / 3;
    if (control == 0) {
      if (p.fitPoints.size() / 3 < 2) Refuse(e, "the " + k + " has neither control points nor two fit points");
      return;
    }
    if (p.degree < 1 || static_cast<size_t>(p.degree) >= control) {
      Refuse(e, "the " + k + "'s degree " + std::to_string(p.degree) + " does not fit its " +
                    std::to_string(control) + " control points");
    }
    if (p.knots.size() != control + static_cast<size_t>(p.degree) + 1) {
      Refuse(e, "the " + k + " has " + std::to_string(p.knots.size()) + " knots where degree " +
                    std::to_string(p.degree) + " and " + std::to_string(control) +
                    " control points need " + std::to_string(control + p.degree + 1));
    }
    if (!p.weights.empty() && p.weights.size() != control) {
      Refuse(e, "the " + k + " has " + std::to_string(p.weights.size()) + " weights for " +
                    std::to_string(control) + " control points");
    }
  }

  // SOLID and TRACE: OCS corners in the order 1, 2, 4, 3 round; 3DFACE: WCS corners
  // in order. A fourth corner equal to the third makes a triangle.
  void ReadSolid(size_t begin, size_t end, RawEntity& e, bool& paper, bool face) const {
    Entity& p = e.entity;
    p.type = EntityType::kSolid;
    Point3 c[4]{};
    bool fourth = false;
    for (size_t k = begin; k < end; ++k) {
      const DxfToken& t = t_[k];
      if (Common(t, e, paper) || Extrusion(t, p.normal)) continue;
      for (int j = 0; j < 4; ++j) {
        if (PointGroup(t, 10 + j, c[j])) {
          fourth = fourth || j == 3;
          break;
        }
      }
    }
    if (!fourth) c[3] = c[2];
    const int order[4] = {0, 1, face ? 2 : 3, face ? 3 : 2};
    const int n = c[3] == c[2] ? 3 : 4;
    for (int j = 0; j < 4; ++j) {
      if (n == 3 && order[j] == 3) continue;
      const Point3 w = face ? c[order[j]] : OcsToWcs(c[order[j]], p.normal);
      p.coordinates.insert(p.coordinates.end(), {w[0], w[1], w[2]});
    }
    if (face) p.normal = {0, 0, 1};
  }

  // Boundary paths: a polyline path is one lightweight polyline in the hatch's OCS;
  // an edge path's lines, arcs, elliptic arcs and splines are placed in WCS. The
  // pattern and seed points after the paths are not read.
  void ReadHatch(size_t begin, size_t end, RawEntity& e, bool& paper) const {
    Entity& h = e.entity;
    h.type = EntityType::kHatch;
    size_t k = begin;
    int64_t loops = -1;
    for (; k < end && loops < 0; ++k) {
      const DxfToken& t = t_[k];
      if (Common(t, e, paper) || Extrusion(t, h.normal)) continue;
      if (t.code == 30) h.elevation = Real(t);
      if (t.code == 91) loops = Int(t);
    }
    // Every edge is an entity of its own: far fewer than a polyline's vertices fit.
    const uint64_t limit = limits_.maxHatchEdges;
    CheckCount(loops, e, "HATCH", "edges", limit);
    size_t edges = 0;
    auto count = [&](int64_t more) {
      CheckCount(more, e, "HATCH", "edges", limit);
      edges += static_cast<size_t>(std::max<int64_t>(more, 0));
      CheckCount(static_cast<int64_t>(edges), e, "HATCH", "edges", limit);
    };
    auto at = [&](int code) { return k < end && t_[k].code == code; };
    auto real = [&](int code, double fallback) { return at(code) ? Real(t_[k++]) : fallback; };
    auto integer = [&](int code, int64_t fallback) { return at(code) ? Int(t_[k++]) : fallback; };
    auto ocs = [&](double x, double y) { return OcsToWcs({x, y, h.elevation}, h.normal); };
    const double degree = SystemPi() / 180;
    for (int64_t loop = 0; loop < loops; ++loop) {
      while (k < end && t_[k].code != 92) ++k;
      if (k >= end) break;
      const int64_t flags = Int(t_[k++]);
      if ((flags & 2) != 0) {
        Entity poly;
        poly.type = EntityType::kLwPolyline;
        poly.normal = h.normal;
        poly.elevation = h.elevation;
        integer(72, 0);
        poly.closed = integer(73, 1) != 0;
        count(integer(93, 0));
        while (k < end && (at(10) || at(20) || at(42))) {
          const DxfToken& t = t_[k++];
          if (t.code == 10) {
            poly.coordinates.insert(poly.coordinates.end(), {Real(t), 0});
            poly.bulges.push_back(0);
          } else if (poly.bulges.empty()) {
            continue;
          } else if (t.code == 20) {
            poly.coordinates.back() = Real(t);
          } else {
            poly.bulges.back() = Real(t);
          }
        }
        h.boundary.push_back(std::move(poly));
      } else {
        const int64_t declared = integer(93, 0);
        count(declared);
        for (int64_t j = 0; j < declared && at(72); ++j) {
          const int64_t type = Int(t_[k++]);
          Entity edge;
          edge.normal = h.normal;
          if (type == 1) {
            edge.type = EntityType::kLine;
            const double x0 = real(10, 0), y0 = real(20, 0), x1 = real(11, 0), y1 = real(21, 0);
            edge.start = ocs(x0, y0);
            edge.end = ocs(x1, y1);
          } else if (type == 2 || type == 3) {
            const double cx = real(10, 0), cy = real(20, 0);
            double mx = 0, my = 0;
            if (type == 3) {
              mx = real(11, 0);
              my = real(21, 0);
            }
            const double r = real(40, 1);
            double s = real(50, 0), t = real(51, 360);
            if (integer(73, 1) == 0) {  // clockwise: stored as 360 - angle
              const double s0 = s;
              s = 360 - t;
              t = 360 - s0;
            }
            const bool whole = std::fabs(t - s) >= 360;
            edge.center = ocs(cx, cy);
            if (type == 2) {
              edge.type = EntityType::kArc;
              edge.radius = r;
              edge.startAngle = s * degree;
              edge.endAngle = t * degree;
            } else {
              edge.type = EntityType::kEllipse;
              edge.majorAxis = OcsToWcs({mx, my, 0}, h.normal);
              edge.ratio = r;
              auto param = [&](double a) {
                return std::atan2(std::sin(a * degree) / r, std::cos(a * degree));
              };
              edge.startAngle = whole ? 0 : param(s);
              edge.endAngle = whole ? 2 * SystemPi() : param(t);
            }
          } else if (type == 4) {
            edge.type = EntityType::kSpline;
            edge.degree = static_cast<int>(std::clamp<int64_t>(integer(94, 3), -1, 1000));
            const bool rational = integer(73, 0) != 0;
            edge.closed = integer(74, 0) != 0;
            const int64_t knots = integer(95, 0), control = integer(96, 0);
            count(knots);
            count(control);
            for (int64_t q = 0; q < knots && at(40); ++q) edge.knots.push_back(Real(t_[k++]));
            for (int64_t q = 0; q < control && at(10); ++q) {
              const double x = real(10, 0), y = real(20, 0);
              const Point3 w = ocs(x, y);
              edge.coordinates.insert(edge.coordinates.end(), {w[0], w[1], w[2]});
              if (rational && at(42)) edge.weights.push_back(Real(t_[k++]));
            }
            if (at(97) && k + 1 < end && (t_[k + 1].code == 11 || t_[k + 1].code == 12)) {
              const int64_t fit = integer(97, 0);
              count(fit);
              for (int64_t q = 0; q < fit && at(11); ++q) {
                const double x = real(11, 0), y = real(21, 0);
                const Point3 w = ocs(x, y);
                edge.fitPoints.insert(edge.fitPoints.end(), {w[0], w[1], w[2]});
              }
              while (at(12) || at(22) || at(13) || at(23)) ++k;
            }
            CheckSpline(edge, e, "HATCH's spline edge");
          } else {
            Refuse(e, "the HATCH has an edge of unknown type " + std::to_string(type));
          }
          h.boundary.push_back(std::move(edge));
        }
      }
      h.loopEnds.push_back(static_cast<int64_t>(h.boundary.size()));
      h.loopFlags.push_back(static_cast<int>(flags));
    }
  }

 public:
  // A piece of the ENTITIES section, the parser's tokens being that piece's: each
  // model-space entity to emit(entity, first token), until the section ends or
  // the tokens do. Returns the index of the token that ended the section, or the
  // token count. What was skipped is in TakeSkipped().
  template <typename Emit>
  size_t ReadPiece(Emit emit) {
    i_ = 0;
    ReadEntityListWith(true, emit);
    return i_;
  }

  std::vector<SkippedKind> TakeSkipped() { return std::move(skipped_); }
  // Whether Read() met an ENTITIES section other than the one read apart (whose
  // tokens it does not have).
  bool ReadEntitiesItself() const { return entitySections_ > 1; }
  const DxfTextCodec& codec() const { return codec_; }

  // The one entity the tokens hold, its strings made UTF-8 with `codec`; its layer
  // is left for the caller.
  std::optional<Entity> ReadOne(const DxfTextCodec& codec) {
    std::optional<Entity> one;
    ReadPiece([&](RawEntity& e, size_t) {
      if (one) return;
      e.entity.handle = SanitizeUtf8(e.entity.handle);
      if (e.entity.type == EntityType::kText || e.entity.type == EntityType::kMText) {
        e.entity.textstring = DecodeDxfText(e.text, codec);
      }
      one = std::move(e.entity);
    });
    return one;
  }

  // Finish() for a drawing whose ENTITIES section was read in pieces: each piece's
  // layer names (raw, in first use) are resolved in file order, as Finish() resolves
  // the entities' one by one, into indices in the layer table; the pieces' skipped
  // kinds follow in order.
  DxfDrawing FinishStreamed(const std::vector<std::vector<std::string_view>>& pieceLayers,
                            const std::vector<std::vector<SkippedKind>>& pieceSkipped,
                            std::vector<std::vector<uint32_t>>& layerIndex) {
    DxfDrawing d = Finish();
    drawing_ = &d;
    layerIndex.resize(pieceLayers.size());
    for (size_t p = 0; p < pieceLayers.size(); ++p) {
      for (const std::string_view raw : pieceLayers[p]) {
        const std::string name = ResolveLayer(raw.empty() ? std::string("0") : DecodeDxfText(raw, codec_));
        layerIndex[p].push_back(static_cast<uint32_t>(byName_.at(FoldAscii(name))));
      }
    }
    for (const std::vector<SkippedKind>& skipped : pieceSkipped) {
      for (const SkippedKind& k : skipped) {
        auto found = std::find_if(d.skipped.begin(), d.skipped.end(),
                                  [&](const SkippedKind& s) { return s.kind == k.kind; });
        if (found == d.skipped.end()) {
          d.skipped.push_back(k);
        } else {
          found->count += k.count;
        }
      }
    }
    drawing_ = nullptr;
    return d;
  }

  DxfDrawing Finish() {
    MergeMTextColumns();
    DxfDrawing d;
    d.acadver = std::string(acadver_);
    d.codepage = std::string(codepage_);
    codec_ = ChooseDxfCodec(acadver_, codepage_);
    drawing_ = &d;
    // Names are unique in a host's layer table; a repeated entry is dropped.
    for (const RawLayer& l : layers_) {
      std::string name = DecodeDxfText(l.name, codec_);
      if (byName_.count(FoldAscii(name)) == 0) AddLayer(std::move(name), l.color);
    }
    PrepareBlocks();
    const int64_t placed = CountPlaced();
    d.entities.reserve(entities_.size() + static_cast<size_t>(placed));
    placedLimit_ = static_cast<int64_t>(entities_.size()) + limits_.maxPlacedEntities;
    int64_t insertId = 0;
    for (RawEntity& r : entities_) {
      if (r.merged) continue;
      Decode(r);
      Entity& e = r.entity;
      e.layer = ResolveLayer(e.layer);
      if (r.insert < 0) {
        d.entities.push_back(std::move(e));
        continue;
      }
      ++insertId;
      if (!Explode(inserts_[static_cast<size_t>(r.insert)], Affine{}, e.layer, e.color, "",
                   insertId, 1)) {
        Skip(inserts_[static_cast<size_t>(r.insert)].dimension ? "DIMENSION" : "INSERT");
      }
    }
    d.skipped = std::move(skipped_);
    return d;
  }

 private:
  // A block ready for placing: its entities decoded, layers by name (resolved when
  // placed, so that an unused block adds no layer).
  struct Block {
    std::string name;
    Point3 base{};
    int64_t where = 0;
    std::vector<Entity> entities;
    std::vector<int> inserts;  // per entity: its index among the inserts, or -1
    std::vector<int> children;  // per entity that is an insert: the block, or -1
    int64_t count = -1;  // entities one reference places; -1 not yet counted
    int depth = 0;       // levels of blocks below and including this one
    int state = 0;       // 0 not visited, 1 being counted, 2 counted
  };

  void AddLayer(std::string name, int color) {
    byName_.emplace(FoldAscii(name), drawing_->layers.size());
    drawing_->layers.push_back(Layer{std::move(name), color});
  }

  // An entity's layer name as the table spells it; a layer the table lacks is added.
  std::string ResolveLayer(const std::string& layer) {
    const auto found = byName_.find(FoldAscii(layer));
    if (found != byName_.end()) return drawing_->layers[found->second].name;
    AddLayer(layer, 7);
    return layer;
  }

  // Strings into UTF-8; the layer is left as named (an entity without one is on 0).
  void Decode(RawEntity& r) const {
    Entity& e = r.entity;
    e.handle = SanitizeUtf8(e.handle);
    e.layer = r.layer.empty() ? std::string("0") : DecodeDxfText(r.layer, codec_);
    if (e.type == EntityType::kText || e.type == EntityType::kMText) {
      e.textstring = DecodeDxfText(r.text, codec_);
    }
  }

  void PrepareBlocks() {
    blocks_ready_.reserve(blocks_.size());
    for (RawBlock& raw : blocks_) {
      const std::string name = DecodeDxfText(raw.name, codec_);
      // A repeated name: the first definition stands.
      if (!blockByName_.emplace(FoldAscii(name), blocks_ready_.size()).second) continue;
      Block& b = blocks_ready_.emplace_back();
      b.name = name;
      b.base = raw.base;
      b.where = raw.where;
      b.entities.reserve(raw.entities.size());
      for (RawEntity& r : raw.entities) {
        Decode(r);
        b.inserts.push_back(r.insert);
        b.entities.push_back(std::move(r.entity));
      }
      raw.entities.clear();
    }
    for (Block& b : blocks_ready_) {
      for (const int k : b.inserts) b.children.push_back(k < 0 ? -1 : FindBlock(inserts_[static_cast<size_t>(k)]));
    }
    for (RawInsert& ins : inserts_) {
      for (RawEntity& a : ins.attribs) Decode(a);
    }
  }

  int FindBlock(const RawInsert& ins) const {
    const auto found = blockByName_.find(FoldAscii(DecodeDxfText(ins.block, codec_)));
    return found == blockByName_.end() ? -1 : static_cast<int>(found->second);
  }

  // Copies of the block a (M)INSERT places: rows times columns, a spacing of 0
  // collapsing its direction to one copy.
  // A count below 1 is taken as 1, as ezdxf takes it.
  static int64_t GridColumns(const RawInsert& ins) {
    return ins.columnSpacing == 0 ? 1 : std::max<int64_t>(ins.columns, 1);
  }
  static int64_t GridRows(const RawInsert& ins) {
    return ins.rowSpacing == 0 ? 1 : std::max<int64_t>(ins.rows, 1);
  }
  static int64_t Copies(const RawInsert& ins) { return GridColumns(ins) * GridRows(ins); }

  // a * b + c, held at `cap` when larger.
  static int64_t MulAdd(int64_t a, int64_t b, int64_t c, int64_t cap) {
    if (a != 0 && b > (cap - c) / a) return cap;
    return std::min(cap, a * b + c);
  }

  int64_t Cap() const { return std::max<int64_t>(limits_.maxPlacedEntities, 0) + 1; }

  // The entities one reference to block b places, found before any is made; a
  // block that contains itself, or nesting beyond the limit, is refused here.
  void CountBlock(size_t b, int level, std::vector<size_t>& chain) {
    Block& blk = blocks_ready_[b];
    if (blk.state == 2) return;
    if (blk.state == 1) {
      std::string path;
      size_t from = 0;
      while (chain[from] != b) ++from;
      for (size_t k = from; k < chain.size(); ++k) path += "\"" + blocks_ready_[chain[k]].name + "\" -> ";
      path += "\"" + blk.name + "\"";
      throw Error(ErrorKind::kGeneral,
                  Where(blk.where) + ": the block \"" + blk.name + "\" contains itself (" + path +
                      "); such a drawing cannot be converted.");
    }
    if (level > kMaxBlockNesting) NestingTooDeep(blk);
    blk.state = 1;
    chain.push_back(b);
    int64_t count = 0;
    int depth = 0;
    for (size_t k = 0; k < blk.entities.size(); ++k) {
      const int child = blk.children[k];
      if (blk.inserts[k] < 0) {
        count = MulAdd(1, 1, count, Cap());
        continue;
      }
      const RawInsert& ins = inserts_[static_cast<size_t>(blk.inserts[k])];
      const int64_t copies = Copies(ins);
      count = MulAdd(copies, static_cast<int64_t>(ins.attribs.size()), count, Cap());
      if (child < 0) continue;
      CountBlock(static_cast<size_t>(child), level + 1, chain);
      const Block& c = blocks_ready_[static_cast<size_t>(child)];
      if (level + c.depth > kMaxBlockNesting) NestingTooDeep(c);
      depth = std::max(depth, c.depth);
      count = MulAdd(copies, c.count, count, Cap());
    }
    chain.pop_back();
    blk.count = count;
    blk.depth = depth + 1;
    blk.state = 2;
  }

  [[noreturn]] void NestingTooDeep(const Block& blk) const {
    throw Error(ErrorKind::kGeneral,
                Where(blk.where) + ": the block \"" + blk.name + "\" lies more than " +
                    std::to_string(kMaxBlockNesting) +
                    " levels deep in nested blocks; such a drawing cannot be converted.");
  }

  [[noreturn]] void TooManyPlaced(int64_t where, const std::string& block) const {
    throw Error(ErrorKind::kGeneral,
                Where(where) + ": the block references up to the one to \"" + block +
                    "\" place more than " + std::to_string(limits_.maxPlacedEntities) +
                    " entities (the limit on entities placed from blocks); such a drawing "
                    "cannot be converted.");
  }

  // The entities all model-space references place, counted before any is made.
  int64_t CountPlaced() {
    int64_t total = 0;
    std::vector<size_t> chain;
    for (const RawEntity& r : entities_) {
      if (r.insert < 0 || r.merged) continue;
      const RawInsert& ins = inserts_[static_cast<size_t>(r.insert)];
      const int64_t copies = Copies(ins);
      total = MulAdd(copies, static_cast<int64_t>(ins.attribs.size()), total, Cap());
      const int b = FindBlock(ins);
      if (b >= 0) {
        CountBlock(static_cast<size_t>(b), 1, chain);
        total = MulAdd(copies, blocks_ready_[static_cast<size_t>(b)].count, total, Cap());
      }
      if (total > limits_.maxPlacedEntities) {
        TooManyPlaced(ins.where, DecodeDxfText(ins.block, codec_));
      }
    }
    return total;
  }

  // Places one reference's copies and attributes through `outer` (the map of the
  // space the reference stands in). `layer` and `color` are what layer-0 and ByBlock
  // entities of that space take. Returns false when its block does not exist.
  bool Explode(const RawInsert& ins, const Affine& outer, const std::string& layer, int color,
               const std::string& path, int64_t insertId, int level) {
    const int b = FindBlock(ins);
    std::vector<Entity>& out = drawing_->entities;
    const Point3 ax = OcsToWcs({1, 0, 0}, ins.extrusion), ay = OcsToWcs({0, 1, 0}, ins.extrusion);
    const double c = std::cos(ins.rotation), s = std::sin(ins.rotation);
    // Copies that would place nothing are not walked: a huge grid of an empty block
    // costs no time.
    if ((b < 0 || blocks_ready_[static_cast<size_t>(b)].count == 0) && ins.attribs.empty()) {
      return b >= 0;
    }
    const int64_t cols = GridColumns(ins);
    const int64_t rows = GridRows(ins);
    const std::string inner =
        b < 0 ? std::string() : (path.empty() ? "" : path + "/") + blocks_ready_[static_cast<size_t>(b)].name;
    for (int64_t row = 0; row < rows; ++row) {
      for (int64_t col = 0; col < cols; ++col) {
        // The grid turns with the insert but is not scaled.
        const double gx = static_cast<double>(col) * ins.columnSpacing;
        const double gy = static_cast<double>(row) * ins.rowSpacing;
        const double ox = gx * c - gy * s, oy = gx * s + gy * c;
        Affine shift;
        for (int i = 0; i < 3; ++i) shift.m[i][3] = ox * ax[i] + oy * ay[i];
        if (b >= 0) {
          const Block& blk = blocks_ready_[static_cast<size_t>(b)];
          Affine m;
          if (ins.dimension) {
            m = outer;
          } else {
            Point3 at = ins.insertion;
            at[0] += gx * c - gy * s;
            at[1] += gx * s + gy * c;
            m = Compose(outer, InsertMatrix(blk.base, at, ins.scale, ins.rotation, ins.extrusion));
          }
          PlaceBlock(blk, m, layer, color, inner, insertId, level);
        }
        const Affine attribs = Compose(outer, shift);
        for (const RawEntity& a : ins.attribs) {
          // An attribute stands in the reference's own space, on its own layer.
          const size_t at = out.size();
          Entity t = a.entity;
          t.type = EntityType::kText;
          PlaceEntity(t, attribs, out);
          for (size_t j = at; j < out.size(); ++j) {
            Entity& p = out[j];
            p.layer = ResolveLayer(p.layer);
            if (p.color == kColorByBlock) p.color = color;
            p.blockPath = inner;
            p.insertId = insertId;
          }
        }
      }
    }
    return b >= 0;
  }

  void PlaceBlock(const Block& blk, const Affine& m, const std::string& layer, int color,
                  const std::string& path, int64_t insertId, int level) {
    std::vector<Entity>& out = drawing_->entities;
    for (size_t k = 0; k < blk.entities.size(); ++k) {
      const Entity& e = blk.entities[k];
      if (blk.inserts[k] < 0) {
        const size_t at = out.size();
        if (static_cast<int64_t>(at) >= placedLimit_) {
          TooManyPlaced(e.sourceLine, blk.name);
        }
        PlaceEntity(e, m, out);
        for (size_t j = at; j < out.size(); ++j) {
          Entity& p = out[j];
          p.layer = p.layer == "0" ? layer : ResolveLayer(p.layer);
          if (p.color == kColorByBlock) p.color = color;
          p.blockPath = path;
          p.insertId = insertId;
        }
        continue;
      }
      const std::string innerLayer = e.layer == "0" ? layer : ResolveLayer(e.layer);
      const int innerColor = e.color == kColorByBlock ? color : e.color;
      Explode(inserts_[static_cast<size_t>(blk.inserts[k])], m, innerLayer, innerColor, path,
              insertId, level + 1);
    }
  }

 private:
  const DxfTokens& tokens_;
  const std::vector<DxfToken>& t_;
  const std::string& name_;
  const DxfLimits& limits_;
  size_t i_ = 0;
  int entitySections_ = 0;
  std::string_view acadver_;
  std::string_view codepage_;
  std::vector<RawLayer> layers_;
  std::vector<RawEntity> entities_;
  std::vector<RawInsert> inserts_;
  std::vector<RawBlock> blocks_;
  std::vector<SkippedKind> skipped_;
  // Built by Finish.
  DxfTextCodec codec_{};
  DxfDrawing* drawing_ = nullptr;
  std::unordered_map<std::string, size_t> byName_;
  std::unordered_map<std::string, size_t> blockByName_;
  std::vector<Block> blocks_ready_;
  int64_t placedLimit_ = 0;
};

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

// ---- Reading the ENTITIES section of an ASCII file in pieces, on several threads.
//
// The section is cut at lines that can only be a group 0 starting an entity (a line
// "0" followed by a name, not VERTEX, SEQEND or ATTRIB, which belong to the entity
// before). Each piece is cut into tokens and parsed on its own; a piece must end
// exactly where the next one starts, which proves that the cut agrees with a serial
// scan of the file. Each entity is kept as a small record: where its groups lie in
// the file, its kind, colour and layer; it is parsed again when it is converted.
// Anything unusual (a broken file, MTEXT in columns, blocks to explode, a file of
// 4 GiB or more) is read the serial way, which also words any error.

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
  bool ok = false;           // parsed cleanly, up to its end or to the section's end
  bool endsSection = false;  // holds the group that ends the ENTITIES section
  size_t sectionEnd = 0;     // that group's code line
  int64_t sectionEndLine = 0;  // its line, counted from the piece's start
  int64_t lines = 0;         // lines in the piece
  std::vector<DxfRecord> records;  // lines counted from the piece's start, layers local
  std::vector<std::string_view> layers;  // raw layer names in first use
  std::vector<SkippedKind> skipped;
};

PieceResult ReadPiece(std::string_view bytes, size_t begin, size_t end, const std::string& name,
                      const DxfLimits& limits, DxfTokens& tokens) {
  PieceResult piece;
  tokens.tokens.clear();
  const AsciiScan scan = ScanAscii(bytes, begin, end, 0, tokens.tokens);
  piece.lines = scan.line;
  try {
    Parser parser(tokens, name, limits);
    std::unordered_map<std::string_view, uint32_t> layerIds;
    const auto& t = tokens.tokens;
    auto offsetOf = [&](size_t k) {
      return CodeLineStart(bytes, static_cast<size_t>(t[k].text.data() - bytes.data()));
    };
    bool unusual = false;
    const size_t stop = parser.ReadPiece([&](RawEntity& e, size_t first) {
      if (!e.columns.empty() || e.insert >= 0) unusual = true;
      const auto layer = layerIds.emplace(e.layer, static_cast<uint32_t>(piece.layers.size()));
      if (layer.second) piece.layers.push_back(e.layer);
      DxfRecord r;
      r.begin = offsetOf(first);
      r.line = static_cast<uint32_t>(t[first].where);
      r.layer = layer.first->second;
      r.color = static_cast<int16_t>(e.entity.color);
      r.type = static_cast<uint8_t>(e.entity.type);
      r.closedShape = IsClosedShape(e.entity);
      piece.records.push_back(r);
    });
    if (unusual) return piece;
    piece.endsSection = stop < t.size();
    size_t tail = scan.pos;
    if (piece.endsSection) {
      tail = offsetOf(stop);
      piece.sectionEnd = tail;
      piece.sectionEndLine = t[stop].where;
    } else if (scan.stop != AsciiScan::Stop::kEnd || scan.pos != end) {
      return piece;  // a broken line, or a cut that a serial scan would not make
    }
    // Each record runs up to the next group 0 that is not its own: the start of the
    // next record's tokens, or of whatever ends the piece.
    for (size_t k = 0; k < piece.records.size(); ++k) {
      const size_t next = k + 1 < piece.records.size() ? piece.records[k + 1].begin : tail;
      piece.records[k].length = static_cast<uint32_t>(next - piece.records[k].begin);
    }
    piece.skipped = parser.TakeSkipped();
    piece.ok = true;
  } catch (const Error&) {
    // Read again the serial way, which words the error.
  }
  return piece;
}

}  // namespace

// Records of model-space entities over the file held in memory, each parsed when asked for.
class DxfStore {
 public:
  DxfStore(std::unique_ptr<FileBytes> file, std::string_view bytes, std::string name,
           const DxfLimits& limits)
      : file_(std::move(file)), bytes_(bytes), name_(std::move(name)), limits_(limits) {}

  // Reads the drawing with its ENTITIES section in pieces; false when it must be
  // read the serial way.
  bool Read(DxfDrawing& drawing) {
    const std::string_view bytes = bytes_;
    if (bytes.size() >= (uint64_t{1} << 32) - 1 || (limits_.include & kIncludeBlocks) != 0) {
      return false;
    }
    // The sections before ENTITIES, cut the serial way.
    DxfTokens head;
    size_t entities = std::string_view::npos;
    for (size_t at = bytes.find("ENTITIES"); at != std::string_view::npos;
         at = bytes.find("ENTITIES", at + 1)) {
      const size_t nl = bytes.find('\n', at);
      if (nl == std::string_view::npos) return false;
      const size_t lineStart = at == 0 ? 0 : bytes.rfind('\n', at - 1) + 1;  // npos + 1 is 0
      if (Trim(bytes.substr(lineStart, nl - lineStart), " \t\r") != "ENTITIES") continue;
      head.tokens.clear();
      const AsciiScan scan = ScanAscii(bytes, 0, nl + 1, 0, head.tokens);
      const auto& t = head.tokens;
      if (scan.stop == AsciiScan::Stop::kEnd && scan.pos == nl + 1 && t.size() >= 2 &&
          t.back().code == 2 && DxfName(t.back()) == "ENTITIES" && t[t.size() - 2].code == 0 &&
          DxfName(t[t.size() - 2]) == "SECTION") {
        entities = nl + 1;
        headLines_ = scan.line;
        break;
      }
    }
    if (entities == std::string_view::npos) return false;

    // The pieces, read on the threads.
    const size_t pieceBytes = limits_.pieceBytes != 0 ? limits_.pieceBytes : size_t{256} << 10;
    const size_t count = std::max<size_t>(1, (bytes.size() - entities + pieceBytes - 1) / pieceBytes);
    auto nominal = [&](size_t k) { return std::min(bytes.size(), entities + k * pieceBytes); };
    auto startOf = [&](size_t k) {
      return k == 0 ? entities : EntityStartIn(bytes, nominal(k), nominal(k + 1));
    };
    std::vector<PieceResult> pieces(count);
    std::atomic<size_t> next{0}, last{count};
    auto work = [&] {
      DxfTokens tokens;
      for (size_t k = next++; k < count; k = next++) {
        if (k > last.load()) continue;  // past the end of the section
        const size_t begin = startOf(k);
        if (begin == std::string_view::npos) {
          pieces[k].ok = true;  // nothing starts here: the piece before reads on
          continue;
        }
        size_t end = bytes.size();
        for (size_t j = k + 1; j < count; ++j) {
          const size_t s = startOf(j);
          if (s != std::string_view::npos) {
            end = s;
            break;
          }
        }
        pieces[k] = ReadPiece(bytes, begin, end, name_, limits_, tokens);
        if (pieces[k].ok && pieces[k].endsSection) {
          size_t seen = last.load();
          while (k < seen && !last.compare_exchange_weak(seen, k)) {}
        }
      }
    };
    const unsigned threads = limits_.threads != 0 ? limits_.threads
                                                  : std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> workers;
    try {
      for (unsigned k = 1; k < std::min<size_t>(threads, count); ++k) workers.emplace_back(work);
    } catch (const std::system_error&) {
      // Fewer threads: the calling one reads what the others do not.
    }
    work();
    for (std::thread& w : workers) w.join();

    // In order up to the end of the section; the rest of the file the serial way.
    int64_t line = headLines_;
    size_t tail = std::string_view::npos;
    int64_t tailLine = 0;
    std::vector<std::vector<std::string_view>> pieceLayers;
    std::vector<std::vector<SkippedKind>> pieceSkipped;
    for (size_t k = 0; k < count && tail == std::string_view::npos; ++k) {
      PieceResult& p = pieces[k];
      if (!p.ok) return false;
      for (DxfRecord& r : p.records) r.line += static_cast<uint32_t>(line);
      if (p.endsSection) {
        tail = p.sectionEnd;
        tailLine = line + p.sectionEndLine - 1;
      }
      line += p.lines;
      if (line >= int64_t{1} << 32) return false;
      first_.push_back(total_);
      total_ += p.records.size();
      pieceLayers.push_back(std::move(p.layers));
      pieceSkipped.push_back(std::move(p.skipped));
      records_.push_back(std::move(p.records));
    }
    pieces.clear();
    if (tail == std::string_view::npos) return false;
    first_.push_back(total_);

    DxfTokens all = std::move(head);
    const AsciiScan scan = ScanAscii(bytes, tail, bytes.size(), tailLine, all.tokens);
    if (scan.stop == AsciiScan::Stop::kNoValue ||
        (scan.stop == AsciiScan::Stop::kBadCode &&
         bytes.substr(scan.pos).find_first_not_of(" \t\r\n") != std::string_view::npos)) {
      return false;
    }
    all.sawEof = scan.stop == AsciiScan::Stop::kEof;
    all.endWhere = scan.line + 1;
    try {
      Parser parser(all, name_, limits_);
      parser.Read();
      if (parser.ReadEntitiesItself()) return false;  // a second ENTITIES section
      std::vector<std::vector<uint32_t>> layerIndex;
      drawing = parser.FinishStreamed(pieceLayers, pieceSkipped, layerIndex);
      codec_ = parser.codec();
      for (size_t p = 0; p < records_.size(); ++p) {
        for (DxfRecord& r : records_[p]) r.layer = layerIndex[p][r.layer];
      }
    } catch (const Error&) {
      return false;
    }
    layers_ = &drawing.layers;
    return true;
  }

  size_t size() const { return total_; }
  std::unique_ptr<FileBytes> TakeFile() { return std::move(file_); }

  const DxfRecord& At(size_t k) const {
    const size_t p = static_cast<size_t>(std::upper_bound(first_.begin(), first_.end(), k) - first_.begin()) - 1;
    return records_[p][k - first_[p]];
  }

  // The entity of record k, parsed again from its groups.
  void Load(size_t k, Entity& out) const {
    const DxfRecord& r = At(k);
    thread_local DxfTokens tokens;
    tokens.tokens.clear();
    ScanAscii(bytes_, r.begin, r.begin + r.length, static_cast<int64_t>(r.line) - 1, tokens.tokens);
    Parser parser(tokens, name_, limits_);
    std::optional<Entity> one = parser.ReadOne(codec_);
    if (!one) throw Error(ErrorKind::kGeneral, name_ + ", line " + std::to_string(r.line) + ": the entity could not be read again");
    out = std::move(*one);
    out.layer = (*layers_)[r.layer].name;
  }

  EntityBrief Brief(size_t k) const {
    const DxfRecord& r = At(k);
    return {static_cast<EntityType>(r.type), r.color, (*layers_)[r.layer].name, r.closedShape};
  }

 private:
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

DxfDrawing ParseDxf(std::string_view bytes, const std::string& name, const DxfLimits& limits) {
  DxfTokens tokens = TokenizeDxf(bytes, name);
  Parser parser(tokens, name, limits);
  parser.Read();
  // The tokens are done with: their memory goes before the drawing is built.
  std::vector<DxfToken>().swap(tokens.tokens);
  return parser.Finish();
}

DxfDrawing ReadDxfFile(const std::filesystem::path& path, const DxfLimits& limits) {
  const std::string bytes = ReadFile(path, limits.maxFileBytes);
  return ParseDxf(bytes, PathText(path), limits);
}

DxfSource::DxfSource(const std::filesystem::path& path, const DxfLimits& limits)
    : description_(PathText(path)) {
  auto file = std::make_unique<FileBytes>(path, limits.maxFileBytes);

  std::string_view bytes = file->view();
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  const bool binary = bytes.substr(0, 18) == std::string_view("AutoCAD Binary DXF", 18);
  if (!binary && !bytes.empty()) {
    auto store = std::make_unique<DxfStore>(std::move(file), bytes, description_, limits);
    if (store->Read(drawing_)) {
      store_ = std::move(store);
      return;
    }
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
