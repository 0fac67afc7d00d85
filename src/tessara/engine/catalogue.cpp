#include "tessara/engine/catalogue.hpp"

#include <span>

#include "tessara/engine/enumerate.hpp"
#include "tessara/engine/fcbo.hpp"
#include "tessara/engine/generation_event.hpp"
#include "tessara/engine/in_close5.hpp"
#include "tessara/engine/next_closure.hpp"

namespace tessara::engine {
namespace {

// The algorithms are stateless, so one constant instance of each serves every caller.
const NextClosure kNextClosure;
const InClose5 kInClose5;
const Fcbo kFcbo;

struct Entry {
  const ConceptAlgorithm* algorithm;
  std::span<const std::string_view> accepted_names;
};

constexpr std::string_view kNextClosureNames[] = {"next-closure", "nc"};
constexpr std::string_view kInClose5Names[] = {"in-close-5", "in-close5", "ic5"};
constexpr std::string_view kFcboNames[] = {"fcbo"};

// Looked up in this order; the first entry accepting a name wins.
const Entry kEntries[] = {
    {&kNextClosure, kNextClosureNames},
    {&kInClose5, kInClose5Names},
    {&kFcbo, kFcboNames},
};

std::string ascii_lower(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lowered;
}

}  // namespace

core::ConceptLattice ConceptAlgorithm::compute(const core::Context& context) const {
  RunControl control;
  auto lattice = compute(context, control, 1);
  if (!lattice) throw core::InternalFault("an unlimited run stopped");
  return std::move(*lattice);
}

std::expected<core::ConceptLattice, RunStop> ConceptAlgorithm::compute(const core::Context& context,
                                                                       RunControl& control, unsigned threads) const {
  auto concepts = enumerate_concepts(context, walk_kind(), control, threads);
  if (!concepts) return std::unexpected(concepts.error());
  core::ConceptLattice lattice{std::move(*concepts), std::nullopt};
  emit_generation_complete(trace_target(), name(), lattice, context);
  return lattice;
}

const ConceptAlgorithm* algorithm_by_name(std::string_view name) {
  if (name.empty()) return nullptr;
  const std::string lowered = ascii_lower(name);
  for (const Entry& entry : kEntries)
    for (const std::string_view accepted : entry.accepted_names)
      if (lowered == accepted) return entry.algorithm;
  return nullptr;
}

std::string unknown_algorithm_message(std::string_view name) {
  std::string message = "unknown algorithm `";
  message += name;
  message += "`; try one of: [";
  for (std::size_t i = 0; i < SUPPORTED_ALGORITHMS.size(); ++i) {
    if (i != 0) message += ", ";
    message += '"';
    message += SUPPORTED_ALGORITHMS[i];
    message += '"';
  }
  message += ']';
  return message;
}

}  // namespace tessara::engine
