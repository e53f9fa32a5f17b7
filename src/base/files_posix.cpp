#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

struct AtomicFile::Syncer : files_detail::BackgroundFlusher {
  explicit Syncer(int fd) : BackgroundFlusher([fd] { ::fdatasync(fd); }) {}
};

FileBytes::FileBytes(const std::filesystem::path& path, uint64_t maxBytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
      static_cast<uint64_t>(st.st_size) <= maxBytes) {
    // Memory of its own, then the file read into it. Not the file mapped: a file
    // cut short by another program while it is read would stop this one with a
    // signal instead of an error.
    const size_t size = static_cast<size_t>(st.st_size);
    try {
      memory_ = LargeMemory(size);
    } catch (const std::bad_alloc&) {
    }
    if (char* at = memory_.data()) {
      ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
      const bool read = files_detail::ReadInBlocks(
          at, size, [fd](char* to, size_t length, uint64_t offset) -> size_t {
            for (;;) {
              const ssize_t n = ::pread(fd, to, length, static_cast<off_t>(offset));
              if (n < 0 && errno == EINTR) continue;
              return n > 0 ? static_cast<size_t>(n) : 0;
            }
          });
      if (read) {
        map_ = at;
        size_ = size;
      } else {
        memory_ = LargeMemory();  // read again below, which reports what went wrong
      }
    }
  }
  if (fd >= 0) ::close(fd);
  // What cannot be read this way (a pipe, an empty or too large file, an error) is
  // read whole, which also reports the failure.
  if (map_ == nullptr) data_ = ReadFile(path, maxBytes);
}

FileBytes::~FileBytes() = default;

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
  constexpr uint64_t kSyncEvery = uint64_t{4} << 20;
  if (written_ - flushed_ >= kSyncEvery) {
    if (!syncer_) syncer_ = std::make_unique<Syncer>(static_cast<int>(handle_));
    syncer_->Request();
    flushed_ = written_;
  }
}

void AtomicFile::Commit() {
  const int fd = static_cast<int>(handle_);
  // Alongside the syncer's last sync, if it is still at it: both wait on the same disk.
  const int synced = ::fsync(fd);
  const int error = errno;
  syncer_.reset();
  if (synced != 0) FailFile("write", path_, std::strerror(error));
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
