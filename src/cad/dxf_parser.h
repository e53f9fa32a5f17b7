// The DXF group parser, shared by the files of the reader: the sections and the
// entity list in dxf.cpp, each entity kind's groups in dxf_entities.cpp. Not part of
// the interface.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cad/colour_rules.h"
#include "cad/dxf_internal.h"
#include "cad/ocs.h"

namespace varnolt::dxf_detail {

// POLYLINE flags (group 70): closed (in M for a mesh), curve- and spline-fitted (a
// mesh smoothed), 3D, polygon mesh, mesh closed in N, polyface mesh.
inline constexpr int64_t kPolyClosed = 1;
inline constexpr int64_t kPolyCurveFit = 2;
inline constexpr int64_t kPolySplineFit = 4;
inline constexpr int64_t kPoly3d = 8;
inline constexpr int64_t kPolyMesh = 16;
inline constexpr int64_t kPolyClosedN = 32;
inline constexpr int64_t kPolyFaceMesh = 64;
// VERTEX flags (group 70): a control point of a spline frame, not on the curve; a
// polygon mesh's vertex; with the next a polyface mesh's vertex, alone its face.
inline constexpr int64_t kVertexSplineFrame = 16;
inline constexpr int64_t kVertexMesh = 64;
inline constexpr int64_t kVertexPolyface = 128;

struct RawLayer {
  std::string_view name;
  int color = 7;
};

// Each entity read, and the index of its first token.
using Emit = std::function<void(RawEntity&, size_t)>;

// The tokens of a file (or of a piece of its ENTITIES section) read into raw
// entities, layers and blocks; Build() then makes the drawing of them.
class Parser {
 public:
  Parser(const DxfTokens& tokens, const std::string& name, const DxfLimits& limits)
      : tokens_(tokens), t_(tokens.tokens), place_{name, tokens.binary}, limits_(limits) {}

  // Reads the sections; Finish() then builds the drawing, and needs no token.
  void Read();

  DxfDrawing Finish();

  // The tokens being one piece of the ENTITIES section: each model-space entity to
  // emit(entity, first token), until the section ends or the tokens do. Returns the
  // index of the token that ended the section, or the token count.
  size_t ReadPiece(const Emit& emit);

  std::vector<SkippedKind> TakeSkipped() { return std::move(skipped_); }
  // With a pick: the positions in it of the picked entities met so far.
  std::vector<size_t> TakeMet() { return std::move(met_); }
  // Whether Read() met an ENTITIES section other than the one read apart (whose
  // tokens it does not have).
  bool ReadEntitiesItself() const { return entitySections_ > 1; }
  const DxfTextCodec& codec() const { return codec_; }

  // Finish() into `d`, its layers in `layers`.
  void Build(DxfDrawing& d, LayerTable& layers);

 private:
  // A file cut short must not pass for a complete one. Without its "0 EOF" a file
  // is taken only when it ends between sections, after a complete ENTITIES section
  // (some writers leave the marker out). Checked before any value is read, so that
  // a value cut in half is reported as the end of the file it is.
  void CheckComplete() const;

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

  double Real(const DxfToken& t) const { return DxfReal(t, tokens_.binary, place_.name); }
  int64_t Int(const DxfToken& t) const { return DxfInteger(t, tokens_.binary, place_.name); }
  std::string_view Raw(const DxfToken& t) const {
    return DxfRawText(t, tokens_.binary, place_.name);
  }

  void ReadHeader();

  // Only the layer entries matter; "0 LAYER" marks one in no other table.
  void ReadTables();

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
        e.entity.color = EntityColorAsRead(Int(t));
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

  // Extrusion groups 210/220/230; true when `t` was one.
  bool Extrusion(const DxfToken& t, Point3& n) const { return PointGroup(t, 210, n); }

  [[noreturn]] void Refuse(const RawEntity& e, const std::string& what) const;

  // Leaves the entity out for `why`: what strict reading refuses instead is `what`.
  [[noreturn]] void LeaveOut(const RawEntity& e, std::string_view kind, const Reason& why,
                             const std::string& what) const;
  [[noreturn]] void LeaveOut(const RawEntity& e, std::string_view kind, std::string english,
                             std::string chinese, const std::string& what) const;

  // A count the entity declares or holds, refused beyond `limit` (0: the vertex
  // limit).
  void CheckCount(int64_t declared, const RawEntity& e, std::string_view kind,
                  std::string_view what, uint64_t limit = 0) const;

  void CheckVertexCount(size_t count, const RawEntity& e, std::string_view kind) const;

  void ReadEntities();

  // Each block with its entities, read as model space is (paper space aside).
  void ReadBlocks();

  // The kind is the file's own bytes: it is made UTF-8 and cut to 40 bytes for the
  // summary that names it.
  void Skip(std::string_view raw);

  bool Included(unsigned kind) const { return (limits_.include & kind) != 0; }

  // A reading for a pick keeps paper space: the user may pick there.
  bool Picking() const { return limits_.pick != nullptr; }

  // With a pick: whether the top-level entity whose groups are [begin, end) was
  // picked, noting it as met when it was.
  bool MeetPicked(size_t begin, size_t end);

  // Entities up to the end of the section (or of the block: ENDBLK) into `into`.
  // In model space, what is not read is counted by kind; paper space is left alone.
  void ReadEntityList(std::vector<RawEntity>& into, bool model);

  // How one kind is read: the groups from the entity's first to `end`, with the
  // parser past the entity's own groups. Returns the kind under which an entity read
  // but not kept counts as skipped, empty when it is kept.
  using Reader = std::string_view (Parser::*)(size_t begin, size_t end, RawEntity& e,
                                             bool& paper, std::string_view kind, bool model);
  struct KindReader {
    std::string_view kind;
    Reader read;
    unsigned include;  // 0: always read
  };

  Reader ReaderOf(std::string_view kind) const;

  // The same, handing each entity to emit(entity, index of its first token); the
  // parser stands just past the entity's last token then.
  void ReadEntityListWith(bool model, const Emit& emit);

  std::string_view ReadLine(size_t begin, size_t end, RawEntity& e, bool& paper,
                            std::string_view, bool);

  std::string_view ReadArc(size_t begin, size_t end, RawEntity& e, bool& paper,
                           std::string_view kind, bool);

  Text ReadTextGroups(size_t begin, size_t end, RawEntity& e, bool& paper) const;

  std::string_view ReadText(size_t begin, size_t end, RawEntity& e, bool& paper,
                            std::string_view, bool);

  // The insertion point of MTEXT is stored in world coordinates already. The text
  // is the group-3 chunks in order, then group 1.
  //
  // Text in columns, saved for a release before 2018, is one MTEXT per column; the
  // first lists the others in its ACAD extended data, and a host opening the file
  // joins them into one entity again (see MergeMTextColumns).
  std::string_view ReadMText(size_t begin, size_t end, RawEntity& e, bool& paper,
                             std::string_view, bool);

  // Joins the columns of each MTEXT that lists them (text in column order) and
  // drops the column entities. One level only: a column's own list is not followed.
  void MergeMTextColumns();

  // Vertices stay in the polyline's own plane (OCS), as the host hands them over.
  std::string_view ReadLwPolyline(size_t begin, size_t end, RawEntity& e, bool& paper,
                                  std::string_view, bool);

  // POLYLINE with its VERTEX entities up to SEQEND (i_ stands after the POLYLINE's
  // own groups). A 3D polyline is kept as such; a plain 2D one is handed over as a
  // lightweight polyline, as the host converts it on opening; a curve- or
  // spline-fit 2D one too when fitted polylines are included, with the vertices
  // the fitting made (the frame's control points left out, as CAD draws it).
  // Meshes are read by ReadMesh.
  std::string_view ReadPolyline(size_t begin, size_t end, RawEntity& e, bool& paper,
                                std::string_view, bool model);

  // Each VERTEX that follows the entity's own groups handed to visit(first group,
  // end) when `keep`; the parser then stands past the SEQEND.
  template <class Visit>
  void ReadVertices(bool keep, Visit&& visit) {
    while (i_ < t_.size() && IsZero(i_, "VERTEX")) {
      const size_t begin = i_ + 1;
      const size_t end = NextZero(begin);
      i_ = end;
      if (keep) visit(begin, end);
    }
    if (i_ < t_.size() && IsZero(i_, "SEQEND")) i_ = NextZero(i_ + 1);
  }

  // Polygon and polyface meshes (the POLYLINE's groups read, i_ at its first
  // VERTEX), with `flags` and groups 71 to 74 in `counts`. Faces of three or four
  // corners; a polyface face that names a vertex the mesh lacks, and a polygon mesh
  // whose vertices do not fill its M x N grid, leave the mesh out.
  std::string_view ReadMesh(RawEntity& e, bool& paper, bool model, int64_t flags,
                            const int64_t (&counts)[4]);
  void ReadMeshVertices(RawEntity& e, bool keep, std::vector<Point3>& points,
                        std::vector<std::array<int64_t, 4>>& faces, bool polyface);

  // LEADER: its vertices (WCS). Fewer than two leave it out.
  std::string_view ReadLeader(size_t begin, size_t end, RawEntity& e, bool& paper,
                              std::string_view, bool);

  // MULTILEADER: each leader line (its vertices, the leader's last point and the
  // dogleg's end) becomes a line of one Leader; its text, when it has one, becomes a
  // multiline text that follows it (second_), at its text location.
  std::string_view ReadMultiLeader(size_t begin, size_t end, RawEntity& e, bool& paper,
                                   std::string_view, bool);

  // IMAGE and WIPEOUT: the clipping boundary (a rectangle by two corners or a
  // polygon, in pixels from the image's top left corner) when the image is clipped
  // or is a wipeout, else the whole image, carried to WCS by the insertion point and
  // the pixel vectors.
  std::string_view ReadFrame(size_t begin, size_t end, RawEntity& e, bool& paper,
                             std::string_view kind, bool);

  // INSERT (with the ATTRIBs that follow it up to SEQEND) or DIMENSION. Counts as
  // skipped when blocks are not included.
  std::string_view ReadInsert(size_t begin, size_t end, RawEntity& e, bool& paper,
                              std::string_view kind, bool);

  std::string_view ReadPoint(size_t begin, size_t end, RawEntity& e, bool& paper,
                             std::string_view, bool);

  std::string_view ReadEllipse(size_t begin, size_t end, RawEntity& e, bool& paper,
                               std::string_view, bool);

  // A coordinate of the last point of `points`: x (`base`) begins a new one, y and z
  // before any x are not read.
  void PointListGroup(const DxfToken& t, int base, std::vector<Point3>& points) const;

  // The raw definition; the curve is evaluated by the converters. A definition that
  // cannot describe a B-spline is drawn through its fit points, as CAD draws it, or
  // left out when it has fewer than two.
  std::string_view ReadSpline(size_t begin, size_t end, RawEntity& e, bool& paper,
                              std::string_view, bool);

  // What keeps a spline's numbers from describing a B-spline (`kind` names it in the
  // message); nullopt when nothing does.
  struct SplineFault {
    std::string what, english, chinese;
  };
  std::optional<SplineFault> FaultOf(const Spline& p, std::string_view kind) const;

  // A spline with such a fault keeps only its fit points when it has two or more;
  // else the entity is left out as `leftKind`, the reason led by `part` (which part
  // of it the spline is, or empty).
  void FitPointsOrLeaveOut(Spline& p, const RawEntity& e, std::string_view kind,
                           std::string_view leftKind, const Reason& part) const;

  // SOLID and TRACE: OCS corners in the order 1, 2, 4, 3 round; 3DFACE: WCS corners
  // in order. A fourth corner equal to the third makes a triangle.
  std::string_view ReadSolid(size_t begin, size_t end, RawEntity& e, bool& paper,
                             std::string_view kind, bool);

  // The groups of a HATCH's boundary paths, read one after the other in their fixed
  // order: a group that is absent where it may stand reads as its default.
  class PathGroups {
   public:
    PathGroups(const Parser& parser, const RawEntity& e, size_t k, size_t end, const Hatch& h)
        : p_(parser), e_(e), k_(k), end_(end), h_(h) {}

    bool At(int code) const { return k_ < end_ && p_.t_[k_].code == code; }
    double Real(int code, double fallback) { return At(code) ? p_.Real(p_.t_[k_++]) : fallback; }
    int64_t Integer(int code, int64_t fallback) {
      return At(code) ? p_.Int(p_.t_[k_++]) : fallback;
    }
    // The next group 92 (a path's flags); false when the groups end first.
    bool NextPath(int64_t& flags) {
      while (k_ < end_ && p_.t_[k_].code != 92) ++k_;
      if (k_ >= end_) return false;
      flags = p_.Int(p_.t_[k_++]);
      return true;
    }
    // Every edge is an entity of its own: far fewer than a polyline's vertices fit.
    void Count(int64_t more) {
      const uint64_t limit = p_.limits_.maxHatchEdges;
      p_.CheckCount(more, e_, "HATCH", "edges", limit);
      edges_ += static_cast<size_t>(std::max<int64_t>(more, 0));
      p_.CheckCount(static_cast<int64_t>(edges_), e_, "HATCH", "edges", limit);
    }
    // A point of the hatch's plane in world coordinates.
    Point3 Ocs(double x, double y) const { return OcsToWcs({x, y, h_.elevation}, h_.normal); }

    LwPolyline PolylinePath();
    HatchEdge Edge();

   private:
    HatchEdge Round(int64_t type);
    Spline SplineEdge();

    const Parser& p_;
    const RawEntity& e_;
    size_t k_, end_;
    const Hatch& h_;
    size_t edges_ = 0;
  };

  // Boundary paths: a polyline path is one lightweight polyline in the hatch's OCS;
  // an edge path's lines, arcs, elliptic arcs and splines are placed in WCS. The
  // pattern and seed points after the paths are not read.
  std::string_view ReadHatch(size_t begin, size_t end, RawEntity& e, bool& paper,
                             std::string_view, bool);

 private:
  const DxfTokens& tokens_;
  const std::vector<DxfToken>& t_;
  DxfPlace place_;
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
  // The second entity of one read as two (a MULTILEADER's text), emitted after it.
  std::optional<RawEntity> second_;
  std::vector<size_t> met_;  // with a pick: the positions of the picked entities met
  DxfTextCodec codec_{};  // set by Build
};

}  // namespace varnolt::dxf_detail
