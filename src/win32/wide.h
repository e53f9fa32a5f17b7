// UTF-8 (the core's text) to UTF-16 (the window's) and back.
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

#include "form/actions.h"

namespace varnolt::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// A common dialog's filter: description, NUL, pattern, NUL, ..., and a final NUL.
std::wstring DialogFilter(const std::vector<form::FileFilter>& filters);

}  // namespace varnolt::win32
