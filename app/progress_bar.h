// A bar on stderr when it is a terminal, nothing otherwise: "[####    ] 42% label".
// Other text is printed only with the bar out of the way.
#pragma once

#include <string>

namespace varnolt::cli {

class ProgressBar {
 public:
  ProgressBar();
  // Out of the way of whatever is printed after it, a failure included.
  ~ProgressBar() { Clear(); }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  bool enabled() const { return enabled_; }
  void Draw(int percent, const std::string& label);
  void Clear();
  // Prints whole lines with the bar out of the way.
  void Print(const std::string& lines);

 private:
  bool enabled_;
  bool shown_ = false;
};

}  // namespace varnolt::cli
