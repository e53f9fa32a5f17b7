#include "cad/transform.h"

#include <cmath>
#include <utility>

#include "cad/ocs.h"
#include "geodesy/angles.h"

namespace varnolt {
namespace {

Point3 Add(const Point3& a, const Point3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
Point3 Mul(const Point3& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
double Dot(const Point3& a, const Point3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double Norm(const Point3& a) { return std::sqrt(Dot(a, a)); }
Point3 Cross(const Point3& a, const Point3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Point3 Unit(const Point3& a) {
  const double n = Norm(a);
  return n > 0 ? Mul(a, 1 / n) : Point3{0, 0, 1};
}

// The three axes of an OCS in world coordinates.
struct Axes {
  Point3 x, y, z;
};
Axes OcsAxes(const Point3& normal) {
  return {OcsToWcs({1, 0, 0}, normal), OcsToWcs({0, 1, 0}, normal), OcsToWcs({0, 0, 1}, normal)};
}
Point3 ToOcs(const Point3& p, const Axes& a) { return {Dot(p, a.x), Dot(p, a.y), Dot(p, a.z)}; }

double TwoPi() { return 2 * SystemPi(); }

// An angle brought into [0, 2 pi).
double Wrap(double a) {
  double r = std::fmod(a, TwoPi());
  if (r < 0) r += TwoPi();
  return r;
}

// How the map carries a plane with normal n: the images a, b of its OCS x and y
// axes, whether they stay perpendicular and of one length, the new normal (along
// the image of the old one) and whether the plane was mirrored.
struct PlaneMap {
  Point3 a, b, normal;
  bool uniform = true, mirrored = false;
};
PlaneMap MapPlane(const Affine& m, const Point3& normal) {
  const Axes ax = OcsAxes(normal);
  PlaneMap p;
  p.a = m.Direction(ax.x);
  p.b = m.Direction(ax.y);
  // Squared lengths equal within 1e-9, relative or absolute (as ezdxf judges it, so
  // that the two explode a drawing into the same kinds); no shear either.
  const double la = Dot(p.a, p.a), lb = Dot(p.b, p.b);
  constexpr double kTol = 1e-9;
  const double tol = std::fmax(kTol * std::fmax(la, lb), kTol);
  p.uniform = std::fabs(la - lb) <= tol && std::fabs(Dot(p.a, p.b)) <= tol;
  const Point3 c = Cross(p.a, p.b);
  p.mirrored = Dot(m.Direction(ax.z), c) < 0;
  p.normal = Unit(p.mirrored ? Mul(c, -1) : c);
  return p;
}

// The ellipse c + u cos t + v sin t (t from t0 to t1) as an ellipse entity: the
// principal axes found from the conjugate pair, the parameters shifted to match.
void ConjugateEllipse(Entity& e, const Point3& c, const Point3& u, const Point3& v, double t0,
                      double t1, bool whole) {
  double shift = 0.5 * std::atan2(2 * Dot(u, v), Dot(u, u) - Dot(v, v));
  Point3 major = Add(Mul(u, std::cos(shift)), Mul(v, std::sin(shift)));
  Point3 minor = Add(Mul(u, -std::sin(shift)), Mul(v, std::cos(shift)));
  if (Norm(minor) > Norm(major)) {
    shift += SystemPi() / 2;
    const Point3 old = major;
    major = minor;
    minor = Mul(old, -1);
  }
  e.type = EntityType::kEllipse;
  e.center = c;
  e.majorAxis = major;
  e.ratio = Norm(major) > 0 ? Norm(minor) / Norm(major) : 1;
  e.normal = Unit(Cross(major, minor));
  if (whole) {
    e.startAngle = 0;
    e.endAngle = TwoPi();
  } else {
    e.startAngle = Wrap(t0 - shift);
    e.endAngle = Wrap(t1 - shift);
  }
  e.radius = 0;
}

void PlaceArc(Entity& e, const Affine& m) {
  const PlaneMap p = MapPlane(m, e.normal);
  const Point3 c = m.Apply(e.center);
  if (!p.uniform) {
    const bool whole = e.type == EntityType::kCircle;
    const Point3 u = Mul(p.a, e.radius), v = Mul(p.b, e.radius);
    ConjugateEllipse(e, c, u, v, e.startAngle, e.endAngle, whole);
    return;
  }
  e.center = c;
  e.radius = e.radius * Norm(p.a);
  const Axes n = OcsAxes(p.normal);
  const double phi = std::atan2(Dot(p.a, n.y), Dot(p.a, n.x));
  if (e.type == EntityType::kArc) {
    const double s = e.startAngle, t = e.endAngle;
    if (p.mirrored) {
      e.startAngle = Wrap(phi - t);
      e.endAngle = Wrap(phi - s);
    } else if (phi != 0) {
      e.startAngle = Wrap(s + phi);
      e.endAngle = Wrap(t + phi);
    }
  }
  e.normal = p.normal;
}

void PlaceEllipse(Entity& e, const Affine& m) {
  const Point3 n = Unit(e.normal);
  const Point3 minor = Mul(Cross(n, e.majorAxis), e.ratio);
  const bool whole = e.startAngle == 0 && e.endAngle == TwoPi();
  ConjugateEllipse(e, m.Apply(e.center), m.Direction(e.majorAxis), m.Direction(minor),
                   e.startAngle, e.endAngle, whole);
}

// A bulged segment from p to q (OCS, elevation z) as an arc entity.
Entity BulgeArc(const Entity& poly, const Point3& p, const Point3& q, double bulge) {
  Entity a = poly;
  a.coordinates.clear();
  a.bulges.clear();
  a.type = EntityType::kArc;
  const double dx = q[0] - p[0], dy = q[1] - p[1];
  const double len = std::sqrt(dx * dx + dy * dy);
  const double k = (1 - bulge * bulge) / (4 * bulge);
  const Point3 c{(p[0] + q[0]) / 2 - dy * k, (p[1] + q[1]) / 2 + dx * k, p[2]};
  a.radius = len * (1 + bulge * bulge) / (4 * std::fabs(bulge));
  const double ap = std::atan2(p[1] - c[1], p[0] - c[0]);
  const double aq = std::atan2(q[1] - c[1], q[0] - c[0]);
  a.startAngle = bulge > 0 ? ap : aq;
  a.endAngle = bulge > 0 ? aq : ap;
  a.center = OcsToWcs(c, poly.normal);
  a.elevation = 0;
  return a;
}

void PlaceLwPolyline(const Entity& in, const Affine& m, std::vector<Entity>& out) {
  const PlaneMap p = MapPlane(m, in.normal);
  const size_t n = in.bulges.size();
  bool bulged = false;
  for (const double b : in.bulges) bulged = bulged || b != 0;
  if (!p.uniform && bulged) {
    // Its arcs would be elliptic: the polyline is exploded into lines and ellipses.
    const size_t segments = in.closed ? n : (n == 0 ? 0 : n - 1);
    for (size_t k = 0; k < segments; ++k) {
      const size_t j = (k + 1) % n;
      const Point3 a{in.coordinates[2 * k], in.coordinates[2 * k + 1], in.elevation};
      const Point3 b{in.coordinates[2 * j], in.coordinates[2 * j + 1], in.elevation};
      if (in.bulges[k] == 0) {
        Entity line = in;
        line.coordinates.clear();
        line.bulges.clear();
        line.type = EntityType::kLine;
        line.start = m.Apply(OcsToWcs(a, in.normal));
        line.end = m.Apply(OcsToWcs(b, in.normal));
        line.elevation = 0;
        line.closed = false;
        out.push_back(std::move(line));
      } else {
        Entity arc = BulgeArc(in, a, b, in.bulges[k]);
        arc.closed = false;
        PlaceArc(arc, m);
        out.push_back(std::move(arc));
      }
    }
    return;
  }
  Entity& e = out.emplace_back(in);
  const Axes ax = OcsAxes(p.normal);
  for (size_t k = 0; k < n; ++k) {
    const Point3 w = m.Apply(LwVertexWcs(in, k));
    const Point3 o = ToOcs(w, ax);
    e.coordinates[2 * k] = o[0];
    e.coordinates[2 * k + 1] = o[1];
    if (k == 0) e.elevation = o[2];
    if (p.mirrored) e.bulges[k] = -in.bulges[k];
  }
  if (n == 0) e.elevation = ToOcs(m.Apply(OcsToWcs({0, 0, in.elevation}, in.normal)), ax)[2];
  e.normal = p.normal;
}

void PlaceText(Entity& e, const Affine& m) {
  if (e.type == EntityType::kMText) {
    const Point3 d = m.Direction({std::cos(e.rotation), std::sin(e.rotation), 0});
    const Point3 up = m.Direction({-std::sin(e.rotation), std::cos(e.rotation), 0});
    e.insertion = m.Apply(e.insertion);
    e.rotation = std::atan2(d[1], d[0]);
    e.height = e.height * Norm(Cross(d, up)) / Norm(d);
    e.normal = Unit(m.Direction(e.normal));
    return;
  }
  const Axes ax = OcsAxes(e.normal);
  const Point3 dir = Add(Mul(ax.x, std::cos(e.rotation)), Mul(ax.y, std::sin(e.rotation)));
  const Point3 upDir = Add(Mul(ax.x, -std::sin(e.rotation)), Mul(ax.y, std::cos(e.rotation)));
  const PlaneMap p = MapPlane(m, e.normal);
  const Axes nx = OcsAxes(p.normal);
  const Point3 d = m.Direction(dir);
  e.rotation = std::atan2(Dot(d, nx.y), Dot(d, nx.x));
  // A text scaled unevenly leans: its height is the distance of its top from the
  // baseline, not the length of its slanted side.
  e.height = e.height * Norm(Cross(d, m.Direction(upDir))) / Norm(d);
  const bool aligned = e.alignment[0] != 0 || e.alignment[1] != 0;
  e.insertion = m.Apply(e.insertion);
  if (aligned) e.alignment = m.Apply(e.alignment);
  e.normal = p.normal;
}

void PlaceTriples(std::vector<double>& v, const Affine& m) {
  for (size_t k = 0; k + 2 < v.size(); k += 3) {
    const Point3 q = m.Apply({v[k], v[k + 1], v[k + 2]});
    v[k] = q[0];
    v[k + 1] = q[1];
    v[k + 2] = q[2];
  }
}

}  // namespace

Point3 Affine::Apply(const Point3& p) const {
  Point3 r;
  for (int i = 0; i < 3; ++i) r[i] = m[i][0] * p[0] + m[i][1] * p[1] + m[i][2] * p[2] + m[i][3];
  return r;
}

Point3 Affine::Direction(const Point3& v) const {
  Point3 r;
  for (int i = 0; i < 3; ++i) r[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
  return r;
}

bool Affine::IsIdentity() const {
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 4; ++j) {
      if (m[i][j] != (i == j ? 1 : 0)) return false;
    }
  }
  return true;
}

Affine Compose(const Affine& outer, const Affine& inner) {
  Affine r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 4; ++j) {
      double s = j == 3 ? outer.m[i][3] : 0;
      for (int k = 0; k < 3; ++k) s += outer.m[i][k] * inner.m[k][j];
      r.m[i][j] = s;
    }
  }
  return r;
}

Affine InsertMatrix(const Point3& base, const Point3& insertion, const Point3& scale,
                    double rotation, const Point3& extrusion) {
  const Axes ax = OcsAxes(extrusion);
  const double c = std::cos(rotation), s = std::sin(rotation);
  // Columns of L: the block's x, y and z axes, scaled, turned in the OCS, in WCS.
  const Point3 cx = Mul(Add(Mul(ax.x, c), Mul(ax.y, s)), scale[0]);
  const Point3 cy = Mul(Add(Mul(ax.x, -s), Mul(ax.y, c)), scale[1]);
  const Point3 cz = Mul(ax.z, scale[2]);
  Affine r;
  const Point3 at = OcsToWcs(insertion, extrusion);
  for (int i = 0; i < 3; ++i) {
    r.m[i][0] = cx[i];
    r.m[i][1] = cy[i];
    r.m[i][2] = cz[i];
  }
  const Point3 shift = r.Direction(base);
  for (int i = 0; i < 3; ++i) r.m[i][3] = at[i] - shift[i];
  return r;
}

Point3 LwVertexWcs(const Entity& e, size_t k) {
  return OcsToWcs({e.coordinates[2 * k], e.coordinates[2 * k + 1], e.elevation}, e.normal);
}

void PlaceEntity(const Entity& in, const Affine& m, std::vector<Entity>& out) {
  if (in.type == EntityType::kLwPolyline) {
    PlaceLwPolyline(in, m, out);
    return;
  }
  Entity& e = out.emplace_back(in);
  switch (e.type) {
    case EntityType::kLine:
      e.start = m.Apply(e.start);
      e.end = m.Apply(e.end);
      break;
    case EntityType::kArc:
    case EntityType::kCircle:
      PlaceArc(e, m);
      break;
    case EntityType::kText:
    case EntityType::kMText:
      PlaceText(e, m);
      break;
    case EntityType::kPoint:
      e.insertion = m.Apply(e.insertion);
      break;
    case EntityType::kEllipse:
      PlaceEllipse(e, m);
      break;
    case EntityType::k3dPolyline:
    case EntityType::kSolid:
      PlaceTriples(e.coordinates, m);
      break;
    case EntityType::kSpline:
      PlaceTriples(e.coordinates, m);
      PlaceTriples(e.fitPoints, m);
      e.startTangent = m.Direction(e.startTangent);
      e.endTangent = m.Direction(e.endTangent);
      e.normal = Unit(m.Direction(e.normal));
      break;
    case EntityType::kHatch: {
      std::vector<Entity> edges;
      edges.reserve(in.boundary.size());
      std::vector<int64_t> ends;
      size_t k = 0;
      for (const int64_t end : in.loopEnds) {
        for (; k < static_cast<size_t>(end) && k < in.boundary.size(); ++k) {
          PlaceEntity(in.boundary[k], m, edges);
        }
        ends.push_back(static_cast<int64_t>(edges.size()));
      }
      e.boundary = std::move(edges);
      e.loopEnds = std::move(ends);
      const PlaneMap p = MapPlane(m, in.normal);
      e.elevation = ToOcs(m.Apply(OcsToWcs({0, 0, in.elevation}, in.normal)), OcsAxes(p.normal))[2];
      e.normal = p.normal;
      break;
    }
    case EntityType::kLwPolyline:
      break;
  }
}

}  // namespace varnolt
