#include "tessara/engine/enumerate.hpp"

#include "tessara/engine/walk_pool.hpp"

namespace tessara::engine {
namespace {

// The calling thread walks the whole tree: it counts the concepts and runs
// the pulse at the walk's checkpoints.
class SequentialHost final : public WalkHost {
 public:
  SequentialHost(std::uint64_t n_objects, std::uint64_t n_attributes, RunControl& control)
      : control_(control), out_(n_objects, n_attributes) {}

  core::ConceptList& output() override { return out_; }
  bool checkpoint() override { return count_new() && control_.beat(); }
  bool count_new() {
    const std::size_t fresh = out_.size() - counted_;
    counted_ = out_.size();
    return control_.count(fresh);
  }
  core::ConceptList take() { return std::move(out_); }

 private:
  RunControl& control_;
  core::ConceptList out_;
  std::size_t counted_ = 0;
};

}  // namespace

std::expected<core::ConceptList, RunStop> enumerate_concepts(const core::Context& context, WalkKind kind,
                                                             RunControl& control, unsigned threads) {
  if (threads > 1) {
    WalkPool pool(context, kind, control, WalkPool::Options{threads, 0, 0, RunControl::kWorkPerCheckpoint});
    return pool.finish();
  }
  SequentialHost host(context.n_objects(), context.n_attributes(), control);
  if (context.n_objects() >= control.limits().min_support) {
    const WalkData data(context, kind);
    run_walk_task(data, control.limits().min_support, top_task(context, kind), host);
    host.count_new();
  }
  if (const auto stop = control.stop_reason()) return std::unexpected(*stop);
  return host.take();
}

std::expected<core::ConceptList, RunStop> enumerate_lcm_concepts(const core::SparseIncidence& incidence,
                                                                 RunControl& control, unsigned threads) {
  if (threads > 1) {
    WalkPool pool(incidence, control, WalkPool::Options{threads, 0, 0, RunControl::kWorkPerCheckpoint});
    return pool.finish();
  }
  SequentialHost host(incidence.n_objects(), incidence.n_attributes(), control);
  if (incidence.n_objects() >= control.limits().min_support) {
    const WalkData data(incidence);
    run_walk_task(data, control.limits().min_support, top_task(incidence), host);
    host.count_new();
  }
  if (const auto stop = control.stop_reason()) return std::unexpected(*stop);
  return host.take();
}

}  // namespace tessara::engine
