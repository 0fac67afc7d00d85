#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tessara::engine {

// A conditional database of the LCM walk: transactions of items (renamed,
// ascending), each with its weight (how many transactions it stands for)
// and the objects it stands for. The transactions merged into one agree on
// the items above the core item of the database's closed set; below it, a
// merged transaction keeps the items all of them hold (their intersection),
// which is all the canonicity test asks of those items.
struct LcmDatabase {
  std::vector<std::uint32_t> items;
  std::vector<std::size_t> item_begin;  // where each transaction's items are in items
  std::vector<std::size_t> item_end;
  std::vector<std::size_t> item_split;  // where each transaction's items above the core begin
  std::vector<std::uint32_t> weight;
  std::vector<std::size_t> object_begin{0};  // size() + 1 offsets into objects
  std::vector<std::uint32_t> objects;

  std::size_t size() const noexcept { return weight.size(); }
  std::span<const std::uint32_t> items_of(std::size_t t) const noexcept {
    return {items.data() + item_begin[t], items.data() + item_end[t]};
  }
  // The items above the core of transaction t.
  std::span<const std::uint32_t> items_above(std::size_t t) const noexcept {
    return {items.data() + item_split[t], items.data() + item_end[t]};
  }
  std::span<const std::uint32_t> objects_of(std::size_t t) const noexcept {
    return {objects.data() + object_begin[t], objects.data() + object_begin[t + 1]};
  }
  void clear() {
    items.clear();
    item_begin.clear();
    item_end.clear();
    item_split.clear();
    weight.clear();
    object_begin.assign(1, 0);
    objects.clear();
  }
};

// Builds a database transaction by transaction, merging the transactions
// that agree above the core into one with the sum of their weights and the
// intersection of their items below the core (database reduction). The
// caller writes a transaction's items into db.items, then calls add().
// Keeps its hash table from build to build, so nothing is allocated once
// the buffers have grown to the largest database seen.
class LcmDatabaseBuilder {
 public:
  // Starts a new database in `db` for at most `transactions` transactions.
  void start(LcmDatabase& db, std::size_t transactions);
  // Ends the transaction whose items are db.items[begin, end), those in
  // [begin, split) below the core: merged into an earlier one that has the
  // same items from split on, or kept; dropped when it has no items from
  // split on (no candidate can occur in it). Its objects are `objects`.
  // Returns where the next transaction's items go: end when it was kept,
  // else begin. db.items may be longer than end (room the caller writes
  // into); finish() does not trim it.
  std::size_t add(std::size_t begin, std::size_t split, std::size_t end, std::uint32_t weight,
                  std::span<const std::uint32_t> objects);
  // Lays out the objects of every transaction.
  void finish();

 private:
  struct Source {
    std::uint32_t group;
    std::span<const std::uint32_t> objects;
  };

  LcmDatabase* db_ = nullptr;
  std::vector<std::uint64_t> table_;  // per slot: hash tag | transaction index + 1, 0 when free
  std::vector<Source> sources_;
  std::size_t mask_ = 0;
};

}  // namespace tessara::engine
