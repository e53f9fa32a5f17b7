// The Windows edition's sin, cos, tan and atan: glibc's own, built from Debian's
// source package by scripts/build-windows, in place of mingw-w64's (x87) and the
// C runtime's. The Linux edition's numbers come from these same functions, and
// glibc picks one of two builds of them by the processor (one compiled with fused
// multiply-add, whose last bits differ now and then); the same choice is made
// here, so that both editions write the same bytes on the same machine.
#include <atomic>

#include "base/glibc_trig.h"

namespace {

using Fn = double (*)(double);

struct Functions {
  Fn sin, cos, tan, atan;
};

// glibc's own rule on x86-64: the FMA build where FMA and AVX2 are usable, the
// FMA4 build where FMA4 is, else the plain one.
Functions Chosen() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("fma") && __builtin_cpu_supports("avx2")) {
    return {varnolt_glibc_sin_fma, varnolt_glibc_cos_fma, varnolt_glibc_tan_fma,
            varnolt_glibc_atan_fma};
  }
  if (__builtin_cpu_supports("fma4")) {
    return {varnolt_glibc_sin_fma4, varnolt_glibc_cos_fma4, varnolt_glibc_tan_fma4,
            varnolt_glibc_atan_fma4};
  }
  return {varnolt_glibc_sin_sse2, varnolt_glibc_cos_sse2, varnolt_glibc_tan_sse2,
          varnolt_glibc_atan_sse2};
}

// Each function starts as a stub that makes the choice and then calls through it:
// a function may be called before any static constructor has run. Every thread
// that makes the choice stores the same pointers.
void Choose();

template <std::atomic<Fn>* kSlot>
double First(double x) {
  Choose();
  return kSlot->load(std::memory_order_relaxed)(x);
}

constinit std::atomic<Fn> gSin{First<&gSin>}, gCos{First<&gCos>}, gTan{First<&gTan>},
    gAtan{First<&gAtan>};

void Choose() {
  const Functions f = Chosen();
  gSin.store(f.sin, std::memory_order_relaxed);
  gCos.store(f.cos, std::memory_order_relaxed);
  gTan.store(f.tan, std::memory_order_relaxed);
  gAtan.store(f.atan, std::memory_order_relaxed);
}

}  // namespace

// The C library's names: every call of sin, cos, tan and atan in the program (and
// std::sin and the like) comes here, before the linker reaches the C runtime's.
extern "C" {
double sin(double x) { return gSin.load(std::memory_order_relaxed)(x); }
double cos(double x) { return gCos.load(std::memory_order_relaxed)(x); }
double tan(double x) { return gTan.load(std::memory_order_relaxed)(x); }
double atan(double x) { return gAtan.load(std::memory_order_relaxed)(x); }
}
