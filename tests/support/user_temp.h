// Windows only: the user's temporary folder (TMP, which GetTempPathW reads first, and
// which child processes inherit) pointed at another folder while this lives.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <filesystem>
#include <string>

namespace varnolt::testing {

class UserTempFolder {
 public:
  explicit UserTempFolder(const std::filesystem::path& folder) {
    wchar_t old[4096];
    const DWORD n = ::GetEnvironmentVariableW(L"TMP", old, 4096);
    if (n > 0 && n < 4096) old_ = old;
    ::SetEnvironmentVariableW(L"TMP", (folder.wstring() + L"\\").c_str());
  }
  ~UserTempFolder() { ::SetEnvironmentVariableW(L"TMP", old_.empty() ? nullptr : old_.c_str()); }
  UserTempFolder(const UserTempFolder&) = delete;
  UserTempFolder& operator=(const UserTempFolder&) = delete;

 private:
  std::wstring old_;
};

}  // namespace varnolt::testing
