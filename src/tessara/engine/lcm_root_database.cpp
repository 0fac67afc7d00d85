#include "tessara/engine/lcm_root_database.hpp"

#include <thread>

namespace tessara::engine {

void LcmRootBuilder::build(const Rows& rows, bool split, LcmDatabase& db) {
  if (!split) {
    build_part(rows, 0, 1, builders_[0], db);
    return;
  }
  {
    std::jthread second([&] { build_part(rows, 1, 2, builders_[1], second_); });
    build_part(rows, 0, 2, builders_[0], db);
  }
  append_database(db, second_);
}

void LcmRootBuilder::build_part(const Rows& rows, unsigned part, unsigned parts, LcmDatabaseBuilder& builder,
                                LcmDatabase& db) {
  builder.start(db, rows.objects.size());
  const std::uint32_t* counts = rows.counts.data();
  for (std::size_t i = 0; i < rows.objects.size(); ++i) {
    const std::size_t begin = db.items.size();
    std::size_t split = begin;
    std::uint64_t hash = 0;
    for (const std::uint32_t j : rows.data.row(rows.objects[i])) {
      if (counts[j] < rows.threshold) continue;
      db.items.push_back(j);
      if (j < rows.start)
        split = db.items.size();
      else
        hash = (hash ^ j) * 0x9e3779b97f4a7c15ULL;
    }
    // Rows that agree from start on have the same hash, so they fall in one part.
    if (parts > 1 && (hash >> 32) % parts != part) {
      db.items.resize(begin);
      continue;
    }
    db.items.resize(builder.add(begin, split, db.items.size(), 1, rows.objects.subspan(i, 1)));
  }
  builder.finish();
}

void append_database(LcmDatabase& db, const LcmDatabase& other) {
  const std::size_t item_shift = db.items.size();
  db.items.insert(db.items.end(), other.items.begin(), other.items.end());
  const std::size_t object_shift = db.objects.size();
  db.objects.insert(db.objects.end(), other.objects.begin(), other.objects.end());
  for (std::size_t t = 0; t < other.size(); ++t) {
    db.item_begin.push_back(other.item_begin[t] + item_shift);
    db.item_end.push_back(other.item_end[t] + item_shift);
    db.item_split.push_back(other.item_split[t] + item_shift);
    db.weight.push_back(other.weight[t]);
    db.object_begin.push_back(other.object_begin[t + 1] + object_shift);
  }
}

}  // namespace tessara::engine
