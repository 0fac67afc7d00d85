#include "tessara/python/functions.hpp"

#include <optional>
#include <string>
#include <vector>

#include "tessara/engine/canonical_base.hpp"
#include "tessara/engine/catalogue.hpp"
#include "tessara/formats/read_context.hpp"
#include "tessara/python/arguments.hpp"
#include "tessara/python/context_type.hpp"
#include "tessara/python/conversions.hpp"
#include "tessara/python/errors.hpp"
#include "tessara/python/gil.hpp"
#include "tessara/python/lattice_type.hpp"

namespace tessara::python {
namespace {

constexpr const char* kDefaultFilename = "upload.cxt";
constexpr const char* kDefaultAlgorithm = "next-closure";

// The algorithm named by the optional `algorithm` argument; nullptr with
// TypeError, UnicodeEncodeError or ValueError set when it names none.
const engine::ConceptAlgorithm* algorithm_argument(PyObject* object) {
  std::string name = kDefaultAlgorithm;
  if (object != nullptr) {
    auto text = text_argument("algorithm", object);
    if (!text) return nullptr;
    name = std::move(*text);
  }
  const engine::ConceptAlgorithm* algorithm = engine::algorithm_by_name(name);
  if (algorithm == nullptr) {
    raise_value_error(engine::unknown_algorithm_message(name));
  }
  return algorithm;
}

const core::Context& wrapped_context(PyObject* ctx) { return unwrap<core::Context>(ctx).value; }

// Runs the algorithm without the interpreter lock, taking it back every
// RunControl::kPulseInterval to let Python handle signals; the caller holds
// shared access to the Context and a strong reference to it. nullopt, with
// the exception pending, when a signal handler raised (Ctrl-C): the run is
// then abandoned, its memory given back and no trace event emitted.
std::optional<core::ConceptLattice> compute_unlocked(const engine::ConceptAlgorithm& algorithm,
                                                     const core::Context& context) {
  GilRelease unlocked;
  engine::RunControl control({}, [&](std::uint64_t) { return unlocked.check_signals(); });
  auto lattice = algorithm.compute(context, control);
  if (!lattice) return std::nullopt;
  return std::move(*lattice);
}

}  // namespace

PyObject* parse_context(PyObject*, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static const char* keywords[] = {"bytes", "filename", nullptr};
    PyObject* data_object = nullptr;
    PyObject* filename_object = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O:parse_context", const_cast<char**>(keywords), &data_object,
                                     &filename_object))
      return nullptr;
    const auto data = bytes_argument("bytes", data_object);
    if (!data) return nullptr;
    std::string filename = kDefaultFilename;
    if (filename_object != nullptr) {
      auto text = text_argument("filename", filename_object);
      if (!text) return nullptr;
      filename = std::move(*text);
    }
    auto parsed = formats::read_context(*data, filename);
    if (!parsed) {
      return raise_value_error("parse error: " + parsed.error().display());
    }
    return new_context_object(std::move(*parsed));
  });
}

PyObject* supported_algorithms(PyObject*, PyObject*) {
  return guarded([&]() -> PyObject* {
    PyRef list = PyRef::steal(created(PyList_New(0)));
    for (const std::string_view name : engine::SUPPORTED_ALGORITHMS) {
      const PyRef item = PyRef::steal(new_str(name));
      if (PyList_Append(list.get(), item.get()) != 0) throw ObjectCreationFailure();
    }
    return list.release();
  });
}

namespace {

// The shared steps of compute_concepts and compute_lattice: bind (ctx,
// algorithm), convert ctx (shared access held until the end), look the
// algorithm up, enumerate without the interpreter lock, then hand the context
// and the lattice to `finish`, which builds the Python result.
template <typename Finish>
PyObject* enumerate_concepts(const char* format, PyObject* args, PyObject* kwargs, Finish&& finish) {
  return guarded([&]() -> PyObject* {
    static const char* keywords[] = {"ctx", "algorithm", nullptr};
    PyObject* ctx = nullptr;
    PyObject* algorithm_object = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, format, const_cast<char**>(keywords), &ctx, &algorithm_object))
      return nullptr;
    const auto access = context_argument(ctx);
    if (!access) return nullptr;
    const engine::ConceptAlgorithm* algorithm = algorithm_argument(algorithm_object);
    if (algorithm == nullptr) return nullptr;
    const core::Context& context = wrapped_context(ctx);
    auto lattice = compute_unlocked(*algorithm, context);
    if (!lattice) return nullptr;
    return finish(context, std::move(*lattice));
  });
}

}  // namespace

PyObject* compute_concepts(PyObject*, PyObject* args, PyObject* kwargs) {
  return enumerate_concepts("O|O:compute_concepts", args, kwargs,
                            [](const core::Context& context, core::ConceptLattice&& lattice) {
                              return concept_list(context, std::move(lattice.concepts));
                            });
}

PyObject* compute_lattice(PyObject*, PyObject* args, PyObject* kwargs) {
  return enumerate_concepts("O|O:compute_lattice", args, kwargs,
                            [](const core::Context& context, core::ConceptLattice&& lattice) {
                              // The Lattice keeps its own copy of the context so it
                              // outlives the Context object.
                              return new_lattice_object(LatticeValue{std::move(lattice), core::Context(context)});
                            });
}

PyObject* compute_implications(PyObject*, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static const char* keywords[] = {"ctx", nullptr};
    PyObject* ctx = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O:compute_implications", const_cast<char**>(keywords), &ctx))
      return nullptr;
    const auto access = context_argument(ctx);
    if (!access) return nullptr;
    const core::Context& context = wrapped_context(ctx);
    const std::optional<std::vector<core::Implication>> base = [&]() -> std::optional<std::vector<core::Implication>> {
      GilRelease unlocked;
      engine::RunControl control({}, [&](std::uint64_t) { return unlocked.check_signals(); });
      return engine::canonical_base(context, control);
    }();
    if (!base) return nullptr;
    return implication_list(context, *base);
  });
}

}  // namespace tessara::python
