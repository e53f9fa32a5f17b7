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

// Shared by both.
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

}  // namespace varnolt
