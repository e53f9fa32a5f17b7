// Reading positions back from the files field work returns: KML 2.1/2.2 (with or
// without its namespace), KMZ, GPX 1.0/1.1 and GeoJSON (RFC 7946), told apart by
// their content, not their name. What they hold becomes features of parts in WGS 84
// (or whatever the file's datum is) longitude, latitude and altitude.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnolt {

struct GeoPosition {
  double lon = 0, lat = 0;  // decimal degrees, checked to lie within +-180 and +-90
  double alt = 0;           // metres; 0 when the file gives none
};

enum class GeoPartKind { kPoint, kLine, kRing };

struct GeoPart {
  GeoPartKind kind = GeoPartKind::kLine;
  std::vector<GeoPosition> positions;  // a ring as the file gives it, closed or not
};

struct GeoRgb {
  uint8_t red = 0, green = 0, blue = 0;
  bool operator==(const GeoRgb&) const = default;
};

// A Placemark, GPX waypoint, track or route, or GeoJSON feature.
struct GeoFeature {
  std::string name;   // UTF-8, unescaped; the label of its points
  std::string layer;  // the KML Folder it is in, the GPX kind; empty: none
  std::optional<GeoRgb> lineColour, labelColour;  // from its KML style
  std::vector<GeoPart> parts;
};

struct GeoDocument {
  std::string format;  // "KML", "KMZ", "GPX" or "GeoJSON"
  std::vector<GeoFeature> features;  // only those with at least one part
  int64_t emptyGeometries = 0;       // geometries without a position, left out
};

// Reads the bytes of one file, its format told by the content. `name` names the file
// in messages. Throws Error(kGeneral) "NAME: line L: what is wrong" (or without the
// line where there is none) for input that is none of the four formats, XML of
// another kind, broken XML or JSON, an XML entity declaration, a broken KMZ archive,
// a coordinate that is not a number or lies outside +-180 / +-90, and a file with no
// geometry at all. `maxBytes` bounds the KML unpacked from a KMZ. `reading`, when
// given, hears now and then how many of the (unpacked) bytes have been read. A large
// KML or GPX is parsed on up to `threads` threads (0: one per core), with the same
// result.
using GeoReadProgress = std::function<void(uint64_t done, uint64_t total)>;
GeoDocument ReadGeoBytes(std::string_view bytes, const std::string& name, uint64_t maxBytes,
                         const GeoReadProgress& reading = {}, unsigned threads = 1);

// The readers behind it, one format each.
GeoDocument ReadXmlDocument(std::string_view bytes, const std::string& name,
                            const GeoReadProgress& reading = {},
                            unsigned threads = 1);  // KML, GPX
GeoDocument ReadGeoJson(std::string_view bytes, const std::string& name);
GeoDocument ReadKmz(std::string_view bytes, const std::string& name, uint64_t maxBytes,
                    const GeoReadProgress& reading = {}, unsigned threads = 1);

// A coordinate value of the text `text` (a number, nothing else); throws
// Error(kGeneral) saying which `what` ("longitude", "latitude") is wrong.
double ReadCoordinate(std::string_view text, const char* what);
// Throws Error(kGeneral) when lon or lat lies outside +-180 / +-90.
void CheckPosition(const GeoPosition& p);

}  // namespace varnolt
