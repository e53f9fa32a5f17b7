// Ellipses and B-splines against ezdxf's evaluation of the same curves
// (data/curve_reference.txt, written by data/make_curve_reference.py), and the
// sampling's chord bound checked on dense evaluation.
#include "geometry/curves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/error.h"

namespace varnolt {
namespace {

struct Case {
  std::string kind, name;
  std::map<std::string, std::vector<double>> values;
  const std::vector<double>& operator[](const std::string& key) const { return values.at(key); }
};

std::vector<Case> ReadCases() {
  std::ifstream in(std::filesystem::path(VARNOLT_SOURCE_DIR) / "tests" / "geometry" / "data" /
                   "curve_reference.txt");
  std::vector<Case> cases;
  std::string line;
  Case current;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string key;
    words >> key;
    if (key == "ellipse" || key == "spline" || key == "fit") {
      current = Case{key, line.substr(key.size() + 1), {}};
    } else if (key == "end") {
      cases.push_back(current);
    } else {
      size_t count = 0;
      words >> count;
      std::vector<double>& v = current.values[key];
      for (size_t i = 0; i < count; ++i) {
        std::string text;
        words >> text;
        v.push_back(std::stod(text));
      }
    }
  }
  return cases;
}

Point3 Triple(const std::vector<double>& v) { return {v[0], v[1], v[2]}; }

// x, y, z, x, y, z, ... as points.
std::vector<Point3> Triples(const std::vector<double>& v) {
  std::vector<Point3> points;
  for (size_t i = 0; i + 2 < v.size(); i += 3) points.push_back({v[i], v[i + 1], v[i + 2]});
  return points;
}

BSpline SplineOf(const Case& c) {
  if (c.kind == "fit") {
    const std::vector<double>& t = c["tangents"];
    if (t.size() == 6) {
      const Point3 start{t[0], t[1], t[2]}, end{t[3], t[4], t[5]};
      return BSplineFromFitPoints(Triples(c["points"]), &start, &end);
    }
    return BSplineFromFitPoints(Triples(c["points"]));
  }
  return MakeBSpline(static_cast<int>(c["degree"][0]), c["knots"], c["weights"], Triples(c["control"]));
}

TEST(CurvesTest, PointsMatchEzdxf) {
  const std::vector<Case> cases = ReadCases();
  ASSERT_EQ(cases.size(), 22u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind + " " + c.name);
    const std::vector<double>& ev = c["eval"];
    ASSERT_GE(ev.size(), 36u);
    for (size_t i = 0; i + 3 < ev.size(); i += 4) {
      Point3 p{};
      if (c.kind == "ellipse") {
        p = EllipsePoint(Triple(c["center"]), Triple(c["major"]), c["ratio"][0],
                         Triple(c["normal"]), ev[i]);
      } else {
        p = SplineOf(c).At(ev[i]);
      }
      for (int d = 0; d < 3; ++d) EXPECT_NEAR(p[d], ev[i + 1 + d], 1e-9) << "t " << ev[i];
    }
  }
}

// Every chord between consecutive samples stays within the tolerance of the curve
// between their parameters, the samples run from the first to the last parameter,
// and halving the tolerance does not keep the count.
TEST(CurvesTest, SamplesKeepChordsWithinTolerance) {
  for (const Case& c : ReadCases()) {
    if (c.kind == "ellipse") continue;
    SCOPED_TRACE(c.name);
    const BSpline s = SplineOf(c);
    for (double tol : {0.05, 0.5}) {
      const std::vector<CurveSample> samples = SampleBSpline(s, tol, 1'000'000);
      ASSERT_GE(samples.size(), 2u);
      EXPECT_EQ(samples.front().t, s.First());
      EXPECT_EQ(samples.back().t, s.Last());
      double worst = 0;
      for (size_t i = 1; i < samples.size(); ++i) {
        ASSERT_LT(samples[i - 1].t, samples[i].t);
        for (int j = 1; j < 64; ++j) {
          const double t = samples[i - 1].t + (samples[i].t - samples[i - 1].t) * j / 64;
          worst = std::max(worst, SegmentDistance(s.At(t), samples[i - 1].p, samples[i].p));
        }
      }
      EXPECT_LE(worst, tol);
      if (c.name != "linear") {
        EXPECT_GT(worst, tol / 20) << "far finer than asked";
      }
    }
  }
}

TEST(CurvesTest, FitPointsPassThroughAndRepeatsCountOnce) {
  const std::vector<Point3> fit{{0, 0, 0}, {10, 12, 0}, {10, 12, 0}, {25, 8, 1}, {40, 20, 2}};
  const BSpline s = BSplineFromFitPoints(fit);
  EXPECT_EQ(s.control.size(), 6u);  // four distinct points and two derivative conditions
  for (const Point3& p : {Point3{0, 0, 0}, Point3{40, 20, 2}}) {
    const Point3 q = p[0] == 0 ? s.At(0) : s.At(1);
    for (int d = 0; d < 3; ++d) EXPECT_NEAR(q[d], p[d], 1e-12);
  }
  // Two points give their straight segment.
  const BSpline two = BSplineFromFitPoints({{0, 0, 0}, {8, 6, 0}});
  const Point3 mid = two.At(0.5);
  EXPECT_NEAR(mid[0], 4, 1e-12);
  EXPECT_NEAR(mid[1], 3, 1e-12);
}

TEST(CurvesTest, BadNumbersAreNamed) {
  const std::vector<Point3> cp{{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, 1, 0}};
  auto message = [](auto&& make) {
    try {
      make();
    } catch (const Error& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_NE(message([&] { MakeBSpline(3, {0, 0, 0, 0, 1, 1, 0.5, 1}, {}, cp); })
                .find("the knots decrease: knot 7 (0.5) is below knot 6 (1)"),
            std::string::npos);
  EXPECT_NE(message([&] { MakeBSpline(3, {0, 0, 0, 1, 1, 1, 1}, {}, cp); })
                .find("7 knots do not fit 4 control points of degree 3 (8 expected)"),
            std::string::npos);
  EXPECT_NE(message([&] { MakeBSpline(4, {0, 0, 0, 0, 0, 1, 1, 1, 1}, {}, cp); })
                .find("too few for degree 4"),
            std::string::npos);
  EXPECT_NE(message([&] { MakeBSpline(3, {0, 0, 0, 0, 1, 1, 1, 1}, {1, 0, 1, 1}, cp); })
                .find("weight 2 (0) is not a positive"),
            std::string::npos);
  std::vector<Point3> nan = cp;
  nan[1][1] = std::nan("");
  EXPECT_NE(message([&] { MakeBSpline(3, {0, 0, 0, 0, 1, 1, 1, 1}, {}, nan); })
                .find("control point 2 is not a finite number"),
            std::string::npos);
  EXPECT_NE(message([&] { MakeBSpline(3, {1, 1, 1, 1, 1, 1, 1, 1}, {}, cp); })
                .find("no extent"),
            std::string::npos);
  EXPECT_NE(message([&] { BSplineFromFitPoints({{5, 5, 0}, {5, 5, 0}}); }).find("fewer than two"),
            std::string::npos);
  // Following a long wavy curve to 5 cm needs more points than allowed.
  const BSpline wavy = MakeBSpline(1, {0, 0, 1, 2, 3, 3}, {},
                                   {{0, 0, 0}, {1e6, 1e6, 0}, {2e6, 0, 0}, {3e6, 1e6, 0}});
  EXPECT_NE(message([&] { SampleBSpline(MakeBSpline(3, {0, 0, 0, 0, 1, 1, 1, 1}, {},
                                                    {{0, 0, 0}, {1e7, 3e7, 0}, {2e7, -3e7, 0},
                                                     {3e7, 0, 0}}),
                                        0.05, 100); })
                .find("more than 100 points"),
            std::string::npos);
  EXPECT_EQ(SampleBSpline(wavy, 0.05, 100).size(), 4u);  // straight spans: their ends
}

}  // namespace
}  // namespace varnolt
