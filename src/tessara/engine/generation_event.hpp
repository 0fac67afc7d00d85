#pragma once

#include <cstdint>
#include <string_view>

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"

namespace tessara::engine {

// The one trace event every enumeration emits when its concept list is complete.
void emit_generation_complete(std::string_view target, std::string_view algorithm, const core::ConceptLattice& lattice,
                              const core::Context& context);
// The same for a context of the given size that is not held packed.
void emit_generation_complete(std::string_view target, std::string_view algorithm, const core::ConceptLattice& lattice,
                              std::uint64_t n_objects, std::uint64_t n_attributes);

}  // namespace tessara::engine
