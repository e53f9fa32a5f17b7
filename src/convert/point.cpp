// Points: a named Point Placemark, without the view texts carry.
#include "convert/common.h"
#include "kml/document.h"

namespace varnolt {

using convert_detail::PointLines;

int64_t topoint(const Entity& ent, const ConvertContext& ctx, std::string_view qstab,
                std::string_view pointname, std::string_view pointstyle, std::string& out) {
  out += qstab; out += "<Placemark>\r\n";
  out += "\r\n";
  out += qstab; out += "\t<name>"; AppendXmlText(out, pointname); out += "</name>\r\n";
  out += qstab; out += "\t<styleUrl>"; out += pointstyle; out += "</styleUrl>\r\n";
  out += qstab; out += "\t<Point>\r\n";
  out += qstab; out += "\t\t<altitudeMode>relativeToGround</altitudeMode>\r\n";
  out += qstab; out += "\t\t<coordinates>\r\n";
  PointLines::Write(ctx, qstab, out, [&](PointLines& lines) {
    lines.Add(ent.insertion[0], ent.insertion[1], ent.insertion[2]);
  });
  out += qstab; out += "\t\t</coordinates>\r\n";
  out += qstab; out += "\t</Point>\r\n";
  out += "\r\n";
  out += qstab; out += "</Placemark>\r\n";
  out += "\r\n";
  return 1;
}

}  // namespace varnolt
