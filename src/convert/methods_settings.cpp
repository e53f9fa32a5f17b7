#include "convert/methods_settings.h"

#include <cmath>

#include "base/error.h"
#include "text/numtext.h"

namespace varnolt {

DatumParameters DatumParametersOfSettings(const Settings& settings) {
  return DatumParametersOf(DatumOfSettings(settings.Option1, settings.Extra("datum")));
}

std::shared_ptr<const ProjectionMethods> MethodsOfSettings(const Settings& settings) {
  const std::string zone = settings.Extra("zone");
  const std::string transform = settings.Extra("transform");
  const std::string helmert = settings.Extra("helmert");
  const std::string convention = settings.Extra("helmert_convention");
  const std::string output = settings.Extra("output_datum");
  if (zone.empty() && transform.empty() && helmert.empty() && output.empty()) return nullptr;

  auto m = std::make_shared<ProjectionMethods>();
  m->datum = DatumOfSettings(settings.Option1, settings.Extra("datum"));
  m->meridianPacked = ReadLeadingNumber(settings.Text2);
  m->latCorrection = ReadLeadingNumber(settings.Text5);
  m->lonCorrection = ReadLeadingNumber(settings.Text6);
  if (!zone.empty()) {
    m->zoneInEastings = true;
    if (zone != "auto") {
      double n = 0;
      if (!ParseNumber(zone, n) || n != std::floor(n) || !ZoneMeridian(static_cast<int>(n))) {
        throw Error(ErrorKind::kGeneral, "the setting zone=" + zone + " is neither auto nor a "
                                         "zone number " + kZoneRanges);
      }
      m->requiredZone = static_cast<int>(n);
    }
  }
  if (transform == "four-parameter") {
    PlaneSimilarity fit;
    if (!ParseSimilarity(settings.Extra("four_parameter"), fit)) {
      throw Error(ErrorKind::kGeneral,
                  "transform=four-parameter needs the fitted parameters (four_parameter=dx,dy,a,b"
                  "): run `varnolt fit POINTS --save` first");
    }
    m->fit = fit;
    double meridian = 0;
    if (ParseNumber(settings.Extra("four_parameter_meridian"), meridian)) {
      m->fitMeridian = meridian;
    }
  } else if (!transform.empty()) {
    throw Error(ErrorKind::kGeneral, "the setting transform=" + transform +
                                         " is unknown; the choice is four-parameter");
  }
  if (!helmert.empty()) {
    if (m->fit) {
      throw Error(ErrorKind::kGeneral, "the settings choose both the four-parameter fit and "
                                       "seven parameters (helmert=); keep one");
    }
    std::optional<Helmert> h = ParseHelmert(helmert);
    if (!h) {
      throw Error(ErrorKind::kGeneral, "the setting helmert=" + helmert + " is not seven "
                                       "numbers dx,dy,dz,rx,ry,rz,ppm");
    }
    if (convention == "coordinate-frame") {
      h->convention = RotationConvention::kCoordinateFrame;
    } else if (!convention.empty() && convention != "position-vector") {
      throw Error(ErrorKind::kGeneral, "the setting helmert_convention=" + convention +
                                           " is neither position-vector nor coordinate-frame");
    }
    m->helmert = *h;
  }
  if (output == "gcj02") {
    m->gcj02 = true;
  } else if (!output.empty() && output != "wgs84") {
    throw Error(ErrorKind::kGeneral, "the setting output_datum=" + output +
                                         " is unknown; the choices are wgs84 and gcj02");
  }
  return m;
}

}  // namespace varnolt
