// Points, ellipses, splines, hatches and solids: frames and point counts, and the
// polygon rules Google Earth needs checked on the written longitudes and latitudes.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "base/error.h"
#include "convert/convert.h"
#include "convert_testing.h"
#include "geodesy/angles.h"
#include "geometry/curves.h"

namespace varnolt::testing {
namespace {

// One ring as written: its tuples, and whether it is an outer boundary.
struct WrittenRing {
  bool outer = false;
  std::vector<Tuple> points;
};

std::vector<WrittenRing> WrittenRings(const std::string& out) {
  std::vector<WrittenRing> rings;
  size_t begin = 0;
  while ((begin = out.find("<coordinates>\r\n", begin)) != std::string::npos) {
    WrittenRing ring;
    const size_t outer = out.rfind("<outerBoundaryIs>", begin);
    const size_t inner = out.rfind("<innerBoundaryIs>", begin);
    ring.outer = inner == std::string::npos || (outer != std::string::npos && outer > inner);
    begin += 15;
    const size_t close = out.find("</coordinates>", begin);
    for (size_t line = begin; line < close;) {
      const size_t next = out.find("\r\n", line) + 2;
      if (next > close) break;
      ring.points.push_back(ParseTuple(out.substr(line, next - line)));
      line = next;
    }
    rings.push_back(ring);
    begin = close;
  }
  return rings;
}

// Twice the signed area in degrees, positive counter-clockwise.
double TwiceArea(const std::vector<Tuple>& r) {
  double sum = 0;
  for (size_t i = 0; i + 1 < r.size(); ++i) {
    sum += (r[i].lon - r[0].lon) * (r[i + 1].lat - r[0].lat) -
           (r[i + 1].lon - r[0].lon) * (r[i].lat - r[0].lat);
  }
  return sum;
}

bool Inside(const Tuple& p, const std::vector<Tuple>& r) {
  bool in = false;
  for (size_t i = 0, j = r.size() - 1; i < r.size(); j = i++) {
    if ((r[i].lat > p.lat) != (r[j].lat > p.lat) &&
        p.lon < (r[j].lon - r[i].lon) * (p.lat - r[i].lat) / (r[j].lat - r[i].lat) + r[i].lon) {
      in = !in;
    }
  }
  return in;
}

// What Google Earth needs of every ring, and holes inside the outer ring before them.
void ExpectDrawableRings(const std::vector<WrittenRing>& rings) {
  const WrittenRing* outer = nullptr;
  for (const WrittenRing& r : rings) {
    ASSERT_GE(r.points.size(), 4u);
    EXPECT_EQ(r.points.front().lon, r.points.back().lon);
    EXPECT_EQ(r.points.front().lat, r.points.back().lat);
    for (size_t i = 1; i < r.points.size(); ++i) {
      EXPECT_FALSE(r.points[i].lon == r.points[i - 1].lon &&
                   r.points[i].lat == r.points[i - 1].lat)
          << "repeated point " << i;
    }
    if (r.outer) {
      EXPECT_GT(TwiceArea(r.points), 0) << "outer ring not counter-clockwise";
      outer = &r;
    } else {
      EXPECT_LT(TwiceArea(r.points), 0) << "hole not clockwise";
      ASSERT_NE(outer, nullptr);
      for (const Tuple& p : r.points) EXPECT_TRUE(Inside(p, outer->points));
    }
  }
}

HatchEdge Line(Point3 a, Point3 b) { return varnolt::Line{a, b}; }

std::string Message(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return "no error";
}

using ShapesTest = ConverterTest;

TEST_F(ShapesTest, PointIsAPlacemarkWithOnePointAndNoView) {
  const Point e{{kE, kN, 7.5}};
  std::string out;
  EXPECT_EQ(topoint(e, Context(), kQ, "point1", "#m_colorFF0000FF_width6", out), 1);
  EXPECT_EQ(out,
            "\t\t<Placemark>\r\n"
            "\r\n"
            "\t\t\t<name>point1</name>\r\n"
            "\t\t\t<styleUrl>#m_colorFF0000FF_width6</styleUrl>\r\n"
            "\t\t\t<Point>\r\n"
            "\t\t\t\t<altitudeMode>relativeToGround</altitudeMode>\r\n"
            "\t\t\t\t<coordinates>\r\n" +
                Expected(kE, kN, "7.5") +
                "\t\t\t\t</coordinates>\r\n"
                "\t\t\t</Point>\r\n"
                "\r\n"
                "\t\t</Placemark>\r\n"
                "\r\n");
}

TEST_F(ShapesTest, EllipseHas101PointsAboutItsNormal) {
  Ellipse e;
  e.center = {kE, kN, 3};
  e.majorAxis = {10, 0, 0};
  e.ratio = 0.5;
  e.startAngle = 0;
  e.endAngle = SystemPi() / 2;
  std::string out;
  EXPECT_EQ(toellipse(e, Context(), kQ, "e", "#s", out), 101);
  auto lines = PointLines(out);
  ASSERT_EQ(lines.size(), 101u);
  EXPECT_EQ(lines[0], Expected(kE + 10, kN, "3"));
  EXPECT_EQ(lines[100], Expected(kE + 10 * std::cos(SystemPi() / 2), kN + 5, "3"));
  EXPECT_NE(out.find("<LineString>"), std::string::npos);

  // Seen from below, the quarter runs to the south; an end below the start wraps.
  e.normal = {0, 0, -1};
  e.startAngle = 3 * SystemPi() / 2;
  e.endAngle = 0;
  out.clear();
  toellipse(e, Context(), kQ, "e", "#s", out);
  lines = PointLines(out);
  double lon = 0, lat = 0, lon0 = 0, lat0 = 0;
  LonLat(kE, kN + 5, lon, lat);  // parameter 3 pi / 2 below: minor axis points south
  LonLat(kE, kN, lon0, lat0);
  EXPECT_NEAR(ParseTuple(lines[0]).lat, lat, 1e-9);
  EXPECT_NEAR(ParseTuple(lines[100]).lon, ParseTuple(Expected(kE + 10, kN, "3")).lon, 1e-12);
  EXPECT_GT(ParseTuple(lines[50]).lat, lat0);  // through the north-east quarter
}

TEST_F(ShapesTest, SplineWritesItsSamplesFromEndToEnd) {
  Spline e;
  e.degree = 3;
  e.knots = {0, 0, 0, 0, 1, 1, 1, 1};
  e.control = {{kE, kN, 0}, {kE + 30, kN + 60, 0}, {kE + 90, kN - 60, 0}, {kE + 120, kN, 0}};
  std::string out;
  const int64_t n = tospline(e, Context(), kQ, "s", "#s", out);
  const auto lines = PointLines(out);
  EXPECT_EQ(n, static_cast<int64_t>(lines.size()));
  const BSpline s = MakeBSpline(e.degree, e.knots, e.weights, e.control);
  EXPECT_EQ(n, static_cast<int64_t>(SampleBSpline(s, kSplineTolerance, 1'000'000).size()));
  EXPECT_GT(n, 20);
  EXPECT_EQ(lines.front(), Expected(kE, kN, "0"));
  EXPECT_EQ(lines.back(), Expected(kE + 120, kN, "0"));

  // Without control points the fit points carry it; bad knots are named.
  Spline fit;
  fit.fit = {{kE, kN, 1}, {kE + 40, kN + 10, 1}, {kE + 80, kN, 1}};
  out.clear();
  tospline(fit, Context(), kQ, "s", "#s", out);
  EXPECT_EQ(PointLines(out).front(), Expected(kE, kN, "1"));
  EXPECT_EQ(PointLines(out).back(), Expected(kE + 80, kN, "1"));
  e.knots = {0, 0, 0, 0, 1, 0.5, 1, 1};
  EXPECT_NE(Message([&] { tospline(e, Context(), kQ, "s", "#s", out); }).find("knots decrease"),
            std::string::npos);
}

TEST_F(ShapesTest, NestedLoopsBecomeOutersAndHoles) {
  auto square = [](double x, double y, double side, bool clockwise) {
    Ring r{{x, y, 0}, {x + side, y, 0}, {x + side, y + side, 0}, {x, y + side, 0}};
    if (clockwise) std::swap(r[1], r[3]);
    return r;
  };
  std::vector<Ring> loops{
      square(kE + 10, kN + 10, 20, false),  // hole of the first outer
      square(kE, kN, 100, true),            // outer, given clockwise
      {{kE, kN, 0}, {kE + 5, kN, 0}, {kE + 5, kN, 0}},  // degenerate: dropped
      square(kE + 12, kN + 12, 5, true),    // island inside the hole: an outer
      square(kE + 200, kN, 10, false),      // a second outer, apart
  };
  loops[1].push_back(loops[1].front());        // closed already
  loops[1].insert(loops[1].begin() + 1, loops[1][1]);  // a repeated point
  const std::vector<PolygonShape> shapes = NestRings(loops);
  ASSERT_EQ(shapes.size(), 3u);
  EXPECT_EQ(shapes[0].outer[0], (Point3{kE, kN, 0}));
  EXPECT_EQ(shapes[0].outer.size(), 4u);
  ASSERT_EQ(shapes[0].holes.size(), 1u);
  EXPECT_TRUE(shapes[1].holes.empty());
  EXPECT_EQ(shapes[1].outer[0], (Point3{kE + 12, kN + 12, 0}));

  std::string out;
  EXPECT_EQ(AppendPolygonPlacemark(shapes, Context(), kQ, "h", "#m_polyX", out),
            5 + 5 + 5 + 5);
  EXPECT_NE(out.find("\t\t\t<MultiGeometry>\r\n\t\t\t\t<Polygon>\r\n"), std::string::npos);
  EXPECT_NE(out.find("\t\t\t<styleUrl>#m_polyX</styleUrl>"), std::string::npos);
  const std::vector<WrittenRing> rings = WrittenRings(out);
  ASSERT_EQ(rings.size(), 4u);
  EXPECT_TRUE(rings[0].outer);
  EXPECT_FALSE(rings[1].outer);
  ExpectDrawableRings(rings);
}

TEST_F(ShapesTest, HatchJoinsEdgesIntoDrawableRings) {
  Hatch h;
  // A square of lines, the second one drawn backwards.
  h.loops.push_back({1, {Line({kE, kN, 2}, {kE + 100, kN, 2}),
                         Line({kE + 100, kN + 100, 2}, {kE + 100, kN, 2}),
                         Line({kE + 100, kN + 100, 2}, {kE, kN + 100, 2}),
                         Line({kE, kN + 100, 2}, {kE, kN, 2})}});
  // A round hole of one whole arc.
  const Arc arc{{kE + 30, kN + 30, 2}, 10, 0, 2 * SystemPi()};
  h.loops.push_back({0, {arc}});
  // A half-disc hole: one straight and one bulged segment of a closed polyline.
  LwPolyline pl;
  pl.vertices = {{kE + 60, kN + 70, 0}, {kE + 80, kN + 70, 1}};
  pl.closed = true;
  pl.elevation = 2;
  h.loops.push_back({0, {pl}});
  std::string out;
  const int64_t n = tohatch(h, Context(), kQ, "hatch1", "#m_poly", out);
  const std::vector<WrittenRing> rings = WrittenRings(out);
  ASSERT_EQ(rings.size(), 3u);
  EXPECT_EQ(rings[0].points.size(), 5u);
  EXPECT_EQ(rings[1].points.size(), 101u);  // 100 distinct points, closed
  EXPECT_EQ(rings[2].points.size(), 102u);  // 2 ends and 99 inside the arc, closed
  EXPECT_EQ(n, 5 + 101 + 102);
  EXPECT_EQ(out.find("MultiGeometry"), std::string::npos);
  EXPECT_EQ(rings[0].points[0].alt, "2");
  ExpectDrawableRings(rings);
  // The bulge (1: a half circle of radius 10, counter-clockwise) swings to the right
  // of its segment, north of the chord from (80, 70) back to (60, 70).
  double lon = 0, lat = 0;
  LonLat(kE + 70, kN + 80, lon, lat);
  bool reached = false;
  for (const Tuple& t : rings[2].points) reached = reached || std::fabs(t.lat - lat) < 1e-9;
  EXPECT_TRUE(reached);

  // The same circle drawn on its own for a polygon: the same 100 distinct points.
  const std::vector<PolygonShape> disc =
      NestRings({OutlinePoints(Circle{arc.center, arc.radius}, Context())});
  ASSERT_EQ(disc.size(), 1u);
  EXPECT_EQ(disc[0].outer.size(), 100u);

  Hatch empty = h;
  empty.loops = {{1, {Line({kE, kN, 0}, {kE + 5, kN, 0})}}};
  EXPECT_NE(Message([&] { tohatch(empty, Context(), kQ, "h", "#s", out); })
                .find("none of its 1 boundary loops encloses an area"),
            std::string::npos);
}

TEST_F(ShapesTest, SolidIsOneCounterClockwisePolygon) {
  Solid s;
  // Clockwise, and a triangle whose fourth corner repeats the third.
  s.corners = {{kE, kN, 1}, {kE, kN + 10, 1}, {kE + 10, kN + 10, 1}, {kE + 10, kN + 10, 1}};
  std::string out;
  EXPECT_EQ(tosolid(s, Context(), kQ, "solid1", "#m_poly", out), 4);
  EXPECT_EQ(out.find("\t\t\t<Polygon>\r\n\t\t\t\t<tessellate>1</tessellate>\r\n"
                     "\t\t\t\t<altitudeMode>relativeToGround</altitudeMode>\r\n"
                     "\t\t\t\t<outerBoundaryIs>\r\n\t\t\t\t\t<LinearRing>\r\n"
                     "\t\t\t\t\t\t<coordinates>\r\n"),
            out.find("\t\t\t<Polygon>"));
  EXPECT_NE(out.find("\t\t\t\t\t\t\t" + Expected(kE, kN, "1").substr(5)), std::string::npos);
  ExpectDrawableRings(WrittenRings(out));
  s.corners = {{kE, kN, 0}, {kE + 1, kN + 1, 0}, {kE + 2, kN + 2, 0}};
  EXPECT_NE(Message([&] { tosolid(s, Context(), kQ, "s", "#s", out); }).find("no area"),
            std::string::npos);
}

}  // namespace
}  // namespace varnolt::testing
