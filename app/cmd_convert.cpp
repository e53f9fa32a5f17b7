// varnolt convert: DXF drawings to KML documents, one or several at a time.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/error.h"
#include "base/ordered_work.h"
#include "base/paths.h"
#include "base/platform.h"
#include "cad/dxf.h"
#include "cad_command.h"
#include "drawing_list.h"
#include "settings/conversion_options.h"
#include "commands.h"
#include "options.h"
#include "progress_bar.h"
#include "run/run.h"

namespace varnolt::cli {
namespace {

namespace fs = std::filesystem;

const char* RunMessage(ErrorKind kind) { return FailureMessage(Task::kConversion, kind); }

std::string FailureText(const std::string& message, const std::string& detail) {
  return "varnolt: " + message + "\n" + "varnolt: " + detail + "\n";
}

// One drawing: prompts straight to stderr, as a CAD command line would show them;
// per-entity progress as a bar.
class TerminalReporter : public RunReporter {
 public:
  void Prompt(const std::string& text) override { bar_.Print(text + "\n"); }
  void Warning(const RunWarning& warning) override {
    bar_.Print("varnolt: warning: " + warning.english + "\n");
  }
  void Progress(int64_t done, int64_t total) override {
    if (!bar_.enabled() || total <= 0) return;
    const int percent = static_cast<int>(done * 100 / total);
    if (percent == lastPercent_ && done != total) return;
    lastPercent_ = percent;
    bar_.Draw(percent, std::to_string(done) + "/" + std::to_string(total));
  }
  void Done() { bar_.Clear(); }

 private:
  ProgressBar bar_;
  int lastPercent_ = -1;
};

// Several drawings at once: each run's prompts and warnings are kept and printed as
// one block when the drawing is done (in the order the drawings were given), and one
// bar shows the progress of them all.
class BatchConsole {
 public:
  explicit BatchConsole(size_t drawings) : fractions_(drawings, 0.0) {}

  void Progress(size_t drawing, int64_t done, int64_t total) {
    if (!bar_.enabled() || total <= 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    const double fraction = static_cast<double>(done) / static_cast<double>(total);
    sum_ += fraction - fractions_[drawing];
    fractions_[drawing] = fraction;
    const int percent = static_cast<int>(sum_ * 100 / static_cast<double>(fractions_.size()));
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    Redraw();
  }

  void Finished() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++finished_;
    if (lastPercent_ >= 0) Redraw();
  }

  void Print(const std::string& lines) {
    std::lock_guard<std::mutex> lock(mutex_);
    bar_.Print(lines);
    if (lastPercent_ >= 0) Redraw();
  }

  void Done() {
    std::lock_guard<std::mutex> lock(mutex_);
    bar_.Clear();
  }

 private:
  void Redraw() {
    bar_.Draw(lastPercent_,
              std::to_string(finished_) + "/" + std::to_string(fractions_.size()) + " drawings");
  }

  ProgressBar bar_;
  std::mutex mutex_;
  std::vector<double> fractions_;
  double sum_ = 0;
  size_t finished_ = 0;
  int lastPercent_ = -1;
};

class BatchReporter : public RunReporter {
 public:
  BatchReporter(BatchConsole& console, size_t drawing) : console_(console), drawing_(drawing) {}

  void Prompt(const std::string& text) override { lines_ += text + "\n"; }
  void Warning(const RunWarning& warning) override {
    lines_ += "varnolt: warning: " + warning.english + "\n";
  }
  void Progress(int64_t done, int64_t total) override {
    console_.Progress(drawing_, done, total);
  }
  std::string& lines() { return lines_; }

 private:
  BatchConsole& console_;
  size_t drawing_;
  std::string lines_;
};

struct ConvertCommand {
  SettingsOptions settings;
  std::vector<std::string> drawings;
  std::string output;
  std::string outputDir;
  std::vector<std::string> layers;
  std::string maxFileSize;
  std::optional<std::string> include;
  std::optional<int64_t> maxBlockEntities;
  std::optional<std::string> folders, altitude;
  bool attributes = false;
  bool polygons = false;
  bool strict = false;
  bool plainText = false;
  bool recursive = false;
  bool cad = false;
  std::string cadProgId;  // empty: the settings' cad_progid= line, else the known hosts
  Settings effective_;  // the settings file with this call's overrides
  std::vector<fs::path> relatives_;  // each drawing's path under -d OUTDIR

  int Run(std::chrono::system_clock::time_point started) {
    if (const std::string conflict = settings.Conflict(); !conflict.empty()) {
      std::cerr << "varnolt convert: " << conflict << "\n";
      return kExitUsage;
    }
    // This call's options go into the opt-in lines, which are read as the settings
    // file's: a value that cannot be used is refused there (SettingError), before
    // anything is read or written.
    effective_ = settings.Effective();
    if (folders) effective_.SetExtra("folders", *folders);
    if (altitude) effective_.SetExtra("altitude", *altitude);
    if (attributes) effective_.SetExtra("attributes", "yes");
    if (polygons) effective_.SetExtra("polygons", "yes");
    if (include) effective_.SetExtra("include", *include);
    if (strict) effective_.SetExtra("strict", "yes");
    if (plainText) effective_.SetExtra("plain_text", "yes");
    const ConversionOptions options = ReadConversionOptions(effective_);
    DxfLimits limits;
    if (!maxFileSize.empty()) {
      const std::optional<uint64_t> bytes = ParseSize(maxFileSize);
      if (!bytes) {
        std::cerr << "varnolt convert: --max-file-size takes a size such as 500M or 4G "
                     "(below 16 exbibytes), not '" << maxFileSize << "'\n";
        return kExitUsage;
      }
      limits.maxFileBytes = *bytes;
    }
    limits.include = options.include;
    if (maxBlockEntities) limits.maxPlacedEntities = *maxBlockEntities;
    if (cad) return RunCad(limits, started);
    if (drawings.empty()) {
      std::cerr << "varnolt convert: name a DRAWING to convert, or use --cad (Windows)\n";
      return kExitUsage;
    }
    // Folders and wildcards become the drawings they hold, each with its place
    // under -d OUTDIR.
    DrawingList list;
    if (const std::string wrong = ListDrawings(drawings, recursive, list); !wrong.empty()) {
      std::cerr << "varnolt convert: " << wrong << "\n";
      return kExitUsage;
    }
    drawings.clear();
    for (DrawingInput& d : list.drawings) {
      drawings.push_back(std::move(d.path));
      relatives_.push_back(std::move(d.relative));
    }
    if (drawings.size() == 1 && outputDir.empty() && !list.batch) return RunOne(limits, started);
    if (!output.empty()) {
      std::cerr << "varnolt convert: -o names one output; with several drawings use -d "
                   "OUTDIR\n";
      return kExitUsage;
    }
    return RunMany(limits);
  }

  // One drawing with its output: the output is created first, so that a path that
  // cannot be written fails before the drawing is read; the output file appears only
  // when the document is complete.
  void Convert(const std::string& drawing, const fs::path& out, const DxfLimits& limits,
               RunReporter& reporter, const RunOptions& options) const {
    if (SameFile(PathFromUtf8(drawing), out)) {
      throw Error(ErrorKind::kFileAccess, "the output '" + Utf8(out) +
                                              "' is the drawing itself; refusing to "
                                              "overwrite it");
    }
    OutputDocument document(out);
    // The drawing is read on as many threads as it is converted on.
    DxfLimits reading = limits;
    reading.threads = options.threads;
    DxfSource source(PathFromUtf8(drawing), reading);
    source.SetLayerFilter(layers);
    RunConversion(source, effective_, document, reporter, options);
  }

  // One drawing: prompts straight to the terminal, the bar per entity. The elapsed
  // time counts from the command's start, the reading of the drawing included.
  int RunOne(const DxfLimits& limits, std::chrono::system_clock::time_point started) {
    const std::string& drawing = drawings.front();
    const fs::path out = output.empty() ? PathFromUtf8(drawing).replace_extension(".kml")
                                        : PathFromUtf8(output);
    TerminalReporter reporter;
    RunOptions options;
    options.started = started;
    Convert(drawing, out, limits, reporter, options);
    reporter.Done();
    return kExitOk;
  }

  // The entities the user picks in the running CAD host (started when none runs): its
  // command line shows the prompts, the terminal too. The output is created first,
  // so that a path that cannot be written fails before the host is asked anything.
  // The drawing the host exports is read with the limits and kinds of a DXF file.
  int RunCad(const DxfLimits& limits, std::chrono::system_clock::time_point started) {
    if (!drawings.empty() || !outputDir.empty() || !layers.empty() || output.empty()) {
      std::cerr << "varnolt convert: --cad takes no DRAWING, -d or --layer, and needs "
                   "-o OUT.kml\n";
      return kExitUsage;
    }
    TerminalReporter terminal;
    // The bar goes before any message, however the conversion ends.
    struct ClearBar {
      TerminalReporter& bar;
      ~ClearBar() { bar.Done(); }
    } clear{terminal};
    return ConvertCadSelection(cadProgId, output, effective_, limits, terminal, started);
  }

  // Several drawings (or one with -d), each to its own document, as many at a time
  // as there are cores. A drawing that fails is reported with its name and does not
  // stop the others; each drawing's block is printed in order as soon as it and all
  // before it are done.
  int RunMany(const DxfLimits& limits) {
    const std::optional<std::vector<fs::path>> outs =
        OutputsNamedAfter(drawings, outputDir, ".kml", "convert", &relatives_);
    if (!outs) return kExitUsage;
    if (!outputDir.empty()) {
      std::error_code ec;
      fs::create_directories(PathFromUtf8(outputDir), ec);
      if (ec || !fs::is_directory(PathFromUtf8(outputDir))) {
        PrintFailure(RunMessage(ErrorKind::kFileAccess),
                     "cannot create the output folder '" + outputDir + "': " + ec.message());
        return kExitFailure;
      }
    }

    const size_t n = drawings.size();
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t parallel = std::min(cores, n);
    // The cores left over go to the runs themselves (a large drawing among small ones).
    RunOptions options;
    options.threads = static_cast<unsigned>(std::max<size_t>(1, cores / parallel));

    struct Outcome {
      std::string text;  // prompts, warnings and the failure, whole lines
      bool failed = false;
    };
    BatchConsole console(n);
    auto convert = [&](size_t k) {
      Outcome outcome;
      BatchReporter reporter(console, k);
      const std::string& drawing = drawings[k];
      try {
        // A subfolder of a folder converted with --recursive, mirrored under OUTDIR.
        std::error_code ec;
        if (!outputDir.empty()) fs::create_directories((*outs)[k].parent_path(), ec);
        Convert(drawing, (*outs)[k], limits, reporter, options);
      } catch (const std::exception& e) {
        const auto* error = dynamic_cast<const Error*>(&e);
        outcome.failed = true;
        reporter.lines() += FailureText(RunMessage(error ? error->kind() : ErrorKind::kGeneral),
                                        drawing + ": " + e.what());
      }
      outcome.text = std::move(reporter.lines());
      console.Finished();
      return outcome;
    };
    OrderedWork<Outcome> work(n, static_cast<unsigned>(parallel), n, convert);
    size_t failed = 0;
    for (size_t k = 0; k < n; ++k) {
      const Outcome outcome = work.Take(k);
      failed += outcome.failed ? 1 : 0;
      // Each drawing's block ends with how far the batch has come.
      console.Print(outcome.text + "varnolt: [" + std::to_string(k + 1) + "/" + std::to_string(n) +
                    "] " + drawings[k] +
                    (outcome.failed ? " failed" : " -> " + Utf8((*outs)[k])) + "\n");
    }
    console.Done();
    std::cerr << "varnolt: " << n - failed << " converted, " << failed << " failed\n";
    return failed > 0 ? kExitFailure : kExitOk;
  }
};

// The options of what a drawing's content is read as.
void AddContentOptions(CLI::App& app, ConvertCommand& cmd) {
  app.add_option("--include", cmd.include,
                 "Also convert content beyond the seven families, a comma-separated list of:\n"
                 "blocks (block references exploded, with their attributes, and dimensions),\n"
                 "points, ellipses, splines, fitted (curve- and spline-fitted 2D polylines),\n"
                 "hatches and solids (SOLID, TRACE, 3DFACE) as filled polygons; all (these\n"
                 "seven); meshes (polygon and polyface meshes, a polygon per face), leaders\n"
                 "(LEADER and MULTILEADER lines, a multileader's text as a text), frames (the\n"
                 "boundaries of IMAGE and WIPEOUT); or none. Default: the settings file's\n"
                 "include= line, else none. A run that leaves something out says what, by kind")
      ->group("Content");
  app.add_flag("--strict", cmd.strict,
               "Fail the whole drawing on the first included entity that cannot be used (a\n"
               "solid without area, a spline whose numbers make no curve and that has no fit\n"
               "points, a block that inserts itself) instead of leaving it out and counting\n"
               "it in the closing warning. Settings line: strict=yes")
      ->group("Content");
  app.add_option("--max-block-entities", cmd.maxBlockEntities,
                 "With blocks included: fail when exploding the block references would place\n"
                 "more than this many entities (default 1000000)")
      ->check(CLI::PositiveNumber)
      ->group("Content");
}

// The options of how the document is laid out.
void AddDocumentOptions(CLI::App& app, ConvertCommand& cmd) {
  app.add_flag("--plain-text", cmd.plainText,
               "Name text Placemarks as CAD shows the text: multiline text formatting (fonts,\n"
               "heights, widths, colours, over- and underlines) dropped, \\P a line break,\n"
               "stacked fractions a/b, %%c %%d %%p as ⌀ ° ±. Settings line: plain_text=yes")
      ->group("Document");
  app.add_flag("--polygons", cmd.polygons,
               "Write closed polylines and circles as filled polygons (half-opaque fill in the\n"
               "entity's colour, outlined in the line style) instead of lines")
      ->group("Document");
  app.add_option("--folders", cmd.folders,
                 "layer: one Folder per layer, in the layer table's order; single (default):\n"
                 "every Placemark in the one Folder")
      ->group("Document");
  app.add_flag("--attributes", cmd.attributes,
               "Give every Placemark ExtendedData: layer, handle, kind, colour number and, for\n"
               "entities from a block, the block path")
      ->group("Document");
  app.add_option("--altitude", cmd.altitude,
                 "Altitude mode of the geometry: relative (default: relativeToGround), clamp\n"
                 "(clampToGround) or absolute")
      ->group("Document");
}

}  // namespace

void AddConvertCommand(CLI::App& app, Action& action,
                       std::chrono::system_clock::time_point started) {
  auto cmd = std::make_shared<ConvertCommand>();
  CLI::App* sub = app.add_subcommand(
      "convert",
      "Convert the model-space lines, arcs, circles, polylines, 3D polylines, texts and\n"
      "multiline texts of a DXF drawing (ASCII or binary, R12 to R2018) to one KML\n"
      "document. Coordinates are taken as Gauss-Krueger plane coordinates of the datum\n"
      "and central meridian in the settings. A name ending in .kmz writes the document\n"
      "zipped. The output is replaced only when the whole conversion succeeds.\n"
      "Several drawings, a folder (every .dxf in it) or, on Windows, a wildcard such as\n"
      "*.dxf convert one document each, side by side; one that fails does not stop the\n"
      "others, a line counts the drawings done, and the exit code is 1 if any failed.\n"
      "On Windows, --cad converts what the user picks in the running CAD host instead\n"
      "of a file (the host is started when none runs), with --include as for a file.");
  sub->add_option("DRAWING", cmd->drawings,
                  "DXF file, or a folder: every .dxf in it, the extension in any letter case.\n"
                  "On Windows * and ? in a name are expanded as cmd's dir does. Several are\n"
                  "converted at the same time, each to its own KML beside it or in -d OUTDIR");
  sub->add_option("-o,--output", cmd->output,
                  "KML (or KMZ) file to write; default: the drawing's name with .kml");
  sub->add_option("-d,--output-dir", cmd->outputDir,
                  "Folder for the documents, each named after its drawing (created if "
                  "missing)");
  sub->add_flag("--recursive", cmd->recursive,
                "With a folder: the drawings in its subfolders too; under -d OUTDIR their\n"
                "documents go into the same subfolders");
  sub->add_option("--layer", cmd->layers,
                  "Convert only entities on this layer (repeatable; case-insensitive)");
  sub->add_option("--max-file-size", cmd->maxFileSize,
                  "Refuse drawings larger than this (default 2G; K, M and G suffixes)");
  AddContentOptions(*sub, *cmd);
  AddDocumentOptions(*sub, *cmd);
  sub->add_flag("--cad", cmd->cad,
                "Windows only: attach to the running CAD host (or start it), let the user pick\n"
                "the entities on its screen, with the prompts on its command line, and write\n"
                "them to the document named by -o. The host exports the drawing to a DXF file\n"
                "in the temporary folder, read as a DRAWING is (--include, --max-file-size,\n"
                "--max-block-entities) and deleted at once; a host that cannot export has the\n"
                "seven families read one by one, with a warning")
      ->group("Live CAD session");
  AddCadProgIdOption(*sub, cmd->cadProgId);
  cmd->settings.Add(*sub, true);
  sub->callback([cmd, &action, started] {
    action = {"convert", Task::kConversion, [cmd, started] { return cmd->Run(started); }};
  });
}

}  // namespace varnolt::cli
