#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <deque>
#include <expected>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "tessara/core/chunk_memory.hpp"
#include "tessara/core/concept.hpp"
#include "tessara/engine/run_control.hpp"
#include "tessara/engine/walk_task.hpp"

namespace tessara::engine {

// Runs the close-by-one walk of one context on worker threads and hands out
// its concepts in exactly the order of the sequential walk.
//
// The work starts as the top task. A worker that finds nothing to do makes the
// busy walks give away the children still waiting at their shallowest level
// (WalkHost::donate), so a skewed tree is split again and again while any
// thread is idle. Every task writes its own segment of the output; a donated
// task's segment goes right after its donor's (its concepts come after all
// the donor still lists, and before what the donor gave away earlier, which
// lay further up the tree). Segments are keyed by the path of donations that
// made them, so the listing order is the order of the keys.
//
// Two ways to take the output: finish() waits for the whole run and splices
// the segments into one list (a lattice); next_batch() hands out batches of
// about `batch` concepts as they are ready (a stream). In a stream a worker
// keeps at most `ahead` batches unread before it waits, so memory stays
// bounded whatever the number of concepts; the walk of the earliest unread
// segment always runs (a free worker takes the earliest waiting task).
//
// Errors in a worker (std::bad_alloc) stop the whole run; finish() and
// next_batch() rethrow them on the calling thread. The destructor stops the
// run and joins the workers, so nothing outlives the pool.
class WalkPool {
 public:
  struct Options {
    unsigned threads = 1;
    std::size_t batch = 0;  // 0: keep whole segments (for finish())
    std::size_t ahead = 4;  // batches a segment may hold unread
    std::uint64_t checkpoint_work = RunControl::kWorkPerCheckpoint;  // smaller: more checkpoints, finer splits
    // Full output chunks kept for reuse when the caller frees batches it took
    // (0: every freed batch returns its memory at once). Only for a stream.
    std::size_t recycled_chunks = 0;
    // Beyond `ahead` batches, a segment may hold unread batches while they
    // take fewer bytes than this: a worker walking a later segment then runs
    // on while the reader is still at an earlier one.
    std::size_t ahead_bytes = 0;
  };

  WalkPool(const core::Context& context, WalkKind kind, RunControl& control, Options options);
  // The LCM walk straight from a sparse incidence (no packed form is built).
  WalkPool(const core::SparseIncidence& incidence, RunControl& control, Options options);
  ~WalkPool();
  WalkPool(const WalkPool&) = delete;
  WalkPool& operator=(const WalkPool&) = delete;

  // Waits for the run's end, running the control's pulse on the calling
  // thread between waits; the concepts in order, or why the run stopped.
  std::expected<core::ConceptList, RunStop> finish();

  enum class Next { kBatch, kEnd, kWaiting };
  // The next batch of the stream in `batch`, kEnd once everything was handed
  // out (or the run stopped: see stop_reason), or kWaiting when nothing came
  // within `wait`.
  Next next_batch(core::ConceptList& batch, std::chrono::milliseconds wait);

  // Stops the run; the workers end at their next checkpoint.
  void cancel();

  // How many output chunks were filled again after the caller freed a batch.
  std::uint64_t reused_chunks() const noexcept { return recycler_ ? recycler_->reused() : 0; }

 private:
  using Key = std::vector<std::uint32_t>;
  struct Segment {
    std::deque<core::ConceptList> batches;
    std::size_t unread_bytes = 0;  // the chunk bytes of `batches`
    bool done = false;
  };
  class Host;

  void start(WalkTask top);
  void work();
  void run_task(TaskWalker& walker, const Key& key, const WalkTask& task);
  bool all_done() const;  // with mutex_ held
  void stop_workers();

  const WalkData data_;
  const WalkKind kind_;
  const std::uint64_t n_objects_;
  const std::uint64_t n_attributes_;
  RunControl& control_;
  const Options options_;
  // Batches handed out share it: when the caller frees one, its full chunks
  // come back here for the workers' next batches. Closed by the destructor.
  const std::shared_ptr<core::ChunkRecycler> recycler_;

  mutable std::mutex mutex_;
  std::condition_variable work_ready_;     // workers wait for tasks
  std::condition_variable output_ready_;   // the caller waits for batches or the end
  std::condition_variable output_taken_;   // workers wait for room in a stream
  std::map<Key, Segment> segments_;        // every segment not yet handed out, in listing order
  std::map<Key, WalkTask> waiting_;        // tasks not started yet
  std::size_t running_ = 0;
  std::atomic<std::size_t> idle_{0};
  std::atomic<bool> nothing_waiting_{false};
  std::exception_ptr error_;
  std::vector<std::jthread> workers_;
};

}  // namespace tessara::engine
