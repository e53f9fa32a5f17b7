// A fresh folder for one test (or one child process's files): made unique by
// mkdtemp (on Windows: a random name that create_directory claims), so that
// parallel test programs never share it, and removed with all it holds when the
// object goes.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace varnolt::testing {

class TempDir {
 public:
  // Creates <temporary folder>/<prefix>-XXXXXX. path() is empty when that failed;
  // callers check it (a fixture with ASSERT_FALSE in SetUp).
  explicit TempDir(const std::string& prefix) {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) return;
#ifdef _WIN32
    // create_directory fails on a name that exists, so a collision only costs a retry.
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = prefix + "-";
      for (int i = 0; i < 6; ++i) name += kChars[random() % (sizeof kChars - 1)];
      if (std::filesystem::create_directory(base / name, ec)) {
        path_ = base / name;
        return;
      }
      if (ec && ec != std::errc::file_exists) return;
    }
#else
    std::string pattern = (base / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
#endif
  }

  // Errors are ignored: a folder left behind must not turn into a failure (or a
  // throw during unwinding) of the test that used it.
  ~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }

  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace varnolt::testing
