#include "tessara/engine/cover_edges.hpp"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

#include "tessara/core/covering.hpp"
#include "tessara/core/fault.hpp"
#include "tessara/core/intent_index.hpp"
#include "tessara/core/sparse_neighbour_walk.hpp"

namespace tessara::engine {
namespace {

// Concepts visited between two looks at the control.
constexpr std::size_t kBlock = 256;

// Blocks of concepts handed to whichever thread asks next; each thread makes
// its own walk (anything with visit(i, edges)) with make_walk().
template <typename MakeWalk>
class BlockQueue {
 public:
  BlockQueue(std::size_t n, const MakeWalk& make_walk, RunControl& control)
      : n_(n), make_walk_(make_walk), control_(control) {}

  // Visits blocks until none is left or the run stops; the edges go to `found`.
  void work(std::vector<core::CoverEdge>& found) {
    const auto walk = make_walk_();
    while (!control_.stopped()) {
      const std::size_t first = next_.fetch_add(kBlock, std::memory_order_relaxed);
      if (first >= n_) return;
      const std::size_t last = std::min(first + kBlock, n_);
      for (std::size_t i = first; i < last; ++i) walk->visit(static_cast<std::uint32_t>(i), found);
    }
  }

 private:
  const std::size_t n_;
  const MakeWalk& make_walk_;
  RunControl& control_;
  std::atomic<std::size_t> next_{0};
};

// The edges of n concepts, visited in blocks as cover_edges describes.
template <typename MakeWalk>
std::optional<std::vector<core::CoverEdge>> edges_by_blocks(std::size_t n, const MakeWalk& make_walk,
                                                            RunControl& control, unsigned threads) {
  if (n < 2) return std::vector<core::CoverEdge>{};
  BlockQueue<MakeWalk> queue(n, make_walk, control);
  std::vector<std::vector<core::CoverEdge>> found(std::max(1u, threads));
  if (threads <= 1) {
    // One block at a time, so the pulse runs between them.
    const auto walk = make_walk();
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

}  // namespace

std::optional<std::vector<core::CoverEdge>> cover_edges(const core::ConceptList& concepts,
                                                        const core::Context& context, std::uint64_t min_support,
                                                        RunControl& control, unsigned threads) {
  if (concepts.size() < 2) return std::vector<core::CoverEdge>{};
  const auto make_walk = [&] { return core::frequent_neighbour_walk(concepts, context, min_support); };
  return edges_by_blocks(concepts.size(), make_walk, control, threads);
}

std::optional<std::vector<core::CoverEdge>> cover_edges(const core::ConceptList& concepts,
                                                        const core::SparseIncidence& incidence,
                                                        std::uint64_t min_support, RunControl& control,
                                                        unsigned threads) {
  if (concepts.size() < 2) return std::vector<core::CoverEdge>{};
  if (concepts.size() > std::numeric_limits<std::uint32_t>::max())
    throw core::InternalFault(core::fault_text::kIndexOutOfRange);
  const core::IntentIndex index(concepts);
  const auto make_walk = [&] {
    return std::make_unique<core::SparseNeighbourWalk>(concepts, incidence, index, min_support);
  };
  return edges_by_blocks(concepts.size(), make_walk, control, threads);
}

}  // namespace tessara::engine
