#include "win32/window_util.h"

namespace varnolt::win32 {

UINT WindowDpi(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpi = UserFunction<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpi != nullptr && hwnd != nullptr) {
    const UINT dpi = getDpi(hwnd);
    if (dpi != 0) return dpi;
  }
  const HDC dc = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
  ::ReleaseDC(nullptr, dc);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

HFONT MakeFont(double points, UINT dpi) {
  const int height = -static_cast<int>(points * dpi / 72.0 + 0.5);
  const std::wstring face = Widen(form::kFontFamily);
  return ::CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face.c_str());
}

std::string WindowTextOf(HWND hwnd) {
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

}  // namespace varnolt::win32
