// Running a program from a test: arguments passed as they are (no shell), standard
// input from a string, standard output and error captured whole, the exit code.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "temp_dir.h"

extern char** environ;

namespace varnolt::testing {

struct ProcessResult {
  int exitCode = -1;  // -1 when the program did not exit normally
  std::string out, err;
};

inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs `argv[0]` (a path, or a name looked up in PATH) with `argv`. Output goes through
// files so that a chatty program can never block on a full pipe.
inline ProcessResult RunProcess(const std::vector<std::string>& argv,
                                const std::string& input = "") {
  const TempDir temp("varnolt-proc");
  if (temp.path().empty()) return {};
  const std::filesystem::path& dir = temp.path();
  const std::string inPath = (dir / "in").string(), outPath = (dir / "out").string(),
                    errPath = (dir / "err").string();
  std::ofstream(inPath, std::ios::binary) << input;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  ProcessResult result;
  pid_t pid = 0;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&actions);
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
  while (std::getline(dirs, dir, ':')) {
    if (!dir.empty() && ::access((std::filesystem::path(dir) / name).c_str(), X_OK) == 0) return true;
  }
  return false;
}

}  // namespace varnolt::testing
