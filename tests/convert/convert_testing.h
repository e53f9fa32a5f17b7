// What the converter tests share: a context from settings, the expected point line
// of a plane point (from the projection's own Lstr and Bstr), and the point lines
// picked out of a Placemark.
#pragma once

#include <gtest/gtest.h>

#include <charconv>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "geodesy/datum.h"
#include "geodesy/projection.h"
#include "text/numtext.h"

namespace varnolt::testing {

inline constexpr const char* kQ = "\t\t";

// A plane point near 30.5 N, 12 km east of the central meridian 115.
inline constexpr double kE = 512345.0;
inline constexpr double kN = 3380000.0;

struct ConverterTest : ::testing::Test {
  Settings settings;  // the defaults: Beijing 1954, 115, corrections -0.0335 / 0.039

  ConvertContext Context() const { return MakeConvertContext(settings); }

  // qstab, three TABs, Lstr, ",", Bstr, ",", altitude, CR LF.
  std::string Expected(double easting, double northing, const std::string& alt) const {
    const DatumParameters d = SelectDatum(settings.Option1);
    const double L0 = ReadLeadingNumber(settings.Text2);
    return std::string(kQ) + "\t\t\t" +
           Lstr(d, northing, easting, L0, ReadLeadingNumber(settings.Text6)) + "," +
           Bstr(d, northing, easting, L0, ReadLeadingNumber(settings.Text5)) + "," + alt +
           "\r\n";
  }

  void LonLat(double easting, double northing, double& lon, double& lat) const {
    const DatumParameters d = SelectDatum(settings.Option1);
    const double L0 = ReadLeadingNumber(settings.Text2);
    lon = ReadLeadingNumber(Lstr(d, northing, easting, L0, ReadLeadingNumber(settings.Text6)));
    lat = ReadLeadingNumber(Bstr(d, northing, easting, L0, ReadLeadingNumber(settings.Text5)));
  }
};

// The point lines of a Placemark (qstab and three TABs, then a number), each with
// its CR LF.
inline std::vector<std::string> PointLines(const std::string& text) {
  std::vector<std::string> lines;
  const std::string prefix = std::string(kQ) + "\t\t\t";
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) end = text.size() - 2;
    std::string line = text.substr(pos, end + 2 - pos);
    if (line.compare(0, prefix.size(), prefix) == 0 && line.size() > prefix.size() &&
        line[prefix.size()] != '<') {
      lines.push_back(line);
    }
    pos = end + 2;
  }
  return lines;
}

// The longitude, latitude and altitude text of a point line.
struct Tuple {
  double lon = 0, lat = 0;
  std::string alt;
};
inline Tuple ParseTuple(const std::string& line) {
  Tuple t;
  const size_t start = line.find_first_not_of('\t');
  const size_t c1 = line.find(',', start);
  const size_t c2 = line.find(',', c1 + 1);
  t.lon = ReadLeadingNumber(line.substr(start, c1 - start));
  t.lat = ReadLeadingNumber(line.substr(c1 + 1, c2 - c1 - 1));
  t.alt = line.substr(c2 + 1, line.size() - 2 - c2 - 1);
  return t;
}

}  // namespace varnolt::testing
