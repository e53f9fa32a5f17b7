// The implementations of sin, cos, tan and atan that bench/trig_study.cpp compares:
// each platform names its own (trig_candidates_posix.cpp, trig_candidates_win.cpp).
#pragma once

#include <string>
#include <vector>

namespace varnolt::bench {

using Fn = double (*)(double);

struct TrigCandidate {
  std::string name;
  Fn sin, cos, tan, atan;  // null where the candidate has no such function
};

std::vector<TrigCandidate> TrigCandidates();

}  // namespace varnolt::bench
