// The batch form of the inverse projection (projection_batch.cpp) and the guards it
// shares with the formulas as written (projection.cpp). Internal to geodesy/.
#pragma once

#include <cmath>
#include <cstddef>

#include "geodesy/datum.h"
#include "geodesy/projection.h"

namespace varnolt::projection_detail {

// Passes of the footpoint iteration before a point is given up. Four suffice for any
// northing on the ellipsoid; the cap only guards against input no drawing holds.
inline constexpr int kMaxPasses = 100;
inline constexpr double kMaxNorthing = 1e8;  // metres; far beyond any drawing on the earth

// The checks a plane point passes before its footpoint iteration.
inline ProjectionFailure CheckPlanePoint(const DatumParameters& p, double X, double Y) {
  if (!std::isfinite(X) || !std::isfinite(Y)) return ProjectionFailure::kNotFinite;
  if (std::fabs(X) > kMaxNorthing) return ProjectionFailure::kNorthing;
  // Past this the series overflows into NaN, which would read as a pole.
  if (std::fabs(Y - p.FE) > kMaxNorthing) return ProjectionFailure::kEasting;
  return ProjectionFailure::kNone;
}

// Corrected degrees of the n points (X[k], Y[k]), Projector::kBatch side by side,
// each point with exactly the bits the formulas as written give it: Projector::Degrees.
Projector::Projected ProjectBatch(const DatumParameters& p, double L0rad,
                                  double latCorrectionDegrees, double lonCorrectionDegrees,
                                  const double* X, const double* Y, size_t n, double* lon,
                                  double* lat);

}  // namespace varnolt::projection_detail
