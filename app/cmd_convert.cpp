// varnolt convert: a DXF drawing to one KML document.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
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

// Several drawings at once: each run's prompts and warnings are kept and printed
// as one block when the drawing is done (in the order the drawings were given), and
// one bar shows the progress of them all.
class BatchConsole {
 public:
  explicit BatchConsole(size_t drawings)
      : bar_(::isatty(STDERR_FILENO) == 1), fractions_(drawings, 0.0) {}

  void Progress(size_t drawing, int64_t done, int64_t total) {
    if (!bar_ || total <= 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    sum_ += static_cast<double>(done) / static_cast<double>(total) - fractions_[drawing];
    fractions_[drawing] = static_cast<double>(done) / static_cast<double>(total);
    const int percent = static_cast<int>(sum_ * 100 / static_cast<double>(fractions_.size()));
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    DrawBar(percent);
  }

  void Finished() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++finished_;
    if (bar_ && shown_) DrawBar(lastPercent_);
  }

  // Prints `text` (whole lines) with the bar out of the way.
  void Print(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shown_) {
      std::cerr << "\r" << std::string(64, ' ') << "\r";
      shown_ = false;
    }
    std::cerr << text << std::flush;
    if (bar_ && lastPercent_ >= 0) DrawBar(lastPercent_);
  }

  void ClearBar() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!shown_) return;
    std::cerr << "\r" << std::string(64, ' ') << "\r" << std::flush;
    shown_ = false;
  }

 private:
  void DrawBar(int percent) {
    constexpr int kWidth = 40;
    const int filled = std::clamp(percent, 0, 100) * kWidth / 100;
    std::cerr << "\r[" << std::string(static_cast<size_t>(filled), '#')
              << std::string(static_cast<size_t>(kWidth - filled), ' ') << "] " << percent
              << "% " << finished_ << "/" << fractions_.size() << " drawings" << std::flush;
    shown_ = true;
  }

  bool bar_;
  std::mutex mutex_;
  std::vector<double> fractions_;
  double sum_ = 0;
  size_t finished_ = 0;
  int lastPercent_ = -1;
  bool shown_ = false;
};

class BatchReporter : public RunReporter {
 public:
  BatchReporter(BatchConsole& console, size_t drawing) : console_(console), drawing_(drawing) {}

  void Prompt(const std::string& text) override { lines_ += text + "\n"; }
  void Warning(const std::string& text) override {
    lines_ += "varnolt: warning: " + text + "\n";
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

  int Run() {
    if (drawings.size() == 1 && outputDir.empty()) return RunOne();
    return RunMany();
  }

  // One drawing: prompts straight to the terminal, the bar per entity.
  int RunOne() {
    const std::string& drawing = drawings.front();
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

  // Several drawings (or one with -d): each to its own document, named after it, in
  // OUTDIR or beside the drawing; as many at a time as there are cores. A drawing
  // that fails is reported with its name and does not stop the others.
  int RunMany() {
    if (!output.empty()) {
      std::cerr << "varnolt convert: -o names one output; with several drawings use -d "
                   "OUTDIR\n";
      return kExitUsage;
    }
    DxfLimits limits;
    if (!maxFileSize.empty() && !ParseSize(maxFileSize, limits.maxFileBytes)) {
      std::cerr << "varnolt convert: --max-file-size takes a size such as 500M or 4G, "
                   "not '" << maxFileSize << "'\n";
      return kExitUsage;
    }
    std::vector<fs::path> outs;
    std::map<std::string, std::string> taken;  // output -> the drawing that writes it
    for (const std::string& drawing : drawings) {
      fs::path name = fs::path(drawing).filename().replace_extension(".kml");
      fs::path out = outputDir.empty() ? fs::path(drawing).replace_extension(".kml")
                                       : fs::path(outputDir) / name;
      std::error_code ec;
      const std::string key = fs::weakly_canonical(out, ec).string();
      const auto [it, fresh] = taken.emplace(key.empty() ? out.string() : key, drawing);
      if (!fresh) {
        std::cerr << "varnolt convert: '" << drawing << "' and '" << it->second
                  << "' would both be written to '" << out.string()
                  << "'; convert them separately\n";
        return kExitUsage;
      }
      outs.push_back(out);
    }
    if (!outputDir.empty()) {
      std::error_code ec;
      fs::create_directories(outputDir, ec);
      if (ec || !fs::is_directory(outputDir)) {
        PrintFailure(RunMessage(ErrorKind::kFileAccess),
                     "cannot create the output folder '" + outputDir + "': " + ec.message());
        return kExitFailure;
      }
    }

    const Settings s = settings.Effective();
    const size_t n = drawings.size();
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t parallel = std::min(cores, n);
    // The cores left over go to the runs themselves (a large drawing among small ones).
    const unsigned runThreads = static_cast<unsigned>(std::max<size_t>(1, cores / parallel));

    struct Outcome {
      std::string text;  // prompts, warnings and the failure, whole lines
      bool failed = false;
      bool done = false;
    };
    std::vector<Outcome> outcomes(n);
    BatchConsole console(n);
    std::mutex mutex;
    std::condition_variable doneCv;
    std::atomic<size_t> next{0};

    auto convert = [&](size_t k) {
      Outcome outcome;
      BatchReporter reporter(console, k);
      const std::string& drawing = drawings[k];
      if (SameFile(drawing, outs[k])) {
        outcome.failed = true;
        outcome.text = FailureText(RunMessage(ErrorKind::kFileAccess),
                                   drawing + ": the output '" + outs[k].string() +
                                       "' is the drawing itself; refusing to overwrite it");
        return outcome;
      }
      try {
        DxfSource source(drawing, limits);
        source.SetLayerFilter(layers);
        RunConversion(source, s, outs[k], reporter, runThreads);
        outcome.text = std::move(reporter.lines());
      } catch (const Error& e) {
        outcome.failed = true;
        outcome.text = std::move(reporter.lines()) +
                       FailureText(RunMessage(e.kind()), drawing + ": " + e.what());
      } catch (const std::exception& e) {
        outcome.failed = true;
        outcome.text = std::move(reporter.lines()) +
                       FailureText(RunMessage(ErrorKind::kGeneral), drawing + ": " + e.what());
      }
      return outcome;
    };
    auto work = [&] {
      for (size_t k = next++; k < n; k = next++) {
        Outcome outcome = convert(k);
        console.Finished();
        std::lock_guard<std::mutex> lock(mutex);
        outcomes[k] = std::move(outcome);
        outcomes[k].done = true;
        doneCv.notify_all();
      }
    };
    std::vector<std::thread> pool;
    for (size_t t = 1; t < parallel; ++t) {
      try {
        pool.emplace_back(work);
      } catch (const std::system_error&) {
        break;  // fewer threads: the others take the drawings
      }
    }
    // This thread converts too, and prints each drawing's block in order as soon as
    // it and all before it are done.
    bool anyFailed = false;
    work();
    for (size_t k = 0; k < n; ++k) {
      std::unique_lock<std::mutex> lock(mutex);
      doneCv.wait(lock, [&] { return outcomes[k].done; });
      const std::string text = std::move(outcomes[k].text);
      anyFailed = anyFailed || outcomes[k].failed;
      lock.unlock();
      console.Print(text);
    }
    for (std::thread& t : pool) t.join();
    console.ClearBar();
    return anyFailed ? kExitFailure : kExitOk;
  }

  static std::string FailureText(const std::string& message, const std::string& detail) {
    return "varnolt: " + message + "\n" + "varnolt: " + detail + "\n";
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
  sub->add_option("DRAWING", cmd->drawings,
                  "DXF file; several are converted at the same time, each to its own KML")
      ->required();
  sub->add_option("-o,--output", cmd->output,
                  "KML (or KMZ) file to write; default: the drawing's name with .kml");
  sub->add_option("-d,--output-dir", cmd->outputDir,
                  "Folder for the documents, each named after its drawing (created if "
                  "missing)");
  sub->add_option("--layer", cmd->layers,
                  "Convert only entities on this layer (repeatable; case-insensitive)");
  sub->add_option("--max-file-size", cmd->maxFileSize,
                  "Refuse drawings larger than this (default 2G; K, M and G suffixes)");
  cmd->settings.Add(*sub);
  sub->callback([cmd, &action] { action = [cmd] { return cmd->Run(); }; });
}

}  // namespace varnolt::cli
