// Running a program from a test: arguments passed as they are (no shell), standard
// input from a string, standard output and error captured whole, the exit code.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "temp_dir.h"

#ifdef _WIN32
#include "win32_process.h"
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace varnolt::testing {

struct ProcessResult {
  int exitCode = -1;  // -1 when the program did not exit normally
  std::string out, err;
};

inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace detail {

#ifdef _WIN32
constexpr char kPathListSeparator = ';';

// Runs argv with the three files as its standard handles; the exit code.
inline int Spawn(const std::vector<std::string>& argv, const std::filesystem::path& in,
                 const std::filesystem::path& out, const std::filesystem::path& err) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE handles[3] = {
      ::CreateFileW(in.c_str(), GENERIC_READ, share, &inherit, OPEN_EXISTING, 0, nullptr),
      ::CreateFileW(out.c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, 0, nullptr),
      ::CreateFileW(err.c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, 0, nullptr)};
  int exitCode = -1;
  PROCESS_INFORMATION pi;
  if (handles[0] != INVALID_HANDLE_VALUE && handles[1] != INVALID_HANDLE_VALUE &&
      handles[2] != INVALID_HANDLE_VALUE &&
      win32::Start(argv, handles[0], handles[1], handles[2], pi)) {
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    exitCode = win32::ExitCode(pi.hProcess);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
  }
  for (HANDLE h : handles) {
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  }
  return exitCode;
}

inline bool IsExecutable(const std::filesystem::path& dir, const std::string& name) {
  std::error_code ec;
  return std::filesystem::is_regular_file(dir / (name + ".exe"), ec);
}
#else
constexpr char kPathListSeparator = ':';

inline int Spawn(const std::vector<std::string>& argv, const std::filesystem::path& in,
                 const std::filesystem::path& out, const std::filesystem::path& err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  int exitCode = -1;
  pid_t pid = 0;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) exitCode = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  return exitCode;
}

inline bool IsExecutable(const std::filesystem::path& dir, const std::string& name) {
  return ::access((dir / name).c_str(), X_OK) == 0;
}
#endif

}  // namespace detail

// Runs `argv[0]` (a path, or a name looked up in PATH) with `argv`. Output goes through
// files so that a chatty program can never block on a full pipe.
inline ProcessResult RunProcess(const std::vector<std::string>& argv,
                                const std::string& input = "") {
  const TempDir temp("varnolt-proc");
  if (temp.path().empty()) return {};
  const std::filesystem::path& dir = temp.path();
  const std::filesystem::path inPath = dir / "in", outPath = dir / "out", errPath = dir / "err";
  std::ofstream(inPath, std::ios::binary) << input;

  ProcessResult result;
  result.exitCode = detail::Spawn(argv, inPath, outPath, errPath);
  result.out = ReadWholeFile(outPath);
  result.err = ReadWholeFile(errPath);
  return result;
}

// True when `name` is an executable found in PATH.
inline bool ToolAvailable(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::stringstream dirs(path);
  std::string dir;
  while (std::getline(dirs, dir, detail::kPathListSeparator)) {
    if (!dir.empty() && detail::IsExecutable(dir, name)) return true;
  }
  return false;
}

}  // namespace varnolt::testing
