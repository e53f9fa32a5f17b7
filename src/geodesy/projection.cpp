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

constexpr int kMaxPasses = 100;
constexpr double kMaxNorthing = 1e8;  // metres; far beyond any drawing on the earth

std::string PointText(double X, double Y) {
  return "X=" + GeneralText(X) + " m, Y=" + GeneralText(Y) + " m";
}

Footpoint ComputeFootpoint(const DatumParameters& p, double X, double Y) {
  if (!std::isfinite(X) || !std::isfinite(Y)) {
    throw Error(ErrorKind::kGeneral, "cannot project the point " + PointText(X, Y) +
                                         ": a coordinate is not a finite number");
  }
  if (std::fabs(X) > kMaxNorthing) {
    throw Error(ErrorKind::kGeneral, "cannot project the point " + PointText(X, Y) +
                                         ": the northing lies beyond 100 000 km");
  }
  // Past this the series overflows into NaN, which would read as a pole.
  if (std::fabs(Y - p.FE) > kMaxNorthing) {
    throw Error(ErrorKind::kGeneral, "cannot project the point " + PointText(X, Y) +
                                         ": the easting lies more than 100 000 km from "
                                         "the central meridian");
  }
  Footpoint f;
  double y = Y - p.FE;

  // Footpoint latitude by fixed-point iteration on the meridian arc
  //   X = K0 B[deg] + K1 sin 2B + K2 sin 4B + K3 sin 6B.
  // Four passes suffice for any northing on the ellipsoid; the cap only guards
  // against input no drawing holds.
  double B = X / p.K0;
  int passes = 0;
  for (;;) {
    double Bprev = B;
    double b = B * p.pi / 180;
    B = (X - ((p.K1 * std::sin(2 * b) + p.K2 * std::sin(4 * b)) + p.K3 * std::sin(6 * b))) /
        p.K0;
    if (std::fabs(B - Bprev) < 1e-7) break;
    if (++passes >= kMaxPasses) {
      throw Error(ErrorKind::kGeneral, "cannot project the point " + PointText(X, Y) +
                                           ": the footpoint latitude does not converge");
    }
  }
  f.Bf = B * p.pi / 180;

  double s = std::sin(f.Bf);
  f.c = std::cos(f.Bf);
  f.t = std::tan(f.Bf);
  f.t2 = f.t * f.t;
  double N = p.a / std::sqrt(1 - p.e2 * s * s);
  f.eta2 = (f.c * f.c * p.e2) / (1 - p.e2);
  f.V = std::sqrt(1 + f.eta2);
  f.u = y / N;
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
double LongitudeRadians(const Footpoint& f, double L0rad, double X, double Y) {
  const double t2 = f.t2, eta2 = f.eta2, u = f.u;
  double P = (1 + 2 * t2) + eta2;
  double Q = (((5 + 28 * t2) + 24 * t2 * t2) + 6 * eta2) + 8 * eta2 * t2;
  double S = (u - P * u * u * u / 6) + Q * u * u * u * u * u / 120;
  double l = L0rad + S / f.c;
  if (!std::isfinite(l)) {
    throw Error(ErrorKind::kGeneral, "cannot project the point " + PointText(X, Y) +
                                         ": its footpoint lies at a pole");
  }
  return l;
}

// Radians to corrected decimal degrees: the degrees are rounded to 15 digits (the
// text of the angle conversion) before the correction is added.
double Corrected(double radians, double pi, double correctionMinutes) {
  return R_D1_Value(radians, pi) + correctionMinutes / 60;
}

}  // namespace

std::string Bstr(const DatumParameters& datum, double X, double Y, double L0,
                 double latCorrection) {
  double L0rad = D_R_Value(L0, datum.pi);
  (void)L0rad;  // unused by the latitude, but a central meridian out of range fails here too
  Footpoint f = ComputeFootpoint(datum, X, Y);
  return GeneralText(Corrected(LatitudeRadians(f), datum.pi, latCorrection));
}

std::string Lstr(const DatumParameters& datum, double X, double Y, double L0,
                 double lonCorrection) {
  double L0rad = D_R_Value(L0, datum.pi);
  Footpoint f = ComputeFootpoint(datum, X, Y);
  return GeneralText(Corrected(LongitudeRadians(f, L0rad, X, Y), datum.pi, lonCorrection));
}

Projector::Projector(const DatumParameters& datum, double L0, double latCorrection,
                     double lonCorrection)
    : datum_(datum),
      L0rad_(D_R_Value(L0, datum.pi)),
      latCorrection_(latCorrection),
      lonCorrection_(lonCorrection) {}

void Projector::LonLat(double X, double Y, double& lon, double& lat) const {
  Footpoint f = ComputeFootpoint(datum_, X, Y);
  lon = Round15(Corrected(LongitudeRadians(f, L0rad_, X, Y), datum_.pi, lonCorrection_));
  lat = Round15(Corrected(LatitudeRadians(f), datum_.pi, latCorrection_));
}

void Projector::AppendLonLat(std::string& out, double X, double Y) const {
  Footpoint f = ComputeFootpoint(datum_, X, Y);
  AppendGeneralText(out,
                    Corrected(LongitudeRadians(f, L0rad_, X, Y), datum_.pi, lonCorrection_));
  out += ',';
  AppendGeneralText(out, Corrected(LatitudeRadians(f), datum_.pi, latCorrection_));
}

}  // namespace varnolt
