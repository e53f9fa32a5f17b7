#include "picking/picking.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/error.h"
#include "convert/convert.h"
#include "convert/curve_points.h"
#include "geodesy/angles.h"

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
  const double dx = p1.x - p0.x, dy = p1.y - p0.y;
  const double d = std::hypot(dx, dy);
  if (bulge == 0 || !std::isfinite(bulge) || d == 0) {
    path.push_back(p1);
    return;
  }
  // Centre on the chord's left normal at (d/2)(1 - b^2)/(2b) from its midpoint.
  const double offset = d / 2 * (1 - bulge * bulge) / (2 * bulge);
  const Point2 c{(p0.x + p1.x) / 2 - dy / d * offset, (p0.y + p1.y) / 2 + dx / d * offset};
  const double r = std::hypot(p0.x - c.x, p0.y - c.y);
  const double start = std::atan2(p0.y - c.y, p0.x - c.x);
  AppendArc(path, c, r, start, 4 * std::atan(bulge), false);
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

Shape ShapeOf(const Entity& e) {
  Shape s;
  switch (e.type) {
    case EntityType::kLine:
      s.paths.push_back({Plan(e.start), Plan(e.end)});
      break;
    case EntityType::kCircle: {
      std::vector<Point2> path;
      AppendArc(path, Plan(e.center), e.radius, 0, 2 * kPi, true);
      s.paths.push_back(std::move(path));
      break;
    }
    case EntityType::kArc: {
      // As the converter sees it: an arc whose extrusion is exactly -Z is mirrored.
      double sa = e.startAngle, ea = e.endAngle;
      if (e.normal[2] == -1) {
        sa = kPi - e.endAngle;
        ea = kPi - e.startAngle;
      }
      while (ea < sa) ea += 2 * kPi;
      std::vector<Point2> path;
      AppendArc(path, Plan(e.center), e.radius, sa, ea - sa, true);
      s.paths.push_back(std::move(path));
      break;
    }
    case EntityType::kLwPolyline: {
      const size_t n = e.coordinates.size() / 2;
      std::vector<Point2> path;
      for (size_t i = 0; i < n; ++i) {
        const Point2 p{e.coordinates[2 * i], e.coordinates[2 * i + 1]};
        if (i == 0) {
          path.push_back(p);
          continue;
        }
        AppendBulge(path, path.back(), p, i - 1 < e.bulges.size() ? e.bulges[i - 1] : 0);
      }
      if (e.closed && n > 1) {
        AppendBulge(path, path.back(), path.front(),
                    n - 1 < e.bulges.size() ? e.bulges[n - 1] : 0);
      }
      if (!path.empty()) s.paths.push_back(std::move(path));
      break;
    }
    case EntityType::k3dPolyline: {
      std::vector<Point2> path;
      for (size_t i = 0; i + 2 < e.coordinates.size(); i += 3) {
        path.push_back({e.coordinates[i], e.coordinates[i + 1]});
      }
      if (!path.empty()) s.paths.push_back(std::move(path));
      break;
    }
    case EntityType::kText:
      s.isText = true;
      s.anchor = Plan(TextAnchor(e));
      s.label = e.textstring;
      s.textHeight = e.height;
      s.textRotation = e.rotation;
      break;
    case EntityType::kMText:
      s.isText = true;
      s.anchor = Plan(TextAnchor(e));
      s.label = PlainMText(e.textstring);
      s.textHeight = e.height;
      s.textRotation = e.rotation;
      break;
    case EntityType::kPoint:
      s.paths.push_back({Plan(e.insertion)});
      break;
    case EntityType::kEllipse: {
      // centre + cos t * major + sin t * minor, the minor axis ratio times the major
      // turned a quarter about the normal.
      const Point3& n = e.normal;
      const Point3& m = e.majorAxis;
      const Point3 minor{e.ratio * (n[1] * m[2] - n[2] * m[1]),
                         e.ratio * (n[2] * m[0] - n[0] * m[2]),
                         e.ratio * (n[0] * m[1] - n[1] * m[0])};
      double end = e.endAngle;
      while (end <= e.startAngle) end += 2 * kPi;
      const int pieces = std::max(
          2, static_cast<int>(std::ceil((end - e.startAngle) / kMaxChordAngle)));
      std::vector<Point2> path;
      for (int i = 0; i <= pieces; ++i) {
        const double t = e.startAngle + (end - e.startAngle) * i / pieces;
        path.push_back({e.center[0] + std::cos(t) * m[0] + std::sin(t) * minor[0],
                        e.center[1] + std::cos(t) * m[1] + std::sin(t) * minor[1]});
      }
      s.paths.push_back(std::move(path));
      break;
    }
    case EntityType::kSpline: {
      // The curve as the converter samples it; one it refuses shows its frame.
      std::vector<Point2> path;
      try {
        std::vector<Point3> points;
        convert_detail::SplinePoints(e, kMaxPointsPerEntity, points);
        for (const Point3& p : points) path.push_back(Plan(p));
      } catch (const Error&) {
        const std::vector<double>& p = e.coordinates.empty() ? e.fitPoints : e.coordinates;
        for (size_t i = 0; i + 2 < p.size(); i += 3) path.push_back({p[i], p[i + 1]});
      }
      if (!path.empty()) s.paths.push_back(std::move(path));
      break;
    }
    case EntityType::kHatch:
      // The outline: every boundary edge as it is drawn on its own.
      for (const Entity& edge : e.boundary) {
        Shape part = ShapeOf(edge);
        for (auto& path : part.paths) s.paths.push_back(std::move(path));
      }
      break;
    case EntityType::kSolid: {
      std::vector<Point2> path;
      for (size_t i = 0; i + 2 < e.coordinates.size(); i += 3) {
        path.push_back({e.coordinates[i], e.coordinates[i + 1]});
      }
      if (!path.empty()) path.push_back(path.front());
      s.paths.push_back(std::move(path));
      break;
    }
  }
  return s;
}

std::string PlainMText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '{' || c == '}') continue;
    if (c != '\\' || i + 1 >= text.size()) {
      out += c;
      continue;
    }
    const char code = text[++i];
    switch (code) {
      case 'P':
      case 'X':
        out += '\n';
        break;
      case '~':
        out += ' ';
        break;
      case '\\':
      case '{':
      case '}':
        out += code;
        break;
      case 'L': case 'l': case 'O': case 'o': case 'K': case 'k':
        break;  // underline, overline, strike-through on and off
      case 'A': case 'C': case 'c': case 'f': case 'F': case 'H': case 'h': case 'Q':
      case 'q': case 'T': case 't': case 'W': case 'w': case 'p': case 'S': {
        // A code with an argument up to ';'. In a stacked fraction (\S) the
        // numerator and denominator are kept, joined by '/'.
        const size_t end = text.find(';', i + 1);
        if (code == 'S') {
          std::string stack = text.substr(i + 1, end == std::string::npos ? end : end - i - 1);
          std::replace(stack.begin(), stack.end(), '^', '/');
          std::replace(stack.begin(), stack.end(), '#', '/');
          out += stack;
        }
        i = end == std::string::npos ? text.size() : end;
        break;
      }
      default:
        out += '\\';
        out += code;
    }
  }
  return out;
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
