#include "geodesy/projection.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/error.h"
#include "geodesy/angles.h"
#include "text/numtext.h"

namespace varnolt {
namespace {

double Number(const std::string& text) {
  double v = 0;
  EXPECT_TRUE(ParseNumber(text, v)) << text;
  return v;
}

const DatumParameters kBeijing = SelectDatum(true);
const DatumParameters kXian = SelectDatum(false);

TEST(Datum, ConstantsOfBothEllipsoids) {
  EXPECT_EQ(kBeijing.a, 6378245.0);
  EXPECT_EQ(kBeijing.K0, 111134.8611);
  EXPECT_EQ(kXian.a, 6378140.0);
  EXPECT_EQ(kXian.K1, -16038.5282);
  EXPECT_EQ(kBeijing.K3, -0.022);
  EXPECT_EQ(kXian.FE, 500000.0);
  EXPECT_NEAR(kBeijing.e2, 0.006693421622966, 1e-15);  // Krassovsky
  EXPECT_NEAR(kXian.e2, 0.006694384999588, 1e-15);     // IAG 1975
}

TEST(Projection, PointOnTheCentralMeridian) {
  // 114.3 is 114 deg 30 min; on the meridian the longitude is L0 itself.
  EXPECT_EQ(Lstr(kBeijing, 3380000, 500000, 114.3, 0), "114.5");
  double lat = Number(Bstr(kBeijing, 3380000, 500000, 114.3, 0));
  EXPECT_NEAR(lat, 30.540, 0.001);
}

TEST(Projection, CorrectionsAreMinutes) {
  double lat0 = Number(Bstr(kBeijing, 3380000, 500000, 114.3, 0));
  EXPECT_EQ(Bstr(kBeijing, 3380000, 500000, 114.3, -0.0335), GeneralText(lat0 + -0.0335 / 60));
  EXPECT_EQ(Lstr(kBeijing, 3380000, 500000, 114.3, 0.039), GeneralText(114.5 + 0.039 / 60));
}

TEST(Projection, EastOfTheMeridianOnBothDatums) {
  double lat54 = Number(Bstr(kBeijing, 3380000, 512345.678, 114.3, -0.0335));
  double lon54 = Number(Lstr(kBeijing, 3380000, 512345.678, 114.3, 0.039));
  EXPECT_NEAR(lat54, 30.539, 0.001);
  EXPECT_NEAR(lon54, 114.629, 0.001);
  double lat80 = Number(Bstr(kXian, 3380000, 512345.678, 114.3, -0.0335));
  double lon80 = Number(Lstr(kXian, 3380000, 512345.678, 114.3, 0.039));
  EXPECT_NEAR(lat80 - lat54, 0.0005, 0.0002);  // Xi'an 80 lies about half a thousandth north
  EXPECT_NEAR(lon80, lon54, 0.000005);
}

TEST(Projection, WestOfTheMeridian) {
  EXPECT_NEAR(Number(Bstr(kBeijing, 4000000, 400000, 117, 0)), 36.125, 0.001);
  EXPECT_NEAR(Number(Lstr(kBeijing, 4000000, 400000, 117, 0)), 115.889, 0.001);
}

TEST(Projection, EquatorGivesTheCorrectionAlone) {
  EXPECT_EQ(Bstr(kBeijing, 0, 500000, 114.3, 0), "0");
  EXPECT_EQ(Bstr(kBeijing, 0, 500000, 114.3, -0.0335), GeneralText(-0.0335 / 60));
}

TEST(Projection, MeridianArcComesBackAsItsLatitude) {
  for (const DatumParameters* d : {&kBeijing, &kXian}) {
    for (double B : {1.0, 18.0, 30.5, 45.0, 53.0, 70.0, 85.0}) {
      double b = B * d->pi / 180;
      double X = d->K0 * B + d->K1 * std::sin(2 * b) + d->K2 * std::sin(4 * b) +
                 d->K3 * std::sin(6 * b);
      EXPECT_NEAR(Number(Bstr(*d, X, 500000, 115, 0)), B, 1e-7) << B;
    }
  }
}

TEST(Projection, ProjectorMatchesLstrAndBstrBitForBit) {
  for (const DatumParameters* d : {&kBeijing, &kXian}) {
    Projector proj(*d, 114.3, -0.0335, 0.039);
    for (double X = 2000000; X <= 6000000; X += 370001.5) {
      for (double Y = 250000; Y <= 750000; Y += 41234.25) {
        std::string expected = Lstr(*d, X, Y, 114.3, 0.039) + "," + Bstr(*d, X, Y, 114.3, -0.0335);
        std::string got;
        proj.AppendLonLat(got, X, Y);
        ASSERT_EQ(got, expected) << X << " " << Y;
        double lon = 0, lat = 0;
        proj.LonLat(X, Y, lon, lat);
        EXPECT_EQ(GeneralText(lon) + "," + GeneralText(lat), expected);
      }
    }
  }
}

TEST(Projection, InputNoDrawingHoldsFailsInsteadOfHanging) {
  EXPECT_THROW(Bstr(kBeijing, NAN, 500000, 115, 0), Error);
  EXPECT_THROW(Lstr(kBeijing, 3380000, INFINITY, 115, 0), Error);
  EXPECT_THROW(Lstr(kBeijing, 2e8, 500000, 115, 0), Error);
  EXPECT_THROW(Bstr(kBeijing, -1.5e8, 500000, 115, 0), Error);
  Projector proj(kBeijing, 115, 0, 0);
  std::string out;
  EXPECT_THROW(proj.AppendLonLat(out, 3380000, NAN), Error);
  // The largest northing accepted still converges.
  EXPECT_NO_THROW(Bstr(kBeijing, 1e8, 500000, 115, 0));
}

}  // namespace
}  // namespace varnolt
