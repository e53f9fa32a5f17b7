// Memory of its own for a large, short-lived buffer (a file's bytes, a parser's record
// of a document, a million positions): one call to the system, in large pages where
// it gives them, since a page fault for every 4 KiB page costs more than the bytes
// written into it. Untouched memory costs address space only. One implementation per
// platform: large_memory_posix.cpp, large_memory_win.cpp.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

namespace varnolt {

class LargeMemory {
 public:
  LargeMemory() = default;
  // At least `bytes` bytes, zero-filled by the system. Throws std::bad_alloc.
  explicit LargeMemory(size_t bytes);
  ~LargeMemory();
  LargeMemory(LargeMemory&& other) noexcept { swap(other); }
  LargeMemory& operator=(LargeMemory&& other) noexcept {
    LargeMemory(std::move(other)).swap(*this);
    return *this;
  }
  LargeMemory(const LargeMemory&) = delete;
  LargeMemory& operator=(const LargeMemory&) = delete;

  char* data() const { return data_; }
  size_t size() const { return size_; }

  void swap(LargeMemory& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(mapped_, other.mapped_);
    std::swap(mappedLength_, other.mappedLength_);
  }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  void* mapped_ = nullptr;
  size_t mappedLength_ = 0;
};

// A fixed number of values of a trivial type in large memory, zero-filled.
template <class T>
class LargeArray {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  LargeArray() = default;
  explicit LargeArray(size_t count) : memory_(count * sizeof(T)), count_(count) {}
  T* data() const { return reinterpret_cast<T*>(memory_.data()); }
  size_t size() const { return count_; }
  T& operator[](size_t k) const { return data()[k]; }

 private:
  LargeMemory memory_;
  size_t count_ = 0;
};

}  // namespace varnolt
