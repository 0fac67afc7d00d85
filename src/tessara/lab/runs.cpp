// Long runs of the lab: iceberg lattices on every core, with progress, limits
// and Ctrl-C, and concept streams that hand concepts out in batches.
#include "tessara/lab/runs.hpp"

#include <chrono>
#include <limits>
#include <memory>
#include <string>

#include "tessara/engine/catalogue.hpp"
#include "tessara/engine/cover_edges.hpp"
#include "tessara/engine/enumerate.hpp"
#include "tessara/engine/generation_event.hpp"
#include "tessara/engine/lcm.hpp"
#include "tessara/engine/walk_pool.hpp"
#include "tessara/lab/count_arguments.hpp"
#include "tessara/lab/kernel_context.hpp"
#include "tessara/lab/kernel_lattice.hpp"
#include "tessara/lab/lab_pulse.hpp"
#include "tessara/python/errors.hpp"
#include "tessara/python/gil.hpp"
#include "tessara/python/py_ref.hpp"
#include "tessara/python/wrapped.hpp"

namespace tessara::lab {
namespace {

using python::guarded;
using python::PyRef;

// Concepts per batch of a stream, and batches a stream keeps ready per thread.
constexpr std::size_t kStreamBatch = 4096;
constexpr std::size_t kStreamAhead = 4;
// Past those, a segment later in the order keeps taking batches up to 24 MiB,
// so its worker does not wait for the reader to finish the segments before it.
constexpr std::size_t kStreamAheadBytes = std::size_t{24} << 20;
// Full output chunks (2 MiB each) a stream keeps from the batches the caller
// has freed, for the batches it fills next: without them every batch maps and
// zeroes fresh pages. At most 32 MiB, and only while the stream is open.
constexpr std::size_t kStreamRecycledChunks = 16;

// The lab offers the LCM walk beside the catalogue's algorithms (the
// catalogue is also the tessara module's, whose list stays as it is).
const engine::ConceptAlgorithm* lab_algorithm_by_name(std::string_view name) {
  if (name.size() == 3 && (name[0] | 0x20) == 'l' && (name[1] | 0x20) == 'c' && (name[2] | 0x20) == 'm')
    return &engine::lcm_algorithm();
  return engine::algorithm_by_name(name);
}

std::string lab_unknown_algorithm_message(std::string_view name) {
  std::string message = engine::unknown_algorithm_message(name);
  message.insert(message.size() - 1, ", \"lcm\"");
  return message;
}

struct RunArguments {
  std::shared_ptr<const core::StoredContext> stored;
  const std::shared_ptr<const core::Context>* context = nullptr;  // null for the LCM walk over a sparse context
  std::shared_ptr<const core::SparseIncidence> sparse;  // for the LCM walk only
  bool stored_sparse = false;                            // the context is stored as index lists
  const engine::ConceptAlgorithm* algorithm = nullptr;
  engine::RunLimits limits;
  unsigned threads = 1;
};

// Parses (context, algorithm, min_support, max_concepts, threads, ...); the
// Python side has checked the values, so only types are checked here.
// The LCM walk over a sparse context never builds the packed form:
// out.context is then null.
bool run_arguments(PyObject* context, const char* algorithm, std::uint64_t min_support, std::uint64_t max_concepts,
                   unsigned int threads, RunArguments& out) {
  const KernelContext* kernel = kernel_context_of("context", context);
  if (kernel == nullptr) return false;
  out.stored = kernel->stored;
  out.algorithm = lab_algorithm_by_name(algorithm);
  if (out.algorithm == nullptr) {
    python::raise_value_error(lab_unknown_algorithm_message(algorithm));
    return false;
  }
  if (out.algorithm->walk_kind() == engine::WalkKind::kLcm) out.sparse = kernel->stored->sparse();
  out.stored_sparse = is_sparse(*kernel);
  out.limits = engine::RunLimits{min_support, max_concepts};
  out.threads = threads;
  if (out.sparse && out.stored_sparse) return true;
  out.context = kernel_context_argument("context", context);
  if (out.context == nullptr) return false;
  return true;
}

// Raises tessara.lab.TooManyConcepts (a ValueError) for the limit.
PyObject* raise_too_many(std::uint64_t limit) {
  const PyRef module = PyRef::steal(PyImport_ImportModule("tessara.lab._run"));
  if (!module) return nullptr;
  const PyRef type = PyRef::steal(PyObject_GetAttrString(module.get(), "TooManyConcepts"));
  if (!type) return nullptr;
  const std::string message = "more than " + std::to_string(limit) +
                              " concepts; raise max_concepts, or set min_support to keep only the concepts of at "
                              "least that many objects";
  PyErr_SetString(type.get(), message.c_str());
  return nullptr;
}

// The LCM walk's concepts, from the sparse form of the context.
std::expected<core::ConceptLattice, engine::RunStop> lcm_lattice(const core::SparseIncidence& incidence,
                                                                engine::RunControl& control, unsigned threads) {
  auto concepts = engine::enumerate_lcm_concepts(incidence, control, threads);
  if (!concepts) return std::unexpected(concepts.error());
  core::ConceptLattice lattice{std::move(*concepts), std::nullopt};
  const engine::ConceptAlgorithm& lcm = engine::lcm_algorithm();
  engine::emit_generation_complete(lcm.trace_target(), lcm.name(), lattice, incidence.n_objects(),
                                   incidence.n_attributes());
  return lattice;
}

// mine_lattice(context, algorithm, min_support, max_concepts, threads, progress, edges)
// -> Lattice of the frequent concepts and, when `edges` is true, the cover
// edges among them (else none: for timing the enumeration alone).
PyObject* mine_lattice(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* context_object = nullptr;
    const char* algorithm_name = nullptr;
    std::uint64_t min_support = 0;
    std::uint64_t max_concepts = 0;
    unsigned int threads = 1;
    PyObject* progress = nullptr;
    int edges = 1;
    if (!PyArg_ParseTuple(args, "OsO&O&O&O|p:mine_lattice", &context_object, &algorithm_name, uint64_converter,
                          &min_support, uint64_converter, &max_concepts, thread_count_converter, &threads, &progress,
                          &edges))
      return nullptr;
    RunArguments run;
    if (!run_arguments(context_object, algorithm_name, min_support, max_concepts, threads, run)) return nullptr;
    std::optional<core::ConceptLattice> lattice;
    std::optional<engine::RunStop> stop;
    {
      python::GilRelease unlocked;
      engine::RunControl control(run.limits, LabPulse(unlocked, progress));
      auto found = run.sparse ? lcm_lattice(*run.sparse, control, run.threads)
                              : run.algorithm->compute(**run.context, control, run.threads);
      if (!found) {
        stop = found.error();
      } else if (edges == 0) {
        found->cover_cache = std::vector<core::CoverEdge>{};
        lattice = std::move(*found);
      } else if (auto cover = run.sparse ? engine::cover_edges(found->concepts, *run.sparse, run.limits.min_support,
                                                               control, run.threads)
                                         : engine::cover_edges(found->concepts, **run.context, run.limits.min_support,
                                                               control, run.threads)) {
        found->cover_cache = std::move(*cover);
        lattice = std::move(*found);
      }
    }
    if (stop == engine::RunStop::kTooManyConcepts) return raise_too_many(run.limits.max_concepts);
    if (!lattice) return nullptr;  // the pulse left its exception (KeyboardInterrupt, the callable's own)
    KernelLattice value{run.stored, std::move(*lattice)};
    if (run.stored_sparse) value.sparse = run.sparse;
    return new_kernel_lattice(std::move(value));
  });
}

// A stream: the pool walking in the background, and what it has handed out.
struct KernelStream {
  // The context; the pool of a close-by-one walk reads its packed form, which
  // the stored context keeps.
  std::shared_ptr<const core::StoredContext> context;
  std::unique_ptr<engine::RunControl> control;
  std::unique_ptr<engine::WalkPool> pool;
  std::uint64_t max_concepts = 0;
  std::uint64_t handed_out = 0;
  bool overflowed = false;  // concepts beyond the limit were seen: the next call raises
  bool ended = false;
};

using KernelStreamObject = python::Wrapped<KernelStream>;

PyTypeObject* stream_type();

// open_stream(context, algorithm, min_support, max_concepts, threads) -> ConceptStream
PyObject* open_stream(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* context_object = nullptr;
    const char* algorithm_name = nullptr;
    std::uint64_t min_support = 0;
    std::uint64_t max_concepts = 0;
    unsigned int threads = 1;
    if (!PyArg_ParseTuple(args, "OsO&O&O&:open_stream", &context_object, &algorithm_name, uint64_converter,
                          &min_support, uint64_converter, &max_concepts, thread_count_converter, &threads))
      return nullptr;
    RunArguments run;
    if (!run_arguments(context_object, algorithm_name, min_support, max_concepts, threads, run)) return nullptr;
    KernelStream stream;
    stream.context = run.stored;
    stream.max_concepts = run.limits.max_concepts;
    // The limit is applied where concepts are handed out, in order: the
    // workers may run ahead of it.
    stream.control = std::make_unique<engine::RunControl>(engine::RunLimits{run.limits.min_support});
    const engine::WalkPool::Options options{std::max(1u, run.threads), kStreamBatch, kStreamAhead,
                                            engine::RunControl::kWorkPerCheckpoint, kStreamRecycledChunks,
                                            kStreamAheadBytes};
    stream.pool = run.sparse ? std::make_unique<engine::WalkPool>(*run.sparse, *stream.control, options)
                             : std::make_unique<engine::WalkPool>(**run.context, run.algorithm->walk_kind(),
                                                                  *stream.control, options);
    PyTypeObject* type = stream_type();
    if (type == nullptr) return nullptr;
    return python::wrap(type, std::move(stream));
  });
}

// Stops the walk and frees what it holds; joining the workers waits for their
// next checkpoint, without the interpreter lock.
void end_stream(KernelStream& stream) {
  stream.ended = true;
  const python::GilRelease unlocked;
  stream.pool.reset();
}

// One caller at a time: the waits release the interpreter lock.
std::optional<python::ExclusiveAccess> exclusive_stream(PyObject* self) {
  KernelStreamObject& instance = python::unwrap<KernelStream>(self);
  if (!instance.access.try_acquire_exclusive()) {
    PyErr_SetString(PyExc_RuntimeError, "this concept stream is in use by another thread");
    return std::nullopt;
  }
  return std::optional<python::ExclusiveAccess>(std::in_place, self, instance.access);
}

// next_batch() -> Lattice of the next concepts in order (no cover edges), or
// None once all were handed out. Waits without the interpreter lock, taking
// it back every pulse interval for Python's signal handlers.
PyObject* next_batch(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    const auto access = exclusive_stream(self);
    if (!access) return nullptr;
    KernelStream& stream = python::unwrap<KernelStream>(self).value;
    if (stream.ended) Py_RETURN_NONE;
    if (stream.overflowed) {
      end_stream(stream);
      return raise_too_many(stream.max_concepts);
    }
    if (stream.handed_out == stream.max_concepts) {
      // Only an error when there is a concept beyond the limit.
      core::ConceptList probe;
      engine::WalkPool::Next next = engine::WalkPool::Next::kWaiting;
      {
        python::GilRelease unlocked;
        while (next == engine::WalkPool::Next::kWaiting) {
          next = stream.pool->next_batch(probe, engine::RunControl::kPulseInterval);
          if (next == engine::WalkPool::Next::kWaiting && !unlocked.check_signals()) break;
        }
      }
      end_stream(stream);
      if (next == engine::WalkPool::Next::kBatch) return raise_too_many(stream.max_concepts);
      if (next == engine::WalkPool::Next::kWaiting) return nullptr;
      Py_RETURN_NONE;
    }
    core::ConceptList batch;
    engine::WalkPool::Next next = engine::WalkPool::Next::kWaiting;
    {
      python::GilRelease unlocked;
      while (next == engine::WalkPool::Next::kWaiting) {
        next = stream.pool->next_batch(batch, engine::RunControl::kPulseInterval);
        if (next == engine::WalkPool::Next::kWaiting && !unlocked.check_signals()) break;
      }
    }
    if (next == engine::WalkPool::Next::kWaiting) {  // interrupted: the stream is over
      end_stream(stream);
      return nullptr;
    }
    if (next == engine::WalkPool::Next::kEnd) {
      end_stream(stream);
      Py_RETURN_NONE;
    }
    const std::uint64_t room = stream.max_concepts - stream.handed_out;
    if (batch.size() > room) {
      while (batch.size() > room) batch.pop_back();
      stream.overflowed = true;
    }
    stream.handed_out += batch.size();
    core::ConceptLattice lattice{std::move(batch), std::vector<core::CoverEdge>{}};
    return new_kernel_lattice(KernelLattice{stream.context, std::move(lattice)});
  });
}

// close() stops the walk and frees what it holds; also done on deallocation.
PyObject* close_stream(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    const auto access = exclusive_stream(self);
    if (!access) return nullptr;
    KernelStream& stream = python::unwrap<KernelStream>(self).value;
    end_stream(stream);
    Py_RETURN_NONE;
  });
}

void dealloc_stream(PyObject* object) {
  KernelStream& stream = python::unwrap<KernelStream>(object).value;
  if (stream.pool) {
    const python::GilRelease unlocked;
    stream.pool.reset();
  }
  python::dealloc_wrapped<KernelStream>(object);
}

PyMethodDef stream_methods[] = {
    {"next_batch", next_batch, METH_NOARGS,
     "next_batch() -> Lattice | None: the next concepts in order (no cover edges), None at the end"},
    {"close", close_stream, METH_NOARGS, "close() -> None: stops the walk and frees what it holds"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot stream_slots[] = {
    {Py_tp_doc, const_cast<char*>("A concept stream: concepts in the walk's order, in batches, in bounded memory.")},
    {Py_tp_new, reinterpret_cast<void*>(python::refuse_construction)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_stream)},
    {Py_tp_methods, stream_methods},
    {0, nullptr},
};

PyType_Spec stream_spec = {
    "tessara._lab.ConceptStream", static_cast<int>(sizeof(KernelStreamObject)), 0, Py_TPFLAGS_DEFAULT, stream_slots,
};

PyTypeObject* stream_type() {
  static PyTypeObject* type = nullptr;
  if (type == nullptr) type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&stream_spec));
  return type;
}

PyMethodDef functions[] = {
    {"mine_lattice", mine_lattice, METH_VARARGS,
     "mine_lattice(context, algorithm, min_support, max_concepts, threads, progress, edges=True) -> Lattice"},
    {"open_stream", open_stream, METH_VARARGS,
     "open_stream(context, algorithm, min_support, max_concepts, threads) -> ConceptStream"},
};

}  // namespace

std::span<PyMethodDef> run_functions() { return functions; }

}  // namespace tessara::lab
