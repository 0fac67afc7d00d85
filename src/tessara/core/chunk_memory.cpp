#include "tessara/core/chunk_memory.hpp"

#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tessara::core {

ChunkMemory allocate_chunk(std::size_t words) {
  const std::size_t bytes = (words == 0 ? 1 : words) * sizeof(std::uint64_t);
  void* memory = nullptr;
  if (bytes < kHugeChunkBytes) {
    memory = std::malloc(bytes);
  } else {
    const std::size_t rounded = (bytes + kHugeChunkBytes - 1) / kHugeChunkBytes * kHugeChunkBytes;
    memory = std::aligned_alloc(kHugeChunkBytes, rounded);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only advice: without transparent huge pages the chunk stays on small pages.
    if (memory != nullptr) static_cast<void>(madvise(memory, rounded, MADV_HUGEPAGE));
#endif
  }
  if (memory == nullptr) throw std::bad_alloc();
  return ChunkMemory(static_cast<std::uint64_t*>(memory));
}

}  // namespace tessara::core
