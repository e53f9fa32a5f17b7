#include "progress_bar.h"

#include <algorithm>
#include <iostream>

#include "base/platform.h"

namespace varnolt::cli {

ProgressBar::ProgressBar() : enabled_(StderrIsTerminal()) {}

void ProgressBar::Draw(int percent, const std::string& label) {
  if (!enabled_) return;
  constexpr int kWidth = 40;
  const int filled = std::clamp(percent, 0, 100) * kWidth / 100;
  std::cerr << "\r[" << std::string(static_cast<size_t>(filled), '#')
            << std::string(static_cast<size_t>(kWidth - filled), ' ') << "] " << percent << "% "
            << label << std::flush;
  shown_ = true;
}

void ProgressBar::Clear() {
  if (!shown_) return;
  std::cerr << "\r" << std::string(64, ' ') << "\r" << std::flush;
  shown_ = false;
}

void ProgressBar::Print(const std::string& lines) {
  Clear();
  std::cerr << lines << std::flush;
}

}  // namespace varnolt::cli
