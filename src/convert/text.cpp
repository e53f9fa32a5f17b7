// Texts and multiline texts: a named Point with a view over it.
#include "convert/common.h"
#include "kml/document.h"
#include "text/numtext.h"

namespace varnolt {

namespace {

int64_t AppendTextPlacemark(const Point3& A, const ConvertContext& ctx,
                            std::string_view qstab, std::string_view textname,
                            std::string_view textstyle, std::string& out,
                            const PlacemarkLayout& layout) {
  // Computed once, written in the LookAt and in the Point alike.
  double lonValue = 0, latValue = 0;
  ctx.projector.LonLat(A[1], A[0], lonValue, latValue);
  const std::string lon = GeneralText(lonValue);
  const std::string lat = GeneralText(latValue);

  AppendPlacemarkHead(out, qstab, textname, textstyle);
  out += qstab; out += "\t<LookAt>\r\n";
  out += qstab; out += "\t\t<longitude>"; out += lon; out += "</longitude>\r\n";
  out += qstab; out += "\t\t<latitude>"; out += lat; out += "</latitude>\r\n";
  out += qstab; out += "\t\t<altitude>0</altitude>\r\n";
  out += qstab; out += "\t\t<range>1000.0</range>\r\n";
  out += qstab; out += "\t\t<tilt>0.0</tilt>\r\n";
  out += qstab; out += "\t\t<heading>0.0</heading>\r\n";
  out += qstab; out += "\t</LookAt>\r\n";
  AppendPointOpen(out, qstab, layout);
  out += qstab; out += "\t\t\t"; out += lon; out += ','; out += lat; out += ',';
  AppendBareText(out, A[2]);
  out += "\r\n";
  AppendPointClose(out, qstab);
  return 1;
}

}  // namespace

int64_t totext(const Text& ent, const ConvertContext& ctx, std::string_view qstab,
               std::string_view textname, std::string_view textstyle, std::string& out,
               const PlacemarkLayout& layout) {
  return AppendTextPlacemark(TextAnchor(ent), ctx, qstab, textname, textstyle, out, layout);
}

int64_t tomtext(const MText& ent, const ConvertContext& ctx, std::string_view qstab,
                std::string_view textname, std::string_view textstyle, std::string& out,
                const PlacemarkLayout& layout) {
  return AppendTextPlacemark(TextAnchor(ent), ctx, qstab, textname, textstyle, out, layout);
}

}  // namespace varnolt
