#include "geodesy/projection.h"

#include <cmath>

#include "base/error.h"
#include "geodesy/angles.h"
#include "text/numtext.h"

namespace varnolt {
namespace {

// The terms both formulas share, from the footpoint latitude.
struct Footpoint {
  double Bf;    // footpoint latitude, radians
  double c;     // cos Bf
  double t;     // tan Bf
  double t2;    // t * t
  double eta2;  // eta^2 = c^2 e^2 / (1 - e^2)
  double V;     // sqrt(1 + eta^2)
  double u;     // y / N
};

// Why a point cannot be projected; kNone for a point that can.
enum class Failure { kNone, kNotFinite, kNorthing, kEasting, kNoConvergence, kPole };

constexpr int kMaxPasses = 100;
constexpr double kMaxNorthing = 1e8;  // metres; far beyond any drawing on the earth

std::string PointText(double X, double Y) {
  return "X=" + GeneralText(X) + " m, Y=" + GeneralText(Y) + " m";
}

[[noreturn]] void ThrowFailure(Failure why, double X, double Y) {
  const char* reason = "";
  switch (why) {
    case Failure::kNone: break;
    case Failure::kNotFinite: reason = "a coordinate is not a finite number"; break;
    case Failure::kNorthing: reason = "the northing lies beyond 100 000 km"; break;
    case Failure::kEasting:
      reason = "the easting lies more than 100 000 km from the central meridian";
      break;
    case Failure::kNoConvergence: reason = "the footpoint latitude does not converge"; break;
    case Failure::kPole: reason = "its footpoint lies at a pole"; break;
  }
  throw Error(ErrorKind::kGeneral,
              "cannot project the point " + PointText(X, Y) + ": " + reason);
}

Failure CheckPlanePoint(const DatumParameters& p, double X, double Y) {
  if (!std::isfinite(X) || !std::isfinite(Y)) return Failure::kNotFinite;
  if (std::fabs(X) > kMaxNorthing) return Failure::kNorthing;
  // Past this the series overflows into NaN, which would read as a pole.
  if (std::fabs(Y - p.FE) > kMaxNorthing) return Failure::kEasting;
  return Failure::kNone;
}

// The footpoints of n points (n <= Projector::kBatch) side by side: each step is a
// loop over the points, so the CPU overlaps one point's sines and divisions with
// the other points' instead of waiting on one point's chain at a time, while every
// point goes through exactly the operations it would alone. A point that fails
// gets its reason in why[k] and no footpoint.
void ComputeFootpoints(const DatumParameters& p, const double* X, const double* Y, size_t n,
                       Footpoint* f, Failure* why) {
  double B[Projector::kBatch];
  int passes[Projector::kBatch];
  bool iterating[Projector::kBatch];
  size_t left = 0;
  for (size_t k = 0; k < n; ++k) {
    why[k] = CheckPlanePoint(p, X[k], Y[k]);
    iterating[k] = why[k] == Failure::kNone;
    if (iterating[k]) ++left;
    B[k] = X[k] / p.K0;
    passes[k] = 0;
  }

  // Footpoint latitude by fixed-point iteration on the meridian arc
  //   X = K0 B[deg] + K1 sin 2B + K2 sin 4B + K3 sin 6B.
  // Each point stops on its own test. Four passes suffice for any northing on the
  // ellipsoid; the cap only guards against input no drawing holds.
  double b[Projector::kBatch], sin2b[Projector::kBatch], sin4b[Projector::kBatch],
      sin6b[Projector::kBatch];
  while (left > 0) {
    for (size_t k = 0; k < n; ++k) {
      if (iterating[k]) b[k] = B[k] * p.pi / 180;
    }
    for (size_t k = 0; k < n; ++k) {
      if (!iterating[k]) continue;
      sin2b[k] = std::sin(2 * b[k]);
      sin4b[k] = std::sin(4 * b[k]);
      sin6b[k] = std::sin(6 * b[k]);
    }
    for (size_t k = 0; k < n; ++k) {
      if (!iterating[k]) continue;
      const double Bprev = B[k];
      B[k] = (X[k] - ((p.K1 * sin2b[k] + p.K2 * sin4b[k]) + p.K3 * sin6b[k])) / p.K0;
      if (std::fabs(B[k] - Bprev) < 1e-7) {
        iterating[k] = false;
        --left;
      } else if (++passes[k] >= kMaxPasses) {
        why[k] = Failure::kNoConvergence;
        iterating[k] = false;
        --left;
      }
    }
  }

  for (size_t k = 0; k < n; ++k) {
    if (why[k] != Failure::kNone) continue;
    const double y = Y[k] - p.FE;
    f[k].Bf = B[k] * p.pi / 180;
    const double s = std::sin(f[k].Bf);
    f[k].c = std::cos(f[k].Bf);
    f[k].t = std::tan(f[k].Bf);
    f[k].t2 = f[k].t * f[k].t;
    const double N = p.a / std::sqrt(1 - p.e2 * s * s);
    f[k].eta2 = (f[k].c * f[k].c * p.e2) / (1 - p.e2);
    f[k].V = std::sqrt(1 + f[k].eta2);
    f[k].u = y / N;
  }
}

Footpoint ComputeFootpoint(const DatumParameters& p, double X, double Y) {
  Footpoint f;
  Failure why = Failure::kNone;
  ComputeFootpoints(p, &X, &Y, 1, &f, &why);
  if (why != Failure::kNone) ThrowFailure(why, X, Y);
  return f;
}

// Latitude in radians. The products run left to right exactly as written:
//   B = Bf - (t V^2 / 2) [u^2 - (5 + 3t^2 + eta^2 - 9 eta^2 t^2) u^4 / 12
//                              + (61 + 90t^2 + 45t^4) u^6 / 360]
// Regrouping the terms would change the last bits of the output.
double LatitudeRadians(const Footpoint& f) {
  const double t2 = f.t2, eta2 = f.eta2, u = f.u;
  double P = ((5 + 3 * t2) + eta2) - 9 * eta2 * t2;
  double Q = (61 + 90 * t2) + 45 * t2 * t2;
  double S = (u * u - P * u * u * u * u / 12) + Q * u * u * u * u * u * u / 360;
  return f.Bf - S * f.V * f.V * f.t / 2;
}

// Longitude in radians, same rule:
//   l = L0 + [u - (1 + 2t^2 + eta^2) u^3 / 6
//             + (5 + 28t^2 + 24t^4 + 6 eta^2 + 8 eta^2 t^2) u^5 / 120] / cos Bf
// Not finite for a footpoint at a pole.
double LongitudeRadians(const Footpoint& f, double L0rad) {
  const double t2 = f.t2, eta2 = f.eta2, u = f.u;
  double P = (1 + 2 * t2) + eta2;
  double Q = (((5 + 28 * t2) + 24 * t2 * t2) + 6 * eta2) + 8 * eta2 * t2;
  double S = (u - P * u * u * u / 6) + Q * u * u * u * u * u / 120;
  return L0rad + S / f.c;
}

// Radians to corrected decimal degrees: the degrees are rounded to 15 digits (the
// text of the angle conversion) before the correction (minutes / 60) is added.
double Corrected(double radians, double pi, double correctionDegrees) {
  return R_D1_Value(radians, pi) + correctionDegrees;
}

}  // namespace

std::string Bstr(const DatumParameters& datum, double X, double Y, double L0,
                 double latCorrection) {
  double L0rad = D_R_Value(L0, datum.pi);
  (void)L0rad;  // unused by the latitude, but a central meridian out of range fails here too
  Footpoint f = ComputeFootpoint(datum, X, Y);
  return GeneralText(Corrected(LatitudeRadians(f), datum.pi, latCorrection / 60));
}

std::string Lstr(const DatumParameters& datum, double X, double Y, double L0,
                 double lonCorrection) {
  double L0rad = D_R_Value(L0, datum.pi);
  Footpoint f = ComputeFootpoint(datum, X, Y);
  const double l = LongitudeRadians(f, L0rad);
  if (!std::isfinite(l)) ThrowFailure(Failure::kPole, X, Y);
  return GeneralText(Corrected(l, datum.pi, lonCorrection / 60));
}

Projector::Projector(const DatumParameters& datum, double L0, double latCorrection,
                     double lonCorrection)
    : datum_(datum),
      L0rad_(D_R_Value(L0, datum.pi)),
      latCorrectionDegrees_(latCorrection / 60),
      lonCorrectionDegrees_(lonCorrection / 60) {}

namespace {

// Corrected degrees of n points (n <= Projector::kBatch), in order. Stops at the
// first point that fails: `done` is its index, and its reason is returned.
Failure ProjectDegrees(const DatumParameters& p, double L0rad, double latCorrectionDegrees,
                       double lonCorrectionDegrees, const double* X, const double* Y,
                       size_t n, double* lon, double* lat, size_t& done) {
  Footpoint f[Projector::kBatch];
  Failure why[Projector::kBatch];
  ComputeFootpoints(p, X, Y, n, f, why);
  // Stage by stage over the points, like the footpoints, so that the divisions and
  // roundings of different points overlap.
  double lonRad[Projector::kBatch], latRad[Projector::kBatch];
  for (size_t k = 0; k < n; ++k) {
    if (why[k] != Failure::kNone) continue;
    lonRad[k] = LongitudeRadians(f[k], L0rad);
    latRad[k] = LatitudeRadians(f[k]);
    if (!std::isfinite(lonRad[k])) why[k] = Failure::kPole;
  }
  for (done = 0; done < n; ++done) {
    if (why[done] != Failure::kNone) break;
  }
  for (size_t k = 0; k < done; ++k) {
    lon[k] = Corrected(lonRad[k], p.pi, lonCorrectionDegrees);
    lat[k] = Corrected(latRad[k], p.pi, latCorrectionDegrees);
  }
  if (done < n) return why[done];
  return Failure::kNone;
}

}  // namespace

size_t Projector::Degrees(const double* X, const double* Y, size_t n, double* lon,
                          double* lat) const {
  for (size_t first = 0; first < n; first += kBatch) {
    const size_t count = n - first < kBatch ? n - first : kBatch;
    size_t done = 0;
    if (ProjectDegrees(datum_, L0rad_, latCorrectionDegrees_, lonCorrectionDegrees_,
                       X + first, Y + first, count, lon + first, lat + first,
                       done) != Failure::kNone) {
      return first + done;
    }
  }
  return n;
}

void Projector::Degrees(double X, double Y, double& lon, double& lat) const {
  size_t done = 0;
  const Failure why = ProjectDegrees(datum_, L0rad_, latCorrectionDegrees_,
                                     lonCorrectionDegrees_, &X, &Y, 1, &lon, &lat, done);
  if (why != Failure::kNone) ThrowFailure(why, X, Y);
}

void Projector::LonLat(double X, double Y, double& lon, double& lat) const {
  Degrees(X, Y, lon, lat);
  lon = Round15(lon);
  lat = Round15(lat);
}

void Projector::AppendLonLat(std::string& out, double X, double Y) const {
  double lon = 0, lat = 0;
  Degrees(X, Y, lon, lat);
  AppendGeneralText(out, lon);
  out += ',';
  AppendGeneralText(out, lat);
}

}  // namespace varnolt
