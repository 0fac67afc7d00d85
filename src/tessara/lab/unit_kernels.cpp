// Walks split into units that run anywhere the context is: each unit is a
// subtree of the walk written as bytes, run for a budget of concepts, and what
// it leaves unfinished comes back as further units in listing order.
#include "tessara/lab/unit_kernels.hpp"

#include <atomic>
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

// The concepts of one unit as flat arrays: intents and (when asked) extents
// as offsets into one array of positions each, and the supports.
PyObject* unit_tables(const engine::UnitResult& result, bool extents) {
  const core::ConceptList& concepts = result.concepts;
  std::vector<std::uint64_t> intent_offsets{0};
  std::vector<std::uint32_t> intent_items;
  std::vector<std::uint64_t> supports(concepts.size());
  std::vector<std::uint64_t> extent_offsets{0};
  std::vector<std::uint32_t> extent_items;
  intent_offsets.reserve(concepts.size() + 1);
  for (std::size_t i = 0; i < concepts.size(); ++i) {
    concepts[i].intent.for_each_member([&](std::uint32_t m) { intent_items.push_back(m); });
    intent_offsets.push_back(intent_items.size());
    supports[i] = concepts.extent_size(i);
    if (extents) {
      concepts.for_each_extent_member(i, [&](std::uint32_t g) { extent_items.push_back(g); });
      extent_offsets.push_back(extent_items.size());
    }
  }
  const PyRef rest = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(result.rest.size())));
  if (!rest) return nullptr;
  for (std::size_t i = 0; i < result.rest.size(); ++i) {
    const std::vector<std::uint8_t> bytes = engine::encode_task(result.rest[i]);
    PyObject* unit = bytes_of(std::span<const std::uint8_t>(bytes));
    if (unit == nullptr) return nullptr;
    PyList_SetItem(rest.get(), static_cast<Py_ssize_t>(i), unit);
  }
  const PyRef a = PyRef::steal(bytes_of(std::span<const std::uint64_t>(intent_offsets)));
  const PyRef b = PyRef::steal(bytes_of(std::span<const std::uint32_t>(intent_items)));
  const PyRef c = PyRef::steal(bytes_of(std::span<const std::uint64_t>(supports)));
  PyRef d = extents ? PyRef::steal(bytes_of(std::span<const std::uint64_t>(extent_offsets))) : PyRef::borrow(Py_None);
  PyRef e = extents ? PyRef::steal(bytes_of(std::span<const std::uint32_t>(extent_items))) : PyRef::borrow(Py_None);
  if (!a || !b || !c || !d || !e) return nullptr;
  return PyTuple_Pack(6, a.get(), b.get(), c.get(), d.get(), e.get(), rest.get());
}

// run(unit, budget, extents) -> (intent_offsets, intent_items, supports,
// extent_offsets | None, extent_items | None, rest): the unit's concepts and
// the units left, or None when cancel() stopped it. Runs without the
// interpreter lock.
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
    {
      const python::GilRelease unlocked;
      std::atomic<bool>& cancelled = *walk.cancelled;
      engine::RunControl control(engine::RunLimits{walk.min_support},
                                 [&cancelled](std::uint64_t) { return !cancelled.load(std::memory_order_relaxed); });
      result.emplace(engine::run_unit(*walk.data, walk.min_support, *task, budget, control));
    }
    if (!*result) Py_RETURN_NONE;
    return unit_tables(**result, extents != 0);
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
