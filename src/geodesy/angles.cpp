#include "geodesy/angles.h"

#include <cmath>

#include "base/error.h"
#include "text/numtext.h"

namespace varnolt {
namespace {

// round(x, 3): to three decimals, halves to even (the default rounding mode of
// nearbyint is to nearest, ties to even).
double RoundTo3(double x) { return std::nearbyint(x * 1000) / 1000; }

double DmsToRadians(double DFM, double pi) {
  // The degrees and minutes are 16-bit integers in the original arithmetic; a value
  // outside that range is refused rather than wrapped.
  double fl = std::floor(DFM);
  if (!std::isfinite(DFM) || fl < -32768 || fl > 32767) {
    throw Error(ErrorKind::kGeneral,
                "angle " + GeneralText(DFM) + " is not a degrees-minutes-seconds value "
                "(degrees must lie between -32768 and 32767)");
  }
  int d = static_cast<int>(fl);
  // The added thousandth of a minute makes 114.3, whose fraction times 100 comes out
  // a hair below 30, read as 30 minutes.
  int m = static_cast<int>(std::floor((DFM - std::floor(DFM)) * 100 + 0.001));
  // Seconds may come out a tiny negative number (0.29 -> 29 minutes, -1e-12 seconds);
  // that remainder enters the sum unchanged.
  double s = (DFM * 100 - std::floor(RoundTo3(DFM * 100))) * 100;
  double degrees = (m / 60.0 + d) + s / 3600;
  return degrees * pi / 180;
}

}  // namespace

double SystemPi() { return 4 * std::atan(1.0); }

std::string D_R(double DFM, double pi) { return GeneralText(DmsToRadians(DFM, pi)); }

std::string R_D1(double R, double pi) { return BareText(R * 180 / pi); }

double D_R_Value(double DFM, double pi) { return Round15(DmsToRadians(DFM, pi)); }

double R_D1_Value(double R, double pi) { return Round15(R * 180 / pi); }

}  // namespace varnolt
