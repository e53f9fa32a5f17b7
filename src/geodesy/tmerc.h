// The transverse Mercator projection by Krueger's series in the third flattening,
// carried to n^6 (as GeographicLib and PROJ's tmerc compute it): accurate to a few
// nanometres within 4 degrees of the central meridian. Used by the opt-in methods
// (the plane fit, the seven-parameter transformation); the historic series of
// projection.h stays what conversions use by default.
#pragma once

#include "geodesy/datum.h"

namespace varnolt {

class TransverseMercator {
 public:
  // Scale 1 on the central meridian `lon0` (decimal degrees), false easting
  // `falseEasting`, no false northing.
  TransverseMercator(EllipsoidShape ellipsoid, double lon0, double falseEasting = 500000.0);

  // Longitude and latitude in decimal degrees to easting and northing in metres.
  void Forward(double lon, double lat, double& easting, double& northing) const;

  // Easting and northing in metres to longitude and latitude in decimal degrees.
  void Inverse(double easting, double northing, double& lon, double& lat) const;

 private:
  double lon0_;
  double falseEasting_;
  double e_;       // first eccentricity
  double e2_;      // e^2
  double radius_;  // rectifying radius A
  double alpha_[7];
  double beta_[7];
};

}  // namespace varnolt
