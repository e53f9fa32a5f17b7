// Polygons: rings cleaned, oriented and nested the way Google Earth fills them, and
// the hatches and solids that become them.
#include <algorithm>
#include <cmath>
#include <string>
#include <variant>

#include "base/error.h"
#include "base/overloaded.h"
#include "convert/common.h"
#include "convert/curve_points.h"
#include "geometry/arc.h"
#include "geometry/vector.h"
#include "kml/document.h"

namespace varnolt {

using convert_detail::PointLines;

namespace {

// Consecutive points closer than this in plan are one point: the ends of adjacent
// boundary edges meet only to rounding.
constexpr double kSamePoint = 1e-6;  // m

// Nesting compares every ring with the larger ones; beyond this many the work
// would grow out of proportion to any real drawing.
constexpr size_t kMaxRings = 20'000;

bool SameInPlan(const Point3& a, const Point3& b) {
  const double dx = a[0] - b[0];
  const double dy = a[1] - b[1];
  return std::sqrt(dx * dx + dy * dy) <= kSamePoint;
}

// Twice the signed area in plan, positive counter-clockwise; measured from the first
// point so that large plane coordinates do not swamp it.
double TwiceArea(const Ring& r) {
  double sum = 0;
  const double x0 = r[0][0];
  const double y0 = r[0][1];
  for (size_t i = 1; i + 1 < r.size(); ++i) {
    sum += (r[i][0] - x0) * (r[i + 1][1] - y0) - (r[i + 1][0] - x0) * (r[i][1] - y0);
  }
  return sum;
}

Ring CleanRing(const Ring& loop) {
  Ring r;
  r.reserve(loop.size());
  for (const Point3& p : loop) {
    if (r.empty() || !SameInPlan(p, r.back())) r.push_back(p);
  }
  while (r.size() > 1 && SameInPlan(r.front(), r.back())) r.pop_back();
  if (r.size() < 3) r.clear();
  return r;
}

// A mesh face's corners, a repeated one once; empty when they span no area in
// space (measured from the first corner, so that plane coordinates do not swamp it).
Ring FaceRing(const MeshFace& face) {
  Ring r;
  for (const Point3& c : face) {
    if (r.empty() || Length(Minus(c, r.back())) > kSamePoint) r.push_back(c);
  }
  while (r.size() > 1 && Length(Minus(r.front(), r.back())) <= kSamePoint) r.pop_back();
  Point3 normal{0, 0, 0};
  for (size_t i = 1; i + 1 < r.size(); ++i) {
    normal = Add(normal, Cross(Minus(r[i], r[0]), Minus(r[i + 1], r[0])));
  }
  if (r.size() < 3 || Length(normal) == 0) r.clear();
  return r;
}

// Reverses the turn of a ring, keeping its first point first.
void Reverse(Ring& r) { std::reverse(r.begin() + 1, r.end()); }

struct Box {
  double x0, y0, x1, y1;
  bool Holds(const Box& b) const {
    return x0 <= b.x0 && y0 <= b.y0 && b.x1 <= x1 && b.y1 <= y1;
  }
};

Box BoxOf(const Ring& r) {
  Box b{r[0][0], r[0][1], r[0][0], r[0][1]};
  for (const Point3& p : r) {
    b.x0 = std::min(b.x0, p[0]);
    b.y0 = std::min(b.y0, p[1]);
    b.x1 = std::max(b.x1, p[0]);
    b.y1 = std::max(b.y1, p[1]);
  }
  return b;
}

// Crossing test in plan.
bool Inside(const Point3& p, const Ring& r) {
  bool in = false;
  for (size_t i = 0, j = r.size() - 1; i < r.size(); j = i++) {
    const Point3& a = r[i];
    const Point3& b = r[j];
    if ((a[1] > p[1]) != (b[1] > p[1]) &&
        p[0] < (b[0] - a[0]) * (p[1] - a[1]) / (b[1] - a[1]) + a[0]) {
      in = !in;
    }
  }
  return in;
}

// Rings that touch share boundary points: most of up to nine points spread over the
// inner ring must lie inside the outer one.
bool Contains(const Ring& outer, const Box& outerBox, const Ring& inner, const Box& innerBox) {
  if (!outerBox.Holds(innerBox)) return false;
  const size_t samples = std::min<size_t>(9, inner.size());
  size_t in = 0;
  for (size_t k = 0; k < samples; ++k) {
    if (Inside(inner[k * inner.size() / samples], outer)) ++in;
  }
  return 2 * in > samples;
}

void AppendRing(const Ring& ring, const ConvertContext& ctx, const std::string& indent,
                std::string_view boundary, std::string& out) {
  out += indent; out += '<'; out += boundary; out += ">\r\n";
  out += indent; out += "\t<LinearRing>\r\n";
  out += indent; out += "\t\t<coordinates>\r\n";
  // Point lines carry three TABs after the indentation they are given.
  PointLines::Write(ctx, indent, out, [&](PointLines& lines) {
    for (const Point3& p : ring) lines.Add(p[0], p[1], p[2]);
    lines.Add(ring[0][0], ring[0][1], ring[0][2]);
  });
  out += indent; out += "\t\t</coordinates>\r\n";
  out += indent; out += "\t</LinearRing>\r\n";
  out += indent; out += "</"; out += boundary; out += ">\r\n";
}

void AppendPolygon(const PolygonShape& shape, const ConvertContext& ctx,
                   const std::string& indent, std::string_view altitudeMode, std::string& out) {
  out += indent; out += "<Polygon>\r\n";
  out += indent; out += "\t<tessellate>1</tessellate>\r\n";
  out += indent; out += "\t<altitudeMode>"; out += altitudeMode; out += "</altitudeMode>\r\n";
  AppendRing(shape.outer, ctx, indent + '\t', "outerBoundaryIs", out);
  for (const Ring& hole : shape.holes) {
    AppendRing(hole, ctx, indent + '\t', "innerBoundaryIs", out);
  }
  out += indent; out += "</Polygon>\r\n";
}

// A polyline edge: every bulged segment (the closing one too) as a 101-point arc.
void PolylinePoints(const LwPolyline& e, std::vector<Point3>& points) {
  const std::vector<LwVertex>& v = e.vertices;
  const size_t nv = v.size();
  if (nv == 0) return;
  auto vertex = [&](size_t i) { return Point3{v[i].x, v[i].y, e.elevation}; };
  points.push_back(vertex(0));
  const size_t segments = e.closed ? nv : nv - 1;
  for (size_t i = 0; i < segments; ++i) {
    const Point3 p1 = vertex(i);
    const Point3 p2 = vertex((i + 1) % nv);
    const double b = v[i].bulge;
    if (b != 0 && std::isfinite(b)) {
      const BulgeArc arc = BulgeToArc(p1, p2, b);
      for (int k = 1; k < convert_detail::kCurvePoints - 1; ++k) {
        const double a = arc.startAngle + arc.sweep * static_cast<double>(k) / 100;
        points.push_back({arc.centerX + arc.radius * std::cos(a),
                          arc.centerY + arc.radius * std::sin(a), e.elevation});
      }
    }
    points.push_back(p2);
  }
}

// The points of one boundary edge, in its own direction.
void EdgePoints(const HatchEdge& edge, const ConvertContext& ctx, int64_t budget,
                std::vector<Point3>& points) {
  std::visit(Overloaded{
                 [&](const Line& e) {
                   points.push_back(e.start);
                   points.push_back(e.end);
                 },
                 [&](const Arc& e) { convert_detail::ArcPoints(e, ctx.pi, points); },
                 [&](const Ellipse& e) { convert_detail::EllipsePoints(e, ctx.pi, points); },
                 [&](const Spline& e) { convert_detail::SplinePoints(e, budget, points); },
                 [&](const LwPolyline& e) { PolylinePoints(e, points); },
             },
             edge);
}

double PlanDistance(const Point3& a, const Point3& b) {
  const double dx = a[0] - b[0];
  const double dy = a[1] - b[1];
  return std::sqrt(dx * dx + dy * dy);
}

// One loop's edges joined end to start: each edge is turned round when its far end
// lies nearer the loop so far, the first one by the second edge.
Ring JoinEdges(const HatchLoop& hatchLoop, const ConvertContext& ctx, int64_t& total) {
  Ring loop;
  std::vector<Point3> edge;
  bool second = true;  // the next edge joined is the loop's second
  for (const HatchEdge& e : hatchLoop.edges) {
    edge.clear();
    EdgePoints(e, ctx, kMaxPointsPerEntity - total, edge);
    total += static_cast<int64_t>(edge.size());
    convert_detail::CheckPointCount(static_cast<double>(total));
    if (edge.empty()) continue;
    if (loop.empty()) {
      loop = edge;
      continue;
    }
    if (second) {
      second = false;
      const double keep = std::min(PlanDistance(loop.back(), edge.front()),
                                   PlanDistance(loop.back(), edge.back()));
      const double turn = std::min(PlanDistance(loop.front(), edge.front()),
                                   PlanDistance(loop.front(), edge.back()));
      if (turn < keep) std::reverse(loop.begin(), loop.end());
    }
    if (PlanDistance(loop.back(), edge.back()) < PlanDistance(loop.back(), edge.front())) {
      std::reverse(edge.begin(), edge.end());
    }
    loop.insert(loop.end(), edge.begin(), edge.end());
  }
  return loop;
}

// The fewest points an edge can give, so that a boundary far beyond the limit fails
// before any of it is drawn.
double LeastEdgePoints(const HatchEdge& edge) {
  if (std::holds_alternative<Arc>(edge) || std::holds_alternative<Ellipse>(edge)) {
    return convert_detail::kCurvePoints;
  }
  if (const LwPolyline* p = std::get_if<LwPolyline>(&edge)) {
    return static_cast<double>(p->vertices.size());
  }
  return 2;
}

}  // namespace

std::vector<PolygonShape> NestRings(const std::vector<Ring>& loops) {
  std::vector<Ring> rings;
  for (const Ring& loop : loops) {
    Ring r = CleanRing(loop);
    if (!r.empty() && TwiceArea(r) != 0) rings.push_back(std::move(r));
  }
  if (rings.size() > kMaxRings) {
    throw Error(ErrorKind::kGeneral, std::to_string(rings.size()) +
                                         " boundary loops, more than the " +
                                         std::to_string(kMaxRings) +
                                         " one Placemark may nest");
  }
  const size_t n = rings.size();
  std::vector<double> area(n);
  std::vector<Box> box(n);
  for (size_t i = 0; i < n; ++i) {
    area[i] = std::fabs(TwiceArea(rings[i]));
    box[i] = BoxOf(rings[i]);
  }
  // Larger rings first: a ring's parent is the smallest ring before it that holds it.
  std::vector<size_t> order(n);
  for (size_t i = 0; i < n; ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return area[a] > area[b]; });
  std::vector<size_t> parent(n, n);
  std::vector<int> depth(n, 0);
  for (size_t pos = 0; pos < n; ++pos) {
    const size_t i = order[pos];
    for (size_t back = pos; back-- > 0;) {
      const size_t j = order[back];
      if (Contains(rings[j], box[j], rings[i], box[i])) {
        parent[i] = j;
        depth[i] = depth[j] + 1;
        break;
      }
    }
  }
  std::vector<PolygonShape> shapes;
  std::vector<size_t> shapeOf(n, 0);
  for (size_t i = 0; i < n; ++i) {
    if (depth[i] % 2 != 0) continue;
    if (TwiceArea(rings[i]) < 0) Reverse(rings[i]);
    shapeOf[i] = shapes.size();
    shapes.push_back({std::move(rings[i]), {}});
  }
  for (size_t i = 0; i < n; ++i) {
    if (depth[i] % 2 == 0) continue;
    if (TwiceArea(rings[i]) > 0) Reverse(rings[i]);
    shapes[shapeOf[parent[i]]].holes.push_back(std::move(rings[i]));
  }
  return shapes;
}

int64_t AppendPolygonPlacemark(const std::vector<PolygonShape>& shapes,
                               const ConvertContext& ctx, std::string_view qstab,
                               std::string_view name, std::string_view style,
                               std::string& out, const PlacemarkLayout& layout) {
  if (shapes.empty()) throw Error(ErrorKind::kGeneral, "no polygon to write");
  double total = 0;
  for (const PolygonShape& s : shapes) {
    total += static_cast<double>(s.outer.size() + 1);
    for (const Ring& h : s.holes) total += static_cast<double>(h.size() + 1);
  }
  convert_detail::CheckPointCount(total);

  AppendPlacemarkHead(out, qstab, name, style);
  AppendExtendedData(out, qstab, layout);
  const std::string indent = std::string(qstab) + '\t';
  if (shapes.size() == 1) {
    AppendPolygon(shapes[0], ctx, indent, layout.altitudeMode, out);
  } else {
    out += indent; out += "<MultiGeometry>\r\n";
    for (const PolygonShape& s : shapes) {
      AppendPolygon(s, ctx, indent + '\t', layout.altitudeMode, out);
    }
    out += indent; out += "</MultiGeometry>\r\n";
  }
  AppendPlacemarkEnd(out, qstab);
  return static_cast<int64_t>(total);
}

Ring OutlinePoints(const Circle& ent, const ConvertContext& ctx) {
  Ring points;
  convert_detail::CirclePoints(ent.center, ent.radius, 0, 2 * ctx.pi / 100, points);
  return points;
}

Ring OutlinePoints(const LwPolyline& ent, const ConvertContext& ctx) {
  (void)ctx;
  convert_detail::CheckPointCount(static_cast<double>(ent.vertices.size()));
  Ring points;
  PolylinePoints(ent, points);
  return points;
}

int64_t tohatch(const Hatch& ent, const ConvertContext& ctx, std::string_view qstab,
                std::string_view polyname, std::string_view polystyle, std::string& out,
                const PlacemarkLayout& layout) {
  double least = 0;
  for (const HatchLoop& loop : ent.loops) {
    for (const HatchEdge& edge : loop.edges) least += LeastEdgePoints(edge);
  }
  convert_detail::CheckPointCount(least);
  std::vector<Ring> loops;
  int64_t total = 0;
  for (const HatchLoop& loop : ent.loops) {
    if (!loop.edges.empty()) loops.push_back(JoinEdges(loop, ctx, total));
  }
  const std::vector<PolygonShape> shapes = NestRings(loops);
  if (shapes.empty()) {
    throw UnusableEntity("no area", "无面积",
                         "none of its " + std::to_string(ent.loops.size()) +
                             " boundary loops encloses an area (three distinct points at least)");
  }
  return AppendPolygonPlacemark(shapes, ctx, qstab, polyname, polystyle, out, layout);
}

int64_t tosolid(const Solid& ent, const ConvertContext& ctx, std::string_view qstab,
                std::string_view polyname, std::string_view polystyle, std::string& out,
                const PlacemarkLayout& layout) {
  const std::vector<PolygonShape> shapes = NestRings({ent.corners});
  if (shapes.empty()) {
    throw UnusableEntity("no area", "无面积",
                         "its corners enclose no area (three distinct corners at least)");
  }
  return AppendPolygonPlacemark(shapes, ctx, qstab, polyname, polystyle, out, layout);
}

int64_t tomesh(const Mesh& ent, const ConvertContext& ctx, std::string_view qstab,
               std::string_view polyname, std::string_view polystyle, std::string& out,
               const PlacemarkLayout& layout) {
  std::vector<PolygonShape> shapes;
  for (const MeshFace& face : ent.faces) {
    Ring ring = FaceRing(face);
    if (!ring.empty()) shapes.push_back({std::move(ring), {}});
  }
  if (shapes.empty()) {
    throw UnusableEntity("no face with an area", "没有有面积的面",
                         "none of its " + std::to_string(ent.faces.size()) +
                             " faces has an area (three corners not on one line)");
  }
  return AppendPolygonPlacemark(shapes, ctx, qstab, polyname, polystyle, out, layout);
}

}  // namespace varnolt
