// sin, cos, tan and atan of each implementation at hand, in speed and in last bits
// against glibc, on arguments the projection really uses:
//
//   varnolt_trig_study CASES.bin [DIFFERING.bin]
//
// CASES.bin holds records of 17 bytes: the function (0 sin, 1 cos, 2 tan, 3 atan),
// the argument and glibc's result on Linux, both as little-endian doubles
// (bench/trig-study writes it from a Linux run over the benchmark drawings). For
// each implementation (trig_study.h) and function: ns per call over all its
// arguments (median of 5 passes) and how many results differ from glibc's. With
// DIFFERING.bin, the first 40 arguments each implementation and function get
// wrong are written there as records of 9 bytes (function, argument): cases for
// tests/base/trig_test.cpp.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "trig_study.h"

using varnolt::bench::Fn;
using varnolt::bench::TrigCandidate;

namespace {

struct Cases {
  std::vector<double> x[4], glibc[4];
};

bool Load(const char* path, Cases& cases) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.empty() || bytes.size() % 17 != 0) return false;
  for (size_t at = 0; at < bytes.size(); at += 17) {
    const unsigned fn = static_cast<unsigned char>(bytes[at]);
    if (fn > 3) return false;
    double x = 0, y = 0;
    std::memcpy(&x, &bytes[at + 1], 8);
    std::memcpy(&y, &bytes[at + 9], 8);
    cases.x[fn].push_back(x);
    cases.glibc[fn].push_back(y);
  }
  return true;
}

// ns per call, median of 5 passes; the results are summed so that none is left out.
double NsPerCall(Fn f, const std::vector<double>& x) {
  std::vector<double> ns;
  volatile double sink = 0;
  for (int pass = 0; pass < 5; ++pass) {
    const auto start = std::chrono::steady_clock::now();
    double sum = 0;
    for (double v : x) sum += f(v);
    sink = sink + sum;
    ns.push_back(std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() /
                 static_cast<double>(x.size()));
  }
  std::sort(ns.begin(), ns.end());
  return ns[2];
}

size_t Differing(Fn f, int fn, const std::vector<double>& x, const std::vector<double>& expected,
                 std::FILE* differing) {
  size_t n = 0;
  for (size_t k = 0; k < x.size(); ++k) {
    const double got = f(x[k]);
    if (std::memcmp(&got, &expected[k], sizeof got) == 0) continue;
    if (differing != nullptr && n < 40) {
      const unsigned char id = static_cast<unsigned char>(fn);
      std::fwrite(&id, 1, 1, differing);
      std::fwrite(&x[k], sizeof x[k], 1, differing);
    }
    ++n;
  }
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  Cases cases;
  if (argc < 2 || argc > 3 || !Load(argv[1], cases)) {
    std::fprintf(stderr, "usage: varnolt_trig_study CASES.bin [DIFFERING.bin]\n");
    return 2;
  }
  std::FILE* differing = argc == 3 ? std::fopen(argv[2], "wb") : nullptr;
  const char* names[4] = {"sin", "cos", "tan", "atan"};
  std::printf("| implementation | function | arguments | ns per call | differ from glibc |\n");
  std::printf("|---|---|---:|---:|---:|\n");
  for (const TrigCandidate& c : varnolt::bench::TrigCandidates()) {
    const Fn fns[4] = {c.sin, c.cos, c.tan, c.atan};
    for (int k = 0; k < 4; ++k) {
      if (fns[k] == nullptr || cases.x[k].empty()) continue;
      const size_t differ = Differing(fns[k], k, cases.x[k], cases.glibc[k], differing);
      std::printf("| %s | %s | %zu | %.1f | %zu (%.4f %%) |\n", c.name.c_str(), names[k],
                  cases.x[k].size(), NsPerCall(fns[k], cases.x[k]), differ,
                  100.0 * static_cast<double>(differ) / static_cast<double>(cases.x[k].size()));
    }
  }
  if (differing != nullptr) std::fclose(differing);
  return 0;
}
