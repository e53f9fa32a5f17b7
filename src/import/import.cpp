#include "import/import.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>

#include "base/error.h"
#include "base/large_memory.h"
#include "base/paths.h"
#include "cad/dxf_writer.h"
#include "convert/methods_settings.h"
#include "geodesy/angles.h"
#include "geodesy/methods.h"
#include "kml/palette.h"
#include "text/ascii.h"
#include "text/numtext.h"
#include "base/files.h"

namespace varnolt {
namespace {

// Positions found together; a chunk starts afresh whichever thread takes it, so the
// bytes do not depend on the number of threads.
constexpr size_t kChunk = 4096;

// The zone whose central meridian is `degrees`: a 3-degree zone before a 6-degree one.
int ZoneOfMeridian(double degrees) {
  for (int zone = 25; zone <= 45; ++zone) {
    if (ZoneMeridian(zone) == degrees) return zone;
  }
  for (int zone = 13; zone <= 23; ++zone) {
    if (ZoneMeridian(zone) == degrees) return zone;
  }
  return 0;
}

// One position to put onto the plane: the height the forward takes, and the feature
// it belongs to, for messages.
struct Job {
  double lon, lat, Z;
  size_t feature;
};

struct Failure {
  size_t chunk = std::numeric_limits<size_t>::max();
  size_t job = 0;
  std::string what;
};

// A million positions' jobs and plane points, in memory of their own.
using Jobs = LargeArray<Job>;
using Coordinates = LargeArray<double>;

void FindChunk(const PlaneFinder& finder, const Jobs& jobs, size_t chunk, const Coordinates& X,
               const Coordinates& Y) {
  PlaneFinder::Hint hint;
  const size_t end = std::min(jobs.size(), (chunk + 1) * kChunk);
  for (size_t k = chunk * kChunk; k < end; ++k) {
    try {
      finder.Find(jobs[k].lon, jobs[k].lat, jobs[k].Z, X[k], Y[k], &hint);
    } catch (const Error& e) {
      throw Failure{chunk, k, e.what()};
    }
  }
}

// Every job's plane point, chunks on several threads; the first failure in order wins.
// The calling thread, one of the workers, tells the progress.
void FindAll(const PlaneFinder& finder, const Jobs& jobs, unsigned threads,
             const ImportProgress& progress, Coordinates& X, Coordinates& Y, Failure& failure) {
  X = Coordinates(jobs.size());
  Y = Coordinates(jobs.size());
  const size_t chunks = (jobs.size() + kChunk - 1) / kChunk;
  const unsigned cores = threads != 0 ? threads : std::max(1u, std::thread::hardware_concurrency());
  const size_t workers = std::min<size_t>(cores, chunks);
  std::atomic<size_t> next{0}, placed{0};
  std::atomic<bool> stop{false};
  std::mutex mutex;
  auto work = [&](bool caller) {
    for (size_t c; !stop && (c = next.fetch_add(1)) < chunks;) {
      try {
        FindChunk(finder, jobs, c, X, Y);
      } catch (Failure& f) {
        std::lock_guard<std::mutex> lock(mutex);
        if (f.chunk < failure.chunk) failure = std::move(f);
        stop = true;
      }
      placed += std::min(kChunk, jobs.size() - c * kChunk);
      if (caller && progress) progress(ImportStage::kPlacing, placed, jobs.size());
    }
  };
  std::vector<std::thread> pool;
  for (size_t w = 1; w < workers; ++w) pool.emplace_back(work, false);
  work(true);
  for (std::thread& t : pool) t.join();
  if (progress && failure.what.empty()) progress(ImportStage::kPlacing, jobs.size(), jobs.size());
}

bool Keeps(const GeoPart& part, KeepAltitude keep) {
  if (keep != KeepAltitude::kAuto) return keep == KeepAltitude::kYes;
  if (part.kind == GeoPartKind::kPoint) return true;
  return std::any_of(part.positions.begin(), part.positions.end(),
                     [](const GeoPosition& p) { return p.alt != 0; });
}

// How many of a part's positions go onto the plane: a ring without its repeated
// first position.
size_t Used(const GeoPart& part) {
  const auto& p = part.positions;
  if (part.kind == GeoPartKind::kRing && p.size() > 2 && p.front().lon == p.back().lon &&
      p.front().lat == p.back().lat && p.front().alt == p.back().alt) {
    return p.size() - 1;
  }
  return p.size();
}

std::string Describe(const GeoDocument& doc, size_t feature) {
  const std::string& name = doc.features[feature].name;
  return "feature " + std::to_string(feature + 1) +
         (name.empty() ? std::string() : " (\"" + name + "\")");
}

class Builder {
 public:
  Builder(GeoDocument& doc, const ImportOptions& options) : doc_(doc), options_(options) {}

  Jobs MakeJobs() const {
    size_t count = 0;
    for (const GeoFeature& feature : doc_.features) {
      for (const GeoPart& part : feature.parts) count += Used(part);
    }
    Jobs jobs(count);
    size_t j = 0;
    for (size_t f = 0; f < doc_.features.size(); ++f) {
      for (const GeoPart& part : doc_.features[f].parts) {
        const bool keep = Keeps(part, options_.keepAltitude);
        const size_t n = Used(part);
        for (size_t k = 0; k < n; ++k) {
          const GeoPosition& p = part.positions[k];
          jobs[j++] = {p.lon, p.lat, keep ? p.alt : 0, f};
        }
      }
    }
    return jobs;
  }

  ImportedDrawing Build(const Jobs& jobs, const Coordinates& X, const Coordinates& Y) {
    ImportedDrawing out;
    size_t k = 0;
    for (GeoFeature& feature : doc_.features) {
      EntityCommon common;
      common.layer = LayerOf(feature, out.layers);
      common.color = feature.lineColour ? NearestPaletteColour(*feature.lineColour) : kColorByLayer;
      const int label = feature.labelColour ? NearestPaletteColour(*feature.labelColour) : kColorByLayer;
      for (GeoPart& part : feature.parts) {
        const size_t n = Used(part);
        const bool keep = Keeps(part, options_.keepAltitude);
        if (part.kind == GeoPartKind::kPoint || n == 1) {
          PointAndLabel(feature, common, label, Point3{Y[k], X[k], jobs[k].Z}, out.entities);
        } else if (keep) {
          Polyline3d line;
          line.closed = part.kind == GeoPartKind::kRing;
          for (size_t i = 0; i < n; ++i) line.vertices.push_back({Y[k + i], X[k + i], jobs[k + i].Z});
          out.entities.push_back(Entity{common, std::move(line)});
        } else {
          LwPolyline line;
          line.closed = part.kind == GeoPartKind::kRing;
          line.vertices.reserve(n);
          for (size_t i = 0; i < n; ++i) line.vertices.push_back({Y[k + i], X[k + i], 0});
          out.entities.push_back(Entity{common, std::move(line)});
        }
        // Let go as the entities are made: the next part's vertices take the memory.
        std::vector<GeoPosition>().swap(part.positions);
        k += n;
      }
    }
    out.positions = k;
    return out;
  }

 private:
  std::string LayerOf(const GeoFeature& feature, std::vector<Layer>& layers) const {
    const std::string name =
        DxfLayerName(!options_.layer.empty() ? options_.layer : feature.layer);
    for (const Layer& l : layers) {
      if (EqualsIgnoringAsciiCase(l.name, name)) return l.name;
    }
    layers.push_back({name, 7});
    return name;
  }

  void PointAndLabel(const GeoFeature& feature, EntityCommon common, int label, Point3 at,
                     std::vector<Entity>& entities) const {
    if (common.color == kColorByLayer) common.color = label;
    entities.push_back(Entity{common, varnolt::Point{at}});
    if (feature.name.empty()) return;
    Text text;
    text.insertion = at;
    // A TEXT is one line: line breaks and tabs of the name become blanks.
    text.textstring = feature.name;
    for (char& c : text.textstring) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    text.height = options_.textHeight;
    common.color = label;
    entities.push_back(Entity{common, std::move(text)});
  }

  GeoDocument& doc_;
  const ImportOptions& options_;
};

}  // namespace

SettingsPlane::SettingsPlane(const Settings& settings) {
  const DatumParameters datum = DatumParametersOfSettings(settings);
  std::shared_ptr<const ProjectionMethods> methods = MethodsOfSettings(settings);
  forward_ = std::make_unique<Projector>(datum, ReadLeadingNumber(settings.Text2),
                                         ReadLeadingNumber(settings.Text5),
                                         ReadLeadingNumber(settings.Text6));
  int zone = 0;
  if (methods && methods->zoneInEastings) {
    zone = methods->requiredZone != 0
               ? methods->requiredZone
               : ZoneOfMeridian(R_D1_Value(forward_->meridianRadians(), datum.pi));
  }
  if (methods) forward_->UseMethods(std::move(methods));
  finder_ = std::make_unique<PlaneFinder>(*forward_, zone);
}

SettingsPlane::~SettingsPlane() = default;

int NearestPaletteColour(const GeoRgb& rgb) {
  int best = 1;
  long bestDistance = std::numeric_limits<long>::max();
  for (size_t k = 0; k < kAciPalette.size(); ++k) {
    const long dr = long{kAciPalette[k].red} - rgb.red;
    const long dg = long{kAciPalette[k].green} - rgb.green;
    const long db = long{kAciPalette[k].blue} - rgb.blue;
    const long d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) {
      bestDistance = d;
      best = static_cast<int>(k) + 1;
    }
  }
  return best;
}

ImportedDrawing ImportDocument(GeoDocument doc, const PlaneFinder& finder,
                               const ImportOptions& options, const std::string& name) {
  Builder builder(doc, options);
  const Jobs jobs = builder.MakeJobs();
  Coordinates X, Y;
  Failure failure;
  FindAll(finder, jobs, options.threads, options.progress, X, Y, failure);
  if (!failure.what.empty()) {
    throw Error(ErrorKind::kGeneral,
                name + ": " + Describe(doc, jobs[failure.job].feature) + ": " + failure.what);
  }
  ImportedDrawing out = builder.Build(jobs, X, Y);
  out.format = doc.format;
  out.emptyGeometries = doc.emptyGeometries;
  return out;
}

ImportedDrawing ImportFile(const std::filesystem::path& path, const PlaneFinder& finder,
                           const ImportOptions& options) {
  const std::string name = Utf8(path);
  GeoReadProgress reading;
  if (options.progress) {
    reading = [&](uint64_t done, uint64_t total) {
      options.progress(ImportStage::kReading, done, total);
    };
  }
  GeoDocument doc;
  {  // the file's bytes are let go before the positions are placed
    const FileBytes bytes(path, options.maxFileBytes);
    doc = ReadGeoBytes(bytes.view(), name, options.maxFileBytes, reading, options.threads);
  }
  return ImportDocument(std::move(doc), finder, options, name);
}

}  // namespace varnolt
