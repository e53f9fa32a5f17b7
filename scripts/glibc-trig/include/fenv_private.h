/* glibc switches to round-to-nearest for the length of each call; the program
   never leaves round-to-nearest, so there is nothing to switch. */
#ifndef VARNOLT_GLIBC_TRIG_FENV_PRIVATE_H
#define VARNOLT_GLIBC_TRIG_FENV_PRIVATE_H
#define SET_RESTORE_ROUND(mode)
#define SET_RESTORE_ROUND_53BIT(mode)
#endif
