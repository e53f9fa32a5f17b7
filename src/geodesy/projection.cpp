// The inverse projection of one point, written as the formulas are written. The
// batch form (projection_batch.cpp) must give every point exactly these bits;
// batch_projection_tests compares the two.
#include "geodesy/projection.h"

#include <cmath>

#include "base/error.h"
#include "geodesy/angles.h"
#include "geodesy/methods.h"
#include "geodesy/projection_batch.h"
#include "text/numtext.h"

namespace varnolt {

using projection_detail::CheckPlanePoint;
using projection_detail::kMaxPasses;

namespace {

// The footpoint latitude and the terms of it that both series use.
struct Footpoint {
  double Bf;    // footpoint latitude, radians
  double c;     // cos Bf
  double t;     // tan Bf
  double t2;    // t^2
  double eta2;  // eta^2
  double V;     // sqrt(1 + eta^2)
  double u;     // y / N
};

// Every line below is one formula, and its operations run exactly in the order
// written: each product left to right, each sum as bracketed. Floating point is not
// associative, so "simplifying" (u^2 taken once, Horner's form, t V^2 / 2 gathered
// first, a division turned into a product) changes the last bits of the output,
// which the documents must keep; the batch form repeats this order lane by lane.
ProjectionFailure FootpointOf(const DatumParameters& p, double X, double Y, Footpoint& f) {
  const ProjectionFailure why = CheckPlanePoint(p, X, Y);
  if (why != ProjectionFailure::kNone) return why;
  const double y = Y - p.FE;

  // Footpoint latitude by fixed-point iteration on the meridian arc
  //   X = K0 B[deg] + K1 sin 2B + K2 sin 4B + K3 sin 6B,
  // solved for B: B = (X - (K1 sin 2B + K2 sin 4B + K3 sin 6B)) / K0.
  double B = X / p.K0;
  for (int pass = 1;; ++pass) {
    const double Bprev = B;
    const double b = B * p.pi / 180;
    B = (X - ((p.K1 * std::sin(2 * b) + p.K2 * std::sin(4 * b)) + p.K3 * std::sin(6 * b))) /
        p.K0;
    if (std::fabs(B - Bprev) < 1e-7) break;
    if (pass >= kMaxPasses) return ProjectionFailure::kNoConvergence;
  }
  f.Bf = B * p.pi / 180;

  //   N = a / sqrt(1 - e^2 sin^2 Bf),  eta^2 = e^2 cos^2 Bf / (1 - e^2),
  //   V = sqrt(1 + eta^2),  u = y / N
  const double s = std::sin(f.Bf);
  f.c = std::cos(f.Bf);
  f.t = std::tan(f.Bf);
  f.t2 = f.t * f.t;
  const double N = p.a / std::sqrt(1 - p.e2 * s * s);
  f.eta2 = (f.c * f.c * p.e2) / (1 - p.e2);
  f.V = std::sqrt(1 + f.eta2);
  f.u = y / N;
  return ProjectionFailure::kNone;
}

// Latitude in radians:
//   B = Bf - (t V^2 / 2) [u^2 - (5 + 3t^2 + eta^2 - 9 eta^2 t^2) u^4 / 12
//                              + (61 + 90t^2 + 45t^4) u^6 / 360]
double LatitudeRadians(const Footpoint& f) {
  const double t2 = f.t2, eta2 = f.eta2, u = f.u;
  const double P = ((5 + 3 * t2) + eta2) - 9 * eta2 * t2;
  const double Q = (61 + 90 * t2) + 45 * t2 * t2;
  const double S = (u * u - P * u * u * u * u / 12) + Q * u * u * u * u * u * u / 360;
  return f.Bf - S * f.V * f.V * f.t / 2;
}

// Longitude in radians; not finite for a footpoint at a pole:
//   l = L0 + [u - (1 + 2t^2 + eta^2) u^3 / 6
//             + (5 + 28t^2 + 24t^4 + 6 eta^2 + 8 eta^2 t^2) u^5 / 120] / cos Bf
double LongitudeRadians(const Footpoint& f, double L0rad) {
  const double t2 = f.t2, eta2 = f.eta2, u = f.u;
  const double P = (1 + 2 * t2) + eta2;
  const double Q = (((5 + 28 * t2) + 24 * t2 * t2) + 6 * eta2) + 8 * eta2 * t2;
  const double S = (u - P * u * u * u / 6) + Q * u * u * u * u * u / 120;
  return L0rad + S / f.c;
}

// Radians to corrected decimal degrees: the degrees rounded to 15 digits, as the
// text of R_D1 reads back, then the correction (minutes / 60) added.
double Corrected(double radians, double pi, double correctionDegrees) {
  return R_D1_Value(radians, pi) + correctionDegrees;
}

std::string PointText(double X, double Y) {
  return "X=" + GeneralText(X) + " m, Y=" + GeneralText(Y) + " m";
}

}  // namespace

void ThrowProjectionFailure(ProjectionFailure why, double X, double Y) {
  const char* reason = "";
  switch (why) {
    case ProjectionFailure::kNone: break;
    case ProjectionFailure::kNotFinite: reason = "a coordinate is not a finite number"; break;
    case ProjectionFailure::kNorthing: reason = "the northing lies beyond 100 000 km"; break;
    case ProjectionFailure::kEasting:
      reason = "the easting lies more than 100 000 km from the central meridian";
      break;
    case ProjectionFailure::kNoConvergence:
      reason = "the footpoint latitude does not converge";
      break;
    case ProjectionFailure::kPole: reason = "its footpoint lies at a pole"; break;
  }
  throw Error(ErrorKind::kGeneral,
              "cannot project the point " + PointText(X, Y) + ": " + reason);
}

std::string Bstr(const DatumParameters& datum, double X, double Y, double L0,
                 double latCorrection) {
  // The latitude needs no central meridian, but one out of range fails here as in Lstr.
  D_R_Value(L0, datum.pi);
  Footpoint f;
  const ProjectionFailure why = FootpointOf(datum, X, Y, f);
  if (why != ProjectionFailure::kNone) ThrowProjectionFailure(why, X, Y);
  return GeneralText(Corrected(LatitudeRadians(f), datum.pi, latCorrection / 60));
}

std::string Lstr(const DatumParameters& datum, double X, double Y, double L0,
                 double lonCorrection) {
  const double L0rad = D_R_Value(L0, datum.pi);
  Footpoint f;
  const ProjectionFailure why = FootpointOf(datum, X, Y, f);
  if (why != ProjectionFailure::kNone) ThrowProjectionFailure(why, X, Y);
  const double l = LongitudeRadians(f, L0rad);
  if (!std::isfinite(l)) ThrowProjectionFailure(ProjectionFailure::kPole, X, Y);
  return GeneralText(Corrected(l, datum.pi, lonCorrection / 60));
}

Projector::Projector(const DatumParameters& datum, double L0, double latCorrection,
                     double lonCorrection)
    : datum_(datum),
      L0rad_(D_R_Value(L0, datum.pi)),
      latCorrectionDegrees_(latCorrection / 60),
      lonCorrectionDegrees_(lonCorrection / 60) {}

Projector::Projected Projector::Degrees(const double* X, const double* Y, size_t n,
                                        double* lon, double* lat, const double* Z) const {
  if (methods_) {
    for (size_t k = 0; k < n; ++k) methods_->Degrees(X[k], Y[k], Z ? Z[k] : 0, lon[k], lat[k]);
    return {n, ProjectionFailure::kNone};
  }
  return projection_detail::ProjectBatch(datum_, L0rad_, latCorrectionDegrees_,
                                         lonCorrectionDegrees_, X, Y, n, lon, lat);
}

void Projector::Degrees(double X, double Y, double& lon, double& lat) const {
  if (methods_) {
    methods_->Degrees(X, Y, 0, lon, lat);
    return;
  }
  Footpoint f;
  ProjectionFailure why = FootpointOf(datum_, X, Y, f);
  if (why != ProjectionFailure::kNone) ThrowProjectionFailure(why, X, Y);
  const double l = LongitudeRadians(f, L0rad_);
  if (!std::isfinite(l)) ThrowProjectionFailure(ProjectionFailure::kPole, X, Y);
  lon = Corrected(l, datum_.pi, lonCorrectionDegrees_);
  lat = Corrected(LatitudeRadians(f), datum_.pi, latCorrectionDegrees_);
}

void Projector::LonLat(double X, double Y, double& lon, double& lat) const {
  Degrees(X, Y, lon, lat);
  lon = Round15(lon);
  lat = Round15(lat);
}

void Projector::AppendLonLat(std::string& out, double X, double Y) const {
  double lon = 0, lat = 0;
  Degrees(X, Y, lon, lat);
  char text[2 * kMaxNumberText + 1];
  out.append(text, static_cast<size_t>(WriteGeneralTexts(text, lon, ',', lat) - text));
}

}  // namespace varnolt
