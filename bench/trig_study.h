// The implementations of sin, cos, tan and atan that bench/trig_study.cpp compares:
// each platform names its own (trig_candidates_posix.cpp, trig_candidates_win.cpp).
#pragma once

#include <cmath>
#include <string>
#include <vector>

namespace varnolt::bench {

using Fn = double (*)(double);

struct TrigCandidate {
  std::string name;
  Fn sin, cos, tan, atan;  // null where the candidate has no such function
};

std::vector<TrigCandidate> TrigCandidates();

// The functions the platform's C library gives a program that links nothing else.
inline double LibrarySin(double x) { return std::sin(x); }
inline double LibraryCos(double x) { return std::cos(x); }
inline double LibraryTan(double x) { return std::tan(x); }
inline double LibraryAtan(double x) { return std::atan(x); }

}  // namespace varnolt::bench
