#include "options.h"

#include <iostream>

#include "base/paths.h"

namespace varnolt::cli {

void SettingsOptions::Add(CLI::App& app) {
  app.add_option("--settings", file_,
                 "Settings file to use instead of the default Varnolt.ini (beside the program,\n"
                 "or in the user's settings folder when that one is not writable)");
  app.add_option("--datum", datum_,
                 "Datum of the plane coordinates: beijing54 (北京54) or xian80 (西安80)")
      ->check(CLI::IsMember({"beijing54", "xian80", "54", "80"}, CLI::ignore_case))
      ->group("Settings for this call");
  app.add_option("--meridian", meridian_,
                 "Central meridian (中央子午线) as packed degrees-minutes-seconds ddd.mmss:\n"
                 "114.3 is 114°30′, 140.022866 is 140°02′28.66″")
      ->group("Settings for this call");
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

Settings SettingsOptions::Effective() const {
  Settings s = Stored();
  if (datum_) {
    bool beijing = *datum_ == "54" || CLI::detail::to_lower(*datum_) == "beijing54";
    s.Option1 = beijing;
    s.Option2 = !beijing;
  }
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

void PrintFailure(const std::string& message, const std::string& detail) {
  std::cerr << "varnolt: " << message << "\n";
  if (!detail.empty()) std::cerr << "varnolt: " << detail << "\n";
}

}  // namespace varnolt::cli
