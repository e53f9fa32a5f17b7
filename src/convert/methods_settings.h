// The opt-in ways to WGS 84 that the settings file's extra lines choose (methods.h):
//   zone=auto | N               eastings carry a zone number (N: must be zone N)
//   transform=four-parameter    with four_parameter=dx,dy,a,b from `varnolt fit --save`
//   helmert=dx,dy,dz,rx,ry,rz,ppm   and helmert_convention=position-vector|coordinate-frame
//   output_datum=gcj02
// plus datum=cgcs2000, which the default projection serves by itself.
#pragma once

#include <memory>

#include "geodesy/methods.h"
#include "settings/settings.h"

namespace varnolt {

// Null when the settings choose none of them: the run computes as it always has.
// Throws SettingError for a line that cannot be used (ReadConversionOptions), and
// Error(kGeneral) for the four-parameter method without its parameters.
std::shared_ptr<const ProjectionMethods> MethodsOfSettings(const Settings& settings);

// The datum the settings choose, with its parameters.
DatumParameters DatumParametersOfSettings(const Settings& settings);

}  // namespace varnolt
