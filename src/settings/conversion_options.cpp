#include "settings/conversion_options.h"

#include <cmath>

#include "text/ascii.h"
#include "text/numtext.h"

namespace varnolt {
namespace {

// One opt-in line: how its value is read into the options and written back.
struct Line {
  std::string_view key;
  std::string_view expected;  // what the value may be, for the message
  // Reads a value (never empty: an empty one is no line) into `o`; false when it is
  // none of the expected, with `part` narrowed to the word at fault where there is one.
  bool (*read)(std::string_view value, ConversionOptions& o, std::string_view& part);
  // The value that stands for `o`'s choice; empty for the default, which has no line.
  std::string (*text)(const ConversionOptions& o);
};

bool Is(std::string_view value, std::string_view word) {
  return EqualsIgnoringAsciiCase(value, word);
}

std::optional<bool> YesNo(std::string_view value) {
  if (Is(value, "yes") || Is(value, "true") || value == "1") return true;
  if (Is(value, "no") || Is(value, "false") || value == "0") return false;
  return std::nullopt;
}

// A line that switches `kField`: yes, true or 1 on; no, false or 0 off.
template <bool ConversionOptions::*kField>
Line YesNoLine(std::string_view key) {
  return {key, "yes or no",
          [](std::string_view v, ConversionOptions& o, std::string_view&) {
            const std::optional<bool> yes = YesNo(v);
            if (yes) o.*kField = *yes;
            return yes.has_value();
          },
          [](const ConversionOptions& o) { return std::string(o.*kField ? "yes" : ""); }};
}

bool ReadZone(std::string_view value, ConversionOptions& o) {
  if (Is(value, "auto")) {
    o.zoneInEastings = true;
    o.requiredZone = 0;
    return true;
  }
  double n = 0;
  if (!ParseNumber(value, n) || n != std::floor(n) || n < 1 || n > 1000 ||
      !ZoneMeridian(static_cast<int>(n))) {
    return false;
  }
  o.zoneInEastings = true;
  o.requiredZone = static_cast<int>(n);
  return true;
}

bool ReadHelmert(std::string_view value, ConversionOptions& o) {
  std::optional<Helmert> h = ParseHelmert(value);
  if (!h) return false;
  h->convention = o.helmert.convention;  // helmert_convention= may come either side
  o.helmert = *h;
  o.method = Method::kHelmert;
  return true;
}

// A class name as COM registers one: a letter, then letters, digits, dots and
// underscores, 39 characters at most.
bool IsProgId(std::string_view v) {
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (v.size() > 39 || !letter(v.front())) return false;
  for (char c : v) {
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '.' && c != '_') return false;
  }
  return true;
}

const std::string kIncludeExpected =
    "a kind of content (" + std::string(kIncludeNames) + ", none)";
const std::string kZoneExpected = std::string("auto or a zone number ") + kZoneRanges;

// In the order the lines are read, and written when they are new.
const Line kLines[] = {
    {"include", kIncludeExpected,
     [](std::string_view v, ConversionOptions& o, std::string_view& part) {
       const std::optional<unsigned> bits = ParseIncludeList(v, &part);
       if (bits) o.include = *bits;
       return bits.has_value();
     },
     [](const ConversionOptions& o) { return IncludeListText(o.include); }},
    YesNoLine<&ConversionOptions::polygons>("polygons"),
    {"folders", "layer or single",
     [](std::string_view v, ConversionOptions& o, std::string_view&) {
       o.layerFolders = Is(v, "layer");
       return o.layerFolders || Is(v, "single");
     },
     [](const ConversionOptions& o) { return std::string(o.layerFolders ? "layer" : ""); }},
    YesNoLine<&ConversionOptions::attributes>("attributes"),
    {"altitude", "relative, clamp or absolute",
     [](std::string_view v, ConversionOptions& o, std::string_view&) {
       o.altitude = Is(v, "clamp")      ? Altitude::kClamp
                    : Is(v, "absolute") ? Altitude::kAbsolute
                                        : Altitude::kRelative;
       return o.altitude != Altitude::kRelative || Is(v, "relative");
     },
     [](const ConversionOptions& o) {
       return std::string(o.altitude == Altitude::kClamp      ? "clamp"
                          : o.altitude == Altitude::kAbsolute ? "absolute"
                                                              : "");
     }},
    YesNoLine<&ConversionOptions::plainText>("plain_text"),
    YesNoLine<&ConversionOptions::strict>("strict"),
    {"datum", "cgcs2000 (Beijing 1954 and Xi'an 1980 are lines 8 and 9)",
     [](std::string_view v, ConversionOptions& o, std::string_view&) {
       o.cgcs2000 = Is(v, "cgcs2000");
       return o.cgcs2000;
     },
     [](const ConversionOptions& o) { return std::string(o.cgcs2000 ? "cgcs2000" : ""); }},
    {"zone", kZoneExpected,
     [](std::string_view v, ConversionOptions& o, std::string_view&) { return ReadZone(v, o); },
     [](const ConversionOptions& o) {
       if (!o.zoneInEastings) return std::string();
       return o.requiredZone != 0 ? std::to_string(o.requiredZone) : std::string("auto");
     }},
    {"transform", "four-parameter",
     [](std::string_view v, ConversionOptions& o, std::string_view&) {
       if (!Is(v, "four-parameter")) return false;
       o.method = Method::kFourParameter;
       return true;
     },
     [](const ConversionOptions& o) {
       return std::string(o.method == Method::kFourParameter ? "four-parameter" : "");
     }},
    {"four_parameter", "four numbers dx,dy,a,b (as `varnolt fit --save` writes them)",
     [](std::string_view v, ConversionOptions& o, std::string_view&) {
       PlaneSimilarity fit;
       if (!ParseSimilarity(v, fit)) return false;
       o.fit = fit;
       return true;
     },
     [](const ConversionOptions& o) { return o.fit ? SimilarityText(*o.fit) : std::string(); }},
    {"four_parameter_meridian", "a central meridian in decimal degrees",
     [](std::string_view v, ConversionOptions& o, std::string_view&) {
       double meridian = 0;
       if (!ParseNumber(v, meridian) || !std::isfinite(meridian)) return false;
       o.fitMeridian = meridian;
       return true;
     },
     [](const ConversionOptions& o) {
       return o.fitMeridian ? GeneralText(*o.fitMeridian) : std::string();
     }},
    {"helmert", "seven numbers dx,dy,dz,rx,ry,rz,ppm",
     [](std::string_view v, ConversionOptions& o, std::string_view&) { return ReadHelmert(v, o); },
     [](const ConversionOptions& o) {
       return o.method == Method::kHelmert ? HelmertText(o.helmert) : std::string();
     }},
    {"helmert_convention", "position-vector or coordinate-frame",
     [](std::string_view v, ConversionOptions& o, std::string_view&) {
       const bool frame = Is(v, "coordinate-frame");
       o.helmert.convention =
           frame ? RotationConvention::kCoordinateFrame : RotationConvention::kPositionVector;
       return frame || Is(v, "position-vector");
     },
     [](const ConversionOptions& o) {
       return std::string(o.helmert.convention == RotationConvention::kCoordinateFrame
                              ? "coordinate-frame"
                              : "");
     }},
    {"output_datum", "wgs84 or gcj02",
     [](std::string_view v, ConversionOptions& o, std::string_view&) {
       o.gcj02 = Is(v, "gcj02");
       return o.gcj02 || Is(v, "wgs84");
     },
     [](const ConversionOptions& o) { return std::string(o.gcj02 ? "gcj02" : ""); }},
    {"cad_progid", "a class name such as AutoCAD.Application or AutoCAD.Application.24",
     [](std::string_view v, ConversionOptions& o, std::string_view&) {
       if (!IsProgId(v)) return false;
       o.cadProgId = std::string(v);
       return true;
     },
     [](const ConversionOptions& o) { return o.cadProgId; }},
};

// Reads the line of `line.key` into `o`, which a line that cannot be used leaves as
// it was; that line's message, or empty.
std::string ReadLine(const Settings& settings, const Line& line, ConversionOptions& o) {
  const std::string value = settings.Extra(line.key);
  if (value.empty()) return {};
  ConversionOptions read = o;
  std::string_view part = value;
  if (line.read(value, read, part)) {
    o = read;
    return {};
  }
  return "the setting " + std::string(line.key) + "=" + value + ": \"" + std::string(part) +
         "\" is not " + std::string(line.expected);
}

// Every message goes to `problems`, or the first is thrown when there is none.
ConversionOptions Read(const Settings& settings, std::vector<std::string>* problems) {
  auto fail = [problems](std::string message) {
    if (problems == nullptr) throw SettingError(message);
    problems->push_back(std::move(message));
  };
  ConversionOptions o;
  for (const Line& line : kLines) {
    if (std::string message = ReadLine(settings, line, o); !message.empty()) fail(message);
  }
  if (o.method == Method::kHelmert && Is(settings.Extra("transform"), "four-parameter")) {
    fail("the settings lines transform=four-parameter and helmert=" + settings.Extra("helmert") +
         " choose two methods, the four-parameter fit and seven parameters; keep one");
  }
  return o;
}

}  // namespace

ConversionOptions ReadConversionOptions(const Settings& settings) {
  return Read(settings, nullptr);
}

ConversionOptions ReadConversionOptions(const Settings& settings,
                                        std::vector<std::string>& problems) {
  return Read(settings, &problems);
}

void StoreConversionOptions(const ConversionOptions& options, Settings& settings) {
  // What the lines say now, an unusable one read as its default.
  std::vector<std::string> unusable;
  const ConversionOptions now = Read(settings, &unusable);
  for (const Line& line : kLines) {
    const std::string text = line.text(options);
    if (text != line.text(now)) settings.SetExtra(line.key, text);
  }
}

Datum DatumOfSettings(const Settings& settings) {
  ConversionOptions o;
  for (const Line& line : kLines) {
    if (line.key != "datum") continue;
    if (std::string message = ReadLine(settings, line, o); !message.empty()) {
      throw SettingError(message);
    }
  }
  if (o.cgcs2000) return Datum::kCgcs2000;
  return settings.Option1 ? Datum::kBeijing1954 : Datum::kXian1980;
}

}  // namespace varnolt
