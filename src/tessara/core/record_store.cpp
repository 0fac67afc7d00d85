#include "tessara/core/record_store.hpp"

#include <utility>

namespace tessara::core {
namespace {

// A new chunk after a last one of `last` words: twice as large up to 2 MiB,
// and always large enough for the record that asks for it.
constexpr std::size_t kFirstChunkWords = 512;
constexpr std::size_t kFullChunkWords = kHugeChunkBytes / sizeof(RecordStore::Word);

}  // namespace

std::unique_ptr<RecordStore::Word*[]> RecordStore::new_index_chunk(std::size_t chunk) {
  return std::make_unique_for_overwrite<Word*[]>(index_chunk_start(chunk + 1) - index_chunk_start(chunk));
}

RecordStore::Word* RecordStore::new_chunk_room(std::size_t words) {
  const std::size_t grown = chunks_.empty() ? kFirstChunkWords : std::min(2 * chunks_.back().capacity, kFullChunkWords);
  const std::size_t capacity = std::max(grown, words);
  chunks_.push_back(Chunk{allocate_chunk(capacity), capacity, words, size_});
  return chunks_.back().memory.get();
}

void RecordStore::pop_back() {
  if (size_ <= released_records_) throw InternalFault(fault_text::kIndexOutOfRange);
  const Word* record = (*this)[size_ - 1];
  --size_;
  Chunk& last = chunks_.back();
  last.used = static_cast<std::size_t>(record - last.memory.get());
  if (last.used == 0) chunks_.pop_back();
  if (index_place(size_).offset == 0) index_.pop_back();
}

void RecordStore::release_before(std::size_t index) noexcept {
  const std::size_t end = std::min(index, size_);
  while (released_chunks_ < chunks_.size()) {
    const std::size_t next = released_chunks_ + 1;
    const std::size_t chunk_end = next < chunks_.size() ? chunks_[next].first_record : size_;
    if (chunk_end > end) break;
    chunks_[released_chunks_].memory.reset();
    released_chunks_ = next;
    released_records_ = chunk_end;
  }
  for (std::size_t c = 0; c < index_.size() && index_chunk_start(c + 1) <= released_records_; ++c) index_[c].reset();
}

void RecordStore::take_from(RecordStore& other) noexcept {
  chunks_ = std::exchange(other.chunks_, {});
  index_ = std::exchange(other.index_, {});
  size_ = std::exchange(other.size_, 0);
  released_chunks_ = std::exchange(other.released_chunks_, 0);
  released_records_ = std::exchange(other.released_records_, 0);
}

}  // namespace tessara::core
