#include "run/run.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>
#include <thread>

#include "base/error.h"
#include "base/files.h"
#include "base/ordered_work.h"
#include "base/paths.h"
#include "convert/convert.h"
#include "geodesy/angles.h"
#include "geodesy/methods.h"
#include "kml/document.h"
#include "kml/style.h"
#include "run/kmz.h"
#include "text/ascii.h"
#include "text/numtext.h"

namespace varnolt {
namespace {

constexpr std::string_view kQstab = "\t\t";

// Index into kFamilies of an entity type, -1 for what the run ignores.
int FamilyOf(EntityType type) {
  for (int f = 0; f < kFamilyCount; ++f) {
    if (kFamilies[f].type == type) return f;
  }
  return -1;
}

std::string Decimal(int64_t v) { return std::to_string(v); }

// "直线（句柄 2A，site.dxf 第 1200 行）": an entity as the window's pane names it.
std::string DescribeEntityChinese(const Entity& ent, std::string_view sourceName) {
  const int family = FamilyOf(ent.type);
  std::string text(family >= 0 ? kFamilies[family].word : "实体");
  std::string where;
  if (!ent.handle.empty()) where += "句柄 " + ent.handle;
  if (ent.sourceLine > 0) {
    if (!where.empty()) where += "，";
    where += std::string(sourceName) + " 第 " + Decimal(ent.sourceLine) + " 行";
  }
  if (!where.empty()) text += "（" + where + "）";
  return text;
}

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
    case EntityType::kMText: return TextAnchor(ent);
    case EntityType::kPoint: return ent.insertion;
    case EntityType::kEllipse: return ent.center;
    case EntityType::kSpline:
    case EntityType::kSolid:
      if (ent.coordinates.size() >= 3) {
        return {ent.coordinates[0], ent.coordinates[1], ent.coordinates[2]};
      }
      if (ent.fitPoints.size() >= 3) return {ent.fitPoints[0], ent.fitPoints[1], ent.fitPoints[2]};
      break;
    case EntityType::kHatch:
      if (!ent.boundary.empty()) return AnchorOf(ent.boundary.front());
      break;
  }
  return {std::nan(""), std::nan(""), 0};
}

// A central meridian outside China's (the Gauss-Krueger zones over China have their
// central meridians between 75 and 135 degrees east, the country spans 73 to 135) is
// almost always a typing slip, such as letters in the box that read as 0; the plane
// coordinates cannot show it, so say it once before the run.
constexpr double kChinaWest = 73, kChinaEast = 135;

void WarnAboutCentralMeridian(const Settings& settings, double pi, RunReporter& reporter) {
  const double degrees = R_D1_Value(D_R_Value(ReadLeadingNumber(settings.Text2), pi), pi);
  if (degrees >= kChinaWest && degrees <= kChinaEast) return;
  const std::string shown = GeneralText(degrees);
  reporter.Warning(
      {"the central meridian (中央子午线, Text2: \"" + settings.Text2 + "\") reads " + shown +
           " degrees, outside China's zones (73 to 135 degrees east); every longitude is "
           "taken from it: check the setting",
       "中央子午线（Text2：\"" + settings.Text2 + "\"）读作 " + shown +
           " 度，不在中国的投影带内（东经73度至135度）；所有经度都由它算出，请检查这项设置"});
}

// With zone numbers read from the eastings (--zone auto), the zone's central meridian
// replaces the setting; say so when the two differ.
void WarnAboutZoneMeridian(const ConvertContext& ctx, const Settings& settings,
                           RunReporter& reporter) {
  const ProjectionMethods* methods = ctx.projector.methods();
  if (methods == nullptr || methods->SeenZone() == 0) return;
  const double zoneMeridian = ZoneMeridian(methods->SeenZone()).value_or(0);
  const double setting =
      R_D1_Value(D_R_Value(ReadLeadingNumber(settings.Text2), ctx.pi), ctx.pi);
  if (setting == zoneMeridian) return;
  const std::string zone = std::to_string(methods->SeenZone());
  const std::string meridian = GeneralText(zoneMeridian);
  reporter.Warning(
      {"the eastings carry zone " + zone + ", whose central meridian " + meridian +
           " degrees was used instead of the setting (中央子午线, Text2: \"" + settings.Text2 +
           "\")",
       "东坐标带有带号 " + zone + "，已使用该带的中央子午线 " + meridian +
           " 度，而不是设置的中央子午线（Text2：\"" + settings.Text2 + "\"）"});
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
      // Read as zone numbers (--zone auto), such eastings are what the user meant.
      const ProjectionMethods* methods = ctx_.projector.methods();
      if (!zoneWarned_ && !(methods != nullptr && methods->zoneInEastings)) {
        zoneWarned_ = true;
        const std::string easting = GeneralText(a[0]);
        const double number = std::floor(std::fabs(a[0]) / kZoneEasting);
        const std::optional<double> meridian =
            ZoneMeridian(number < 1000 ? static_cast<int>(number) : 0);
        const std::string zone = GeneralText(number);
        const std::string gives =
            meridian ? "zone " + zone + " has the central meridian " + GeneralText(*meridian) +
                           " degrees"
                     : "no zone has that number";
        const std::string givesChinese =
            meridian ? zone + "带的中央子午线为 " + GeneralText(*meridian) + " 度"
                     : "但没有这个带号";
        reporter_.Warning(
            {"the easting " + easting + " m of " + DescribeEntity(ent, source_) +
                 " is above 1000000 m and looks like it carries a zone number in front (" +
                 zone + ": " + gives + "); the drawing must hold eastings with the 500000 m "
                 "false easting only, or every position will be wrong; --zone auto reads "
                 "the zone number and takes the meridian from it",
             DescribeEntityChinese(ent, source_) + "的东坐标 " + easting +
                 " 米大于1000000米，像是前面带有带号（" + zone + "，" + givesChinese +
                 "）；图中的东坐标只能含500000米的东偏，否则所有位置都会出错；"
                 "--zone auto 按带号读取东坐标并由带号定中央子午线"});
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
        const std::string shown = FixedText(off, 2);
        reporter_.Warning(
            {DescribeEntity(ent, source_) + " lies " + shown +
                 " degrees from the central meridian (中央子午线, Text2: \"" +
                 settings_.Text2 + "\"), more than 3.5 degrees: likely a wrong central "
                 "meridian",
             DescribeEntityChinese(ent, source_) + "离中央子午线（Text2：\"" + settings_.Text2 +
                 "\"）" + shown + " 度，超过3.5度：中央子午线很可能有误"});
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

// The picked entities sorted into the families, each with its colour resolved once,
// and the distinct colours in ascending order.
struct Selection {
  std::array<std::vector<std::pair<const Entity*, int>>, kFamilyCount> families;
  std::vector<int> colours;
};

Selection SortIntoFamilies(const std::vector<const Entity*>& picked,
                           const std::vector<Layer>& layers, const std::string& sourceName) {
  const LayerColors layerColors = BuildLayerColors(layers);
  Selection selection;
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
    selection.families[static_cast<size_t>(family)].emplace_back(ent, c);
    selection.colours.push_back(c);
  }
  if (selection.colours.empty()) {
    throw Error(ErrorKind::kGeneral,
                "nothing was selected: no line, arc, circle, polyline, 3D polyline, text "
                "or multiline text");
  }
  std::vector<int>& colours = selection.colours;
  std::sort(colours.begin(), colours.end());
  colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
  return selection;
}

// The colour text and the style reference of each colour used, by colour number.
struct Styles {
  double width = 0;
  std::array<std::string, 256> colourText;
  std::array<std::string, 256> reference;
};

Styles MakeStyles(const std::vector<int>& colours, const Settings& settings) {
  Styles styles;
  styles.width = ReadLeadingNumber(settings.Text4);
  const std::string widthText = WidthText(styles.width);
  for (int c : colours) {
    const size_t k = static_cast<size_t>(c);
    styles.colourText[k] = hexjs(c);
    styles.reference[k] = StyleReference(styles.colourText[k], widthText);
  }
  return styles;
}

// One entity to convert, in output order.
struct Job {
  const Entity* entity;
  int family;
  int64_t index;  // 1-based within its family
  int colour;
};

std::vector<Job> MakeJobs(const Selection& selection) {
  std::vector<Job> jobs;
  for (int f = 0; f < kFamilyCount; ++f) {
    const auto& list = selection.families[static_cast<size_t>(f)];
    for (size_t k = 0; k < list.size(); ++k) {
      jobs.push_back({list[k].first, f, static_cast<int64_t>(k + 1), list[k].second});
    }
  }
  return jobs;
}

// A run of consecutive jobs converted together: its Placemarks (each followed by
// CR LF, as the run writes them) and the points each wrote. A failing entity ends
// the chunk; the calling thread reports it when it reaches it in order.
struct Chunk {
  size_t begin = 0, end = 0;
  std::string text;
  std::vector<int64_t> points;
  size_t failedAt = std::numeric_limits<size_t>::max();
  std::exception_ptr error;
};

// Entities per chunk: large enough that handing chunks over costs nothing, small
// enough that a few chunks in flight per thread keep memory low.
constexpr size_t kChunkJobs = 64;
// Chunks in flight per thread (converted or being converted, not yet written).
constexpr size_t kChunksPerThread = 4;

Chunk ConvertChunk(const std::vector<Job>& jobs, size_t c, const ConvertContext& ctx,
                   const Styles& styles) {
  Chunk chunk;
  chunk.begin = c * kChunkJobs;
  chunk.end = std::min(jobs.size(), chunk.begin + kChunkJobs);
  std::string name;
  for (size_t j = chunk.begin; j < chunk.end; ++j) {
    const Job& job = jobs[j];
    const Entity& ent = *job.entity;
    const Family& family = kFamilies[job.family];
    if (family.namedByText) {
      name = ent.textstring;
    } else {
      name = family.namePrefix;
      name += Decimal(job.index);
    }
    try {
      chunk.points.push_back(family.convert(ent, ctx, kQstab, name,
                                            styles.reference[static_cast<size_t>(job.colour)],
                                            chunk.text));
    } catch (...) {
      chunk.failedAt = j;
      chunk.error = std::current_exception();
      break;
    }
    chunk.text += "\r\n";
  }
  return chunk;
}

// The Placemarks of every job, converted in chunks on the threads and written in
// order. Everything the user sees (prompts, warnings, progress, the first failure)
// happens here on the calling thread, entity by entity, as a serial run would do it.
void WritePlacemarks(const std::vector<Job>& jobs, const Selection& selection,
                     const ConvertContext& ctx, const Styles& styles,
                     PlaneChecks& checks, const std::string& sourceName,
                     const RunOptions& options, OutputDocument& output, RunReporter& reporter,
                     RunResult& result) {
  const unsigned threads = options.threads != 0
                               ? options.threads
                               : std::max(1u, std::thread::hardware_concurrency());
  OrderedWork<Chunk> work((jobs.size() + kChunkJobs - 1) / kChunkJobs, threads,
                          kChunksPerThread,
                          [&](size_t c) { return ConvertChunk(jobs, c, ctx, styles); });
  const int64_t total = static_cast<int64_t>(jobs.size());
  for (size_t c = 0; c < work.count(); ++c) {
    const Chunk chunk = work.Take(c);
    for (size_t j = chunk.begin; j < chunk.end; ++j) {
      const Job& job = jobs[j];
      const Entity& ent = *job.entity;
      const auto count =
          static_cast<int64_t>(selection.families[static_cast<size_t>(job.family)].size());
      reporter.Converting(job.family, job.index, count);
      checks.Check(ent);
      if (j == chunk.failedAt) {
        try {
          std::rethrow_exception(chunk.error);
        } catch (const Error& e) {
          throw Error(e.kind(), DescribeEntity(ent, sourceName) + ": " + e.what());
        }
      }
      result.points += chunk.points[j - chunk.begin];
      if (result.points > options.maxPoints) {
        throw Error(ErrorKind::kGeneral,
                    "the document would hold more than " + Decimal(options.maxPoints) +
                        " points (reached at " + DescribeEntity(ent, sourceName) +
                        "); convert fewer entities at a time, for example with --layer, "
                        "or raise 直线最小分段长度 (Text1)");
      }
      ++result.entities;
      reporter.Progress(result.entities, total);
    }
    output.out() += chunk.text;
    output.Flush();
  }
}

void WriteStylesAndClose(const std::vector<int>& colours, const Styles& styles,
                         std::string& out) {
  out += kFolderClose;
  for (int c : colours) {
    out += tostyle("\t", styles.colourText[static_cast<size_t>(c)], styles.width);
    out += "\r\n";
  }
  out += kDocumentClose;
}

}  // namespace

OutputDocument::OutputDocument(const std::filesystem::path& path) : path_(path) {
  const std::string fileName = Utf8(path);
  if (fileName.empty()) throw Error(ErrorKind::kFileAccess, "no output file was chosen");
  kmlname_ = DocumentName(fileName);
  zipped_ = EndsWithIgnoringAsciiCase(fileName, ".kmz");
  file_ = std::make_unique<AtomicFile>(path);
}

void OutputDocument::Flush() {
  // A KMZ is zipped whole at the end; a KML goes out in pieces of about a megabyte.
  if (zipped_ || buffer_.size() < (1 << 20)) return;
  file_->Write(buffer_);
  buffer_.clear();
}

void OutputDocument::Commit() {
  file_->Write(zipped_ ? ZipKmz(buffer_) : buffer_);
  buffer_.clear();
  file_->Commit();
}

std::string ProgressPrompt(int familyIndex, int64_t i, int64_t count) {
  std::string text = "====== 正在转换";
  if (familyIndex >= 0 && familyIndex < kFamilyCount) text += kFamilies[familyIndex].word;
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

int64_t ElapsedSeconds(std::chrono::system_clock::time_point start,
                       std::chrono::system_clock::time_point end) {
  using std::chrono::floor;
  using std::chrono::seconds;
  return (floor<seconds>(end) - floor<seconds>(start)).count();
}

RunResult RunConversion(EntitySource& source, const Settings& settings,
                        OutputDocument& output, RunReporter& reporter,
                        const RunOptions& options) {
  const auto started = options.started.value_or(std::chrono::system_clock::now());
  const std::string sourceName = source.Describe();

  reporter.Prompt(std::string(kSelectPrompt));
  const std::vector<const Entity*> picked = source.SelectOnScreen();
  reporter.Prompt(std::string(kProcessingPrompt));

  const Selection selection = SortIntoFamilies(picked, source.Layers(), sourceName);
  const Styles styles = MakeStyles(selection.colours, settings);
  const ConvertContext ctx = MakeConvertContext(settings);
  WarnAboutCentralMeridian(settings, ctx.pi, reporter);
  PlaneChecks checks(ctx, settings, sourceName, reporter);

  RunResult result;
  output.out() += tobegin(output.name());
  output.out() += "\r\n";
  WritePlacemarks(MakeJobs(selection), selection, ctx, styles, checks, sourceName, options,
                  output, reporter, result);
  WriteStylesAndClose(selection.colours, styles, output.out());
  output.Commit();
  WarnAboutZoneMeridian(ctx, settings, reporter);

  result.seconds = ElapsedSeconds(started, std::chrono::system_clock::now());
  reporter.Prompt(ElapsedPrompt(result.seconds));
  reporter.Prompt(CompletionPrompt(Utf8(output.path())));
  return result;
}

RunResult RunConversion(EntitySource& source, const Settings& settings,
                        const std::filesystem::path& output, RunReporter& reporter,
                        unsigned threads, int64_t maxPoints) {
  OutputDocument document(output);
  RunOptions options;
  options.threads = threads;
  options.maxPoints = maxPoints;
  return RunConversion(source, settings, document, reporter, options);
}

}  // namespace varnolt
