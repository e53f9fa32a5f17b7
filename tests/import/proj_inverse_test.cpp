// The way back against PROJ, for every datum and method: the plane point found for a
// position lies within 1 mm of where PROJ puts the position. The PROJ definitions are
// those of these commands (one position "LON LAT" a line on stdin):
//   corrections:     cs2cs +proj=longlat +ellps=krass +to +proj=tmerc +lon_0=114.5 +k=1
//                    +x_0=500000 +ellps=krass    (the position less the corrections;
//                    Xi'an 1980: +a=6378140 +rf=298.257; CGCS2000: +ellps=GRS80)
//   four-parameter:  cct +proj=pipeline +step +proj=unitconvert +xy_in=deg +xy_out=rad
//                    +step +proj=tmerc +lon_0=114.5 +x_0=500000 +ellps=WGS84
//                    +step +inv +proj=affine +xoff=DX +yoff=DY +s11=A +s12=-B +s21=B +s22=A
//   seven params:    cs2cs +proj=longlat +datum=WGS84 +to +proj=tmerc +lon_0=111 +k=1
//                    +x_0=500000 +ellps=krass +towgs84=DX,DY,DZ,RX,RY,RZ,PPM
//   GCJ-02:          the published WGS 84 of a published GCJ-02 pair, through tmerc
// and the forward of every point found gives the position back to 1e-10 degrees.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "geodesy/methods.h"
#include "geodesy/plane_finder.h"
#include "geodesy/projection.h"
#include "import/import.h"

#if VARNOLT_HAVE_PROJ
#include "proj_session.h"
#endif

namespace varnolt {
namespace {

#if VARNOLT_HAVE_PROJ

constexpr double kRad = 3.14159265358979323846 / 180;

using Proj = testing::ProjSession;

// The three datums, each with its ellipsoid as PROJ spells it.
const struct {
  Datum datum;
  const char* ellipsoid;
} kDatums[] = {{Datum::kBeijing1954, "+ellps=krass"},
               {Datum::kXian1980, "+a=6378140 +rf=298.257"},
               {Datum::kCgcs2000, "+ellps=GRS80"}};

// Positions within 3 degrees of the meridian `lon0`, 18 to 53 N; `inner` within 2.5
// degrees and up to 50 N, where the historic series itself (Xi'an 1980's rounded
// meridian-arc coefficients) stays within a millimetre of PROJ; beyond, it reaches 1.1 mm.
template <class F>
void EachPosition(double lon0, F&& f) {
  for (double lat = 18.3; lat <= 53; lat += 2.9) {
    for (double dlon = -2.95; dlon <= 3; dlon += 0.59) f(lon0 + dlon, lat, std::fabs(dlon) <= 2.5 && lat <= 50);
  }
}

// The largest distance from PROJ's position, inner and beyond, and the largest miss
// of the forward.
struct Worst {
  double metres = 0, edge = 0, degrees = 0;
  void Add(double d, bool inner) { (inner ? metres : edge) = std::max(inner ? metres : edge, d); }
};

double Metres(double lat1, double lon1, double lat2, double lon2) {
  const double dn = (lat1 - lat2) * kRad * 6371000;
  const double de = (lon1 - lon2) * kRad * 6371000 * std::cos(lat1 * kRad);
  return std::hypot(dn, de);
}

// The plane point found for (lon, lat), and the forward of it again.
void Find(const Projector& forward, const PlaneFinder& finder, double lon, double lat,
          double& X, double& Y, Worst& worst) {
  finder.Find(lon, lat, 0, X, Y);
  double l = 0, b = 0;
  if (const ProjectionMethods* m = forward.methods()) {
    m->Degrees(X, Y, 0, l, b);
  } else {
    forward.LonLat(X, Y, l, b);
  }
  worst.degrees = std::max({worst.degrees, std::fabs(l - lon), std::fabs(b - lat)});
}

// Against PROJ's plane point (E, N) of the position.
void Check(const Projector& forward, const PlaneFinder& finder, double lon, double lat,
           double E, double N, bool inner, Worst& worst) {
  double X = 0, Y = 0;
  Find(forward, finder, lon, lat, X, Y, worst);
  worst.Add(std::hypot(Y - E, X - N), inner);
}

void Report(const char* what, const Worst& w) {
  std::printf("[ %s ] way back vs PROJ: %.2e m within 2.5 deg and 50 N, %.2e m to 3 "
              "deg and 53 N; forward again: %.1e degrees\n", what, w.metres, w.edge, w.degrees);
  EXPECT_LE(w.metres, 0.001) << what;
  EXPECT_LE(w.degrees, 1e-10) << what;
}

TEST(WayBack, CorrectionsOnEveryDatumAgreeWithProj) {
  Proj proj;
  for (const auto& c : kDatums) {
    PJ* p = proj.Create(std::string("+proj=tmerc +lon_0=114.5 +k=1 +x_0=500000 ") + c.ellipsoid);
    ASSERT_NE(p, nullptr);
    const double latMin = -0.0335, lonMin = 0.039;
    Projector forward(DatumParametersOf(c.datum), 114.3, latMin, lonMin);
    PlaneFinder finder(forward);
    Worst worst;
    // Beyond 2.5 degrees and 50 N the historic series itself strays from PROJ by up to
    // 1.1 mm: the forward of PROJ's plane point misses the position by that much. The
    // way back, exact to the forward, lies no farther from PROJ than the forward does.
    double ownWorst = 0, beyondOwn = 0;
    EachPosition(114.5, [&](double lon, double lat, bool inner) {
      const PJ_COORD g = proj_trans(
          p, PJ_FWD, proj_coord((lon - lonMin / 60) * kRad, (lat - latMin / 60) * kRad, 0, 0));
      double X = 0, Y = 0, l = 0, b = 0;
      Find(forward, finder, lon, lat, X, Y, worst);
      const double found = std::hypot(Y - g.xy.x, X - g.xy.y);
      worst.Add(found, inner);
      forward.LonLat(g.xy.y, g.xy.x, l, b);
      const double own = Metres(lat, lon, b, l);
      ownWorst = std::max(ownWorst, own);
      beyondOwn = std::max(beyondOwn, found - (own * 1.01 + 2e-6));
    });
    proj_destroy(p);
    Report(c.ellipsoid, worst);
    std::printf("[ %s ] the forward of PROJ's plane point misses by up to %.2e m\n",
                c.ellipsoid, ownWorst);
    EXPECT_LE(beyondOwn, 0) << c.ellipsoid << ": the way back strays farther than the forward";
  }
}

TEST(WayBack, FourParametersAgreeWithProj) {
  Proj proj;
  const PlaneSimilarity fit{-35.2, 118.6, 0.99999873, 0.0000121};
  char def[400];
  std::snprintf(def, sizeof def,
                "+proj=pipeline +step +proj=tmerc +lon_0=114.5 +k=1 +x_0=500000 +ellps=WGS84 "
                "+step +inv +proj=affine +xoff=%.17g +yoff=%.17g +s11=%.17g +s12=%.17g "
                "+s21=%.17g +s22=%.17g",
                fit.dx, fit.dy, fit.a, -fit.b, fit.b, fit.a);
  PJ* p = proj.Create(def);
  ASSERT_NE(p, nullptr);
  for (Datum datum : {Datum::kBeijing1954, Datum::kXian1980, Datum::kCgcs2000}) {
    auto methods = std::make_shared<ProjectionMethods>();
    methods->datum = datum;
    methods->meridianPacked = 114.3;
    methods->fit = fit;
    Projector forward(DatumParametersOf(datum), 114.3, 0, 0);
    forward.UseMethods(methods);
    PlaneFinder finder(forward);
    Worst worst;
    EachPosition(114.5, [&](double lon, double lat, bool inner) {
      const PJ_COORD g = proj_trans(p, PJ_FWD, proj_coord(lon * kRad, lat * kRad, 0, 0));
      Check(forward, finder, lon, lat, g.xy.x, g.xy.y, inner, worst);
    });
    Report("four parameters", worst);
    EXPECT_LE(worst.edge, 0.001);
  }
  proj_destroy(p);
}

TEST(WayBack, SevenParametersAgreeWithProj) {
  Proj proj;
  const Helmert h{15.8, -154.4, -82.3, 0.5, -1.2, 2.3, 3.1};
  for (const auto& c : kDatums) {
    char def[300];
    std::snprintf(def, sizeof def,
                  "+proj=tmerc +k=1 +x_0=500000 +lon_0=111 %s +towgs84=%g,%g,%g,%g,%g,%g,%g "
                  "+units=m +no_defs +type=crs",
                  c.ellipsoid, h.dx, h.dy, h.dz, h.rx, h.ry, h.rz, h.ppm);
    PJ* p = proj.CrsToCrs("+proj=longlat +datum=WGS84 +no_defs +type=crs", def);
    ASSERT_NE(p, nullptr);
    auto methods = std::make_shared<ProjectionMethods>();
    methods->datum = c.datum;
    methods->meridianPacked = 111;
    methods->helmert = h;
    Projector forward(DatumParametersOf(c.datum), 111, 0, 0);
    forward.UseMethods(methods);
    PlaneFinder finder(forward);
    Worst worst;
    // PROJ takes the plane point found (height 0 on the drawing's datum, as the forward
    // does) back to WGS 84: there must be the position.
    EachPosition(111, [&](double lon, double lat, bool inner) {
      double X = 0, Y = 0;
      Find(forward, finder, lon, lat, X, Y, worst);
      const PJ_COORD g = proj_trans(p, PJ_INV, proj_coord(Y, X, 0, 0));
      worst.Add(Metres(lat, lon, g.lp.phi, g.lp.lam), inner);
    });
    proj_destroy(p);
    Report(def, worst);
    EXPECT_LE(worst.edge, 0.001);
  }
}

// The published pairs of the GCJ-02 algorithm (see methods_reference_test): the GCJ-02
// position comes back onto the plane where PROJ puts the WGS 84 one.
TEST(WayBack, Gcj02ComesBackToThePublishedWgs84) {
  Proj proj;
  const double cases[][4] = {
      {31.1774276, 121.5272106, 31.17530398364597, 121.531541859215},
      {22.543847, 113.912316, 22.540796131694766, 113.9171764808363},
      {39.911954, 116.377817, 39.91334545536069, 116.38404722455657},
  };
  for (const auto& c : cases) {
    const double lon0 = std::round(c[1] / 3) * 3;
    PJ* p = proj.Create("+proj=tmerc +k=1 +x_0=500000 +ellps=GRS80 +lon_0=" + std::to_string(lon0));
    ASSERT_NE(p, nullptr);
    auto methods = std::make_shared<ProjectionMethods>();
    methods->datum = Datum::kCgcs2000;
    methods->meridianPacked = lon0;
    methods->gcj02 = true;
    Projector forward(DatumParametersOf(Datum::kCgcs2000), lon0, 0, 0);
    forward.UseMethods(methods);
    PlaneFinder finder(forward);
    Worst worst;
    const PJ_COORD g = proj_trans(p, PJ_FWD, proj_coord(c[1] * kRad, c[0] * kRad, 0, 0));
    Check(forward, finder, c[3], c[2], g.xy.x, g.xy.y, true, worst);
    proj_destroy(p);
    Report("GCJ-02", worst);
  }
}

#endif

// With zone numbers in the eastings the plane point carries the zone of the meridian
// (a 3-degree zone first), or the --crs's, and the forward reads it back.
TEST(WayBack, ZoneNumbersGoInFrontOfTheEastings) {
  const struct {
    const char* meridian;
    const char* zone;
    double zoneUnits;
  } cases[] = {{"114", "auto", 38}, {"111", "auto", 37}, {"117", "20", 20}, {"114.3", "auto", 0}};
  for (const auto& c : cases) {
    Settings s;
    s.Text2 = c.meridian;
    s.SetExtra("zone", c.zone);
    const SettingsPlane plane(s);
    double X = 0, Y = 0, lon = 0, lat = 0;
    plane.finder().Find(115.1, 30.5, 0, X, Y);
    EXPECT_EQ(std::floor(Y / 1e6), c.zoneUnits) << c.meridian;
    plane.forward().methods()->Degrees(X, Y, 0, lon, lat);
    EXPECT_NEAR(lon, 115.1, 1e-11) << c.meridian;
    EXPECT_NEAR(lat, 30.5, 1e-11) << c.meridian;
  }
}

// A track of 5 m steps, the way a GPS walks: after the first position of a run each
// costs about one forward (the step predicted to within the tolerance), and the
// forward of every point found gives its position back.
TEST(WayBack, AWalkCostsAboutOneForwardAPosition) {
  auto method = [](auto&& set) {
    auto m = std::make_shared<ProjectionMethods>();
    m->datum = Datum::kCgcs2000;
    m->meridianPacked = 114.3;
    set(*m);
    return m;
  };
  const struct {
    const char* name;
    std::shared_ptr<ProjectionMethods> methods;
    double most;  // forwards a position at most, on the average
  } cases[] = {
      {"corrections", nullptr, 1.05},
      {"four parameters",
       method([](ProjectionMethods& m) { m.fit = PlaneSimilarity{-35.2, 118.6, 0.99999873, 0.0000121}; }),
       1.05},
      // GCJ-02's waves bend the map more within a run than its first point tells.
      {"GCJ-02", method([](ProjectionMethods& m) { m.gcj02 = true; }), 1.6},
      // The height changes at every step, which the prediction does not know.
      {"seven parameters, heights",
       method([](ProjectionMethods& m) { m.helmert = Helmert{15.8, -154.4, -82.3, 0.5, -1.2, 2.3, 3.1}; }),
       2.1},
  };
  for (const auto& c : cases) {
    Projector forward(DatumParametersOf(Datum::kBeijing1954), 114.3, -0.0335, 0.039);
    if (c.methods) forward.UseMethods(c.methods);
    const PlaneFinder finder(forward);
    uint32_t seed = 23;
    auto next = [&seed] {  // -1..1, the same on every platform
      seed = seed * 1664525u + 1013904223u;
      return static_cast<double>(seed >> 8) / (1 << 23) - 1;
    };
    double lon = 114.6, lat = 30.5, z = 20, heading = 0, worst = 0;
    const size_t n = 20000;
    size_t forwards = 0;
    PlaneFinder::Hint hint;
    for (size_t k = 0; k < n; ++k) {
      if (k % 4096 == 0) forwards += std::exchange(hint, {}).forwards;  // as the import's chunks
      heading += 0.3 * next();
      lon += 5 * std::cos(heading) / 96000;
      lat += 5 * std::sin(heading) / 111000;
      z += 0.5 * next();
      double X = 0, Y = 0, l = 0, b = 0;
      finder.Find(lon, lat, z, X, Y, &hint);
      if (c.methods) {
        c.methods->Degrees(X, Y, z, l, b);
      } else {
        forward.LonLat(X, Y, l, b);
      }
      worst = std::max({worst, std::fabs(l - lon), std::fabs(b - lat)});
    }
    forwards += hint.forwards;
    std::printf("[ %s ] %.3f forwards a position\n", c.name, double(forwards) / n);
    EXPECT_LE(double(forwards) / n, c.most) << c.name;
    EXPECT_LE(worst, kPlaneFinderTolerance) << c.name;
  }
}

#if !VARNOLT_HAVE_PROJ

TEST(WayBack, SkippedWithoutProj) {
  GTEST_SKIP() << "PROJ is not available for this platform's build: the way back is compared "
                  "with PROJ only on Linux";
}

#endif

}  // namespace
}  // namespace varnolt
