#include "calc/correction.h"

#include <cmath>

#include "base/error.h"
#include "base/files.h"
#include "base/paths.h"
#include "geodesy/angles.h"
#include "geodesy/datum.h"
#include "geodesy/projection.h"
#include "settings/conversion_options.h"
#include "text/ascii.h"
#include "text/encoding.h"
#include "text/numtext.h"

namespace varnolt {
namespace {

constexpr size_t kFieldCount = 5;
constexpr char kResultSuffix[] = "_计算结果.txt";

// Blanks in the sense of the control-point file: the space only; tabs are turned
// into spaces before anything else looks at the line.
std::string TrimSpaces(std::string_view s) { return std::string(Trim(s, " ")); }

// Replaces every non-overlapping occurrence of `run` from left to right in one
// sweep; what a replacement produces is not scanned again.
std::string ReplaceAll(const std::string& s, const std::string& run) {
  std::string out;
  out.reserve(s.size());
  size_t pos = 0;
  for (;;) {
    size_t hit = s.find(run, pos);
    if (hit == std::string::npos) break;
    out.append(s, pos, hit - pos);
    out += ' ';
    pos = hit + run.size();
  }
  out.append(s, pos, std::string::npos);
  return out;
}

std::vector<std::string> SplitAtBlanks(const std::string& s) {
  std::vector<std::string> fields;
  size_t pos = 0;
  for (;;) {
    size_t blank = s.find(' ', pos);
    fields.push_back(s.substr(pos, blank - pos));
    if (blank == std::string::npos) break;
    pos = blank + 1;
  }
  return fields;
}

const char* FieldName(size_t field) {
  switch (field) {
    case 2: return "northing X";
    case 3: return "easting Y";
    case 4: return "known latitude";
    default: return "known longitude";
  }
}

double TextNumber(const std::string& text) {
  double value = 0;
  if (!ParseNumber(text, value)) {
    throw Error(ErrorKind::kGeneral, "the projection gave '" + text + "', which is not a number");
  }
  return value;
}

}  // namespace

std::vector<ControlPoint> ParseControlPoints(std::string_view text) {
  std::vector<ControlPoint> points;
  int lineNo = 0;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNo;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);

    // Tabs count as blanks from the start, so that a line of tabs is a blank line
    // and a comment indented by a tab is still a comment.
    std::string line(raw);
    for (char& ch : line) {
      if (ch == '\t') ch = ' ';
    }
    line = TrimSpaces(line);
    if (line.empty() || line.starts_with(";;")) continue;

    // Runs of blanks become one blank, longest runs first.
    for (int k = 50; k >= 2; --k) {
      line = ReplaceAll(TrimSpaces(line), std::string(static_cast<size_t>(k), ' '));
    }

    std::vector<std::string> fields = SplitAtBlanks(line);
    if (fields.size() < kFieldCount) {
      throw Error(ErrorKind::kGeneral, "line " + std::to_string(lineNo) + " has " +
                                           std::to_string(fields.size()) + " field" +
                                           (fields.size() == 1 ? "" : "s") + ", 5 are needed "
                                           "(identifier, X, Y, latitude, longitude)");
    }
    ControlPoint point;
    point.id = fields[0];
    point.line = lineNo;
    double* targets[] = {&point.X, &point.Y, &point.knownLat, &point.knownLon};
    for (size_t f = 2; f <= kFieldCount; ++f) {
      if (!ParseNumber(fields[f - 1], *targets[f - 2])) {
        throw Error(ErrorKind::kGeneral, "line " + std::to_string(lineNo) + ", field " +
                                             std::to_string(f) + " (" + FieldName(f) + "): '" +
                                             fields[f - 1] + "' is not a number");
      }
    }
    points.push_back(std::move(point));
  }
  return points;
}

CorrectionResult ComputeCorrections(const Settings& settings,
                                    const std::vector<ControlPoint>& points) {
  if (points.empty()) {
    throw Error(ErrorKind::kGeneral,
                "no data lines: every line is empty or a ;; comment, so there is nothing "
                "to average");
  }
  const DatumParameters datum = DatumParametersOf(DatumOfSettings(settings));
  // The corrections are emptied for the calculation, so the projection adds nothing
  // and the subtraction below takes away nothing: the uncorrected projection.
  const double emptiedLat = ReadLeadingNumber("");
  const double emptiedLon = ReadLeadingNumber("");

  CorrectionResult result;
  result.table = "标识 纬度修正(分) 经度修正(分)\r\n";
  double latSum = 0;
  double lonSum = 0;
  std::vector<double> latitudes;
  for (const ControlPoint& p : points) {
    double lon = 0, lat = 0, knownLat = 0, knownLon = 0;
    try {
      // The central meridian is read afresh for each call, as every projection call
      // takes its own copy.
      lon = TextNumber(Lstr(datum, p.X, p.Y, ReadLeadingNumber(settings.Text2), emptiedLon)) -
            emptiedLon / 60;
      lat = TextNumber(Bstr(datum, p.X, p.Y, ReadLeadingNumber(settings.Text2), emptiedLat)) -
            emptiedLat / 60;
      // Packed DMS to decimal degrees through radians, each step rounded to 15 digits.
      knownLat = R_D1_Value(D_R_Value(p.knownLat, datum.pi), datum.pi);
      knownLon = R_D1_Value(D_R_Value(p.knownLon, datum.pi), datum.pi);
    } catch (const Error& e) {
      throw Error(e.kind(), "line " + std::to_string(p.line) + " (point " + p.id + "): " +
                                e.what());
    }

    PointCorrection c;
    c.id = p.id;
    c.latCorrection = (knownLat - lat) * 60;
    c.lonCorrection = (knownLon - lon) * 60;
    result.table += c.id + " " + FixedText(c.latCorrection, 5) + " " +
                    FixedText(c.lonCorrection, 5) + "\r\n";
    latitudes.push_back(knownLat);
    latSum += c.latCorrection;
    lonSum += c.lonCorrection;
    result.points.push_back(std::move(c));
  }
  const double n = static_cast<double>(points.size());
  result.latAverage = latSum / n;
  result.lonAverage = lonSum / n;
  double squares = 0;
  for (size_t k = 0; k < points.size(); ++k) {
    // Minutes of arc to metres with the ellipsoid's radii of curvature there.
    const double phi = latitudes[k] * datum.pi / 180;
    const double w = std::sqrt(1 - datum.e2 * std::sin(phi) * std::sin(phi));
    const double toRadians = datum.pi / 180 / 60;
    const double north = (result.points[k].latCorrection - result.latAverage) * toRadians *
                         datum.a * (1 - datum.e2) / (w * w * w);
    const double east = (result.points[k].lonCorrection - result.lonAverage) * toRadians *
                        datum.a / w * std::cos(phi);
    squares += north * north + east * east;
  }
  result.rms = std::sqrt(squares / n);
  result.table += "----------------------------\r\n";
  result.table += "纬度修正平均：" + FixedText(result.latAverage, 5) + "\r\n";
  result.table += "经度修正平均：" + FixedText(result.lonAverage, 5) + "\r\n";
  return result;
}

std::filesystem::path ResultPath(const std::filesystem::path& input) {
  // The last four characters are the extension in the usual case (pts.txt); the
  // drop stops at the file name, so a short name never sends the table into the
  // parent folder.
  std::string name = DropLastCodePoints(Utf8(input.filename()), 4) + kResultSuffix;
  return input.parent_path() / PathFromUtf8(name);
}

CorrectionResult RunCorrection(const Settings& settings, const std::filesystem::path& input) {
  const std::string text = DecodeUserText(ReadFile(input));
  CorrectionResult result;
  try {
    result = ComputeCorrections(settings, ParseControlPoints(text));
  } catch (const Error& e) {
    throw Error(e.kind(), "control-point file '" + Utf8(input) + "', " + e.what());
  }
  // Written only once the whole table stands: a bad input leaves no partial table
  // and an earlier one untouched.
  WriteFileAtomically(ResultPath(input), result.table);
  return result;
}

}  // namespace varnolt
