// The opt-in settings beyond the ten, the settings file's key=value lines after line
// 10, read into one value: what else to convert, how the document is organised and
// how plane points reach WGS 84. The run, the command line and both windows read
// them here. With none of the lines every document is as it has always been.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "geodesy/datum.h"
#include "geodesy/helmert.h"
#include "geodesy/methods.h"
#include "settings/include_kinds.h"
#include "settings/settings.h"

namespace varnolt {

enum class Altitude { kRelative, kClamp, kAbsolute };
// How plane points reach WGS 84: the minute corrections of the main window, the
// four-parameter plane fit saved by `varnolt fit --save`, or seven parameters.
enum class Method { kCorrections, kFourParameter, kHelmert };

// Each field names the line it comes from; words are read in any case.
struct ConversionOptions {
  unsigned include = 0;                     // include=blocks,points,...: IncludeKind bits
  bool polygons = false;                    // polygons=yes|no: closed shapes filled
  bool layerFolders = false;                // folders=layer|single
  bool attributes = false;                  // attributes=yes|no: ExtendedData
  Altitude altitude = Altitude::kRelative;  // altitude=relative|clamp|absolute
  bool plainText = false;  // plain_text=yes|no: texts named without formatting codes
  // strict=yes|no: an entity of an included kind that cannot be used fails the
  // drawing instead of being left out.
  bool strict = false;

  bool cgcs2000 = false;        // datum=cgcs2000: the two datum buttons do not count
  bool zoneInEastings = false;  // zone=auto or zone=N: eastings carry the zone number
  int requiredZone = 0;         // zone=N (a --crs with zone numbers): only that zone
  Method method = Method::kCorrections;  // transform=four-parameter, or helmert= given
  std::optional<PlaneSimilarity> fit;    // four_parameter=dx,dy,a,b
  std::optional<double> fitMeridian;     // four_parameter_meridian=, decimal degrees
  // helmert=dx,dy,dz,rx,ry,rz,ppm (used with Method::kHelmert), its rotations'
  // convention from helmert_convention=position-vector|coordinate-frame.
  Helmert helmert;
  bool gcj02 = false;  // output_datum=wgs84|gcj02
  // cad_progid=: the automation class of the CAD host the live session attaches to
  // (AutoCAD.Application.24); empty: the hosts the session knows, in order.
  std::string cadProgId;

  bool operator==(const ConversionOptions&) const = default;
};

// An opt-in line whose value cannot be used. what() names the line as key=value and
// the value: "the setting altitude=sky: "sky" is not relative, clamp or absolute".
// The command line refuses such settings as a usage error; a window shows it.
class SettingError : public Error {
 public:
  explicit SettingError(const std::string& what) : Error(ErrorKind::kGeneral, what) {}
};

// Reads the opt-in lines. Throws SettingError for the first line that cannot be
// used, and for helmert= together with transform=four-parameter.
ConversionOptions ReadConversionOptions(const Settings& settings);

// The same for a window, which shows what is wrong and goes on: a line that cannot
// be used reads as its default, and its message is added to `problems`.
ConversionOptions ReadConversionOptions(const Settings& settings,
                                        std::vector<std::string>& problems);

// Writes `options` into the opt-in lines. Only an option that differs from what its
// line reads now has its line rewritten (a default removes it): every other line,
// a misspelt or unusable one included, stays as it was written.
void StoreConversionOptions(const ConversionOptions& options, Settings& settings);

// The datum of the plane coordinates: CGCS2000 by datum=cgcs2000, else Beijing 1954
// when Option1 is selected, else Xi'an 1980. Throws SettingError for a datum= line it
// cannot use.
Datum DatumOfSettings(const Settings& settings);

}  // namespace varnolt
