// Inverse Gauss-Krueger projection: a plane point of the drawing to the longitude and
// latitude texts that KML carries, shifted by the user's corrections toward WGS 84.
//
// Surveyors' convention: X is the northing (the drawing's y), Y the easting with
// the 500 000 m false easting and no zone number in front (the drawing's x).
// L0 is the central meridian as a packed DMS angle (see angles.h). Corrections are
// in minutes of arc.
//
// Accuracy: the series is truncated after u^6 (latitude) and u^5 (longitude) and the
// meridian-arc coefficients are rounded to 0.1 mm; within 3 deg of the central meridian
// the result agrees with a full transverse Mercator inverse to about a millimetre.
//
// Failures throw Error(kGeneral): a non-finite X or Y, |X| above 1e8 m, Y more than 1e8 m
// from the false easting, a footpoint iteration that has not converged in 100 passes,
// a footpoint at a pole.
//
// Two forms compute the same bits: the formulas as written, one point at a time
// (projection.cpp: Lstr, Bstr and a lone point), and points side by side in
// batches (projection_batch.cpp: Projector::Degrees of many points).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "geodesy/datum.h"

namespace varnolt {

struct ProjectionMethods;

// Latitude in decimal degrees plus latCorrection / 60, as general text.
std::string Bstr(const DatumParameters& datum, double X, double Y, double L0,
                 double latCorrection);

// Longitude in decimal degrees plus lonCorrection / 60, as general text.
std::string Lstr(const DatumParameters& datum, double X, double Y, double L0,
                 double lonCorrection);

// Why a point cannot be projected.
enum class ProjectionFailure { kNone, kNotFinite, kNorthing, kEasting, kNoConvergence, kPole };

// Throws the Error(kGeneral) that names the point and says why it cannot be
// projected (`why` is not kNone).
[[noreturn]] void ThrowProjectionFailure(ProjectionFailure why, double X, double Y);

// One run's projection: the datum, the central meridian and the corrections fixed,
// the central meridian's radians computed once. Gives exactly the bits of Lstr and
// Bstr, sharing their common part (footpoint iteration and the terms from it).
class Projector {
 public:
  Projector(const DatumParameters& datum, double L0, double latCorrection,
            double lonCorrection);

  // Appends Lstr text, ",", Bstr text.
  void AppendLonLat(std::string& out, double X, double Y) const;

  // The two numbers before they become text (already corrected and rounded).
  void LonLat(double X, double Y, double& lon, double& lat) const;

  // Points whose footpoint iterations run side by side.
  static constexpr size_t kBatch = 8;

  // What Degrees did with n points: `count` leading points projected; when that is
  // fewer than n, point `count` is the first that cannot be, for `failure`.
  struct Projected {
    size_t count = 0;
    ProjectionFailure failure = ProjectionFailure::kNone;
  };

  // The longitude and latitude in corrected degrees, the values AppendLonLat writes
  // as text, of n points, kBatch at a time: one point's footpoint iteration overlaps
  // the others' in the CPU, and every point gets the bits it gets alone. Stops at
  // the first point that cannot be projected and says why, without throwing, so that
  // the caller can write the points before it first.
  // With methods in use, the points' heights Z (may be null: 0) take part, and a
  // point that cannot be transformed throws.
  Projected Degrees(const double* X, const double* Y, size_t n, double* lon,
                    double* lat, const double* Z = nullptr) const;

  // One point's corrected degrees; throws what AppendLonLat throws.
  void Degrees(double X, double Y, double& lon, double& lat) const;

  const DatumParameters& datum() const { return datum_; }
  // The central meridian in radians and the corrections in degrees, as every point
  // uses them: what a way back from longitude and latitude starts from.
  double meridianRadians() const { return L0rad_; }
  double latCorrectionDegrees() const { return latCorrectionDegrees_; }
  double lonCorrectionDegrees() const { return lonCorrectionDegrees_; }

  // From now on every point goes through `methods` (methods.h) instead of the
  // historic series with the minute corrections; null goes back to those.
  void UseMethods(std::shared_ptr<const ProjectionMethods> methods) {
    methods_ = std::move(methods);
  }
  const ProjectionMethods* methods() const { return methods_.get(); }

 private:
  std::shared_ptr<const ProjectionMethods> methods_;
  DatumParameters datum_;
  double L0rad_;
  double latCorrectionDegrees_;  // the corrections / 60, divided once
  double lonCorrectionDegrees_;
};

}  // namespace varnolt
