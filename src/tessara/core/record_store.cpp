#include "tessara/core/record_store.hpp"

#include <utility>

namespace tessara::core {
namespace {

constexpr std::size_t kFirstChunkWords = 512;  // 4 KiB
constexpr std::size_t kFullChunkWords = kHugeChunkBytes / sizeof(RecordStore::Word);
constexpr unsigned kGrowthSteps = 9;

// For records of `words` words: a full chunk holds the largest power of two
// of them that fits in kFullChunkWords (at least one), the first chunks
// 2, 4, 8, ... times fewer, kGrowthSteps of them at most.
DoublingChunks fixed_geometry(std::size_t words) noexcept {
  unsigned full_shift = 0;
  while (full_shift < 18 && (words << (full_shift + 1)) <= kFullChunkWords) ++full_shift;
  const unsigned steps = std::min(full_shift, kGrowthSteps);
  return DoublingChunks{full_shift - steps, steps};
}

}  // namespace

// Records of no words take one, so that every chunk holds a bounded number of them.
RecordStore::RecordStore(std::size_t words)
    : fixed_(true), fixed_words_(std::max<std::size_t>(words, 1)), fixed_chunks_(fixed_geometry(fixed_words_)) {}

RecordStore::RecordStore(std::size_t words, std::shared_ptr<ChunkRecycler> recycler) : RecordStore(words) {
  recycler_ = std::move(recycler);
}

std::unique_ptr<RecordStore::Word*[]> RecordStore::new_index_chunk(std::size_t chunk) {
  return std::make_unique_for_overwrite<Word*[]>(kIndexChunks.items(chunk));
}

RecordStore::Word* RecordStore::new_chunk_room(std::size_t words) {
  std::size_t capacity = 0;
  if (fixed_) {
    capacity = fixed_words_ * fixed_chunks_.items(chunks_.size());
  } else {
    // Twice the last chunk up to a full one, and always room for this record.
    const std::size_t grown =
        chunks_.empty() ? kFirstChunkWords : std::min(2 * chunks_.back().capacity, kFullChunkWords);
    capacity = std::max(grown, words);
  }
  chunks_.push_back(Chunk{allocate_chunk(capacity, recycler_), capacity, words, size_});
  return chunks_.back().memory.get();
}

RecordStore::Word* RecordStore::start_of(std::size_t i) const noexcept {
  if (fixed_) {
    const DoublingChunks::Place place = fixed_chunks_.place(i);
    return chunks_[place.chunk].memory.get() + place.offset * fixed_words_;
  }
  const DoublingChunks::Place place = kIndexChunks.place(i);
  return index_[place.chunk][place.offset];
}

void RecordStore::splice_back(RecordStore&& other) {
  if (released_records_ != 0 || other.released_records_ != 0) throw InternalFault(fault_text::kIndexOutOfRange);
  if (fixed_) {
    // The index takes over from the arithmetic, which the spliced chunks would break.
    const std::size_t records = std::exchange(size_, 0);
    for (; size_ < records; ++size_) add_to_index(start_of(size_));
    fixed_ = false;
  }
  for (std::size_t i = 0; i < other.size_; ++i, ++size_) add_to_index(other.start_of(i));
  const std::size_t first = size_ - other.size_;
  for (Chunk& chunk : other.chunks_) {
    chunk.first_record += first;
    chunks_.push_back(std::move(chunk));
  }
  other = RecordStore();
}

void RecordStore::pop_back() {
  if (size_ <= released_records_) throw InternalFault(fault_text::kIndexOutOfRange);
  const Word* record = (*this)[size_ - 1];
  --size_;
  Chunk& last = chunks_.back();
  last.used = static_cast<std::size_t>(record - last.memory.get());
  if (last.used == 0) chunks_.pop_back();
  if (!fixed_ && kIndexChunks.place(size_).offset == 0) index_.pop_back();
}

// A last chunk with room stays in a store of one length: the next record
// belongs in it, where the arithmetic looks for it.
void RecordStore::release_before(std::size_t index) noexcept {
  const std::size_t end = std::min(index, size_);
  released_records_ = std::max(released_records_, end);
  while (released_chunks_ < chunks_.size()) {
    const Chunk& chunk = chunks_[released_chunks_];
    const bool last = released_chunks_ + 1 == chunks_.size();
    const std::size_t chunk_end = last ? size_ : chunks_[released_chunks_ + 1].first_record;
    if (chunk_end > end || (last && fixed_ && chunk.used < chunk.capacity)) break;
    chunks_[released_chunks_++].memory.reset();
  }
  for (std::size_t c = 0; c < index_.size() && kIndexChunks.start(c + 1) <= released_records_; ++c) index_[c].reset();
}

void RecordStore::take_from(RecordStore& other) noexcept {
  fixed_ = std::exchange(other.fixed_, false);
  recycler_ = std::exchange(other.recycler_, nullptr);
  fixed_words_ = std::exchange(other.fixed_words_, 0);
  fixed_chunks_ = std::exchange(other.fixed_chunks_, DoublingChunks{});
  chunks_ = std::exchange(other.chunks_, {});
  index_ = std::exchange(other.index_, {});
  size_ = std::exchange(other.size_, 0);
  released_chunks_ = std::exchange(other.released_chunks_, 0);
  released_records_ = std::exchange(other.released_records_, 0);
}

}  // namespace tessara::core
