#include "tessara/engine/walk_unit.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace tessara::engine {
namespace {

constexpr std::uint32_t kFormatTag = 0x31574b54;  // "TKW1" read little-endian: extent and intent as words
constexpr std::uint32_t kListTag = 0x314c4b54;    // "TKL1": extent and intent as member lists
constexpr std::size_t kHeaderBytes = 16;
constexpr std::size_t kFactBytes = 16;
// In-Close5's "no witness" (its facts name an attribute or none).
constexpr std::uint32_t kNoWitness = 0xffffffffu;

static_assert(std::endian::native == std::endian::little, "units are written in the machine's little-endian order");

// Writes `value` at `offset` of `out`, which has room for it.
template <typename T>
void write_at(std::vector<std::uint8_t>& out, std::size_t offset, T value) {
  std::memcpy(out.data() + offset, &value, sizeof(T));
}

template <typename T>
T read_at(std::span<const std::uint8_t> bytes, std::size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return value;
}

// True when no bit at or above `capacity` is set in `words`.
bool tail_clear(std::span<const std::uint64_t> words, std::uint64_t capacity) {
  for (std::size_t w = 0; w < words.size(); ++w) {
    const std::uint64_t first = std::uint64_t{w} * 64;
    if (first + 64 <= capacity) continue;
    const std::uint64_t keep = capacity > first ? capacity - first : 0;
    const std::uint64_t mask = keep == 0 ? ~std::uint64_t{0} : ~((std::uint64_t{1} << keep) - 1);
    if ((words[w] & mask) != 0) return false;
  }
  return true;
}

// The host of one unit: keeps what the walk lists and, past the budget,
// takes every child it offers. The n-th gift goes before the earlier ones
// (it lies deeper on the walk's path), its tasks in the given order.
class UnitHost final : public WalkHost {
 public:
  UnitHost(const WalkData& data, std::uint64_t budget, RunControl& control, std::uint64_t checkpoint_work,
           const std::shared_ptr<core::ChunkRecycler>& recycler)
      : out_(data.n_objects, data.n_attributes, recycler), budget_(budget), control_(control), checkpoint_work_(checkpoint_work) {}

  core::ConceptList& output() override { return out_; }

  bool checkpoint() override {
    const std::size_t fresh = out_.size() - counted_;
    counted_ = out_.size();
    if (!control_.count(fresh)) return false;
    return control_.beat();
  }

  std::uint64_t checkpoint_work() const noexcept override { return checkpoint_work_; }

  bool wants_work() const noexcept override { return budget_ != 0 && out_.size() >= budget_; }

  bool takes_whole_frontier() const noexcept override { return true; }

  void donate(std::vector<WalkTask>&& tasks) override { gifts_.push_back(std::move(tasks)); }

  bool finish() {
    const std::size_t fresh = out_.size() - counted_;
    counted_ = out_.size();
    return control_.count(fresh);
  }

  UnitResult take() {
    UnitResult result{std::move(out_), {}};
    for (auto gift = gifts_.rbegin(); gift != gifts_.rend(); ++gift)
      for (WalkTask& task : *gift) result.rest.push_back(std::move(task));
    gifts_.clear();
    return result;
  }

 private:
  core::ConceptList out_;
  std::size_t counted_ = 0;
  const std::uint64_t budget_;
  RunControl& control_;
  const std::uint64_t checkpoint_work_;
  std::vector<std::vector<WalkTask>> gifts_;
};

std::uint64_t members(std::span<const std::uint64_t> words) {
  std::uint64_t count = 0;
  for (const std::uint64_t word : words) count += static_cast<std::uint64_t>(std::popcount(word));
  return count;
}

// Writes the positions of the set bits of `words`, ascending, as uint32 from `offset` on.
std::size_t write_members(std::vector<std::uint8_t>& out, std::size_t offset, std::span<const std::uint64_t> words) {
  for (std::size_t w = 0; w < words.size(); ++w)
    for (std::uint64_t bits = words[w]; bits != 0; bits &= bits - 1)
      write_at(out, std::exchange(offset, offset + 4),
               static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(bits))));
  return offset;
}

// Reads `count` ascending positions below `capacity` from `offset` into the
// set `words`; false when they are not ascending or not below it.
bool read_members(std::span<const std::uint8_t> bytes, std::size_t offset, std::uint32_t count,
                  std::uint64_t capacity, std::vector<std::uint64_t>& words) {
  std::uint64_t previous = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t position = read_at<std::uint32_t>(bytes, offset + 4 * std::size_t{i});
    if (position >= capacity || (i > 0 && position <= previous)) return false;
    words[position / 64] |= std::uint64_t{1} << (position % 64);
    previous = position;
  }
  return true;
}

}  // namespace

std::vector<std::uint8_t> encode_task(const WalkTask& task) {
  // A sparse extent (a deep subtree of a large context) is written as its
  // members: the words of a million objects would be 125 kB a task.
  const std::uint64_t extent_members = members(task.extent);
  const std::uint64_t intent_members = members(task.intent);
  const bool as_lists = 4 * (2 + extent_members + intent_members) < 8 * (task.extent.size() + task.intent.size());
  const std::size_t sets_bytes =
      as_lists ? 4 * (2 + extent_members + intent_members) : 8 * (task.extent.size() + task.intent.size());
  std::vector<std::uint8_t> out(kHeaderBytes + sets_bytes + kFactBytes * task.inherited.size());
  write_at(out, 0, as_lists ? kListTag : kFormatTag);
  write_at(out, 4, static_cast<std::uint32_t>(task.kind));
  write_at(out, 8, task.start);
  write_at(out, 12, static_cast<std::uint32_t>(task.inherited.size()));
  std::size_t offset = kHeaderBytes;
  if (as_lists) {
    write_at(out, offset, static_cast<std::uint32_t>(extent_members));
    write_at(out, offset + 4, static_cast<std::uint32_t>(intent_members));
    offset = write_members(out, offset + 8, task.extent);
    offset = write_members(out, offset, task.intent);
  } else {
    for (const std::uint64_t word : task.extent) write_at(out, std::exchange(offset, offset + 8), word);
    for (const std::uint64_t word : task.intent) write_at(out, std::exchange(offset, offset + 8), word);
  }
  for (const InheritedFact& fact : task.inherited) {
    write_at(out, offset, fact.word);
    write_at(out, offset + 4, fact.flags);
    write_at(out, offset + 8, fact.bits);
    offset += kFactBytes;
  }
  return out;
}

std::expected<WalkTask, std::string> decode_task(std::span<const std::uint8_t> bytes, std::uint64_t n_objects,
                                                 std::uint64_t n_attributes) {
  if (bytes.size() < kHeaderBytes) return std::unexpected("not a unit of work");
  const auto tag = read_at<std::uint32_t>(bytes, 0);
  if (tag != kFormatTag && tag != kListTag) return std::unexpected("not a unit of work");
  const bool as_lists = tag == kListTag;
  const auto kind = read_at<std::uint32_t>(bytes, 4);
  const auto start = read_at<std::uint32_t>(bytes, 8);
  const auto facts = read_at<std::uint32_t>(bytes, 12);
  if (kind > static_cast<std::uint32_t>(WalkKind::kLcm)) return std::unexpected("unknown walk kind");
  const std::size_t extent_words = core::ObjectSet::word_count(n_objects);
  const std::size_t intent_words = core::AttributeSet::word_count(n_attributes);
  // The close-by-one walks know one fact per attribute or none; an LCM task
  // is a whole subtree (no fact) or a range of a concept's children (one).
  const bool lcm = kind == static_cast<std::uint32_t>(WalkKind::kLcm);
  if (lcm ? facts > 1 : (facts != 0 && facts != n_attributes))
    return std::unexpected("unit written for another context");
  std::size_t sets_bytes = 8 * (extent_words + intent_words);
  std::uint32_t extent_members = 0;
  std::uint32_t intent_members = 0;
  if (as_lists) {
    if (bytes.size() < kHeaderBytes + 8) return std::unexpected("unit written for another context");
    extent_members = read_at<std::uint32_t>(bytes, kHeaderBytes);
    intent_members = read_at<std::uint32_t>(bytes, kHeaderBytes + 4);
    sets_bytes = 4 * (2 + std::size_t{extent_members} + std::size_t{intent_members});
  }
  const std::size_t expected = kHeaderBytes + sets_bytes + kFactBytes * std::size_t{facts};
  if (bytes.size() != expected) return std::unexpected("unit written for another context");
  if (start > n_attributes) return std::unexpected("unit starts past the last attribute");

  WalkTask task;
  task.kind = static_cast<WalkKind>(kind);
  task.start = start;
  std::size_t offset = kHeaderBytes;
  task.extent.resize(extent_words);
  task.intent.resize(intent_words);
  if (as_lists) {
    if (!read_members(bytes, offset + 8, extent_members, n_objects, task.extent) ||
        !read_members(bytes, offset + 8 + 4 * std::size_t{extent_members}, intent_members, n_attributes, task.intent))
      return std::unexpected("unit written for another context");
    offset += sets_bytes;
  } else {
    for (std::uint64_t& word : task.extent) word = read_at<std::uint64_t>(bytes, std::exchange(offset, offset + 8));
    for (std::uint64_t& word : task.intent) word = read_at<std::uint64_t>(bytes, std::exchange(offset, offset + 8));
    if (!tail_clear(task.extent, n_objects) || !tail_clear(task.intent, n_attributes))
      return std::unexpected("unit written for another context");
  }
  task.inherited.resize(facts);
  for (InheritedFact& fact : task.inherited) {
    fact.word = read_at<std::uint32_t>(bytes, offset);
    fact.flags = read_at<std::uint32_t>(bytes, offset + 4);
    fact.bits = read_at<std::uint64_t>(bytes, offset + 8);
    offset += kFactBytes;
    // FCbO keeps an intent word; In-Close5 an attribute or "none"; LCM the
    // item its range of children ends before.
    bool in_range = false;
    if (task.kind == WalkKind::kLcm)
      in_range = fact.flags == InheritedFact::kChildrenBelow && fact.bits == 0 && fact.word >= start &&
                 fact.word <= n_attributes;
    else if (task.kind == WalkKind::kInClose5)
      in_range = fact.word < n_attributes || fact.word == kNoWitness;
    else
      in_range = fact.word < intent_words;
    if (!in_range) return std::unexpected("unit written for another context");
  }
  return task;
}

std::expected<UnitResult, RunStop> run_unit(const WalkData& data, std::uint64_t min_support, const WalkTask& task,
                                            std::uint64_t budget, RunControl& control, std::uint64_t checkpoint_work,
                                            const std::shared_ptr<core::ChunkRecycler>& recycler) {
  UnitHost host(data, budget, control, checkpoint_work, recycler);
  run_walk_task(data, min_support, task, host);
  if (!control.stopped()) host.finish();
  if (const auto stop = control.stop_reason()) return std::unexpected(*stop);
  return host.take();
}

}  // namespace tessara::engine
