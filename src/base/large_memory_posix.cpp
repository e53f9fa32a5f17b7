#include "base/large_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace varnolt {

LargeMemory::LargeMemory(size_t bytes) {
  if (bytes == 0) return;
  // Aligned to a large page inside a mapping one page longer, so that the system can
  // back all of it with large pages.
  constexpr size_t kLargePage = size_t{2} << 20;
  const size_t length = bytes + kLargePage;
  void* map = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) throw std::bad_alloc();
  mapped_ = map;
  mappedLength_ = length;
  const auto base = reinterpret_cast<uintptr_t>(map);
  data_ = reinterpret_cast<char*>((base + kLargePage - 1) & ~(kLargePage - 1));
  size_ = bytes;
#ifdef MADV_HUGEPAGE
  ::madvise(data_, (bytes + kLargePage - 1) & ~(kLargePage - 1), MADV_HUGEPAGE);
#endif
}

LargeMemory::~LargeMemory() {
  if (mapped_ != nullptr) ::munmap(mapped_, mappedLength_);
}

}  // namespace varnolt
