#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace tessara::core {

struct ChunkFree {
  void operator()(std::uint64_t* words) const noexcept { std::free(words); }
};

// A block of words from the general allocator, uninitialised.
using ChunkMemory = std::unique_ptr<std::uint64_t[], ChunkFree>;

// The size from which a chunk is placed on its own huge pages.
inline constexpr std::size_t kHugeChunkBytes = std::size_t{1} << 21;

// `words` words (at least one). Blocks of kHugeChunkBytes and more are
// aligned to that size and advised to the kernel as huge pages where it
// offers them, so filling a large list takes one page fault per 2 MiB
// instead of one per 4 KiB. Throws std::bad_alloc when memory runs out.
ChunkMemory allocate_chunk(std::size_t words);

}  // namespace tessara::core
