#include "tessara/engine/association_rules.hpp"

#include <algorithm>
#include <bit>
#include <cmath>

#include "tessara/core/columns.hpp"
#include "tessara/core/fault.hpp"
#include "tessara/core/packed_intents.hpp"
#include "tessara/engine/run_control.hpp"

namespace tessara::engine {
namespace {

using Word = std::uint64_t;

bool meets(std::span<const Word> x, std::span<const Word> y) {
  for (std::size_t w = 0; w < x.size(); ++w)
    if ((x[w] & y[w]) != 0) return true;
  return false;
}

bool includes(std::span<const Word> x, std::span<const Word> y) {
  for (std::size_t w = 0; w < x.size(); ++w)
    if ((y[w] & ~x[w]) != 0) return false;
  return true;
}

// |S'| for attribute sets S given as packed words: from the packed columns of
// a context, or from the object lists of a sparse incidence (the shortest
// list, filtered by the others), which never builds objects x attributes bits.
class SetSupport {
 public:
  explicit SetSupport(const core::Context& context)
      : columns_(context), n_objects_(context.n_objects()), extent_(columns_.words_per_column()) {}
  explicit SetSupport(const core::SparseIncidence& incidence)
      : incidence_(&incidence), n_objects_(incidence.n_objects()) {}

  std::uint64_t n_attributes() const noexcept {
    return incidence_ != nullptr ? incidence_->n_attributes() : columns_.n_attributes();
  }

  std::uint64_t of(std::span<const Word> set) {
    return incidence_ != nullptr ? listed_support(set) : packed_support(set);
  }

 private:
  std::uint64_t packed_support(std::span<const Word> set) {
    bool first = true;
    core::for_each_bit(set, [&](std::uint32_t m) {
      const auto column = columns_.column(m);
      if (first)
        std::copy(column.begin(), column.end(), extent_.begin());
      else
        for (std::size_t w = 0; w < extent_.size(); ++w) extent_[w] &= column[w];
      first = false;
    });
    return first ? n_objects_ : core::count_bits(extent_);
  }

  std::uint64_t listed_support(std::span<const Word> set) {
    members_.clear();
    core::for_each_bit(set, [&](std::uint32_t m) { members_.push_back(m); });
    if (members_.empty()) return n_objects_;
    const auto shortest = std::min_element(members_.begin(), members_.end(), [&](std::uint32_t a, std::uint32_t b) {
      return incidence_->column(a).size() < incidence_->column(b).size();
    });
    const auto start = incidence_->column(*shortest);
    objects_.assign(start.begin(), start.end());
    for (const std::uint32_t m : members_) {
      if (m == *shortest || objects_.empty()) continue;
      const auto column = incidence_->column(m);
      std::size_t kept = 0;
      auto from = column.begin();
      for (const std::uint32_t g : objects_) {
        from = std::lower_bound(from, column.end(), g);
        if (from == column.end()) break;
        if (*from == g) objects_[kept++] = g;
      }
      objects_.resize(kept);
    }
    return objects_.size();
  }

  core::AttributeColumns columns_;
  const core::SparseIncidence* incidence_ = nullptr;
  std::uint64_t n_objects_ = 0;
  std::vector<Word> extent_;
  std::vector<std::uint32_t> members_;
  std::vector<std::uint32_t> objects_;
};

class RuleWalk {
 public:
  RuleWalk(SetSupport& support, const core::ConceptList& concepts, const core::CoverGraph& graph,
           const RuleConstraints& constraints, RunControl& control)
      : control_(control),
        concepts_(concepts),
        intents_(concepts),
        graph_(graph),
        constraints_(constraints),
        support_(support),
        stride_(concepts.intent_stride()),
        sizes_(concepts.size()),
        added_(stride_) {
    for (std::size_t i = 0; i < concepts.size(); ++i) sizes_[i] = concepts.extent_size(i);
  }

  // Whether rules may start at concept x: its intent obeys the premise
  // constraints and leaves room for the required conclusion attributes.
  bool premise_allowed(std::uint32_t x) const {
    const auto premise = intents_[x];
    return core::count_bits(premise) <= constraints_.max_premise &&
           includes(premise, constraints_.premise_includes.words()) &&
           !meets(premise, constraints_.premise_excludes.words()) &&
           !meets(premise, constraints_.conclusion_includes.words());
  }

  bool confident(std::uint32_t x, std::uint32_t y) const {
    return static_cast<double>(sizes_[y]) / static_cast<double>(sizes_[x]) >= constraints_.min_confidence;
  }

  // Y \ X into added_; false when it meets an excluded conclusion attribute
  // (and then so does every Y further down).
  bool conclusion_clear(std::uint32_t x, std::uint32_t y) {
    const auto premise = intents_[x];
    const auto whole = intents_[y];
    for (std::size_t w = 0; w < stride_; ++w) added_[w] = whole[w] & ~premise[w];
    return !meets(added_, constraints_.conclusion_excludes.words());
  }

  // Adds x -> y when the conclusion (already in added_) holds the required attributes.
  void emit(std::uint32_t x, std::uint32_t y, std::vector<AssociationRule>& out) {
    if (!includes(added_, constraints_.conclusion_includes.words())) return;
    out.push_back(AssociationRule{x, y, sizes_[y], sizes_[x], conclusion_support()});
  }

  // Both walks return false when the run was stopped (the rules so far are then partial).
  bool luxenburger(std::vector<AssociationRule>& out) {
    for (std::uint32_t x = 0; x < concepts_.size(); ++x) {
      if (!checkpoint(out.size())) return false;
      if (!premise_allowed(x)) continue;
      for (const std::uint32_t y : graph_.lower(x))
        if (confident(x, y) && conclusion_clear(x, y)) emit(x, y, out);
    }
    return checkpoint(out.size(), true);
  }

  // Every concept below x, walked down the cover edges once each, the walk
  // ending wherever the confidence or the excluded attributes rule out all
  // that lies further down.
  bool all(std::vector<AssociationRule>& out) {
    std::vector<std::uint32_t> seen(concepts_.size(), 0);
    std::vector<std::uint32_t> stack;
    for (std::uint32_t x = 0; x < concepts_.size(); ++x) {
      if (!premise_allowed(x)) continue;
      const std::size_t first = out.size();
      const std::uint32_t stamp = x + 1;
      stack.assign(1, x);
      while (!stack.empty()) {
        if (!checkpoint(out.size())) return false;
        const std::uint32_t at = stack.back();
        stack.pop_back();
        for (const std::uint32_t y : graph_.lower(at)) {
          if (seen[y] == stamp) continue;
          seen[y] = stamp;
          if (!confident(x, y) || !conclusion_clear(x, y)) continue;
          emit(x, y, out);
          stack.push_back(y);
        }
      }
      std::sort(out.begin() + static_cast<std::ptrdiff_t>(first), out.end(),
                [](const AssociationRule& a, const AssociationRule& b) { return a.conclusion < b.conclusion; });
    }
    return checkpoint(out.size(), true);
  }

 private:
  // Every kStepsPerBeat steps (or now, when `final`): reports the rules found so far to the control and
  // lets its pulse run; false once the run is stopped.
  bool checkpoint(std::size_t found, bool final = false) {
    if (!final && ++steps_ % kStepsPerBeat != 0) return true;
    control_.count(found - counted_);
    counted_ = found;
    return final ? control_.pulse_now() : control_.beat();
  }

  static constexpr std::uint64_t kStepsPerBeat = 1024;
  // |(Y \ X)'| for the conclusion in added_.
  std::uint64_t conclusion_support() { return support_.of(added_); }

  RunControl& control_;
  std::uint64_t steps_ = 0;
  std::size_t counted_ = 0;
  const core::ConceptList& concepts_;
  const core::PackedIntents intents_;
  const core::CoverGraph& graph_;
  const RuleConstraints& constraints_;
  SetSupport& support_;
  const std::size_t stride_;
  std::vector<std::uint64_t> sizes_;
  std::vector<Word> added_;
};

std::optional<std::vector<AssociationRule>> rules_of(SetSupport& support, const core::ConceptList& concepts,
                                                     const core::CoverGraph& graph, RuleBasis basis,
                                                     const RuleConstraints& constraints, RunControl& control) {
  if (concepts.size() != graph.size() || concepts.n_attributes() != support.n_attributes())
    throw core::InternalFault(core::fault_text::kSetCapacitiesDiffer);
  for (const core::AttributeSet* set : {&constraints.premise_includes, &constraints.premise_excludes,
                                        &constraints.conclusion_includes, &constraints.conclusion_excludes})
    if (set->capacity() != support.n_attributes()) throw core::InternalFault(core::fault_text::kSetCapacitiesDiffer);
  std::vector<AssociationRule> rules;
  if (concepts.empty()) return rules;
  RuleWalk walk(support, concepts, graph, constraints, control);
  const bool finished = basis == RuleBasis::Luxenburger ? walk.luxenburger(rules) : walk.all(rules);
  if (!finished) return std::nullopt;
  return rules;
}

}  // namespace

RuleConstraints RuleConstraints::none(std::uint64_t n_attributes, double min_confidence) {
  const core::AttributeSet nothing = core::AttributeSet::empty(n_attributes);
  return RuleConstraints{min_confidence, std::numeric_limits<std::uint64_t>::max(), nothing, nothing, nothing, nothing};
}

RuleMeasures rule_measures(const AssociationRule& rule, std::uint64_t n_objects) noexcept {
  const auto n = static_cast<double>(n_objects);
  const double confidence = static_cast<double>(rule.support) / static_cast<double>(rule.premise_support);
  const double conclusion_share = static_cast<double>(rule.conclusion_support) / n;
  const double lift = rule.conclusion_support == 0 ? std::nan("") : confidence / conclusion_share;
  const double leverage =
      static_cast<double>(rule.support) / n - static_cast<double>(rule.premise_support) / n * conclusion_share;
  const double conviction =
      confidence >= 1.0 ? std::numeric_limits<double>::infinity() : (1.0 - conclusion_share) / (1.0 - confidence);
  return RuleMeasures{confidence, lift, leverage, conviction};
}

std::vector<AssociationRule> association_rules(const core::Context& context, const core::ConceptList& concepts,
                                               const core::CoverGraph& graph, RuleBasis basis,
                                               const RuleConstraints& constraints) {
  RunControl control;
  return *association_rules(context, concepts, graph, basis, constraints, control);
}

std::optional<std::vector<AssociationRule>> association_rules(const core::Context& context,
                                                              const core::ConceptList& concepts,
                                                              const core::CoverGraph& graph, RuleBasis basis,
                                                              const RuleConstraints& constraints,
                                                              RunControl& control) {
  SetSupport support(context);
  return rules_of(support, concepts, graph, basis, constraints, control);
}

std::optional<std::vector<AssociationRule>> association_rules(const core::SparseIncidence& incidence,
                                                              const core::ConceptList& concepts,
                                                              const core::CoverGraph& graph, RuleBasis basis,
                                                              const RuleConstraints& constraints,
                                                              RunControl& control) {
  SetSupport support(incidence);
  return rules_of(support, concepts, graph, basis, constraints, control);
}

}  // namespace tessara::engine
