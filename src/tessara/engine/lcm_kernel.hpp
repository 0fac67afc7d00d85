#pragma once

#include <cstdint>
#include <memory>

#include "tessara/engine/walk_task.hpp"

namespace tessara::engine {

// The LCM-class walk over occurrence lists and conditional databases (see
// lcm_kernel.cpp); its tasks are WalkKind::kLcm, its data WalkData::lcm.
std::unique_ptr<TaskWalker> make_lcm_walker(const WalkData& data, std::uint64_t min_support);

}  // namespace tessara::engine
