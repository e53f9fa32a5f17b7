// Running the command line as a child process under the conditions a hostile
// machine imposes: a file-size limit (a full disk, as RLIMIT_FSIZE simulates it), an
// unprivileged user (so that a read-only folder is read-only even for root), and a
// time limit after which the child counts as hung and is killed. Windows has no
// file-size limit and no such user: there only the time limit applies.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
#include <thread>

#include "win32_process.h"
#else
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace varnolt::testing {

struct ChildOptions {
  int64_t fileSizeLimit = -1;  // bytes (RLIMIT_FSIZE); -1 none. Not on Windows.
  bool unprivileged = false;   // run as "nobody" when started as root. Not on Windows.
  int timeoutSeconds = 60;     // then the child is killed and `hung` is set
};

struct ChildResult {
  int exitCode = -1;  // -1 when it did not exit normally
  int signal = 0;     // the signal that ended it, if one did (Windows: the exception code)
  bool hung = false;
  std::string out, err;
};

#ifdef _WIN32
// Runs argv[0] (a path) with argv; stdin is empty; stdout and stderr go through
// pipes, each drained by its own thread so that neither can fill up.
inline ChildResult RunChild(const std::vector<std::string>& argv, const ChildOptions& options = {}) {
  ChildResult result;
  if (options.fileSizeLimit >= 0 || options.unprivileged) {
    // As a child that could not be set up: the caller's test skips on Windows.
    result.exitCode = 126;
    result.err = "RunChild: no file-size limit and no unprivileged user on Windows";
    return result;
  }
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
  if (!::CreatePipe(&outRead, &outWrite, &inherit, 0)) return result;
  if (!::CreatePipe(&errRead, &errWrite, &inherit, 0)) {
    ::CloseHandle(outRead);
    ::CloseHandle(outWrite);
    return result;
  }
  // Only the child's ends are inherited.
  ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
  HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
  PROCESS_INFORMATION pi;
  const bool started = win32::Start(argv, nul, outWrite, errWrite, pi);
  ::CloseHandle(outWrite);
  ::CloseHandle(errWrite);
  if (nul != INVALID_HANDLE_VALUE) ::CloseHandle(nul);

  // A reader ends when the child's end of its pipe is closed (ReadFile fails).
  auto drain = [](HANDLE pipe, std::string* sink) {
    char buf[65536];
    DWORD n = 0;
    while (::ReadFile(pipe, buf, sizeof buf, &n, nullptr) && n > 0) sink->append(buf, n);
  };
  if (!started) {
    result.err = "RunChild: cannot start " + argv.front() + ": Windows error " +
                 std::to_string(::GetLastError()) + "\n";
  }
  std::thread outReader(drain, outRead, &result.out);
  std::thread errReader(drain, errRead, &result.err);
  if (started) {
    const DWORD limit = static_cast<DWORD>(options.timeoutSeconds) * 1000;
    if (::WaitForSingleObject(pi.hProcess, limit) == WAIT_TIMEOUT) {
      result.hung = true;
      ::TerminateProcess(pi.hProcess, 1);
      ::WaitForSingleObject(pi.hProcess, INFINITE);
    }
  }
  outReader.join();
  errReader.join();
  ::CloseHandle(outRead);
  ::CloseHandle(errRead);
  if (started) {
    DWORD status = 0;
    if (!result.hung) {
      result.exitCode = win32::ExitCode(pi.hProcess, &status);
      if (result.exitCode == -1) result.signal = static_cast<int>(status);
    }
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
  }
  return result;
}
#else
inline uid_t NobodyId() { return 65534; }

// Runs argv[0] (a path) with argv; stdin is empty; stdout and stderr go through
// pipes, which no file-size limit touches.
inline ChildResult RunChild(const std::vector<std::string>& argv, const ChildOptions& options = {}) {
  ChildResult result;
  int outPipe[2], errPipe[2];
  if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) return result;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    ::dup2(outPipe[1], 1);
    ::dup2(errPipe[1], 2);
    ::close(0);
    if (options.fileSizeLimit >= 0) {
      const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                         static_cast<rlim_t>(options.fileSizeLimit)};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.unprivileged && ::geteuid() == 0) {
      if (::setgid(NobodyId()) != 0 || ::setuid(NobodyId()) != 0) ::_exit(126);
    }
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  if (pid < 0) {
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    return result;
  }

  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(options.timeoutSeconds);
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  char buf[65536];
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      result.hung = true;
      ::kill(pid, SIGKILL);
      break;
    }
    if (::poll(fds, 2, static_cast<int>(left.count())) < 0) break;
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || fds[k].revents == 0) continue;
      const ssize_t n = ::read(fds[k].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[k]->append(buf, static_cast<size_t>(n));
      } else {
        ::close(fds[k].fd);
        fds[k].fd = -1;
        --open;
      }
    }
  }
  for (const pollfd& f : fds) {
    if (f.fd >= 0) ::close(f.fd);
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) == pid) {
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  }
  return result;
}
#endif

}  // namespace varnolt::testing
