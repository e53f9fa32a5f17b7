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

}  // namespace varnolt::win32
