// The inverse projection of points side by side: Projector::Degrees of many points.
// Every step of the formulas in projection.cpp runs as a loop over a batch of
// Projector::kBatch points, two to an instruction (Pair, one point per lane), so
// the CPU overlaps one point's sines and divisions with the others' instead of
// waiting on one point's chain of dependent passes. Each point still goes through
// exactly its own operations in the written order, so it gets the bits the
// formulas as written give it; batch_projection_tests compares the two forms.
#include "geodesy/projection_batch.h"

#include <cmath>
#include <cstring>

#include "base/lanes.h"
#include "text/numtext.h"

namespace varnolt::projection_detail {
namespace {

constexpr size_t kPairs = Projector::kBatch / 2;

// The library's function of both lanes of v, of a lane only where `use` says so
// (else `otherwise`). The pair is made from the two results in registers: storing
// lanes one by one and reading the pair back would stall the CPU.
template <typename F>
Pair EachLane(F fn, Pair v, bool use0, bool use1, double otherwise) {
  const double r0 = use0 ? fn(v[0]) : otherwise;
  const double r1 = use1 ? fn(v[1]) : otherwise;
  return Pair{r0, r1};
}

double Sqrt(double x) { return std::sqrt(x); }

// The terms both formulas share, from the footpoint latitude, one lane per point.
struct Footpoints {
  Pair Bf[kPairs];    // footpoint latitude, radians
  Pair c[kPairs];     // cos Bf
  Pair t[kPairs];     // tan Bf
  Pair t2[kPairs];    // t * t
  Pair eta2[kPairs];  // eta^2 = c^2 e^2 / (1 - e^2)
  Pair V[kPairs];     // sqrt(1 + eta^2)
  Pair u[kPairs];     // y / N
};

// The footpoints of n points (n <= Projector::kBatch), each step over all points
// before the next: one point's sines and divisions overlap the others' instead of
// waiting on one point's chain at a time. The library's sin, cos, tan and sqrt are
// called point by point, only for the points that need them. A point that fails
// gets its reason in why[k]; its lanes hold numbers that mean nothing. A lane past
// n repeats the point before it and is never read.
// kFixed, when not 0, is n known to the compiler: a full batch, whose loops over the
// points it can lay out without counting.
template <size_t kFixed>
size_t ComputeFootpoints(const DatumParameters& p, const double* X, const double* Y,
                         size_t count, Footpoints& f, ProjectionFailure* why) {
  const size_t n = kFixed != 0 ? kFixed : count;
  const size_t pairs = (n + 1) / 2;
  Pair Xv[kPairs], Yv[kPairs];
  int passes[Projector::kBatch];
  bool iterating[Projector::kBatch + 1];
  size_t left = 0;
  for (size_t k = 0; k < n; ++k) {
    why[k] = CheckPlanePoint(p, X[k], Y[k]);
    iterating[k] = why[k] == ProjectionFailure::kNone;
    if (iterating[k]) ++left;
    passes[k] = 0;
  }
  iterating[n] = false;
  for (size_t j = 0; j < pairs; ++j) {
    const size_t second = 2 * j + 1 < n ? 2 * j + 1 : 2 * j;
    Xv[j] = Pair{X[2 * j], X[second]};
    Yv[j] = Pair{Y[2 * j], Y[second]};
  }

  // The footpoint iteration of projection.cpp, each point stopping on its own test.
  // The library calls of a step go in one tight loop, as few values as possible
  // live across them. Their results are kept apart by lane, so that a pair is read
  // back as two separate values (reading both lanes at once right after storing
  // them one by one stalls the CPU).
  double sines[3][2][kPairs] = {};  // sin 2b, 4b, 6b of [even or odd lane][pair]
  Pair B[kPairs];
  for (size_t j = 0; j < pairs; ++j) B[j] = Xv[j] / p.K0;
  while (left > 0) {
    double args[3][Projector::kBatch];
    for (size_t j = 0; j < pairs; ++j) {
      const Pair b = B[j] * p.pi / 180;
      const Pair b2 = 2 * b, b4 = 4 * b, b6 = 6 * b;
      std::memcpy(&args[0][2 * j], &b2, sizeof b2);
      std::memcpy(&args[1][2 * j], &b4, sizeof b4);
      std::memcpy(&args[2][2 * j], &b6, sizeof b6);
    }
    for (size_t k = 0; k < n; ++k) {
      if (!iterating[k]) continue;
      sines[0][k % 2][k / 2] = std::sin(args[0][k]);
      sines[1][k % 2][k / 2] = std::sin(args[1][k]);
      sines[2][k % 2][k / 2] = std::sin(args[2][k]);
    }
    for (size_t j = 0; j < pairs; ++j) {
      if (!iterating[2 * j] && !iterating[2 * j + 1]) continue;
      const Pair sin2b = {sines[0][0][j], sines[0][1][j]};
      const Pair sin4b = {sines[1][0][j], sines[1][1][j]};
      const Pair sin6b = {sines[2][0][j], sines[2][1][j]};
      const Pair next = (Xv[j] - ((p.K1 * sin2b + p.K2 * sin4b) + p.K3 * sin6b)) / p.K0;
      const Pair step = next - B[j];
      double lane[2] = {B[j][0], B[j][1]};
      for (size_t i = 0; i < 2; ++i) {
        const size_t k = 2 * j + i;
        if (!iterating[k]) continue;
        lane[i] = next[i];
        if (std::fabs(step[i]) < 1e-7) {
          iterating[k] = false;
          --left;
        } else if (++passes[k] >= kMaxPasses) {
          why[k] = ProjectionFailure::kNoConvergence;
          iterating[k] = false;
          --left;
        }
      }
      B[j] = Pair{lane[0], lane[1]};
    }
  }

  double Bf[Projector::kBatch];
  for (size_t j = 0; j < pairs; ++j) {
    const Pair b = B[j] * p.pi / 180;
    std::memcpy(&Bf[2 * j], &b, sizeof b);
  }
  double trig[3][2][kPairs] = {};  // sin, cos, tan of Bf
  for (size_t k = 0; k < n; ++k) {
    if (why[k] != ProjectionFailure::kNone) continue;
    trig[0][k % 2][k / 2] = std::sin(Bf[k]);
    trig[1][k % 2][k / 2] = std::cos(Bf[k]);
    trig[2][k % 2][k / 2] = std::tan(Bf[k]);
  }
  for (size_t j = 0; j < pairs; ++j) {
    const bool use0 = why[2 * j] == ProjectionFailure::kNone;
    const bool use1 = 2 * j + 1 < n && why[2 * j + 1] == ProjectionFailure::kNone;
    const Pair s = {trig[0][0][j], trig[0][1][j]};
    const Pair c = {trig[1][0][j], trig[1][1][j]};
    const Pair t = {trig[2][0][j], trig[2][1][j]};
    const Pair N = p.a / EachLane(Sqrt, 1 - p.e2 * s * s, use0, use1, 1);
    const Pair eta2 = (c * c * p.e2) / (1 - p.e2);
    f.Bf[j] = Pair{Bf[2 * j], Bf[2 * j + 1]};
    f.c[j] = c;
    f.t[j] = t;
    f.t2[j] = t * t;
    f.eta2[j] = eta2;
    f.V[j] = EachLane(Sqrt, 1 + eta2, use0, use1, 1);
    f.u[j] = (Yv[j] - p.FE) / N;
  }
  return pairs;
}

// The two series of projection.cpp, in their order of operations, lane by lane.
Pair LatitudeRadians(const Footpoints& f, size_t j) {
  const Pair t2 = f.t2[j], eta2 = f.eta2[j], u = f.u[j];
  const Pair P = ((5 + 3 * t2) + eta2) - 9 * eta2 * t2;
  const Pair Q = (61 + 90 * t2) + 45 * t2 * t2;
  const Pair S = (u * u - P * u * u * u * u / 12) + Q * u * u * u * u * u * u / 360;
  return f.Bf[j] - S * f.V[j] * f.V[j] * f.t[j] / 2;
}

Pair LongitudeRadians(const Footpoints& f, size_t j, double L0rad) {
  const Pair t2 = f.t2[j], eta2 = f.eta2[j], u = f.u[j];
  const Pair P = (1 + 2 * t2) + eta2;
  const Pair Q = (((5 + 28 * t2) + 24 * t2 * t2) + 6 * eta2) + 8 * eta2 * t2;
  const Pair S = (u - P * u * u * u / 6) + Q * u * u * u * u * u / 120;
  return L0rad + S / f.c[j];
}

// Corrected degrees of n points (n <= Projector::kBatch), in order. Stops at the
// first point that fails: `done` is its index, and its reason is returned. Radians
// become degrees as R_D1_Value has it: the degrees rounded to 15 digits (the text
// of the angle conversion), then the correction (minutes / 60) added.
template <size_t kFixed>
ProjectionFailure ProjectDegrees(const DatumParameters& p, double L0rad,
                                 double latCorrectionDegrees, double lonCorrectionDegrees,
                                 const double* X, const double* Y, size_t count, double* lon,
                                 double* lat, size_t& done) {
  const size_t n = kFixed != 0 ? kFixed : count;
  Footpoints f;
  ProjectionFailure why[Projector::kBatch];
  const size_t pairs = ComputeFootpoints<kFixed>(p, X, Y, n, f, why);
  Pair lonDegrees[kPairs], latDegrees[kPairs];
  done = n;
  for (size_t j = 0; j < pairs; ++j) {
    const Pair lonRad = LongitudeRadians(f, j, L0rad);
    for (size_t i = 0; i < 2; ++i) {
      const size_t k = 2 * j + i;
      if (k < n && why[k] == ProjectionFailure::kNone && !std::isfinite(lonRad[i])) {
        why[k] = ProjectionFailure::kPole;
      }
    }
    lonDegrees[j] = lonRad * 180 / p.pi;
    latDegrees[j] = LatitudeRadians(f, j) * 180 / p.pi;
  }
  for (size_t k = 0; k < n; ++k) {
    if (why[k] != ProjectionFailure::kNone) {
      done = k;
      break;
    }
  }
  double degrees[2 * Projector::kBatch];  // longitude, latitude of each point
  for (size_t k = 0; k < done; ++k) {
    degrees[2 * k] = lonDegrees[k / 2][k % 2];
    degrees[2 * k + 1] = latDegrees[k / 2][k % 2];
  }
  Round15Each(degrees, 2 * done);
  for (size_t k = 0; k < done; ++k) {
    lon[k] = degrees[2 * k] + lonCorrectionDegrees;
    lat[k] = degrees[2 * k + 1] + latCorrectionDegrees;
  }
  return done < n ? why[done] : ProjectionFailure::kNone;
}

}  // namespace

Projector::Projected ProjectBatch(const DatumParameters& p, double L0rad,
                                  double latCorrectionDegrees, double lonCorrectionDegrees,
                                  const double* X, const double* Y, size_t n, double* lon,
                                  double* lat) {
  constexpr size_t kBatch = Projector::kBatch;
  for (size_t first = 0; first < n; first += kBatch) {
    const size_t count = n - first < kBatch ? n - first : kBatch;
    size_t done = 0;
    const auto project = count == kBatch ? ProjectDegrees<kBatch> : ProjectDegrees<0>;
    const ProjectionFailure why =
        project(p, L0rad, latCorrectionDegrees, lonCorrectionDegrees, X + first, Y + first,
                count, lon + first, lat + first, done);
    if (why != ProjectionFailure::kNone) return {first + done, why};
  }
  return {n, ProjectionFailure::kNone};
}

}  // namespace varnolt::projection_detail
