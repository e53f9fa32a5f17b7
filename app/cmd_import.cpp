// varnolt import: KML, KMZ, GPX and GeoJSON back onto the drawing's plane, as DXF.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/paths.h"
#include "cad/dxf_writer.h"
#include "cad_command.h"
#include "commands.h"
#include "import/import.h"
#include "options.h"
#include "progress_bar.h"
#include "settings/conversion_options.h"
#include "text/numtext.h"

namespace varnolt::cli {
namespace {

namespace fs = std::filesystem;

// One bar over the three stages of a file, weighted as they take time on a long
// track: reading the file, placing its positions on the plane, writing the drawing.
class ImportBar {
 public:
  // `writing` names the last stage: "writing" a file, "adding" to the CAD host.
  ImportBar(std::string name, std::string writing)
      : name_(std::move(name)), writing_(std::move(writing)) {}

  void Show(ImportStage stage, uint64_t done, uint64_t total) {
    if (!bar_.enabled() || total == 0) return;
    static constexpr int kFrom[] = {0, 60, 80, 100};
    const int k = static_cast<int>(stage);
    const int percent =
        kFrom[k] + static_cast<int>((kFrom[k + 1] - kFrom[k]) * std::min(done, total) / total);
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    const std::string counted = std::to_string(done) + "/" + std::to_string(total);
    bar_.Draw(percent, stage == ImportStage::kReading   ? "reading " + name_
                       : stage == ImportStage::kPlacing ? "placing " + counted + " positions"
                                                        : writing_ + " " + counted + " entities");
  }
  void Clear() { bar_.Clear(); }

 private:
  ProgressBar bar_;
  std::string name_, writing_;
  int lastPercent_ = -1;
};

struct ImportCommand {
  SettingsOptions settings;
  std::vector<std::string> inputs;
  std::string output, outputDir, maxFileSize, keepAltitude = "auto", layer;
  std::optional<std::string> inputDatum, textHeight;
  bool cad = false;
  std::string cadProgId;  // empty: the settings' cad_progid= line, else the known hosts

  int Run() {
    if (const std::string conflict = settings.Conflict(); !conflict.empty()) {
      std::cerr << "varnolt import: " << conflict << "\n";
      return kExitUsage;
    }
    Settings effective = settings.Effective();
    // The input's datum is what a conversion with these settings writes.
    if (inputDatum) effective.SetExtra("output_datum", *inputDatum == "gcj02" ? "gcj02" : "");
    ReadConversionOptions(effective);  // a line that cannot be used is a usage error
    if (cad && !CadSessionAvailable()) {
      std::cerr << "varnolt import: --cad works only on Windows, where the CAD host runs; "
                   "here write a DXF with -o instead\n";
      return kExitUsage;
    }
    if (cad && (!output.empty() || !outputDir.empty())) {
      std::cerr << "varnolt import: --cad adds to the CAD host's drawing and takes no -o or -d\n";
      return kExitUsage;
    }
    std::optional<ImportOptions> options = Options();
    if (!options) return kExitUsage;
    if (inputs.empty()) {
      std::cerr << "varnolt import: name an INPUT file (KML, KMZ, GPX or GeoJSON)\n";
      return kExitUsage;
    }
    if (cad) return ImportIntoCad(effective, *options);
    if (!output.empty() && (inputs.size() > 1 || !outputDir.empty())) {
      std::cerr << "varnolt import: -o names one output; with several inputs use -d OUTDIR\n";
      return kExitUsage;
    }
    const std::optional<std::vector<fs::path>> outs =
        !output.empty() ? std::vector<fs::path>{PathFromUtf8(output)}
                        : OutputsNamedAfter(inputs, outputDir, ".dxf", "import");
    if (!outs) return kExitUsage;
    // The plane and its methods are set up once, before any file is read.
    const SettingsPlane plane(effective);
    bool failed = false;
    for (size_t k = 0; k < inputs.size(); ++k) {
      try {
        ImportOne(inputs[k], (*outs)[k], plane, *options);
      } catch (const Error& e) {
        PrintFailure(FailureMessage(Task::kConversion, e.kind()), e.what());
        failed = true;
      }
    }
    return failed ? kExitFailure : kExitOk;
  }

  // The options as given, or empty after a usage message.
  std::optional<ImportOptions> Options() const {
    ImportOptions o;
    o.keepAltitude = keepAltitude == "yes"  ? KeepAltitude::kYes
                     : keepAltitude == "no" ? KeepAltitude::kNo
                                            : KeepAltitude::kAuto;
    o.layer = layer;
    if (textHeight) {
      double h = 0;
      if (!ParseNumber(*textHeight, h) || !(h > 0) || h > 1e6) {
        std::cerr << "varnolt import: --text-height takes a height above 0 in drawing units, "
                     "not '" << *textHeight << "'\n";
        return std::nullopt;
      }
      o.textHeight = h;
    }
    if (!maxFileSize.empty()) {
      const std::optional<uint64_t> bytes = ParseSize(maxFileSize);
      if (!bytes) {
        std::cerr << "varnolt import: --max-file-size takes a size such as 500M or 4G "
                     "(below 16 exbibytes), not '" << maxFileSize << "'\n";
        return std::nullopt;
      }
      o.maxFileBytes = *bytes;
    }
    return o;
  }

  // Every input into the running CAD host's model space, one after the other; the
  // host is found (or started) before any file is read.
  int ImportIntoCad(const Settings& effective, const ImportOptions& options) const {
    std::unique_ptr<CadModelSpace> host;
    try {
      host = ConnectCadModelSpace(cadProgId, effective);
    } catch (const Error& e) {
      PrintFailure(FailureMessage(Task::kConversion, e.kind()), e.what());
      return kExitFailure;
    }
    const SettingsPlane plane(effective);
    bool failed = false;
    for (const std::string& input : inputs) {
      try {
        ImportBar bar(Utf8(PathFromUtf8(input).filename()), "adding");
        const ImportedDrawing drawing = Read(input, plane, options, bar);
        host->Add(drawing.layers, drawing.entities, [&](size_t added, size_t total) {
          bar.Show(ImportStage::kWriting, added, total);
        });
        bar.Clear();
        Summary(input, drawing, host->Describe());
      } catch (const Error& e) {
        PrintFailure(FailureMessage(Task::kConversion, e.kind()), e.what());
        failed = true;
      }
    }
    return failed ? kExitFailure : kExitOk;
  }

  // One file read and put onto the plane, the bar filling, empty geometries counted.
  static ImportedDrawing Read(const std::string& input, const SettingsPlane& plane,
                              ImportOptions options, ImportBar& bar) {
    options.progress = [&](ImportStage stage, uint64_t done, uint64_t total) {
      bar.Show(stage, done, total);
    };
    ImportedDrawing drawing = ImportFile(PathFromUtf8(input), plane.finder(), options);
    if (drawing.emptyGeometries > 0) {
      bar.Clear();
      std::cerr << "varnolt: warning: " << input << ": " << drawing.emptyGeometries
                << " empty geometr" << (drawing.emptyGeometries == 1 ? "y" : "ies")
                << " left out\n";
    }
    return drawing;
  }

  static void Summary(const std::string& input, const ImportedDrawing& drawing,
                      const std::string& where) {
    std::cerr << "varnolt import: " << input << " (" << drawing.format << "): "
              << drawing.positions << " positions, " << drawing.entities.size()
              << " entities on " << drawing.layers.size() << " layer"
              << (drawing.layers.size() == 1 ? "" : "s") << " -> " << where << "\n";
  }

  // One file: read, put onto the plane, written; the DXF appears only when whole.
  void ImportOne(const std::string& input, const fs::path& out, const SettingsPlane& plane,
                 const ImportOptions& options) const {
    const fs::path in = PathFromUtf8(input);
    if (SameFile(in, out)) {
      throw Error(ErrorKind::kFileAccess,
                  "the output '" + Utf8(out) + "' is the input itself; refusing to overwrite it");
    }
    ImportBar bar(Utf8(in.filename()), "writing");
    const ImportedDrawing drawing = Read(input, plane, options, bar);
    if (!outputDir.empty()) {
      std::error_code ec;
      fs::create_directories(out.parent_path(), ec);
    }
    WriteDxfFile(out, drawing.layers, drawing.entities, options.threads,
                 [&](size_t written, size_t total) {
                   bar.Show(ImportStage::kWriting, written, total);
                 });
    bar.Clear();
    Summary(input, drawing, Utf8(out));
  }
};

}  // namespace

void AddImportCommand(CLI::App& app, Action& action) {
  auto cmd = std::make_shared<ImportCommand>();
  CLI::App* sub = app.add_subcommand(
      "import",
      "The way back: put the positions of KML, KMZ, GPX or GeoJSON files onto the drawing's\n"
      "plane and write them as a DXF drawing (AutoCAD 2000 format). The format is told by\n"
      "the content: KML 2.1/2.2 with or without its namespace, KMZ (the first .kml in it),\n"
      "GPX 1.0/1.1, GeoJSON. Every position becomes the plane point that `varnolt point`\n"
      "gives back as that position (to 1e-11 degrees), with the same settings and methods\n"
      "as a conversion: datum, central meridian, corrections (undone), --crs, --zone,\n"
      "--transform four-parameter and --helmert.\n"
      "Lines, tracks and routes become lightweight polylines (3D polylines with their\n"
      "altitudes), polygon rings closed polylines, points and waypoints POINTs with a TEXT\n"
      "of their name. Layers: one per KML Folder, per GPX kind (waypoints, tracks,\n"
      "routes), or --layer. Colours: the nearest of the palette's. The output is written\n"
      "only when the whole file was read.");
  sub->add_option("INPUT", cmd->inputs, "KML, KMZ, GPX or GeoJSON file; several are imported "
                                        "each to its own DXF");
  sub->add_option("-o,--output", cmd->output,
                  "DXF file to write; default: the input's name with .dxf");
  sub->add_option("-d,--output-dir", cmd->outputDir,
                  "Folder for the drawings, each named after its input (created if missing)");
  sub->add_option("--input-datum", cmd->inputDatum,
                  "wgs84 (Google Earth, GPS) or gcj02 (Chinese web maps: the offset is undone\n"
                  "by iteration, to 1e-11 degrees); default: the settings' output datum, wgs84")
      ->check(CLI::IsMember({"wgs84", "gcj02"}));
  sub->add_option("--keep-altitude", cmd->keepAltitude,
                  "auto (default): a line keeps its altitudes as z, as a 3D polyline, when any\n"
                  "is not 0; yes: every line does; no: none does (lightweight polylines, z 0)")
      ->check(CLI::IsMember({"auto", "yes", "no"}));
  sub->add_option("--text-height", cmd->textHeight,
                  "Height of the TEXT that carries a point's name, in drawing units (default 2.5)");
  sub->add_option("--layer", cmd->layer,
                  "Put everything on this layer instead of one layer per KML Folder or GPX kind");
  sub->add_option("--max-file-size", cmd->maxFileSize,
                  "Refuse inputs (and a KMZ's unpacked KML) larger than this (default 2G; K, M and\n"
                  "G suffixes)");
  sub->add_flag("--cad", cmd->cad,
                "Windows only: add the entities to the model space of the running CAD host (or\n"
                "start it) instead of writing a DXF file: the same entities, colours and layers;\n"
                "a layer the drawing has keeps its colour, a missing one is added")
      ->group("Live CAD session");
  AddCadProgIdOption(*sub, cmd->cadProgId);
  cmd->settings.Add(*sub, true);
  // A conversion's output datum is the import's input datum: --input-datum says it.
  sub->remove_option(sub->get_option("--output-datum"));
  sub->callback([cmd, &action] {
    action = {"import", Task::kConversion, [cmd] { return cmd->Run(); }};
  });
}

}  // namespace varnolt::cli
