/* glibc raises the underflow flag for tiny arguments; only the flag, never the
   value, depends on it, and the program reads no flags. */
#ifndef VARNOLT_GLIBC_TRIG_MATH_UNDERFLOW_H
#define VARNOLT_GLIBC_TRIG_MATH_UNDERFLOW_H
#define math_check_force_underflow(x) ((void) 0)
#define math_check_force_underflow_nonneg(x) ((void) 0)
#endif
