// Points projected together (Projector::Degrees over many points, the batch form)
// against the formulas as written, one point at a time (a lone point, Lstr, Bstr):
// the same bits, and a point that cannot be projected reported as that point, with
// its reason, after the points before it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/error.h"
#include "convert/convert.h"
#include "geodesy/datum.h"
#include "geodesy/projection.h"
#include "kml/document.h"
#include "text/numtext.h"

namespace varnolt {
namespace {

struct Plane {
  std::vector<double> X, Y;
  void Add(double x, double y) {
    X.push_back(x);
    Y.push_back(y);
  }
};

// Passes of the footpoint iteration a northing takes, to show that the points below
// do not all stop together.
int Passes(const DatumParameters& p, double X) {
  double B = X / p.K0;
  for (int n = 1;; ++n) {
    const double Bprev = B;
    const double b = B * p.pi / 180;
    B = (X - ((p.K1 * std::sin(2 * b) + p.K2 * std::sin(4 * b)) + p.K3 * std::sin(6 * b))) /
        p.K0;
    if (std::fabs(B - Bprev) < 1e-7) return n;
  }
}

// Random northings from the equator to 9 000 km and eastings 200 to 800 km:
// neighbouring points converge after different numbers of passes.
Plane Scattered(size_t count, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> north(0, 9e6), east(2e5, 8e5);
  Plane p;
  for (size_t i = 0; i < count; ++i) p.Add(north(rng), east(rng));
  // Exact values and the ends of the ranges too.
  for (double x : {0.0, 1.0, 3380000.0, 9e6}) {
    for (double y : {200000.0, 500000.0, 800000.0}) p.Add(x, y);
  }
  return p;
}

void ExpectSameAsOneByOne(const DatumParameters& datum, double L0, double latCorrection,
                          double lonCorrection, const Plane& p, size_t n) {
  const Projector proj(datum, L0, latCorrection, lonCorrection);
  std::vector<double> lon(n), lat(n);
  ASSERT_EQ(proj.Degrees(p.X.data(), p.Y.data(), n, lon.data(), lat.data()).count, n);
  for (size_t k = 0; k < n; ++k) {
    ASSERT_EQ(GeneralText(lon[k]), Lstr(datum, p.X[k], p.Y[k], L0, lonCorrection))
        << "point " << k << " X=" << p.X[k] << " Y=" << p.Y[k];
    ASSERT_EQ(GeneralText(lat[k]), Bstr(datum, p.X[k], p.Y[k], L0, latCorrection))
        << "point " << k << " X=" << p.X[k] << " Y=" << p.Y[k];
    std::string one;
    proj.AppendLonLat(one, p.X[k], p.Y[k]);
    ASSERT_EQ(one, GeneralText(lon[k]) + "," + GeneralText(lat[k]));
  }
}

// The batch form against the formulas as written (a lone point goes through them):
// the same bits, not only the same text.
TEST(BatchProjection, SameBitsAsTheFormulasAsWritten) {
  const Plane p = Scattered(20000, 4);
  for (bool beijing : {true, false}) {
    const DatumParameters datum = SelectDatum(beijing);
    const Projector proj(datum, 114.3, -0.0335, 0.039);
    // Every count up to a few batches, so that partial batches are covered too.
    for (size_t n : {p.X.size(), size_t{1}, size_t{3}, Projector::kBatch - 1,
                     Projector::kBatch + 1, 2 * Projector::kBatch + 5}) {
      std::vector<double> lon(n), lat(n);
      ASSERT_EQ(proj.Degrees(p.X.data(), p.Y.data(), n, lon.data(), lat.data()).count, n);
      for (size_t k = 0; k < n; ++k) {
        double plainLon = 0, plainLat = 0;
        proj.Degrees(p.X[k], p.Y[k], plainLon, plainLat);
        ASSERT_EQ(std::memcmp(&lon[k], &plainLon, sizeof plainLon), 0)
            << "point " << k << " of " << n << ": X=" << p.X[k] << " Y=" << p.Y[k];
        ASSERT_EQ(std::memcmp(&lat[k], &plainLat, sizeof plainLat), 0)
            << "point " << k << " of " << n << ": X=" << p.X[k] << " Y=" << p.Y[k];
      }
    }
  }
}

TEST(BatchProjection, SameTextAsLstrAndBstrOnBothDatums) {
  const Plane p = Scattered(20000, 1);
  const DatumParameters beijing = SelectDatum(true), xian = SelectDatum(false);
  std::set<int> passes;
  for (size_t k = 0; k < Projector::kBatch; ++k) passes.insert(Passes(beijing, p.X[k]));
  ASSERT_GE(passes.size(), 2u) << "the first batch should mix convergence speeds";
  passes.clear();
  for (double x : p.X) passes.insert(Passes(beijing, x));
  ASSERT_GE(passes.size(), 3u);

  ExpectSameAsOneByOne(beijing, 114.3, -0.0335, 0.039, p, p.X.size());
  ExpectSameAsOneByOne(xian, 117, 0, 0, p, p.X.size());
  ExpectSameAsOneByOne(beijing, 105.3015, 0.5, -0.25, p, p.X.size());
}

TEST(BatchProjection, EveryCountOfPointsUpToSeveralBatches) {
  const Plane p = Scattered(200, 2);
  const DatumParameters datum = SelectDatum(true);
  for (size_t n = 0; n <= 3 * Projector::kBatch + 1; ++n) {
    ExpectSameAsOneByOne(datum, 114.3, -0.0335, 0.039, p, n);
  }
}

// The error AppendLonLat throws for one point.
std::string ErrorOf(const Projector& proj, double X, double Y) {
  try {
    std::string out;
    proj.AppendLonLat(out, X, Y);
  } catch (const Error& e) {
    return e.what();
  }
  return "(no error)";
}

// The error the batch's reason for a point makes.
std::string ErrorOf(ProjectionFailure why, double X, double Y) {
  try {
    ThrowProjectionFailure(why, X, Y);
  } catch (const Error& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(BatchProjection, StopsAtTheFirstPointThatCannotBeProjected) {
  const DatumParameters datum = SelectDatum(true);
  const Projector proj(datum, 114.3, -0.0335, 0.039);
  const double kFarEasting = datum.FE + 2e8;
  struct Case {
    std::vector<size_t> bad;  // indices of bad points, in order
    std::vector<double> badX, badY;
  };
  const Case cases[] = {
      {{5, 9}, {NAN, 2e8}, {500000, 500000}},
      {{0}, {2e8}, {500000}},
      {{Projector::kBatch - 1, Projector::kBatch}, {3380000, NAN}, {kFarEasting, 500000}},
      {{Projector::kBatch + 2}, {3380000}, {INFINITY}},
      {{3, 4}, {-1.5e8, NAN}, {500000, NAN}},
  };
  for (const Case& c : cases) {
    Plane p = Scattered(40, 3);
    for (size_t i = 0; i < c.bad.size(); ++i) {
      p.X[c.bad[i]] = c.badX[i];
      p.Y[c.bad[i]] = c.badY[i];
    }
    const size_t n = p.X.size();
    std::vector<double> lon(n, -1), lat(n, -1);
    const size_t first = c.bad[0];
    const Projector::Projected done =
        proj.Degrees(p.X.data(), p.Y.data(), n, lon.data(), lat.data());
    ASSERT_EQ(done.count, first);
    for (size_t k = 0; k < first; ++k) {
      EXPECT_EQ(GeneralText(lon[k]), Lstr(datum, p.X[k], p.Y[k], 114.3, 0.039));
      EXPECT_EQ(GeneralText(lat[k]), Bstr(datum, p.X[k], p.Y[k], 114.3, -0.0335));
    }
    // The batch's reason is the one the point alone fails for, and the error names
    // the first bad point, not a later one.
    const std::string error = ErrorOf(proj, p.X[first], p.Y[first]);
    EXPECT_EQ(ErrorOf(done.failure, p.X[first], p.Y[first]), error);
    EXPECT_NE(error.find("cannot project the point X=" + GeneralText(p.X[first])),
              std::string::npos)
        << error;
  }
}

// The converters queue their points: a 3D polyline longer than the queue whose
// 70th vertex cannot be projected fails with that vertex's error, after the lines
// of the 69 before it, as writing point by point does.
TEST(BatchProjection, ConverterReportsTheFailingVertexAfterTheLinesBeforeIt) {
  Settings settings;
  const ConvertContext ctx = MakeConvertContext(settings);
  Polyline3d ent;
  for (int k = 0; k < 100; ++k) ent.vertices.push_back({512000.0 + 3 * k, 3380000.0 + 7 * k, 1.5});
  ent.vertices[69][1] = 2e8;  // the northing of the 70th vertex
  ent.vertices[80][0] = NAN;  // a later bad vertex
  std::string out;
  try {
    toswpline(ent, ctx, "\t\t", "line1", "#m_color1_width6", out);
    FAIL() << "expected an error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("X=200000000 m, Y=512207 m"), std::string::npos)
        << e.what();
  }
  size_t lines = 0;
  for (size_t at = out.find(",1.5\r\n"); at != std::string::npos;
       at = out.find(",1.5\r\n", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 69u);
  std::string line69;
  ctx.projector.AppendLonLat(line69, 3380000.0 + 7 * 68, 512000.0 + 3 * 68);
  EXPECT_NE(out.find("\t\t\t\t\t" + line69 + ",1.5\r\n\t\t\t\t\t"), std::string::npos);
  EXPECT_EQ(out.substr(out.size() - 5), "\t\t\t\t\t");
}

// The point lines of a Placemark, however deep its nesting and however its
// altitudes change, are the lines written one by one: head, "lon,lat", altitude
// text, CR LF. A head too long for the line buffer takes the slow way.
TEST(BatchProjection, PointLinesEqualLinesWrittenOneByOne) {
  Settings settings;
  const ConvertContext ctx = MakeConvertContext(settings);
  Polyline3d ent;
  const double altitudes[] = {1.5, 1.5, -0.0, 0.0, NAN, NAN, 1e-7, 123456.789, 1.5, -2};
  for (int k = 0; k < 300; ++k) {
    ent.vertices.push_back({512000.0 + 3.7 * k, 3380000.0 - 7.1 * k, altitudes[k / 7 % 10]});
  }
  for (size_t depth : {0, 2, 13, 40, 9000}) {
    const std::string qstab(depth, '\t');
    std::string out;
    toswpline(ent, ctx, qstab, "line1", "#m_color1_width6", out);
    std::string expected;
    AppendLineStringOpen(expected, qstab, "line1", "#m_color1_width6");
    for (size_t k = 0; k < 300; ++k) {
      const Point3& v = ent.vertices[k];
      expected += qstab + "\t\t\t";
      ctx.projector.AppendLonLat(expected, v[1], v[0]);
      expected += ',';
      expected += BareText(v[2]);
      expected += "\r\n";
    }
    AppendLineStringClose(expected, qstab);
    ASSERT_EQ(out, expected) << "nesting " << depth;
  }
}

}  // namespace
}  // namespace varnolt
