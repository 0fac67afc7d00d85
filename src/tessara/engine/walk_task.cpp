#include "tessara/engine/walk_task.hpp"

#include "tessara/engine/fcbo_kernel.hpp"
#include "tessara/engine/in_close5_kernel.hpp"
#include "tessara/engine/lcm_kernel.hpp"
#include "tessara/core/incidence_forms.hpp"

namespace tessara::engine {

WalkTask top_task(const core::Context& context, WalkKind kind) {
  const core::ObjectSet all_objects = core::ObjectSet::full(context.n_objects());
  const core::AttributeSet top_intent = context.intent_of(all_objects);
  WalkTask task;
  task.kind = kind;
  task.extent.assign(all_objects.words().begin(), all_objects.words().end());
  task.intent.assign(top_intent.words().begin(), top_intent.words().end());
  return task;
}

namespace {

bool walks_packed(WalkKind kind) { return kind != WalkKind::kLcm; }

}  // namespace

WalkTask top_task(const core::SparseIncidence& incidence) {
  WalkTask task;
  task.kind = WalkKind::kLcm;
  const std::uint32_t n = incidence.n_objects();
  task.extent.assign(core::ObjectSet::word_count(n), ~std::uint64_t{0});
  if (n % 64 != 0) task.extent.back() = (std::uint64_t{1} << (n % 64)) - 1;
  task.intent.assign(core::AttributeSet::word_count(incidence.n_attributes()), 0);
  for (std::uint32_t m = 0; m < incidence.n_attributes(); ++m)
    if (incidence.column(m).size() == n) task.intent[m / 64] |= std::uint64_t{1} << (m % 64);
  return task;
}

WalkData::WalkData(const core::SparseIncidence& incidence, unsigned threads)
    : n_objects(incidence.n_objects()),
      n_attributes(incidence.n_attributes()),
      extent_words(core::ObjectSet::word_count(n_objects)),
      intent_words(core::AttributeSet::word_count(n_attributes)),
      lcm(std::make_unique<const LcmData>(incidence, threads)) {}

WalkData::WalkData(const core::Context& context, WalkKind kind)
    : columns(walks_packed(kind) ? core::AttributeColumns(context) : core::AttributeColumns()),
      n_objects(context.n_objects()),
      n_attributes(context.n_attributes()),
      extent_words(core::ObjectSet::word_count(n_objects)),
      intent_words(core::AttributeSet::word_count(n_attributes)),
      lists(walks_packed(kind) ? AttributeLists(context) : AttributeLists()),
      lcm(walks_packed(kind) ? nullptr : std::make_unique<const LcmData>(core::sparse_incidence_of(context))) {
  if (!walks_packed(kind)) return;
  rows.reserve(context.n_objects() * intent_words);
  for (const core::AttributeSet& row : context.rows()) rows.insert(rows.end(), row.words().begin(), row.words().end());
}

std::unique_ptr<TaskWalker> make_walker(const WalkData& data, WalkKind kind, std::uint64_t min_support) {
  switch (kind) {
    case WalkKind::kFcboAscending:
      return make_fcbo_walker(data, ChildOrder::kAscending, min_support);
    case WalkKind::kFcboDescending:
      return make_fcbo_walker(data, ChildOrder::kDescending, min_support);
    case WalkKind::kInClose5:
      return make_in_close5_walker(data, min_support);
    case WalkKind::kLcm:
      return make_lcm_walker(data, min_support);
  }
  throw core::InternalFault(core::fault_text::kIndexOutOfRange);
}

void run_walk_task(const WalkData& data, std::uint64_t min_support, const WalkTask& task, WalkHost& host) {
  make_walker(data, task.kind, min_support)->run(task, host);
}

}  // namespace tessara::engine
