#include "base/files.h"

#include <algorithm>
#include <atomic>
#include <random>
#include <system_error>
#include <thread>
#include <utility>

#include "base/error.h"
#include "base/files_internal.h"
#include "base/paths.h"

namespace varnolt {

namespace files_detail {

void FailFile(const std::string& action, const std::filesystem::path& path,
              const std::string& why) {
  throw Error(ErrorKind::kFileAccess, "cannot " + action + " '" + Utf8(path) + "': " + why);
}

void FailTooLarge(const std::filesystem::path& path, uint64_t size, uint64_t maxBytes) {
  if (size == 0) {
    throw Error(ErrorKind::kGeneral, "'" + Utf8(path) + "' is larger than the limit of " +
                                         std::to_string(maxBytes) + " bytes");
  }
  throw Error(ErrorKind::kGeneral,
              "'" + Utf8(path) + "' is " + std::to_string(size) +
                  " bytes, larger than the limit of " + std::to_string(maxBytes) +
                  " bytes (the command line's --max-file-size raises it)");
}

std::filesystem::path TemporaryBeside(const std::filesystem::path& target) {
  std::random_device rd;
  // Built by appending: GCC 12 at -O3 reports a false -Wrestrict on "." + string.
  std::u8string name(1, u8'.');
  name += target.filename().u8string();
  name += u8".tmp";
  const std::string number = std::to_string(rd() % 1000000);
  name.append(number.begin(), number.end());
  return target.parent_path() / name;
}

bool ReadInBlocks(char* at, size_t size,
                  const std::function<size_t(char* to, size_t length, uint64_t offset)>& readAt) {
  constexpr size_t kBlock = size_t{1} << 20;
  const size_t blocks = (size + kBlock - 1) / kBlock;
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  auto readBlocks = [&] {
    for (size_t b = next++; b < blocks && !failed; b = next++) {
      size_t got = 0;
      const size_t want = std::min(kBlock, size - b * kBlock);
      while (got < want) {
        const size_t n = readAt(at + b * kBlock + got, want - got, b * kBlock + got);
        if (n == 0) {
          failed = true;
          break;
        }
        got += n;
      }
    }
  };
  std::thread helper;
  if (blocks > 2) {
    try {
      helper = std::thread(readBlocks);
    } catch (const std::system_error&) {
      // One thread reads it all.
    }
  }
  readBlocks();
  if (helper.joinable()) helper.join();
  return !failed;
}

BackgroundFlusher::BackgroundFlusher(std::function<void()> flush) : flush_(std::move(flush)) {
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // The sync before the rename makes everything durable all the same.
  }
}

BackgroundFlusher::~BackgroundFlusher() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  cv_.notify_one();
  thread_.join();
}

void BackgroundFlusher::Request() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++requested_;
  }
  cv_.notify_one();
}

void BackgroundFlusher::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    cv_.wait(lock, [&] { return stop_ || requested_ > done_; });
    if (stop_) return;
    const uint64_t target = requested_;
    lock.unlock();
    flush_();
    lock.lock();
    done_ = target;
  }
}

}  // namespace files_detail

void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  AtomicFile file(path);
  file.Write(bytes);
  file.Commit();
}

}  // namespace varnolt
