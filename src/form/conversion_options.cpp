#include "form/conversion_options.h"

#include <optional>

#include "cad/include_kinds.h"
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
}

}  // namespace varnolt::form
