#include "picking/picking.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <variant>

#include "base/error.h"
#include "cad/plain_text.h"
#include "convert/convert.h"
#include "convert/curve_points.h"
#include "geodesy/angles.h"
#include "geometry/arc.h"
#include "geometry/curves.h"

namespace varnolt {

namespace {

const double kPi = SystemPi();
// Curves are drawn and hit-tested as chords of at most this angle: at 5 degrees a
// chord lies within 0.1 % of the radius of its arc, well under a pixel at any
// zoom where the curve can be told from its chords.
const double kMaxChordAngle = 5.0 * kPi / 180.0;

void AppendArc(std::vector<Point2>& path, Point2 c, double r, double start,
               double sweep, bool includeStart) {
  const int pieces =
      std::max(2, static_cast<int>(std::ceil(std::fabs(sweep) / kMaxChordAngle)));
  for (int i = includeStart ? 0 : 1; i <= pieces; ++i) {
    const double t = start + sweep * static_cast<double>(i) / pieces;
    path.push_back({c.x + r * std::cos(t), c.y + r * std::sin(t)});
  }
}

// The bulged segment p0 -> p1 (bulge = tan of a quarter of the included angle,
// positive counter-clockwise), without its first point.
void AppendBulge(std::vector<Point2>& path, Point2 p0, Point2 p1, double bulge) {
  if (bulge == 0 || !std::isfinite(bulge) || (p0.x == p1.x && p0.y == p1.y)) {
    path.push_back(p1);
    return;
  }
  const BulgeArc arc = BulgeToArc({p0.x, p0.y, 0}, {p1.x, p1.y, 0}, bulge);
  AppendArc(path, {arc.centerX, arc.centerY}, arc.radius, arc.startAngle, arc.sweep, false);
}

Point2 Plan(const Point3& p) { return {p[0], p[1]}; }

}  // namespace

double LabelScale(const Shape& s, const Viewport& vp) {
  if (s.textHeight <= 0 || s.labelAscentPx <= 0) return 1;
  return s.textHeight * vp.scale / s.labelAscentPx;
}

bool LabelCorners(const Shape& s, const Viewport& vp, Point2 (&corners)[4]) {
  if (s.labelWidthPx <= 0 || s.labelHeightPx <= 0) return false;
  const Point2 a = vp.ToScreen(s.anchor);
  const double f = LabelScale(s, vp);
  const double top = -s.labelAscentPx * f, bottom = (s.labelHeightPx - s.labelAscentPx) * f;
  const double right = s.labelWidthPx * f;
  // Screen y points down: a counter-clockwise rotation in plan turns the other way.
  const double c = std::cos(s.textRotation), sn = std::sin(s.textRotation);
  auto at = [&](double x, double y) { return Point2{a.x + x * c + y * sn, a.y - x * sn + y * c}; };
  corners[0] = at(0, top);
  corners[1] = at(0, bottom);
  corners[2] = at(right, bottom);
  corners[3] = at(right, top);
  return true;
}

namespace {

// Whether p lies in the convex quadrilateral q (either winding), borders included.
bool InQuad(const Point2 (&q)[4], Point2 p) {
  bool neg = false, pos = false;
  for (int i = 0; i < 4; ++i) {
    const Point2 a = q[i], b = q[(i + 1) % 4];
    const double cross = (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
    neg = neg || cross < 0;
    pos = pos || cross > 0;
  }
  return !(neg && pos);
}

// Distance in pixels from `at` to the shape.
double ScreenDistance(const Shape& s, const Viewport& vp, Point2 at) {
  double best = std::numeric_limits<double>::infinity();
  if (s.isText) {
    Point2 q[4];
    if (LabelCorners(s, vp, q) && InQuad(q, at)) return 0;
    const Point2 a = vp.ToScreen(s.anchor);
    return std::hypot(at.x - a.x, at.y - a.y);
  }
  for (const auto& path : s.paths) {
    if (path.size() == 1) {
      const Point2 p = vp.ToScreen(path[0]);
      best = std::min(best, std::hypot(at.x - p.x, at.y - p.y));
    }
    for (size_t i = 1; i < path.size(); ++i) {
      best = std::min(best, DistanceToSegment(at, vp.ToScreen(path[i - 1]),
                                              vp.ToScreen(path[i])));
    }
  }
  return best;
}

bool Inside(const Shape& s, const Viewport& vp, const Rect2& r) {
  if (s.isText) {
    Point2 q[4];
    if (!LabelCorners(s, vp, q)) return r.Contains(vp.ToScreen(s.anchor));
    for (const Point2& p : q) {
      if (!r.Contains(p)) return false;
    }
    return true;
  }
  bool any = false;
  for (const auto& path : s.paths) {
    for (const Point2& p : path) {
      if (!r.Contains(vp.ToScreen(p))) return false;
      any = true;
    }
  }
  return any;
}

bool Touches(const Shape& s, const Viewport& vp, const Rect2& r) {
  if (s.isText) {
    Point2 q[4];
    if (!LabelCorners(s, vp, q)) return r.Contains(vp.ToScreen(s.anchor));
    for (int i = 0; i < 4; ++i) {
      if (SegmentTouchesRect(q[i], q[(i + 1) % 4], r)) return true;
    }
    // The rectangle wholly inside the box.
    return InQuad(q, {r.left, r.top});
  }
  for (const auto& path : s.paths) {
    if (path.size() == 1 && r.Contains(vp.ToScreen(path[0]))) return true;
    for (size_t i = 1; i < path.size(); ++i) {
      if (SegmentTouchesRect(vp.ToScreen(path[i - 1]), vp.ToScreen(path[i]), r)) {
        return true;
      }
    }
  }
  return false;
}

// Which side of the line ab the point p lies on: >0 left, <0 right, 0 on it.
double Cross(Point2 a, Point2 b, Point2 p) {
  return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
}

bool SegmentsTouch(Point2 a, Point2 b, Point2 c, Point2 d) {
  const double d1 = Cross(c, d, a), d2 = Cross(c, d, b);
  const double d3 = Cross(a, b, c), d4 = Cross(a, b, d);
  if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) &&
      ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0))) {
    return true;
  }
  auto onSegment = [](Point2 p, Point2 q, Point2 r) {
    return std::min(p.x, q.x) <= r.x && r.x <= std::max(p.x, q.x) &&
           std::min(p.y, q.y) <= r.y && r.y <= std::max(p.y, q.y);
  };
  return (d1 == 0 && onSegment(c, d, a)) || (d2 == 0 && onSegment(c, d, b)) ||
         (d3 == 0 && onSegment(a, b, c)) || (d4 == 0 && onSegment(a, b, d));
}

}  // namespace

Rect2 Rect2::FromCorners(Point2 a, Point2 b) {
  return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

bool Rect2::Contains(Point2 p) const {
  return left <= p.x && p.x <= right && top <= p.y && p.y <= bottom;
}

Point2 Viewport::ToScreen(Point2 world) const {
  return {width / 2 + (world.x - center.x) * scale, height / 2 - (world.y - center.y) * scale};
}

Point2 Viewport::ToWorld(Point2 screen) const {
  return {center.x + (screen.x - width / 2) / scale, center.y - (screen.y - height / 2) / scale};
}

std::vector<size_t> WholeInserts(const std::vector<Entity>& entities,
                                 const std::vector<size_t>& hits, bool whole) {
  std::vector<size_t> out;
  std::vector<bool> taken(entities.size(), false);
  std::vector<bool> hit(entities.size(), false);
  for (size_t i : hits) {
    if (i < entities.size()) hit[i] = true;
  }
  for (size_t i : hits) {
    if (i >= entities.size() || taken[i]) continue;
    const int64_t id = entities[i].insertId;
    if (id == 0) {
      taken[i] = true;
      out.push_back(i);
      continue;
    }
    size_t first = i, last = i + 1;
    while (first > 0 && entities[first - 1].insertId == id) --first;
    while (last < entities.size() && entities[last].insertId == id) ++last;
    bool all = true;
    for (size_t k = first; k < last && whole; ++k) all = all && hit[k];
    for (size_t k = first; k < last; ++k) {
      taken[k] = true;
      if (all) out.push_back(k);
    }
  }
  return out;
}

namespace {

// The plan outline of each kind.
struct Outline {
  Shape& s;

  void Path(std::vector<Point2> path) const {
    if (!path.empty()) s.paths.push_back(std::move(path));
  }
  void operator()(const Line& e) const { s.paths.push_back({Plan(e.start), Plan(e.end)}); }
  void operator()(const Circle& e) const {
    std::vector<Point2> path;
    AppendArc(path, Plan(e.center), e.radius, 0, 2 * kPi, true);
    s.paths.push_back(std::move(path));
  }
  // As the converter sees it: an arc whose extrusion is exactly -Z is mirrored.
  void operator()(const Arc& e) const {
    const PlanArc plan = PlanArcAngles(e.startAngle, e.endAngle, e.normal, kPi);
    std::vector<Point2> path;
    AppendArc(path, Plan(e.center), e.radius, plan.start, plan.end - plan.start, true);
    s.paths.push_back(std::move(path));
  }
  void operator()(const LwPolyline& e) const {
    const std::vector<LwVertex>& v = e.vertices;
    std::vector<Point2> path;
    for (size_t i = 0; i < v.size(); ++i) {
      const Point2 p{v[i].x, v[i].y};
      if (i == 0) {
        path.push_back(p);
      } else {
        AppendBulge(path, path.back(), p, v[i - 1].bulge);
      }
    }
    if (e.closed && v.size() > 1) AppendBulge(path, path.back(), path.front(), v.back().bulge);
    Path(std::move(path));
  }
  void operator()(const Polyline3d& e) const { Path(Flat(e.vertices)); }
  void operator()(const Text& e) const {
    Label(TextAnchor(e), e.textstring, e.height, e.rotation);
  }
  void operator()(const MText& e) const {
    Label(TextAnchor(e), PlainMText(e.textstring), e.height, e.rotation);
  }
  void operator()(const Point& e) const { s.paths.push_back({Plan(e.position)}); }
  void operator()(const Ellipse& e) const {
    double end = e.endAngle;
    while (end <= e.startAngle) end += 2 * kPi;
    const int pieces =
        std::max(2, static_cast<int>(std::ceil((end - e.startAngle) / kMaxChordAngle)));
    std::vector<Point2> path;
    for (int i = 0; i <= pieces; ++i) {
      const double t = e.startAngle + (end - e.startAngle) * i / pieces;
      path.push_back(Plan(EllipsePoint(e.center, e.majorAxis, e.ratio, e.normal, t)));
    }
    s.paths.push_back(std::move(path));
  }
  // The curve as the converter samples it; one it refuses shows its frame.
  void operator()(const Spline& e) const {
    try {
      std::vector<Point3> points;
      convert_detail::SplinePoints(e, kMaxPointsPerEntity, points);
      Path(Flat(points));
    } catch (const Error&) {
      Path(Flat(e.control.empty() ? e.fit : e.control));
    }
  }
  // The outline: every boundary edge as it is drawn on its own.
  void operator()(const Hatch& e) const {
    for (const HatchLoop& loop : e.loops) {
      for (const HatchEdge& edge : loop.edges) std::visit(*this, edge);
    }
  }
  void operator()(const Solid& e) const { Closed(e.corners); }
  void operator()(const Mesh& e) const {
    for (const MeshFace& f : e.faces) Closed({f.begin(), f.end()});
  }
  void operator()(const Leader& e) const {
    for (const std::vector<Point3>& line : e.lines) Path(Flat(line));
  }
  void operator()(const Frame& e) const { Closed(e.boundary); }

  // A path round the corners, back to the first.
  void Closed(const std::vector<Point3>& corners) const {
    std::vector<Point2> path = Flat(corners);
    if (!path.empty()) path.push_back(path.front());
    s.paths.push_back(std::move(path));
  }

  static std::vector<Point2> Flat(const std::vector<Point3>& points) {
    std::vector<Point2> path;
    path.reserve(points.size());
    for (const Point3& p : points) path.push_back(Plan(p));
    return path;
  }
  void Label(const Point3& anchor, std::string label, double height, double rotation) const {
    s.isText = true;
    s.anchor = Plan(anchor);
    s.label = std::move(label);
    s.textHeight = height;
    s.textRotation = rotation;
  }
};

}  // namespace

Shape ShapeOf(const Entity& e) {
  Shape s;
  std::visit(Outline{s}, e.geometry);
  return s;
}

std::optional<Rect2> Extents(const std::vector<Shape>& shapes) {
  std::optional<Rect2> r;
  auto grow = [&r](Point2 p) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
    if (!r) {
      r = Rect2{p.x, p.y, p.x, p.y};
      return;
    }
    r->left = std::min(r->left, p.x);
    r->right = std::max(r->right, p.x);
    r->top = std::min(r->top, p.y);
    r->bottom = std::max(r->bottom, p.y);
  };
  for (const Shape& s : shapes) {
    if (s.isText) grow(s.anchor);
    for (const auto& path : s.paths) {
      for (const Point2& p : path) grow(p);
    }
  }
  return r;
}

Viewport ZoomToExtents(const Rect2& extents, double widthPx, double heightPx,
                       double marginPx) {
  Viewport vp;
  vp.width = widthPx;
  vp.height = heightPx;
  vp.center = {(extents.left + extents.right) / 2, (extents.top + extents.bottom) / 2};
  const double w = extents.right - extents.left, h = extents.bottom - extents.top;
  const double usableW = std::max(1.0, widthPx - 2 * marginPx);
  const double usableH = std::max(1.0, heightPx - 2 * marginPx);
  double scale = std::numeric_limits<double>::infinity();
  if (w > 0) scale = usableW / w;
  if (h > 0) scale = std::min(scale, usableH / h);
  vp.scale = std::isfinite(scale) ? scale : 1.0;
  return vp;
}

double DistanceToSegment(Point2 p, Point2 a, Point2 b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double len2 = dx * dx + dy * dy;
  double t = 0;
  if (len2 > 0) t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0, 1.0);
  return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

bool SegmentTouchesRect(Point2 a, Point2 b, const Rect2& r) {
  if (r.Contains(a) || r.Contains(b)) return true;
  const Point2 tl{r.left, r.top}, tr{r.right, r.top}, br{r.right, r.bottom},
      bl{r.left, r.bottom};
  return SegmentsTouch(a, b, tl, tr) || SegmentsTouch(a, b, tr, br) ||
         SegmentsTouch(a, b, br, bl) || SegmentsTouch(a, b, bl, tl);
}

BoxMode BoxModeOf(Point2 pressScreen, Point2 releaseScreen) {
  return releaseScreen.x >= pressScreen.x ? BoxMode::kWindow : BoxMode::kCrossing;
}

std::optional<size_t> PickAt(const std::vector<Shape>& shapes, const Viewport& vp,
                             Point2 at, double tolerancePx) {
  std::optional<size_t> best;
  double bestDistance = std::numeric_limits<double>::infinity();
  for (size_t i = 0; i < shapes.size(); ++i) {
    const double d = ScreenDistance(shapes[i], vp, at);
    if (d <= tolerancePx && d <= bestDistance) {
      best = i;
      bestDistance = d;
    }
  }
  return best;
}

std::vector<size_t> WindowSelect(const std::vector<Shape>& shapes, const Viewport& vp,
                                 const Rect2& screen) {
  std::vector<size_t> hits;
  for (size_t i = 0; i < shapes.size(); ++i) {
    if (Inside(shapes[i], vp, screen)) hits.push_back(i);
  }
  return hits;
}

std::vector<size_t> CrossingSelect(const std::vector<Shape>& shapes, const Viewport& vp,
                                   const Rect2& screen) {
  std::vector<size_t> hits;
  for (size_t i = 0; i < shapes.size(); ++i) {
    if (Touches(shapes[i], vp, screen)) hits.push_back(i);
  }
  return hits;
}

void PickList::Add(size_t index) {
  if (Contains(index)) return;
  if (index >= flags_.size()) flags_.resize(index + 1, false);
  flags_[index] = true;
  order_.push_back(index);
}

void PickList::Add(const std::vector<size_t>& indices) {
  for (size_t i : indices) Add(i);
}

void PickList::Remove(size_t index) {
  if (!Contains(index)) return;
  flags_[index] = false;
  order_.erase(std::find(order_.begin(), order_.end(), index));
}

void PickList::Remove(const std::vector<size_t>& indices) {
  for (size_t i : indices) Remove(i);
}

bool PickList::Contains(size_t index) const {
  return index < flags_.size() && flags_[index];
}

}  // namespace varnolt
