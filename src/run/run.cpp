#include "run/run.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cctype>
#include <cmath>

#include "base/error.h"
#include "base/files.h"
#include "convert/convert.h"
#include "kml/document.h"
#include "kml/style.h"
#include "run/kmz.h"
#include "text/numtext.h"

namespace varnolt {
namespace {

constexpr int kFamilies = 7;

// Family index of an entity type in the run's order, -1 for what the run ignores.
int FamilyOf(EntityType type) {
  switch (type) {
    case EntityType::kLwPolyline: return 0;
    case EntityType::k3dPolyline: return 1;
    case EntityType::kText: return 2;
    case EntityType::kMText: return 3;
    case EntityType::kLine: return 4;
    case EntityType::kArc: return 5;
    case EntityType::kCircle: return 6;
  }
  return -1;
}

// Placemark names: "pline1", "3dpline1", the text itself, "line1", and "arc1" for
// arcs and circles alike (each family counting from 1).
constexpr std::string_view kNamePrefix[kFamilies] = {"pline", "3dpline", "", "",
                                                     "line",  "arc",     "arc"};

using Converter = int64_t (*)(const Entity&, const ConvertContext&, std::string_view,
                              std::string_view, std::string_view, std::string&);
constexpr Converter kConverters[kFamilies] = {topline, toswpline, totext, tomtext,
                                              toline,  toarc,     tocircle};

constexpr std::string_view kQstab = "\t\t";

bool EndsWithKmz(const std::string& path) {
  if (path.size() < 4) return false;
  std::string tail = path.substr(path.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".kmz";
}

// Where the document goes: streamed through an atomic file for ".kml", collected and
// zipped for ".kmz". The target file appears only at Commit().
class DocumentSink {
 public:
  DocumentSink(const std::filesystem::path& path, bool zipped)
      : file_(path), zipped_(zipped) {}

  // The buffer to append to; Flush() hands what is there to the file.
  std::string& out() { return buffer_; }
  void Flush() {
    if (zipped_ || buffer_.size() < kFlushBytes) return;
    file_.Write(buffer_);
    buffer_.clear();
  }
  void Commit() {
    if (zipped_) {
      file_.Write(ZipKmz(buffer_));
    } else {
      file_.Write(buffer_);
    }
    buffer_.clear();
    file_.Commit();
  }

 private:
  static constexpr size_t kFlushBytes = 1 << 20;
  AtomicFile file_;
  bool zipped_;
  std::string buffer_;
};

// The point that stands for an entity in the plausibility checks.
Point3 AnchorOf(const Entity& ent) {
  switch (ent.type) {
    case EntityType::kLine: return ent.start;
    case EntityType::kArc:
    case EntityType::kCircle: return ent.center;
    case EntityType::kLwPolyline:
      if (ent.coordinates.size() >= 2) {
        return {std::fabs(ent.coordinates[0]), std::fabs(ent.coordinates[1]), 0};
      }
      break;
    case EntityType::k3dPolyline:
      if (ent.coordinates.size() >= 3) {
        return {std::fabs(ent.coordinates[0]), std::fabs(ent.coordinates[1]),
                ent.coordinates[2]};
      }
      break;
    case EntityType::kText:
      if (ent.alignment[0] == 0 && ent.alignment[1] == 0) return ent.insertion;
      return ent.alignment;
    case EntityType::kMText: return ent.insertion;
  }
  return {std::nan(""), std::nan(""), 0};
}

// Cheap checks of the plane coordinates, on each entity's anchor point, each warning
// given once per run: an easting with a zone number in front, and a point far from
// the central meridian, both of which the projection turns into wrong positions
// without any error.
class PlaneChecks {
 public:
  PlaneChecks(const ConvertContext& ctx, const Settings& settings, std::string source,
              RunReporter& reporter)
      : ctx_(ctx), settings_(settings), source_(std::move(source)), reporter_(reporter) {}

  void Check(const Entity& ent) {
    if (zoneWarned_ && meridianWarned_) return;
    const Point3 a = AnchorOf(ent);
    if (!std::isfinite(a[0]) || !std::isfinite(a[1])) return;
    if (std::fabs(a[0]) > kZoneEasting) {
      if (!zoneWarned_) {
        zoneWarned_ = true;
        reporter_.Warning("the easting " + GeneralText(a[0]) + " m of " +
                          DescribeEntity(ent, source_) +
                          " is above 1000000 m and looks like it carries a zone number "
                          "in front; the drawing must hold eastings with the 500000 m "
                          "false easting only, or every position will be wrong");
      }
      return;  // such a point says nothing about the central meridian
    }
    if (meridianWarned_) return;
    try {
      double lon = 0, lat = 0, lon0 = 0;
      ctx_.projector.LonLat(a[1], a[0], lon, lat);
      // A point on the central meridian gets exactly its longitude.
      ctx_.projector.LonLat(a[1], ctx_.projector.datum().FE, lon0, lat);
      const double off = std::fabs(lon - lon0);
      if (off > kMeridianDegrees) {
        meridianWarned_ = true;
        reporter_.Warning(DescribeEntity(ent, source_) + " lies " + FixedText(off, 2) +
                          " degrees from the central meridian (中央子午线, Text2: \"" +
                          settings_.Text2 + "\"), more than 3.5 degrees: likely a wrong "
                          "central meridian");
      }
    } catch (const Error&) {
      // The converter reports what the projection cannot take.
    }
  }

 private:
  static constexpr double kZoneEasting = 1000000.0;
  static constexpr double kMeridianDegrees = 3.5;
  const ConvertContext& ctx_;
  const Settings& settings_;
  std::string source_;
  RunReporter& reporter_;
  bool zoneWarned_ = false;
  bool meridianWarned_ = false;
};

std::string Decimal(int64_t v) { return std::to_string(v); }

}  // namespace

std::string ProgressPrompt(int familyIndex, int64_t i, int64_t count) {
  std::string text = "====== 正在转换";
  if (familyIndex >= 0 && familyIndex < kFamilies) text += kFamilyWords[familyIndex];
  text += "  第 " + Decimal(i) + " 个 / 共 " + Decimal(count) + " 个 ======";
  return text;
}

std::string ElapsedPrompt(int64_t seconds) {
  const int64_t minutes = seconds / 60;
  return "====== < " + Decimal(minutes) + "分" + Decimal(seconds - 60 * minutes) +
         "秒 > ======";
}

std::string CompletionPrompt(const std::string& path) {
  return "★★★★★  KML文件转换完成！ <" + path + ">  ★★★★★";
}

RunResult RunConversion(EntitySource& source, const Settings& settings,
                        const std::filesystem::path& output, RunReporter& reporter) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point started = Clock::now();

  const std::string fileName = output.string();
  if (fileName.empty()) {
    throw Error(ErrorKind::kFileAccess, "no output file was chosen");
  }
  // Checked before anything is picked: the document is named after the file.
  const std::string kmlname = DocumentName(fileName);
  DocumentSink sink(output, EndsWithKmz(fileName));
  const std::string sourceName = source.Describe();

  reporter.Prompt(std::string(kSelectPrompt));
  const std::vector<const Entity*> picked = source.SelectOnScreen();
  reporter.Prompt(std::string(kProcessingPrompt));

  // First pass: the families the run converts, each with its colour resolved once.
  const LayerColors layerColors = BuildLayerColors(source.Layers());
  std::array<std::vector<std::pair<const Entity*, int>>, kFamilies> families;
  std::vector<int> colours;
  for (const Entity* ent : picked) {
    const int family = FamilyOf(ent->type);
    if (family < 0) continue;
    const int c = colchuli(*ent, layerColors);
    if (c == kColorByLayer) {
      throw Error(ErrorKind::kGeneral,
                  DescribeEntity(*ent, sourceName) + " takes its colour from layer \"" +
                      ent->layer + "\", which the drawing's layer table does not have");
    }
    if (c < 1 || c > 255) {
      throw Error(ErrorKind::kGeneral, DescribeEntity(*ent, sourceName) +
                                           " has the colour number " + Decimal(c) +
                                           ", outside the palette (1 to 255)");
    }
    families[static_cast<size_t>(family)].emplace_back(ent, c);
    colours.push_back(c);
  }
  if (colours.empty()) {
    throw Error(ErrorKind::kGeneral,
                "nothing was selected: no line, arc, circle, polyline, 3D polyline, text "
                "or multiline text");
  }

  // Distinct colours, ascending, each with its style reference.
  std::sort(colours.begin(), colours.end());
  colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
  const double width = ReadLeadingNumber(settings.Text4);
  const std::string widthText = WidthText(width);
  std::array<std::string, 256> colourText;
  std::array<std::string, 256> styleRef;
  for (int c : colours) {
    colourText[static_cast<size_t>(c)] = hexjs(c);
    const size_t k = static_cast<size_t>(c);
    styleRef[k] = StyleReference(colourText[k], widthText);
  }

  const ConvertContext ctx = MakeConvertContext(settings);
  PlaneChecks checks(ctx, settings, sourceName, reporter);

  RunResult result;
  std::string& out = sink.out();
  out += tobegin(kmlname);
  out += "\r\n";

  int64_t total = 0;
  for (const auto& list : families) total += static_cast<int64_t>(list.size());
  int64_t done = 0;
  std::string name;
  for (int f = 0; f < kFamilies; ++f) {
    const auto& list = families[static_cast<size_t>(f)];
    const int64_t count = static_cast<int64_t>(list.size());
    for (int64_t i = 1; i <= count; ++i) {
      const auto& [entity, colour] = list[static_cast<size_t>(i - 1)];
      const Entity& ent = *entity;
      reporter.Converting(f, i, count);
      checks.Check(ent);
      if (f == 2 || f == 3) {
        name = ent.textstring;
      } else {
        name = kNamePrefix[f];
        name += Decimal(i);
      }
      try {
        result.points += kConverters[f](ent, ctx, kQstab, name,
                                        styleRef[static_cast<size_t>(colour)], out);
      } catch (const Error& e) {
        throw Error(e.kind(), DescribeEntity(ent, sourceName) + ": " + e.what());
      }
      if (result.points > kMaxPointsPerRun) {
        throw Error(ErrorKind::kGeneral,
                    "the document would hold more than " + Decimal(kMaxPointsPerRun) +
                        " points (reached at " + DescribeEntity(ent, sourceName) +
                        "); convert fewer entities at a time, for example with --layer, "
                        "or raise 直线最小分段长度 (Text1)");
      }
      out += "\r\n";
      sink.Flush();
      ++result.entities;
      reporter.Progress(++done, total);
    }
  }

  out += kFolderClose;
  for (int c : colours) {
    out += tostyle("\t", colourText[static_cast<size_t>(c)], width);
    out += "\r\n";
  }
  out += kDocumentClose;
  sink.Commit();

  result.seconds =
      std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started).count();
  reporter.Prompt(ElapsedPrompt(result.seconds));
  reporter.Prompt(CompletionPrompt(fileName));
  return result;
}

}  // namespace varnolt
