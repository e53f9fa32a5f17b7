// The way back from longitude and latitude to the drawing's plane: the plane point
// whose forward (the texts a conversion writes and `varnolt point` prints for it)
// gives the position. Found by Newton's method on that forward itself, started from
// the exact transverse Mercator series (tmerc.h), so that every method the forward
// knows (minute corrections, zone numbers, the four-parameter fit, seven parameters,
// GCJ-02) is undone the same way and to the bits the forward has, not by a second
// projection that would disagree with it by millimetres.
//
// Accuracy: the forward of the point found agrees with the position to
// kPlaneFinderTolerance (1e-11 degrees, about a micrometre on the ground), or Find
// throws. The forward's own texts carry 15 digits (1e-12 degrees at 100 degrees).
#pragma once

#include "geodesy/projection.h"
#include "geodesy/tmerc.h"

namespace varnolt {

inline constexpr double kPlaneFinderTolerance = 1e-11;  // degrees

class PlaneFinder {
 public:
  // `forward` (with its methods, if any) must outlive the finder. `zone`, when not 0,
  // is put in front of every easting (the forward must read zone numbers then).
  explicit PlaneFinder(const Projector& forward, int zone = 0);

  // The last point found along a run of nearby positions: a better start than the
  // series, and a Jacobian that need not be measured again, kept true along the run
  // by each step taken and the map's curvature, measured at the run's first point.
  // With both, a step of metres is predicted to well within the tolerance, and most
  // positions cost one forward. One per thread.
  struct Hint {
    bool valid = false;
    double lon = 0, lat = 0, Z = 0;  // the position asked for last
    double X = 0, Y = 0;             // its plane point
    double fLon = 0, fLat = 0;       // the forward of that point
    double J[2][2] = {};             // d(lon, lat) / d(X, Y) there
    bool curved = false;
    double H[2][2][2] = {};  // d2(lon, lat) / d(X, Y) d(X, Y), H[i][j][k]
    size_t forwards = 0;     // the forwards evaluated with this hint, to measure it by
  };

  // The plane point (X northing, Y easting with the zone number, if any) of the
  // position (decimal degrees). Z is the height the forward takes (used by the seven
  // parameters; 0 where there is none). Throws Error(kGeneral) naming the position
  // when no plane point gives it.
  void Find(double lon, double lat, double Z, double& X, double& Y, Hint* hint = nullptr) const;

  int zone() const { return zone_; }

 private:
  void Forward(double X, double Y, double Z, double& lon, double& lat,
               size_t* count = nullptr) const;
  void Start(double lon, double lat, double Z, double& X, double& Y) const;
  void Jacobian(double X, double Y, double Z, double lon, double lat, double J[2][2],
                size_t* count) const;
  void Curvature(double X, double Y, double Z, const double J[2][2], double H[2][2][2],
                 size_t* count) const;
  static void Learn(Hint& hint, double X, double Y, double fLon, double fLat);
  [[noreturn]] void Fail(double lon, double lat, const char* why) const;

  const Projector& forward_;
  int zone_;
  bool heightMatters_;  // the forward takes the height (seven parameters)
  TransverseMercator series_;  // the plane's series: WGS 84 for the fit, else the datum's
};

}  // namespace varnolt
