#include "geodesy/gcj02.h"

#include <cmath>

namespace varnolt {
namespace {

constexpr double kPi = 3.14159265358979323846;
// The Krassovsky ellipsoid the algorithm is defined on.
constexpr double kA = 6378245.0;
constexpr double kE2 = 0.00669342162296594323;

bool OutsideChina(double lon, double lat) {
  return lon < 72.004 || lon > 137.8347 || lat < 0.8293 || lat > 55.8271;
}

// The offsets in metres-like units of the published polynomials and sines, with x and
// y the longitude and latitude from 105 E, 35 N.
double LatitudeOffset(double x, double y) {
  double d = -100.0 + 2.0 * x + 3.0 * y + 0.2 * y * y + 0.1 * x * y + 0.2 * std::sqrt(std::fabs(x));
  d += (20.0 * std::sin(6.0 * x * kPi) + 20.0 * std::sin(2.0 * x * kPi)) * 2.0 / 3.0;
  d += (20.0 * std::sin(y * kPi) + 40.0 * std::sin(y / 3.0 * kPi)) * 2.0 / 3.0;
  d += (160.0 * std::sin(y / 12.0 * kPi) + 320.0 * std::sin(y * kPi / 30.0)) * 2.0 / 3.0;
  return d;
}

double LongitudeOffset(double x, double y) {
  double d = 300.0 + x + 2.0 * y + 0.1 * x * x + 0.1 * x * y + 0.1 * std::sqrt(std::fabs(x));
  d += (20.0 * std::sin(6.0 * x * kPi) + 20.0 * std::sin(2.0 * x * kPi)) * 2.0 / 3.0;
  d += (20.0 * std::sin(x * kPi) + 40.0 * std::sin(x / 3.0 * kPi)) * 2.0 / 3.0;
  d += (150.0 * std::sin(x / 12.0 * kPi) + 300.0 * std::sin(x / 30.0 * kPi)) * 2.0 / 3.0;
  return d;
}

}  // namespace

void Wgs84ToGcj02(double lon, double lat, double& gcjLon, double& gcjLat) {
  if (OutsideChina(lon, lat)) {
    gcjLon = lon;
    gcjLat = lat;
    return;
  }
  const double x = lon - 105.0, y = lat - 35.0;
  const double radLat = lat / 180.0 * kPi;
  const double s = std::sin(radLat);
  const double w = 1 - kE2 * s * s;
  const double sqrtW = std::sqrt(w);
  gcjLat = lat + (LatitudeOffset(x, y) * 180.0) / ((kA * (1 - kE2)) / (w * sqrtW) * kPi);
  gcjLon = lon + (LongitudeOffset(x, y) * 180.0) / (kA / sqrtW * std::cos(radLat) * kPi);
}

void Gcj02ToWgs84(double gcjLon, double gcjLat, double& lon, double& lat) {
  lon = gcjLon;
  lat = gcjLat;
  for (int pass = 0; pass < 30; ++pass) {
    double fLon = 0, fLat = 0;
    Wgs84ToGcj02(lon, lat, fLon, fLat);
    const double dLon = gcjLon - fLon, dLat = gcjLat - fLat;
    lon += dLon;
    lat += dLat;
    if (std::fabs(dLon) < 1e-13 && std::fabs(dLat) < 1e-13) break;
  }
}

}  // namespace varnolt
