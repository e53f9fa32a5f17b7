// Whole-file reading and crash-safe writing.
#pragma once

#include <cstdint>
#include <cstddef>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "base/large_memory.h"

namespace varnolt {

// Reads the whole file. Throws Error(kFileAccess) naming the path when it cannot
// be opened or read (also for a directory), and Error(kGeneral) when it is larger
// than `maxBytes`, before reading any of it.
std::string ReadFile(const std::filesystem::path& path,
                     uint64_t maxBytes = std::numeric_limits<uint64_t>::max());

// A file's bytes, read-only, for as long as the object lives: read into memory of
// its own (in large pages where the system has them), as ReadFile() reads them
// otherwise. Fails as ReadFile() does.
class FileBytes {
 public:
  FileBytes(const std::filesystem::path& path, uint64_t maxBytes);
  ~FileBytes();
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  std::string_view view() const { return map_ != nullptr ? std::string_view(map_, size_) : data_; }

 private:
  const char* map_ = nullptr;  // the bytes, when read into memory of its own
  size_t size_ = 0;
  LargeMemory memory_;  // that memory
  std::string data_;
};

// Writes `bytes` to a temporary file beside `path`, flushes it and renames it over
// `path`. A failure throws Error(kFileAccess) and leaves an earlier file at `path`
// untouched and no temporary behind.
void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Streams a document into a temporary file beside the target; Commit() renames it
// over the target. Destroyed without Commit(), it removes the temporary, so a
// failed run leaves no partial file and an earlier file untouched.
class AtomicFile {
 public:
  explicit AtomicFile(const std::filesystem::path& path);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  void Write(std::string_view bytes);
  void Commit();

 private:
  std::filesystem::path path_;
  std::filesystem::path temp_;
  intptr_t handle_ = -1;  // the temporary's descriptor (a HANDLE on Windows); -1 none
  uint64_t written_ = 0;   // bytes written so far
  uint64_t flushed_ = 0;   // bytes handed to the syncer
  // Syncs a large document to the disk in the background while it is being written,
  // so that the sync before the rename has only the last part left (the disk
  // takes time in proportion to what it has not yet made durable).
  struct Syncer;
  std::unique_ptr<Syncer> syncer_;
};

}  // namespace varnolt
