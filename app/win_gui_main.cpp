// varnolt-gui.exe: the main window of the Windows edition. Options: --settings FILE
// uses another settings file than the usual one; --cad-progid NAME attaches to
// another CAD host than the usual one (hidden: for tests); --screenshot FILE writes
// a picture of the window (BMP) and quits (hidden: for scripts/screenshots).
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/platform.h"
#include "settings/settings.h"
#include "win32/main_window.h"

#include <objbase.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  const std::vector<std::string> args = varnolt::Utf8Arguments(0, nullptr);
  varnolt::win32::WindowOptions options;
  bool settingsGiven = false;
  for (size_t i = 1; i + 1 < args.size(); i += 2) {
    if (args[i] == "--settings") {
      options.settingsPath = varnolt::PathFromUtf8(args[i + 1]);
      settingsGiven = true;
    } else if (args[i] == "--cad-progid") {
      options.cadProgId = args[i + 1];
    } else if (args[i] == "--screenshot") {
      options.screenshot = varnolt::PathFromUtf8(args[i + 1]);
    } else {
      break;
    }
  }
  if (!settingsGiven) options.settingsPath = varnolt::DefaultSettingsPath();
  varnolt::win32::BecomeDpiAware();
  // One apartment-threaded COM apartment: the CAD host and the shell are called from
  // this, the window's, thread.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int code = varnolt::win32::RunMainWindow(instance, options, show);
  if (SUCCEEDED(com)) ::CoUninitialize();
  return code;
}
