// varnolt-gui.exe: the main window of the Windows edition. Options: --settings FILE
// uses another settings file than the usual one; --convert DRAWING converts the
// drawing to a KML beside it with the saved settings and shows how it went in a
// message box, with no window (Explorer's context-menu verb); --cad-progid NAME
// attaches to another CAD host than the usual one (hidden: for tests); --screenshot
// FILE, --screenshot-options FILE and --screenshot-drawing FILE with --drawing DXF
// write a picture (BMP) of the main window, the options dialog or the drawing window
// with a selection made, and quit (hidden: for scripts/screenshots).
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/platform.h"
#include "form/convert_beside.h"
#include "settings/settings.h"
#include "win32/drawing_window.h"
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

// The drawing window with two picks made as a user would drag them: a window, left
// to right, low in the left half, then a crossing window, right to left, below the
// middle.
bool DrawingScreenshot(varnolt::win32::ShownWindow& main, const std::filesystem::path& drawing,
                       const std::filesystem::path& file) {
  varnolt::win32::DrawingWindow* window = main.ShowDrawing(drawing);
  if (window == nullptr) return false;
  RECT r;
  ::GetClientRect(window->view().hwnd(), &r);
  const double w = r.right, h = r.bottom;
  window->view().SelectInBox({w * 0.25, h * 0.68}, {w * 0.45, h * 0.9});
  window->view().SelectInBox({w * 0.5, h * 0.85}, {w * 0.45, h});
  ::UpdateWindow(window->hwnd());
  ::UpdateWindow(window->view().hwnd());
  ::Sleep(500);
  return WriteScreenshot(window->hwnd(), file);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  const std::vector<std::string> args = varnolt::Utf8Arguments(0, nullptr);
  varnolt::win32::WindowOptions options;
  bool settingsGiven = false;
  std::filesystem::path convert, shot, optionsShot, drawingShot, drawing;
  for (size_t i = 1; i + 1 < args.size(); i += 2) {
    const std::filesystem::path value = varnolt::PathFromUtf8(args[i + 1]);
    if (args[i] == "--settings") {
      options.settingsPath = value;
      settingsGiven = true;
    } else if (args[i] == "--cad-progid") {
      options.cadProgId = args[i + 1];
    } else if (args[i] == "--convert") {
      convert = value;
    } else if (args[i] == "--screenshot") {
      shot = value;
    } else if (args[i] == "--screenshot-options") {
      optionsShot = value;
    } else if (args[i] == "--screenshot-drawing") {
      drawingShot = value;
    } else if (args[i] == "--drawing") {
      drawing = value;
    } else {
      break;
    }
  }
  if (!settingsGiven) options.settingsPath = varnolt::DefaultSettingsPath();
  varnolt::win32::BecomeDpiAware();
  if (!convert.empty()) {
    const varnolt::form::BesideOutcome outcome =
        varnolt::form::ConvertBeside(convert, options.settingsPath);
    ::MessageBoxW(nullptr, varnolt::Widen(outcome.text).c_str(),
                  varnolt::Widen(outcome.title).c_str(),
                  MB_OK | MB_SETFOREGROUND | (outcome.ok ? MB_ICONINFORMATION : MB_ICONERROR));
    return outcome.ok ? 0 : 1;
  }
  if (!shot.empty()) {
    options.afterShown = [shot](varnolt::win32::ShownWindow& w) { return WriteScreenshot(w.hwnd(), shot); };
  } else if (!optionsShot.empty()) {
    options.afterShown = [optionsShot](varnolt::win32::ShownWindow& w) {
      bool ok = false;
      w.ShowOptions([&ok, &optionsShot](HWND dialog) { ok = WriteScreenshot(dialog, optionsShot); });
      return ok;
    };
  } else if (!drawingShot.empty()) {
    options.afterShown = [drawingShot, drawing](varnolt::win32::ShownWindow& w) {
      return DrawingScreenshot(w, drawing, drawingShot);
    };
  }
  // One apartment-threaded COM apartment: the CAD host and the shell are called from
  // this, the window's, thread.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int code = varnolt::win32::RunMainWindow(instance, options, show);
  if (SUCCEEDED(com)) ::CoUninitialize();
  return code;
}
