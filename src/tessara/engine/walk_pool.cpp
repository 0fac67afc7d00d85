#include "tessara/engine/walk_pool.hpp"

#include <limits>
#include <utility>

namespace tessara::engine {
namespace {

std::shared_ptr<core::ChunkRecycler> recycler_for(const WalkPool::Options& options) {
  if (options.batch == 0 || options.recycled_chunks == 0) return nullptr;
  return std::make_shared<core::ChunkRecycler>(options.recycled_chunks);
}

}  // namespace

// A worker's view of the pool while it walks one task.
class WalkPool::Host final : public WalkHost {
 public:
  Host(WalkPool& pool, const Key& key, Segment& segment)
      : pool_(pool), key_(key), segment_(segment), out_(pool.n_objects_, pool.n_attributes_, pool.recycler_) {}

  core::ConceptList& output() override { return out_; }

  bool checkpoint() override {
    if (!count_new()) return false;
    if (pool_.options_.batch != 0 && out_.size() >= pool_.options_.batch) hand_on();
    return !pool_.control_.stopped();
  }

  std::uint64_t checkpoint_work() const noexcept override { return pool_.options_.checkpoint_work; }

  bool wants_work() const noexcept override {
    return pool_.idle_.load(std::memory_order_relaxed) > 0 && pool_.nothing_waiting_.load(std::memory_order_relaxed);
  }

  // The n-th gift of this task is keyed key_ + {max - n, i}: after this
  // task's own concepts, before its earlier gifts, in the given order.
  void donate(std::vector<WalkTask>&& tasks) override {
    const std::lock_guard lock(pool_.mutex_);
    for (std::size_t i = 0; i < tasks.size(); ++i) {
      Key key = key_;
      key.push_back(std::numeric_limits<std::uint32_t>::max() - gifts_);
      key.push_back(static_cast<std::uint32_t>(i));
      pool_.segments_.try_emplace(key);
      pool_.waiting_.emplace(std::move(key), std::move(tasks[i]));
    }
    ++gifts_;
    pool_.nothing_waiting_.store(false, std::memory_order_relaxed);
    pool_.work_ready_.notify_all();
  }

  // After the walk: counts and hands on what is left.
  void finish() {
    if (!count_new()) return;
    if (!out_.empty()) hand_on();
  }

 private:
  bool count_new() {
    const std::size_t fresh = out_.size() - counted_;
    counted_ = out_.size();
    return pool_.control_.count(fresh);
  }

  // Moves the output into the segment; in a stream, waits while the segment
  // holds as many unread batches as it may.
  void hand_on() {
    std::unique_lock lock(pool_.mutex_);
    segment_.unread_bytes += out_.chunk_bytes();
    segment_.batches.push_back(std::move(out_));
    out_ = core::ConceptList(pool_.n_objects_, pool_.n_attributes_, pool_.recycler_);
    counted_ = 0;
    pool_.output_ready_.notify_all();
    if (pool_.options_.batch == 0) return;
    const Options& options = pool_.options_;
    pool_.output_taken_.wait(lock, [&] {
      return segment_.batches.size() < options.ahead || segment_.unread_bytes < options.ahead_bytes ||
             pool_.control_.stopped();
    });
  }

  WalkPool& pool_;
  const Key& key_;
  Segment& segment_;
  core::ConceptList out_;
  std::size_t counted_ = 0;
  std::uint32_t gifts_ = 0;
};

WalkPool::WalkPool(const core::Context& context, WalkKind kind, RunControl& control, Options options)
    : data_(context, kind),
      kind_(kind),
      n_objects_(context.n_objects()),
      n_attributes_(context.n_attributes()),
      control_(control),
      options_(options),
      recycler_(recycler_for(options)) {
  if (n_objects_ < control.limits().min_support) return;  // not even the top concept is frequent
  start(top_task(context, kind));
}

WalkPool::WalkPool(const core::SparseIncidence& incidence, RunControl& control, Options options)
    : data_(incidence, options.threads),
      kind_(WalkKind::kLcm),
      n_objects_(incidence.n_objects()),
      n_attributes_(incidence.n_attributes()),
      control_(control),
      options_(options),
      recycler_(recycler_for(options)) {
  if (n_objects_ < control.limits().min_support) return;
  start(top_task(incidence));
}

void WalkPool::start(WalkTask top) {
  segments_.try_emplace(Key{});
  waiting_.emplace(Key{}, std::move(top));
  const unsigned threads = std::max(1u, options_.threads);
  workers_.reserve(threads);
  try {
    for (unsigned t = 0; t < threads; ++t) workers_.emplace_back([this] { work(); });
  } catch (...) {
    cancel();
    throw;  // workers_ joins the threads started so far
  }
}

// The unread batches go first, into the recycler, which then unmaps them
// with the rest it holds: batches the caller still has free their memory at
// once from now on.
WalkPool::~WalkPool() {
  stop_workers();
  segments_.clear();
  if (recycler_) recycler_->close();
}

void WalkPool::cancel() {
  control_.cancel();
  const std::lock_guard lock(mutex_);
  work_ready_.notify_all();
  output_ready_.notify_all();
  output_taken_.notify_all();
}

void WalkPool::stop_workers() {
  if (workers_.empty()) return;
  {
    const std::lock_guard lock(mutex_);
    if (!all_done()) control_.cancel();
    work_ready_.notify_all();
    output_taken_.notify_all();
  }
  workers_.clear();  // joins
}

bool WalkPool::all_done() const { return running_ == 0 && (waiting_.empty() || control_.stopped()); }

void WalkPool::work() {
  std::unique_ptr<TaskWalker> walker;
  try {
    walker = make_walker(data_, kind_, control_.limits().min_support);
  } catch (...) {
    const std::lock_guard lock(mutex_);
    if (!error_) error_ = std::current_exception();
    control_.cancel();
    output_ready_.notify_all();
    return;
  }
  while (true) {
    Key key;
    WalkTask task;
    {
      std::unique_lock lock(mutex_);
      idle_.fetch_add(1, std::memory_order_relaxed);
      work_ready_.wait(lock, [&] { return control_.stopped() || !waiting_.empty() || running_ == 0; });
      idle_.fetch_sub(1, std::memory_order_relaxed);
      if (control_.stopped() || waiting_.empty()) {
        work_ready_.notify_all();
        output_ready_.notify_all();
        return;
      }
      auto node = waiting_.extract(waiting_.begin());
      key = std::move(node.key());
      task = std::move(node.mapped());
      nothing_waiting_.store(waiting_.empty(), std::memory_order_relaxed);
      ++running_;
    }
    run_task(*walker, key, task);
  }
}

void WalkPool::run_task(TaskWalker& walker, const Key& key, const WalkTask& task) {
  Segment* segment = nullptr;
  {
    const std::lock_guard lock(mutex_);
    segment = &segments_.at(key);  // map nodes stay where they are
  }
  try {
    Host host(*this, key, *segment);
    walker.run(task, host);
    if (!control_.stopped()) host.finish();
  } catch (...) {
    const std::lock_guard lock(mutex_);
    if (!error_) error_ = std::current_exception();
    control_.cancel();
  }
  const std::lock_guard lock(mutex_);
  segment->done = true;
  --running_;
  work_ready_.notify_all();
  output_ready_.notify_all();
  output_taken_.notify_all();
}

std::expected<core::ConceptList, RunStop> WalkPool::finish() {
  while (true) {
    {
      std::unique_lock lock(mutex_);
      if (all_done()) break;
      wait_for(output_ready_, lock, RunControl::kPulseInterval);
      if (all_done()) break;
    }
    if (!control_.beat()) cancel();
  }
  stop_workers();
  if (error_) std::rethrow_exception(error_);
  if (const auto stop = control_.stop_reason()) return std::unexpected(*stop);
  core::ConceptList concepts(n_objects_, n_attributes_);
  for (auto& [key, segment] : segments_)
    for (core::ConceptList& batch : segment.batches) concepts.splice_back(std::move(batch));
  segments_.clear();
  return concepts;
}

WalkPool::Next WalkPool::next_batch(core::ConceptList& batch, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::system_clock::now() + wait;
  std::unique_lock lock(mutex_);
  while (true) {
    if (error_) {
      const std::exception_ptr error = error_;
      lock.unlock();
      stop_workers();
      std::rethrow_exception(error);
    }
    if (control_.stopped() || segments_.empty()) return Next::kEnd;
    const auto head = segments_.begin();
    if (!head->second.batches.empty()) {
      batch = std::move(head->second.batches.front());
      head->second.batches.pop_front();
      head->second.unread_bytes -= batch.chunk_bytes();
      output_taken_.notify_all();
      return Next::kBatch;
    }
    if (head->second.done) {
      segments_.erase(head);
      continue;
    }
    if (wait_until(output_ready_, lock, deadline) == std::cv_status::timeout) {
      // One more look before reporting the wait.
      if (!segments_.empty() && !segments_.begin()->second.batches.empty()) continue;
      if (!segments_.empty() && segments_.begin()->second.done) continue;
      if (segments_.empty()) return Next::kEnd;
      return Next::kWaiting;
    }
  }
}

}  // namespace tessara::engine
