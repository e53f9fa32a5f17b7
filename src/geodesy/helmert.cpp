#include "geodesy/helmert.h"

#include <charconv>
#include <cmath>

#include "text/numtext.h"

namespace varnolt {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180;
constexpr double kArcSecond = kDeg / 3600;

// The shortest text that reads back as the same double.
std::string ExactText(double v) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, v).ptr;
  return std::string(text, end);
}

}  // namespace

Geocentric ToGeocentric(EllipsoidShape ellipsoid, double lon, double lat, double height) {
  const double f = 1 / ellipsoid.invf;
  const double e2 = f * (2 - f);
  const double sinLat = std::sin(lat * kDeg), cosLat = std::cos(lat * kDeg);
  const double N = ellipsoid.a / std::sqrt(1 - e2 * sinLat * sinLat);
  return {(N + height) * cosLat * std::cos(lon * kDeg),
          (N + height) * cosLat * std::sin(lon * kDeg), (N * (1 - e2) + height) * sinLat};
}

void FromGeocentric(EllipsoidShape ellipsoid, const Geocentric& g, double& lon, double& lat,
                    double& height) {
  const double f = 1 / ellipsoid.invf;
  const double e2 = f * (2 - f);
  const double p = std::hypot(g.x, g.y);
  lon = std::atan2(g.y, g.x) / kDeg;
  // Fixed-point iteration on the latitude; near the earth's surface each pass gains
  // about e^2 in relative error, so a handful reach the last bit.
  double phi = std::atan2(g.z, p * (1 - e2));
  double N = ellipsoid.a;
  for (int pass = 0; pass < 20; ++pass) {
    const double s = std::sin(phi);
    N = ellipsoid.a / std::sqrt(1 - e2 * s * s);
    const double next = std::atan2(g.z + e2 * N * s, p);
    const bool done = std::fabs(next - phi) < 1e-15;
    phi = next;
    if (done) break;
  }
  lat = phi / kDeg;
  const double s = std::sin(phi);
  N = ellipsoid.a / std::sqrt(1 - e2 * s * s);
  height = std::fabs(std::cos(phi)) > 1e-10 ? p / std::cos(phi) - N : std::fabs(g.z) - N * (1 - e2);
}

Geocentric Helmert::Apply(const Geocentric& g) const {
  const double sign = convention == RotationConvention::kPositionVector ? 1 : -1;
  const double ax = sign * rx * kArcSecond, ay = sign * ry * kArcSecond,
               az = sign * rz * kArcSecond;
  const double scale = 1 + ppm * 1e-6;
  return {dx + scale * (g.x - az * g.y + ay * g.z), dy + scale * (az * g.x + g.y - ax * g.z),
          dz + scale * (-ay * g.x + ax * g.y + g.z)};
}

std::optional<Helmert> ParseHelmert(std::string_view text) {
  double v[7];
  for (int k = 0; k < 7; ++k) {
    const size_t comma = text.find(',');
    if ((k < 6) != (comma != std::string_view::npos)) return std::nullopt;
    const std::string_view field = text.substr(0, comma);
    if (!ParseNumber(field, v[k]) || !std::isfinite(v[k])) return std::nullopt;
    text.remove_prefix(k < 6 ? comma + 1 : text.size());
  }
  Helmert h;
  h.dx = v[0], h.dy = v[1], h.dz = v[2], h.rx = v[3], h.ry = v[4], h.rz = v[5], h.ppm = v[6];
  return h;
}

std::string HelmertText(const Helmert& h) {
  std::string s;
  for (double v : {h.dx, h.dy, h.dz, h.rx, h.ry, h.rz, h.ppm}) {
    if (!s.empty()) s += ',';
    s += ExactText(v);
  }
  return s;
}

}  // namespace varnolt
