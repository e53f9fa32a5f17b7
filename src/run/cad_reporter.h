// A run's prompts on a live CAD host's command line, as the host's own commands
// write theirs; optionally passed on to a further reporter (the terminal, a window).
#pragma once

#ifndef _WIN32
#error "run/cad_reporter.h is for Windows builds only"
#endif

#include <array>
#include <chrono>
#include <functional>

#include "cad/autocad.h"
#include "run/run.h"

namespace varnolt {

class CadPromptReporter : public RunReporter {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  // The interval below which progress prompts are held back: a host's command line
  // takes a round trip per line, and nobody reads more than ten a second.
  static constexpr std::chrono::milliseconds kProgressInterval{100};

  // `next` (may be null) gets every call as well; `clock` defaults to steady_clock.
  explicit CadPromptReporter(CadSession& session, RunReporter* next = nullptr,
                             Clock clock = {});

  void Prompt(const std::string& text) override;
  void Progress(int64_t done, int64_t total) override;
  void Warning(const RunWarning& warning) override;
  // The progress prompt of entity i of count: the first and the last of each family
  // always, the others at most one per kProgressInterval.
  void Converting(int familyIndex, int64_t i, int64_t count) override;

  int64_t progressPromptsSent() const { return sent_; }

 private:
  CadSession& session_;
  RunReporter* next_;
  Clock clock_;
  bool anySent_ = false;
  std::chrono::steady_clock::time_point last_{};
  int64_t sent_ = 0;
};

}  // namespace varnolt
