// The opt-in ways from the drawing's plane to WGS 84 beside the default one (the
// historic series and the minute corrections): eastings with a zone number, the
// four-parameter plane fit, the seven-parameter transformation, and GCJ-02 output.
// A Projector given a ProjectionMethods sends every point through it; without one it
// computes exactly as before.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "geodesy/datum.h"
#include "geodesy/helmert.h"

namespace varnolt {

// A plane similarity from the drawing's (x, y) = (easting, northing) to the
// Gauss-Krueger plane (E, N) of WGS 84 with the same central meridian:
//   E = dx + a x - b y,  N = dy + b x + a y,  with a = s cos t, b = s sin t.
struct PlaneSimilarity {
  double dx = 0, dy = 0;  // metres
  double a = 1, b = 0;
  void Apply(double x, double y, double& E, double& N) const {
    E = dx + (a * x - b * y);
    N = dy + (b * x + a * y);
  }
  bool operator==(const PlaneSimilarity&) const = default;
};

// The four numbers as a settings value "dx,dy,a,b", each to the last bit, and back.
std::string SimilarityText(const PlaneSimilarity& s);
bool ParseSimilarity(std::string_view text, PlaneSimilarity& s);

// The central meridian (decimal degrees) of a Chinese Gauss-Krueger zone number:
// 3-degree zones 25-45 have 3 n, 6-degree zones 13-23 have 6 n - 3. Empty for any
// other number.
std::optional<double> ZoneMeridian(int zone);

// "25-45 (3-degree zones) or 13-23 (6-degree zones)", for messages.
extern const char* const kZoneRanges;

struct ProjectionMethods {
  Datum datum = Datum::kBeijing1954;
  double meridianPacked = 0;  // Text2, packed DMS: used for points without a zone
  double latCorrection = 0;   // minutes, for the default method only
  double lonCorrection = 0;

  // Eastings of 1 000 000 m or more are zone * 1 000 000 + easting.
  bool zoneInEastings = false;
  // When not 0, the zone every zoned easting must carry (a --crs with zone numbers).
  int requiredZone = 0;

  std::optional<PlaneSimilarity> fit;  // drawing -> WGS 84 plane, then the exact inverse
  // The central meridian (decimal degrees) the fit was made for, when known: a point
  // on another meridian's plane fails rather than land in the wrong place.
  std::optional<double> fitMeridian;
  std::optional<Helmert> helmert;      // drawing's datum -> WGS 84 through geocentric
  bool gcj02 = false;                  // the result moved to GCJ-02

  // Longitude and latitude in decimal degrees of the plane point (X northing, Y
  // easting, Z height). Throws Error(kGeneral) for a zone number no zone has, or one
  // other than the zone of the points before.
  void Degrees(double X, double Y, double Z, double& lon, double& lat) const;

  // The zone the zoned eastings carried (0 when none did).
  int SeenZone() const { return seenZone_.load(); }

  ProjectionMethods();
  ~ProjectionMethods();

 private:
  struct Plane;  // what one central meridian's points share, computed once
  const Plane& PlaneOf(int zone) const;

  mutable std::atomic<int> seenZone_{0};
  // The settings' meridian and the one zone the eastings may carry.
  mutable std::once_flag settingOnce_, zoneOnce_;
  mutable std::unique_ptr<Plane> setting_, zone_;
};

}  // namespace varnolt
