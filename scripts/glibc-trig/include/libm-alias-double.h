/* The public names are given by the build (-D__sin=...), not by aliases. */
#define libm_alias_double(from, to)
