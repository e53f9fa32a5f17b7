// The correction calculator: from control points whose plane coordinates and
// WGS 84 latitude and longitude are both known, the latitude and longitude
// corrections (minutes of arc) that the projection should add.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings.h"

namespace varnolt {

struct ControlPoint {
  std::string id;
  double X = 0;        // northing, m
  double Y = 0;        // easting with false easting, m
  double knownLat = 0; // packed DMS
  double knownLon = 0; // packed DMS
  int line = 0;        // 1-based line in the file
};

struct PointCorrection {
  std::string id;
  double latCorrection = 0;  // minutes
  double lonCorrection = 0;  // minutes
};

struct CorrectionResult {
  std::vector<PointCorrection> points;
  double latAverage = 0;
  double lonAverage = 0;
  // Root mean square of what the averages leave at each point, in metres on the
  // ellipsoid: how well one constant shift fits the points.
  double rms = 0;
  std::string table;  // the result table, UTF-8, CR LF
};

// Parses the control-point text (already UTF-8). Throws Error(kGeneral) naming the
// line and field that is wrong.
std::vector<ControlPoint> ParseControlPoints(std::string_view text);

// Projects every point with the datum and central meridian of `settings` and no
// correction, and forms the table. Throws Error(kGeneral) for no data points.
CorrectionResult ComputeCorrections(const Settings& settings,
                                    const std::vector<ControlPoint>& points);

// The result file's path: the input path less its last four characters, plus
// "_计算结果.txt".
std::filesystem::path ResultPath(const std::filesystem::path& input);

// Reads the input (UTF-8 with or without BOM, or GB18030), computes, and writes the
// table to ResultPath(input) only when it is complete. Throws Error: kFileAccess when
// the input cannot be opened or the table not written, kGeneral for bad data.
CorrectionResult RunCorrection(const Settings& settings, const std::filesystem::path& input);

}  // namespace varnolt
