#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace tessara::core {

class ChunkRecycler;

// Gives a chunk back: to the general allocator, or straight to the kernel for
// a chunk mapped on its own (mapped_bytes != 0), unless a recycler keeps it.
struct ChunkRelease {
  std::size_t mapped_bytes = 0;
  std::shared_ptr<ChunkRecycler> recycler;  // null: the memory goes back at once
  void operator()(std::uint64_t* words) const noexcept;
};

// A block of words, uninitialised.
using ChunkMemory = std::unique_ptr<std::uint64_t[], ChunkRelease>;

// The size from which a chunk is mapped on its own.
inline constexpr std::size_t kHugeChunkBytes = std::size_t{1} << 21;

// A bounded free list of mapped chunks of exactly kHugeChunkBytes, shared by
// a producer that fills lists and the consumers that read and drop them: a
// stream then maps and zeroes fresh pages only while its output grows, not
// for every batch it hands out. The memory mapped in total grows only when the
// list is empty, so its peak stays the peak of what is in use. Safe to use
// from several threads. close() frees what it holds and keeps nothing from
// then on, so lists that outlive their producer give their memory back at once.
class ChunkRecycler {
 public:
  // Keeps at most `capacity` chunks.
  explicit ChunkRecycler(std::size_t capacity);
  ~ChunkRecycler();
  ChunkRecycler(const ChunkRecycler&) = delete;
  ChunkRecycler& operator=(const ChunkRecycler&) = delete;

  // A kept chunk, or null when none is.
  std::uint64_t* take() noexcept;
  // Keeps the chunk when open and not full; false leaves it to the caller.
  bool keep(std::uint64_t* words) noexcept;
  // Unmaps the kept chunks; keep() refuses from now on.
  void close() noexcept;

  // How many chunks take() has handed out again.
  std::uint64_t reused() const noexcept;
  std::size_t held() const noexcept;

 private:
  mutable std::mutex mutex_;
  std::vector<std::uint64_t*> free_;
  std::size_t capacity_;
  std::uint64_t reused_ = 0;
  bool open_ = true;
};

// `words` words (at least one). Blocks of kHugeChunkBytes and more are mapped
// from the kernel one by one, so that freeing one returns its memory at once
// (a consumer freeing a large list as it reads keeps peak memory low), and are
// advised as huge pages where the kernel offers them. Smaller blocks come from
// the general allocator. With a recycler, a block of exactly kHugeChunkBytes
// is taken from it when it holds one, and goes back to it when freed. Throws
// std::bad_alloc when memory runs out.
ChunkMemory allocate_chunk(std::size_t words, const std::shared_ptr<ChunkRecycler>& recycler = nullptr);

}  // namespace tessara::core
