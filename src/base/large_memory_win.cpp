#include "base/large_memory.h"

#include <windows.h>

#include <new>

namespace varnolt {

// Committed in one call; Windows gives large pages only to a process with the right
// to lock memory, which ours does not ask for.
LargeMemory::LargeMemory(size_t bytes) {
  if (bytes == 0) return;
  void* memory = ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (memory == nullptr) throw std::bad_alloc();
  mapped_ = memory;
  mappedLength_ = bytes;
  data_ = static_cast<char*>(memory);
  size_ = bytes;
}

LargeMemory::~LargeMemory() {
  if (mapped_ != nullptr) ::VirtualFree(mapped_, 0, MEM_RELEASE);
}

}  // namespace varnolt
