#include "tessara/lab/kernel_structure.hpp"

#include <optional>
#include <string_view>
#include <vector>

#include "tessara/core/cover_graph.hpp"
#include "tessara/engine/arrow_relations.hpp"
#include "tessara/engine/lattice_structure.hpp"
#include "tessara/engine/run_control.hpp"
#include "tessara/engine/sublattice.hpp"
#include "tessara/lab/buffers.hpp"
#include "tessara/lab/kernel_context.hpp"
#include "tessara/lab/kernel_lattice.hpp"
#include "tessara/python/errors.hpp"
#include "tessara/python/gil.hpp"
#include "tessara/python/py_ref.hpp"

namespace tessara::lab {
namespace {

using python::guarded;
using python::PyRef;
using Indices = std::vector<std::uint32_t>;

PyObject* index_bytes(const Indices& indices) { return bytes_of(std::span<const std::uint32_t>(indices)); }

core::CoverGraph graph_of(const KernelLattice& lattice) {
  return core::CoverGraph(lattice.concepts().size(), lattice.edges());
}

constexpr const char* kNotALattice = "the concepts are not closed under meet and join (not a lattice)";

// irreducibles(lattice, join) -> the join- (meet-) irreducible concepts, ascending (bytes of uint32).
PyObject* irreducibles(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* lattice_object = nullptr;
    int join = 0;
    if (!PyArg_ParseTuple(args, "Op:irreducibles", &lattice_object, &join)) return nullptr;
    const KernelLattice* lattice = kernel_lattice_argument("lattice", lattice_object);
    if (lattice == nullptr) return nullptr;
    Indices found;
    {
      const python::GilRelease unlocked;
      const core::CoverGraph graph = graph_of(*lattice);
      found = join != 0 ? engine::join_irreducibles(graph) : engine::meet_irreducibles(graph);
    }
    return index_bytes(found);
  });
}

// What a law's check found: "" when it holds, else the kind of witness and its concepts.
struct Verdict {
  std::string_view kind;
  Indices witness;
};

// A failure is shown as the pair that breaks the law, or as a pentagon when
// the look-ups to find one are given.
std::optional<Verdict> semimodular(const core::CoverGraph& graph, engine::CoverSide side,
                                   const core::LatticeLookup* pentagon) {
  const auto failure = engine::semimodularity_failure(graph, side);
  if (!failure) return Verdict{"", {}};
  if (pentagon == nullptr) return Verdict{"pair", {failure->a, failure->b, failure->x}};
  const auto five = engine::pentagon_from(*failure, side, graph, *pentagon);
  if (!five) return std::nullopt;
  return Verdict{"N5", Indices(five->begin(), five->end())};
}

std::optional<Verdict> modular(const core::CoverGraph& graph, const core::LatticeLookup& lookup) {
  for (const auto side : {engine::CoverSide::kUpper, engine::CoverSide::kLower}) {
    const auto verdict = semimodular(graph, side, &lookup);
    if (!verdict || !verdict->kind.empty()) return verdict;
  }
  return Verdict{"", {}};
}

// `lookup` is needed for the modular and distributive laws only.
std::optional<Verdict> check_law(const KernelLattice& lattice, std::string_view law,
                                 const core::LatticeLookup* lookup) {
  const core::CoverGraph graph = graph_of(lattice);
  if (law == "upper_semimodular") return semimodular(graph, engine::CoverSide::kUpper, nullptr);
  if (law == "lower_semimodular") return semimodular(graph, engine::CoverSide::kLower, nullptr);
  if (law == "modular") return modular(graph, *lookup);
  if (law == "distributive") {
    const auto verdict = modular(graph, *lookup);
    if (!verdict || !verdict->kind.empty()) return verdict;
    const auto diamond = engine::cover_diamond(graph);
    if (!diamond) return Verdict{"", {}};
    return Verdict{"M3", {diamond->bottom, diamond->middle[0], diamond->middle[1], diamond->middle[2], diamond->top}};
  }
  // "atomic"
  const auto non_atom = engine::join_irreducible_non_atom(graph);
  if (!non_atom) return Verdict{"", {}};
  return Verdict{"concept", {*non_atom}};
}

// structure(lattice, law) -> (kind, witness): kind "" when the law holds,
// else "pair" (a, b, x), "N5" (bottom, low, high, side, top), "M3" (bottom,
// three middles, top) or "concept"; the witness as bytes of uint32.
// law: "upper_semimodular", "lower_semimodular", "modular", "distributive" or "atomic".
PyObject* structure(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* lattice_object = nullptr;
    const char* law_text = nullptr;
    if (!PyArg_ParseTuple(args, "Os:structure", &lattice_object, &law_text)) return nullptr;
    const KernelLattice* lattice = kernel_lattice_argument("lattice", lattice_object);
    if (lattice == nullptr) return nullptr;
    const std::string_view law(law_text);
    if (law != "upper_semimodular" && law != "lower_semimodular" && law != "modular" && law != "distributive" &&
        law != "atomic")
      return python::raise_value_error("unknown law '" + std::string(law) + "'");
    const core::LatticeLookup* lookup = nullptr;
    if (law == "modular" || law == "distributive") {
      lookup = lattice->lookup();
      if (lookup == nullptr) return nullptr;
    }
    std::optional<Verdict> verdict;
    {
      const python::GilRelease unlocked;
      verdict = check_law(*lattice, law, lookup);
    }
    if (!verdict) return python::raise_value_error(kNotALattice);
    const PyRef witness = PyRef::steal(index_bytes(verdict->witness));
    if (!witness) return nullptr;
    return Py_BuildValue("(s#O)", verdict->kind.data(), static_cast<Py_ssize_t>(verdict->kind.size()), witness.get());
  });
}

PyObject* packed_bytes(const core::PackedSets& sets) {
  std::vector<core::PackedSets::Word> words;
  words.reserve(sets.size() * sets.stride());
  for (std::size_t i = 0; i < sets.size(); ++i) words.insert(words.end(), sets[i].begin(), sets[i].end());
  return bytes_of(std::span<const core::PackedSets::Word>(words));
}

// arrows(context) -> (down, up): each as packed rows like Context.rows().
PyObject* arrows(PyObject*, PyObject* argument) {
  return guarded([&]() -> PyObject* {
    const auto* context = kernel_context_argument("context", argument);
    if (context == nullptr) return nullptr;
    std::optional<engine::ArrowRelations> relations;
    {
      python::GilRelease unlocked;
      engine::RunControl control(engine::RunLimits{},
                                 [&unlocked](std::uint64_t) { return unlocked.check_signals(); });
      relations = engine::arrow_relations(**context, control);
    }
    if (!relations) return nullptr;  // the interrupt's exception is pending
    const PyRef down = PyRef::steal(packed_bytes(relations->down));
    if (!down) return nullptr;
    const PyRef up = PyRef::steal(packed_bytes(relations->up));
    if (!up) return nullptr;
    return PyTuple_Pack(2, down.get(), up.get());
  });
}

PyObject* new_part(const KernelLattice& whole, const Indices& members, bool convex) {
  KernelLattice part{whole.context, {}};
  {
    const python::GilRelease unlocked;
    part.lattice = engine::lattice_of_members(whole.concepts(), whole.edges(), members, convex);
  }
  return new_kernel_lattice(std::move(part));
}

// interval(lattice, lower, upper) -> Lattice of the concepts between the two
// (-1: no bound on that side).
PyObject* interval(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* lattice_object = nullptr;
    Py_ssize_t lower = -1;
    Py_ssize_t upper = -1;
    if (!PyArg_ParseTuple(args, "Onn:interval", &lattice_object, &lower, &upper)) return nullptr;
    const KernelLattice* lattice = kernel_lattice_argument("lattice", lattice_object);
    if (lattice == nullptr) return nullptr;
    const auto n = static_cast<Py_ssize_t>(lattice->concepts().size());
    if (lower < -1 || lower >= n || upper < -1 || upper >= n) {
      PyErr_Format(PyExc_IndexError, "concept index out of range for %zd concepts", n);
      return nullptr;
    }
    const auto bound = [](Py_ssize_t i) {
      return i < 0 ? std::nullopt : std::optional(static_cast<std::uint32_t>(i));
    };
    Indices members;
    {
      const python::GilRelease unlocked;
      members = engine::interval_members(lattice->concepts(), bound(lower), bound(upper));
    }
    if (members.empty()) return python::raise_value_error("the lower bound does not lie below the upper bound");
    return new_part(*lattice, members, true);
  });
}

// sublattice(lattice, generators) -> Lattice of the concepts generated by
// meets and joins from the given ones (bytes of uint32).
PyObject* sublattice(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* lattice_object = nullptr;
    PyObject* generators_object = nullptr;
    if (!PyArg_ParseTuple(args, "OO:sublattice", &lattice_object, &generators_object)) return nullptr;
    const KernelLattice* lattice = kernel_lattice_argument("lattice", lattice_object);
    if (lattice == nullptr) return nullptr;
    const auto generators = index_array_argument("generators", generators_object, lattice->concepts().size());
    if (!generators) return nullptr;
    if (generators->empty()) return python::raise_value_error("the sublattice needs at least one concept");
    const core::LatticeLookup* lookup = lattice->lookup();
    if (lookup == nullptr) return nullptr;
    std::optional<Indices> members;
    bool cancelled = false;
    {
      python::GilRelease unlocked;
      engine::RunControl control(engine::RunLimits{},
                                 [&unlocked](std::uint64_t) { return unlocked.check_signals(); });
      members = engine::generated_sublattice(*lookup, *generators, control);
      cancelled = control.stopped();
    }
    if (cancelled) return nullptr;
    if (!members) return python::raise_value_error(kNotALattice);
    return new_part(*lattice, *members, false);
  });
}

PyMethodDef functions[] = {
    {"irreducibles", irreducibles, METH_VARARGS,
     "irreducibles(lattice, join) -> join- (or meet-) irreducible concepts, bytes of uint32"},
    {"structure", structure, METH_VARARGS, "structure(lattice, law) -> (kind, witness: bytes of uint32)"},
    {"arrows", arrows, METH_O, "arrows(context) -> (down, up) as packed rows"},
    {"interval", interval, METH_VARARGS, "interval(lattice, lower, upper) -> Lattice (-1: unbounded)"},
    {"sublattice", sublattice, METH_VARARGS, "sublattice(lattice, generators: bytes of uint32) -> Lattice"},
};

}  // namespace

std::span<PyMethodDef> structure_functions() { return functions; }

}  // namespace tessara::lab
