// The filter a Win32 common file dialog (GetOpenFileNameW, GetSaveFileNameW) takes,
// made from the toolkit-free list of form/actions.h.
#pragma once

#include <string>
#include <vector>

#include "form/actions.h"

namespace varnolt::win32 {

// Description, NUL, pattern, NUL for each entry, and a final NUL ending the list:
// {"kml文件(*.kml)", "*.kml"} gives L"kml文件(*.kml)\0*.kml\0\0".
std::wstring DialogFilter(const std::vector<form::FileFilter>& filters);

}  // namespace varnolt::win32
