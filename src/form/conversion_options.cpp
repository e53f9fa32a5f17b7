#include "form/conversion_options.h"

namespace varnolt::form {

void SetZoneAuto(ConversionOptions& o, bool checked) {
  if (checked) {
    o.zoneInEastings = true;
    o.requiredZone = 0;
  } else if (o.requiredZone == 0) {
    o.zoneInEastings = false;
  }
}

std::string HelmertBoxText(const ConversionOptions& o) {
  return o.method == Method::kHelmert ? HelmertText(o.helmert) : std::string();
}

bool SetHelmertBoxText(ConversionOptions& o, std::string_view text) {
  std::optional<Helmert> h = ParseHelmert(text);
  if (!h) return false;
  h->convention = o.helmert.convention;
  o.helmert = *h;
  return true;
}

}  // namespace varnolt::form
