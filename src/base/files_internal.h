// What both platforms' file code shares: the wording of failures and the name of a
// document's temporary file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace varnolt::files_detail {

// Error(kFileAccess): "cannot ACTION 'PATH': WHY".
[[noreturn]] void FailFile(const std::string& action, const std::filesystem::path& path,
                           const std::string& why);

// Error(kGeneral) for a file above the size limit; `size` 0 when only the bytes read
// so far told (a file that grew, or a pipe).
[[noreturn]] void FailTooLarge(const std::filesystem::path& path, uint64_t size,
                               uint64_t maxBytes);

// A name no other writer uses, in the target's own folder so that the final rename
// cannot cross file systems: ".NAME.tmpNNNNNN".
std::filesystem::path TemporaryBeside(const std::filesystem::path& target);

// Reads `size` bytes into `at` in blocks of 1 MiB, on two threads when there are
// more than two blocks: copying from the system's cache is most of what a read of
// a large file costs. `readAt(to, length, offset)` reads some of the bytes at
// `offset` and returns how many, 0 when it fails or the file ends. False when a
// block could not be read whole (a read error, or a file that shrank).
bool ReadInBlocks(char* at, size_t size,
                  const std::function<size_t(char* to, size_t length, uint64_t offset)>& readAt);

// Runs `flush` on a thread of its own each time it is asked to, while the caller
// goes on writing: a document is made durable in the background as it grows, so
// that the sync before the rename has only the last part left (the disk takes time
// in proportion to what it has not yet made durable). A failure shows again in
// that last sync, which reports it. Without a thread to be had it does nothing.
class BackgroundFlusher {
 public:
  explicit BackgroundFlusher(std::function<void()> flush);
  ~BackgroundFlusher();
  BackgroundFlusher(const BackgroundFlusher&) = delete;
  BackgroundFlusher& operator=(const BackgroundFlusher&) = delete;

  void Request();

 private:
  void Run();

  const std::function<void()> flush_;
  std::mutex mutex_;
  std::condition_variable cv_;
  uint64_t requested_ = 0, done_ = 0;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace varnolt::files_detail
