// varnolt convert: a DXF drawing to one KML document.
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "base/error.h"
#include "cad/dxf.h"
#include "commands.h"
#include "options.h"
#include "run/run.h"

namespace varnolt::cli {
namespace {

namespace fs = std::filesystem;

// The system's message for each kind of failure of a run.
const char* RunMessage(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::kFileAccess:
      return "读取文件被取消！";
    case ErrorKind::kUnsupported:
      return "程序仅支持R2000以上版本！";
    case ErrorKind::kGeneral:
      break;
  }
  return "数据文件格式有误、操作不当或其它未知错误！";
}

// Prompts go to stderr, as a CAD command line would show them; per-entity progress
// becomes a bar on a terminal and nothing otherwise.
class TerminalReporter : public RunReporter {
 public:
  TerminalReporter() : bar_(::isatty(STDERR_FILENO) == 1) {}

  void Prompt(const std::string& text) override {
    ClearBar();
    std::cerr << text << "\n" << std::flush;
  }

  void Warning(const std::string& text) override {
    ClearBar();
    std::cerr << "varnolt: warning: " << text << "\n" << std::flush;
  }

  void Progress(int64_t done, int64_t total) override {
    if (!bar_ || total <= 0) return;
    int percent = static_cast<int>(done * 100 / total);
    if (percent == lastPercent_ && done != total) return;
    lastPercent_ = percent;
    constexpr int kWidth = 40;
    int filled = percent * kWidth / 100;
    std::string line = "\r[" + std::string(static_cast<size_t>(filled), '#') +
                       std::string(static_cast<size_t>(kWidth - filled), ' ') + "] " +
                       std::to_string(percent) + "% " + std::to_string(done) + "/" +
                       std::to_string(total);
    std::cerr << line << std::flush;
    shown_ = true;
  }

  void ClearBar() {
    if (!shown_) return;
    std::cerr << "\r" << std::string(64, ' ') << "\r";
    shown_ = false;
    lastPercent_ = -1;
  }

 private:
  bool bar_;
  bool shown_ = false;
  int lastPercent_ = -1;
};

// "4G", "500M", "64K" or a plain byte count.
bool ParseSize(const std::string& text, uint64_t& bytes) {
  if (text.empty()) return false;
  uint64_t unit = 1;
  std::string digits = text;
  switch (digits.back()) {
    case 'K': case 'k': unit = uint64_t{1} << 10; break;
    case 'M': case 'm': unit = uint64_t{1} << 20; break;
    case 'G': case 'g': unit = uint64_t{1} << 30; break;
    default: break;
  }
  if (unit != 1) digits.pop_back();
  if (digits.empty() || digits.size() > 12) return false;
  uint64_t n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  if (n == 0) return false;
  bytes = n * unit;
  return true;
}

bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

struct ConvertCommand {
  SettingsOptions settings;
  std::string drawing;
  std::string output;
  std::vector<std::string> layers;
  std::string maxFileSize;

  int Run() {
    fs::path out = output.empty() ? fs::path(drawing).replace_extension(".kml") : fs::path(output);
    if (SameFile(drawing, out)) {
      PrintFailure(RunMessage(ErrorKind::kFileAccess),
                   "the output '" + out.string() + "' is the drawing itself; refusing to "
                   "overwrite it");
      return kExitFailure;
    }
    const Settings s = settings.Effective();
    TerminalReporter reporter;
    try {
      DxfLimits limits;
      if (!maxFileSize.empty() && !ParseSize(maxFileSize, limits.maxFileBytes)) {
        std::cerr << "varnolt convert: --max-file-size takes a size such as 500M or 4G, "
                     "not '" << maxFileSize << "'\n";
        return kExitUsage;
      }
      DxfSource source(drawing, limits);
      source.SetLayerFilter(layers);
      RunResult result = RunConversion(source, s, out, reporter);
      reporter.ClearBar();
      (void)result;
    } catch (const Error& e) {
      reporter.ClearBar();
      PrintFailure(RunMessage(e.kind()), e.what());
      return kExitFailure;
    }
    return kExitOk;
  }
};

}  // namespace

void AddConvertCommand(CLI::App& app, Action& action) {
  auto cmd = std::make_shared<ConvertCommand>();
  CLI::App* sub = app.add_subcommand(
      "convert",
      "Convert the model-space lines, arcs, circles, polylines, 3D polylines, texts and\n"
      "multiline texts of a DXF drawing (ASCII or binary, R12 to R2018) to one KML\n"
      "document. Coordinates are taken as Gauss-Krueger plane coordinates of the datum\n"
      "and central meridian in the settings. A name ending in .kmz writes the document\n"
      "zipped. The output is replaced only when the whole conversion succeeds.");
  sub->add_option("DRAWING", cmd->drawing, "DXF file")->required();
  sub->add_option("-o,--output", cmd->output,
                  "KML (or KMZ) file to write; default: the drawing's name with .kml");
  sub->add_option("--layer", cmd->layers,
                  "Convert only entities on this layer (repeatable; case-insensitive)");
  sub->add_option("--max-file-size", cmd->maxFileSize,
                  "Refuse drawings larger than this (default 2G; K, M and G suffixes)");
  cmd->settings.Add(*sub);
  sub->callback([cmd, &action] { action = [cmd] { return cmd->Run(); }; });
}

}  // namespace varnolt::cli
