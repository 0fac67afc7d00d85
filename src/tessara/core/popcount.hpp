#pragma once

#include <cstdint>
#include <span>

namespace tessara::core {

// The number of set bits in the words. Uses the POPCNT instruction where the
// processor has it (chosen once at load time), and a portable count elsewhere,
// so the module needs no more than the baseline x86-64 instruction set.
std::uint64_t count_bits(std::span<const std::uint64_t> words) noexcept;

}  // namespace tessara::core
