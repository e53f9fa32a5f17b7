#include "ui/run_task.h"

#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <exception>

#include "ui/qt_text.h"

namespace varnolt {

namespace {

class ChannelReporter : public RunReporter {
 public:
  explicit ChannelReporter(RunChannel* channel) : channel_(channel) {}

  void Prompt(const std::string& text) override {
    if (!selectSkipped_ && text == kSelectPrompt) {
      selectSkipped_ = true;
      return;
    }
    emit channel_->prompt(ToQString(text));
  }
  void Progress(int64_t done, int64_t total) override {
    emit channel_->progress(static_cast<qint64>(done), static_cast<qint64>(total));
  }
  void Warning(const RunWarning& warning) override {
    emit channel_->warning(ToQString(warning.chinese));
  }
  void Converting(int familyIndex, int64_t i, int64_t count) override {
    emit channel_->prompt(ToQString(ProgressPrompt(familyIndex, i, count)));
  }

 private:
  RunChannel* channel_;
  bool selectSkipped_ = false;
};

// The outcome `work` fills, marked ok when it returns. Nothing may escape a pool
// thread: a failure is the outcome's, out of memory and the like "anything else" to
// the user.
template <class Outcome, class Work>
Outcome Guarded(Work&& work) {
  Outcome outcome;
  try {
    work(outcome);
    outcome.ok = true;
  } catch (const Error& e) {
    outcome.kind = e.kind();
    outcome.what = e.what();
  } catch (const std::exception& e) {
    outcome.kind = ErrorKind::kGeneral;
    outcome.what = e.what();
  }
  return outcome;
}

}  // namespace

QFuture<RunOutcome> StartRun(std::shared_ptr<const DxfDrawing> drawing,
                             std::vector<size_t> picks, std::string description,
                             Settings settings, std::shared_ptr<OutputDocument> output,
                             std::chrono::system_clock::time_point started,
                             RunChannel* channel) {
  return QtConcurrent::run([drawing = std::move(drawing), picks = std::move(picks),
                            description = std::move(description),
                            settings = std::move(settings), output = std::move(output),
                            started, channel]() mutable {
    ChannelReporter reporter(channel);
    return Guarded<RunOutcome>([&](RunOutcome& outcome) {
      PickedSource source(std::move(drawing), std::move(picks), std::move(description));
      RunOptions options;
      options.started = started;
      outcome.result = RunConversion(source, settings, *output, reporter, options);
    });
  });
}

QFuture<ImportOutcome> StartImport(std::filesystem::path path, Settings settings,
                                   RunChannel* channel) {
  return QtConcurrent::run([path = std::move(path), settings = std::move(settings), channel] {
    return Guarded<ImportOutcome>([&](ImportOutcome& outcome) {
      const SettingsPlane plane(settings);
      ImportOptions options;
      // Reading takes about three quarters of an import's time, placing the rest.
      int last = -1;
      options.progress = [&](ImportStage stage, uint64_t done, uint64_t total) {
        if (total == 0) return;
        const uint64_t from = stage == ImportStage::kReading ? 0 : 75;
        const uint64_t span = stage == ImportStage::kReading ? 75 : 25;
        const int percent = static_cast<int>(from + span * std::min(done, total) / total);
        if (percent == last) return;
        last = percent;
        emit channel->progress(percent, 100);
      };
      outcome.drawing = ImportFile(path, plane.finder(), options);
    });
  });
}

}  // namespace varnolt
