// The conversion run: the picked entities of a source, the settings and an output
// path in; one KML document out, written whole or not at all.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/files.h"
#include "cad/entity.h"
#include "convert/convert.h"
#include "settings/settings.h"

namespace varnolt {

// A warning in the words of both front ends: the command line speaks English, the
// window's command pane Chinese.
struct RunWarning {
  std::string english;
  std::string chinese;
};

// Where the run's prompts go: the command line prints them, the window shows them.
class RunReporter {
 public:
  virtual ~RunReporter() = default;
  // A command-line prompt, exactly as the system words it, without the line ending.
  virtual void Prompt(const std::string& text) = 0;
  // Progress through the families: `done` of `total` entities converted.
  virtual void Progress(int64_t done, int64_t total) { (void)done; (void)total; }
  // Something that does not stop the run but that the user should know.
  virtual void Warning(const RunWarning& warning) { (void)warning; }
  // Entity `i` of `count` of family `familyIndex` (an index into kFamilies) is about
  // to be converted; ProgressPrompt() gives the command-line prompt the system words
  // for it.
  virtual void Converting(int familyIndex, int64_t i, int64_t count) {
    (void)familyIndex; (void)i; (void)count;
  }
};

// What the run knows of each family it converts; ConvertEntity() converts each by
// its kind.
struct Family {
  EntityType type;
  std::string_view namePrefix;  // Placemark name: prefix + 1-based index in the family
  bool namedByText;             // ... or the entity's own text instead
  std::string_view word;        // in the progress prompt
  bool filled = false;  // written as polygons, in the half-opaque polygon style
};

// The families in the order the run converts them. Circles are named "arc1",
// "arc2", ... like arcs, each family counting on its own.
inline constexpr Family kFamilies[] = {
    {EntityType::kLwPolyline, "pline", false, "多段线"},
    {EntityType::k3dPolyline, "3dpline", false, "三维多段线"},
    {EntityType::kText, "", true, "文本"},
    {EntityType::kMText, "", true, "多行文本"},
    {EntityType::kLine, "line", false, "直线"},
    {EntityType::kArc, "arc", false, "圆弧"},
    {EntityType::kCircle, "arc", false, "圆"},
    // Only in drawings read with these kinds included.
    {EntityType::kPoint, "point", false, "点"},
    {EntityType::kEllipse, "ellipse", false, "椭圆"},
    {EntityType::kSpline, "spline", false, "样条曲线"},
    {EntityType::kHatch, "hatch", false, "填充", true},
    {EntityType::kSolid, "solid", false, "二维填充", true},
    {EntityType::kMesh, "mesh", false, "网格", true},
    {EntityType::kLeader, "leader", false, "引线"},
    {EntityType::kFrame, "frame", false, "边框"},
};
inline constexpr int kFamilyCount = static_cast<int>(std::size(kFamilies));

// The prompts of a run, without line endings.
inline constexpr std::string_view kSelectPrompt =
    "====== 选择文本、直线、多段线、三维多段线、圆、圆弧 ======";
inline constexpr std::string_view kProcessingPrompt = "====== 正在处理，请稍等！ ======";
// "====== 正在转换多段线  第 3 个 / 共 12 个 ======"
std::string ProgressPrompt(int familyIndex, int64_t i, int64_t count);
// "====== < 1分15秒 > ======"
std::string ElapsedPrompt(int64_t seconds);
// "★★★★★  KML文件转换完成！ <path>  ★★★★★"
std::string CompletionPrompt(const std::string& path);

// The document being written: created when the user has named it, before any
// drawing is opened or entity picked, so that a path that cannot be written fails
// at once. Its temporary file becomes the named file only when the run completes;
// dropped before that, it leaves an earlier file untouched and nothing behind. A
// name ending in ".kmz" gets the document zipped as doc.kml.
class OutputDocument {
 public:
  // Throws Error(kFileAccess) for an empty name or a file that cannot be created,
  // and Error(kGeneral) for a file name of fewer than four characters (the document
  // is named after it).
  explicit OutputDocument(const std::filesystem::path& path);

  const std::filesystem::path& path() const { return path_; }
  const std::string& name() const { return kmlname_; }  // the <name> of the document

  // The text to append to; Flush() hands what is there to the file.
  std::string& out() { return buffer_; }
  void Flush();
  // Hands `text` to the file after what out() holds, without copying it into the
  // buffer (a KMZ, zipped at the end, keeps it).
  void Write(std::string_view text);
  // Writes what is left and puts the file in place.
  void Commit();

 private:
  std::filesystem::path path_;
  std::string kmlname_;
  bool zipped_;
  std::unique_ptr<AtomicFile> file_;
  std::string buffer_;
};

struct RunOptions {
  // Threads that convert (0: one per core; 1: all on the calling thread). The
  // document is the same whatever the number.
  unsigned threads = 0;
  // A document that would hold more points than this fails.
  int64_t maxPoints = kMaxPointsPerRun;
  // When the user started the conversion, for the elapsed time; unset: when the
  // run starts.
  std::optional<std::chrono::system_clock::time_point> started;
};

struct RunResult {
  int64_t entities = 0;  // Placemarks written
  int64_t points = 0;    // coordinate tuples written
  int64_t seconds = 0;   // whole seconds elapsed
};

// Converts what `source.SelectOnScreen()` picks into `output` and commits it. Throws
// Error; on failure `output` is left uncommitted (an earlier file untouched). An
// entity of an included kind that cannot be used is left out and counted in the
// summary warning, unless the settings say strict=yes: then the first such entity
// fails the run, as does anything the source left out with a refusal. A run that
// would write no Placemark fails, saying what the drawing holds.
// Saving the settings is the caller's business (the window and the command line
// differ there). The entities are converted in chunks on the options' threads and
// written in their order; the reporter is called only from the calling thread.
RunResult RunConversion(EntitySource& source, const Settings& settings,
                        OutputDocument& output, RunReporter& reporter,
                        const RunOptions& options = {});

// The same into a document at `output`, created first.
RunResult RunConversion(EntitySource& source, const Settings& settings,
                        const std::filesystem::path& output, RunReporter& reporter,
                        unsigned threads = 0, int64_t maxPoints = kMaxPointsPerRun);

// The kinds beyond the seven families the settings file's include= line names (the
// IncludeKind bits the reader takes): the one way a drawing's reader is asked for
// them. Throws SettingError for any opt-in line that cannot be used, so that a
// drawing is not read for settings the run would refuse.
unsigned IncludedKinds(const Settings& settings);

// The summary after a run of what was not written, by kind: the kinds not read,
// naming the option that converts them (none for a kind already `included`,
// IncludeKind bits), then the entities left out, each with its reason ("left out:
// solid 1 (no area)"); nullopt when nothing was left out.
std::optional<RunWarning> SkippedWarning(const std::vector<SkippedKind>& skipped,
                                         unsigned included = 0);

// The failure of a run that has nothing to write: what the drawing holds instead
// ("nothing to convert: the drawing holds IMAGE 8 (not converted); --include frames
// converts them"), or that nothing was selected.
std::string NothingToConvert(const std::vector<SkippedKind>& skipped, unsigned included);

// Whole seconds between two clock readings, each taken to its whole second first, as
// a clock that shows only seconds would count them.
int64_t ElapsedSeconds(std::chrono::system_clock::time_point start,
                       std::chrono::system_clock::time_point end);

}  // namespace varnolt
