// Walks split into units that run anywhere the context is: each unit is a
// subtree of the walk written as bytes, run for a budget of concepts, and what
// it leaves unfinished comes back as further units in listing order.
#include "tessara/lab/unit_kernels.hpp"

#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "tessara/engine/catalogue.hpp"
#include "tessara/engine/lcm.hpp"
#include "tessara/engine/walk_unit.hpp"
#include "tessara/lab/buffers.hpp"
#include "tessara/lab/kernel_context.hpp"
#include "tessara/python/errors.hpp"
#include "tessara/python/gil.hpp"
#include "tessara/python/py_ref.hpp"
#include "tessara/python/wrapped.hpp"

namespace tessara::lab {
namespace {

using python::guarded;
using python::PyRef;

// Chunks of 2 MiB kept per prepared walk: one unit's concepts on each of a
// few threads.
constexpr std::size_t kKeptChunks = 8;

// One context's walk, prepared once (columns and rows packed, or the sparse
// rows for the LCM walk) and shared by every unit run through it, from any
// number of threads at once.
struct KernelUnitWalk {
  std::shared_ptr<const core::Context> context;          // the close-by-one walks
  std::shared_ptr<const core::SparseIncidence> sparse;  // the LCM walk
  std::uint64_t n_objects = 0;
  std::uint64_t n_attributes = 0;
  std::unique_ptr<const engine::WalkData> data;
  engine::WalkKind kind = engine::WalkKind::kFcboAscending;
  std::uint64_t min_support = 0;
  std::unique_ptr<std::atomic<bool>> cancelled = std::make_unique<std::atomic<bool>>(false);
  // The chunks of finished units' concepts, kept for the next units: a worker
  // runs unit after unit, and would otherwise map and zero fresh pages for
  // each (a unit lists up to a few hundred thousand concepts).
  std::shared_ptr<core::ChunkRecycler> recycler = std::make_shared<core::ChunkRecycler>(kKeptChunks);
};

const KernelUnitWalk& walk_of(PyObject* self) { return python::unwrap<KernelUnitWalk>(self).value; }

// top() -> the first unit as bytes, or None when not even the top concept is frequent.
PyObject* top_method(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    const KernelUnitWalk& walk = walk_of(self);
    if (walk.n_objects < walk.min_support) Py_RETURN_NONE;
    const std::vector<std::uint8_t> bytes = engine::encode_task(
        walk.sparse ? engine::top_task(*walk.sparse) : engine::top_task(*walk.context, walk.kind));
    return bytes_of(std::span<const std::uint8_t>(bytes));
  });
}

// Where a unit's arrays are written: the data of a bytes object made for
// exactly what it will hold, filled element by element.
class BytesWriter {
 public:
  explicit BytesWriter(PyObject* bytes) : at_(bytes == nullptr ? nullptr : PyBytes_AsString(bytes)) {}

  template <typename T>
  void push(T value) noexcept {
    std::memcpy(at_, &value, sizeof(T));
    at_ += sizeof(T);
  }

 private:
  char* at_;
};

// The concepts of one unit as flat arrays, as bytes: intents and (when asked)
// extents as offsets into one array of positions each, and the supports.
struct UnitArrays {
  PyRef intent_offsets, intent_items, supports, extent_offsets, extent_items;

  // Makes the bytes objects at their final sizes (the lock held); false
  // with an exception set.
  bool allocate(const core::ConceptList& concepts, bool extents) {
    std::size_t intent_members = 0;
    std::size_t extent_members = 0;
    for (std::size_t i = 0; i < concepts.size(); ++i) {
      intent_members += concepts[i].intent.count();
      if (extents) extent_members += concepts.extent_size(i);
    }
    const std::size_t rows = concepts.size();
    intent_offsets = sized(8 * (rows + 1));
    intent_items = sized(4 * intent_members);
    supports = sized(8 * rows);
    if (extents) {
      extent_offsets = sized(8 * (rows + 1));
      extent_items = sized(4 * extent_members);
    }
    return intent_offsets && intent_items && supports && (!extents || (extent_offsets && extent_items));
  }

  // Writes the concepts into the bytes objects; needs no lock (nothing else
  // sees them yet).
  void fill(const core::ConceptList& concepts, bool extents) const {
    BytesWriter offsets(intent_offsets.get());
    BytesWriter items(intent_items.get());
    BytesWriter support(supports.get());
    BytesWriter extent_starts(extents ? extent_offsets.get() : nullptr);
    BytesWriter extent_members(extents ? extent_items.get() : nullptr);
    std::uint64_t written = 0;
    std::uint64_t extent_written = 0;
    offsets.push(written);
    if (extents) extent_starts.push(extent_written);
    for (std::size_t i = 0; i < concepts.size(); ++i) {
      concepts[i].intent.for_each_member([&](std::uint32_t m) {
        items.push(m);
        ++written;
      });
      offsets.push(written);
      support.push(static_cast<std::uint64_t>(concepts.extent_size(i)));
      if (extents) {
        concepts.for_each_extent_member(i, [&](std::uint32_t g) {
          extent_members.push(g);
          ++extent_written;
        });
        extent_starts.push(extent_written);
      }
    }
  }

  // (intent_offsets, intent_items, supports, extent_offsets | None,
  // extent_items | None, rest) with the rest as a list of unit bytes.
  PyObject* tuple(const std::vector<engine::WalkTask>& rest_tasks, bool extents) const {
    const PyRef rest = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(rest_tasks.size())));
    if (!rest) return nullptr;
    for (std::size_t i = 0; i < rest_tasks.size(); ++i) {
      const std::vector<std::uint8_t> bytes = engine::encode_task(rest_tasks[i]);
      PyObject* unit = bytes_of(std::span<const std::uint8_t>(bytes));
      if (unit == nullptr) return nullptr;
      PyList_SetItem(rest.get(), static_cast<Py_ssize_t>(i), unit);
    }
    PyObject* d = extents ? extent_offsets.get() : Py_None;
    PyObject* e = extents ? extent_items.get() : Py_None;
    return PyTuple_Pack(6, intent_offsets.get(), intent_items.get(), supports.get(), d, e, rest.get());
  }

 private:
  static PyRef sized(std::size_t bytes) {
    return PyRef::steal(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(bytes)));
  }
};

// run(unit, budget, extents) -> (intent_offsets, intent_items, supports,
// extent_offsets | None, extent_items | None, rest): the unit's concepts and
// the units left, or None when cancel() stopped it. Runs without the
// interpreter lock, but for making the result's bytes objects.
PyObject* run_method(PyObject* self, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* unit_object = nullptr;
    unsigned long long budget = 0;
    int extents = 0;
    if (!PyArg_ParseTuple(args, "SKp:run", &unit_object, &budget, &extents)) return nullptr;
    const KernelUnitWalk& walk = walk_of(self);
    const auto* data = reinterpret_cast<const std::uint8_t*>(PyBytes_AsString(unit_object));
    const auto size = static_cast<std::size_t>(PyBytes_Size(unit_object));
    auto task = engine::decode_task(std::span<const std::uint8_t>(data, size), walk.n_objects, walk.n_attributes);
    if (!task) return python::raise_value_error("invalid unit of work: " + task.error());
    if (task->kind != walk.kind) return python::raise_value_error("invalid unit of work: written for another algorithm");
    std::optional<std::expected<engine::UnitResult, engine::RunStop>> result;
    UnitArrays arrays;
    {
      python::GilRelease unlocked;
      std::atomic<bool>& cancelled = *walk.cancelled;
      engine::RunControl control(engine::RunLimits{walk.min_support},
                                 [&cancelled](std::uint64_t) { return !cancelled.load(std::memory_order_relaxed); });
      result.emplace(engine::run_unit(*walk.data, walk.min_support, *task, budget, control,
                                      engine::RunControl::kWorkPerCheckpoint, walk.recycler));
      if (*result) {
        const core::ConceptList& concepts = (*result)->concepts;
        if (!unlocked.with_lock([&] { return arrays.allocate(concepts, extents != 0); })) {
          result.reset();
        } else {
          arrays.fill(concepts, extents != 0);
          // The chunks go back to the walk's recycler before the next unit.
          (*result)->concepts = core::ConceptList();
        }
      }
    }
    if (!result) return nullptr;
    if (!*result) Py_RETURN_NONE;
    return arrays.tuple((*result)->rest, extents != 0);
  });
}

// cancel() stops every run of this walk at its next checkpoint, and every later one at once.
PyObject* cancel_method(PyObject* self, PyObject*) {
  walk_of(self).cancelled->store(true, std::memory_order_relaxed);
  Py_RETURN_NONE;
}

PyMethodDef walk_methods[] = {
    {"top", top_method, METH_NOARGS, "top() -> bytes | None: the first unit, None when nothing is frequent"},
    {"run", run_method, METH_VARARGS,
     "run(unit, budget, extents) -> (intent_offsets, intent_items, supports, extent_offsets, extent_items, rest) | "
     "None"},
    {"cancel", cancel_method, METH_NOARGS, "cancel() -> None: stops every run of this walk"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot walk_slots[] = {
    {Py_tp_doc, const_cast<char*>("A context's walk prepared for running units of it, from any thread.")},
    {Py_tp_new, reinterpret_cast<void*>(python::refuse_construction)},
    {Py_tp_dealloc, reinterpret_cast<void*>(python::dealloc_wrapped<KernelUnitWalk>)},
    {Py_tp_methods, walk_methods},
    {0, nullptr},
};

PyType_Spec walk_spec = {
    "tessara._lab.UnitWalk", static_cast<int>(sizeof(python::Wrapped<KernelUnitWalk>)), 0, Py_TPFLAGS_DEFAULT,
    walk_slots,
};

// unit_walk(context, algorithm, min_support) -> UnitWalk
PyObject* unit_walk(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* context_object = nullptr;
    const char* algorithm_name = nullptr;
    unsigned long long min_support = 0;
    if (!PyArg_ParseTuple(args, "OsK:unit_walk", &context_object, &algorithm_name, &min_support)) return nullptr;
    const KernelContext* kernel = kernel_context_of("context", context_object);
    if (kernel == nullptr) return nullptr;
    const std::string_view name(algorithm_name);
    const bool lcm = name.size() == 3 && (name[0] | 0x20) == 'l' && (name[1] | 0x20) == 'c' && (name[2] | 0x20) == 'm';
    const engine::ConceptAlgorithm* algorithm = lcm ? &engine::lcm_algorithm() : engine::algorithm_by_name(name);
    if (algorithm == nullptr) return python::raise_value_error(engine::unknown_algorithm_message(algorithm_name));
    KernelUnitWalk walk;
    walk.kind = algorithm->walk_kind();
    walk.min_support = min_support;
    walk.n_objects = kernel->stored->n_objects();
    walk.n_attributes = kernel->stored->n_attributes();
    // The LCM walk runs on the sparse rows: a context stored sparse is never packed for it.
    if (walk.kind == engine::WalkKind::kLcm) {
      walk.sparse = kernel->stored->sparse();
    } else {
      const auto* context = kernel_context_argument("context", context_object);
      if (context == nullptr) return nullptr;
      walk.context = *context;
    }
    {
      const python::GilRelease unlocked;
      walk.data = walk.sparse ? std::make_unique<const engine::WalkData>(*walk.sparse)
                              : std::make_unique<const engine::WalkData>(*walk.context);
    }
    PyTypeObject* type = unit_walk_type();
    if (type == nullptr) return nullptr;
    return python::wrap(type, std::move(walk));
  });
}

PyMethodDef functions[] = {
    {"unit_walk", unit_walk, METH_VARARGS, "unit_walk(context, algorithm, min_support) -> UnitWalk"},
};

}  // namespace

PyTypeObject* unit_walk_type() {
  static PyTypeObject* type = nullptr;
  if (type == nullptr) type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&walk_spec));
  return type;
}

std::span<PyMethodDef> unit_functions() { return functions; }

}  // namespace tessara::lab
