/* What glibc's own build gives the double-precision sin, cos, tan and atan files
   beyond the C headers, for building them outside glibc. */
#ifndef VARNOLT_GLIBC_TRIG_MATH_PRIVATE_H
#define VARNOLT_GLIBC_TRIG_MATH_PRIVATE_H
#include <errno.h>
#define attribute_hidden
#define __set_errno(e) (errno = (e))
#ifndef __always_inline
# define __always_inline __inline __attribute__ ((__always_inline__))
#endif
#endif
