#include "win32/dialog_filter.h"

#include "win32/wide.h"

namespace varnolt::win32 {

std::wstring DialogFilter(const std::vector<form::FileFilter>& filters) {
  std::wstring out;
  for (const form::FileFilter& f : filters) {
    out += Widen(f.description);
    out += L'\0';
    out += Widen(f.pattern);
    out += L'\0';
  }
  out += L'\0';
  return out;
}

OPENFILENAMEW FileDialogOf(HWND owner, const std::wstring& filter, std::wstring& buffer,
                           const std::wstring& title, DWORD flags) {
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.lpstrTitle = title.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | flags;
  return ofn;
}

}  // namespace varnolt::win32
