// What every window of the Windows edition shares: the monitor's DPI, the form's
// SimSun fonts at it, functions of newer Windows looked up at run time.
#pragma once

#include <string>

#include "form/controls.h"
#include "win32/wide.h"

namespace varnolt::win32 {

// A function of user32.dll that older Windows lacks; null there.
template <typename F>
F UserFunction(const char* name) {
  return reinterpret_cast<F>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name)));
}

// The DPI of the monitor `hwnd` is on (null: the screen's).
UINT WindowDpi(HWND hwnd);

// SimSun at `points` for `dpi`, with the Chinese character set; the caller deletes it.
HFONT MakeFont(double points, UINT dpi);

// Pixels at `dpi` for a length given in pixels at 96 dpi.
inline int Scaled(int px96, UINT dpi) { return ::MulDiv(px96, static_cast<int>(dpi), 96); }

inline COLORREF Ref(form::Rgb c) {
  return RGB(static_cast<BYTE>(c.r), static_cast<BYTE>(c.g), static_cast<BYTE>(c.b));
}

// The window procedure of a class T whose object was handed to CreateWindowExW: the
// object is kept in the window's user data, T::Attach learns the window's handle
// (null once the window is gone) and T::Handle answers every message.
template <class T>
LRESULT CALLBACK WindowProcOf(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  T* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->Attach(hwnd);
  } else {
    self = reinterpret_cast<T*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (self == nullptr) return ::DefWindowProcW(hwnd, msg, wp, lp);
  const LRESULT result = self->Handle(msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    // Gone, perhaps with its owner: nothing is left to destroy later.
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->Attach(nullptr);
  }
  return result;
}

// A window's text, in UTF-8.
std::string WindowTextOf(HWND hwnd);

}  // namespace varnolt::win32
