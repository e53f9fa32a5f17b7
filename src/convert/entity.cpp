// An entity by its kind's converter.
#include <variant>

#include "base/overloaded.h"
#include "convert/convert.h"

namespace varnolt {
namespace {

// A closed polyline or circle as a filled polygon of its outline; one whose outline
// encloses nothing stays the line its kind writes.
template <class Closed, class Line>
int64_t AsPolygon(const Closed& ent, const ConvertContext& ctx, std::string_view qstab,
                  std::string_view name, const PlacemarkStyles& styles, std::string& out,
                  const PlacemarkLayout& layout, Line line) {
  const std::vector<PolygonShape> shapes = NestRings({OutlinePoints(ent, ctx)});
  if (shapes.empty()) return line(ent, ctx, qstab, name, styles.line, out, layout);
  return AppendPolygonPlacemark(shapes, ctx, qstab, name, styles.polygon, out, layout);
}

}  // namespace

int64_t ConvertEntity(const Entity& ent, const ConvertContext& ctx, std::string_view qstab,
                      std::string_view name, const PlacemarkStyles& styles, bool polygons,
                      std::string& out, const PlacemarkLayout& layout) {
  const std::string_view line = styles.line;
  return std::visit(
      Overloaded{
          [&](const Line& e) { return toline(e, ctx, qstab, name, line, out, layout); },
          [&](const Arc& e) { return toarc(e, ctx, qstab, name, line, out, layout); },
          [&](const Circle& e) {
            if (polygons) return AsPolygon(e, ctx, qstab, name, styles, out, layout, tocircle);
            return tocircle(e, ctx, qstab, name, line, out, layout);
          },
          [&](const LwPolyline& e) {
            if (polygons && IsClosedShape(ent)) {
              return AsPolygon(e, ctx, qstab, name, styles, out, layout, topline);
            }
            return topline(e, ctx, qstab, name, line, out, layout);
          },
          [&](const Polyline3d& e) { return toswpline(e, ctx, qstab, name, line, out, layout); },
          [&](const Text& e) { return totext(e, ctx, qstab, name, line, out, layout); },
          [&](const MText& e) { return tomtext(e, ctx, qstab, name, line, out, layout); },
          [&](const Point& e) { return topoint(e, ctx, qstab, name, line, out, layout); },
          [&](const Ellipse& e) { return toellipse(e, ctx, qstab, name, line, out, layout); },
          [&](const Spline& e) { return tospline(e, ctx, qstab, name, line, out, layout); },
          [&](const Hatch& e) {
            return tohatch(e, ctx, qstab, name, styles.polygon, out, layout);
          },
          [&](const Solid& e) {
            return tosolid(e, ctx, qstab, name, styles.polygon, out, layout);
          },
          [&](const Mesh& e) { return tomesh(e, ctx, qstab, name, styles.polygon, out, layout); },
          [&](const Leader& e) { return toleader(e, ctx, qstab, name, line, out, layout); },
          [&](const Frame& e) { return toframe(e, ctx, qstab, name, line, out, layout); },
      },
      ent.geometry);
}

}  // namespace varnolt
