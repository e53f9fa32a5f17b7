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
      series_(SeriesEllipsoid(forward), MeridianDegrees(forward, zone)) {}

void PlaneFinder::Forward(double X, double Y, double Z, double& lon, double& lat) const {
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
                           double J[2][2]) const {
  double lonX = 0, latX = 0, lonY = 0, latY = 0;
  Forward(X + kStep, Y, Z, lonX, latX);
  Forward(X, Y + kStep, Z, lonY, latY);
  J[0][0] = (lonX - lon) / kStep;
  J[0][1] = (lonY - lon) / kStep;
  J[1][0] = (latX - lat) / kStep;
  J[1][1] = (latY - lat) / kStep;
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
  try {
    if (nearby) {
      // Along a line the last point and its Jacobian predict this one to micrometres.
      for (int i = 0; i < 2; ++i) J[i][0] = hint->J[i][0], J[i][1] = hint->J[i][1];
      double dX = 0, dY = 0;
      if (!SolveStep(J, lon - hint->lon, lat - hint->lat, dX, dY)) dX = dY = 0;
      X = hint->X + dX;
      Y = hint->Y + dY;
      Forward(X, Y, Z, fLon, fLat);
    } else {
      Start(lon, lat, Z, X, Y);
      Forward(X, Y, Z, fLon, fLat);
      Jacobian(X, Y, Z, fLon, fLat, J);
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
        Jacobian(X, Y, Z, fLon, fLat, J);
        measured = true;
      }
      double dX = 0, dY = 0;
      if (!SolveStep(J, rLon, rLat, dX, dY)) Fail(lon, lat, "the projection is singular there");
      X += dX;
      Y += dY;
      Forward(X, Y, Z, fLon, fLat);
    }
  } catch (const NoPlanePoint&) {
    throw;
  } catch (const Error& e) {
    Fail(lon, lat, e.what());
  }
  if (hint != nullptr) {
    hint->valid = true;
    hint->lon = lon, hint->lat = lat, hint->X = X, hint->Y = Y;
    for (int i = 0; i < 2; ++i) hint->J[i][0] = J[i][0], hint->J[i][1] = J[i][1];
  }
}

}  // namespace varnolt
