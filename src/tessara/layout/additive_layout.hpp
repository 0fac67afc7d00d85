#pragma once

#include <span>

#include "tessara/layout/concept_facts.hpp"
#include "tessara/layout/drawing.hpp"

namespace tessara::layout {

// An additive drawing, as the classic FCA diagram editors make them: every
// meet-irreducible attribute concept (one upper cover) gets a vector, and a
// concept sits at the sum of the vectors of the irreducible attributes in its
// intent (attributes sharing an attribute concept count once). A concept below
// another has a strictly larger sum of such attributes, and every vector
// points down, so every edge runs downward; edges are straight. The vectors
// are read off a layered drawing of the same concepts (each attribute
// concept's offset from its upper cover there), so the additive drawing
// keeps its left-to-right order; unlike the layered one it shows the
// lattice's structure as parallelograms, and distinct concepts may meet.
// The vectors' sideways parts are then searched for a drawing no wider than
// the layered one with fewer crossings and fewer neighbours too close for
// their labels (each concept's labels reach half_widths[c] to either side),
// as far as a fixed work budget goes.
Drawing additive_layout(const DiagramSource& source, const ConceptFacts& facts, const Drawing& layered,
                        std::span<const double> half_widths);

}  // namespace tessara::layout
