#include "run/cad_reporter.h"

#include <utility>

namespace varnolt {

CadPromptReporter::CadPromptReporter(CadSession& session, RunReporter* next, Clock clock)
    : session_(session), next_(next), clock_(std::move(clock)) {
  if (!clock_) clock_ = [] { return std::chrono::steady_clock::now(); };
}

void CadPromptReporter::Prompt(const std::string& text) {
  session_.Prompt(text);
  if (next_ != nullptr) next_->Prompt(text);
}

void CadPromptReporter::Progress(int64_t done, int64_t total) {
  if (next_ != nullptr) next_->Progress(done, total);
}

void CadPromptReporter::Warning(const RunWarning& warning) {
  // The host's command line speaks Chinese, as the window's pane does.
  session_.PromptActive(warning.chinese);
  if (next_ != nullptr) next_->Warning(warning);
}

void CadPromptReporter::Converting(int familyIndex, int64_t i, int64_t count) {
  const auto now = clock_();
  const bool edge = i == 1 || i == count;
  if (edge || !anySent_ || now - last_ >= kProgressInterval) {
    session_.PromptActive(ProgressPrompt(familyIndex, i, count));
    anySent_ = true;
    last_ = now;
    ++sent_;
  }
  if (next_ != nullptr) next_->Converting(familyIndex, i, count);
}

}  // namespace varnolt
