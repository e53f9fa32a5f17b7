#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/error.h"
#include "convert/convert.h"
#include "convert_testing.h"

namespace varnolt::testing {
namespace {

struct LineTest : ConverterTest {
  varnolt::Line Line(Point3 a, Point3 b) const { return {a, b}; }

  std::string Convert(const varnolt::Line& e, int64_t* points = nullptr) const {
    std::string out;
    const int64_t n = toline(e, Context(), kQ, "line1", "#m_colorFF0000FF_width6", out);
    if (points != nullptr) *points = n;
    return out;
  }
};

// The whole Placemark of a line is pinned by the golden documents (families,
// colours_width_half); these check where the points fall, worked out by hand.
TEST_F(LineTest, PointsEveryTenMetresThenTheEnd) {
  const varnolt::Line e = Line({kE, kN, 0}, {kE + 25, kN, 0});
  int64_t points = 0;
  const auto lines = PointLines(Convert(e, &points));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(points, 4);
  EXPECT_EQ(lines[0], Expected(kE, kN, "0"));
  EXPECT_EQ(lines[1], Expected(kE + 10, kN, "0"));
  EXPECT_EQ(lines[2], Expected(kE + 20, kN, "0"));
  EXPECT_EQ(lines[3], Expected(kE + 25, kN, "0"));
}

TEST_F(LineTest, ExactMultipleOfTheLengthHasNoRepeatedEnd) {
  // 20 m: 0, 10, end. 30 m: 0, 10, 20, end; no point at 30 besides the end.
  EXPECT_EQ(PointLines(Convert(Line({kE, kN, 0}, {kE + 20, kN, 0}))).size(), 3u);
  const varnolt::Line e = Line({kE, kN, 0}, {kE + 30, kN, 0});
  const auto lines = PointLines(Convert(e));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[3], Expected(kE + 30, kN, "0"));
  // A line that falls a hair short of 20 m gets a point a hair beyond its end.
  EXPECT_EQ(PointLines(Convert(Line({kE, kN, 0}, {kE + 19.9999, kN, 0}))).size(), 4u);
  EXPECT_EQ(PointLines(Convert(Line({kE, kN, 0}, {kE + 5, kN, 0}))).size(), 2u);
  EXPECT_EQ(PointLines(Convert(Line({kE, kN, 0}, {kE + 10, kN, 0}))).size(), 2u);
}

TEST_F(LineTest, SlopingLineIsCutAlongItsSlopeWithInterpolatedAltitudes) {
  const varnolt::Line e = Line({kE, kN, 0}, {kE, kN + 30, 40});
  const auto lines = PointLines(Convert(e));
  ASSERT_EQ(lines.size(), 6u);
  const char* alts[] = {"0", "8", "16", "24", "32", "40"};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(ParseTuple(lines[i]).alt, alts[i]) << i;
  // 50 m along the slope (30 across, 40 up): 20 m along it is 12 m across.
  EXPECT_EQ(lines[2], Expected(kE, kN + 12, "16"));
  EXPECT_EQ(lines[5], Expected(kE, kN + 30, "40"));
}

TEST_F(LineTest, CoincidentEndsGiveTheSameVertexTwice) {
  const auto lines = PointLines(Convert(Line({kE, kN, 2.5}, {kE, kN, 2.5})));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], lines[1]);
  EXPECT_EQ(lines[0], Expected(kE, kN, "2.5"));
}

TEST_F(LineTest, NegativeLengthWritesOnlyTheEnd) {
  settings.Text1 = "-10";
  const auto lines = PointLines(Convert(Line({kE, kN, 0}, {kE + 25, kN, 0})));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], Expected(kE + 25, kN, "0"));
}

TEST_F(LineTest, ZeroLengthSettingFailsNamingIt) {
  for (const char* text : {"0", "abc", ""}) {
    settings.Text1 = text;
    try {
      Convert(Line({kE, kN, 0}, {kE + 25, kN, 0}));
      FAIL() << "no error for Text1 \"" << text << "\"";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::kGeneral);
      const std::string what = e.what();
      EXPECT_EQ(what.rfind("直线最小分段长度 (Text1) is 0", 0), 0u) << what;
      EXPECT_NE(what.find(std::string("\"") + text + "\""), std::string::npos) << what;
    }
  }
}

TEST_F(LineTest, TooManyPointsFailWithTheCount) {
  // 10 000 km every half metre: 20 000 000 pieces (none at the very end) and the end.
  settings.Text1 = "0.5";
  try {
    Convert(Line({kE, kN, 0}, {kE + 1e7, kN, 0}));
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kGeneral);
    EXPECT_NE(std::string(e.what()).find("20000001 points"), std::string::npos) << e.what();
  }
}

TEST_F(LineTest, NonFiniteLengthFailsInsteadOfLooping) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_THROW(Convert(Line({kE, kN, 0}, {inf, kN, 0})), Error);
  EXPECT_THROW(Convert(Line({kE, kN, 0}, {std::nan(""), kN, 0})), Error);
  settings.Text1 = "1e-320";  // d / L overflows to infinity
  EXPECT_THROW(Convert(Line({kE, kN, 0}, {kE + 25, kN, 0})), Error);
}

}  // namespace
}  // namespace varnolt::testing
