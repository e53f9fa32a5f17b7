#include "geometry/curves.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "base/error.h"
#include "geometry/vector.h"
#include "text/numtext.h"

namespace varnolt {

namespace {

// De Boor's work array lives on the stack; no drawing needs a higher degree.
constexpr int kMaxDegree = 31;

[[noreturn]] void Fail(const std::string& what) {
  throw Error(ErrorKind::kGeneral, "spline: " + what);
}

// The span k with knots[k] <= t < knots[k+1] among k = p .. n-1; at the curve's end
// the last span that is not empty.
size_t FindSpan(const BSpline& s, double t) {
  const size_t p = static_cast<size_t>(s.degree);
  const size_t n = s.control.size();
  const auto first = s.knots.begin() + static_cast<std::ptrdiff_t>(p);
  const auto last = s.knots.begin() + static_cast<std::ptrdiff_t>(n);
  size_t k = static_cast<size_t>(std::upper_bound(first, last, t) - s.knots.begin());
  k = k == 0 ? 0 : k - 1;
  if (k < p) k = p;
  if (k > n - 1) k = n - 1;
  while (k > p && s.knots[k] == s.knots[k + 1]) --k;
  return k;
}

// The p + 1 basis functions that are not zero at t in span k (N_{k-p} .. N_k).
void BasisFunctions(const std::vector<double>& U, size_t k, int p, double t, double* N) {
  double left[kMaxDegree + 1];
  double right[kMaxDegree + 1];
  N[0] = 1.0;
  for (int j = 1; j <= p; ++j) {
    left[j] = t - U[k + 1 - static_cast<size_t>(j)];
    right[j] = U[k + static_cast<size_t>(j)] - t;
    double saved = 0.0;
    for (int r = 0; r < j; ++r) {
      const double temp = N[r] / (right[r + 1] + left[j - r]);
      N[r] = saved + right[r + 1] * temp;
      saved = left[j - r] * temp;
    }
    N[j] = saved;
  }
}

// One row of a banded system: its entries from column `lo` on.
struct BandRow {
  size_t lo = 0;
  std::vector<double> a;
  Point3 rhs{};
  double At(size_t col) const {
    return col >= lo && col - lo < a.size() ? a[col - lo] : 0.0;
  }
};

// Gaussian elimination with partial pivoting over rows sorted by their first
// column; each row's entries stay a narrow band, so the work grows with the row
// count, not its square.
std::vector<Point3> SolveBanded(std::vector<BandRow> rows) {
  const size_t n = rows.size();
  for (size_t k = 0; k < n; ++k) {
    size_t pivot = k;
    double best = std::fabs(rows[k].At(k));
    for (size_t r = k + 1; r < n && rows[r].lo <= k; ++r) {
      const double v = std::fabs(rows[r].At(k));
      if (v > best) {
        best = v;
        pivot = r;
      }
    }
    if (!(best > 0)) Fail("the fit points give no solvable system of control points");
    std::swap(rows[k], rows[pivot]);
    // Row k now starts at column k at the latest; make it start exactly there.
    BandRow& pk = rows[k];
    if (pk.lo < k) {
      pk.a.erase(pk.a.begin(), pk.a.begin() + static_cast<std::ptrdiff_t>(k - pk.lo));
      pk.lo = k;
    }
    const double diag = pk.a[0];
    for (size_t r = k + 1; r < n && rows[r].lo <= k; ++r) {
      BandRow& row = rows[r];
      const double f = row.At(k) / diag;
      if (f == 0) continue;
      const size_t hi = std::max(row.lo + row.a.size(), pk.lo + pk.a.size());
      if (row.lo + row.a.size() < hi) row.a.resize(hi - row.lo, 0.0);
      for (size_t c = k; c < pk.lo + pk.a.size(); ++c) row.a[c - row.lo] -= f * pk.a[c - k];
      for (int d = 0; d < 3; ++d) row.rhs[d] -= f * pk.rhs[d];
    }
  }
  std::vector<Point3> x(n);
  for (size_t k = n; k-- > 0;) {
    const BandRow& row = rows[k];
    Point3 v = row.rhs;
    for (size_t c = k + 1; c < row.lo + row.a.size(); ++c) {
      const double a = row.a[c - row.lo];
      for (int d = 0; d < 3; ++d) v[d] -= a * x[c][d];
    }
    for (int d = 0; d < 3; ++d) v[d] = v[d] / row.a[0];
    x[k] = v;
  }
  return x;
}

// The end tangents' directions from five points at each end (Akima's weights, with
// the chords extended linearly beyond the ends).
void EstimateEndTangents(const std::vector<Point3>& pts, Point3& start, Point3& end) {
  const size_t n = pts.size();
  // q[k + 2] is the chord into point k, for k = -2 .. n + 1.
  std::vector<Point3> q(n + 4);
  for (size_t k = 1; k < n; ++k) q[k + 2] = Minus(pts[k], pts[k - 1]);
  auto extend = [](const Point3& a, const Point3& b) {  // 2 a - b
    return Point3{2.0 * a[0] - b[0], 2.0 * a[1] - b[1], 2.0 * a[2] - b[2]};
  };
  q[2] = extend(q[3], q[4]);
  q[n + 2] = extend(q[n + 1], q[n]);
  q[n + 3] = extend(q[n + 2], q[n + 1]);
  q[1] = extend(q[2], q[3]);
  auto tangent = [&](size_t k) {  // the tangent at point k
    const double v1 = Length(Cross(q[k + 1], q[k + 2]));
    const double v2 = Length(Cross(q[k + 3], q[k + 4]));
    const double alpha = v1 + v2 == 0 ? 0.5 : v1 / (v1 + v2);
    const Point3& a = q[k + 2];
    const Point3& b = q[k + 3];
    return Point3{(1.0 - alpha) * a[0] + alpha * b[0], (1.0 - alpha) * a[1] + alpha * b[1],
                  (1.0 - alpha) * a[2] + alpha * b[2]};
  };
  start = tangent(0);
  end = tangent(n - 1);
}

// v turned into a vector of the given length.
Point3 ScaledTo(const Point3& v, double length, const char* which) {
  const double m = Length(v);
  if (!(m > 0) || !std::isfinite(m)) {
    Fail(std::string("the ") + which + " tangent has no direction");
  }
  return Scaled(v, length / m);
}

void CheckFinite(const std::vector<Point3>& points, const char* what) {
  for (size_t i = 0; i < points.size(); ++i) {
    for (const double v : points[i]) {
      if (!std::isfinite(v)) {
        Fail(std::string(what) + " " + std::to_string(i + 1) + " is not a finite number");
      }
    }
  }
}

}  // namespace

Point3 EllipsePoint(const Point3& center, const Point3& majorAxis, double ratio,
                    const Point3& normal, double t) {
  const Point3 minor = Cross(normal, majorAxis);
  const double minorLength = Length(minor);
  const double scale = minorLength == 0 ? 0.0 : Length(majorAxis) * ratio / minorLength;
  const double c = std::cos(t);
  const double s = std::sin(t);
  Point3 p{};
  for (int d = 0; d < 3; ++d) {
    p[d] = center[d] + majorAxis[d] * c + minor[d] * scale * s;
  }
  return p;
}

Point3 BSpline::At(double t) const {
  if (t < First()) t = First();
  if (t > Last()) t = Last();
  const size_t k = FindSpan(*this, t);
  const int p = degree;
  double d[kMaxDegree + 1][4];
  for (int j = 0; j <= p; ++j) {
    const size_t i = k - static_cast<size_t>(p) + static_cast<size_t>(j);
    const double w = weights.empty() ? 1.0 : weights[i];
    d[j][0] = control[i][0] * w;
    d[j][1] = control[i][1] * w;
    d[j][2] = control[i][2] * w;
    d[j][3] = w;
  }
  for (int r = 1; r <= p; ++r) {
    for (int j = p; j >= r; --j) {
      const size_t i = k - static_cast<size_t>(p) + static_cast<size_t>(j);
      const double alpha =
          (t - knots[i]) / (knots[i + static_cast<size_t>(p + 1 - r)] - knots[i]);
      for (int c = 0; c < 4; ++c) d[j][c] = (1.0 - alpha) * d[j - 1][c] + alpha * d[j][c];
    }
  }
  return {d[p][0] / d[p][3], d[p][1] / d[p][3], d[p][2] / d[p][3]};
}

BSpline MakeBSpline(int degree, const std::vector<double>& knots,
                    const std::vector<double>& weights, const std::vector<Point3>& control) {
  if (degree < 1 || degree > kMaxDegree) {
    Fail("degree " + std::to_string(degree) + " is outside 1 to " +
         std::to_string(kMaxDegree));
  }
  const size_t n = control.size();
  const size_t p = static_cast<size_t>(degree);
  if (n < p + 1) {
    Fail(std::to_string(n) + " control points are too few for degree " +
         std::to_string(degree) + " (at least " + std::to_string(p + 1) + ")");
  }
  if (knots.size() != n + p + 1) {
    Fail(std::to_string(knots.size()) + " knots do not fit " + std::to_string(n) +
         " control points of degree " + std::to_string(degree) + " (" +
         std::to_string(n + p + 1) + " expected)");
  }
  if (!weights.empty() && weights.size() != n) {
    Fail(std::to_string(weights.size()) + " weights for " + std::to_string(n) +
         " control points");
  }
  CheckFinite(control, "control point");
  for (size_t i = 0; i < knots.size(); ++i) {
    if (!std::isfinite(knots[i])) {
      Fail("knot " + std::to_string(i + 1) + " is not a finite number");
    }
    if (i > 0 && knots[i] < knots[i - 1]) {
      Fail("the knots decrease: knot " + std::to_string(i + 1) + " (" +
           GeneralText(knots[i]) + ") is below knot " + std::to_string(i) + " (" +
           GeneralText(knots[i - 1]) + ")");
    }
  }
  for (size_t i = 0; i < weights.size(); ++i) {
    if (!(weights[i] > 0) || !std::isfinite(weights[i])) {
      Fail("weight " + std::to_string(i + 1) + " (" + GeneralText(weights[i]) +
           ") is not a positive finite number");
    }
  }
  if (!(knots[p] < knots[n])) Fail("the knots leave the curve no extent");
  BSpline s;
  s.degree = degree;
  s.knots = knots;
  s.weights = weights;
  s.control = control;
  return s;
}

namespace {

// Consecutive repeated fit points count once.
std::vector<Point3> DistinctFitPoints(const std::vector<Point3>& fit) {
  CheckFinite(fit, "fit point");
  std::vector<Point3> pts;
  for (const Point3& p : fit) {
    if (pts.empty() || p != pts.back()) pts.push_back(p);
  }
  if (pts.size() < 2) Fail("fewer than two distinct fit points");
  return pts;
}

// Chord-length parameters on [0, 1], and the total chord length.
std::vector<double> ChordParameters(const std::vector<Point3>& pts, double& total) {
  const size_t count = pts.size();
  std::vector<double> dist(count - 1);
  total = 0.0;
  for (size_t i = 1; i < count; ++i) {
    dist[i - 1] = pt_pt(pts[i - 1], pts[i]);
    total += dist[i - 1];
  }
  if (!std::isfinite(total)) Fail("the fit points lie too far apart");
  std::vector<double> tv(count);
  double s = 0.0;
  tv[0] = 0.0;
  for (size_t i = 1; i < count; ++i) {
    s += dist[i - 1];
    tv[i] = s / total;
  }
  return tv;
}

// The rows of the cubic's control points: the curve through each fit point, with
// the two derivative conditions second and second to last, sorted by first column.
std::vector<BandRow> FitRows(const BSpline& spline, const std::vector<Point3>& pts,
                             const std::vector<double>& tv, const Point3& t0, const Point3& t1) {
  constexpr int p = 3;
  const size_t count = pts.size();
  const size_t ncp = count + 2;
  std::vector<BandRow> rows;
  rows.reserve(ncp);
  auto interpolate = [&](size_t i) {
    BandRow row;
    const size_t k = FindSpan(spline, tv[i]);
    double N[p + 1];
    BasisFunctions(spline.knots, k, p, tv[i], N);
    row.lo = k - p;
    row.a.assign(N, N + p + 1);
    row.rhs = pts[i];
    rows.push_back(std::move(row));
  };
  interpolate(0);
  {
    BandRow row;
    row.lo = 0;
    row.a = {-1.0, 1.0};
    row.rhs = Scaled(t0, spline.knots[p + 1] / p);
    rows.push_back(std::move(row));
  }
  for (size_t i = 1; i + 1 < count; ++i) interpolate(i);
  {
    BandRow row;
    row.lo = ncp - 2;
    row.a = {-1.0, 1.0};
    row.rhs = Scaled(t1, (1.0 - spline.knots[spline.knots.size() - (p + 2)]) / p);
    rows.push_back(std::move(row));
  }
  interpolate(count - 1);
  std::stable_sort(rows.begin(), rows.end(),
                   [](const BandRow& a, const BandRow& b) { return a.lo < b.lo; });
  return rows;
}

}  // namespace

BSpline BSplineFromFitPoints(const std::vector<Point3>& fit, const Point3* startTangent,
                             const Point3* endTangent) {
  const std::vector<Point3> pts = DistinctFitPoints(fit);
  const size_t count = pts.size();
  double total = 0.0;
  const std::vector<double> tv = ChordParameters(pts, total);

  Point3 t0{}, t1{};
  if (startTangent != nullptr && endTangent != nullptr) {
    t0 = *startTangent;
    t1 = *endTangent;
  } else if (count == 2) {
    t0 = t1 = Minus(pts[1], pts[0]);
  } else {
    EstimateEndTangents(pts, t0, t1);
  }
  t0 = ScaledTo(t0, total, "start");
  t1 = ScaledTo(t1, total, "end");

  // Cubic, clamped, natural knots: the inner knots are the inner parameters.
  constexpr int p = 3;
  BSpline spline;
  spline.degree = p;
  spline.knots.assign(p + 1, 0.0);
  for (size_t i = 1; i + 1 < count; ++i) spline.knots.push_back(tv[i]);
  spline.knots.insert(spline.knots.end(), p + 1, 1.0);
  spline.control.assign(count + 2, Point3{});  // FindSpan reads the count only
  spline.control = SolveBanded(FitRows(spline, pts, tv, t0, t1));
  return spline;
}

double SegmentDistance(const Point3& p, const Point3& a, const Point3& b) {
  const Point3 ab = Minus(b, a);
  const Point3 ap = Minus(p, a);
  const double len2 = ab[0] * ab[0] + ab[1] * ab[1] + ab[2] * ab[2];
  double f = 0.0;
  if (len2 > 0) {
    f = (ap[0] * ab[0] + ap[1] * ab[1] + ap[2] * ab[2]) / len2;
    if (f < 0) f = 0;
    if (f > 1) f = 1;
  }
  const Point3 q{a[0] + f * ab[0], a[1] + f * ab[1], a[2] + f * ab[2]};
  return pt_pt(p, q);
}

namespace {

class Sampler {
 public:
  Sampler(const BSpline& s, double tolerance, int64_t maxPoints)
      : s_(s), limit_(tolerance / 2), maxPoints_(maxPoints) {}

  std::vector<CurveSample> Run() {
    const double first = s_.First();
    const double last = s_.Last();
    Add({first, s_.At(first)});
    // The distinct knots inside the curve's extent bound its polynomial pieces.
    std::vector<double> breaks{first};
    for (double u : s_.knots) {
      if (u > breaks.back() && u < last) breaks.push_back(u);
    }
    breaks.push_back(last);
    // A polynomial piece of degree 3 or less strays from its chord at most 1.1 times
    // as far as its farthest probe: it starts whole. Higher degrees and weights can
    // wind more between probes: they start in quarters.
    const int kPieces = s_.degree <= 3 && s_.weights.empty() ? 1 : 4;
    // The first cut alone may exceed the limit: fail before sampling anything.
    if (static_cast<double>(breaks.size() - 1) * kPieces + 1 > static_cast<double>(maxPoints_)) {
      TooMany();
    }
    for (size_t b = 1; b < breaks.size(); ++b) {
      const double a = breaks[b - 1];
      const double step = (breaks[b] - a) / kPieces;
      CurveSample from = out_.back();
      for (int i = 1; i <= kPieces; ++i) {
        const double t = i == kPieces ? breaks[b] : a + static_cast<double>(i) * step;
        const CurveSample to{t, s_.At(t)};
        Refine(from, to, 0);
        from = to;
      }
    }
    return std::move(out_);
  }

 private:
  // Adds the samples after `from` up to `to`, halving while the chord strays.
  void Refine(const CurveSample& from, const CurveSample& to, int depth) {
    const double span = to.t - from.t;
    bool fine = depth >= 60 || !(from.t + span / 2 > from.t && from.t + span / 2 < to.t);
    if (!fine) {
      fine = true;
      for (double f : {0.25, 0.5, 0.75}) {
        const Point3 p = s_.At(from.t + f * span);
        if (!(SegmentDistance(p, from.p, to.p) <= limit_)) {
          fine = false;
          break;
        }
      }
    }
    if (fine) {
      Add(to);
      return;
    }
    const double tm = from.t + span / 2;
    const CurveSample mid{tm, s_.At(tm)};
    Refine(from, mid, depth + 1);
    Refine(mid, to, depth + 1);
  }

  void Add(const CurveSample& sample) {
    if (static_cast<int64_t>(out_.size()) >= maxPoints_) TooMany();
    out_.push_back(sample);
  }

  [[noreturn]] void TooMany() const {
    throw Error(ErrorKind::kGeneral, "spline: following it within " +
                                         GeneralText(limit_ * 2) + " m would take more than " +
                                         std::to_string(maxPoints_) + " points");
  }

  const BSpline& s_;
  double limit_;
  int64_t maxPoints_;
  std::vector<CurveSample> out_;
};

}  // namespace

std::vector<CurveSample> SampleBSpline(const BSpline& spline, double tolerance,
                                       int64_t maxPoints) {
  return Sampler(spline, tolerance, maxPoints).Run();
}

}  // namespace varnolt
