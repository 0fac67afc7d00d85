#include "tessara/lab/rules_kernels.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "tessara/core/cover_graph.hpp"
#include "tessara/engine/association_rules.hpp"
#include "tessara/engine/canonical_base.hpp"
#include "tessara/engine/minimal_generators.hpp"
#include "tessara/engine/proper_premises.hpp"
#include "tessara/engine/run_control.hpp"
#include "tessara/engine/stability.hpp"
#include "tessara/lab/buffers.hpp"
#include "tessara/lab/count_arguments.hpp"
#include "tessara/lab/kernel_context.hpp"
#include "tessara/lab/kernel_lattice.hpp"
#include "tessara/lab/lab_pulse.hpp"
#include "tessara/lab/set_tuple_cache.hpp"
#include "tessara/lab/signal_checkpoint.hpp"
#include "tessara/python/errors.hpp"
#include "tessara/python/gil.hpp"
#include "tessara/python/py_ref.hpp"

namespace tessara::lab {
namespace {

using python::guarded;
using python::PyRef;
using Word = std::uint64_t;

// A tuple of new references; nullptr with an exception set (the items are released).
PyObject* tuple_of(std::initializer_list<PyObject*> items) {
  std::vector<PyRef> owned;
  for (PyObject* item : items) owned.push_back(PyRef::steal(item));
  for (const PyRef& item : owned)
    if (!item) return nullptr;
  PyRef tuple = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(owned.size())));
  if (!tuple) return nullptr;
  for (std::size_t k = 0; k < owned.size(); ++k)
    PyTuple_SetItem(tuple.get(), static_cast<Py_ssize_t>(k), owned[k].release());
  return tuple.release();
}

// The pulse of a run on the calling thread: Python's signal handlers, so
// Ctrl-C ends the run (KeyboardInterrupt left pending).
engine::RunControl::Pulse interrupt_pulse(python::GilRelease& unlocked) {
  return [&unlocked](std::uint64_t) { return unlocked.check_signals(); };
}

// An attribute set given from Python as bytes of uint32 indices.
std::optional<core::AttributeSet> attribute_set_argument(const char* parameter, PyObject* object,
                                                         std::uint64_t n_attributes) {
  const auto indices = array_argument<std::uint32_t>(parameter, object);
  if (!indices) return std::nullopt;
  core::AttributeSet set = core::AttributeSet::empty(n_attributes);
  for (const std::uint32_t m : *indices) {
    if (m >= n_attributes) {
      PyErr_Format(PyExc_IndexError, "argument '%s': attribute index %u out of range for %llu attributes", parameter,
                   m, static_cast<unsigned long long>(n_attributes));
      return std::nullopt;
    }
    set.insert(m);
  }
  return set;
}

// implications(context, min_support, basis) -> (premises, conclusions, supports):
// premises and conclusions as packed words (AttributeSet::word_count(n)
// uint64 per set), each conclusion without its premise's attributes;
// supports as uint64. basis is "canonical" or "proper-premise".
PyObject* implications(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* context_object = nullptr;
    std::uint64_t min_support = 0;
    const char* basis = nullptr;
    if (!PyArg_ParseTuple(args, "OO&s:implications", &context_object, uint64_converter, &min_support, &basis))
      return nullptr;
    const auto* context = kernel_context_argument("context", context_object);
    if (context == nullptr) return nullptr;
    const std::string_view name(basis);
    if (name != "canonical" && name != "proper-premise")
      return python::raise_value_error("unknown basis '" + std::string(name) + "'");
    std::vector<Word> premises;
    std::vector<Word> conclusions;
    std::vector<std::uint64_t> supports;
    bool finished = false;
    {
      python::GilRelease unlocked;
      engine::RunControl control(engine::RunLimits{.min_support = min_support}, interrupt_pulse(unlocked));
      const auto keep = [&](const core::AttributeSet& premise, const core::AttributeSet& conclusion,
                            std::uint64_t support) {
        const auto p = premise.words();
        const auto c = conclusion.words();
        premises.insert(premises.end(), p.begin(), p.end());
        for (std::size_t w = 0; w < c.size(); ++w) conclusions.push_back(c[w] & ~p[w]);
        supports.push_back(support);
      };
      if (name == "canonical") {
        if (const auto base = engine::canonical_base(**context, control)) {
          for (const core::Implication& implication : *base)
            keep(implication.premise, implication.conclusion, implication.support);
          finished = true;
        }
      } else if (const auto base = engine::proper_premise_base(**context, control)) {
        for (const engine::DirectImplication& implication : *base)
          keep(implication.premise, implication.conclusion, implication.support);
        finished = true;
      }
    }
    if (!finished) return nullptr;  // the interrupt left its exception
    return tuple_of({bytes_of(std::span<const Word>(premises)), bytes_of(std::span<const Word>(conclusions)),
                     bytes_of(std::span<const std::uint64_t>(supports))});
  });
}

// The rules as the columns association_rules returns, built while the run's
// control is beaten (a basis of many millions of rules takes seconds to turn
// into columns as well).
struct RuleColumns {
  std::vector<std::uint32_t> premise_concepts, conclusion_concepts;
  std::vector<std::uint64_t> supports, premise_supports, conclusion_supports;
  std::vector<double> confidence, lift, leverage, conviction;
  // The premises and the conclusions (without the premise) as index lists:
  // rule k's members lie between offsets[k] and offsets[k + 1]. Lists rather
  // than packed words, since on transaction data a rule names a few of
  // thousands of attributes.
  std::vector<std::uint64_t> premise_offsets{0}, conclusion_offsets{0};
  std::vector<std::uint32_t> premises, conclusions;

  // False when the control stopped the run.
  bool fill(const std::vector<engine::AssociationRule>& rules, const core::ConceptList& concepts,
            std::uint64_t n_objects, engine::RunControl& control) {
    constexpr std::size_t kRulesPerBeat = 16384;
    for (std::size_t k = 0; k < rules.size(); ++k) {
      if (k % kRulesPerBeat == 0 && !control.beat()) return false;
      const engine::AssociationRule& rule = rules[k];
      premise_concepts.push_back(rule.premise);
      conclusion_concepts.push_back(rule.conclusion);
      supports.push_back(rule.support);
      premise_supports.push_back(rule.premise_support);
      conclusion_supports.push_back(rule.conclusion_support);
      const engine::RuleMeasures measures = engine::rule_measures(rule, n_objects);
      confidence.push_back(measures.confidence);
      lift.push_back(measures.lift);
      leverage.push_back(measures.leverage);
      conviction.push_back(measures.conviction);
      // The conclusion's attributes are the whole intent's outside the premise:
      // both ascending, so one merge finds them.
      const std::size_t first = premises.size();
      concepts.for_each_intent_member(rule.premise, [&](std::uint32_t m) { premises.push_back(m); });
      std::size_t at = first;
      concepts.for_each_intent_member(rule.conclusion, [&](std::uint32_t m) {
        while (at < premises.size() && premises[at] < m) ++at;
        if (at == premises.size() || premises[at] != m) conclusions.push_back(m);
      });
      premise_offsets.push_back(premises.size());
      conclusion_offsets.push_back(conclusions.size());
    }
    return control.pulse_now();
  }

  PyObject* to_tuple() const {
    return tuple_of({bytes_of(std::span<const std::uint32_t>(premise_concepts)),
                     bytes_of(std::span<const std::uint32_t>(conclusion_concepts)),
                     bytes_of(std::span<const std::uint64_t>(supports)),
                     bytes_of(std::span<const std::uint64_t>(premise_supports)),
                     bytes_of(std::span<const std::uint64_t>(conclusion_supports)),
                     bytes_of(std::span<const double>(confidence)), bytes_of(std::span<const double>(lift)),
                     bytes_of(std::span<const double>(leverage)), bytes_of(std::span<const double>(conviction)),
                     bytes_of(std::span<const std::uint64_t>(premise_offsets)),
                     bytes_of(std::span<const std::uint32_t>(premises)),
                     bytes_of(std::span<const std::uint64_t>(conclusion_offsets)),
                     bytes_of(std::span<const std::uint32_t>(conclusions))});
  }
};

// association_rules(lattice, basis, min_confidence, max_premise,
// premise_includes, premise_excludes, conclusion_includes,
// conclusion_excludes, progress=None) -> (premise concepts uint32, conclusion
// concepts uint32, support, premise support, conclusion support (uint64),
// confidence, lift, leverage, conviction (float64), premise offsets (uint64)
// and members (uint32), conclusion offsets and members (the conclusion
// without the premise), as list_names reads them). The attribute sets
// come as bytes of uint32 indices; max_premise < 0 means no limit. Ctrl-C
// stops it; progress, when callable, is called with the running count of rules.
PyObject* association_rules(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* lattice_object = nullptr;
    const char* basis = nullptr;
    double min_confidence = 0.0;
    long long max_premise = -1;
    PyObject* sets[4] = {nullptr, nullptr, nullptr, nullptr};
    PyObject* progress = Py_None;
    if (!PyArg_ParseTuple(args, "OsdLOOOO|O:association_rules", &lattice_object, &basis, &min_confidence,
                          &max_premise, &sets[0], &sets[1], &sets[2], &sets[3], &progress))
      return nullptr;
    const KernelLattice* lattice = kernel_lattice_argument("lattice", lattice_object);
    if (lattice == nullptr) return nullptr;
    const std::string_view name(basis);
    if (name != "luxenburger" && name != "all")
      return python::raise_value_error("unknown basis '" + std::string(name) + "'");
    if (!(min_confidence >= 0.0 && min_confidence <= 1.0))
      return python::raise_value_error("min_confidence must lie in [0, 1]");
    const std::uint64_t n = lattice->context->n_attributes();
    const char* parameters[4] = {"premise_includes", "premise_excludes", "conclusion_includes", "conclusion_excludes"};
    std::optional<core::AttributeSet> parsed[4];
    for (int k = 0; k < 4; ++k) {
      parsed[k] = attribute_set_argument(parameters[k], sets[k], n);
      if (!parsed[k]) return nullptr;
    }
    const engine::RuleConstraints constraints{
        min_confidence,
        max_premise < 0 ? std::numeric_limits<std::uint64_t>::max() : static_cast<std::uint64_t>(max_premise),
        *parsed[0], *parsed[1], *parsed[2], *parsed[3]};
    // On a context stored sparse the conclusions' supports come from its object lists, not from packed columns.
    const core::Context* packed = lattice->sparse ? nullptr : lattice->packed_context();
    if (!lattice->sparse && packed == nullptr) return nullptr;
    RuleColumns columns;
    bool finished = false;
    {
      python::GilRelease unlocked;
      engine::RunControl control(engine::RunLimits{}, LabPulse(unlocked, progress));
      const core::ConceptList& concepts = lattice->concepts();
      const core::CoverGraph graph(concepts.size(), lattice->edges());
      const engine::RuleBasis chosen = name == "all" ? engine::RuleBasis::All : engine::RuleBasis::Luxenburger;
      const auto rules =
          lattice->sparse ? engine::association_rules(*lattice->sparse, concepts, graph, chosen, constraints, control)
                          : engine::association_rules(*packed, concepts, graph, chosen, constraints, control);
      finished = rules && columns.fill(*rules, concepts, lattice->context->n_objects(), control);
    }
    if (!finished) return nullptr;  // the pulse left its exception (KeyboardInterrupt, the callable's own)
    return columns.to_tuple();
  });
}

// The concept index of an int argument; nullopt with IndexError or TypeError set.
std::optional<std::uint32_t> concept_argument(const KernelLattice& lattice, PyObject* argument) {
  const long long index = PyLong_AsLongLong(argument);
  if (index == -1 && PyErr_Occurred()) return std::nullopt;
  if (index < 0 || static_cast<unsigned long long>(index) >= lattice.concepts().size()) {
    PyErr_Format(PyExc_IndexError, "concept index %lld out of range for %zu concepts", index,
                 lattice.concepts().size());
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(index);
}

// generators(lattice, i) -> the keys of concept i as packed words, smallest first.
PyObject* generators(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* lattice_object = nullptr;
    PyObject* index_object = nullptr;
    if (!PyArg_ParseTuple(args, "OO:generators", &lattice_object, &index_object)) return nullptr;
    const KernelLattice* lattice = kernel_lattice_argument("lattice", lattice_object);
    if (lattice == nullptr) return nullptr;
    const auto index = concept_argument(*lattice, index_object);
    if (!index) return nullptr;
    std::vector<Word> keys;
    bool stopped = false;
    {
      python::GilRelease unlocked;
      engine::RunControl control(engine::RunLimits{}, interrupt_pulse(unlocked));
      const core::CoverGraph graph(lattice->concepts().size(), lattice->edges());
      engine::GeneratorSearch search(lattice->concepts(), graph, &control);
      search.keys_of(*index, keys);
      stopped = control.stopped();
    }
    if (stopped) return nullptr;  // the interrupt left its exception
    return bytes_of(std::span<const Word>(keys));
  });
}

// all_generators(lattice) -> (first, keys): the keys of concept i are
// keys[first[i] .. first[i + 1]) (first as uint64, n_concepts + 1 of them),
// each as packed words.
PyObject* all_generators(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* lattice_object = nullptr;
    if (!PyArg_ParseTuple(args, "O:all_generators", &lattice_object)) return nullptr;
    const KernelLattice* lattice = kernel_lattice_argument("lattice", lattice_object);
    if (lattice == nullptr) return nullptr;
    std::optional<engine::GeneratorTable> table;
    {
      python::GilRelease unlocked;
      engine::RunControl control(engine::RunLimits{}, interrupt_pulse(unlocked));
      const core::CoverGraph graph(lattice->concepts().size(), lattice->edges());
      table = engine::minimal_generators(lattice->concepts(), graph, control);
    }
    if (!table) return nullptr;  // the interrupt left its exception
    return tuple_of({bytes_of(std::span<const std::uint64_t>(table->first)),
                     bytes_of(std::span<const Word>(table->words))});
  });
}

// Whether the lattice holds every concept of its context: an iceberg lattice
// lacks the bottom concept (the one whose intent is every attribute), and a
// lattice that has it has every concept above it, so all of them.
bool is_whole(const KernelLattice& lattice) {
  const core::ConceptList& concepts = lattice.concepts();
  for (std::size_t i = concepts.size(); i-- > 0;)
    if (concepts.intent_stride() == 0 || concepts.intent_size(i) == concepts.n_attributes()) return true;
  return false;
}

// A per-concept measure of a whole lattice (the measures read the concepts
// below each concept, which an iceberg lattice leaves out), computed
// without the interpreter lock under a control that Ctrl-C cancels. The
// measure returns nothing when it gave up (None here) or was cancelled
// (the interrupt's exception raised here).
template <typename Measure>
PyObject* lattice_measure(PyObject* lattice_object, Measure&& measure, PyObject* progress = nullptr) {
  const KernelLattice* lattice = kernel_lattice_argument("lattice", lattice_object);
  if (lattice == nullptr) return nullptr;
  if (!is_whole(*lattice))
    return python::raise_value_error("stability needs the whole lattice, not the frequent part of it");
  decltype(measure(*lattice, std::declval<const core::CoverGraph&>(), std::declval<engine::RunControl&>())) values;
  bool cancelled = false;
  {
    python::GilRelease unlocked;
    engine::RunControl control(engine::RunLimits{}, LabPulse(unlocked, progress));
    const core::CoverGraph graph(lattice->concepts().size(), lattice->edges());
    values = measure(*lattice, graph, control);
    cancelled = control.stopped();
  }
  if (cancelled) return nullptr;
  if (!values) Py_RETURN_NONE;
  return bytes_of(std::span<const typename decltype(values)::value_type::value_type>(*values));
}

// exact_stability(lattice, max_visits) -> float64 per concept, or None when
// the count would take more than max_visits visits. progress, a callable,
// gets the number of concepts done, at most every 200 ms.
PyObject* exact_stability(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* lattice_object = nullptr;
    std::uint64_t max_visits = 0;
    PyObject* progress = nullptr;
    if (!PyArg_ParseTuple(args, "OO&|O:exact_stability", &lattice_object, uint64_converter, &max_visits, &progress))
      return nullptr;
    return lattice_measure(
        lattice_object,
        [&](const KernelLattice& lattice, const core::CoverGraph& graph, engine::RunControl& control) {
          return engine::exact_stability(lattice.concepts(), graph, max_visits, control);
        },
        progress);
  });
}

// delta_stability(lattice) -> uint64 per concept.
PyObject* delta_stability(PyObject*, PyObject* lattice_object) {
  return guarded([&]() -> PyObject* {
    return lattice_measure(lattice_object,
                           [](const KernelLattice& lattice, const core::CoverGraph& graph, engine::RunControl&) {
                             return std::optional(engine::delta_stability(lattice.concepts(), graph));
                           });
  });
}

// sampled_stability(lattice, samples, seed, progress=None) -> float64 per
// concept; progress as for exact_stability.
PyObject* sampled_stability(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* lattice_object = nullptr;
    std::uint64_t samples = 0;
    std::uint64_t seed = 0;
    PyObject* progress = nullptr;
    if (!PyArg_ParseTuple(args, "OO&O&|O:sampled_stability", &lattice_object, uint64_converter, &samples,
                          uint64_converter, &seed, &progress))
      return nullptr;
    return lattice_measure(
        lattice_object,
        [&](const KernelLattice& lattice, const core::CoverGraph& graph, engine::RunControl& control) {
          return engine::sampled_stability(lattice.concepts(), graph, samples, seed, control);
        },
        progress);
  });
}

// stability_error_bound(samples, confidence) -> float: Hoeffding's distance.
PyObject* stability_error_bound(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    std::uint64_t samples = 0;
    double confidence = 0.0;
    if (!PyArg_ParseTuple(args, "O&d:stability_error_bound", uint64_converter, &samples, &confidence)) return nullptr;
    if (samples == 0) return python::raise_value_error("samples must be at least 1");
    if (!(confidence > 0.0 && confidence < 1.0)) return python::raise_value_error("confidence must lie in (0, 1)");
    return PyFloat_FromDouble(engine::stability_error_bound(samples, confidence));
  });
}

// set_names(sets, n, names) -> list of tuples: each packed set (word_count(n)
// uint64 words) as the tuple of its members' names, ascending; every tuple
// holds the very str objects of `names`, so a name is never copied, and
// equal sets get the same tuple.
PyObject* set_names(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* sets_object = nullptr;
    std::uint64_t n = 0;
    PyObject* names = nullptr;
    if (!PyArg_ParseTuple(args, "OO&O:set_names", &sets_object, uint64_converter, &n, &names)) return nullptr;
    if (!PyTuple_Check(names) || static_cast<unsigned long long>(PyTuple_Size(names)) != n) {
      PyErr_SetString(PyExc_TypeError, "argument 'names' must be a tuple of n str");
      return nullptr;
    }
    const auto words = array_argument<Word>("sets", sets_object);
    if (!words) return nullptr;
    const std::size_t stride = core::AttributeSet::word_count(n);
    const std::size_t count = stride == 0 ? 0 : words->size() / stride;
    if (stride == 0 ? !words->empty() : words->size() % stride != 0)
      return python::raise_value_error("sets do not hold a whole number of sets");
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(count)));
    if (!list) return nullptr;
    std::vector<std::uint32_t> members;
    SignalCheckpoint checkpoint;
    // Equal sets share one tuple.
    SetTupleCache<Word> made;
    for (std::size_t k = 0; k < count; ++k) {
      const std::span<const Word> set(words->data() + k * stride, stride);
      if (PyObject* known = made.find(set)) {
        if (!checkpoint.pass(stride)) return nullptr;
        Py_INCREF(known);
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), known);
        continue;
      }
      members.clear();
      core::for_each_bit(set, [&](std::uint32_t m) { members.push_back(m); });
      if (!checkpoint.pass(members.size() + stride)) return nullptr;
      if (!members.empty() && members.back() >= n) return python::raise_value_error("a set holds a bit beyond n");
      PyObject* tuple = PyTuple_New(static_cast<Py_ssize_t>(members.size()));
      if (tuple == nullptr) return nullptr;
      for (std::size_t i = 0; i < members.size(); ++i) {
        PyObject* name = PyTuple_GetItem(names, static_cast<Py_ssize_t>(members[i]));
        Py_INCREF(name);
        PyTuple_SetItem(tuple, static_cast<Py_ssize_t>(i), name);
      }
      PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), tuple);
      made.add(set, tuple);
    }
    return list.release();
  });
}

// list_names(offsets, members, names) -> list of tuples: set k is
// members[offsets[k]:offsets[k + 1]] (uint64 offsets from 0, uint32 indices
// into names), as the tuple of those names, in the order given; every tuple
// holds the very str objects of `names`, and equal lists get the same tuple.
PyObject* list_names(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* offsets_object = nullptr;
    PyObject* members_object = nullptr;
    PyObject* names = nullptr;
    if (!PyArg_ParseTuple(args, "OOO:list_names", &offsets_object, &members_object, &names)) return nullptr;
    if (!PyTuple_Check(names)) {
      PyErr_SetString(PyExc_TypeError, "argument 'names' must be a tuple of str");
      return nullptr;
    }
    const auto offsets = array_argument<std::uint64_t>("offsets", offsets_object);
    if (!offsets) return nullptr;
    const auto members = array_argument<std::uint32_t>("members", members_object);
    if (!members) return nullptr;
    const auto n = static_cast<std::uint64_t>(PyTuple_Size(names));
    if (offsets->empty() || offsets->front() != 0 || offsets->back() != members->size() ||
        !std::is_sorted(offsets->begin(), offsets->end()))
      return python::raise_value_error("offsets do not delimit the members");
    for (const std::uint32_t m : *members)
      if (m >= n) return python::raise_value_error("a member is beyond the names");
    const std::size_t count = offsets->size() - 1;
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(count)));
    if (!list) return nullptr;
    SignalCheckpoint checkpoint;
    // Equal lists share one tuple.
    SetTupleCache<std::uint32_t> made;
    for (std::size_t k = 0; k < count; ++k) {
      const std::uint64_t first = (*offsets)[k];
      const std::uint64_t size = (*offsets)[k + 1] - first;
      if (!checkpoint.pass(size + 1)) return nullptr;
      const std::span<const std::uint32_t> set(members->data() + first, size);
      if (PyObject* known = made.find(set)) {
        Py_INCREF(known);
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), known);
        continue;
      }
      PyObject* tuple = PyTuple_New(static_cast<Py_ssize_t>(size));
      if (tuple == nullptr) return nullptr;
      for (std::uint64_t i = 0; i < size; ++i) {
        PyObject* name = PyTuple_GetItem(names, static_cast<Py_ssize_t>(set[i]));
        Py_INCREF(name);
        PyTuple_SetItem(tuple, static_cast<Py_ssize_t>(i), name);
      }
      PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), tuple);
      made.add(set, tuple);
    }
    return list.release();
  });
}

PyMethodDef functions[] = {
    {"implications", implications, METH_VARARGS,
     "implications(context, min_support, basis) -> (premises, conclusions, supports)"},
    {"association_rules", association_rules, METH_VARARGS,
     "association_rules(lattice, basis, min_confidence, max_premise, premise_includes, premise_excludes, "
     "conclusion_includes, conclusion_excludes) -> tuple of column bytes"},
    {"generators", generators, METH_VARARGS, "generators(lattice, i) -> bytes of packed keys"},
    {"all_generators", all_generators, METH_VARARGS, "all_generators(lattice) -> (first, keys)"},
    {"exact_stability", exact_stability, METH_VARARGS,
     "exact_stability(lattice, max_visits, progress=None) -> bytes of float64, or None beyond max_visits"},
    {"sampled_stability", sampled_stability, METH_VARARGS,
     "sampled_stability(lattice, samples, seed, progress=None) -> bytes of float64"},
    {"stability_error_bound", stability_error_bound, METH_VARARGS,
     "stability_error_bound(samples, confidence) -> float"},
    {"delta_stability", delta_stability, METH_O, "delta_stability(lattice) -> bytes of uint64"},
    {"set_names", set_names, METH_VARARGS, "set_names(sets, n, names) -> list of tuples of str"},
    {"list_names", list_names, METH_VARARGS, "list_names(offsets, members, names) -> list of tuples of str"},
};

}  // namespace

std::span<PyMethodDef> rules_functions() { return functions; }

}  // namespace tessara::lab
