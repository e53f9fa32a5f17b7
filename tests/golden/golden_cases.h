// The golden case folders: tests/golden/<case>/ with drawing.dxf, Varnolt.ini and
// expected.kml.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace varnolt::testing {

inline std::filesystem::path GoldenDir() {
  return std::filesystem::path(VARNOLT_SOURCE_DIR) / "tests" / "golden";
}

// Case names in sorted order: every folder that holds a drawing.
inline std::vector<std::string> GoldenCases() {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(GoldenDir(), ec)) {
    if (entry.is_directory() && std::filesystem::exists(entry.path() / "drawing.dxf")) {
      names.push_back(entry.path().filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Feature {
  std::string name;
  std::string style;  // the style id, without "#" or "@"
  size_t points = 0;  // coordinate tuples; 0 for an empty geometry
};

inline std::string XmlUnescape(std::string s) {
  static const std::pair<const char*, const char*> kEntities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
  for (const auto& [from, to] : kEntities) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + 1)) {
      s.replace(at, std::char_traits<char>::length(from), to);
    }
  }
  return s;
}

// What the document says, read with plain text search: each Placemark's name, style
// reference and the lines between its coordinates tags (all of them: a polygon's
// rings, a MultiGeometry's polygons).
inline std::vector<Feature> FeaturesInFile(const std::string& kml) {
  std::vector<Feature> features;
  auto between = [&kml](const std::string& open, const std::string& close, size_t& at) {
    size_t from = kml.find(open, at);
    if (from == std::string::npos) return std::string();
    from += open.size();
    size_t to = kml.find(close, from);
    at = to + close.size();
    return kml.substr(from, to - from);
  };
  for (size_t at = kml.find("<Placemark>"); at != std::string::npos;
       at = kml.find("<Placemark>", at)) {
    Feature f;
    f.name = XmlUnescape(between("<name>", "</name>", at));
    f.style = between("<styleUrl>#", "</styleUrl>", at);
    const size_t end = kml.find("</Placemark>", at);
    while (true) {
      const size_t open = kml.find("<coordinates>\r\n", at);
      if (open == std::string::npos || open > end) break;
      const std::string coords = between("<coordinates>\r\n", "</coordinates>", at);
      for (size_t n = coords.find("\r\n"); n != std::string::npos; n = coords.find("\r\n", n + 2)) {
        ++f.points;
      }
    }
    features.push_back(f);
  }
  return features;
}

}  // namespace varnolt::testing
