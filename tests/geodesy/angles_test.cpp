#include "geodesy/angles.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/error.h"
#include "text/numtext.h"

namespace varnolt {
namespace {

const double kPi = SystemPi();

// Packed DMS through radians and back to decimal degrees, both text round trips.
double Degrees(double packed) { return R_D1_Value(D_R_Value(packed, kPi), kPi); }

TEST(Angles, WholeAndHalfDegrees) {
  EXPECT_EQ(R_D1(D_R_Value(115, kPi), kPi), "115");
  EXPECT_EQ(R_D1(D_R_Value(114.3, kPi), kPi), "114.5");  // 114.3 is a hair below in binary
  EXPECT_EQ(R_D1(D_R_Value(0.3, kPi), kPi), ".5");
  EXPECT_EQ(D_R(115, kPi), GeneralText(115.0 * kPi / 180));
}

TEST(Angles, SecondsWithDecimals) {
  EXPECT_NEAR(Degrees(140.022866), 140 + 2 / 60.0 + 28.66 / 3600, 1e-12);
  EXPECT_NEAR(Degrees(114.30305), 114 + 30 / 60.0 + 30.5 / 3600, 1e-12);
  // 0.29 times 100 is a hair below 29: 29 minutes and a tiny negative second count,
  // not 28 minutes and almost 100 seconds.
  EXPECT_NEAR(Degrees(0.29), 29 / 60.0, 1e-12);
}

TEST(Angles, NoCarryRuleForSixtyMinutesOrSeconds) {
  EXPECT_EQ(R_D1(D_R_Value(114.596, kPi), kPi), "115");
  EXPECT_EQ(R_D1(D_R_Value(114.6, kPi), kPi), "115");
}

TEST(Angles, NegativeValuesDecomposeWithTheFloor) {
  // -0.3: d = -1, m = 70, so 70/60 - 1, a sixth of a degree.
  EXPECT_NEAR(Degrees(-0.3), 1 / 6.0, 1e-12);
}

TEST(Angles, RadiansToDegreesIsBareText) {
  EXPECT_EQ(R_D1(0.5 * kPi / 180, kPi), ".5");
  EXPECT_EQ(R_D1(-0.5 * kPi / 180, kPi), "-.5");
  EXPECT_EQ(R_D1(0, kPi), "0");
}

TEST(Angles, DegreesBeyondSixteenBitsAreRefused) {
  EXPECT_THROW(D_R(40000, kPi), Error);
  EXPECT_THROW(D_R(-40000, kPi), Error);
  EXPECT_THROW(D_R(NAN, kPi), Error);
  EXPECT_NO_THROW(D_R(32767.5, kPi));
}

}  // namespace
}  // namespace varnolt
