// What a Win32 common file dialog (GetOpenFileNameW, GetSaveFileNameW) takes: the
// filter, made from the toolkit-free list of form/actions.h, and the dialog's settings.
#pragma once

#include <string>
#include <vector>

#include "form/actions.h"
#include "win32/wide.h"

#include <commdlg.h>

namespace varnolt::win32 {

// Description, NUL, pattern, NUL for each entry, and a final NUL ending the list:
// {"kml文件(*.kml)", "*.kml"} gives L"kml文件(*.kml)\0*.kml\0\0".
std::wstring DialogFilter(const std::vector<form::FileFilter>& filters);

// An open or save dialog's description: its owner, filter (DialogFilter's), the
// buffer the chosen file comes back in, its title, and `flags` beside those every
// dialog of the program has (the current folder stays where the program started, so
// relative paths keep meaning).
OPENFILENAMEW FileDialogOf(HWND owner, const std::wstring& filter, std::wstring& buffer,
                           const std::wstring& title, DWORD flags);

}  // namespace varnolt::win32
