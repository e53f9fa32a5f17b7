#include "form/conversion_options.h"

#include <optional>

#include "settings/include_kinds.h"
#include "text/ascii.h"

namespace varnolt::form {
namespace {

bool Yes(const std::string& value) {
  return value == "1" || EqualsIgnoringAsciiCase(value, "yes") ||
         EqualsIgnoringAsciiCase(value, "true");
}

}  // namespace

ConversionOptions OptionsOf(const Settings& s) {
  ConversionOptions o;
  o.include = ParseIncludeList(s.Extra("include")).value_or(0);
  o.polygons = Yes(s.Extra("polygons"));
  o.layerFolders = EqualsIgnoringAsciiCase(s.Extra("folders"), "layer");
  o.attributes = Yes(s.Extra("attributes"));
  const std::string altitude = s.Extra("altitude");
  if (EqualsIgnoringAsciiCase(altitude, "clamp")) o.altitude = Altitude::kClamp;
  if (EqualsIgnoringAsciiCase(altitude, "absolute")) o.altitude = Altitude::kAbsolute;
  o.zoneAuto = s.Extra("zone") == "auto";
  o.helmert = s.Extra("helmert");
  if (!o.helmert.empty()) {
    o.method = Method::kHelmert;
  } else if (s.Extra("transform") == "four-parameter") {
    o.method = Method::kFourParameter;
  }
  o.coordinateFrame = s.Extra("helmert_convention") == "coordinate-frame";
  o.gcj02 = s.Extra("output_datum") == "gcj02";
  return o;
}

void StoreOptions(const ConversionOptions& o, Settings& s) {
  s.SetExtra("include", IncludeListText(o.include));
  s.SetExtra("polygons", o.polygons ? "yes" : "");
  s.SetExtra("folders", o.layerFolders ? "layer" : "");
  s.SetExtra("attributes", o.attributes ? "yes" : "");
  s.SetExtra("altitude", o.altitude == Altitude::kClamp      ? "clamp"
                         : o.altitude == Altitude::kAbsolute ? "absolute"
                                                             : "");
  // A zone a coordinate system fixed (zone=38) stays unless the box now says auto.
  if (o.zoneAuto) {
    s.SetExtra("zone", "auto");
  } else if (s.Extra("zone") == "auto") {
    s.SetExtra("zone", "");
  }
  s.SetExtra("transform", o.method == Method::kFourParameter ? "four-parameter" : "");
  s.SetExtra("helmert", o.method == Method::kHelmert ? o.helmert : "");
  s.SetExtra("helmert_convention",
             o.method == Method::kHelmert && o.coordinateFrame ? "coordinate-frame" : "");
  s.SetExtra("output_datum", o.gcj02 ? "gcj02" : "");
}

}  // namespace varnolt::form
