#include "convert/methods_settings.h"

#include "base/error.h"
#include "settings/conversion_options.h"
#include "text/numtext.h"

namespace varnolt {

DatumParameters DatumParametersOfSettings(const Settings& settings) {
  return DatumParametersOf(DatumOfSettings(settings));
}

std::shared_ptr<const ProjectionMethods> MethodsOfSettings(const Settings& settings) {
  const ConversionOptions o = ReadConversionOptions(settings);
  // An explicit output_datum=wgs84 chooses the methods as it always has, though it
  // changes no position.
  if (!o.zoneInEastings && o.method == Method::kCorrections && !o.gcj02 &&
      settings.Extra("output_datum").empty()) {
    return nullptr;
  }
  auto m = std::make_shared<ProjectionMethods>();
  m->datum = DatumOfSettings(settings);
  m->meridianPacked = ReadLeadingNumber(settings.Text2);
  m->latCorrection = ReadLeadingNumber(settings.Text5);
  m->lonCorrection = ReadLeadingNumber(settings.Text6);
  m->zoneInEastings = o.zoneInEastings;
  m->requiredZone = o.requiredZone;
  if (o.method == Method::kFourParameter) {
    if (!o.fit) {
      throw Error(ErrorKind::kGeneral,
                  "transform=four-parameter needs the fitted parameters (four_parameter=dx,dy,a,b"
                  "): run `varnolt fit POINTS --save` first");
    }
    m->fit = o.fit;
    m->fitMeridian = o.fitMeridian;
  }
  if (o.method == Method::kHelmert) m->helmert = o.helmert;
  m->gcj02 = o.gcj02;
  return m;
}

}  // namespace varnolt
