#pragma once

#include <cstdint>
#include <span>

#include "tessara/core/context.hpp"

namespace tessara::core {

// The context of the chosen objects and attributes, in the order given: object
// k of the result is objects[k] of `context`, attribute l is attributes[l]. An
// index may be chosen more than once. Precondition: every index is in range
// (an internal fault otherwise).
Context subcontext(const Context& context, std::span<const std::uint32_t> objects,
                   std::span<const std::uint32_t> attributes);

// The dual context: the attributes become the objects and the objects the
// attributes, with the incidence read the other way.
Context dual(const Context& context);

}  // namespace tessara::core
