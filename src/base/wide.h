// Windows only: UTF-8, the core's text, to UTF-16, Windows' own, and back, and the
// system's words for an error code. Every Windows seam converts through these.
#pragma once

#include <string>
#include <string_view>

namespace varnolt {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// FormatMessageW's text for a Win32 error or an HRESULT, in UTF-8, without the line
// break that ends it; empty when the system has no words for it.
std::string SystemErrorText(unsigned long code);

}  // namespace varnolt
