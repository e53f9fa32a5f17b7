#include "run/run.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <utility>
#include <variant>

#include "base/error.h"
#include "base/files.h"
#include "base/ordered_work.h"
#include "base/overloaded.h"
#include "base/paths.h"
#include "cad/plain_text.h"
#include "convert/convert.h"
#include "geodesy/angles.h"
#include "geodesy/methods.h"
#include "kml/document.h"
#include "kml/style.h"
#include "run/kmz.h"
#include "settings/conversion_options.h"
#include "text/ascii.h"
#include "text/numtext.h"

namespace varnolt {
namespace {

constexpr std::string_view kQstab = "\t\t";

// A text's name as CAD displays it, its line breaks the document's CR LF.
std::string PlainName(const Entity& ent) {
  const std::string plain =
      ent.As<MText>() != nullptr ? PlainMText(TextOf(ent)) : PlainText(TextOf(ent));
  std::string name;
  name.reserve(plain.size());
  for (const char c : plain) {
    if (c == '\n') name += '\r';
    name += c;
  }
  return name;
}

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
  const int family = FamilyOf(ent.type());
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

// The point that stands for an entity in the plausibility checks, kind by kind (a
// hatch's is its first edge's); not a number when it has none.
struct Anchor {
  static constexpr Point3 kNone{std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::quiet_NaN(), 0};
  static Point3 First(const std::vector<Point3>& points) {
    return points.empty() ? kNone : points.front();
  }
  Point3 operator()(const Line& e) const { return e.start; }
  Point3 operator()(const Arc& e) const { return e.center; }
  Point3 operator()(const Circle& e) const { return e.center; }
  Point3 operator()(const LwPolyline& e) const {
    if (e.vertices.empty()) return kNone;
    return {std::fabs(e.vertices[0].x), std::fabs(e.vertices[0].y), 0};
  }
  Point3 operator()(const Polyline3d& e) const {
    if (e.vertices.empty()) return kNone;
    return {std::fabs(e.vertices[0][0]), std::fabs(e.vertices[0][1]), e.vertices[0][2]};
  }
  Point3 operator()(const Text& e) const { return TextAnchor(e); }
  Point3 operator()(const MText& e) const { return TextAnchor(e); }
  Point3 operator()(const Point& e) const { return e.position; }
  Point3 operator()(const Ellipse& e) const { return e.center; }
  Point3 operator()(const Spline& e) const {
    return e.control.empty() ? First(e.fit) : e.control.front();
  }
  Point3 operator()(const Hatch& e) const {
    for (const HatchLoop& loop : e.loops) {
      if (!loop.edges.empty()) return std::visit(*this, loop.edges.front());
    }
    return kNone;
  }
  Point3 operator()(const Solid& e) const { return First(e.corners); }
  Point3 operator()(const Mesh& e) const {
    return e.faces.empty() ? kNone : e.faces.front().front();
  }
  Point3 operator()(const Leader& e) const {
    return e.lines.empty() ? kNone : First(e.lines.front());
  }
  Point3 operator()(const Frame& e) const { return First(e.boundary); }
};

Point3 AnchorOf(const Entity& ent) { return std::visit(Anchor{}, ent.geometry); }

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

  bool Done() const { return zoneWarned_ && meridianWarned_; }

  // `a` is the entity's AnchorOf(), worked out where it was converted; `entity`
  // gives the entity itself, asked for only when a warning names it.
  template <typename GetEntity>
  void Check(const Point3& a, GetEntity entity) {
    if (Done()) return;
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
            {"the easting " + easting + " m of " + DescribeEntity(entity(), source_) +
                 " is above 1000000 m and looks like it carries a zone number in front (" +
                 zone + ": " + gives + "); the drawing must hold eastings with the 500000 m "
                 "false easting only, or every position will be wrong; --zone auto reads "
                 "the zone number and takes the meridian from it",
             DescribeEntityChinese(entity(), source_) + "的东坐标 " + easting +
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
            {DescribeEntity(entity(), source_) + " lies " + shown +
                 " degrees from the central meridian (中央子午线, Text2: \"" +
                 settings_.Text2 + "\"), more than 3.5 degrees: likely a wrong central "
                 "meridian",
             DescribeEntityChinese(entity(), source_) + "离中央子午线（Text2：\"" + settings_.Text2 +
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

// How the document is organised beyond the Placemarks themselves: the settings
// file's opt-in lines (folders=layer, attributes=yes, altitude=...). All off, the
// document is exactly as it has always been.
struct Layout {
  bool polygons = false;  // closed polylines and circles as filled polygons
  bool layerFolders = false;
  bool attributes = false;
  std::string_view altitudeMode;  // empty: the converters' relativeToGround
  bool plainText = false;  // texts named as CAD displays them
  bool strict = false;     // an entity that cannot be used fails the run
  unsigned include = 0;    // the kinds beyond the seven that were asked for
};

Layout ReadLayout(const Settings& settings) {
  const ConversionOptions options = ReadConversionOptions(settings);
  Layout layout;
  layout.polygons = options.polygons;
  layout.layerFolders = options.layerFolders;
  layout.attributes = options.attributes;
  layout.plainText = options.plainText;
  layout.strict = options.strict;
  layout.include = options.include;
  if (options.altitude == Altitude::kClamp) layout.altitudeMode = "clampToGround";
  if (options.altitude == Altitude::kAbsolute) layout.altitudeMode = "absolute";
  return layout;
}

// The picked entities in the order they are written, held as pick numbers (a few
// bytes each, so that a drawing of millions of entities sorts in little memory):
// family by family, each family in pick order; with folders by layer, grouped by
// layer in the layer table's order first (each Placemark keeps the name its family
// gives it). Also the distinct colours of the line styles and of the polygon
// styles, in ascending order.
struct Selection {
  std::vector<uint32_t> byFamily;  // picks, family by family
  std::array<size_t, kFamilyCount + 1> familyStart{};  // where each family begins in byFamily
  std::vector<uint32_t> order;    // folders by layer: job j's place in byFamily; else empty
  std::vector<uint32_t> layerOf;  // folders by layer: the layer of each place in byFamily
  std::vector<int> colours;
  std::vector<int> polygonColours;

  size_t size() const { return byFamily.size(); }
  int64_t FamilySize(int f) const {
    return static_cast<int64_t>(familyStart[static_cast<size_t>(f) + 1] -
                                familyStart[static_cast<size_t>(f)]);
  }
};

// One entity to convert, found from its place among the jobs.
struct Job {
  uint32_t pick = 0;
  int family = 0;
  int64_t index = 0;  // 1-based within its family
  uint32_t layer = 0;  // index in the layer table, for folders by layer
};

Job JobAt(const Selection& selection, size_t j) {
  const size_t place = selection.order.empty() ? j : selection.order[j];
  const auto next = std::upper_bound(selection.familyStart.begin(), selection.familyStart.end(), place);
  Job job;
  job.family = static_cast<int>(next - selection.familyStart.begin()) - 1;
  job.index = static_cast<int64_t>(place - selection.familyStart[static_cast<size_t>(job.family)]) + 1;
  job.pick = selection.byFamily[place];
  if (!selection.layerOf.empty()) job.layer = selection.layerOf[place];
  return job;
}

// The colour an entity is written in, checked as the palette needs it.
int ColourOf(const EntityBrief& brief, const LayerColors& layerColors, const EntityList& picked,
             size_t k, const std::string& sourceName) {
  const int c = colchuli(brief.color, brief.layer, layerColors);
  if (c == kColorByLayer) {
    Entity scratch;
    throw Error(ErrorKind::kGeneral, DescribeEntity(picked.Get(k, scratch), sourceName) +
                                         " takes its colour from layer \"" +
                                         std::string(brief.layer) +
                                         "\", which the drawing's layer table does not have");
  }
  if (c < 1 || c > 255) {
    Entity scratch;
    throw Error(ErrorKind::kGeneral, DescribeEntity(picked.Get(k, scratch), sourceName) +
                                         " has the colour number " + Decimal(c) +
                                         ", outside the palette (1 to 255)");
  }
  return c;
}

Selection SortIntoFamilies(const EntityList& picked, const std::vector<Layer>& layers,
                           const std::string& sourceName, const Layout& layout,
                           const std::vector<SkippedKind>& skipped) {
  const LayerColors layerColors = BuildLayerColors(layers);
  if (picked.size() > std::numeric_limits<uint32_t>::max()) {
    throw Error(ErrorKind::kGeneral, "more than 4294967295 entities were picked");
  }
  Selection selection;
  std::vector<int8_t> familyOf(picked.size());
  std::array<bool, 256> lineColour{}, polygonColour{};
  std::array<size_t, kFamilyCount> counts{};
  for (size_t k = 0; k < picked.size(); ++k) {
    const EntityBrief brief = picked.Brief(k);
    const int family = FamilyOf(brief.type);
    familyOf[k] = static_cast<int8_t>(family);
    if (family < 0) continue;
    const auto c = static_cast<size_t>(ColourOf(brief, layerColors, picked, k, sourceName));
    ++counts[static_cast<size_t>(family)];
    const bool filled = kFamilies[family].filled;
    // A closed shape whose outline encloses nothing stays a line: it needs both.
    if (filled || (layout.polygons && brief.closedShape)) polygonColour[c] = true;
    if (!filled) lineColour[c] = true;
  }
  for (int c = 1; c < 256; ++c) {
    if (lineColour[static_cast<size_t>(c)]) selection.colours.push_back(c);
    if (polygonColour[static_cast<size_t>(c)]) selection.polygonColours.push_back(c);
  }
  if (selection.colours.empty() && selection.polygonColours.empty()) {
    throw Error(ErrorKind::kGeneral, NothingToConvert(skipped, layout.include));
  }
  for (size_t f = 0; f < counts.size(); ++f) {
    selection.familyStart[f + 1] = selection.familyStart[f] + counts[f];
  }
  selection.byFamily.resize(selection.familyStart.back());
  std::array<size_t, kFamilyCount> next{};
  std::copy_n(selection.familyStart.begin(), kFamilyCount, next.begin());
  for (size_t k = 0; k < picked.size(); ++k) {
    if (familyOf[k] >= 0) selection.byFamily[next[static_cast<size_t>(familyOf[k])]++] = static_cast<uint32_t>(k);
  }
  std::vector<int8_t>().swap(familyOf);
  if (layout.layerFolders) {
    // Stable by layer: a counting sort over the layer table's order.
    std::unordered_map<std::string_view, uint32_t> layerIndex;
    for (size_t k = layers.size(); k-- > 0;) layerIndex[layers[k].name] = static_cast<uint32_t>(k);
    const auto unknown = static_cast<uint32_t>(layers.size());
    selection.layerOf.resize(selection.size());
    std::vector<size_t> perLayer(layers.size() + 2, 0);
    for (size_t p = 0; p < selection.size(); ++p) {
      const auto found = layerIndex.find(picked.Brief(selection.byFamily[p]).layer);
      selection.layerOf[p] = found == layerIndex.end() ? unknown : found->second;
      ++perLayer[selection.layerOf[p] + 1];
    }
    for (size_t l = 1; l < perLayer.size(); ++l) perLayer[l] += perLayer[l - 1];
    selection.order.resize(selection.size());
    for (size_t p = 0; p < selection.size(); ++p) {
      selection.order[perLayer[selection.layerOf[p]]++] = static_cast<uint32_t>(p);
    }
  }
  return selection;
}

// The colour text and the style reference of each colour used, by colour number.
struct Styles {
  double width = 0;
  std::array<std::string, 256> colourText;
  std::array<std::string, 256> reference;
  std::array<std::string, 256> polygonReference;
};

Styles MakeStyles(const Selection& selection, const Settings& settings) {
  Styles styles;
  styles.width = ReadLeadingNumber(settings.Text4);
  const std::string widthText = WidthText(styles.width);
  for (int c : selection.colours) {
    const size_t k = static_cast<size_t>(c);
    styles.colourText[k] = hexjs(c);
    styles.reference[k] = StyleReference(styles.colourText[k], widthText);
  }
  for (int c : selection.polygonColours) {
    const size_t k = static_cast<size_t>(c);
    styles.colourText[k] = hexjs(c);
    styles.polygonReference[k] = PolygonStyleReference(styles.colourText[k], widthText);
  }
  return styles;
}

// The ExtendedData of an entity: its layer, handle, kind, colour number and, from a
// block, the block path. `colour` holds the colour's text.
std::vector<DataField> EntityData(const Entity& ent, const std::string& colour) {
  std::vector<DataField> data{{"layer", ent.layer},
                              {"handle", ent.handle},
                              {"kind", DxfNameOf(ent)},
                              {"color", colour}};
  if (!ent.blockPath.empty()) data.push_back({"block", ent.blockPath});
  return data;
}

// A run of consecutive jobs converted together: its Placemarks (each followed by
// CR LF, as the run writes them), the points each wrote and each entity's anchor for
// the plane checks. A failing entity ends the chunk; the calling thread reports it
// when it reaches it in order.
struct Chunk {
  size_t begin = 0, end = 0;
  std::string text;
  std::vector<int64_t> points;
  std::vector<Point3> anchors;
  // The jobs whose entity was left out, with why (kind and count set where it is
  // reported).
  std::vector<std::pair<size_t, SkippedKind>> leftOut;
  size_t failedAt = std::numeric_limits<size_t>::max();
  std::exception_ptr error;
};

// Entities per chunk: large enough that handing chunks over costs nothing, small
// enough that a few chunks in flight per thread keep memory low.
constexpr size_t kChunkJobs = 64;
// Chunks in flight per thread (converted or being converted, not yet written).
constexpr size_t kChunksPerThread = 4;

// The text buffers of written chunks, handed to the next chunks: fresh memory for
// every chunk would cost a page fault per page of a hundred megabytes of text.
class BufferPool {
 public:
  std::string Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (free_.empty()) return {};
    std::string text = std::move(free_.back());
    free_.pop_back();
    text.clear();
    return text;
  }
  void Give(std::string text) {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(std::move(text));
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> free_;
};

// What every chunk shares.
struct RunShared {
  const EntityList& picked;
  const Selection& selection;
  const LayerColors layerColors;
  const ConvertContext& ctx;
  const Styles& styles;
  const Layout& layout;
  const std::vector<Layer>& layers;
  BufferPool& buffers;
};

Chunk ConvertChunk(const RunShared& run, size_t c) {
  const Selection& selection = run.selection;
  const Layout& layout = run.layout;
  Chunk chunk;
  chunk.text = run.buffers.Take();
  chunk.begin = c * kChunkJobs;
  chunk.end = std::min(selection.size(), chunk.begin + kChunkJobs);
  chunk.points.reserve(chunk.end - chunk.begin);
  chunk.anchors.reserve(chunk.end - chunk.begin);
  std::string name;
  Entity scratch;
  for (size_t j = chunk.begin; j < chunk.end; ++j) {
    const Job job = JobAt(selection, j);
    const Family& family = kFamilies[job.family];
    if (layout.layerFolders && (j == 0 || JobAt(selection, j - 1).layer != job.layer)) {
      if (j > 0) chunk.text += kFolderClose;
      AppendFolderOpen(chunk.text, job.layer < run.layers.size()
                                       ? std::string_view(run.layers[job.layer].name)
                                       : std::string_view());
      chunk.text += "\r\n";
    }
    const size_t written = chunk.text.size();
    try {
      const Entity& ent = run.picked.Get(job.pick, scratch);
      chunk.anchors.push_back(AnchorOf(ent));
      if (family.namedByText) {
        name = layout.plainText ? PlainName(ent) : std::string(TextOf(ent));
      } else {
        name = family.namePrefix;
        name += Decimal(job.index);
      }
      const int colour = colchuli(ent, run.layerColors);
      const size_t c = static_cast<size_t>(colour);
      PlacemarkLayout placemark;
      if (!layout.altitudeMode.empty()) placemark.altitudeMode = layout.altitudeMode;
      std::vector<DataField> data;
      const std::string colourText = layout.attributes ? Decimal(colour) : std::string();
      if (layout.attributes) {
        data = EntityData(ent, colourText);
        placemark.data = data;
      }
      chunk.points.push_back(ConvertEntity(
          ent, run.ctx, kQstab, name, {run.styles.reference[c], run.styles.polygonReference[c]},
          layout.polygons, chunk.text, placemark));
    } catch (const UnusableEntity& e) {
      if (layout.strict) {
        chunk.failedAt = j;
        chunk.error = std::current_exception();
        break;
      }
      chunk.text.resize(written);
      chunk.points.push_back(0);
      chunk.leftOut.push_back({j, SkippedKind{"", 0, e.english(), e.chinese(), ""}});
      continue;
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
// The entities left out are added to `leftOut`.
void WritePlacemarks(const RunShared& run, PlaneChecks& checks, const std::string& sourceName,
                     const RunOptions& options, OutputDocument& output, RunReporter& reporter,
                     RunResult& result, std::vector<SkippedKind>& leftOut) {
  const Selection& selection = run.selection;
  const unsigned threads = options.threads != 0
                               ? options.threads
                               : std::max(1u, std::thread::hardware_concurrency());
  OrderedWork<Chunk> work((selection.size() + kChunkJobs - 1) / kChunkJobs, threads,
                          kChunksPerThread, [&](size_t c) { return ConvertChunk(run, c); });
  const int64_t total = static_cast<int64_t>(selection.size());
  Entity scratch;
  int64_t done = 0;
  for (size_t c = 0; c < work.count(); ++c) {
    Chunk chunk = work.Take(c);
    auto left = chunk.leftOut.begin();
    for (size_t j = chunk.begin; j < chunk.end; ++j) {
      const Job job = JobAt(selection, j);
      auto entity = [&]() -> const Entity& { return run.picked.Get(job.pick, scratch); };
      reporter.Converting(job.family, job.index, selection.FamilySize(job.family));
      if (j - chunk.begin < chunk.anchors.size()) checks.Check(chunk.anchors[j - chunk.begin], entity);
      if (j == chunk.failedAt) {
        try {
          std::rethrow_exception(chunk.error);
        } catch (const Error& e) {
          throw Error(e.kind(), DescribeEntity(entity(), sourceName) + ": " + e.what());
        }
      }
      result.points += chunk.points[j - chunk.begin];
      if (result.points > options.maxPoints) {
        throw Error(ErrorKind::kGeneral,
                    "the document would hold more than " + Decimal(options.maxPoints) +
                        " points (reached at " + DescribeEntity(entity(), sourceName) +
                        "); convert fewer entities at a time, for example with --layer, "
                        "or raise 直线最小分段长度 (Text1)");
      }
      if (left != chunk.leftOut.end() && left->first == j) {
        left->second.kind = DxfNameOf(entity());
        left->second.count = 1;
        AddSkipped(leftOut, left->second);
        ++left;
      } else {
        ++result.entities;
      }
      reporter.Progress(++done, total);
    }
    output.Write(chunk.text);
    run.buffers.Give(std::move(chunk.text));
  }
}

void WriteStylesAndClose(const Selection& selection, const Styles& styles, std::string& out) {
  out += kFolderClose;
  for (int c : selection.colours) {
    out += tostyle("\t", styles.colourText[static_cast<size_t>(c)], styles.width);
    out += "\r\n";
  }
  for (int c : selection.polygonColours) {
    out += topolystyle("\t", styles.colourText[static_cast<size_t>(c)], styles.width);
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

void OutputDocument::Write(std::string_view text) {
  // A KMZ is zipped whole at the end; a KML goes straight to the file, after what
  // is waiting in the buffer.
  if (zipped_) {
    buffer_ += text;
    return;
  }
  if (!buffer_.empty()) {
    file_->Write(buffer_);
    buffer_.clear();
  }
  file_->Write(text);
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
  // A wrong opt-in setting fails before the user is asked to pick anything, and so
  // does, reading strictly, a drawing whose reading left something out it refuses.
  const Layout layout = ReadLayout(settings);
  if (layout.strict) {
    for (const SkippedKind& s : source.Skipped()) {
      if (!s.refusal.empty()) throw Error(ErrorKind::kGeneral, s.refusal);
    }
  }

  reporter.Prompt(std::string(kSelectPrompt));
  const std::unique_ptr<EntityList> picked = source.Pick();
  reporter.Prompt(std::string(kProcessingPrompt));
  for (const SourceNote& note : source.PickNotes()) reporter.Warning({note.english, note.chinese});

  const std::vector<SkippedKind> skipped = source.Skipped();
  const Selection selection =
      SortIntoFamilies(*picked, source.Layers(), sourceName, layout, skipped);
  const Styles styles = MakeStyles(selection, settings);
  const ConvertContext ctx = MakeConvertContext(settings);
  WarnAboutCentralMeridian(settings, ctx.pi, reporter);
  PlaneChecks checks(ctx, settings, sourceName, reporter);

  RunResult result;
  // Folders by layer take the place of the one Folder the document opens with.
  output.out() += layout.layerFolders ? DocumentHead(output.name()) : tobegin(output.name());
  output.out() += "\r\n";
  BufferPool buffers;
  const RunShared run{*picked,  selection, BuildLayerColors(source.Layers()), ctx, styles, layout,
                      source.Layers(), buffers};
  std::vector<SkippedKind> notWritten = skipped;
  WritePlacemarks(run, checks, sourceName, options, output, reporter, result, notWritten);
  if (result.entities == 0) {
    throw Error(ErrorKind::kGeneral, NothingToConvert(notWritten, layout.include));
  }
  WriteStylesAndClose(selection, styles, output.out());
  output.Commit();
  WarnAboutZoneMeridian(ctx, settings, reporter);

  result.seconds = ElapsedSeconds(started, std::chrono::system_clock::now());
  reporter.Prompt(ElapsedPrompt(result.seconds));
  reporter.Prompt(CompletionPrompt(Utf8(output.path())));
  if (const std::optional<RunWarning> warning = SkippedWarning(notWritten, layout.include)) {
    reporter.Warning(*warning);
  }
  return result;
}

unsigned IncludedKinds(const Settings& settings) {
  return ReadConversionOptions(settings).include;
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
