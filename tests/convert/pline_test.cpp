#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/error.h"
#include "convert/convert.h"
#include "convert_testing.h"
#include "geodesy/angles.h"
#include "geodesy/plane.h"

namespace varnolt::testing {
namespace {

struct PlineTest : ConverterTest {
  const double pi = SystemPi();

  // Vertices relative to (kE, kN).
  LwPolyline Pline(std::vector<std::pair<double, double>> v, std::vector<double> bulges = {},
                   bool closed = false, double elevation = 0) const {
    LwPolyline e;
    bulges.resize(v.size(), 0.0);
    for (size_t i = 0; i < v.size(); ++i) {
      e.vertices.push_back({kE + v[i].first, kN + v[i].second, bulges[i]});
    }
    e.closed = closed;
    e.elevation = elevation;
    return e;
  }

  std::vector<std::string> Lines(const LwPolyline& e, int64_t* points = nullptr) const {
    std::string out;
    const int64_t n = topline(e, Context(), kQ, "pline1", "#s", out);
    if (points != nullptr) *points = n;
    return PointLines(out);
  }

  std::string P(double x, double y, const std::string& alt = "0") const {
    return Expected(kE + x, kN + y, alt);
  }

  // The point at distance a from (x1, y1) toward (x2, y2), as segments place it.
  std::string Along(double x1, double y1, double x2, double y2, double a) const {
    Point3 p{};
    xnd({kE + x1, kN + y1, 0}, {kE + x2, kN + y2, 0}, p, a);
    return Expected(p[0], p[1], "0");
  }

  void ExpectNear(const std::string& line, double x, double y) const {
    double lon = 0, lat = 0;
    LonLat(kE + x, kN + y, lon, lat);
    const Tuple t = ParseTuple(line);
    EXPECT_NEAR(t.lon, lon, 1e-9) << x << ", " << y;
    EXPECT_NEAR(t.lat, lat, 1e-9) << x << ", " << y;
  }
};

TEST_F(PlineTest, StraightSegmentDensified) {
  int64_t points = 0;
  const auto lines = Lines(Pline({{0, 0}, {25, 0}}), &points);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(points, 4);
  EXPECT_EQ(lines[0], P(0, 0));
  EXPECT_EQ(lines[1], Along(0, 0, 25, 0, 10));
  EXPECT_EQ(lines[2], Along(0, 0, 25, 0, 20));
  EXPECT_EQ(lines[3], P(25, 0));
}

TEST_F(PlineTest, ExactMultipleWritesTheEndOnce) {
  const auto lines = Lines(Pline({{0, 0}, {30, 0}}));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], Along(0, 0, 30, 0, 20));
  EXPECT_EQ(lines[3], P(30, 0));
}

TEST_F(PlineTest, SharedVertexWrittenTwice) {
  const auto lines = Lines(Pline({{0, 0}, {25, 0}, {25, 10}}));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[3], P(25, 0));
  EXPECT_EQ(lines[4], P(25, 0));
  EXPECT_EQ(lines[5], P(25, 10));
}

TEST_F(PlineTest, ClosedAddsStraightClosingSegment) {
  // The closing segment is straight even with a bulge on the last vertex.
  settings.Check1 = 1;
  const auto lines = Lines(Pline({{0, 0}, {25, 0}, {25, 10}}, {0, 0, 0.5}, true));
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[6], P(25, 10));
  EXPECT_EQ(lines[7], Along(25, 10, 0, 0, 10));
  EXPECT_EQ(lines[8], Along(25, 10, 0, 0, 20));
  EXPECT_EQ(lines[9], P(0, 0));
}

TEST_F(PlineTest, CoordinatesTakenAsAbsoluteValues) {
  LwPolyline e;
  e.vertices = {{-kE, kN, 0}, {kE + 5, -kN, 0}};
  const auto lines = Lines(e);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], P(0, 0));
  EXPECT_EQ(lines[1], P(5, 0));
}

TEST_F(PlineTest, QuarterCircleBulgeCounterClockwise) {
  settings.Check1 = 1;
  settings.Text7 = "0.1";
  const auto lines = Lines(Pline({{1, 0}, {0, 1}}, {std::tan(pi / 8)}));
  ASSERT_EQ(lines.size(), 101u);
  // On the unit circle about (0, 0), from angle 0 to pi / 2 in steps of pi / 200.
  for (int n : {0, 1, 50, 99, 100}) {
    const double a = n * pi / 200;
    ExpectNear(lines[static_cast<size_t>(n)], std::cos(a), std::sin(a));
  }
}

TEST_F(PlineTest, NegativeBulgeRunsClockwiseFromStartToEnd) {
  settings.Check1 = 1;
  settings.Text7 = "0.1";
  const auto lines = Lines(Pline({{1, 0}, {0, 1}}, {-std::tan(pi / 8)}));
  ASSERT_EQ(lines.size(), 101u);
  // On the unit circle about (1, 1): from (1, 0) at 3 pi / 2 down to (0, 1) at pi.
  for (int n : {0, 25, 50, 100}) {
    const double a = 3 * pi / 2 - n * pi / 200;
    ExpectNear(lines[static_cast<size_t>(n)], 1 + std::cos(a), 1 + std::sin(a));
  }
}

TEST_F(PlineTest, LargeArcAndClockwiseSemicircle) {
  settings.Check1 = 1;
  settings.Text7 = "0.1";
  // Bulge 1: counter-clockwise from (0, 0) to (2, 0), the semicircle through (1, -1).
  auto lines = Lines(Pline({{0, 0}, {2, 0}}, {1}));
  ASSERT_EQ(lines.size(), 101u);
  ExpectNear(lines[50], 1, -1);
  // Bulge -1: the mirror, through (1, 1).
  lines = Lines(Pline({{0, 0}, {2, 0}}, {-1}));
  ExpectNear(lines[50], 1, 1);
  ExpectNear(lines[0], 0, 0);
  ExpectNear(lines[100], 2, 0);
  // Bulge tan(3 pi / 8): three quarters of a circle about (1, -1), counter-clockwise
  // from (0, 0) round the south to (2, 0).
  lines = Lines(Pline({{0, 0}, {2, 0}}, {std::tan(3 * pi / 8)}));
  ASSERT_EQ(lines.size(), 101u);
  ExpectNear(lines[0], 0, 0);
  ExpectNear(lines[100], 2, 0);
  ExpectNear(lines[50], 1, -1 - std::sqrt(2.0));
}

TEST_F(PlineTest, ShortChordStaysStraight) {
  settings.Check1 = 1;
  settings.Text7 = "10";
  const auto lines = Lines(Pline({{1, 0}, {0, 1}}, {std::tan(pi / 8)}));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], P(1, 0));
  EXPECT_EQ(lines[1], P(0, 1));
}

TEST_F(PlineTest, UncheckedIgnoresBulges) {
  settings.Check1 = 0;
  settings.Text7 = "0.1";
  const auto lines = Lines(Pline({{1, 0}, {0, 1}}, {std::tan(pi / 8)}));
  ASSERT_EQ(lines.size(), 2u);
  // A NaN bulge is not looked at either.
  EXPECT_EQ(Lines(Pline({{0, 0}, {5, 0}}, {std::nan("")})).size(), 2u);
}

TEST_F(PlineTest, NaNBulgeDropsItsSegment) {
  settings.Check1 = 1;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double b : {nan, -nan}) {
    const auto lines = Lines(Pline({{0, 0}, {5, 0}, {5, 5}}, {b, 0}));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], P(5, 0));
    EXPECT_EQ(lines[1], P(5, 5));
  }
  // The segment's lines follow the coordinates line directly.
  std::string out;
  topline(Pline({{0, 0}, {5, 0}, {5, 5}}, {nan, 0}), Context(), kQ, "p", "#s", out);
  EXPECT_NE(out.find("<coordinates>\r\n" + P(5, 0)), std::string::npos);
}

TEST_F(PlineTest, OneVertexWritesNothingUnlessClosed) {
  int64_t points = -1;
  EXPECT_TRUE(Lines(Pline({{3, 4}}), &points).empty());
  EXPECT_EQ(points, 0);
  EXPECT_EQ(Lines(Pline({{3, 4}}, {}, true)).size(), 2u);
  EXPECT_TRUE(Lines(Pline({}, {}, true)).empty());
}

TEST_F(PlineTest, EveryPointCarriesTheElevation) {
  settings.Check1 = 1;
  settings.Text7 = "0.1";
  const auto lines = Lines(Pline({{0, 0}, {25, 0}, {25, 2}}, {0, 0.3}, false, -3));
  ASSERT_EQ(lines.size(), 4u + 101u);
  for (const auto& line : lines) EXPECT_EQ(ParseTuple(line).alt, "-3");
}

TEST_F(PlineTest, ZeroLengthSettingFailsOnStraightSegmentsOnly) {
  settings.Text1 = "0";
  EXPECT_THROW(Lines(Pline({{0, 0}, {25, 0}})), Error);
  settings.Check1 = 1;
  settings.Text7 = "0.1";
  EXPECT_EQ(Lines(Pline({{1, 0}, {0, 1}}, {std::tan(pi / 8)})).size(), 101u);
}

TEST_F(PlineTest, TooManyPointsOverAllSegmentsFail) {
  // Each segment alone is within the limit; together they are not.
  settings.Text1 = "0.5";
  const LwPolyline e = Pline({{0, 0}, {3e6, 0}, {3e6, 3e6}, {0, 3e6}, {0, 0}});
  try {
    Lines(e);
    FAIL() << "no error";
  } catch (const Error& err) {
    EXPECT_EQ(err.kind(), ErrorKind::kGeneral);
    EXPECT_NE(std::string(err.what()).find("points, more than the 10000000"),
              std::string::npos)
        << err.what();
  }
}

TEST_F(PlineTest, ThreeDimensionalPolylineKeepsItsVertices) {
  Polyline3d e;
  e.vertices = {{kE, kN, 5}, {kE + 100, kN, 7}, {-(kE + 100), kN + 100, -3}, {kE, kN + 100, 0}};
  e.closed = true;
  std::string out;
  EXPECT_EQ(toswpline(e, Context(), kQ, "3dpline1", "#s", out), 4);
  const auto lines = PointLines(out);
  ASSERT_EQ(lines.size(), 4u);  // no intermediate points, first vertex not repeated
  EXPECT_EQ(lines[0], P(0, 0, "5"));
  EXPECT_EQ(lines[1], P(100, 0, "7"));
  EXPECT_EQ(lines[2], P(100, 100, "-3"));
  EXPECT_EQ(lines[3], P(0, 100, "0"));
}

}  // namespace
}  // namespace varnolt::testing
