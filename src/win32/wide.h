// The window's text: UTF-8 (the core's) to UTF-16 (the window's) and back, through
// base/wide.h, and the common dialogs' filters.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "base/wide.h"
#include "form/actions.h"

namespace varnolt::win32 {

// A common dialog's filter: description, NUL, pattern, NUL, ..., and a final NUL.
std::wstring DialogFilter(const std::vector<form::FileFilter>& filters);

}  // namespace varnolt::win32
