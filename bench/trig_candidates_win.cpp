#include <windows.h>

#include "base/glibc_trig.h"
#include "trig_study.h"

namespace varnolt::bench {
namespace {

Fn FromCrt(HMODULE crt, const char* name) {
  return crt != nullptr ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(crt, name)))
                        : nullptr;
}

}  // namespace

std::vector<TrigCandidate> TrigCandidates() {
  const HMODULE crt = ::LoadLibraryW(L"msvcrt.dll");
  // What a plain mingw-w64 program gets: this one is linked without the program's
  // own choice (src/base/trig_win.cpp).
  return {{"mingw-w64 as linked by default", LibrarySin, LibraryCos, LibraryTan, LibraryAtan},
          {"msvcrt.dll's exports", FromCrt(crt, "sin"), FromCrt(crt, "cos"), FromCrt(crt, "tan"),
           FromCrt(crt, "atan")},
          {"glibc built plain (SSE2)", varnolt_glibc_sin_sse2, varnolt_glibc_cos_sse2,
           varnolt_glibc_tan_sse2, varnolt_glibc_atan_sse2},
          {"glibc built with FMA", varnolt_glibc_sin_fma, varnolt_glibc_cos_fma,
           varnolt_glibc_tan_fma, varnolt_glibc_atan_fma}};
}

}  // namespace varnolt::bench
