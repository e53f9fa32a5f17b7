#include "cad/transform.h"

#include <cmath>
#include <utility>

#include "base/overloaded.h"
#include "cad/ocs.h"
#include "geodesy/angles.h"
#include "geometry/arc.h"
#include "geometry/vector.h"

namespace varnolt {
namespace {

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
  p.normal = UnitNormal(p.mirrored ? Scaled(c, -1) : c);
  return p;
}

// The elevation of a plane's origin after the map, in the OCS of its new normal.
double PlacedElevation(const Affine& m, double elevation, const Point3& normal,
                       const PlaneMap& p) {
  return ToOcs(m.Apply(OcsToWcs({0, 0, elevation}, normal)), OcsAxes(p.normal))[2];
}

// The ellipse c + u cos t + v sin t (t from t0 to t1): the principal axes found from
// the conjugate pair, the parameters shifted to match.
Ellipse ConjugateEllipse(const Point3& c, const Point3& u, const Point3& v, double t0,
                         double t1, bool whole) {
  double shift = 0.5 * std::atan2(2 * Dot(u, v), Dot(u, u) - Dot(v, v));
  Point3 major = Add(Scaled(u, std::cos(shift)), Scaled(v, std::sin(shift)));
  Point3 minor = Add(Scaled(u, -std::sin(shift)), Scaled(v, std::cos(shift)));
  if (Length(minor) > Length(major)) {
    shift += SystemPi() / 2;
    const Point3 old = major;
    major = minor;
    minor = Scaled(old, -1);
  }
  Ellipse e;
  e.center = c;
  e.majorAxis = major;
  e.ratio = Length(major) > 0 ? Length(minor) / Length(major) : 1;
  e.normal = UnitNormal(Cross(major, minor));
  if (whole) {
    e.startAngle = 0;
    e.endAngle = TwoPi();
  } else {
    e.startAngle = Wrap(t0 - shift);
    e.endAngle = Wrap(t1 - shift);
  }
  return e;
}

// Points placed one by one.
void ApplyTo(std::vector<Point3>& points, const Affine& m) {
  for (Point3& p : points) p = m.Apply(p);
}

// Each kind placed by `m`, handed to emit(kind): an arc or circle stays one under a
// uniform map and becomes an ellipse otherwise, as CAD explodes it.

template <class Emit>
void Place(const Line& in, const Affine& m, Emit&& emit) {
  emit(Line{m.Apply(in.start), m.Apply(in.end)});
}

// The circle's or arc's plane carried by the map, uniformly: centre, radius, the
// angle its x axis turned by in the new plane, and the new normal.
template <class Round>
void PlaceUniform(Round& e, const Affine& m, const PlaneMap& p, double& phi) {
  e.center = m.Apply(e.center);
  e.radius = e.radius * Length(p.a);
  const Axes n = OcsAxes(p.normal);
  phi = std::atan2(Dot(p.a, n.y), Dot(p.a, n.x));
  e.normal = p.normal;
}

template <class Emit>
void Place(const Circle& in, const Affine& m, Emit&& emit) {
  const PlaneMap p = MapPlane(m, in.normal);
  if (!p.uniform) {
    emit(ConjugateEllipse(m.Apply(in.center), Scaled(p.a, in.radius), Scaled(p.b, in.radius),
                          0, 0, true));
    return;
  }
  Circle e = in;
  double phi = 0;
  PlaceUniform(e, m, p, phi);
  emit(e);
}

template <class Emit>
void Place(const Arc& in, const Affine& m, Emit&& emit) {
  const PlaneMap p = MapPlane(m, in.normal);
  if (!p.uniform) {
    emit(ConjugateEllipse(m.Apply(in.center), Scaled(p.a, in.radius), Scaled(p.b, in.radius),
                          in.startAngle, in.endAngle, false));
    return;
  }
  Arc e = in;
  double phi = 0;
  PlaceUniform(e, m, p, phi);
  const double s = in.startAngle, t = in.endAngle;
  if (p.mirrored) {
    e.startAngle = Wrap(phi - t);
    e.endAngle = Wrap(phi - s);
  } else if (phi != 0) {
    e.startAngle = Wrap(s + phi);
    e.endAngle = Wrap(t + phi);
  }
  emit(e);
}

template <class Emit>
void Place(const Ellipse& in, const Affine& m, Emit&& emit) {
  const Point3 n = UnitNormal(in.normal);
  const Point3 minor = Scaled(Cross(n, in.majorAxis), in.ratio);
  const bool whole = in.startAngle == 0 && in.endAngle == TwoPi();
  emit(ConjugateEllipse(m.Apply(in.center), m.Direction(in.majorAxis), m.Direction(minor),
                        in.startAngle, in.endAngle, whole));
}

// The world point of a polyline's vertex (its OCS point with the elevation).
Point3 VertexWcs(const LwPolyline& e, const LwVertex& v) {
  return OcsToWcs({v.x, v.y, e.elevation}, e.normal);
}

// A polyline whose arcs would turn elliptic: its segments as lines, and arcs placed
// as arcs are.
template <class Emit>
void PlaceSegments(const LwPolyline& in, const Affine& m, Emit&& emit) {
  const size_t n = in.vertices.size();
  const size_t segments = in.closed ? n : (n == 0 ? 0 : n - 1);
  for (size_t k = 0; k < segments; ++k) {
    const LwVertex& from = in.vertices[k];
    const LwVertex& to = in.vertices[(k + 1) % n];
    if (from.bulge == 0) {
      emit(Line{m.Apply(VertexWcs(in, from)), m.Apply(VertexWcs(in, to))});
      continue;
    }
    const Point3 a{from.x, from.y, in.elevation}, b{to.x, to.y, in.elevation};
    const BulgeArc bulge = BulgeToArc(a, b, from.bulge);
    Arc arc;
    arc.center = OcsToWcs({bulge.centerX, bulge.centerY, in.elevation}, in.normal);
    arc.radius = bulge.radius;
    arc.startAngle = from.bulge > 0 ? bulge.startAngle : bulge.endAngle;
    arc.endAngle = from.bulge > 0 ? bulge.endAngle : bulge.startAngle;
    arc.normal = in.normal;
    Place(arc, m, emit);
  }
}

template <class Emit>
void Place(const LwPolyline& in, const Affine& m, Emit&& emit) {
  const PlaneMap p = MapPlane(m, in.normal);
  bool bulged = false;
  for (const LwVertex& v : in.vertices) bulged = bulged || v.bulge != 0;
  if (!p.uniform && bulged) {
    PlaceSegments(in, m, emit);
    return;
  }
  LwPolyline e = in;
  const Axes ax = OcsAxes(p.normal);
  for (size_t k = 0; k < in.vertices.size(); ++k) {
    const Point3 o = ToOcs(m.Apply(VertexWcs(in, in.vertices[k])), ax);
    e.vertices[k].x = o[0];
    e.vertices[k].y = o[1];
    if (k == 0) e.elevation = o[2];
    if (p.mirrored) e.vertices[k].bulge = -in.vertices[k].bulge;
  }
  if (in.vertices.empty()) e.elevation = PlacedElevation(m, in.elevation, in.normal, p);
  e.normal = p.normal;
  emit(std::move(e));
}

template <class Emit>
void Place(const Polyline3d& in, const Affine& m, Emit&& emit) {
  Polyline3d e = in;
  ApplyTo(e.vertices, m);
  emit(std::move(e));
}

// A multiline text's direction and height are in plan.
template <class Emit>
void Place(const MText& in, const Affine& m, Emit&& emit) {
  MText e = in;
  const Point3 d = m.Direction({std::cos(in.rotation), std::sin(in.rotation), 0});
  const Point3 up = m.Direction({-std::sin(in.rotation), std::cos(in.rotation), 0});
  e.insertion = m.Apply(in.insertion);
  e.rotation = std::atan2(d[1], d[0]);
  e.height = in.height * Length(Cross(d, up)) / Length(d);
  e.normal = UnitNormal(m.Direction(in.normal));
  emit(std::move(e));
}

template <class Emit>
void Place(const Text& in, const Affine& m, Emit&& emit) {
  Text e = in;
  const Axes ax = OcsAxes(in.normal);
  const Point3 dir = Add(Scaled(ax.x, std::cos(in.rotation)), Scaled(ax.y, std::sin(in.rotation)));
  const Point3 upDir =
      Add(Scaled(ax.x, -std::sin(in.rotation)), Scaled(ax.y, std::cos(in.rotation)));
  const PlaneMap p = MapPlane(m, in.normal);
  const Axes nx = OcsAxes(p.normal);
  const Point3 d = m.Direction(dir);
  e.rotation = std::atan2(Dot(d, nx.y), Dot(d, nx.x));
  // A text scaled unevenly leans: its height is the distance of its top from the
  // baseline, not the length of its slanted side.
  e.height = in.height * Length(Cross(d, m.Direction(upDir))) / Length(d);
  const bool aligned = in.alignment[0] != 0 || in.alignment[1] != 0;
  e.insertion = m.Apply(in.insertion);
  if (aligned) e.alignment = m.Apply(in.alignment);
  e.normal = p.normal;
  emit(std::move(e));
}

template <class Emit>
void Place(const Point& in, const Affine& m, Emit&& emit) {
  emit(Point{m.Apply(in.position)});
}

template <class Emit>
void Place(const Spline& in, const Affine& m, Emit&& emit) {
  Spline e = in;
  ApplyTo(e.control, m);
  ApplyTo(e.fit, m);
  e.startTangent = m.Direction(in.startTangent);
  e.endTangent = m.Direction(in.endTangent);
  e.normal = UnitNormal(m.Direction(in.normal));
  emit(std::move(e));
}

template <class Emit>
void Place(const Solid& in, const Affine& m, Emit&& emit) {
  Solid e = in;
  ApplyTo(e.corners, m);
  emit(std::move(e));
}

template <class Emit>
void Place(const Mesh& in, const Affine& m, Emit&& emit) {
  Mesh e = in;
  for (MeshFace& f : e.faces) {
    for (Point3& c : f) c = m.Apply(c);
  }
  emit(std::move(e));
}

template <class Emit>
void Place(const Leader& in, const Affine& m, Emit&& emit) {
  Leader e = in;
  for (std::vector<Point3>& line : e.lines) ApplyTo(line, m);
  emit(std::move(e));
}

template <class Emit>
void Place(const Frame& in, const Affine& m, Emit&& emit) {
  Frame e = in;
  ApplyTo(e.boundary, m);
  emit(std::move(e));
}

template <class Emit>
void Place(const Hatch& in, const Affine& m, Emit&& emit) {
  Hatch e;
  e.loops.reserve(in.loops.size());
  for (const HatchLoop& loop : in.loops) {
    HatchLoop& placed = e.loops.emplace_back();
    placed.flags = loop.flags;
    placed.edges.reserve(loop.edges.size());
    for (const HatchEdge& edge : loop.edges) {
      std::visit([&](const auto& kind) {
        Place(kind, m, [&](auto&& part) { placed.edges.emplace_back(std::move(part)); });
      }, edge);
    }
  }
  const PlaneMap p = MapPlane(m, in.normal);
  e.elevation = PlacedElevation(m, in.elevation, in.normal, p);
  e.normal = p.normal;
  emit(std::move(e));
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
  const Point3 cx = Scaled(Add(Scaled(ax.x, c), Scaled(ax.y, s)), scale[0]);
  const Point3 cy = Scaled(Add(Scaled(ax.x, -s), Scaled(ax.y, c)), scale[1]);
  const Point3 cz = Scaled(ax.z, scale[2]);
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

void PlaceEntity(const Entity& in, const Affine& m, std::vector<Entity>& out) {
  std::visit([&](const auto& kind) {
    Place(kind, m, [&](auto&& placed) {
      Entity& e = out.emplace_back();
      static_cast<EntityCommon&>(e) = in;
      e.geometry = std::move(placed);
    });
  }, in.geometry);
}

}  // namespace varnolt
