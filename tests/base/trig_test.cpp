// sin, cos, tan and atan give glibc's bits on both editions: the Linux one calls
// glibc, the Windows one glibc's own files built for it (src/base/trig_win.cpp).
// The expected bits were computed by glibc 2.36 on x86-64 in both of its builds,
// the one with fused multiply-add (chosen where FMA and AVX2, or FMA4, are usable)
// and the plain one. The arguments are ones the projection meets on the benchmark
// drawings where the two builds, mingw-w64's functions or msvcrt's give another
// last bit, so that any other implementation, or the wrong build, fails here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

struct Case {
  int fn;  // 0 sin, 1 cos, 2 tan, 3 atan
  double x;
  double withFma;
  double plain;
};

constexpr Case kCases[] = {
#include "trig_cases.inc"
};

// The build glibc picks on this processor, by glibc's own rule.
bool GlibcPicksFma() {
  __builtin_cpu_init();
  return (__builtin_cpu_supports("fma") && __builtin_cpu_supports("avx2")) ||
         __builtin_cpu_supports("fma4");
}

double Call(int fn, double x) {
  volatile double v = x;  // computed at run time by the library, not folded by the compiler
  switch (fn) {
    case 0: return std::sin(v);
    case 1: return std::cos(v);
    case 2: return std::tan(v);
    default: return std::atan(v);
  }
}

TEST(Trig, GlibcBitsOnTheProjectionsArguments) {
  const bool fma = GlibcPicksFma();
  int buildsDiffer = 0;
  for (const Case& c : kCases) {
    const double expected = fma ? c.withFma : c.plain;
    const double got = Call(c.fn, c.x);
    EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0)
        << "function " << c.fn << " of " << std::hexfloat << c.x << ": " << got << ", glibc "
        << expected;
    buildsDiffer += std::memcmp(&c.withFma, &c.plain, sizeof c.plain) != 0;
  }
  // The table tells the two builds apart, so the wrong one cannot pass.
  EXPECT_GT(buildsDiffer, 20);
}

}  // namespace
