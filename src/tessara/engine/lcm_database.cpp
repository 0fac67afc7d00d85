#include "tessara/engine/lcm_database.hpp"

#include <algorithm>
#include <bit>

namespace tessara::engine {

void LcmDatabaseBuilder::start(LcmDatabase& db, std::size_t transactions) {
  db_ = &db;
  db.clear();
  const std::size_t slots = std::bit_ceil(std::max<std::size_t>(16, 2 * transactions));
  table_.assign(slots, 0);
  mask_ = slots - 1;
  sources_.clear();
}

std::size_t LcmDatabaseBuilder::add(std::size_t begin, std::size_t split, std::size_t end, std::uint32_t weight,
                                    std::span<const std::uint32_t> objects) {
  LcmDatabase& db = *db_;
  if (end == split) return begin;
  std::uint32_t* items = db.items.data();
  std::uint64_t hash = 0x9e3779b97f4a7c15ULL;
  for (std::size_t k = split; k < end; ++k) hash = (hash ^ items[k]) * 0x100000001b3ULL + (hash >> 29);
  // A slot holds the transaction's index + 1 in its low half and the high
  // half of its hash in its high half: a probe reads the other transaction
  // only when the hashes agree.
  const std::uint64_t tag = hash & 0xffffffff00000000ULL;
  std::size_t slot = static_cast<std::size_t>(hash ^ (hash >> 32)) & mask_;
  while (table_[slot] != 0) {
    const std::uint64_t entry = table_[slot];
    const auto t = static_cast<std::uint32_t>(entry) - 1;
    if ((entry & 0xffffffff00000000ULL) == tag && db.item_end[t] - db.item_split[t] == end - split &&
        std::equal(items + split, items + end, items + db.item_split[t])) {
      // Keep below the core only what both hold; the kept items move up
      // against the items above the core, so the transaction stays contiguous.
      std::size_t read = db.item_split[t];
      std::size_t other = split;
      std::size_t write = db.item_split[t];
      while (read > db.item_begin[t] && other > begin) {
        const std::uint32_t a = items[read - 1];
        const std::uint32_t b = items[other - 1];
        if (a == b) {
          items[--write] = a;
          --read;
          --other;
        } else if (a > b) {
          --read;
        } else {
          --other;
        }
      }
      db.item_begin[t] = write;
      db.weight[t] += weight;
      sources_.push_back(Source{t, objects});
      return begin;
    }
    slot = (slot + 1) & mask_;
  }
  const auto t = static_cast<std::uint32_t>(db.weight.size());
  table_[slot] = tag | (t + 1);
  db.item_split.push_back(split);
  db.item_begin.push_back(begin);
  db.item_end.push_back(end);
  db.weight.push_back(weight);
  sources_.push_back(Source{t, objects});
  return end;
}

void LcmDatabaseBuilder::finish() {
  LcmDatabase& db = *db_;
  db.object_begin.assign(db.size() + 1, 0);
  for (const Source& source : sources_) db.object_begin[source.group + 1] += source.objects.size();
  for (std::size_t t = 0; t < db.size(); ++t) db.object_begin[t + 1] += db.object_begin[t];
  db.objects.resize(db.object_begin.back());
  // object_begin[t] serves as transaction t's write position, then is moved back.
  std::uint32_t* objects = db.objects.data();
  std::size_t* place = db.object_begin.data();
  for (const Source& source : sources_)  // mostly one object each: a plain loop, no call per source
    for (const std::uint32_t g : source.objects) objects[place[source.group]++] = g;
  for (std::size_t t = db.size(); t > 0; --t) db.object_begin[t] = db.object_begin[t - 1];
  db.object_begin[0] = 0;
}

}  // namespace tessara::engine
