// Geocentric coordinates and the seven-parameter (Bursa-Wolf) transformation between
// two datums' geocentric frames.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "geodesy/datum.h"

namespace varnolt {

struct Geocentric {
  double x = 0, y = 0, z = 0;  // metres
};

// Longitude and latitude in decimal degrees, ellipsoidal height in metres.
Geocentric ToGeocentric(EllipsoidShape ellipsoid, double lon, double lat, double height);
void FromGeocentric(EllipsoidShape ellipsoid, const Geocentric& g, double& lon, double& lat,
                    double& height);

// The two sign conventions of the rotations. Position vector is PROJ's +towgs84 and
// EPSG method 9606; coordinate frame (EPSG 9607) turns the same numbers the other way.
enum class RotationConvention { kPositionVector, kCoordinateFrame };

struct Helmert {
  double dx = 0, dy = 0, dz = 0;  // metres
  double rx = 0, ry = 0, rz = 0;  // arc-seconds
  double ppm = 0;                 // scale difference, parts per million
  RotationConvention convention = RotationConvention::kPositionVector;

  // The small-angle form PROJ applies for +towgs84:
  //   X' = T + (1 + ppm 1e-6) R X,  R = [1 -rz ry; rz 1 -rx; -ry rx 1] (position vector).
  Geocentric Apply(const Geocentric& g) const;
  bool operator==(const Helmert&) const = default;
};

// "dx,dy,dz,rx,ry,rz,ppm": seven numbers separated by commas. Empty when the text is
// not that.
std::optional<Helmert> ParseHelmert(std::string_view text);

// The seven numbers as ParseHelmert reads them back, each to the last bit.
std::string HelmertText(const Helmert& h);

}  // namespace varnolt
