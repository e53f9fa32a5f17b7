#include "geodesy/datum.h"

#include "geodesy/angles.h"

namespace varnolt {
namespace {

// Beijing 1954: Krassovsky 1940 ellipsoid.
constexpr double kBeijingA = 6378245.0;
constexpr double kBeijingInvF = 298.3;
constexpr double kBeijingK0 = 111134.8611;
constexpr double kBeijingK1 = -16036.4803;
constexpr double kBeijingK2 = 16.8281;

// Xi'an 1980: IAG 1975 ellipsoid.
constexpr double kXianA = 6378140.0;
constexpr double kXianInvF = 298.257;
constexpr double kXianK0 = 111133.0047;
constexpr double kXianK1 = -16038.5282;
constexpr double kXianK2 = 16.8326;

// CGCS2000: its own ellipsoid, close to GRS 1980.
constexpr double kCgcsA = 6378137.0;
constexpr double kCgcsInvF = 298.257222101;

// Shared by both historic datums.
constexpr double kK3 = -0.022;
constexpr double kFalseEasting = 500000.0;

}  // namespace

DatumParameters SelectDatum(bool option1) {
  DatumParameters p;
  p.pi = SystemPi();
  if (option1) {
    p.a = kBeijingA;
    p.invf = kBeijingInvF;
    p.K0 = kBeijingK0;
    p.K1 = kBeijingK1;
    p.K2 = kBeijingK2;
  } else {
    p.a = kXianA;
    p.invf = kXianInvF;
    p.K0 = kXianK0;
    p.K1 = kXianK1;
    p.K2 = kXianK2;
  }
  p.e2 = 1 - ((p.invf - 1) / p.invf) * ((p.invf - 1) / p.invf);
  p.K3 = kK3;
  p.FE = kFalseEasting;
  return p;
}

EllipsoidShape EllipsoidOf(Datum datum) {
  switch (datum) {
    case Datum::kBeijing1954: return {kBeijingA, kBeijingInvF};
    case Datum::kXian1980: return {kXianA, kXianInvF};
    case Datum::kCgcs2000: break;
  }
  return {kCgcsA, kCgcsInvF};
}

DatumParameters DatumParametersOf(Datum datum) {
  if (datum != Datum::kCgcs2000) return SelectDatum(datum == Datum::kBeijing1954);
  // Helmert's series of the meridian arc in the third flattening n:
  //   X(B) = a / (1 + n) [(1 + n^2/4 + n^4/64) B - 3/2 (n - n^3/8) sin 2B
  //                       + 15/16 (n^2 - n^4/4) sin 4B - 35/48 n^3 sin 6B + ...],
  // whose next term (315/512 n^4 sin 8B) stays below 0.04 mm.
  DatumParameters p;
  p.pi = SystemPi();
  p.a = kCgcsA;
  p.invf = kCgcsInvF;
  p.e2 = 1 - ((p.invf - 1) / p.invf) * ((p.invf - 1) / p.invf);
  const double f = 1 / p.invf;
  const double n = f / (2 - f);
  const double n2 = n * n;
  const double m = p.a / (1 + n);
  p.K0 = m * (1 + n2 / 4 + n2 * n2 / 64) * p.pi / 180;
  p.K1 = -m * 1.5 * (n - n2 * n / 8);
  p.K2 = m * 15.0 / 16.0 * (n2 - n2 * n2 / 4);
  p.K3 = -m * 35.0 / 48.0 * n2 * n;
  p.FE = kFalseEasting;
  return p;
}

}  // namespace varnolt
