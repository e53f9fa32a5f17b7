// The Chinese geodetic datums of the Gauss-Krueger plane: ellipsoid, meridian-arc
// coefficients and false easting.
#pragma once

namespace varnolt {

struct DatumParameters {
  double a = 0;     // semi-major axis, metres
  double invf = 0;  // inverse flattening
  double e2 = 0;    // first eccentricity squared, 1 - ((1/f - 1) / (1/f))^2
  // Meridian arc from the equator to latitude B, metres:
  //   X(B) = K0 * B[deg] + K1 * sin 2B + K2 * sin 4B + K3 * sin 6B
  double K0 = 0, K1 = 0, K2 = 0, K3 = 0;
  double FE = 0;    // false easting, metres
  double pi = 0;    // 4 * atan(1)
};

// Beijing 1954 (Krassovsky 1940 ellipsoid) when `option1` (the datum button
// "北京54") is selected, otherwise Xi'an 1980 (IAG 1975 ellipsoid).
DatumParameters SelectDatum(bool option1);

enum class Datum { kBeijing1954, kXian1980, kCgcs2000 };

// The parameters of a datum. Beijing 1954 and Xi'an 1980 are SelectDatum's, with
// their published (rounded) coefficients. CGCS2000 (a = 6378137 m, 1/f = 298.257222101)
// gets its meridian-arc coefficients computed from the ellipsoid in double precision.
DatumParameters DatumParametersOf(Datum datum);

// The semi-major axis and inverse flattening of a datum's ellipsoid.
struct EllipsoidShape {
  double a = 0;
  double invf = 0;
};
EllipsoidShape EllipsoidOf(Datum datum);
inline constexpr EllipsoidShape kWgs84Ellipsoid{6378137.0, 298.257223563};

}  // namespace varnolt
