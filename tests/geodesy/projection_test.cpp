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

// Positions from PROJ's transverse Mercator (the full series, independent of ours),
// made with (one line)
//   echo "E N" | cs2cs -f %.12f +proj=tmerc +k=1 +x_0=500000 +y_0=0 +lon_0=L ELLPS
//       +units=m +no_defs +to +proj=longlat ELLPS +no_defs
// ELLPS being +ellps=krass (Beijing 1954) or +a=6378140 +rf=298.257 (Xi'an 1980). The
// datum constants are pinned here and by proj_reference_test on a grid (Linux only);
// these run on every platform.
TEST(Projection, AgreesWithProjWithinAMillimetre) {
  struct Case {
    const DatumParameters* datum;
    double easting, northing;
    double packedL0;  // 114.3 is 114 deg 30 min
    double lon, lat;  // cs2cs, degrees
  };
  const Case cases[] = {
      {&kBeijing, 500000, 3380000, 114.3, 114.5, 30.539673099727},  // on the meridian
      {&kBeijing, 512345.678, 3380000, 114.3, 114.628652194495, 30.539609571104},
      {&kBeijing, 400000, 4000000, 117, 115.889197397065, 36.124503581161},  // west
      {&kXian, 500000, 3380000, 114.3, 114.5, 30.540200627878},
      {&kXian, 512345.678, 3380000, 114.3, 114.628654991775, 30.540137095804},
      {&kXian, 400000, 4000000, 117, 115.889170537350, 36.125125303211},
  };
  constexpr double kRadian = 3.14159265358979323846 / 180;
  constexpr double kMetresPerDegree = 6371000 * kRadian;  // on a sphere, enough for errors
  for (const Case& c : cases) {
    const double lat = Number(Bstr(*c.datum, c.northing, c.easting, c.packedL0, 0));
    const double lon = Number(Lstr(*c.datum, c.northing, c.easting, c.packedL0, 0));
    const double north = (lat - c.lat) * kMetresPerDegree;
    const double east = (lon - c.lon) * kMetresPerDegree * std::cos(c.lat * kRadian);
    EXPECT_LE(std::hypot(north, east), 0.001) << c.easting << " " << c.northing;
  }
  // On the meridian the longitude is L0 itself, exactly.
  EXPECT_EQ(Lstr(kBeijing, 3380000, 500000, 114.3, 0), "114.5");
}

TEST(Projection, CorrectionsAreMinutes) {
  double lat0 = Number(Bstr(kBeijing, 3380000, 500000, 114.3, 0));
  EXPECT_EQ(Bstr(kBeijing, 3380000, 500000, 114.3, -0.0335), GeneralText(lat0 + -0.0335 / 60));
  EXPECT_EQ(Lstr(kBeijing, 3380000, 500000, 114.3, 0.039), GeneralText(114.5 + 0.039 / 60));
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
