#include "geodesy/plane_finder.h"

#include <cmath>

#include "base/error.h"
#include "geodesy/angles.h"
#include "geodesy/gcj02.h"
#include "geodesy/helmert.h"
#include "geodesy/methods.h"
#include "text/numtext.h"

namespace varnolt {
namespace {

constexpr double kZoneUnit = 1000000.0;
// Newton passes before a position is given up; two or three reach the tolerance.
constexpr int kMaxPasses = 12;
// The step of the measured Jacobian, metres: the forward's 15-digit texts move by
// 1e-7 m, so a metre keeps that noise seven digits down, and the map bends by less
// than a part in a million over it.
constexpr double kStep = 1.0;
// A hint farther than this (degrees) gives no start.
constexpr double kHintReach = 0.05;
// Where the curvature is measured, metres from the run's first point: far enough for
// the Jacobian to change by a thousand times its noise, near enough for the change to
// be linear.
constexpr double kCurvatureStep = 100.0;
// The shortest step that corrects the Jacobian, metres: the forward's texts carry its
// ends to about 1e-8 m, a part in ten million of this.
constexpr double kSecantReach = 0.1;

// What Find throws itself, apart from what the forward throws on the way.
class NoPlanePoint : public Error {
 public:
  explicit NoPlanePoint(const std::string& what) : Error(ErrorKind::kGeneral, what) {}
};

double MeridianDegrees(const Projector& forward, int zone) {
  if (zone != 0) return ZoneMeridian(zone).value_or(0);
  return R_D1_Value(forward.meridianRadians(), forward.datum().pi);
}

EllipsoidShape SeriesEllipsoid(const Projector& forward) {
  const ProjectionMethods* m = forward.methods();
  if (m != nullptr && m->fit) return kWgs84Ellipsoid;
  if (m != nullptr) return EllipsoidOf(m->datum);
  return {forward.datum().a, forward.datum().invf};
}

Helmert Negated(const Helmert& h) {
  Helmert n = h;
  n.dx = -h.dx, n.dy = -h.dy, n.dz = -h.dz;
  n.rx = -h.rx, n.ry = -h.ry, n.rz = -h.rz;
  n.ppm = -h.ppm;
  return n;
}

// Solves J d = r for d; false when J is singular.
bool SolveStep(const double J[2][2], double rLon, double rLat, double& dX, double& dY) {
  const double det = J[0][0] * J[1][1] - J[0][1] * J[1][0];
  if (!(std::fabs(det) > 0) || !std::isfinite(det)) return false;
  dX = (rLon * J[1][1] - rLat * J[0][1]) / det;
  dY = (J[0][0] * rLat - J[1][0] * rLon) / det;
  return std::isfinite(dX) && std::isfinite(dY);
}

}  // namespace

PlaneFinder::PlaneFinder(const Projector& forward, int zone)
    : forward_(forward),
      zone_(zone),
      heightMatters_(forward.methods() != nullptr && forward.methods()->helmert.has_value()),
      series_(SeriesEllipsoid(forward), MeridianDegrees(forward, zone)) {}

void PlaneFinder::Forward(double X, double Y, double Z, double& lon, double& lat,
                          size_t* count) const {
  if (count != nullptr) ++*count;
  if (const ProjectionMethods* m = forward_.methods()) {
    m->Degrees(X, Y, Z, lon, lat);
  } else {
    forward_.Degrees(X, Y, lon, lat);
  }
}

// The start: each method's own way back, with the exact series in place of the
// historic one (they agree to about a millimetre near the meridian).
void PlaneFinder::Start(double lon, double lat, double Z, double& X, double& Y) const {
  const ProjectionMethods* m = forward_.methods();
  double wLon = lon, wLat = lat;
  if (m != nullptr && m->gcj02) Gcj02ToWgs84(lon, lat, wLon, wLat);
  double E = 0, N = 0;
  if (m != nullptr && m->fit) {
    // E = dx + a x - b y, N = dy + b x + a y, solved for x and y.
    series_.Forward(wLon, wLat, E, N);
    const PlaneSimilarity& s = *m->fit;
    const double det = s.a * s.a + s.b * s.b;
    const double e = E - s.dx, n = N - s.dy;
    E = (s.a * e + s.b * n) / det;
    N = (s.a * n - s.b * e) / det;
  } else if (m != nullptr && m->helmert) {
    // The transformation undone by its negation, then corrected once by itself.
    const Geocentric target = ToGeocentric(kWgs84Ellipsoid, wLon, wLat, Z);
    Geocentric g = Negated(*m->helmert).Apply(target);
    const Geocentric again = m->helmert->Apply(g);
    g.x -= again.x - target.x, g.y -= again.y - target.y, g.z -= again.z - target.z;
    double dLon = 0, dLat = 0, height = 0;
    FromGeocentric(EllipsoidOf(m->datum), g, dLon, dLat, height);
    series_.Forward(dLon, dLat, E, N);
  } else {
    const double latCorrection =
        m != nullptr ? m->latCorrection / 60 : forward_.latCorrectionDegrees();
    const double lonCorrection =
        m != nullptr ? m->lonCorrection / 60 : forward_.lonCorrectionDegrees();
    series_.Forward(wLon - lonCorrection, wLat - latCorrection, E, N);
  }
  X = N;
  Y = E + zone_ * kZoneUnit;
}

// Forward differences over kStep metres: d(lon, lat) / d(X, Y) at (X, Y), whose
// forward is (lon, lat).
void PlaneFinder::Jacobian(double X, double Y, double Z, double lon, double lat,
                           double J[2][2], size_t* count) const {
  double lonX = 0, latX = 0, lonY = 0, latY = 0;
  Forward(X + kStep, Y, Z, lonX, latX, count);
  Forward(X, Y + kStep, Z, lonY, latY, count);
  J[0][0] = (lonX - lon) / kStep;
  J[0][1] = (lonY - lon) / kStep;
  J[1][0] = (latX - lat) / kStep;
  J[1][1] = (latY - lat) / kStep;
}

// The second derivatives from the Jacobians a little way along X and along Y.
void PlaneFinder::Curvature(double X, double Y, double Z, const double J[2][2],
                            double H[2][2][2], size_t* count) const {
  for (int k = 0; k < 2; ++k) {
    const double x = X + (k == 0 ? kCurvatureStep : 0);
    const double y = Y + (k == 1 ? kCurvatureStep : 0);
    double lon = 0, lat = 0, there[2][2] = {};
    Forward(x, y, Z, lon, lat, count);
    Jacobian(x, y, Z, lon, lat, there, count);
    for (int i = 0; i < 2; ++i) {
      for (int j = 0; j < 2; ++j) H[i][j][k] = (there[i][j] - J[i][j]) / kCurvatureStep;
    }
  }
}

// After a step d from the hint's point to (X, Y): the Jacobian there. The step's own
// difference of forwards fixes the Jacobian at its middle along d (a secant, true to
// third order), and the curvature carries it half a step on either side. A step
// shorter than kSecantReach is too short for its difference of 15-digit forwards to
// tell the Jacobian: the curvature alone carries it.
void PlaneFinder::Learn(Hint& hint, double X, double Y, double fLon, double fLat) {
  const double d[2] = {X - hint.X, Y - hint.Y};
  const double df[2] = {fLon - hint.fLon, fLat - hint.fLat};
  const double dd = d[0] * d[0] + d[1] * d[1];
  if (!std::isfinite(dd)) return;
  const bool secant = dd >= kSecantReach * kSecantReach;
  for (int i = 0; i < 2; ++i) {
    double M[2];  // row i of the Jacobian at the step's middle
    for (int j = 0; j < 2; ++j) {
      M[j] = hint.J[i][j] + 0.5 * (hint.H[i][j][0] * d[0] + hint.H[i][j][1] * d[1]);
    }
    const double miss = secant ? (df[i] - (M[0] * d[0] + M[1] * d[1])) / dd : 0;
    for (int j = 0; j < 2; ++j) {
      hint.J[i][j] = M[j] + miss * d[j] + 0.5 * (hint.H[i][j][0] * d[0] + hint.H[i][j][1] * d[1]);
    }
  }
}

void PlaneFinder::Fail(double lon, double lat, const char* why) const {
  throw NoPlanePoint("no point of the drawing's plane gives the position " +
                     GeneralText(lon) + ", " + GeneralText(lat) + ": " + why);
}

void PlaneFinder::Find(double lon, double lat, double Z, double& X, double& Y,
                       Hint* hint) const {
  if (!std::isfinite(lon) || !std::isfinite(lat)) Fail(lon, lat, "it is not a number");
  double J[2][2] = {};
  bool measured = false;
  const bool nearby = hint != nullptr && hint->valid && std::fabs(lon - hint->lon) < kHintReach &&
                    std::fabs(lat - hint->lat) < kHintReach;
  double fLon = 0, fLat = 0;
  size_t* const count = hint != nullptr ? &hint->forwards : nullptr;
  try {
    bool predicted = false;
    if (nearby) {
      // Along a line the last point, its Jacobian and the curvature predict this one:
      // the step d solves J(middle of d) d = r.
      for (int i = 0; i < 2; ++i) J[i][0] = hint->J[i][0], J[i][1] = hint->J[i][1];
      const double rLon = lon - hint->fLon, rLat = lat - hint->fLat;
      double dX = 0, dY = 0;
      if (!SolveStep(J, rLon, rLat, dX, dY)) dX = dY = 0;
      if (hint->curved) {
        double M[2][2];
        for (int i = 0; i < 2; ++i) {
          for (int j = 0; j < 2; ++j) {
            M[i][j] = J[i][j] + 0.5 * (hint->H[i][j][0] * dX + hint->H[i][j][1] * dY);
          }
        }
        // Within the hint's reach the curvature corrects a step by less than a part in
        // a thousand; more means a Jacobian near singular, which it would mislead.
        double mX = 0, mY = 0;
        if (SolveStep(M, rLon, rLat, mX, mY) &&
            std::hypot(mX - dX, mY - dY) <= 1e-3 * std::hypot(dX, dY)) {
          dX = mX, dY = mY;
        }
      }
      X = hint->X + dX;
      Y = hint->Y + dY;
      try {
        Forward(X, Y, Z, fLon, fLat, count);
        predicted = true;
      } catch (const Error&) {
        // Predicted off the forward's domain: start afresh below.
      }
    }
    if (!predicted) {
      Start(lon, lat, Z, X, Y);
      Forward(X, Y, Z, fLon, fLat, count);
      Jacobian(X, Y, Z, fLon, fLat, J, count);
      measured = true;
    }
    for (int pass = 0;; ++pass) {
      const double rLon = lon - fLon, rLat = lat - fLat;
      if (std::fabs(rLon) <= kPlaneFinderTolerance && std::fabs(rLat) <= kPlaneFinderTolerance) {
        break;
      }
      if (pass >= kMaxPasses) Fail(lon, lat, "Newton's method does not converge");
      // A borrowed Jacobian that has not done it in two passes is measured here.
      if (pass == 2 && !measured) {
        Jacobian(X, Y, Z, fLon, fLat, J, count);
        measured = true;
      }
      double dX = 0, dY = 0;
      if (!SolveStep(J, rLon, rLat, dX, dY)) Fail(lon, lat, "the projection is singular there");
      X += dX;
      Y += dY;
      Forward(X, Y, Z, fLon, fLat, count);
    }
  } catch (const NoPlanePoint&) {
    throw;
  } catch (const Error& e) {
    Fail(lon, lat, e.what());
  }
  if (hint == nullptr) return;
  if (nearby && !measured && (Z == hint->Z || !heightMatters_)) {
    Learn(*hint, X, Y, fLon, fLat);
  } else {
    for (int i = 0; i < 2; ++i) hint->J[i][0] = J[i][0], hint->J[i][1] = J[i][1];
    if (!nearby) {
      // A run starts here: its curvature, once. A forward that fails a little way off
      // (the edge of a method's domain) leaves the run without it.
      try {
        Curvature(X, Y, Z, J, hint->H, count);
        hint->curved = true;
      } catch (const Error&) {
        hint->curved = false;
      }
    }
  }
  hint->valid = true;
  hint->lon = lon, hint->lat = lat, hint->Z = Z;
  hint->X = X, hint->Y = Y, hint->fLon = fLon, hint->fLat = fLat;
}

}  // namespace varnolt
