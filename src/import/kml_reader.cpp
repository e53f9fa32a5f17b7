// KML 2.1 and 2.2: Placemarks with their Point, LineString, LinearRing, Polygon,
// MultiGeometry and gx:Track, the Folders they are in, and the line and label colours
// of their styles (shared Styles, StyleMaps, or their own).
#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "import/xml_formats.h"

namespace varnolt {
namespace {

enum class K {
  kOther, kFolder, kPlacemark, kName, kStyleUrl, kStyle, kStyleMap, kPair, kKey, kLineStyle,
  kLabelStyle, kPolyStyle, kIconStyle, kColor, kPoint, kLineString, kLinearRing, kCoordinates,
  kTrack, kCoord,
};

K KindOf(std::string_view name) {
  static const std::pair<std::string_view, K> kNames[] = {
      {"coordinates", K::kCoordinates}, {"coord", K::kCoord}, {"Placemark", K::kPlacemark},
      {"name", K::kName}, {"LineString", K::kLineString}, {"Point", K::kPoint},
      {"LinearRing", K::kLinearRing}, {"Folder", K::kFolder}, {"styleUrl", K::kStyleUrl},
      {"Style", K::kStyle}, {"StyleMap", K::kStyleMap}, {"Pair", K::kPair}, {"key", K::kKey},
      {"LineStyle", K::kLineStyle}, {"LabelStyle", K::kLabelStyle}, {"PolyStyle", K::kPolyStyle},
      {"IconStyle", K::kIconStyle}, {"color", K::kColor}, {"Track", K::kTrack},
  };
  for (const auto& [text, kind] : kNames) {
    if (text == name) return kind;
  }
  return K::kOther;
}

// KML's aabbggrr; empty for anything else.
std::optional<GeoRgb> ParseKmlColour(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '#' || text.front() == '\n' ||
                           text.front() == '\r' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r' ||
                           text.back() == '\t')) {
    text.remove_suffix(1);
  }
  if (text.size() != 8) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    const int d = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : -1;
    if (d < 0) return std::nullopt;
    value = value * 16 + static_cast<unsigned>(d);
  }
  return GeoRgb{static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>((value >> 8) & 0xFF),
                static_cast<uint8_t>((value >> 16) & 0xFF)};
}

struct StyleColours {
  std::optional<GeoRgb> line, label, poly, icon;
};

// A Placemark as read, its style still to be resolved (styles may come after it).
struct Pending {
  GeoFeature feature;
  std::string styleUrl;
  StyleColours own;
  bool geometry = false;
};

class KmlHandler : public GeoXmlHandler {
 public:
  bool WantsText(std::string_view name) const override {
    const K k = KindOf(name);
    return k == K::kName || k == K::kStyleUrl || k == K::kKey || k == K::kColor ||
           k == K::kCoordinates || k == K::kCoord;
  }

  void Start(std::string_view name, const char** attributes) override {
    const K k = KindOf(name);
    const K parent = stack_.empty() ? K::kOther : stack_.back();
    stack_.push_back(k);
    switch (k) {
      case K::kFolder: folders_.emplace_back(); break;
      case K::kPlacemark:
        placemark_.emplace();
        placemark_->feature.layer = CurrentFolder();
        break;
      case K::kStyle: {
        style_ = StyleColours();
        const char* id = XmlAttribute(attributes, "id");
        styleId_ = id != nullptr ? id : "";
        inlineStyle_ = parent == K::kPlacemark;
        break;
      }
      case K::kStyleMap: {
        const char* id = XmlAttribute(attributes, "id");
        mapId_ = id != nullptr ? id : "";
        break;
      }
      case K::kPair: pairKey_.clear(), pairUrl_.clear(); break;
      case K::kPoint: case K::kLineString: case K::kLinearRing: case K::kTrack:
        coords_.clear();
        break;
      default: break;
    }
  }

  void End(std::string_view name, std::string_view text) override {
    const K k = stack_.empty() ? KindOf(name) : stack_.back();
    if (!stack_.empty()) stack_.pop_back();
    const K parent = stack_.empty() ? K::kOther : stack_.back();
    switch (k) {
      case K::kName: Named(parent, text); break;
      case K::kStyleUrl:
        if (parent == K::kPlacemark && placemark_) placemark_->styleUrl = XmlTrimmed(text);
        if (parent == K::kPair) pairUrl_ = XmlTrimmed(text);
        break;
      case K::kKey: if (parent == K::kPair) pairKey_ = XmlTrimmed(text); break;
      case K::kPair: if (pairKey_ == "normal") maps_[mapId_] = pairUrl_; break;
      case K::kColor: Coloured(parent, text); break;
      case K::kStyle: StyleEnded(); break;
      case K::kCoordinates: ReadKmlCoordinates(text, coords_); break;
      case K::kCoord: ReadKmlCoordinates(text, coords_, true); break;
      case K::kPoint: Part(GeoPartKind::kPoint); break;
      case K::kLineString: case K::kTrack: Part(GeoPartKind::kLine); break;
      case K::kLinearRing: Part(GeoPartKind::kRing); break;
      case K::kPlacemark: PlacemarkEnded(); break;
      case K::kFolder: if (!folders_.empty()) folders_.pop_back(); break;
      default: break;
    }
  }

  GeoDocument Finish() override {
    for (Pending& p : features_) {
      const StyleColours shared = Resolve(p.styleUrl);
      p.feature.lineColour = p.own.line ? p.own.line : shared.line ? shared.line
                             : p.own.poly ? p.own.poly : shared.poly;
      p.feature.labelColour = p.own.label ? p.own.label : shared.label ? shared.label
                              : p.own.icon ? p.own.icon : shared.icon ? shared.icon
                              : p.feature.lineColour;
      document_.features.push_back(std::move(p.feature));
    }
    document_.format = "KML";
    return std::move(document_);
  }

 private:
  std::string CurrentFolder() const {
    for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) {
      if (!it->empty()) return *it;
    }
    return "";
  }

  void Named(K parent, std::string_view text) {
    if (parent == K::kPlacemark && placemark_) placemark_->feature.name = XmlTrimmed(text);
    if (parent == K::kFolder && !folders_.empty()) folders_.back() = XmlTrimmed(text);
  }

  void Coloured(K parent, std::string_view text) {
    const std::optional<GeoRgb> c = ParseKmlColour(text);
    if (parent == K::kLineStyle) style_.line = c;
    if (parent == K::kLabelStyle) style_.label = c;
    if (parent == K::kPolyStyle) style_.poly = c;
    if (parent == K::kIconStyle) style_.icon = c;
  }

  void StyleEnded() {
    if (inlineStyle_ && placemark_) {
      placemark_->own = style_;
    } else if (!styleId_.empty()) {
      styles_[styleId_] = style_;
    }
  }

  void Part(GeoPartKind kind) {
    if (!placemark_) return;
    placemark_->geometry = true;
    if (coords_.empty()) {
      ++document_.emptyGeometries;
      return;
    }
    GeoPart part;
    part.kind = kind;
    if (kind == GeoPartKind::kPoint) coords_.resize(1);
    part.positions = std::move(coords_);
    coords_.clear();
    placemark_->feature.parts.push_back(std::move(part));
  }

  void PlacemarkEnded() {
    if (!placemark_) return;
    if (!placemark_->geometry) ++document_.emptyGeometries;
    if (!placemark_->feature.parts.empty()) features_.push_back(std::move(*placemark_));
    placemark_.reset();
  }

  // The colours a style reference ("#id") leads to, through a StyleMap's normal pair.
  StyleColours Resolve(std::string url) const {
    for (int depth = 0; depth < 4 && !url.empty() && url.front() == '#'; ++depth) {
      const std::string id = url.substr(1);
      if (auto s = styles_.find(id); s != styles_.end()) return s->second;
      auto m = maps_.find(id);
      if (m == maps_.end()) break;
      url = m->second;
    }
    return {};
  }

  std::vector<K> stack_;
  std::vector<std::string> folders_;
  std::optional<Pending> placemark_;
  std::vector<Pending> features_;
  std::vector<GeoPosition> coords_;
  StyleColours style_;
  std::string styleId_, mapId_, pairKey_, pairUrl_;
  bool inlineStyle_ = false;
  std::map<std::string, StyleColours> styles_;
  std::map<std::string, std::string> maps_;
  GeoDocument document_;
};

}  // namespace

std::unique_ptr<GeoXmlHandler> MakeKmlHandler() { return std::make_unique<KmlHandler>(); }

}  // namespace varnolt
