/* glibc's own endian.h: the system's, and which word of a double is the high one
   (x86-64: the low word comes first). */
#ifndef VARNOLT_GLIBC_TRIG_ENDIAN_H
#define VARNOLT_GLIBC_TRIG_ENDIAN_H
#if __has_include_next(<endian.h>)
# include_next <endian.h>
#endif
#define LITTLE_ENDI 1
#define HIGH_HALF 1
#define LOW_HALF 0
#endif
