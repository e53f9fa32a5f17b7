// The CGCS2000 datum, the exact transverse Mercator and the seven-parameter
// transformation against PROJ; GCJ-02 against the test values published with the
// open implementations of the algorithm.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "geodesy/gcj02.h"
#include "geodesy/methods.h"
#include "geodesy/projection.h"
#include "geodesy/tmerc.h"

#if VARNOLT_HAVE_PROJ
#include "proj_session.h"
#endif

namespace varnolt {
namespace {

// The three pairs of the widely copied eviltransform test suite
// (github.com/googollee/eviltransform, test files of every language port): WGS 84
// latitude, longitude; GCJ-02 latitude, longitude.
TEST(Gcj02, PublishedTestValues) {
  const double cases[][4] = {
      {31.1774276, 121.5272106, 31.17530398364597, 121.531541859215},    // Shanghai
      {22.543847, 113.912316, 22.540796131694766, 113.9171764808363},    // Shenzhen
      {39.911954, 116.377817, 39.91334545536069, 116.38404722455657},    // Beijing
  };
  for (const auto& c : cases) {
    double lon = 0, lat = 0;
    Wgs84ToGcj02(c[1], c[0], lon, lat);
    EXPECT_NEAR(lat, c[2], 1e-9) << c[0] << "," << c[1];
    EXPECT_NEAR(lon, c[3], 1e-9) << c[0] << "," << c[1];
  }
  double lon = 0, lat = 0;
  Wgs84ToGcj02(2.35, 48.85, lon, lat);  // Paris: outside the area, unchanged
  EXPECT_EQ(lon, 2.35);
  EXPECT_EQ(lat, 48.85);
}

#if VARNOLT_HAVE_PROJ

constexpr double kDegToRad = 3.14159265358979323846 / 180;
constexpr double kEarthRadius = 6371000;

double Metres(double lat1, double lon1, double lat2, double lon2) {
  const double dn = (lat1 - lat2) * kDegToRad * kEarthRadius;
  const double de = (lon1 - lon2) * kDegToRad * kEarthRadius * std::cos(lat1 * kDegToRad);
  return std::hypot(dn, de);
}

// Test helpers that check what PROJ accepts.
class Proj {
 public:
  PJ* Create(const std::string& def) {
    PJ* p = session_.Create(def);
    EXPECT_NE(p, nullptr) << def;
    return p;
  }
  PJ* CrsToCrs(const std::string& from, const std::string& to) {
    PJ* p = session_.CrsToCrs(from, to);
    EXPECT_NE(p, nullptr) << from;
    return p;
  }

 private:
  testing::ProjSession session_;
};

// CGCS2000 through the historic series with coefficients from the ellipsoid.
TEST(Cgcs2000, InverseAgreesWithProjTmercOnGrs80) {
  Proj proj;
  PJ* p = proj.Create("+proj=tmerc +k=1 +x_0=500000 +y_0=0 +lon_0=114.5 +ellps=GRS80 +units=m");
  ASSERT_NE(p, nullptr);
  Projector ours(DatumParametersOf(Datum::kCgcs2000), 114.3, 0, 0);
  double within3 = 0, at45 = 0;
  for (double lat = 18; lat <= 53; lat += 0.25) {
    for (double dlon = -4.5; dlon <= 4.5; dlon += 0.25) {
      PJ_COORD c = proj_trans(p, PJ_FWD, proj_coord((114.5 + dlon) * kDegToRad, lat * kDegToRad, 0, 0));
      double lon = 0, latOut = 0;
      ours.LonLat(c.xy.y, c.xy.x, lon, latOut);
      const double d = Metres(lat, 114.5 + dlon, latOut, lon);
      if (std::fabs(dlon) <= 3) within3 = std::max(within3, d);
      if (std::fabs(dlon) == 4.5) at45 = std::max(at45, d);
    }
  }
  proj_destroy(p);
  std::printf("[ CGCS2000 ] largest difference to PROJ, 18-53 N: %.5f m within 3 deg of the "
              "meridian, %.5f m at 4.5 deg\n", within3, at45);
  EXPECT_LE(within3, 0.001);
}

// The exact series, both ways, on every ellipsoid it serves.
TEST(TransverseMercator, AgreesWithProjToATenthOfAMillimetre) {
  Proj proj;
  for (Datum datum : {Datum::kBeijing1954, Datum::kXian1980, Datum::kCgcs2000}) {
    const EllipsoidShape e = EllipsoidOf(datum);
    char def[200];
    std::snprintf(def, sizeof def, "+proj=tmerc +k=1 +x_0=500000 +lon_0=117 +a=%.3f +rf=%.9f",
                  e.a, e.invf);
    PJ* p = proj.Create(def);
    ASSERT_NE(p, nullptr);
    TransverseMercator ours(e, 117);
    double forward = 0, inverse = 0;
    for (double lat = 15; lat <= 55; lat += 0.5) {
      for (double dlon = -4; dlon <= 4; dlon += 0.2) {
        PJ_COORD c = proj_trans(p, PJ_FWD, proj_coord((117 + dlon) * kDegToRad, lat * kDegToRad, 0, 0));
        double E = 0, N = 0;
        ours.Forward(117 + dlon, lat, E, N);
        forward = std::max(forward, std::hypot(E - c.xy.x, N - c.xy.y));
        double lon = 0, latOut = 0;
        ours.Inverse(c.xy.x, c.xy.y, lon, latOut);
        inverse = std::max(inverse, Metres(lat, 117 + dlon, latOut, lon));
      }
    }
    proj_destroy(p);
    std::printf("[ %s ] exact transverse Mercator vs PROJ within 4 deg: forward %.2e m, "
                "inverse %.2e m\n", def, forward, inverse);
    EXPECT_LE(forward, 1e-4);
    EXPECT_LE(inverse, 1e-4);
  }
}

// Plane coordinates on Beijing 1954 or Xi'an 1980 to WGS 84, as cs2cs computes
// them from a CRS with +towgs84.
TEST(SevenParameters, AgreeWithProjTowgs84) {
  Proj proj;
  struct Case {
    Datum datum;
    const char* ellipsoid;
    Helmert h;
  } cases[] = {
      {Datum::kBeijing1954, "+ellps=krass", {15.8, -154.4, -82.3, 0.5, -1.2, 2.3, 3.1}},
      {Datum::kXian1980, "+a=6378140 +rf=298.257", {-24.1, 120.7, 60.2, -2.1, 1.7, -0.9, -1.4}},
  };
  for (const Case& c : cases) {
    for (RotationConvention convention :
         {RotationConvention::kPositionVector, RotationConvention::kCoordinateFrame}) {
      Helmert h = c.h;
      h.convention = convention;
      // PROJ's +towgs84 is the position-vector form: the other one is its rotations negated.
      const double s = convention == RotationConvention::kPositionVector ? 1 : -1;
      char def[300];
      std::snprintf(def, sizeof def,
                    "+proj=tmerc +k=1 +x_0=500000 +lon_0=111 %s +towgs84=%g,%g,%g,%g,%g,%g,%g "
                    "+units=m +no_defs +type=crs",
                    c.ellipsoid, h.dx, h.dy, h.dz, s * h.rx, s * h.ry, s * h.rz, h.ppm);
      PJ* p = proj.CrsToCrs(def, "+proj=longlat +datum=WGS84 +no_defs +type=crs");
      ASSERT_NE(p, nullptr);
      ProjectionMethods methods;
      methods.datum = c.datum;
      methods.meridianPacked = 111;
      methods.helmert = h;
      double worst = 0;
      for (double N = 2000000; N <= 5800000; N += 200000) {
        for (double E = 250000; E <= 750000; E += 50000) {
          PJ_COORD g = proj_trans(p, PJ_FWD, proj_coord(E, N, 0, 0));
          double lon = 0, lat = 0;
          methods.Degrees(N, E, 0, lon, lat);
          worst = std::max(worst, Metres(g.lp.phi, g.lp.lam, lat, lon));
        }
      }
      proj_destroy(p);
      std::printf("[ %s ] seven parameters vs PROJ: %.2e m\n", def, worst);
      EXPECT_LE(worst, 0.001);
    }
  }
}

#else

TEST(MethodsReference, SkippedWithoutProj) {
  GTEST_SKIP() << "PROJ is not available for this platform's build: CGCS2000, the exact "
                  "projection and the seven parameters are compared with PROJ only on Linux";
}

#endif

}  // namespace
}  // namespace varnolt
