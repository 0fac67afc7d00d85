// libFuzzer target for the engine: the fuzzer's bytes describe a small context,
// and every fast kernel must agree with the others and with the references in
// engine_references.hpp. The first byte picks the shape:
//  - narrow (high bit clear): at most 31 objects and 8 attributes, one bit of
//    input per cell; concepts and the canonical base are checked against brute
//    force;
//  - wide (high bit set): up to 139 objects and 139 attributes, so sets span
//    one to three words, with the crosses given as (object, attribute) byte
//    pairs; the algorithms are checked against each other.
// The covering relation is checked against the direct scan in both shapes.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "engine_references.hpp"
#include "tessara/core/covering.hpp"
#include "tessara/engine/canonical_base.hpp"
#include "tessara/engine/catalogue.hpp"

namespace tessara::fuzzing {
namespace {

using testing::Mask;
using Words = std::vector<std::uint64_t>;

// The direct covering scan is cubic: lattices larger than this skip it.
constexpr std::size_t kMaxConceptsForCovering = 200;
constexpr std::size_t kMaxAttributesForBase = 16;

void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "engine fuzzer: %s\n", what);
  std::abort();
}

// Hands out the input's bits one at a time, zeros once it runs out.
class BitReader {
 public:
  explicit BitReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool next() {
    const std::size_t byte = position_ / 8;
    const unsigned bit = position_ % 8;
    ++position_;
    return byte < bytes_.size() && (bytes_[byte] >> bit & 1) != 0;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

std::vector<std::pair<Words, Words>> sorted_words(const core::ConceptList& concepts) {
  std::vector<std::pair<Words, Words>> out;
  out.reserve(concepts.size());
  for (std::size_t i = 0; i < concepts.size(); ++i) {
    Words extent(concepts.extent_stride());
    concepts.extent_into(i, extent);
    Words intent(concepts.intent_stride());
    concepts.intent_into(i, intent);
    out.emplace_back(std::move(extent), std::move(intent));
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::pair<Mask, Mask>> sorted_masks(const core::ConceptList& concepts) {
  std::vector<std::pair<Mask, Mask>> out;
  for (const core::ConceptView c : concepts) out.emplace_back(testing::mask_of(c.extent), testing::mask_of(c.intent));
  std::sort(out.begin(), out.end());
  return out;
}

// The three algorithms find the same concepts, top concept first; FCbO and
// In-Close5 in the same order, NextClosure in strictly increasing lectic order.
// Returns FCbO's lattice.
core::ConceptLattice check_algorithms_agree(const core::Context& context) {
  core::ConceptLattice fcbo = engine::algorithm_by_name("fcbo")->compute(context);
  const core::ConceptLattice in_close = engine::algorithm_by_name("in-close-5")->compute(context);
  const core::ConceptLattice next_closure = engine::algorithm_by_name("next-closure")->compute(context);
  require(!fcbo.concepts.empty(), "no concepts");
  require(fcbo.concepts == in_close.concepts, "fcbo and in-close-5 differ");
  require(sorted_words(fcbo.concepts) == sorted_words(next_closure.concepts), "fcbo and next-closure differ");
  const core::ObjectSet all_objects = core::ObjectSet::full(context.n_objects());
  for (const core::ConceptList* list : {&std::as_const(fcbo.concepts), &next_closure.concepts}) {
    require((*list)[0].extent.to_set() == all_objects, "the first concept is not the top concept");
  }
  for (std::size_t i = 0; i < next_closure.concepts.size(); ++i) {
    const core::ConceptView c = next_closure.concepts[i];
    require(context.intent_of(c.extent.to_set()) == c.intent.to_set(), "an intent is not the extent's intent");
    require(context.extent_of(c.intent.to_set()) == c.extent.to_set(), "an extent is not the intent's extent");
  }
  require(fcbo.concepts == reference::close_by_one_concepts(context), "fcbo differs from the reference walk");
  require(next_closure.concepts == reference::lectic_concepts(context), "next-closure differs from the reference");
  return fcbo;
}

bool same_implications(const std::vector<core::Implication>& a, const std::vector<core::Implication>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (!(a[k].premise == b[k].premise) || !(a[k].conclusion == b[k].conclusion) || a[k].support != b[k].support ||
        a[k].confidence != b[k].confidence)
      return false;
  }
  return true;
}

void check_covering(core::ConceptLattice& lattice) {
  if (lattice.concepts.size() > kMaxConceptsForCovering) return;
  const std::vector<core::CoverEdge> expected = reference::covering(lattice.concepts);
  require(core::covering_edges(lattice) == expected, "covering edges differ from the direct scan");
}

void check_narrow(std::span<const std::uint8_t> bytes) {
  const std::size_t n_objects = bytes[0] % 32;
  const std::size_t n_attributes = bytes.size() > 1 ? bytes[1] % 9 : 0;
  BitReader bits(bytes.size() > 2 ? bytes.subspan(2) : std::span<const std::uint8_t>());
  testing::Oracle oracle{testing::Rows(n_objects, std::vector<bool>(n_attributes)), n_attributes};
  for (auto& row : oracle.rows)
    for (std::size_t m = 0; m < n_attributes; ++m) row[m] = bits.next();
  const core::Context context = testing::context_from_rows(oracle.rows, n_attributes);

  core::ConceptLattice lattice = check_algorithms_agree(context);
  auto expected = reference::concepts(oracle);
  std::sort(expected.begin(), expected.end());
  require(sorted_masks(lattice.concepts) == expected, "concepts differ from brute force");

  std::vector<Mask> pseudo_intents = reference::pseudo_intents(oracle);
  std::sort(pseudo_intents.begin(), pseudo_intents.end(), testing::lectically_before);
  const std::vector<core::Implication> base = engine::canonical_base(context);
  require(base.size() == pseudo_intents.size(), "canonical base size differs from brute force");
  for (std::size_t k = 0; k < base.size(); ++k) {
    const Mask premise = testing::mask_of(base[k].premise);
    require(premise == pseudo_intents[k], "a premise differs from the brute-force pseudo-intent");
    require(testing::mask_of(base[k].conclusion) == oracle.closure(premise), "a conclusion is not the closure");
    require(base[k].support == static_cast<std::uint64_t>(std::popcount(oracle.extent(premise))),
            "a support is not the premise's extent size");
    require(base[k].confidence == 1.0, "a confidence is not 1");
  }
  require(same_implications(base, reference::canonical_base(context)), "canonical base differs from the reference");
  check_covering(lattice);
}

void check_wide(std::span<const std::uint8_t> bytes) {
  const std::size_t n_objects = bytes.size() > 1 ? bytes[1] % 140 : 0;
  const std::size_t n_attributes = bytes.size() > 2 ? bytes[2] % 140 : 0;
  testing::Rows rows(n_objects, std::vector<bool>(n_attributes));
  if (n_objects > 0 && n_attributes > 0) {
    for (std::size_t k = 3; k + 1 < bytes.size(); k += 2) {
      const std::size_t g = bytes[k] % n_objects;
      const std::size_t m = bytes[k + 1] % n_attributes;
      rows[g][m] = !rows[g][m];
    }
  }
  const core::Context context = testing::context_from_rows(rows, n_attributes);
  core::ConceptLattice lattice = check_algorithms_agree(context);
  // The reference base closes every candidate by passes over the whole list,
  // so it is asked only where the base stays small.
  if (n_attributes <= kMaxAttributesForBase)
    require(same_implications(engine::canonical_base(context), reference::canonical_base(context)),
            "canonical base differs from the reference");
  check_covering(lattice);
}

}  // namespace
}  // namespace tessara::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::span<const std::uint8_t> bytes(data, size);
  if ((bytes[0] & 0x80) == 0) {
    tessara::fuzzing::check_narrow(bytes);
  } else {
    tessara::fuzzing::check_wide(bytes);
  }
  return 0;
}
