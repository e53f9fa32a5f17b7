#include <windows.h>

#include <memory>
#include <string>

#include "base/files.h"
#include "base/files_internal.h"
#include "base/wide.h"

namespace varnolt {

using files_detail::FailFile;

namespace {

// The system's own description of an error code, or its number when it has none.
std::string ErrorText(DWORD code) {
  const std::string text = SystemErrorText(code);
  return text.empty() ? "error " + std::to_string(code) : text;
}

HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

std::string ReadFile(const std::filesystem::path& path, uint64_t maxBytes) {
  const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) FailFile("open", path, ErrorText(::GetLastError()));
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(h, &size)) {
    const DWORD err = ::GetLastError();
    ::CloseHandle(h);
    FailFile("read", path, ErrorText(err));
  }
  if (size.QuadPart > 0 && static_cast<uint64_t>(size.QuadPart) > maxBytes) {
    ::CloseHandle(h);
    files_detail::FailTooLarge(path, static_cast<uint64_t>(size.QuadPart), maxBytes);
  }
  std::string data;
  if (size.QuadPart > 0) data.reserve(static_cast<size_t>(size.QuadPart));
  char buf[1 << 16];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(h, buf, sizeof buf, &n, nullptr)) {
      const DWORD err = ::GetLastError();
      ::CloseHandle(h);
      FailFile("read", path, ErrorText(err));
    }
    if (n == 0) break;
    data.append(buf, n);
    if (data.size() > maxBytes) {  // a file that grew
      ::CloseHandle(h);
      files_detail::FailTooLarge(path, 0, maxBytes);
    }
  }
  ::CloseHandle(h);
  return data;
}

// Flushes the temporary in the background, as on Linux, through a handle of its
// own: Windows lets one I/O at a time through a handle opened for synchronous use,
// and the writer's must not wait for the disk. Without such a handle it does
// nothing: the flush before the rename makes everything durable all the same.
struct AtomicFile::Syncer {
  explicit Syncer(const std::filesystem::path& temp)
      : handle_(::CreateFileW(temp.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (handle_ != INVALID_HANDLE_VALUE) {
      flusher_ = std::make_unique<files_detail::BackgroundFlusher>(
          [h = handle_] { ::FlushFileBuffers(h); });
    }
  }
  ~Syncer() {
    flusher_.reset();
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  void Request() {
    if (flusher_) flusher_->Request();
  }

  const HANDLE handle_;
  std::unique_ptr<files_detail::BackgroundFlusher> flusher_;
};

FileBytes::FileBytes(const std::filesystem::path& path, uint64_t maxBytes) {
  const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  LARGE_INTEGER size{};
  if (h != INVALID_HANDLE_VALUE && ::GetFileType(h) == FILE_TYPE_DISK &&
      ::GetFileSizeEx(h, &size) && size.QuadPart > 0 &&
      static_cast<uint64_t>(size.QuadPart) <= maxBytes) {
    // Memory of its own, committed in one call, then the file read into it in large
    // blocks on two threads.
    const size_t bytes = static_cast<size_t>(size.QuadPart);
    try {
      memory_ = LargeMemory(bytes);
    } catch (const std::bad_alloc&) {
    }
    if (char* memory = memory_.data()) {
      const bool read = files_detail::ReadInBlocks(
          memory, bytes, [h](char* to, size_t length, uint64_t offset) -> size_t {
            // A synchronous handle reads at the offset given: each thread its own block.
            OVERLAPPED where{};
            where.Offset = static_cast<DWORD>(offset);
            where.OffsetHigh = static_cast<DWORD>(offset >> 32);
            DWORD n = 0;
            return ::ReadFile(h, to, static_cast<DWORD>(length), &n, &where) ? n : 0;
          });
      if (read) {
        map_ = memory;
        size_ = bytes;
      } else {
        memory_ = LargeMemory();  // read again below, which reports what went wrong
      }
    }
  }
  if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  // What cannot be read this way (a folder, a pipe, an empty or too large file, an
  // error) is read whole, which also reports the failure.
  if (map_ == nullptr) data_ = ReadFile(path, maxBytes);
}

FileBytes::~FileBytes() = default;


AtomicFile::AtomicFile(const std::filesystem::path& path)
    : path_(path), temp_(files_detail::TemporaryBeside(path)) {
  // Shared for writing with the syncer's own handle; the name is random and new.
  const HANDLE h = ::CreateFileW(temp_.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) FailFile("create", path, ErrorText(::GetLastError()));
  handle_ = reinterpret_cast<intptr_t>(h);
}

AtomicFile::~AtomicFile() {
  syncer_.reset();
  if (handle_ != -1) {
    ::CloseHandle(AsHandle(handle_));
    ::DeleteFileW(temp_.c_str());
  }
}

void AtomicFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    DWORD n = 0;
    if (!::WriteFile(AsHandle(handle_), bytes.data(), chunk, &n, nullptr)) {
      FailFile("write", path_, ErrorText(::GetLastError()));
    }
    bytes.remove_prefix(n);
    written_ += n;
  }
  constexpr uint64_t kSyncEvery = uint64_t{4} << 20;
  if (written_ - flushed_ >= kSyncEvery) {
    if (!syncer_) syncer_ = std::make_unique<Syncer>(temp_);
    syncer_->Request();
    flushed_ = written_;
  }
}

void AtomicFile::Commit() {
  const HANDLE h = AsHandle(handle_);
  // Alongside the syncer's last flush, if it is still at it: both wait on the same disk.
  const BOOL flushed = ::FlushFileBuffers(h);
  const DWORD error = ::GetLastError();
  syncer_.reset();
  if (!flushed) FailFile("write", path_, ErrorText(error));
  handle_ = -1;
  if (!::CloseHandle(h)) {
    const DWORD err = ::GetLastError();
    ::DeleteFileW(temp_.c_str());
    FailFile("write", path_, ErrorText(err));
  }
  // Replaces an earlier file in one step; it stays as it was when this fails.
  if (!::MoveFileExW(temp_.c_str(), path_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD err = ::GetLastError();
    ::DeleteFileW(temp_.c_str());
    FailFile("replace", path_, ErrorText(err));
  }
}

}  // namespace varnolt
