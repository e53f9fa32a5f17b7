// The four-parameter plane fit: from control points whose drawing coordinates and
// WGS 84 latitude and longitude are both known, the plane similarity (two shifts, a
// scale and a rotation) that carries the drawing onto the Gauss-Krueger plane of
// WGS 84 with the same central meridian, by least squares.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "calc/correction.h"
#include "geodesy/methods.h"

namespace varnolt {

// One pair: the drawing's (x easting, y northing) and the plane's (E, N).
struct PlanePair {
  double x = 0, y = 0, E = 0, N = 0;
};

// The least-squares similarity of two or more pairs, computed on coordinates centred
// on their means (they are millions of metres). Throws Error(kGeneral) for fewer than
// two points, drawing points that coincide, or three or more on one line.
PlaneSimilarity FitSimilarity(const std::vector<PlanePair>& pairs);

struct FitResidual {
  std::string id;
  double dE = 0, dN = 0;  // fitted minus known, metres
};

struct FitResult {
  PlaneSimilarity similarity;
  double meridian = 0;  // decimal degrees
  int zone = 0;         // the zone the eastings carried, 0 for none
  std::vector<FitResidual> residuals;
  double rms = 0;       // root mean square of the residual distances, metres
  std::string text;     // the report, UTF-8, CR LF
};

// How the points' plane is read: the central meridian (packed DMS) and whether
// eastings of 1 000 000 m or more carry a zone number (which then gives the meridian).
struct FitPlane {
  double meridianPacked = 0;
  bool zoneInEastings = false;
};

// Projects the known positions forward on WGS 84 and fits. Throws Error(kGeneral).
FitResult ComputeFit(const FitPlane& plane, const std::vector<ControlPoint>& points);

// Beside the input: its name less the last four characters, plus "_四参数.txt".
std::filesystem::path FitPath(const std::filesystem::path& input);

// Reads the input (as the correction calculator does), fits, and writes the report
// to FitPath(input). Throws Error: kFileAccess, or kGeneral for bad data.
FitResult RunFit(const FitPlane& plane, const std::filesystem::path& input);

}  // namespace varnolt
