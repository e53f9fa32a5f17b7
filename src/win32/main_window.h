// The main window as a plain Win32 window: the controls of form/controls.h laid out
// at the monitor's DPI, and its buttons running form/actions.h. Its layout is fixed;
// what it offers beyond the buttons (the conversion options, importing KML or GPX, a
// drawing opened for picking) is in its system menu.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "win32/wide.h"

namespace varnolt::win32 {

class DrawingWindow;

// The shown main window, as the program's --screenshot options ask it for the
// windows they take pictures of.
class ShownWindow {
 public:
  virtual ~ShownWindow() = default;
  virtual HWND hwnd() const = 0;
  // Opens the options dialog, calls `shown` with it on screen, then closes it.
  virtual void ShowOptions(const std::function<void(HWND)>& shown) = 0;
  // The drawing window showing this drawing, a selection begun in it; null (the
  // failure shown) when the drawing cannot be read.
  virtual DrawingWindow* ShowDrawing(const std::filesystem::path& drawing) = 0;
};

struct WindowOptions {
  std::filesystem::path settingsPath;
  std::string cadProgId;  // empty: the usual CAD host
  // When set: called once the window has been shown for a moment (the program's
  // --screenshot options take their pictures), then the window closes; false ends
  // the program with 1.
  std::function<bool(ShownWindow&)> afterShown;
};

// The system menu's own entries (WM_SYSCOMMAND ids).
inline constexpr UINT kOptionsCommand = 0x0010;      // 转换选项(&O)…
inline constexpr UINT kOpenDrawingCommand = 0x0020;  // 打开图形(&D)…
inline constexpr UINT kImportCommand = 0x0030;       // 导入 KML/GPX(&I)…

// The dialog id of a control of the table (its name as in form/controls.h); 0 for
// an unknown name. Tests find the controls by it.
int ControlId(std::string_view name);

// Makes the process per-monitor DPI aware where Windows can (before any window).
void BecomeDpiAware();

// Shows the window and runs its message loop until it closes; the exit code.
int RunMainWindow(HINSTANCE instance, const WindowOptions& options, int show);

}  // namespace varnolt::win32
