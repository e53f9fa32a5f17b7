#include "calc/fit.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/error.h"
#include "geodesy/tmerc.h"
#include "text/numtext.h"

namespace varnolt {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Drawing points carried by a known similarity, scale 1.0002 and 0.3 degrees.
std::vector<PlanePair> Carried(const PlaneSimilarity& truth, std::vector<PlanePair> pairs) {
  for (PlanePair& p : pairs) truth.Apply(p.x, p.y, p.E, p.N);
  return pairs;
}

PlaneSimilarity Truth() {
  PlaneSimilarity t;
  t.a = 1.0002 * std::cos(0.3 * kPi / 180);
  t.b = 1.0002 * std::sin(0.3 * kPi / 180);
  t.dx = 18234.567;
  t.dy = -2611.25;
  return t;
}

TEST(PlaneFit, RecoversAKnownSimilarity) {
  const PlaneSimilarity truth = Truth();
  const auto pairs = Carried(truth, {{512345.1, 3412876.3}, {498765.4, 3398123.9},
                                     {503210.7, 3420456.2}, {521987.0, 3401234.5},
                                     {489999.9, 3415555.5}});
  const PlaneSimilarity fit = FitSimilarity(pairs);
  EXPECT_NEAR(std::hypot(fit.a, fit.b), 1.0002, 1e-9);
  EXPECT_NEAR(std::atan2(fit.b, fit.a) * 180 / kPi, 0.3, 1e-9);
  EXPECT_NEAR(fit.a, truth.a, 1e-9);
  EXPECT_NEAR(fit.b, truth.b, 1e-9);
  // The shifts carry the points' millions of metres times the parameters' last bits.
  EXPECT_NEAR(fit.dx, truth.dx, 1e-5);
  EXPECT_NEAR(fit.dy, truth.dy, 1e-5);
}

TEST(PlaneFit, FailsClearlyForTooFewCoincidentOrCollinearPoints) {
  const PlaneSimilarity truth = Truth();
  auto message = [](const std::vector<PlanePair>& pairs) {
    try {
      FitSimilarity(pairs);
    } catch (const Error& e) {
      return std::string(e.what());
    }
    return std::string("no failure");
  };
  EXPECT_NE(message(Carried(truth, {{500000, 3400000}})).find("at least two"), std::string::npos);
  EXPECT_NE(message(Carried(truth, {{500000, 3400000}, {500000, 3400000}})).find("coincide"),
            std::string::npos);
  EXPECT_NE(message(Carried(truth, {{500000, 3400000}, {501000, 3401000}, {503000, 3403000}}))
                .find("one straight line"),
            std::string::npos);
}

// Control points through the whole computation: known positions from the exact
// projection of a drawing moved by the similarity, two of them fitting exactly and
// a disturbed third showing in the residuals and the RMS.
TEST(PlaneFit, ControlPointsTwoExactThenResiduals) {
  const PlaneSimilarity truth = Truth();
  const TransverseMercator wgs84(kWgs84Ellipsoid, 117);
  auto point = [&](const char* id, double x, double y) {
    double E = 0, N = 0, lon = 0, lat = 0;
    truth.Apply(x, y, E, N);
    wgs84.Inverse(E, N, lon, lat);
    // Packed DMS with the seconds to 1e-7, as a surveyor's file holds them.
    auto packed = [](double deg) {
      const double d = std::floor(deg), m = std::floor((deg - d) * 60);
      const double s = std::round(((deg - d) * 60 - m) * 60 * 1e7) / 1e7;
      return d + m / 100 + s / 10000;
    };
    ControlPoint p;
    p.id = id;
    p.X = y;
    p.Y = x;
    p.knownLat = packed(lat);
    p.knownLon = packed(lon);
    return p;
  };
  std::vector<ControlPoint> points = {point("A", 512345.1, 3412876.3),
                                      point("B", 498765.4, 3398123.9)};
  const FitResult two = ComputeFit({117, false}, points);
  for (const FitResidual& r : two.residuals) EXPECT_LT(std::hypot(r.dE, r.dN), 1e-6);
  EXPECT_NEAR(std::hypot(two.similarity.a, two.similarity.b), 1.0002, 1e-8);

  points.push_back(point("C", 503210.7, 3420456.2));
  points.back().knownLat += 0.00001;  // 0.1 second of latitude: about 3 m north
  const FitResult three = ComputeFit({117, false}, points);
  EXPECT_GT(three.rms, 1.0);
  EXPECT_LT(three.rms, 3.1);
  EXPECT_NE(three.text.find("RMS " + FixedText(three.rms, 4) + " m\r\n"), std::string::npos);
}

}  // namespace
}  // namespace varnolt
