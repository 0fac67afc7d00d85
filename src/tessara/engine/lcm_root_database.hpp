#pragma once

#include <cstdint>
#include <span>

#include "tessara/engine/lcm_data.hpp"
#include "tessara/engine/lcm_database.hpp"

namespace tessara::engine {

// Builds the database a walk starts from: the rows of its objects, each cut
// to the items whose count reaches the threshold, merged where they agree
// from the item `start` on. On a large input it builds on two threads: the
// rows are parted by the hash of their items from `start` on, so no row of
// one part merges with a row of the other; each part gets its own database,
// and the second is appended to the first. The transactions then come in
// another order than one builder gives, which nothing the walk lists depends
// on; each transaction is the same (items, weight and objects).
// Keeps its buffers from build to build.
class LcmRootBuilder {
 public:
  struct Rows {
    const LcmData& data;
    std::span<const std::uint32_t> objects;  // ascending
    std::span<const std::uint32_t> counts;   // per item
    std::uint32_t threshold;                 // the least count of a kept item (at least 1)
    std::uint32_t start;
  };

  // Into `db`; on two threads when `split`.
  void build(const Rows& rows, bool split, LcmDatabase& db);

 private:
  // The rows of part `part` of `parts` into `db` with `builder`.
  static void build_part(const Rows& rows, unsigned part, unsigned parts, LcmDatabaseBuilder& builder,
                         LcmDatabase& db);

  LcmDatabaseBuilder builders_[2];
  LcmDatabase second_;
};

// Appends the transactions of `other` to `db`, after db's own.
void append_database(LcmDatabase& db, const LcmDatabase& other);

}  // namespace tessara::engine
