#include "run/run.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>

#include "base/error.h"
#include "base/files.h"
#include "convert/convert.h"
#include "geodesy/angles.h"
#include "kml/document.h"
#include "kml/style.h"
#include "run/kmz.h"
#include "text/ascii.h"
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

bool EndsWithKmz(const std::string& path) { return EndsWithIgnoringAsciiCase(path, ".kmz"); }

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
    case EntityType::kMText: return TextAnchor(ent);
  }
  return {std::nan(""), std::nan(""), 0};
}

// Cheap checks of the plane coordinates, on each entity's anchor point, each warning
// given once per run: an easting with a zone number in front, and a point far from
// the central meridian, both of which the projection turns into wrong positions
// without any error.
// A central meridian outside China's (a Gauss-Krueger zone of this system lies between
// 73 and 135 degrees east) is almost always a typing slip, such as letters in the box
// that read as 0; the plane coordinates cannot show it, so say it once before the run.
void WarnAboutCentralMeridian(const Settings& settings, double pi, RunReporter& reporter) {
  const double degrees = R_D1_Value(D_R_Value(ReadLeadingNumber(settings.Text2), pi), pi);
  if (degrees >= 70 && degrees <= 140) return;
  reporter.Warning("the central meridian (中央子午线, Text2: \"" + settings.Text2 +
                   "\") reads " + GeneralText(degrees) +
                   " degrees, outside China's zones (73 to 135 degrees east); every "
                   "longitude is taken from it: check the setting");
}

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

// One entity to convert, in output order.
struct Job {
  const Entity* entity;
  int family;
  int64_t index;  // 1-based within its family
  int colour;
};

// A run of consecutive jobs converted together: its Placemarks (each followed by
// CR LF, as the run writes them) and the points each wrote. A failing entity ends
// the chunk; the main thread reports it when it reaches it in order.
struct Chunk {
  size_t begin = 0, end = 0;
  std::string text;
  std::vector<int64_t> points;
  size_t failedAt = std::numeric_limits<size_t>::max();
  std::exception_ptr error;
  bool ready = false;
};

// Entities per chunk: large enough that handing chunks over costs nothing, small
// enough that a few chunks in flight per thread keep memory low.
constexpr size_t kChunkJobs = 64;
// Chunks in flight per thread (converted or being converted, not yet written).
constexpr size_t kChunksPerThread = 4;

void ConvertChunk(const std::vector<Job>& jobs, Chunk& chunk, const ConvertContext& ctx,
                  const std::array<std::string, 256>& styleRef) {
  std::string name;
  chunk.text.clear();
  chunk.points.clear();
  chunk.failedAt = std::numeric_limits<size_t>::max();
  chunk.error = nullptr;
  for (size_t j = chunk.begin; j < chunk.end; ++j) {
    const Job& job = jobs[j];
    const Entity& ent = *job.entity;
    if (job.family == 2 || job.family == 3) {
      name = ent.textstring;
    } else {
      name = kNamePrefix[job.family];
      name += Decimal(job.index);
    }
    try {
      chunk.points.push_back(kConverters[job.family](
          ent, ctx, kQstab, name, styleRef[static_cast<size_t>(job.colour)], chunk.text));
    } catch (...) {
      chunk.failedAt = j;
      chunk.error = std::current_exception();
      return;
    }
    chunk.text += "\r\n";
  }
}

// Converts chunks on worker threads, at most `window` ahead of the one the main
// thread writes. With no workers every chunk is converted on the calling thread
// when it is asked for. Destruction stops the workers: chunks not started are
// skipped.
class ChunkPipeline {
 public:
  ChunkPipeline(const std::vector<Job>& jobs, const ConvertContext& ctx,
                const std::array<std::string, 256>& styleRef, unsigned threads)
      : jobs_(jobs), ctx_(ctx), styleRef_(styleRef) {
    count_ = (jobs.size() + kChunkJobs - 1) / kChunkJobs;
    if (threads > 1 && count_ > 1) {
      const size_t workers = std::min<size_t>(threads, count_);
      window_ = workers * kChunksPerThread;
      slots_.resize(window_);
      try {
        for (size_t k = 0; k < workers; ++k) workers_.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {
        // No more threads to be had: the ones started carry the run, or the calling
        // thread alone.
      }
    }
    if (workers_.empty()) {
      window_ = 1;
      slots_.resize(1);
    }
  }

  ~ChunkPipeline() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    workCv_.notify_all();
    for (std::thread& t : workers_) t.join();
  }

  ChunkPipeline(const ChunkPipeline&) = delete;
  ChunkPipeline& operator=(const ChunkPipeline&) = delete;

  size_t count() const { return count_; }

  // Chunk `c`, converted; chunks must be asked for in order, and the one before is
  // released by asking for the next.
  Chunk& Get(size_t c) {
    if (workers_.empty()) {
      Chunk& chunk = slots_[0];
      Place(chunk, c);
      ConvertChunk(jobs_, chunk, ctx_, styleRef_);
      return chunk;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    // The slot of chunk c - 1 is free again: fill the window.
    while (submitted_ < count_ && submitted_ < c + window_) {
      Chunk& chunk = slots_[submitted_ % window_];
      Place(chunk, submitted_);
      chunk.ready = false;
      queue_.push_back(submitted_++);
    }
    lock.unlock();
    workCv_.notify_all();
    lock.lock();
    Chunk& chunk = slots_[c % window_];
    doneCv_.wait(lock, [&] { return chunk.ready; });
    return chunk;
  }

 private:
  void Place(Chunk& chunk, size_t c) const {
    chunk.begin = c * kChunkJobs;
    chunk.end = std::min(jobs_.size(), chunk.begin + kChunkJobs);
  }

  void Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      workCv_.wait(lock, [&] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      const size_t c = queue_.front();
      queue_.pop_front();
      Chunk& chunk = slots_[c % window_];
      lock.unlock();
      ConvertChunk(jobs_, chunk, ctx_, styleRef_);
      lock.lock();
      chunk.ready = true;
      doneCv_.notify_all();
    }
  }

  const std::vector<Job>& jobs_;
  const ConvertContext& ctx_;
  const std::array<std::string, 256>& styleRef_;
  size_t count_ = 0;
  size_t window_ = 1;
  std::vector<Chunk> slots_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable workCv_, doneCv_;
  std::deque<size_t> queue_;
  size_t submitted_ = 0;
  bool stop_ = false;
};

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
                        const std::filesystem::path& output, RunReporter& reporter,
                        unsigned threads, int64_t maxPoints) {
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
  WarnAboutCentralMeridian(settings, ctx.pi, reporter);
  PlaneChecks checks(ctx, settings, sourceName, reporter);

  RunResult result;
  std::string& out = sink.out();
  out += tobegin(kmlname);
  out += "\r\n";

  // Every entity in output order; the converters run on the pipeline's threads,
  // and everything the user sees (prompts, warnings, progress, the first failure)
  // happens here, entity by entity, as a serial run would do it.
  std::vector<Job> jobs;
  for (int f = 0; f < kFamilies; ++f) {
    const auto& list = families[static_cast<size_t>(f)];
    for (size_t k = 0; k < list.size(); ++k) {
      jobs.push_back({list[k].first, f, static_cast<int64_t>(k + 1), list[k].second});
    }
  }
  const int64_t total = static_cast<int64_t>(jobs.size());
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  ChunkPipeline pipeline(jobs, ctx, styleRef, threads);
  int64_t done = 0;
  for (size_t c = 0; c < pipeline.count(); ++c) {
    Chunk& chunk = pipeline.Get(c);
    for (size_t j = chunk.begin; j < chunk.end; ++j) {
      const Job& job = jobs[j];
      const Entity& ent = *job.entity;
      const int64_t count = static_cast<int64_t>(families[static_cast<size_t>(job.family)].size());
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
      if (result.points > maxPoints) {
        throw Error(ErrorKind::kGeneral,
                    "the document would hold more than " + Decimal(maxPoints) +
                        " points (reached at " + DescribeEntity(ent, sourceName) +
                        "); convert fewer entities at a time, for example with --layer, "
                        "or raise 直线最小分段长度 (Text1)");
      }
      ++result.entities;
      reporter.Progress(++done, total);
    }
    out += chunk.text;
    sink.Flush();
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
