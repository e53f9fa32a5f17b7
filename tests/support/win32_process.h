// Starting a program on Windows for the test harnesses (process.h, child.h): the
// arguments as UTF-16, quoted so that the C runtime of the child splits them back
// into the same argv, and the three standard handles given by the caller.
#pragma once

#ifndef _WIN32
#error "win32_process.h is for Windows builds only"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/paths.h"

namespace varnolt::testing::win32 {

inline std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), n);
  return wide;
}

// One argument as the C runtime's command-line parser reads it back: quoted when it
// is empty or holds blanks or quotes; backslashes are doubled only where a quote
// follows them.
inline void AppendArgument(std::wstring& line, const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(2 * backslashes, L'\\');
  line += L'"';
}

// A program named with a folder is made absolute, so that a Linux path from the
// build (/work/...) becomes Z:\work\... under wine; a bare name is left for
// CreateProcessW to look up in PATH (adding .exe).
inline std::wstring ProgramPath(const std::string& program) {
  if (program.find_first_of("/\\") == std::string::npos) return Widen(program);
  std::error_code ec;
  std::filesystem::path path = std::filesystem::absolute(PathFromUtf8(program), ec);
  if (ec) path = PathFromUtf8(program);
  return path.make_preferred().wstring();
}

// Starts argv[0] with argv and the given standard handles (inheritable ones). The
// caller closes pi's handles.
inline bool Start(const std::vector<std::string>& argv, HANDLE in, HANDLE out, HANDLE err,
                  PROCESS_INFORMATION& pi) {
  if (argv.empty()) return false;
  const std::wstring program = ProgramPath(argv[0]);
  // argv[0] is read up to the next quote, without escapes.
  std::wstring line = L"\"" + program + L"\"";
  for (size_t i = 1; i < argv.size(); ++i) {
    line += L' ';
    AppendArgument(line, Widen(argv[i]));
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  pi = {};
  const bool named = program.find_first_of(L"/\\") != std::wstring::npos;
  // No console: the child's standard handles are the caller's, and under wine a
  // console host would hold them open for a moment after the child has exited.
  // Under wine on a busy machine a start now and then fails for no reason of the
  // program's; a second try succeeds, and a real failure fails every time.
  for (int attempt = 0;; ++attempt) {
    if (::CreateProcessW(named ? program.c_str() : nullptr, line.data(), nullptr, nullptr, TRUE,
                         DETACHED_PROCESS, nullptr, nullptr, &startup, &pi) != 0) {
      return true;
    }
    if (attempt == 2) return false;
    ::Sleep(200);
  }
}

// The exit code, or -1 when the process ended by an exception (an NTSTATUS error
// code such as 0xC0000005 in place of an exit code).
inline int ExitCode(HANDLE process, DWORD* status = nullptr) {
  DWORD code = 0;
  if (!::GetExitCodeProcess(process, &code)) return -1;
  if (status != nullptr) *status = code;
  return (code & 0xC0000000u) == 0xC0000000u ? -1 : static_cast<int>(code);
}

}  // namespace varnolt::testing::win32
