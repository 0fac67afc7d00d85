#include "tessara/core/chunk_memory.hpp"

#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tessara::core {

void ChunkRelease::operator()(std::uint64_t* words) const noexcept {
#if defined(__linux__)
  if (mapped_bytes != 0) {
    munmap(words, mapped_bytes);
    return;
  }
#endif
  std::free(words);
}

ChunkMemory allocate_chunk(std::size_t words) {
  const std::size_t bytes = (words == 0 ? 1 : words) * sizeof(std::uint64_t);
#if defined(__linux__)
  if (bytes >= kHugeChunkBytes) {
    const std::size_t rounded = (bytes + kHugeChunkBytes - 1) / kHugeChunkBytes * kHugeChunkBytes;
    void* memory = mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
#if defined(MADV_HUGEPAGE)
    // Only advice: without transparent huge pages the chunk stays on small pages.
    static_cast<void>(madvise(memory, rounded, MADV_HUGEPAGE));
#endif
    return ChunkMemory(static_cast<std::uint64_t*>(memory), ChunkRelease{rounded});
  }
#endif
  void* memory = std::malloc(bytes);
  if (memory == nullptr) throw std::bad_alloc();
  return ChunkMemory(static_cast<std::uint64_t*>(memory), ChunkRelease{0});
}

}  // namespace tessara::core
