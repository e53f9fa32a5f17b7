#include "cad/dxf.h"

#include <cmath>
#include <unordered_map>
#include <utility>

#include "base/error.h"
#include "base/files.h"
#include "cad/dxf_text.h"
#include "cad/dxf_tokens.h"
#include "cad/ocs.h"
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
    // Room for every entity of the section at once: a growing array of entities
    // would hold twice their size at its peak.
    size_t count = 0;
    for (size_t k = i_; k < t_.size() && !IsZero(k, "ENDSEC"); ++k) {
      if (t_[k].code == 0 && !IsZero(k, "VERTEX") && !IsZero(k, "SEQEND")) ++count;
    }
    entities_.reserve(entities_.size() + count);
    while (!AtSectionEnd()) {
      if (t_[i_].code != 0) {
        ++i_;
        continue;
      }
      const std::string_view kind = DxfName(t_[i_]);
      const size_t begin = i_ + 1;
      const size_t end = NextZero(begin);
      RawEntity e;
      e.entity.sourceLine = t_[i_].where;
      bool paper = false;
      bool keep = true;
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
        keep = ReadPolyline(begin, stop, e, paper);
      } else {
        continue;  // other kinds, and VERTEX or SEQEND without their POLYLINE
      }
      if (keep && !paper) entities_.push_back(std::move(e));
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
      if (t.code == 3) {
        e.text += Raw(t);
      } else if (t.code == 1) {
        last = std::string(Raw(t));
      }
    }
    e.text += last;
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
  // lightweight polyline, as the host converts it on opening; meshes and curve- or
  // spline-fit 2D polylines are none of the seven families. Returns whether the
  // entity is kept.
  bool ReadPolyline(size_t begin, size_t end, RawEntity& e, bool& paper) {
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
    const bool fitted = (flags & (kPolyCurveFit | kPolySplineFit)) != 0;
    const bool keep = !mesh && (is3d || !fitted) && !paper;
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
      // A spline-fit 3D polyline stores its frame as well; the curve is the rest.
      if (is3d && (vflags & kVertexSplineFrame) != 0) continue;
      CheckVertexCount(++count, e, "POLYLINE");
      if (is3d) {
        p.coordinates.insert(p.coordinates.end(), {v[0], v[1], v[2]});
      } else {
        p.coordinates.insert(p.coordinates.end(), {v[0], v[1]});
        p.bulges.push_back(bulge);
      }
    }
    if (i_ < t_.size() && IsZero(i_, "SEQEND")) i_ = NextZero(i_ + 1);
    return keep;
  }


 public:
  DxfDrawing Finish() {
    MergeMTextColumns();
    DxfDrawing d;
    d.acadver = std::string(acadver_);
    d.codepage = std::string(codepage_);
    const DxfTextCodec codec = ChooseDxfCodec(acadver_, codepage_);
    std::unordered_map<std::string, size_t> byName;
    auto add = [&](std::string name, int color) {
      byName.emplace(FoldAscii(name), d.layers.size());
      d.layers.push_back(Layer{std::move(name), color});
    };
    // Names are unique in a host's layer table; a repeated entry is dropped.
    for (const RawLayer& l : layers_) {
      std::string name = DecodeDxfText(l.name, codec);
      if (byName.count(FoldAscii(name)) == 0) add(std::move(name), l.color);
    }
    d.entities.reserve(entities_.size());
    for (RawEntity& r : entities_) {
      if (r.merged) continue;
      Entity& e = r.entity;
      e.handle = SanitizeUtf8(e.handle);
      // An entity without a layer name is on layer 0.
      std::string layer = r.layer.empty() ? std::string("0") : DecodeDxfText(r.layer, codec);
      const auto found = byName.find(FoldAscii(layer));
      if (found == byName.end()) {
        e.layer = layer;
        add(std::move(layer), 7);
      } else {
        e.layer = d.layers[found->second].name;
      }
      if (e.type == EntityType::kText || e.type == EntityType::kMText) {
        e.textstring = DecodeDxfText(r.text, codec);
      }
      d.entities.push_back(std::move(e));
    }
    return d;
  }

 private:
  const DxfTokens& tokens_;
  const std::vector<DxfToken>& t_;
  const std::string& name_;
  const DxfLimits& limits_;
  size_t i_ = 0;
  std::string_view acadver_;
  std::string_view codepage_;
  std::vector<RawLayer> layers_;
  std::vector<RawEntity> entities_;
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
    : drawing_(ReadDxfFile(path, limits)), description_(PathText(path)) {}

DxfSource::DxfSource(DxfDrawing drawing, std::string description)
    : drawing_(std::move(drawing)), description_(std::move(description)) {}

std::vector<const Entity*> DxfSource::SelectOnScreen() {
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
