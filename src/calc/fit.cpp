#include "calc/fit.h"

#include <charconv>
#include <cmath>

#include "base/error.h"
#include "base/files.h"
#include "base/paths.h"
#include "geodesy/angles.h"
#include "geodesy/tmerc.h"
#include "text/encoding.h"
#include "text/numtext.h"

namespace varnolt {
namespace {

constexpr char kFitSuffix[] = "_四参数.txt";

std::string ExactText(double v) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, v).ptr;
  return std::string(text, end);
}

}  // namespace

PlaneSimilarity FitSimilarity(const std::vector<PlanePair>& pairs) {
  if (pairs.size() < 2) {
    throw Error(ErrorKind::kGeneral, "the four-parameter fit needs at least two control points, "
                                     "got " + std::to_string(pairs.size()));
  }
  const double n = static_cast<double>(pairs.size());
  double mx = 0, my = 0, mE = 0, mN = 0;
  for (const PlanePair& p : pairs) {
    mx += p.x, my += p.y, mE += p.E, mN += p.N;
  }
  mx /= n, my /= n, mE /= n, mN /= n;
  double sxx = 0, syy = 0, sxy = 0, sEE = 0, dot = 0, cross = 0;
  for (const PlanePair& p : pairs) {
    const double x = p.x - mx, y = p.y - my, E = p.E - mE, N = p.N - mN;
    sxx += x * x, syy += y * y, sxy += x * y, sEE += E * E + N * N;
    dot += x * E + y * N;
    cross += x * N - y * E;
  }
  const double spread = sxx + syy;
  // Closer than a tenth of a millimetre on average: no direction to fit.
  if (!(spread > 1e-8 * n) || !(sEE > 1e-8 * n)) {
    throw Error(ErrorKind::kGeneral,
                "the control points coincide (in the drawing or in latitude and longitude): "
                "a scale and rotation need points apart from each other");
  }
  if (pairs.size() >= 3) {
    // The smaller principal spread against the larger: zero for points on a line.
    const double half = (sxx - syy) / 2;
    const double root = std::hypot(half, sxy);
    const double small = (sxx + syy) / 2 - root, large = (sxx + syy) / 2 + root;
    if (small <= 1e-12 * large) {
      throw Error(ErrorKind::kGeneral,
                  "the control points lie on one straight line: the fit cannot check them "
                  "across it; add a point off the line (or use two points for an exact fit)");
    }
  }
  PlaneSimilarity s;
  s.a = dot / spread;
  s.b = cross / spread;
  s.dx = mE - (s.a * mx - s.b * my);
  s.dy = mN - (s.b * mx + s.a * my);
  return s;
}

FitResult ComputeFit(const FitPlane& plane, const std::vector<ControlPoint>& points) {
  const double pi = SystemPi();
  FitResult result;
  result.meridian = R_D1_Value(D_R_Value(plane.meridianPacked, pi), pi);
  std::vector<PlanePair> pairs;
  for (const ControlPoint& p : points) {
    double easting = p.Y;
    if (plane.zoneInEastings && p.Y >= 1000000.0) {
      const int zone = static_cast<int>(std::floor(p.Y / 1000000.0));
      const std::optional<double> meridian = ZoneMeridian(zone);
      if (!meridian) {
        throw Error(ErrorKind::kGeneral, "line " + std::to_string(p.line) + " (point " + p.id +
                                             "): the easting carries zone " +
                                             std::to_string(zone) + "; zones are " + kZoneRanges);
      }
      if (result.zone != 0 && zone != result.zone) {
        throw Error(ErrorKind::kGeneral, "line " + std::to_string(p.line) + " (point " + p.id +
                                             "): zone " + std::to_string(zone) +
                                             ", the points before zone " +
                                             std::to_string(result.zone) +
                                             "; fit each zone separately");
      }
      result.zone = zone;
      result.meridian = *meridian;
      easting -= zone * 1000000.0;
    }
    PlanePair pair;
    pair.x = easting;
    pair.y = p.X;
    pairs.push_back(pair);
  }
  const TransverseMercator wgs84(kWgs84Ellipsoid, result.meridian);
  for (size_t k = 0; k < points.size(); ++k) {
    const double lat = R_D1_Value(D_R_Value(points[k].knownLat, pi), pi);
    const double lon = R_D1_Value(D_R_Value(points[k].knownLon, pi), pi);
    wgs84.Forward(lon, lat, pairs[k].E, pairs[k].N);
  }
  result.similarity = FitSimilarity(pairs);

  const PlaneSimilarity& s = result.similarity;
  const double scale = std::hypot(s.a, s.b);
  const double rotation = std::atan2(s.b, s.a) * 180 / pi * 3600;
  std::string& t = result.text;
  t = "四参数 (图面 x=Y, y=X -> WGS 84 高斯平面, 中央子午线 " + GeneralText(result.meridian) +
      "°)\r\n";
  t += "E = dx + x·a − y·b,  N = dy + x·b + y·a\r\n";
  t += "dx " + ExactText(s.dx) + " m\r\n";
  t += "dy " + ExactText(s.dy) + " m\r\n";
  t += "a " + ExactText(s.a) + "\r\n";
  t += "b " + ExactText(s.b) + "\r\n";
  t += "尺度 " + FixedText(scale, 10) + " (" + FixedText((scale - 1) * 1e6, 3) + " ppm)\r\n";
  t += "旋转 " + FixedText(rotation, 4) + "″\r\n";
  t += "标识 残差E(m) 残差N(m) 残差(m)\r\n";
  double sum = 0;
  for (size_t k = 0; k < points.size(); ++k) {
    double E = 0, N = 0;
    s.Apply(pairs[k].x, pairs[k].y, E, N);
    FitResidual r{points[k].id, E - pairs[k].E, N - pairs[k].N};
    const double d = std::hypot(r.dE, r.dN);
    sum += d * d;
    t += r.id + " " + FixedText(r.dE, 4) + " " + FixedText(r.dN, 4) + " " + FixedText(d, 4) +
         "\r\n";
    result.residuals.push_back(std::move(r));
  }
  result.rms = std::sqrt(sum / static_cast<double>(points.size()));
  t += "----------------------------\r\n";
  t += "RMS " + FixedText(result.rms, 4) + " m\r\n";
  return result;
}

std::filesystem::path FitPath(const std::filesystem::path& input) {
  std::string name = DropLastCodePoints(Utf8(input.filename()), 4) + kFitSuffix;
  return input.parent_path() / PathFromUtf8(name);
}

FitResult RunFit(const FitPlane& plane, const std::filesystem::path& input) {
  const std::string text = DecodeUserText(ReadFile(input));
  FitResult result;
  try {
    const std::vector<ControlPoint> points = ParseControlPoints(text);
    result = ComputeFit(plane, points);
  } catch (const Error& e) {
    throw Error(e.kind(), "control-point file '" + Utf8(input) + "', " + e.what());
  }
  WriteFileAtomically(FitPath(input), result.text);
  return result;
}

}  // namespace varnolt
