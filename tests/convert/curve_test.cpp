#include <gtest/gtest.h>

#include <cmath>

#include "convert/convert.h"
#include "convert_testing.h"
#include "geodesy/angles.h"

namespace varnolt::testing {
namespace {

struct CurveTest : ConverterTest {
  const double pi = SystemPi();

  varnolt::Circle CircleAt(Point3 c, double r) const { return {c, r}; }
  varnolt::Arc ArcAt(Point3 c, double r, double sa, double ea, double nz = 1) const {
    return {c, r, sa, ea, {0, 0, nz}};
  }

  // The tuple of a point line lies at angle `theta` on the circle, within 1e-9 deg
  // (about 0.1 mm).
  template <class Round>
  void ExpectOnCircle(const std::string& line, const Round& e, double theta) const {
    double lon = 0, lat = 0;
    LonLat(e.center[0] + e.radius * std::cos(theta), e.center[1] + e.radius * std::sin(theta),
           lon, lat);
    const Tuple t = ParseTuple(line);
    EXPECT_NEAR(t.lon, lon, 1e-9) << "theta " << theta;
    EXPECT_NEAR(t.lat, lat, 1e-9) << "theta " << theta;
  }
};

TEST_F(CurveTest, CircleHas101PointsClosingOnTheFirst) {
  const varnolt::Circle e = CircleAt({kE, kN, 5}, 10);
  std::string out;
  EXPECT_EQ(tocircle(e, Context(), kQ, "arc1", "#s", out), 101);
  const auto lines = PointLines(out);
  ASSERT_EQ(lines.size(), 101u);
  EXPECT_EQ(lines[0], Expected(kE + 10, kN, "5"));
  EXPECT_EQ(lines[100], lines[0]);
  EXPECT_EQ(lines[25], Expected(kE, kN + 10, "5"));  // the 26th: due north
  for (const auto& line : lines) EXPECT_EQ(ParseTuple(line).alt, "5");
  ExpectOnCircle(lines[50], e, pi);  // counter-clockwise: west at the half
  EXPECT_NE(out.find("\t<name>arc1</name>"), std::string::npos);
}

TEST_F(CurveTest, ArcRunsCounterClockwiseFromStartToEnd) {
  const varnolt::Arc e = ArcAt({kE, kN, -2}, 10, 0, pi / 2);
  std::string out;
  EXPECT_EQ(toarc(e, Context(), kQ, "arc1", "#s", out), 101);
  const auto lines = PointLines(out);
  ASSERT_EQ(lines.size(), 101u);
  EXPECT_EQ(lines[0], Expected(kE + 10, kN, "-2"));
  EXPECT_EQ(lines[100], Expected(kE, kN + 10, "-2"));
  ExpectOnCircle(lines[50], e, pi / 4);
}

TEST_F(CurveTest, ArcWrapsThroughEast) {
  const varnolt::Arc e = ArcAt({kE, kN, 0}, 10, 5.5, 0.5);
  std::string out;
  toarc(e, Context(), kQ, "arc1", "#s", out);
  const auto lines = PointLines(out);
  ASSERT_EQ(lines.size(), 101u);
  const double ea = 0.5 + 2 * pi;
  ExpectOnCircle(lines[0], e, 5.5);
  ExpectOnCircle(lines[50], e, (5.5 + ea) / 2);  // near east, not west
  ExpectOnCircle(lines[100], e, ea);
}

TEST_F(CurveTest, DownwardNormalMirrorsTheAngles) {
  const varnolt::Arc e = ArcAt({kE, kN, 0}, 10, 0.5, 1.5, -1);
  std::string out;
  toarc(e, Context(), kQ, "arc1", "#s", out);
  const auto lines = PointLines(out);
  ASSERT_EQ(lines.size(), 101u);
  ExpectOnCircle(lines[0], e, pi - 1.5);
  ExpectOnCircle(lines[50], e, pi - 1.0);
  ExpectOnCircle(lines[100], e, pi - 0.5);

  // pi - 4 is below 0 and wraps: from pi - 4 + 2 pi up to pi - 0.5 + 2 pi.
  const varnolt::Arc wrapped = ArcAt({kE, kN, 0}, 10, 0.5, 4, -1);
  out.clear();
  toarc(wrapped, Context(), kQ, "arc1", "#s", out);
  const auto w = PointLines(out);
  ExpectOnCircle(w[0], wrapped, pi - 4 + 2 * pi);
  ExpectOnCircle(w[100], wrapped, pi - 0.5 + 2 * pi);
  ExpectOnCircle(w[50], wrapped, ((pi - 4 + 2 * pi) + (pi - 0.5 + 2 * pi)) / 2);

  // A tilted normal is not mirrored.
  const varnolt::Arc tilted = ArcAt({kE, kN, 0}, 10, 0.5, 1.5, -0.99);
  out.clear();
  toarc(tilted, Context(), kQ, "arc1", "#s", out);
  ExpectOnCircle(PointLines(out)[0], tilted, 0.5);
}

TEST_F(CurveTest, EqualAnglesGive101EqualPoints) {
  const varnolt::Arc e = ArcAt({kE, kN, 0}, 10, 1, 1);
  std::string out;
  toarc(e, Context(), kQ, "arc1", "#s", out);
  const auto lines = PointLines(out);
  ASSERT_EQ(lines.size(), 101u);
  for (const auto& line : lines) EXPECT_EQ(line, lines[0]);
}

TEST_F(CurveTest, SegmentSettingIsNotRead) {
  settings.Text3 = "8";
  std::string out;
  tocircle(CircleAt({kE, kN, 0}, 10), Context(), kQ, "arc1", "#s", out);
  EXPECT_EQ(PointLines(out).size(), 101u);
}

}  // namespace
}  // namespace varnolt::testing
