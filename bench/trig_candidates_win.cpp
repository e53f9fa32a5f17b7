#include <windows.h>

#include <cmath>

#include "trig_study.h"

extern "C" {
double varnolt_glibc_sin_sse2(double);
double varnolt_glibc_cos_sse2(double);
double varnolt_glibc_tan_sse2(double);
double varnolt_glibc_atan_sse2(double);
double varnolt_glibc_sin_fma(double);
double varnolt_glibc_cos_fma(double);
double varnolt_glibc_tan_fma(double);
double varnolt_glibc_atan_fma(double);
}

namespace varnolt::bench {
namespace {

// What a plain mingw-w64 program gets (this program is linked without the
// program's own choice, src/base/trig_win.cpp).
double Sin(double x) { return std::sin(x); }
double Cos(double x) { return std::cos(x); }
double Tan(double x) { return std::tan(x); }
double Atan(double x) { return std::atan(x); }

Fn FromCrt(HMODULE crt, const char* name) {
  return crt != nullptr ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(crt, name)))
                        : nullptr;
}

}  // namespace

std::vector<TrigCandidate> TrigCandidates() {
  const HMODULE crt = ::LoadLibraryW(L"msvcrt.dll");
  return {{"mingw-w64 as linked by default", Sin, Cos, Tan, Atan},
          {"msvcrt.dll's exports", FromCrt(crt, "sin"), FromCrt(crt, "cos"), FromCrt(crt, "tan"),
           FromCrt(crt, "atan")},
          {"glibc built plain (SSE2)", varnolt_glibc_sin_sse2, varnolt_glibc_cos_sse2,
           varnolt_glibc_tan_sse2, varnolt_glibc_atan_sse2},
          {"glibc built with FMA", varnolt_glibc_sin_fma, varnolt_glibc_cos_fma,
           varnolt_glibc_tan_fma, varnolt_glibc_atan_fma}};
}

}  // namespace varnolt::bench
