#include "tessara/core/chunk_memory.hpp"

#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tessara::core {
namespace {

#if defined(__linux__)
void unmap(std::uint64_t* words, std::size_t bytes) noexcept { munmap(words, bytes); }
#endif

}  // namespace

void ChunkRelease::operator()(std::uint64_t* words) const noexcept {
#if defined(__linux__)
  if (mapped_bytes != 0) {
    if (mapped_bytes == kHugeChunkBytes && recycler != nullptr && recycler->keep(words)) return;
    unmap(words, mapped_bytes);
    return;
  }
#endif
  std::free(words);
}

ChunkRecycler::ChunkRecycler(std::size_t capacity) : capacity_(capacity) { free_.reserve(capacity); }

ChunkRecycler::~ChunkRecycler() { close(); }

std::uint64_t* ChunkRecycler::take() noexcept {
  const std::lock_guard lock(mutex_);
  if (free_.empty()) return nullptr;
  std::uint64_t* words = free_.back();
  free_.pop_back();
  ++reused_;
  return words;
}

// The room was reserved up front, so keeping never allocates.
bool ChunkRecycler::keep(std::uint64_t* words) noexcept {
  const std::lock_guard lock(mutex_);
  if (!open_ || free_.size() >= capacity_) return false;
  free_.push_back(words);
  return true;
}

void ChunkRecycler::close() noexcept {
  std::vector<std::uint64_t*> kept;
  {
    const std::lock_guard lock(mutex_);
    open_ = false;
    kept.swap(free_);
  }
#if defined(__linux__)
  for (std::uint64_t* words : kept) unmap(words, kHugeChunkBytes);
#else
  for (std::uint64_t* words : kept) std::free(words);
#endif
}

std::uint64_t ChunkRecycler::reused() const noexcept {
  const std::lock_guard lock(mutex_);
  return reused_;
}

std::size_t ChunkRecycler::held() const noexcept {
  const std::lock_guard lock(mutex_);
  return free_.size();
}

ChunkMemory allocate_chunk(std::size_t words, const std::shared_ptr<ChunkRecycler>& recycler) {
  const std::size_t bytes = (words == 0 ? 1 : words) * sizeof(std::uint64_t);
#if defined(__linux__)
  if (bytes >= kHugeChunkBytes) {
    const std::size_t rounded = (bytes + kHugeChunkBytes - 1) / kHugeChunkBytes * kHugeChunkBytes;
    const bool recyclable = rounded == kHugeChunkBytes && recycler != nullptr;
    if (recyclable) {
      if (std::uint64_t* kept = recycler->take()) return ChunkMemory(kept, ChunkRelease{rounded, recycler});
    }
    void* memory = mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
#if defined(MADV_HUGEPAGE)
    // Only advice: without transparent huge pages the chunk stays on small pages.
    static_cast<void>(madvise(memory, rounded, MADV_HUGEPAGE));
#endif
    return ChunkMemory(static_cast<std::uint64_t*>(memory),
                       ChunkRelease{rounded, recyclable ? recycler : std::shared_ptr<ChunkRecycler>()});
  }
#endif
  void* memory = std::malloc(bytes);
  if (memory == nullptr) throw std::bad_alloc();
  return ChunkMemory(static_cast<std::uint64_t*>(memory), ChunkRelease{0, nullptr});
}

}  // namespace tessara::core
