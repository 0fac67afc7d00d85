#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "tessara/core/chunk_memory.hpp"
#include "tessara/core/concept.hpp"
#include "tessara/engine/run_control.hpp"
#include "tessara/engine/walk_task.hpp"

// Units of a walk that runs outside this process (other processes, other
// machines): a WalkTask written as bytes, run for a budget of concepts, and
// what it leaves unfinished handed back as further units.
namespace tessara::engine {

// The bytes of a task: a header of four little-endian uint32 (a format tag,
// the kind, the start attribute, the number of inherited facts), then the
// extent and intent, and the facts as (uint32, uint32, uint64). The extent
// and intent are written as words (uint64) or, when that is shorter, as
// their member counts and members (uint32, ascending); the tag tells which.
std::vector<std::uint8_t> encode_task(const WalkTask& task);

// The task written by encode_task for a context of this shape, or what is
// wrong with the bytes (a unit altered or written for another context).
std::expected<WalkTask, std::string> decode_task(std::span<const std::uint8_t> bytes, std::uint64_t n_objects,
                                                 std::uint64_t n_attributes);

// What running one unit gives: its concepts (the unit's concept and as much
// of its subtree as the budget allowed, in the walk's order) and the rest of
// the subtree as tasks, in the order their concepts come after these.
struct UnitResult {
  core::ConceptList concepts;
  std::vector<WalkTask> rest;
};

// Runs `task` on one thread. Once `budget` concepts are listed (0: no
// budget) the walk gives away every child still waiting, at each checkpoint,
// until none is left on its path; so a unit ends soon after its budget and
// the same unit with the same budget always ends at the same place. The
// control's pulse and stop flag are honoured as in any run, and its
// max_concepts applies to this unit's own concepts. A smaller
// checkpoint_work splits more finely past the budget. With a recycler, the
// unit's concepts are written into chunks kept from earlier units (a worker
// runs many units one after another), and give them back when freed.
std::expected<UnitResult, RunStop> run_unit(const WalkData& data, std::uint64_t min_support, const WalkTask& task,
                                            std::uint64_t budget, RunControl& control,
                                            std::uint64_t checkpoint_work = RunControl::kWorkPerCheckpoint,
                                            const std::shared_ptr<core::ChunkRecycler>& recycler = nullptr);

}  // namespace tessara::engine
