// GeoJSON (RFC 7946): a FeatureCollection, a Feature or a bare geometry; Point,
// LineString, Polygon, their Multi forms and GeometryCollection. A feature's
// property "name" labels its points.
#include <nlohmann/json.hpp>

#include <string>

#include "base/error.h"
#include "import/geo_reader.h"
#include "text/encoding.h"

namespace varnolt {
namespace {

using nlohmann::json;

// Collections inside collections are allowed, but not without end.
constexpr int kMaxDepth = 64;

class GeoJsonReader {
 public:
  explicit GeoJsonReader(const std::string& name) : name_(name) {}

  GeoDocument Read(const json& root) {
    doc_.format = "GeoJSON";
    const std::string type = TypeOf(root, "the document");
    if (type == "FeatureCollection") {
      const json* features = Member(root, "features");
      if (features == nullptr || !features->is_array()) Fail("a FeatureCollection without its \"features\" array");
      size_t k = 0;
      for (const json& f : *features) Feature(f, "feature " + std::to_string(++k));
    } else if (type == "Feature") {
      Feature(root, "the feature");
    } else {
      GeoFeature f;
      Geometry(root, f, "the geometry", 0);
      Keep(std::move(f));
    }
    return std::move(doc_);
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw Error(ErrorKind::kGeneral, name_ + ": " + what);
  }

  static const json* Member(const json& j, const char* key) {
    if (!j.is_object()) return nullptr;
    const auto it = j.find(key);
    return it == j.end() ? nullptr : &*it;
  }

  std::string TypeOf(const json& j, const std::string& where) const {
    const json* type = Member(j, "type");
    if (type == nullptr || !type->is_string()) {
      Fail("JSON of another kind: " + where + " has no GeoJSON \"type\"");
    }
    return type->get<std::string>();
  }

  void Feature(const json& f, const std::string& where) {
    if (TypeOf(f, where) != "Feature") Fail(where + " is not of type \"Feature\"");
    GeoFeature feature;
    if (const json* props = Member(f, "properties")) {
      if (const json* n = Member(*props, "name")) {
        feature.name = n->is_string() ? n->get<std::string>() : n->is_null() ? "" : n->dump();
      }
    }
    const json* g = Member(f, "geometry");
    if (g == nullptr || g->is_null()) {
      ++doc_.emptyGeometries;
      return;
    }
    Geometry(*g, feature, where, 0);
    Keep(std::move(feature));
  }

  void Keep(GeoFeature&& f) {
    if (!f.parts.empty()) doc_.features.push_back(std::move(f));
  }

  GeoPosition Position(const json& p, const std::string& where) const {
    if (!p.is_array() || p.size() < 2 || p.size() > 4) {
      Fail(where + ": a position must be [longitude, latitude] or [longitude, latitude, "
                   "altitude]");
    }
    static const char* const kWhat[] = {"longitude", "latitude", "altitude", "measure"};
    double v[3] = {0, 0, 0};
    for (size_t k = 0; k < p.size(); ++k) {
      if (!p[k].is_number()) {
        Fail(where + ": the " + kWhat[k] + " " + p[k].dump().substr(0, 40) + " is not a number");
      }
      if (k < 3) v[k] = p[k].get<double>();
    }
    GeoPosition pos{v[0], v[1], v[2]};
    try {
      CheckPosition(pos);
    } catch (const Error& e) {
      Fail(where + ": " + e.what());
    }
    return pos;
  }

  void Positions(const json& list, GeoPartKind kind, GeoFeature& f, const std::string& where) {
    if (!list.is_array()) Fail(where + ": the coordinates must be an array of positions");
    GeoPart part;
    part.kind = kind;
    part.positions.reserve(list.size());
    for (const json& p : list) part.positions.push_back(Position(p, where));
    if (part.positions.empty()) {
      ++doc_.emptyGeometries;
    } else {
      f.parts.push_back(std::move(part));
    }
  }

  void Geometry(const json& g, GeoFeature& f, const std::string& where, int depth) {
    if (depth > kMaxDepth) Fail(where + ": geometry collections nested too deep");
    const std::string type = TypeOf(g, where);
    if (type == "GeometryCollection") {
      const json* list = Member(g, "geometries");
      if (list == nullptr || !list->is_array()) Fail(where + ": a GeometryCollection without \"geometries\"");
      for (const json& part : *list) Geometry(part, f, where, depth + 1);
      if (list->empty()) ++doc_.emptyGeometries;
      return;
    }
    const json* c = Member(g, "coordinates");
    if (c == nullptr || c->is_null()) Fail(where + ": a " + type + " without \"coordinates\"");
    if (!c->is_array()) Fail(where + ": the coordinates must be an array");
    const auto each = [&](auto&& one) {
      if (c->empty()) ++doc_.emptyGeometries;
      for (const json& item : *c) one(item);
    };
    if (type == "Point") {
      if (c->empty()) {
        ++doc_.emptyGeometries;
        return;
      }
      f.parts.push_back({GeoPartKind::kPoint, {Position(*c, where)}});
    } else if (type == "MultiPoint") {
      each([&](const json& p) { f.parts.push_back({GeoPartKind::kPoint, {Position(p, where)}}); });
    } else if (type == "LineString") {
      Positions(*c, GeoPartKind::kLine, f, where);
    } else if (type == "MultiLineString") {
      each([&](const json& l) { Positions(l, GeoPartKind::kLine, f, where); });
    } else if (type == "Polygon") {
      each([&](const json& ring) { Positions(ring, GeoPartKind::kRing, f, where); });
    } else if (type == "MultiPolygon") {
      each([&](const json& poly) {
        if (!poly.is_array()) Fail(where + ": a polygon must be an array of rings");
        for (const json& ring : poly) Positions(ring, GeoPartKind::kRing, f, where);
      });
    } else {
      Fail(where + ": \"" + type + "\" is no GeoJSON geometry type");
    }
  }

  const std::string& name_;
  GeoDocument doc_;
};

}  // namespace

GeoDocument ReadGeoJson(std::string_view bytes, const std::string& name) {
  json root;
  try {
    root = json::parse(bytes.begin(), bytes.end());
  } catch (const json::exception& e) {
    // The parser quotes what it read last, bytes of the file that need not be UTF-8.
    std::string what = SanitizeUtf8(e.what());
    if (what.size() > 200) what = SanitizeUtf8(what.substr(0, 200)) + "...";
    throw Error(ErrorKind::kGeneral, name + ": not valid JSON: " + what);
  }
  return GeoJsonReader(name).Read(root);
}

}  // namespace varnolt
