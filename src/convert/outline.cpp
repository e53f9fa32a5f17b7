// Leaders and the frames of images and wipeouts: LineStrings through their points.
#include "convert/common.h"
#include "convert/curve_points.h"
#include "kml/document.h"

namespace varnolt {

using convert_detail::PointLines;

int64_t toleader(const Leader& ent, const ConvertContext& ctx, std::string_view qstab,
                 std::string_view plinename, std::string_view plinestyle, std::string& out,
                 const PlacemarkLayout& layout) {
  if (ent.lines.size() == 1) {
    return convert_detail::AppendLineString(ent.lines[0], ctx, qstab, plinename, plinestyle,
                                            out, layout);
  }
  double total = 0;
  for (const std::vector<Point3>& line : ent.lines) total += static_cast<double>(line.size());
  convert_detail::CheckPointCount(total);
  AppendPlacemarkHead(out, qstab, plinename, plinestyle);
  AppendExtendedData(out, qstab, layout);
  const std::string indent = std::string(qstab) + "\t\t";
  out += qstab; out += "\t<MultiGeometry>\r\n";
  for (const std::vector<Point3>& line : ent.lines) {
    out += indent; out += "<LineString>\r\n";
    out += indent; out += "\t<tessellate>1</tessellate>\r\n";
    out += indent; out += "\t<altitudeMode>"; out += layout.altitudeMode; out += "</altitudeMode>\r\n";
    out += indent; out += "\t<coordinates>\r\n";
    // Point lines carry three TABs after the indentation they are given.
    PointLines::Write(ctx, std::string(qstab) + '\t', out, [&](PointLines& lines) {
      for (const Point3& p : line) lines.Add(p[0], p[1], p[2]);
    });
    out += indent; out += "\t</coordinates>\r\n";
    out += indent; out += "</LineString>\r\n";
  }
  out += qstab; out += "\t</MultiGeometry>\r\n";
  AppendPlacemarkEnd(out, qstab);
  return static_cast<int64_t>(total);
}

int64_t toframe(const Frame& ent, const ConvertContext& ctx, std::string_view qstab,
                std::string_view plinename, std::string_view plinestyle, std::string& out,
                const PlacemarkLayout& layout) {
  std::vector<Point3> ring = ent.boundary;
  if (!ring.empty()) ring.push_back(ring.front());
  return convert_detail::AppendLineString(ring, ctx, qstab, plinename, plinestyle, out, layout);
}

}  // namespace varnolt
