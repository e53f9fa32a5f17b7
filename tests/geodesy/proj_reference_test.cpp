// The inverse projection against PROJ's transverse Mercator, an independent
// implementation of the full series. Reference definitions:
//   Beijing 1954: +proj=tmerc +k=1 +x_0=500000 +lon_0=L +ellps=krass
//   Xi'an 1980:   +proj=tmerc +k=1 +x_0=500000 +lon_0=L +a=6378140 +rf=298.257
#include <gtest/gtest.h>

#if VARNOLT_HAVE_PROJ
#include <proj.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "geodesy/projection.h"
#include "text/numtext.h"

namespace varnolt {
namespace {

constexpr double kDegToRad = 3.14159265358979323846 / 180;
constexpr double kEarthRadius = 6371000;  // metres, to express angle errors as distances

struct Reference {
  const char* name;
  bool option1;
  const char* ellipsoid;
  // The largest difference measured when this test was written, in metres; the test
  // fails when the implementation drifts beyond it.
  double bound;
};

class ProjReference : public ::testing::TestWithParam<Reference> {
 protected:
  void SetUp() override { ctx_ = proj_context_create(); }
  void TearDown() override { proj_context_destroy(ctx_); }

  PJ* Create(double lon0) {
    std::string def = "+proj=tmerc +k=1 +x_0=500000 +y_0=0 +lon_0=" + GeneralText(lon0) + " " +
                      GetParam().ellipsoid + " +units=m +no_defs";
    PJ* p = proj_create(ctx_, def.c_str());
    EXPECT_NE(p, nullptr) << def;
    return p;
  }

  // Distance in metres between two geographic positions close to each other.
  static double Metres(double lat1, double lon1, double lat2, double lon2) {
    double dn = (lat1 - lat2) * kDegToRad * kEarthRadius;
    double de = (lon1 - lon2) * kDegToRad * kEarthRadius * std::cos(lat1 * kDegToRad);
    return std::hypot(dn, de);
  }

  PJ_CONTEXT* ctx_ = nullptr;
};

// The central meridian 114.3 (114 deg 30 min) in packed form and in degrees.
constexpr double kPackedL0 = 114.3;
constexpr double kL0 = 114.5;

TEST_P(ProjReference, InverseAgreesWithProjOnAGrid) {
  const DatumParameters datum = SelectDatum(GetParam().option1);
  Projector ours(datum, kPackedL0, 0, 0);
  PJ* p = Create(kL0);
  ASSERT_NE(p, nullptr);
  double worst = 0;
  for (double N = 1900000; N <= 5900000; N += 50000) {
    for (double E = 200000; E <= 800000; E += 20000) {
      PJ_COORD c = proj_coord(E, N, 0, 0);
      PJ_COORD g = proj_trans(p, PJ_INV, c);
      double lonRef = g.lp.lam / kDegToRad, latRef = g.lp.phi / kDegToRad;
      if (latRef < 18 || latRef > 53 || std::fabs(lonRef - kL0) > 3) continue;
      double lon = 0, lat = 0;
      ours.LonLat(N, E, lon, lat);
      double d = Metres(latRef, lonRef, lat, lon);
      worst = std::max(worst, d);
    }
  }
  proj_destroy(p);
  std::printf("[ %s ] largest difference to PROJ within 3 deg of the meridian, 18-53 N: %.5f m\n",
              GetParam().name, worst);
  EXPECT_LE(worst, GetParam().bound);
}

TEST_P(ProjReference, RoundTripThroughProjForward) {
  const DatumParameters datum = SelectDatum(GetParam().option1);
  Projector ours(datum, kPackedL0, 0, 0);
  PJ* p = Create(kL0);
  ASSERT_NE(p, nullptr);
  double worst = 0;
  for (double lat = 18; lat <= 53; lat += 0.5) {
    for (double dlon = -3; dlon <= 3; dlon += 0.25) {
      double lonIn = kL0 + dlon;
      PJ_COORD g = proj_coord(lonIn * kDegToRad, lat * kDegToRad, 0, 0);
      PJ_COORD c = proj_trans(p, PJ_FWD, g);
      double lon = 0, latOut = 0;
      ours.LonLat(c.xy.y, c.xy.x, lon, latOut);
      worst = std::max(worst, Metres(lat, lonIn, latOut, lon));
    }
  }
  proj_destroy(p);
  std::printf("[ %s ] largest round-trip difference (PROJ forward, ours inverse): %.5f m\n",
              GetParam().name, worst);
  EXPECT_LE(worst, GetParam().bound);
}

INSTANTIATE_TEST_SUITE_P(
    BothDatums, ProjReference,
    ::testing::Values(Reference{"Beijing1954", true, "+ellps=krass", 0.00095},
                      Reference{"Xian1980", false, "+a=6378140 +rf=298.257", 0.00120}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace varnolt

#else  // no PROJ for this platform (Debian ships none for Windows)

TEST(ProjReference, SkippedWithoutProj) {
  GTEST_SKIP() << "PROJ is not available for this platform's build: the projection is "
                  "compared with PROJ only in the Linux build";
}

#endif
