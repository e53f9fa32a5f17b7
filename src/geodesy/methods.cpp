#include "geodesy/methods.h"

#include <charconv>
#include <cmath>

#include "base/error.h"
#include "geodesy/angles.h"
#include "geodesy/gcj02.h"
#include "geodesy/projection.h"
#include "geodesy/tmerc.h"
#include "text/numtext.h"

namespace varnolt {

namespace {

std::string ExactText(double v) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, v).ptr;
  return std::string(text, end);
}

}  // namespace

std::string SimilarityText(const PlaneSimilarity& s) {
  return ExactText(s.dx) + "," + ExactText(s.dy) + "," + ExactText(s.a) + "," + ExactText(s.b);
}

bool ParseSimilarity(std::string_view text, PlaneSimilarity& s) {
  double v[4];
  for (int k = 0; k < 4; ++k) {
    const size_t comma = text.find(',');
    if ((k < 3) != (comma != std::string_view::npos)) return false;
    if (!ParseNumber(text.substr(0, comma), v[k]) || !std::isfinite(v[k])) return false;
    text.remove_prefix(k < 3 ? comma + 1 : text.size());
  }
  s.dx = v[0], s.dy = v[1], s.a = v[2], s.b = v[3];
  return true;
}


const char* const kZoneRanges = "25-45 (3-degree zones) or 13-23 (6-degree zones)";

std::optional<double> ZoneMeridian(int zone) {
  if (zone >= 25 && zone <= 45) return 3.0 * zone;
  if (zone >= 13 && zone <= 23) return 6.0 * zone - 3;
  return std::nullopt;
}

struct ProjectionMethods::Plane {
  TransverseMercator exact;  // on WGS 84 for the fit, on the datum for seven parameters
  Projector historic;        // the default method, with the minute corrections
};

ProjectionMethods::ProjectionMethods() = default;
ProjectionMethods::~ProjectionMethods() = default;

const ProjectionMethods::Plane& ProjectionMethods::PlaneOf(int zone) const {
  std::unique_ptr<Plane>& plane = zone != 0 ? zone_ : setting_;
  std::call_once(zone != 0 ? zoneOnce_ : settingOnce_, [&] {
    const double pi = SystemPi();
    const double packed = zone != 0 ? *ZoneMeridian(zone) : meridianPacked;
    const double degrees = zone != 0 ? packed : R_D1_Value(D_R_Value(packed, pi), pi);
    if (fit && fitMeridian && std::fabs(degrees - *fitMeridian) > 1e-9) {
      throw Error(ErrorKind::kGeneral,
                  "the four parameters were fitted on the plane of the central meridian " +
                      GeneralText(*fitMeridian) + " degrees, but the points lie on that of " +
                      GeneralText(degrees) + " degrees: fit again with this meridian");
    }
    plane.reset(new Plane{
        TransverseMercator(fit ? kWgs84Ellipsoid : EllipsoidOf(datum), degrees),
        Projector(DatumParametersOf(datum), packed, latCorrection, lonCorrection)});
  });
  return *plane;
}

void ProjectionMethods::Degrees(double X, double Y, double Z, double& lon, double& lat) const {
  int zone = 0;
  constexpr double kZoneUnit = 1000000.0;
  if (zoneInEastings && std::isfinite(Y) && Y >= kZoneUnit) {
    const double zoneNumber = std::floor(Y / kZoneUnit);
    zone = zoneNumber < 1000 ? static_cast<int>(zoneNumber) : 0;
    if (!ZoneMeridian(zone)) {
      throw Error(ErrorKind::kGeneral, "the easting " + GeneralText(Y) +
                                           " m carries the zone number " +
                                           GeneralText(zoneNumber) + ", which no zone has: "
                                           "zones are " + kZoneRanges);
    }
    if (requiredZone != 0 && zone != requiredZone) {
      throw Error(ErrorKind::kGeneral, "the easting " + GeneralText(Y) + " m carries zone " +
                                           std::to_string(zone) + ", but the coordinate system "
                                           "is that of zone " + std::to_string(requiredZone));
    }
    int expected = 0;
    if (!seenZone_.compare_exchange_strong(expected, zone) && expected != zone) {
      throw Error(ErrorKind::kGeneral,
                  "the easting " + GeneralText(Y) + " m carries zone " + std::to_string(zone) +
                      ", other points zone " + std::to_string(expected) +
                      ": the drawing's entities lie in different zones; convert each zone "
                      "separately");
    }
    Y -= zone * kZoneUnit;  // exact: the result needs no more bits than Y has
  }
  const Plane& plane = PlaneOf(zone);

  if (fit) {
    double E = 0, N = 0;
    fit->Apply(Y, X, E, N);
    plane.exact.Inverse(E, N, lon, lat);
  } else if (helmert) {
    const EllipsoidShape ellipsoid = EllipsoidOf(datum);
    plane.exact.Inverse(Y, X, lon, lat);
    const Geocentric g =
        helmert->Apply(ToGeocentric(ellipsoid, lon, lat, std::isfinite(Z) ? Z : 0));
    double height = 0;
    FromGeocentric(kWgs84Ellipsoid, g, lon, lat, height);
  } else {
    plane.historic.Degrees(X, Y, lon, lat);
  }
  if (!std::isfinite(lon) || !std::isfinite(lat)) {
    throw Error(ErrorKind::kGeneral, "cannot project the point X=" + GeneralText(X) +
                                         " m, Y=" + GeneralText(Y) + " m");
  }
  if (gcj02) Wgs84ToGcj02(lon, lat, lon, lat);
}

}  // namespace varnolt
