#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "base/files.h"
#include "base/files_internal.h"

namespace varnolt {

using files_detail::FailFile;

std::string ReadFile(const std::filesystem::path& path, uint64_t maxBytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) FailFile("open", path, std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    int err = errno;
    ::close(fd);
    FailFile("read", path, std::strerror(err));
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    FailFile("read", path, std::strerror(EISDIR));
  }
  if (st.st_size > 0 && static_cast<uint64_t>(st.st_size) > maxBytes) {
    ::close(fd);
    files_detail::FailTooLarge(path, static_cast<uint64_t>(st.st_size), maxBytes);
  }
  std::string data;
  if (st.st_size > 0) data.reserve(static_cast<size_t>(st.st_size));
  char buf[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      FailFile("read", path, std::strerror(err));
    }
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
    if (data.size() > maxBytes) {  // a file that grew, or a pipe without a size
      ::close(fd);
      files_detail::FailTooLarge(path, 0, maxBytes);
    }
  }
  ::close(fd);
  return data;
}

struct AtomicFile::Syncer {
  explicit Syncer(int fd) : fd_(fd), thread_([this] { Run(); }) {}
  ~Syncer() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    cv_.notify_one();
    thread_.join();
  }

  void Request() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++requested_;
    }
    cv_.notify_one();
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      cv_.wait(lock, [&] { return stop_ || requested_ > done_; });
      if (stop_) return;
      const uint64_t target = requested_;
      lock.unlock();
      // A failure shows again in the sync before the rename, which reports it.
      ::fdatasync(fd_);
      lock.lock();
      done_ = target;
    }
  }

  const int fd_;
  std::mutex mutex_;
  std::condition_variable cv_;
  uint64_t requested_ = 0, done_ = 0;
  bool stop_ = false;
  std::thread thread_;
};

FileBytes::FileBytes(const std::filesystem::path& path, uint64_t maxBytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
      static_cast<uint64_t>(st.st_size) <= maxBytes) {
    int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
    flags |= MAP_POPULATE;  // one call maps every page, instead of a fault per page
#endif
    void* map = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, flags, fd, 0);
    if (map != MAP_FAILED) {
      map_ = static_cast<const char*>(map);
      size_ = static_cast<size_t>(st.st_size);
    }
  }
  if (fd >= 0) ::close(fd);
  // What cannot be mapped (a pipe, an empty or too large file, an error) is read,
  // which also reports the failure.
  if (map_ == nullptr) data_ = ReadFile(path, maxBytes);
}

FileBytes::~FileBytes() {
  if (map_ != nullptr) ::munmap(const_cast<char*>(map_), size_);
}

AtomicFile::AtomicFile(const std::filesystem::path& path)
    : path_(path), temp_(files_detail::TemporaryBeside(path)) {
  handle_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (handle_ < 0) FailFile("create", path, std::strerror(errno));
}

AtomicFile::~AtomicFile() {
  syncer_.reset();
  if (handle_ >= 0) {
    ::close(static_cast<int>(handle_));
    ::unlink(temp_.c_str());
  }
}

void AtomicFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(static_cast<int>(handle_), bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      FailFile("write", path_, std::strerror(errno));
    }
    bytes.remove_prefix(static_cast<size_t>(n));
    written_ += static_cast<uint64_t>(n);
  }
  constexpr uint64_t kSyncEvery = uint64_t{8} << 20;
  if (written_ - flushed_ >= kSyncEvery) {
    if (!syncer_) syncer_ = std::make_unique<Syncer>(static_cast<int>(handle_));
    syncer_->Request();
    flushed_ = written_;
  }
}

void AtomicFile::Commit() {
  syncer_.reset();
  const int fd = static_cast<int>(handle_);
  if (::fsync(fd) != 0) FailFile("write", path_, std::strerror(errno));
  handle_ = -1;
  if (::close(fd) != 0) {
    int err = errno;
    ::unlink(temp_.c_str());
    FailFile("write", path_, std::strerror(err));
  }
  if (::rename(temp_.c_str(), path_.c_str()) != 0) {
    int err = errno;
    ::unlink(temp_.c_str());
    FailFile("replace", path_, std::strerror(err));
  }
}

}  // namespace varnolt
