#include <cmath>

#include "trig_study.h"

namespace varnolt::bench {
namespace {

double Sin(double x) { return std::sin(x); }
double Cos(double x) { return std::cos(x); }
double Tan(double x) { return std::tan(x); }
double Atan(double x) { return std::atan(x); }

}  // namespace

// Linux: the C library's own, the reference.
std::vector<TrigCandidate> TrigCandidates() { return {{"glibc (the C library)", Sin, Cos, Tan, Atan}}; }

}  // namespace varnolt::bench
