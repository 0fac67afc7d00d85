#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tessara::core {

// Gives a chunk back: to the general allocator, or straight to the kernel for
// a chunk mapped on its own (mapped_bytes != 0).
struct ChunkRelease {
  std::size_t mapped_bytes = 0;
  void operator()(std::uint64_t* words) const noexcept;
};

// A block of words, uninitialised.
using ChunkMemory = std::unique_ptr<std::uint64_t[], ChunkRelease>;

// The size from which a chunk is mapped on its own.
inline constexpr std::size_t kHugeChunkBytes = std::size_t{1} << 21;

// `words` words (at least one). Blocks of kHugeChunkBytes and more are mapped
// from the kernel one by one, so that freeing one returns its memory at once
// (a consumer freeing a large list as it reads keeps peak memory low), and are
// advised as huge pages where the kernel offers them. Smaller blocks come from
// the general allocator. Throws std::bad_alloc when memory runs out.
ChunkMemory allocate_chunk(std::size_t words);

}  // namespace tessara::core
