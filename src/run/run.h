// The conversion run: the picked entities of a source, the settings and an output
// path in; one KML document out, written whole or not at all.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "cad/entity.h"
#include "convert/convert.h"
#include "settings/settings.h"

namespace varnolt {

// Where the run's prompts go: the command line prints them, the window shows them.
class RunReporter {
 public:
  virtual ~RunReporter() = default;
  // A command-line prompt, exactly as the system words it, without the line ending.
  virtual void Prompt(const std::string& text) = 0;
  // Progress through the families: `done` of `total` entities converted.
  virtual void Progress(int64_t done, int64_t total) { (void)done; (void)total; }
  // Something that does not stop the run but that the user should know.
  virtual void Warning(const std::string& text) { (void)text; }
  // Entity `i` of `count` of family `familyIndex` (see kFamilyWords) is about to be
  // converted; ProgressPrompt() gives the command-line prompt the system words for it.
  virtual void Converting(int familyIndex, int64_t i, int64_t count) {
    (void)familyIndex; (void)i; (void)count;
  }
};

// The families in the order the run converts them, by the words of their prompts:
// lightweight polylines, 3D polylines, texts, multiline texts, lines, arcs, circles.
inline constexpr std::string_view kFamilyWords[7] = {
    "多段线", "三维多段线", "文本", "多行文本", "直线", "圆弧", "圆"};

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

struct RunResult {
  int64_t entities = 0;  // Placemarks written
  int64_t points = 0;    // coordinate tuples written
  int64_t seconds = 0;   // whole seconds elapsed
};

// Converts what `source.SelectOnScreen()` picks into the KML document at `output`
// (a name ending in ".kmz" gets the same document zipped as doc.kml). Throws Error;
// on failure an earlier file at `output` is untouched and no partial file is left.
// Saving the settings is the caller's business (the window and the command line
// differ there).
//
// The entities are converted in chunks on `threads` threads (0: one per core; 1: all
// on the calling thread) and written in their order; the document is the same
// whatever the number. The reporter is called only from the calling thread. A
// document that would hold more than `maxPoints` points fails.
RunResult RunConversion(EntitySource& source, const Settings& settings,
                        const std::filesystem::path& output, RunReporter& reporter,
                        unsigned threads = 0, int64_t maxPoints = kMaxPointsPerRun);

}  // namespace varnolt
