#include "tessara/engine/cover_edges.hpp"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "tessara/core/covering.hpp"

namespace tessara::engine {
namespace {

// Concepts visited between two looks at the control.
constexpr std::size_t kBlock = 256;

// Blocks of concepts handed to whichever thread asks next.
class BlockQueue {
 public:
  BlockQueue(const core::ConceptList& concepts, const core::Context& context, std::uint64_t min_support,
             RunControl& control)
      : concepts_(concepts), context_(context), min_support_(min_support), control_(control) {}

  // Visits blocks until none is left or the run stops; the edges go to `found`.
  void work(std::vector<core::CoverEdge>& found) {
    const std::unique_ptr<core::NeighbourWalk> walk =
        core::frequent_neighbour_walk(concepts_, context_, min_support_);
    while (!control_.stopped()) {
      const std::size_t first = next_.fetch_add(kBlock, std::memory_order_relaxed);
      if (first >= concepts_.size()) return;
      const std::size_t last = std::min(first + kBlock, concepts_.size());
      for (std::size_t i = first; i < last; ++i) walk->visit(static_cast<std::uint32_t>(i), found);
    }
  }

 private:
  const core::ConceptList& concepts_;
  const core::Context& context_;
  const std::uint64_t min_support_;
  RunControl& control_;
  std::atomic<std::size_t> next_{0};
};

}  // namespace

std::optional<std::vector<core::CoverEdge>> cover_edges(const core::ConceptList& concepts,
                                                        const core::Context& context, std::uint64_t min_support,
                                                        RunControl& control, unsigned threads) {
  const std::size_t n = concepts.size();
  if (n < 2) return std::vector<core::CoverEdge>{};
  BlockQueue queue(concepts, context, min_support, control);
  std::vector<std::vector<core::CoverEdge>> found(std::max(1u, threads));
  if (threads <= 1) {
    // One block at a time, so the pulse runs between them.
    const std::unique_ptr<core::NeighbourWalk> walk = core::frequent_neighbour_walk(concepts, context, min_support);
    for (std::size_t first = 0; first < n; first += kBlock) {
      if (!control.beat()) return std::nullopt;
      for (std::size_t i = first; i < std::min(first + kBlock, n); ++i)
        walk->visit(static_cast<std::uint32_t>(i), found[0]);
    }
  } else {
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t running = threads;
    std::exception_ptr error;
    {
      std::vector<std::jthread> workers;
      workers.reserve(threads);
      const auto body = [&](std::vector<core::CoverEdge>& edges) {
        try {
          queue.work(edges);
        } catch (...) {
          const std::lock_guard lock(mutex);
          if (!error) error = std::current_exception();
          control.cancel();
        }
        const std::lock_guard lock(mutex);
        --running;
        finished.notify_all();
      };
      try {
        for (unsigned t = 0; t < threads; ++t) workers.emplace_back(body, std::ref(found[t]));
      } catch (...) {
        control.cancel();
        throw;  // the workers started so far stop at their next block and are joined
      }
      std::unique_lock lock(mutex);
      while (running > 0) {
        if (wait_for(finished, lock, RunControl::kPulseInterval) == std::cv_status::timeout) {
          lock.unlock();
          control.beat();
          lock.lock();
        }
      }
    }  // joins
    if (error) std::rethrow_exception(error);
    if (control.stopped()) return std::nullopt;
  }
  std::size_t total = 0;
  for (const auto& part : found) total += part.size();
  std::vector<core::CoverEdge> all;
  all.reserve(total);
  for (const auto& part : found) all.insert(all.end(), part.begin(), part.end());
  return core::sorted_cover_edges(all, n);
}

}  // namespace tessara::engine
