#include "options.h"

#include <iostream>
#include <limits>
#include <map>

#include "base/error.h"
#include "base/paths.h"
#include "cad/cad_host.h"
#include "geodesy/datum.h"
#include "geodesy/epsg.h"

namespace varnolt::cli {

namespace {

constexpr const char* kSystems = "Coordinate system and method (坐标系统)";

void SetDatum(Settings& s, Datum datum) {
  s.Option1 = datum == Datum::kBeijing1954;
  // CGCS2000 has both buttons off (lines 8 and 9 "0", "0") and its own extra line.
  s.Option2 = datum == Datum::kXian1980;
  s.SetExtra("datum", datum == Datum::kCgcs2000 ? "cgcs2000" : "");
}

Datum DatumNamed(const std::string& name) {
  const std::string lower = CLI::detail::to_lower(name);
  if (lower == "54" || lower == "beijing54") return Datum::kBeijing1954;
  if (lower == "80" || lower == "xian80") return Datum::kXian1980;
  return Datum::kCgcs2000;
}

}  // namespace

void SettingsOptions::AddCrsAndZone(CLI::App& app) {
  app.add_option("--crs", crs_,
                 "EPSG code of a Chinese Gauss-Krueger system, such as EPSG:4526: sets the datum,\n"
                 "the central meridian and whether eastings carry the zone number. Beijing 1954\n"
                 "2401-2442, 21413-21423, 21453-21463; Xi'an 1980 2327-2390; CGCS2000 4491-4554")
      ->group(kSystems);
  app.add_option("--zone", zone_,
                 "auto: an easting of 1000000 m or more is zone * 1000000 + easting, and the\n"
                 "zone gives the central meridian (3° zones 25-45: 3n; 6° zones 13-23: 6n-3);\n"
                 "off: eastings are read as they stand (the default)")
      ->check(CLI::IsMember({"auto", "off"}))
      ->group(kSystems);
}

void SettingsOptions::AddForFit(CLI::App& app) {
  app.add_option("--settings", file_,
                 "Settings file to use instead of the default Varnolt.ini");
  app.add_option("--meridian", meridian_,
                 "Central meridian (中央子午线) as packed degrees-minutes-seconds ddd.mmss")
      ->group(kSystems);
  AddCrsAndZone(app);
}

void SettingsOptions::Add(CLI::App& app, bool methods) {
  app.add_option("--settings", file_,
                 "Settings file to use instead of the default Varnolt.ini (beside the program,\n"
                 "or in the user's settings folder when that one is not writable)");
  app.add_option("--datum", datum_,
                 "Datum of the plane coordinates: beijing54 (北京54), xian80 (西安80) or\n"
                 "cgcs2000 (2000国家; its corrections default to 0)")
      ->check(CLI::IsMember({"beijing54", "xian80", "cgcs2000", "54", "80", "2000"},
                            CLI::ignore_case))
      ->group("Settings for this call");
  app.add_option("--meridian", meridian_,
                 "Central meridian (中央子午线) as packed degrees-minutes-seconds ddd.mmss:\n"
                 "114.3 is 114°30′, 140.022866 is 140°02′28.66″")
      ->group("Settings for this call");
  if (methods) {
    AddCrsAndZone(app);
    app.add_option("--transform", transform_,
                   "corrections: the minute corrections toward WGS 84 (the default);\n"
                   "four-parameter: move every point by the plane fit saved with\n"
                   "'varnolt fit --save', then project on WGS 84 without minute corrections")
        ->check(CLI::IsMember({"corrections", "four-parameter"}))
        ->group(kSystems);
    app.add_option("--helmert", helmert_,
                   "Seven parameters dx,dy,dz,rx,ry,rz,ppm (metres, arc-seconds, parts per\n"
                   "million) from the drawing's datum to WGS 84: the plane point goes through\n"
                   "geocentric coordinates (z as ellipsoidal height); no minute corrections")
        ->group(kSystems);
    app.add_option("--helmert-convention", helmertConvention_,
                   "Sign of the --helmert rotations: position-vector (default, as PROJ's\n"
                   "+towgs84, EPSG method 9606) or coordinate-frame (EPSG 9607)")
        ->check(CLI::IsMember({"position-vector", "coordinate-frame"}))
        ->group(kSystems);
    app.add_option("--output-datum", outputDatum_,
                   "wgs84 (default; Google Earth) or gcj02: positions for Chinese web maps,\n"
                   "which are not aligned with Google Earth's imagery")
        ->check(CLI::IsMember({"wgs84", "gcj02"}))
        ->group(kSystems);
  }
  app.add_option("--lat-correction", latCorrection_,
                 "Latitude correction to WGS 84 (纬度修正), minutes of arc, added to every latitude")
      ->group("Settings for this call");
  app.add_option("--lon-correction", lonCorrection_,
                 "Longitude correction to WGS 84 (经度修正), minutes of arc")
      ->group("Settings for this call");
  app.add_option("--segment", segment_,
                 "Spacing in metres of the points put on straight lines and straight polyline\n"
                 "segments (直线最小分段长度)")
      ->group("Settings for this call");
  app.add_option("--arc-chord", arcChord_,
                 "Chord length in metres above which a bulged polyline segment is rebuilt as an\n"
                 "arc of 101 points (多段线中圆弧最小分段长度)")
      ->group("Settings for this call");
  app.add_option("--arc-segments", arcSegments_,
                 "Number of segments of circles and arcs (圆及圆弧分段个数); stored only:\n"
                 "circles and arcs always get 100")
      ->group("Settings for this call");
  app.add_option("--width", width_, "Line width of the KML styles (多段线显示线宽)")
      ->group("Settings for this call");
  auto* arcs = app.add_flag("--arcs", arcs_,
                            "Honour polyline bulges as arcs (多段线存在圆弧部分)")
                   ->group("Settings for this call");
  auto* noArcs = app.add_flag("--no-arcs", noArcs_, "Treat every polyline segment as straight")
                     ->group("Settings for this call");
  arcs->excludes(noArcs);
}

std::filesystem::path SettingsOptions::Path() const {
  return file_.empty() ? DefaultSettingsPath() : PathFromUtf8(file_);
}

Settings SettingsOptions::Stored() const { return LoadSettings(Path()); }

std::string SettingsOptions::Conflict() const {
  if (crs_) {
    if (meridian_ || datum_ || zone_) {
      return "--crs sets the datum, the central meridian and the zone: it cannot go with "
             "--datum, --meridian or --zone";
    }
    if (!FindGaussKruegerCrs(*crs_)) {
      return "--crs " + *crs_ + " is no Chinese Gauss-Krueger system known here; the codes are " +
             kGaussKruegerCrsRanges;
    }
  }
  const bool fit = transform_ && *transform_ == "four-parameter";
  if (helmert_ && fit) {
    return "--helmert and --transform four-parameter are two different methods; choose one";
  }
  if ((helmert_ || fit) && (latCorrection_ || lonCorrection_)) {
    return "--lat-correction and --lon-correction belong to the default method; the "
           "four-parameter fit and --helmert use none";
  }
  if (helmertConvention_ && !helmert_) return "--helmert-convention goes with --helmert";
  return "";
}

Settings SettingsOptions::Effective() const {
  Settings s = Stored();
  std::optional<Datum> datum;
  if (datum_) datum = DatumNamed(*datum_);
  if (crs_) {
    if (const std::optional<GaussKruegerCrs> crs = FindGaussKruegerCrs(*crs_)) {
      datum = crs->datum;
      s.Text2 = std::to_string(crs->meridian);
      s.SetExtra("zone", crs->zone != 0 ? std::to_string(crs->zone) : "");
    }
  }
  if (datum) {
    SetDatum(s, *datum);
    // CGCS2000 and WGS 84 agree to centimetres: no correction unless one is given.
    if (*datum == Datum::kCgcs2000) s.Text5 = s.Text6 = "0";
  }
  if (zone_) s.SetExtra("zone", *zone_ == "auto" ? "auto" : "");
  if (transform_) {
    s.SetExtra("transform", *transform_ == "four-parameter" ? "four-parameter" : "");
    if (*transform_ == "corrections") s.SetExtra("helmert", "");
  }
  if (helmert_) {
    s.SetExtra("helmert", *helmert_);
    s.SetExtra("transform", "");
    s.SetExtra("helmert_convention", helmertConvention_.value_or(""));
  }
  if (outputDatum_) s.SetExtra("output_datum", *outputDatum_ == "gcj02" ? "gcj02" : "");
  if (segment_) s.Text1 = *segment_;
  if (meridian_) s.Text2 = *meridian_;
  if (arcSegments_) s.Text3 = *arcSegments_;
  if (width_) s.Text4 = *width_;
  if (latCorrection_) s.Text5 = *latCorrection_;
  if (lonCorrection_) s.Text6 = *lonCorrection_;
  if (arcChord_) s.Text7 = *arcChord_;
  if (arcs_) s.Check1 = 1;
  if (noArcs_) s.Check1 = 0;
  return s;
}

void SaveCalculatorSettings(const std::filesystem::path& path, const Settings& settings) {
  try {
    SaveSettings(path, settings);
  } catch (const Error& e) {
    throw Error(ErrorKind::kGeneral, e.what());
  }
}

std::optional<uint64_t> ParseSize(const std::string& text) {
  if (text.empty()) return std::nullopt;
  uint64_t unit = 1;
  std::string digits = text;
  switch (digits.back()) {
    case 'K': case 'k': unit = uint64_t{1} << 10; break;
    case 'M': case 'm': unit = uint64_t{1} << 20; break;
    case 'G': case 'g': unit = uint64_t{1} << 30; break;
    default: break;
  }
  if (unit != 1) digits.pop_back();
  if (digits.empty()) return std::nullopt;
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  uint64_t n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (n > (kMax - digit) / 10) return std::nullopt;
    n = n * 10 + digit;
  }
  // A size that does not fit wraps around to a small limit; refuse it instead.
  if (n == 0 || n > kMax / unit) return std::nullopt;
  return n * unit;
}

std::optional<std::vector<std::filesystem::path>> OutputsNamedAfter(
    const std::vector<std::string>& inputs, const std::string& outputDir,
    const char* extension, const char* command,
    const std::vector<std::filesystem::path>* relatives) {
  namespace fs = std::filesystem;
  std::vector<fs::path> outs;
  std::map<std::string, std::string> taken;  // output -> the input that writes it
  for (size_t k = 0; k < inputs.size(); ++k) {
    const std::string& input = inputs[k];
    // Under OUTDIR by its place in the folder it came from, else by its own name.
    const fs::path under = relatives != nullptr ? (*relatives)[k] : PathFromUtf8(input).filename();
    const fs::path out = outputDir.empty()
                             ? PathFromUtf8(input).replace_extension(extension)
                             : PathFromUtf8(outputDir) / fs::path(under).replace_extension(extension);
    std::error_code ec;
    const std::string key = Utf8(fs::weakly_canonical(out, ec));
    const auto [it, fresh] = taken.emplace(key.empty() ? Utf8(out) : key, input);
    if (!fresh) {
      std::cerr << "varnolt " << command << ": '" << input << "' and '" << it->second
                << "' would both be written to '" << Utf8(out) << "'; " << command
                << " them separately\n";
      return std::nullopt;
    }
    outs.push_back(out);
  }
  return outs;
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ec;
  if (std::filesystem::equivalent(a, b, ec)) return true;
  return std::filesystem::weakly_canonical(a, ec) == std::filesystem::weakly_canonical(b, ec);
}

void PrintFailure(const std::string& message, const std::string& detail) {
  std::cerr << "varnolt: " << message << "\n";
  if (!detail.empty()) std::cerr << "varnolt: " << detail << "\n";
}

void AddCadProgIdOption(CLI::App& app, std::string& progId) {
  std::string known;  // "AutoCAD.Application, ZWCAD.Application, ..."
  for (const CadHostClass& host : kCadHosts) {
    known += (known.empty() ? "" : ", ") + std::string(host.progId);
  }
  app.add_option("--cad-progid", progId,
                 "The CAD host's automation class name, e.g. AutoCAD.Application.24 for one\n"
                 "release. Default: the settings file's cad_progid= line, else the first that\n"
                 "runs of " + known + ",\n"
                 "else the first of them registered is started")
      ->group("Live CAD session");
}

}  // namespace varnolt::cli
