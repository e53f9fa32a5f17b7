// GPX 1.0 and 1.1: waypoints, tracks (one line per segment) and routes, with their
// names and elevations.
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "import/xml_formats.h"

namespace varnolt {
namespace {

enum class G { kOther, kWpt, kRte, kRtept, kTrk, kTrkseg, kTrkpt, kName, kEle };

G KindOf(std::string_view name) {
  if (name == "trkpt") return G::kTrkpt;
  if (name == "ele") return G::kEle;
  if (name == "name") return G::kName;
  if (name == "trkseg") return G::kTrkseg;
  if (name == "wpt") return G::kWpt;
  if (name == "rtept") return G::kRtept;
  if (name == "trk") return G::kTrk;
  if (name == "rte") return G::kRte;
  return G::kOther;
}


class GpxHandler : public GeoXmlHandler {
 public:
  bool WantsText(std::string_view name) const override {
    const G g = KindOf(name);
    return g == G::kName || g == G::kEle;
  }

  void Start(std::string_view name, const char** attributes) override {
    const G g = KindOf(name);
    stack_.push_back(g);
    switch (g) {
      case G::kWpt: case G::kRtept: case G::kTrkpt: point_ = PointAt(name, attributes); break;
      case G::kTrk: Begin("tracks"); break;
      case G::kRte:
        Begin("routes");
        feature_->parts.emplace_back();
        break;
      case G::kTrkseg:
        if (feature_) feature_->parts.emplace_back();
        break;
      default: break;
    }
  }

  void End(std::string_view, std::string_view text) override {
    const G g = stack_.empty() ? G::kOther : stack_.back();
    if (!stack_.empty()) stack_.pop_back();
    const G parent = stack_.empty() ? G::kOther : stack_.back();
    switch (g) {
      case G::kEle:
        if (parent == G::kWpt || parent == G::kRtept || parent == G::kTrkpt) {
          point_.alt = ReadCoordinate(XmlTrimmed(text), "elevation");
        }
        break;
      case G::kName:
        if (parent == G::kWpt) pointName_ = XmlTrimmed(text);
        if ((parent == G::kTrk || parent == G::kRte) && feature_) feature_->name = XmlTrimmed(text);
        break;
      case G::kWpt: Waypoint(); break;
      case G::kRtept: case G::kTrkpt:
        if (feature_ && !feature_->parts.empty()) feature_->parts.back().positions.push_back(point_);
        break;
      case G::kTrk: case G::kRte: Finished(); break;
      default: break;
    }
  }

  GeoDocument Finish() override {
    document_.format = "GPX";
    return std::move(document_);
  }

 private:
  static GeoPosition PointAt(std::string_view name, const char** attributes) {
    const char* lat = XmlAttribute(attributes, "lat");
    const char* lon = XmlAttribute(attributes, "lon");
    if (lat == nullptr || lon == nullptr) {
      throw Error(ErrorKind::kGeneral, "a <" + std::string(name) + "> without lat and lon");
    }
    GeoPosition p;
    p.lat = ReadCoordinate(lat, "latitude");
    p.lon = ReadCoordinate(lon, "longitude");
    CheckPosition(p);
    return p;
  }

  void Begin(const char* layer) {
    feature_.emplace();
    feature_->layer = layer;
  }

  void Waypoint() {
    GeoFeature f;
    f.name = std::move(pointName_);
    pointName_.clear();
    f.layer = "waypoints";
    f.parts.push_back({GeoPartKind::kPoint, {point_}});
    document_.features.push_back(std::move(f));
  }

  // A track's or route's lines: the segments that hold a point; the rest are empty.
  void Finished() {
    if (!feature_) return;
    std::vector<GeoPart> parts;
    for (GeoPart& p : feature_->parts) {
      if (p.positions.empty()) {
        ++document_.emptyGeometries;
      } else {
        p.kind = GeoPartKind::kLine;
        parts.push_back(std::move(p));
      }
    }
    if (feature_->parts.empty()) ++document_.emptyGeometries;
    feature_->parts = std::move(parts);
    if (!feature_->parts.empty()) document_.features.push_back(std::move(*feature_));
    feature_.reset();
  }

  std::vector<G> stack_;
  GeoPosition point_;
  std::string pointName_;
  std::optional<GeoFeature> feature_;
  GeoDocument document_;
};

}  // namespace

std::unique_ptr<GeoXmlHandler> MakeGpxHandler() { return std::make_unique<GpxHandler>(); }

}  // namespace varnolt
