#include "tessara/engine/generation_event.hpp"

#include "tessara/trace/trace.hpp"

namespace tessara::engine {

void emit_generation_complete(std::string_view target, std::string_view algorithm, const core::ConceptLattice& lattice,
                              const core::Context& context) {
  emit_generation_complete(target, algorithm, lattice, context.n_objects(), context.n_attributes());
}

void emit_generation_complete(std::string_view target, std::string_view algorithm, const core::ConceptLattice& lattice,
                              std::uint64_t n_objects, std::uint64_t n_attributes) {
  trace::emit(target, "concept generation complete", trace::field("algorithm", algorithm),
              trace::field("concepts", static_cast<std::uint64_t>(lattice.concepts.size())),
              trace::field("objects", n_objects), trace::field("attributes", n_attributes));
}

}  // namespace tessara::engine
