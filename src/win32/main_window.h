// The main window as a plain Win32 window: the controls of form/controls.h laid out
// at the monitor's DPI, and its buttons running form/actions.h.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "win32/wide.h"

namespace varnolt::win32 {

struct WindowOptions {
  std::filesystem::path settingsPath;
  std::string cadProgId;  // empty: the usual CAD host
  // When set: called once the window has been shown for a moment (the program's
  // --screenshot takes its picture), then the window closes; false ends the program
  // with 1.
  std::function<bool(HWND)> afterShown;
};

// The dialog id of a control of the table (its name as in form/controls.h); 0 for
// an unknown name. Tests find the controls by it.
int ControlId(std::string_view name);

// Makes the process per-monitor DPI aware where Windows can (before any window).
void BecomeDpiAware();

// Shows the window and runs its message loop until it closes; the exit code.
int RunMainWindow(HINSTANCE instance, const WindowOptions& options, int show);

}  // namespace varnolt::win32
