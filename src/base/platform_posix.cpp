#include "base/platform.h"

#include <pwd.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <system_error>
#include <vector>

namespace varnolt {
namespace {

std::filesystem::path HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    return home;
  }
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return {};
}

}  // namespace

std::filesystem::path ExecutableDirectory() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe.parent_path();
}

bool DirectoryWritable(const std::filesystem::path& dir) {
  return !dir.empty() && ::access(dir.c_str(), W_OK) == 0;
}

std::filesystem::path UserSettingsDirectory() {
  std::filesystem::path config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    config = xdg;
  } else {
    config = HomeDirectory() / ".config";
  }
  return config / "varnolt";
}

bool IsPathSeparator(char c) { return c == '/'; }

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void PrepareCommandLineProcess() { std::signal(SIGXFSZ, SIG_IGN); }

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::vector<std::string> ExpandWildcards(const std::string& argument) { return {argument}; }

}  // namespace varnolt
