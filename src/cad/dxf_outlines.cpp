// The kinds drawn by their outlines: meshes by their faces, leaders by their lines,
// images and wipeouts by their boundaries.
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cad/dxf_parser.h"
#include "geometry/vector.h"

namespace varnolt::dxf_detail {
namespace {

constexpr Reason kNoFace{"no face with three corners", "没有三个角点以上的面"};
constexpr Reason kFewVertices{"fewer than two vertices", "顶点少于两个"};
constexpr Reason kNothingDrawn{"no leader line and no text", "没有引线和文字"};

// The grid M x N of a polygon mesh's vertices (the smoothed surface's when it is one
// and its vertices fill it); nullopt when they fill neither.
std::optional<std::pair<size_t, size_t>> MeshGrid(int64_t flags, const int64_t (&counts)[4],
                                                  size_t vertices) {
  auto fits = [&](int64_t m, int64_t n) {
    return m >= 1 && n >= 1 && static_cast<uint64_t>(m) <= vertices &&
           vertices % static_cast<size_t>(m) == 0 &&
           static_cast<uint64_t>(n) == vertices / static_cast<size_t>(m);
  };
  if ((flags & kPolySplineFit) != 0 && fits(counts[2], counts[3])) {
    return std::pair<size_t, size_t>(counts[2], counts[3]);
  }
  if (fits(counts[0], counts[1])) return std::pair<size_t, size_t>(counts[0], counts[1]);
  return std::nullopt;
}

// The faces of an M x N grid, wrapping round where the mesh is closed.
void GridFaces(const std::vector<Point3>& v, size_t m, size_t n, int64_t flags, Mesh& mesh) {
  const size_t rows = (flags & kPolyClosed) != 0 ? m : m - 1;
  const size_t cols = (flags & kPolyClosedN) != 0 ? n : n - 1;
  auto at = [&](size_t i, size_t j) { return v[(i % m) * n + (j % n)]; };
  for (size_t i = 0; i < rows; ++i) {
    for (size_t j = 0; j < cols; ++j) {
      mesh.faces.push_back({at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j)});
    }
  }
}

Point3 Along(const Point3& from, const Point3& direction, double length) {
  const double d = Length(direction);
  return Add(from, Scaled(direction, length / d));
}

}  // namespace

void Parser::ReadMeshVertices(RawEntity& e, bool keep, std::vector<Point3>& points,
                              std::vector<std::array<int64_t, 4>>& faces, bool polyface) {
  size_t count = 0;
  ReadVertices(keep, [&](size_t vbegin, size_t vend) {
    CheckVertexCount(++count, e, "POLYLINE");
    Point3 v{};
    int64_t vflags = 0;
    std::array<int64_t, 4> face{0, 0, 0, 0};
    for (size_t k = vbegin; k < vend; ++k) {
      const DxfToken& t = t_[k];
      if (PointGroup(t, 10, v)) continue;
      if (t.code == 70) {
        vflags = Int(t);
      } else if (t.code >= 71 && t.code <= 74) {
        face[static_cast<size_t>(t.code - 71)] = Int(t);
      }
    }
    if (polyface && (vflags & kVertexPolyface) != 0 && (vflags & kVertexMesh) == 0) {
      faces.push_back(face);
    } else if (polyface || (vflags & kVertexSplineFrame) == 0) {
      points.push_back(v);
    }
  });
}

std::string_view Parser::ReadMesh(RawEntity& e, bool& paper, bool model, int64_t flags,
                                  const int64_t (&counts)[4]) {
  const bool polyface = (flags & kPolyFaceMesh) != 0;
  const std::string_view kind = polyface ? "POLYLINE (polyface)" : "POLYLINE (mesh)";
  const bool keep = Included(kIncludeMeshes) && !(paper && model && !Picking());
  std::vector<Point3> points;
  std::vector<std::array<int64_t, 4>> faces;
  ReadMeshVertices(e, keep, points, faces, polyface);
  if (!Included(kIncludeMeshes)) return kind;
  Mesh mesh;
  mesh.polyface = polyface;
  if (keep && polyface) {
    for (const std::array<int64_t, 4>& face : faces) {
      MeshFace f{};
      size_t corners = 0;
      for (const int64_t index : face) {
        // A negative index hides the edge that starts there; 0 is no corner.
        const uint64_t k = index < 0 ? 0 - static_cast<uint64_t>(index) : static_cast<uint64_t>(index);
        if (k == 0) continue;
        if (k > points.size()) {
          const std::string what = "a face names vertex " + std::to_string(k) + " of " +
                                   std::to_string(points.size());
          LeaveOut(e, kind, what, "面引用了不存在的顶点", "the polyface mesh has " + what);
        }
        f[corners++] = points[k - 1];
      }
      if (corners < 3) continue;
      if (corners == 3) f[3] = f[2];
      mesh.faces.push_back(f);
    }
  } else if (keep) {
    const auto grid = MeshGrid(flags, counts, points.size());
    if (!grid) {
      const std::string what = "its " + std::to_string(points.size()) +
                               " vertices do not fill its " + std::to_string(counts[0]) + " x " +
                               std::to_string(counts[1]) + " grid";
      LeaveOut(e, kind, what, "顶点数与网格不符", "the polygon mesh's " + what.substr(4));
    }
    GridFaces(points, grid->first, grid->second, flags, mesh);
  }
  if (keep && mesh.faces.empty()) {
    LeaveOut(e, kind, kNoFace, "the mesh has " + std::string(kNoFace.english));
  }
  e.entity.geometry = std::move(mesh);
  return {};
}

std::string_view Parser::ReadLeader(size_t begin, size_t end, RawEntity& e, bool& paper,
                                    std::string_view, bool) {
  size_t count = 0;
  for (size_t k = begin; k < end; ++k) count += t_[k].code == 10;
  CheckVertexCount(count, e, "LEADER");
  Leader leader;
  std::vector<Point3>& line = leader.lines.emplace_back();
  line.reserve(count);
  for (size_t k = begin; k < end; ++k) {
    const DxfToken& t = t_[k];
    if (Common(t, e, paper)) continue;
    if (t.code == 10 || t.code == 20 || t.code == 30) PointListGroup(t, 10, line);
  }
  if (line.size() < 2) {
    LeaveOut(e, "LEADER", kFewVertices, "the LEADER has fewer than two vertices");
  }
  e.entity.geometry = std::move(leader);
  return {};
}

namespace {

// One leader of a MULTILEADER as read: where its lines end, its dogleg, its lines.
struct Branch {
  Point3 last{}, dogleg{};
  bool doglegVector = false;  // group 291: the dogleg vector is given
  double doglegLength = 0;
  bool vertical = false;  // group 271: attached above or below the text
  std::vector<std::vector<Point3>> lines;
};

// The lines of a leader as CAD draws them: each leader line's vertices, then the
// leader's last point (where a dogleg is drawn) and the end of the dogleg; a leader
// attached vertically ends at its last point.
void BranchLines(const Branch& b, bool dogleg, std::vector<std::vector<Point3>>& out) {
  const Point3 direction =
      b.doglegVector && Length(b.dogleg) > 0 ? b.dogleg : Point3{1, 0, 0};
  for (const std::vector<Point3>& line : b.lines) {
    std::vector<Point3> points = line;
    if (b.vertical || dogleg) points.push_back(b.last);
    if (!b.vertical) points.push_back(Along(b.last, direction, b.doglegLength));
    if (points.size() >= 2) out.push_back(std::move(points));
  }
}

}  // namespace

std::string_view Parser::ReadMultiLeader(size_t begin, size_t end, RawEntity& e, bool& paper,
                                         std::string_view, bool) {
  enum class In { kTop, kContext, kLeader, kLine } in = In::kTop;
  std::vector<Branch> branches;
  bool dogleg = true, visible = true, hasText = false, content = false;
  std::string text;
  MText m;
  Point3 direction{};
  for (size_t k = begin; k < end; ++k) {
    const DxfToken& t = t_[k];
    const std::string_view value = t.code >= 300 && t.code <= 305 ? DxfName(t) : std::string_view();
    if (in == In::kTop) {
      if (Common(t, e, paper)) continue;
      if (t.code == 300 && value == "CONTEXT_DATA{") in = In::kContext;
      if (t.code == 291) dogleg = Int(t) != 0;
      if (t.code == 170) visible = Int(t) != 0;
    } else if (in == In::kContext) {
      if (t.code == 301) {
        in = In::kTop;
      } else if (t.code == 302 && value == "LEADER{") {
        in = In::kLeader;
        branches.emplace_back();
      } else if (t.code == 290) {
        content = Int(t) == 1;  // the content is a multiline text
      } else if (content && t.code == 304) {
        text = std::string(Raw(t));
        hasText = true;
      } else if (content && (PointGroup(t, 12, m.insertion) || PointGroup(t, 13, direction))) {
        continue;
      } else if (t.code == 41) {
        m.height = Real(t);
      }
    } else if (in == In::kLeader) {
      Branch& b = branches.back();
      if (t.code == 303) {
        in = In::kContext;
      } else if (t.code == 304 && value == "LEADER_LINE{") {
        in = In::kLine;
        b.lines.emplace_back();
      } else if (!PointGroup(t, 10, b.last) && !PointGroup(t, 11, b.dogleg)) {
        if (t.code == 291) b.doglegVector = Int(t) != 0;
        if (t.code == 40) b.doglegLength = Real(t);
        if (t.code == 271) b.vertical = Int(t) == 1;
      }
    } else if (t.code == 305) {
      in = In::kLeader;
    } else if (t.code == 10 || t.code == 20 || t.code == 30) {
      PointListGroup(t, 10, branches.back().lines.back());
    }
  }
  Leader leader;
  leader.multileader = true;
  for (const Branch& b : branches) {
    if (visible) BranchLines(b, dogleg, leader.lines);
  }
  if (direction[0] != 0 || direction[1] != 0) m.rotation = std::atan2(direction[1], direction[0]);
  if (leader.lines.empty() && !hasText) {
    LeaveOut(e, "MULTILEADER", kNothingDrawn, "the MULTILEADER has no leader line and no text");
  }
  if (leader.lines.empty()) {
    e.entity.geometry = std::move(m);
    e.text = std::move(text);
    return {};
  }
  e.entity.geometry = std::move(leader);
  e.twofold = hasText;
  if (hasText) {
    second_ = e;
    second_->entity.geometry = std::move(m);
    second_->text = std::move(text);
  }
  return {};
}

std::string_view Parser::ReadFrame(size_t begin, size_t end, RawEntity& e, bool& paper,
                                   std::string_view kind, bool) {
  Point3 insertion{}, u{}, v{}, size{};
  std::vector<Point3> path;
  for (size_t k = begin; k < end; ++k) {
    const DxfToken& t = t_[k];
    if (Common(t, e, paper) || PointGroup(t, 10, insertion) || PointGroup(t, 11, u) ||
        PointGroup(t, 12, v) || PointGroup(t, 13, size)) {
      continue;
    }
    if (t.code == 14 || t.code == 24) PointListGroup(t, 14, path);
  }
  // Without a boundary of its own the frame is the whole image; pixel centres lie
  // at whole numbers, so the image runs from -0.5 to its size less 0.5.
  if (path.size() < 2) path = {{-0.5, -0.5, 0}, {size[0] - 0.5, size[1] - 0.5, 0}};
  if (path.size() == 2) {
    const Point3 a = path[0], b = path[1];
    path = {a, {b[0], a[1], 0}, b, {a[0], b[1], 0}};
  }
  if (path.size() > 3 && path.front() == path.back()) path.pop_back();
  Frame frame;
  frame.wipeout = kind == "WIPEOUT";
  frame.boundary.reserve(path.size());
  // Pixel rows count down from the image's top edge.
  for (const Point3& p : path) {
    frame.boundary.push_back(
        Add(insertion, Add(Scaled(u, p[0] + 0.5), Scaled(v, size[1] - p[1] - 0.5))));
  }
  e.entity.geometry = std::move(frame);
  return {};
}

}  // namespace varnolt::dxf_detail
