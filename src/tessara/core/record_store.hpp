#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "tessara/core/chunk_memory.hpp"
#include "tessara/core/fault.hpp"

namespace tessara::core {

// Positions 0, 1, 2, ... split into chunks of 2^first_shift items, then
// twice as many, and so on `steps` times, after which every chunk has
// 2^(first_shift + steps) items: the chunk of a position and its offset
// there follow by arithmetic.
struct DoublingChunks {
  struct Place {
    std::size_t chunk;
    std::size_t offset;
  };

  unsigned first_shift = 0;
  unsigned steps = 0;

  // The first position of a chunk.
  std::size_t start(std::size_t chunk) const noexcept {
    const std::size_t growing = std::min<std::size_t>(chunk, steps);
    return (((std::size_t{1} << growing) - 1) << first_shift) + ((chunk - growing) << (first_shift + steps));
  }
  std::size_t items(std::size_t chunk) const noexcept { return start(chunk + 1) - start(chunk); }
  Place place(std::size_t i) const noexcept {
    const std::size_t growing_items = start(steps);
    if (i < growing_items) {
      const auto chunk = static_cast<std::size_t>(std::bit_width((i >> first_shift) + 1) - 1);
      return Place{chunk, i - start(chunk)};
    }
    const std::size_t beyond = i - growing_items;
    const unsigned full_shift = first_shift + steps;
    return Place{steps + (beyond >> full_shift), beyond & ((std::size_t{1} << full_shift) - 1)};
  }
};

// Records of words appended in order and found by position in constant time,
// without an allocation per record. Records sit in chunks that grow by
// doubling to about 2 MiB and then stay at that size, and a record never
// straddles two chunks, so growth never moves a stored record, a small store
// stays small and a large one lives on huge pages.
//
// Records are either all of one length, found by arithmetic, or each as long
// as its writer needs (a record longer than a full chunk gets a chunk of its
// own), found through an index of record starts that is chunked the same
// way. The store does not know varying lengths: its user reads them from the
// records themselves.
class RecordStore {
 public:
  using Word = std::uint64_t;

  // A store of records of varying length.
  RecordStore() = default;
  // A store of records of `words` words each.
  explicit RecordStore(std::size_t words);
  // The same, with full chunks taken from and given back to `recycler`
  // (see ChunkRecycler) instead of mapped and unmapped each time.
  explicit RecordStore(std::shared_ptr<ChunkRecycler> recycler) : recycler_(std::move(recycler)) {}
  RecordStore(std::size_t words, std::shared_ptr<ChunkRecycler> recycler);

  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;
  // A moved-from store is empty.
  RecordStore(RecordStore&& other) noexcept { take_from(other); }
  RecordStore& operator=(RecordStore&& other) noexcept {
    if (this != &other) take_from(other);
    return *this;
  }

  std::size_t size() const noexcept { return size_; }

  // The bytes of the chunks it holds (not yet given back), the records' room.
  std::size_t chunk_bytes() const noexcept {
    std::size_t words = 0;
    for (std::size_t c = released_chunks_; c < chunks_.size(); ++c) words += chunks_[c].capacity;
    return words * sizeof(Word);
  }

  // Adds a record of `words` words, uninitialised, to be filled by the
  // caller; in a store of one length, `words` is at most that length.
  Word* append(std::size_t words) {
    Word* record = chunk_room(fixed_ ? fixed_words_ : words);
    if (!fixed_) add_to_index(record);
    ++size_;
    return record;
  }

  // The first word of record i. Reading a record out of range or given back
  // by release_before is an internal fault.
  const Word* operator[](std::size_t i) const {
    if (i >= size_ || i < released_records_) throw InternalFault(fault_text::kIndexOutOfRange);
    if (fixed_) {
      const DoublingChunks::Place place = fixed_chunks_.place(i);
      return chunks_[place.chunk].memory.get() + place.offset * fixed_words_;
    }
    const DoublingChunks::Place place = kIndexChunks.place(i);
    return index_[place.chunk][place.offset];
  }

  // Forgets the last record (one given back by release_before cannot be).
  void pop_back();

  // Appends the records of `other` after this store's by taking over its
  // chunks: no record is copied, only where each starts. From then on records
  // are found through the index, whatever their length. `other` is left
  // empty; neither store may have given records back.
  void splice_back(RecordStore&& other);

  // Gives the memory of every chunk whose records all lie below `index` back
  // to the allocator, for a reader that goes once through the records from
  // the front and wants peak memory low. The records below `index` must not
  // be read afterwards.
  void release_before(std::size_t index) noexcept;

 private:
  struct Chunk {
    ChunkMemory memory;
    std::size_t capacity = 0;      // words
    std::size_t used = 0;          // words
    std::size_t first_record = 0;  // the position of its first record
  };

  // 64 record starts (512 bytes) in the first index chunk, up to 2 MiB.
  static constexpr DoublingChunks kIndexChunks{6, 12};
  static std::unique_ptr<Word*[]> new_index_chunk(std::size_t chunk);
  // Records `record` as the start of record size_.
  void add_to_index(Word* record) {
    const DoublingChunks::Place place = kIndexChunks.place(size_);
    if (place.chunk == index_.size()) index_.push_back(new_index_chunk(place.chunk));
    index_[place.chunk][place.offset] = record;
  }
  Word* start_of(std::size_t i) const noexcept;

  // Room for a record of `words` words at the end of the last chunk, or in a new one.
  Word* chunk_room(std::size_t words) {
    if (!chunks_.empty()) {
      Chunk& last = chunks_.back();
      if (last.memory != nullptr && last.capacity - last.used >= words) {
        Word* record = last.memory.get() + last.used;
        last.used += words;
        return record;
      }
    }
    return new_chunk_room(words);
  }
  Word* new_chunk_room(std::size_t words);
  void take_from(RecordStore& other) noexcept;

  bool fixed_ = false;
  std::shared_ptr<ChunkRecycler> recycler_;  // null: chunks go back to the kernel when freed
  std::size_t fixed_words_ = 0;
  DoublingChunks fixed_chunks_;  // records per chunk, for records of one length
  std::vector<Chunk> chunks_;
  std::vector<std::unique_ptr<Word*[]>> index_;  // the start of every record, for records of varying length
  std::size_t size_ = 0;
  std::size_t released_chunks_ = 0;
  std::size_t released_records_ = 0;  // records below this position were given back
};

}  // namespace tessara::core
