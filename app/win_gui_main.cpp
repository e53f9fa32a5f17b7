// varnolt-gui.exe: the main window of the Windows edition. Options: --settings FILE
// uses another settings file than the usual one; --cad-progid NAME attaches to
// another CAD host than the usual one (hidden: for tests); --screenshot FILE writes
// a picture of the window (BMP) and quits (hidden: for scripts/screenshots).
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/platform.h"
#include "settings/settings.h"
#include "win32/main_window.h"

#include <objbase.h>

namespace {

// The window as the screen shows it, frame included, as a 24-bit BMP.
bool WriteScreenshot(HWND hwnd, const std::filesystem::path& file) {
  RECT r;
  ::GetWindowRect(hwnd, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  const HDC screen = ::GetDC(nullptr);
  const HDC mem = ::CreateCompatibleDC(screen);
  const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
  const HGDIOBJ old = ::SelectObject(mem, bitmap);
  ::BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  ::SelectObject(mem, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = w;
  info.biHeight = h;  // bottom-up rows, as BMP files hold them
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
  std::string pixels(static_cast<size_t>(stride) * static_cast<size_t>(h), '\0');
  const int rows = ::GetDIBits(mem, bitmap, 0, static_cast<UINT>(h), pixels.data(),
                               reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  ::DeleteObject(bitmap);
  ::DeleteDC(mem);
  ::ReleaseDC(nullptr, screen);
  if (rows != h) return false;
  BITMAPFILEHEADER head{};
  head.bfType = 0x4D42;  // "BM"
  head.bfOffBits = sizeof head + sizeof info;
  head.bfSize = head.bfOffBits + static_cast<DWORD>(pixels.size());
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&head), sizeof head);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  return static_cast<bool>(out);
}

}  // namespace

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
      const std::filesystem::path file = varnolt::PathFromUtf8(args[i + 1]);
      options.afterShown = [file](HWND hwnd) { return WriteScreenshot(hwnd, file); };
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
