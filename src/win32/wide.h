// The window's text: UTF-8 (the core's) to UTF-16 (the window's) and back, through
// base/wide.h, with the Windows headers as the window code includes them.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "base/wide.h"
