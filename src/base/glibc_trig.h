// Windows only: the three builds of glibc's sin, cos, tan and atan that
// scripts/build-windows makes from Debian's glibc source package (libglibc-trig.a):
// plain (SSE2), with FMA and AVX2, and with FMA4. trig_win.cpp picks one of them.
#pragma once

extern "C" {
double varnolt_glibc_sin_sse2(double);
double varnolt_glibc_cos_sse2(double);
double varnolt_glibc_tan_sse2(double);
double varnolt_glibc_atan_sse2(double);
double varnolt_glibc_sin_fma(double);
double varnolt_glibc_cos_fma(double);
double varnolt_glibc_tan_fma(double);
double varnolt_glibc_atan_fma(double);
double varnolt_glibc_sin_fma4(double);
double varnolt_glibc_cos_fma4(double);
double varnolt_glibc_tan_fma4(double);
double varnolt_glibc_atan_fma4(double);
}
