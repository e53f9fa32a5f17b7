#include "base/platform.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "base/wide.h"

namespace varnolt {

std::filesystem::path ExecutableDirectory() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return std::filesystem::path(buffer).parent_path();
    }
    buffer.resize(buffer.size() * 2);  // a long path: try again with room for it
  }
}

bool DirectoryWritable(const std::filesystem::path& dir) {
  if (dir.empty()) return false;
  std::random_device random;
  const std::filesystem::path probe =
      dir / (L".varnolt-probe-" + std::to_wstring(random() % 1000000));
  const HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(h);
  return true;
}

std::filesystem::path UserSettingsDirectory() {
  const wchar_t* appdata = _wgetenv(L"APPDATA");
  if (appdata != nullptr && appdata[0] != L'\0') {
    return std::filesystem::path(appdata) / L"Varnolt";
  }
  const wchar_t* profile = _wgetenv(L"USERPROFILE");
  std::filesystem::path home = profile != nullptr ? profile : L".";
  return home / L"AppData" / L"Roaming" / L"Varnolt";
}

bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

void PrepareCommandLineProcess() {
  ::SetConsoleOutputCP(CP_UTF8);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> args;
  args.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    args.push_back(Narrow(wide[i]));
  }
  ::LocalFree(wide);
  return args;
}

std::vector<std::string> ExpandWildcards(const std::string& argument) {
  const size_t cut = argument.find_last_of("\\/:");
  const std::string folder = cut == std::string::npos ? std::string() : argument.substr(0, cut + 1);
  if (argument.find_first_of("*?", folder.size()) == std::string::npos) return {argument};
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  // The system's own matching, which cmd's dir uses: any letter case, and the
  // pattern's "*.*" matching names without a dot too.
  const HANDLE h = ::FindFirstFileExW(Widen(argument).c_str(), FindExInfoBasic, &found,
                                      FindExSearchNameMatch, nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) return {};
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L".." ||
        (found.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0) {
      continue;
    }
    names.push_back(name);
  } while (::FindNextFileW(h, &found));
  ::FindClose(h);
  std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
  });
  std::vector<std::string> matches;
  for (const std::wstring& name : names) matches.push_back(folder + Narrow(name));
  return matches;
}

}  // namespace varnolt
