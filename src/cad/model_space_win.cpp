#include "cad/model_space.h"

#include <string>
#include <variant>

#include "base/error.h"
#include "text/ascii.h"

namespace varnolt {
namespace {

using com::Call;
using com::Get;
using com::Obj;
using com::Put;

// Why an entity cannot be added through the four methods; empty when it can.
std::string NotAddable(const Entity& e) {
  if (const auto* p = e.As<LwPolyline>()) {
    for (const LwVertex& v : p->vertices) {
      if (v.bulge != 0) return "a polyline with arc segments";
    }
    if (p->normal != Point3{0, 0, 1}) return "a polyline off the plan";
    if (p->vertices.size() < 2) return "a polyline of fewer than two vertices";
    return {};
  }
  if (const auto* p = e.As<Polyline3d>()) {
    return p->vertices.size() < 2 ? "a 3D polyline of fewer than two vertices" : "";
  }
  if (e.As<varnolt::Point>() != nullptr) return {};
  if (const auto* t = e.As<Text>()) {
    if (t->rotation != 0) return "a rotated text";
    return t->height > 0 ? "" : "a text without height";
  }
  return "an entity of kind " + std::to_string(static_cast<int>(e.type())) +
         ", not a polyline, point or text";
}

std::vector<double> Flat(const Point3& p) { return {p[0], p[1], p[2]}; }

// The new entity, made by the method of its kind, its Closed flag set.
Obj AddGeometry(const Obj& modelSpace, const Entity& e) {
  if (const auto* p = e.As<LwPolyline>()) {
    std::vector<double> xy;
    xy.reserve(p->vertices.size() * 2);
    for (const LwVertex& v : p->vertices) xy.insert(xy.end(), {v.x, v.y});
    Obj line = Call(modelSpace, L"AddLightWeightPolyline", xy).Object("LWPolyline");
    if (p->elevation != 0) Put(line, L"Elevation", p->elevation);
    if (p->closed) Put(line, L"Closed", true);
    return line;
  }
  if (const auto* p = e.As<Polyline3d>()) {
    std::vector<double> xyz;
    xyz.reserve(p->vertices.size() * 3);
    for (const Point3& v : p->vertices) xyz.insert(xyz.end(), {v[0], v[1], v[2]});
    Obj line = Call(modelSpace, L"Add3DPoly", xyz).Object("3DPolyline");
    if (p->closed) Put(line, L"Closed", true);
    return line;
  }
  if (const auto* p = e.As<varnolt::Point>()) {
    return Call(modelSpace, L"AddPoint", Flat(p->position)).Object("Point");
  }
  const Text& t = *e.As<Text>();
  return Call(modelSpace, L"AddText", t.textstring, Flat(t.insertion), t.height).Object("Text");
}

// The table's layers by name, the missing ones added with their colours.
void AddLayers(const Obj& document, const std::vector<Layer>& layers,
               const std::vector<Entity>& entities) {
  const Obj table = Get(document, L"Layers").Object("Layers");
  std::vector<std::string> have;
  const long long count = Get(table, L"Count").Integer();
  for (long long k = 0; k < count; ++k) {
    const Obj layer = Get(table, L"Item", static_cast<long>(k)).Object("Layer");
    have.push_back(Get(layer, L"Name").Text());
  }
  auto add = [&](const std::string& name, int color) {
    for (const std::string& h : have) {
      if (EqualsIgnoringAsciiCase(h, name)) return;
    }
    const Obj layer = Call(table, L"Add", name).Object("Layer");
    Put(layer, L"color", static_cast<long>(color));
    have.push_back(name);
  };
  for (const Layer& l : layers) add(l.name, l.color);
  for (const Entity& e : entities) add(e.layer.empty() ? "0" : e.layer, 7);
}

}  // namespace

void AddToModelSpace(const Obj& document, const Obj& modelSpace, const std::vector<Layer>& layers,
                     const std::vector<Entity>& entities, const AddProgress& progress) {
  for (size_t k = 0; k < entities.size(); ++k) {
    if (const std::string why = NotAddable(entities[k]); !why.empty()) {
      throw Error(ErrorKind::kGeneral, "entity " + std::to_string(k + 1) + " cannot be added to "
                                           "the CAD host's drawing: it is " + why);
    }
  }
  AddLayers(document, layers, entities);
  for (size_t k = 0; k < entities.size(); ++k) {
    const Entity& e = entities[k];
    const Obj added = AddGeometry(modelSpace, e);
    Put(added, L"color", static_cast<long>(e.color));
    Put(added, L"Layer", e.layer.empty() ? std::string("0") : e.layer);
    if (progress) progress(k + 1, entities.size());
  }
}

}  // namespace varnolt
