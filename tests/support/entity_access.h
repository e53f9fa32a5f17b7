// Entities in tests: a kind's data by its type, and numbers laid out flat as a file
// or a host gives them, so that expectations read as the drawing does.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "cad/entity.h"

namespace varnolt::test {

// The entity's data as the kind asked for; throws (failing the test) for another.
template <class Kind>
const Kind& As(const Entity& e) {
  if (const Kind* k = e.As<Kind>()) return *k;
  throw std::runtime_error("the entity is a " + std::string(NamesOf(e.type()).english) +
                           ", not the kind the test expects");
}
template <class Kind>
Kind& As(Entity& e) {
  if (Kind* k = e.As<Kind>()) return *k;
  throw std::runtime_error("the entity is a " + std::string(NamesOf(e.type()).english) +
                           ", not the kind the test expects");
}

// x0, y0, x1, y1, ... and the bulges of a lightweight polyline.
inline std::vector<double> Xy(const LwPolyline& p) {
  std::vector<double> xy;
  for (const LwVertex& v : p.vertices) xy.insert(xy.end(), {v.x, v.y});
  return xy;
}
inline std::vector<double> Bulges(const LwPolyline& p) {
  std::vector<double> b;
  for (const LwVertex& v : p.vertices) b.push_back(v.bulge);
  return b;
}
// x0, y0, z0, x1, ... of points.
inline std::vector<double> Xyz(const std::vector<Point3>& points) {
  std::vector<double> xyz;
  for (const Point3& p : points) xyz.insert(xyz.end(), {p[0], p[1], p[2]});
  return xyz;
}

// Points from x0, y0, z0, x1, ...
inline std::vector<Point3> Points(const std::vector<double>& xyz) {
  std::vector<Point3> points;
  for (size_t i = 0; i + 2 < xyz.size(); i += 3) points.push_back({xyz[i], xyz[i + 1], xyz[i + 2]});
  return points;
}

// A lightweight polyline from x0, y0, x1, y1, ... with a bulge per vertex (missing
// ones 0).
inline LwPolyline Pline(const std::vector<double>& xy, const std::vector<double>& bulges = {},
                        bool closed = false, double elevation = 0) {
  LwPolyline p;
  for (size_t i = 0; i + 1 < xy.size(); i += 2) {
    p.vertices.push_back({xy[i], xy[i + 1], i / 2 < bulges.size() ? bulges[i / 2] : 0});
  }
  p.closed = closed;
  p.elevation = elevation;
  return p;
}

// An entity of the kind, colour and layer.
inline Entity Make(Geometry geometry, int color = kColorByLayer, std::string layer = "0") {
  Entity e;
  e.color = color;
  e.layer = std::move(layer);
  e.geometry = std::move(geometry);
  return e;
}

}  // namespace varnolt::test
