#include "import/geo_reader.h"

#include <charconv>
#include <cmath>

#include "base/error.h"
#include "import/xml_formats.h"
#include "text/encoding.h"
#include "text/numtext.h"

namespace varnolt {
namespace {

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The first element decides: <kml> or <gpx>; anything else is XML of another kind.
class RootHandler : public XmlHandler {
 public:
  void Start(std::string_view name, const char** attributes) override {
    if (!inner_) {
      if (name == "kml") {
        inner_ = MakeKmlHandler();
      } else if (name == "gpx") {
        inner_ = MakeGpxHandler();
      } else {
        throw Error(ErrorKind::kGeneral,
                    "XML of another kind: its root element is <" + std::string(name) +
                        ">, where KML has <kml> and GPX <gpx>");
      }
    }
    inner_->Start(name, attributes);
  }
  void End(std::string_view name, std::string_view text) override { inner_->End(name, text); }
  bool WantsText(std::string_view name) const override {
    return inner_ != nullptr && inner_->WantsText(name);
  }
  std::unique_ptr<GeoXmlHandler> inner_;
};

// What the file starts with, for the message about an unknown format.
std::string Opening(std::string_view bytes) {
  std::string shown;
  for (char c : bytes.substr(0, 16)) {
    const auto u = static_cast<unsigned char>(c);
    shown += u >= 0x20 && u < 0x7F ? c : '.';
  }
  return shown;
}

}  // namespace

double ReadCoordinate(std::string_view text, const char* what) {
  std::string_view s = text;
  while (!s.empty() && Blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && Blank(s.back())) s.remove_suffix(1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) {
    throw Error(ErrorKind::kGeneral, std::string("the ") + what + " \"" +
                                         SanitizeUtf8(text.substr(0, 40)) + "\" is not a number");
  }
  return v;
}

void CheckPosition(const GeoPosition& p) {
  if (std::fabs(p.lon) > 180) {
    throw Error(ErrorKind::kGeneral, "the longitude " + GeneralText(p.lon) +
                                         " lies outside -180..180 degrees");
  }
  if (std::fabs(p.lat) > 90) {
    throw Error(ErrorKind::kGeneral, "the latitude " + GeneralText(p.lat) +
                                         " lies outside -90..90 degrees");
  }
}

void ReadKmlCoordinates(std::string_view text, std::vector<GeoPosition>& out, bool blanks) {
  static const char* const kWhat[] = {"longitude", "latitude", "altitude"};
  size_t i = 0;
  const size_t n = text.size();
  while (true) {
    while (i < n && Blank(text[i])) ++i;
    if (i == n) break;
    double v[3] = {0, 0, 0};
    int count = 0;
    while (true) {
      size_t j = i;
      while (j < n && !Blank(text[j]) && text[j] != ',') ++j;
      if (count == 3) throw Error(ErrorKind::kGeneral, "a position with more than three values");
      v[count] = ReadCoordinate(text.substr(i, j - i), kWhat[count]);
      ++count;
      i = j;
      // Blanks beside a comma stay within the position; with gx:coord they separate.
      size_t k = i;
      while (k < n && Blank(text[k])) ++k;
      if (!blanks && k < n && text[k] == ',') {
        i = k + 1;
        while (i < n && Blank(text[i])) ++i;
        continue;
      }
      if (blanks && k < n && k > i && count < 3 && text[k] != ',') {
        i = k;
        continue;
      }
      i = k;
      break;
    }
    if (count < 2) throw Error(ErrorKind::kGeneral, "a position without its latitude");
    GeoPosition p{v[0], v[1], v[2]};
    CheckPosition(p);
    out.push_back(p);
  }
}

GeoDocument ReadXmlDocument(std::string_view bytes, const std::string& name,
                            const GeoReadProgress& reading, unsigned threads) {
  std::unique_ptr<RootHandler> root;
  ParseXmlInPieces(
      bytes, name,
      [&]() -> XmlHandler& {
        root = std::make_unique<RootHandler>();
        return *root;
      },
      XmlPieces{threads}, reading);
  if (!root->inner_) throw Error(ErrorKind::kGeneral, name + ": holds no XML element");
  return root->inner_->Finish();
}

GeoDocument ReadGeoBytes(std::string_view bytes, const std::string& name, uint64_t maxBytes,
                         const GeoReadProgress& reading, unsigned threads) {
  std::string_view rest = StripUtf8Bom(bytes);
  while (!rest.empty() && Blank(rest.front())) rest.remove_prefix(1);
  GeoDocument doc;
  if (rest.substr(0, 4) == std::string_view("PK\x03\x04", 4)) {
    doc = ReadKmz(bytes, name, maxBytes, reading, threads);
  } else if (!rest.empty() && (rest.front() == '{' || rest.front() == '[')) {
    doc = ReadGeoJson(bytes, name);
    if (reading) reading(bytes.size(), bytes.size());
  } else if (!rest.empty() && rest.front() == '<') {
    doc = ReadXmlDocument(bytes, name, reading, threads);
  } else {
    throw Error(ErrorKind::kGeneral,
                name + ": " + (rest.empty() ? std::string("the file is empty")
                                            : "is neither KML, KMZ, GPX nor GeoJSON (it "
                                              "starts with \"" + Opening(rest) + "\")"));
  }
  if (doc.features.empty()) {
    throw Error(ErrorKind::kGeneral, name + ": the " + doc.format + " holds no geometry" +
                                         (doc.emptyGeometries > 0
                                              ? " (" + std::to_string(doc.emptyGeometries) +
                                                    " empty geometries)"
                                              : std::string()));
  }
  return doc;
}

}  // namespace varnolt
