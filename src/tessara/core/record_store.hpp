#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "tessara/core/chunk_memory.hpp"
#include "tessara/core/fault.hpp"

namespace tessara::core {

// Records of words, each as long as its writer needs, appended in order and
// found by position in constant time. Records sit in chunks that double from
// 4 KiB up to 2 MiB and then stay at that size (a record longer than that
// gets a chunk of its own); a record never straddles two chunks, so growth
// never moves a stored record, a small store stays small and a large one
// lives on huge pages. Where each record starts is kept in an index that is
// chunked the same way. The store does not know the records' lengths: its
// user reads them from the records themselves.
class RecordStore {
 public:
  using Word = std::uint64_t;

  RecordStore() = default;
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;
  // A moved-from store is empty.
  RecordStore(RecordStore&& other) noexcept { take_from(other); }
  RecordStore& operator=(RecordStore&& other) noexcept {
    if (this != &other) take_from(other);
    return *this;
  }

  std::size_t size() const noexcept { return size_; }

  // Adds a record of `words` words, uninitialised, to be filled by the caller.
  Word* append(std::size_t words) {
    Word* record = chunk_room(words);
    const Place place = index_place(size_);
    if (place.chunk == index_.size()) index_.push_back(new_index_chunk(place.chunk));
    index_[place.chunk][place.offset] = record;
    ++size_;
    return record;
  }

  // The first word of record i. Reading a record out of range or given back
  // by release_before is an internal fault.
  const Word* operator[](std::size_t i) const {
    if (i >= size_ || i < released_records_) throw InternalFault(fault_text::kIndexOutOfRange);
    const Place place = index_place(i);
    return index_[place.chunk][place.offset];
  }

  // Forgets the last record (one given back by release_before cannot be).
  void pop_back();

  // Gives the memory of every chunk whose records all lie below `index` back
  // to the allocator, for a reader that goes once through the records from
  // the front and wants peak memory low. Those records must not be read
  // afterwards.
  void release_before(std::size_t index) noexcept;

 private:
  struct Chunk {
    ChunkMemory memory;
    std::size_t capacity = 0;      // words
    std::size_t used = 0;          // words
    std::size_t first_record = 0;  // the position of its first record
  };

  // Index chunk c holds 2^(kFirstIndexShift + min(c, kIndexGrowthSteps)) record starts.
  static constexpr unsigned kFirstIndexShift = 6;
  static constexpr unsigned kIndexGrowthSteps = 12;
  static constexpr unsigned kFullIndexShift = kFirstIndexShift + kIndexGrowthSteps;
  struct Place {
    std::size_t chunk;
    std::size_t offset;
  };
  static std::size_t index_chunk_start(std::size_t chunk) noexcept {
    const std::size_t growing = std::min<std::size_t>(chunk, kIndexGrowthSteps);
    return (((std::size_t{1} << growing) - 1) << kFirstIndexShift) + ((chunk - growing) << kFullIndexShift);
  }
  static Place index_place(std::size_t i) noexcept {
    constexpr std::size_t kGrowingRecords = ((std::size_t{1} << kIndexGrowthSteps) - 1) << kFirstIndexShift;
    if (i < kGrowingRecords) {
      const auto chunk = static_cast<std::size_t>(std::bit_width((i >> kFirstIndexShift) + 1) - 1);
      return Place{chunk, i - index_chunk_start(chunk)};
    }
    const std::size_t beyond = i - kGrowingRecords;
    return Place{kIndexGrowthSteps + (beyond >> kFullIndexShift), beyond & ((std::size_t{1} << kFullIndexShift) - 1)};
  }
  static std::unique_ptr<Word*[]> new_index_chunk(std::size_t chunk);

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

  std::vector<Chunk> chunks_;
  std::vector<std::unique_ptr<Word*[]>> index_;  // the start of every record
  std::size_t size_ = 0;
  std::size_t released_chunks_ = 0;
  std::size_t released_records_ = 0;  // records below this position were given back
};

}  // namespace tessara::core
