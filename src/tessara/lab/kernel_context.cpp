#include "tessara/lab/kernel_context.hpp"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessara/core/incidence_forms.hpp"
#include "tessara/core/sparse_derivation.hpp"
#include "tessara/formats/fimi_transactions.hpp"
#include "tessara/formats/read_context.hpp"
#include "tessara/formats/text.hpp"
#include "tessara/lab/buffers.hpp"
#include "tessara/python/errors.hpp"
#include "tessara/python/gil.hpp"
#include "tessara/python/py_ref.hpp"

namespace tessara::lab {
namespace {

using python::guarded;
using python::PyRef;
using Word = std::uint64_t;

const KernelContext& kernel_of(PyObject* self) { return python::unwrap<KernelContext>(self).value; }
const core::StoredContext& stored_of(PyObject* self) { return *kernel_of(self).stored; }

// The packed context of self, or nullptr with ValueError set when it is too large.
const core::Context* packed_of(PyObject* self) {
  const auto packed = stored_of(self).packed();
  if (!packed) {
    python::raise_value_error(packed.error().message());
    return nullptr;
  }
  return (*packed)->get();
}

template <typename Set>
PyObject* member_bytes(const Set& set) {
  const std::vector<std::uint32_t> members = set.members();
  return bytes_of(std::span<const std::uint32_t>(members));
}

PyObject* index_bytes(const std::vector<std::uint32_t>& indices) {
  return bytes_of(std::span<const std::uint32_t>(indices));
}

PyObject* get_n_objects(PyObject* self, void*) { return PyLong_FromUnsignedLongLong(stored_of(self).n_objects()); }
PyObject* get_n_attributes(PyObject* self, void*) {
  return PyLong_FromUnsignedLongLong(stored_of(self).n_attributes());
}
PyObject* get_nnz(PyObject* self, void*) {
  return guarded([&] { return PyLong_FromUnsignedLongLong(stored_of(self).nnz()); });
}
PyObject* get_is_sparse(PyObject* self, void*) { return PyBool_FromLong(stored_of(self).is_sparse() ? 1 : 0); }

PyObject* objects_method(PyObject* self, PyObject*) {
  return guarded([&] { return name_list(stored_of(self).objects()); });
}

PyObject* attributes_method(PyObject* self, PyObject*) {
  return guarded([&] { return name_list(stored_of(self).attributes()); });
}

// The packed rows, object after object, AttributeSet::word_count(n_attributes) words each.
PyObject* rows_method(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    const core::Context* context = packed_of(self);
    if (context == nullptr) return nullptr;
    std::vector<Word> words;
    words.reserve(context->n_objects() * core::AttributeSet::word_count(context->n_attributes()));
    for (const core::AttributeSet& row : context->rows()) words.insert(words.end(), row.words().begin(), row.words().end());
    return bytes_of(std::span<const Word>(words));
  });
}

// The sparse rows: (offsets as bytes of n_objects + 1 uint64, attributes as
// bytes of nnz uint32), the attributes of object g ascending between
// offsets[g] and offsets[g + 1].
PyObject* sparse_rows_method(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    const core::SparseIncidence& incidence = sparse_incidence(kernel_of(self));
    const PyRef offsets = PyRef::steal(bytes_of(incidence.row_offsets()));
    if (!offsets) return nullptr;
    const PyRef attributes = PyRef::steal(bytes_of(incidence.row_attributes()));
    if (!attributes) return nullptr;
    return PyTuple_Pack(2, offsets.get(), attributes.get());
  });
}

// extent(attributes) -> the objects having every listed attribute, ascending.
PyObject* extent_method(PyObject* self, PyObject* argument) {
  return guarded([&]() -> PyObject* {
    const core::StoredContext& stored = stored_of(self);
    const auto attributes = index_array_argument("attributes", argument, stored.n_attributes());
    if (!attributes) return nullptr;
    if (stored.is_sparse()) {
      const core::SparseIncidence& incidence = *stored.sparse();
      return index_bytes(core::sparse_extent(incidence, *attributes));
    }
    const core::Context& context = **(*stored.packed());
    core::AttributeSet wanted = core::AttributeSet::empty(context.n_attributes());
    for (const std::uint32_t m : *attributes) wanted.insert(m);
    return member_bytes(context.extent_of(wanted));
  });
}

// intent(objects) -> the attributes every listed object has, ascending.
PyObject* intent_method(PyObject* self, PyObject* argument) {
  return guarded([&]() -> PyObject* {
    const core::StoredContext& stored = stored_of(self);
    const auto objects = index_array_argument("objects", argument, stored.n_objects());
    if (!objects) return nullptr;
    if (stored.is_sparse()) {
      const core::SparseIncidence& incidence = *stored.sparse();
      return index_bytes(core::sparse_intent(incidence, *objects));
    }
    const core::Context& context = **(*stored.packed());
    core::ObjectSet chosen = core::ObjectSet::empty(context.n_objects());
    for (const std::uint32_t g : *objects) chosen.insert(g);
    return member_bytes(context.intent_of(chosen));
  });
}

PyMethodDef context_methods[] = {
    {"objects", objects_method, METH_NOARGS, "The object names, in order."},
    {"attributes", attributes_method, METH_NOARGS, "The attribute names, in order."},
    {"rows", rows_method, METH_NOARGS, "The packed incidence rows as bytes of uint64 words."},
    {"sparse_rows", sparse_rows_method, METH_NOARGS,
     "sparse_rows() -> (offsets: bytes of uint64, attributes: bytes of uint32)"},
    {"extent", extent_method, METH_O, "extent(attributes: bytes of uint32) -> bytes of uint32"},
    {"intent", intent_method, METH_O, "intent(objects: bytes of uint32) -> bytes of uint32"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef context_properties[] = {
    {"n_objects", get_n_objects, nullptr, "The number of objects.", nullptr},
    {"n_attributes", get_n_attributes, nullptr, "The number of attributes.", nullptr},
    {"nnz", get_nnz, nullptr, "The number of crosses.", nullptr},
    {"is_sparse", get_is_sparse, nullptr, "Whether the incidence is stored as index lists.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot context_slots[] = {
    {Py_tp_doc, const_cast<char*>("An immutable formal context held by the lab's kernels.")},
    {Py_tp_new, reinterpret_cast<void*>(python::refuse_construction)},
    {Py_tp_dealloc, reinterpret_cast<void*>(python::dealloc_wrapped<KernelContext>)},
    {Py_tp_methods, context_methods},
    {Py_tp_getset, context_properties},
    {0, nullptr},
};

PyType_Spec context_spec = {
    "tessara._lab.Context", static_cast<int>(sizeof(KernelContextObject)), 0, Py_TPFLAGS_DEFAULT, context_slots,
};

// make_context(objects, attributes, rows): rows are packed as rows() returns them.
PyObject* make_context(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* objects_object = nullptr;
    PyObject* attributes_object = nullptr;
    PyObject* rows_object = nullptr;
    if (!PyArg_ParseTuple(args, "OOO:make_context", &objects_object, &attributes_object, &rows_object)) return nullptr;
    auto objects = names_argument("objects", objects_object);
    if (!objects) return nullptr;
    auto attributes = names_argument("attributes", attributes_object);
    if (!attributes) return nullptr;
    const auto words = array_argument<Word>("rows", rows_object);
    if (!words) return nullptr;
    const std::size_t stride = core::AttributeSet::word_count(attributes->size());
    if (words->size() != objects->size() * stride) {
      PyErr_Format(PyExc_ValueError, "rows hold %zu words, expected %zu (%zu objects of %zu words)", words->size(),
                   objects->size() * stride, objects->size(), stride);
      return nullptr;
    }
    const Word tail = attributes->size() % 64 == 0 ? ~Word{0} : (Word{1} << (attributes->size() % 64)) - 1;
    std::vector<core::AttributeSet> rows;
    rows.reserve(objects->size());
    for (std::size_t g = 0; g < objects->size(); ++g) {
      core::AttributeSet row = core::AttributeSet::empty(attributes->size());
      const auto out = row.mutable_words();
      std::copy_n(words->begin() + static_cast<std::ptrdiff_t>(g * stride), stride, out.begin());
      if (stride != 0 && (out[stride - 1] & ~tail) != 0) {
        PyErr_Format(PyExc_ValueError, "row %zu has bits beyond the last attribute", g);
        return nullptr;
      }
      rows.push_back(std::move(row));
    }
    auto context = core::Context::from_rows(std::move(*objects), std::move(*attributes), std::move(rows));
    if (!context) return python::raise_value_error(context.error().message());
    return new_kernel_context(core::StoredContext::from_context(std::move(*context)));
  });
}

// make_sparse_context(objects, attributes, offsets, attributes_of_rows): the
// rows as sparse_rows() returns them (offsets uint64, ascending attribute
// indices uint32 per row); stored by the density rule.
PyObject* make_sparse_context(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* objects_object = nullptr;
    PyObject* attributes_object = nullptr;
    PyObject* offsets_object = nullptr;
    PyObject* items_object = nullptr;
    if (!PyArg_ParseTuple(args, "OOOO:make_sparse_context", &objects_object, &attributes_object, &offsets_object,
                          &items_object))
      return nullptr;
    auto objects = names_argument("objects", objects_object);
    if (!objects) return nullptr;
    auto attributes = names_argument("attributes", attributes_object);
    if (!attributes) return nullptr;
    auto offsets = array_argument<std::uint64_t>("offsets", offsets_object);
    if (!offsets) return nullptr;
    auto items = array_argument<std::uint32_t>("attributes_of_rows", items_object);
    if (!items) return nullptr;
    constexpr std::uint64_t kMaxIndex = std::numeric_limits<std::uint32_t>::max();
    if (objects->size() > kMaxIndex || attributes->size() > kMaxIndex) {
      PyErr_Format(PyExc_ValueError, "a context holds at most %llu objects and %llu attributes",
                   static_cast<unsigned long long>(kMaxIndex), static_cast<unsigned long long>(kMaxIndex));
      return nullptr;
    }
    if (offsets->size() != objects->size() + 1 || offsets->front() != 0 || offsets->back() != items->size()) {
      PyErr_Format(PyExc_ValueError, "offsets hold %zu values, expected %zu from 0 to %zu", offsets->size(),
                   objects->size() + 1, items->size());
      return nullptr;
    }
    for (std::size_t g = 0; g < objects->size(); ++g) {
      const std::uint64_t begin = (*offsets)[g];
      const std::uint64_t end = (*offsets)[g + 1];
      if (end < begin || end > items->size()) {
        PyErr_Format(PyExc_ValueError, "offsets of row %zu go backwards", g);
        return nullptr;
      }
      for (std::uint64_t k = begin; k < end; ++k) {
        if ((*items)[k] >= attributes->size() || (k > begin && (*items)[k - 1] >= (*items)[k])) {
          PyErr_Format(PyExc_ValueError, "row %zu is not ascending attribute indices below %zu", g,
                       attributes->size());
          return nullptr;
        }
      }
    }
    const auto n_objects = static_cast<std::uint32_t>(objects->size());
    const auto n_attributes = static_cast<std::uint32_t>(attributes->size());
    auto incidence =
        core::SparseIncidence::from_rows(n_objects, n_attributes, std::move(*offsets), std::move(*items));
    return new_kernel_context(
        core::StoredContext::from_sparse(std::move(*objects), std::move(*attributes), std::move(incidence)));
  });
}

// A FIMI file read straight into the sparse form, with the interpreter lock
// released and Ctrl-C honoured. The bytes object stays alive and unchanged
// (bytes are immutable) for the whole call, so it is read in place.
PyObject* read_fimi_sparse(std::string_view text) {
  bool interrupted = false;
  std::shared_ptr<const core::StoredContext> stored;
  std::optional<formats::ParseError> failure;
  {
    python::GilRelease unlocked;
    const formats::KeepReading keep_going = [&] {
      interrupted = !unlocked.check_signals();
      return !interrupted;
    };
    auto transactions = formats::read_fimi_transactions(text, keep_going);
    if (!transactions) {
      failure = std::move(transactions.error());
    } else if (auto too_many = formats::check_fimi_names(*transactions)) {
      failure = std::move(*too_many);
    } else {
      const auto n_objects = static_cast<std::uint32_t>(transactions->count());
      const auto n_attributes = static_cast<std::uint32_t>(transactions->width);
      auto incidence = core::SparseIncidence::from_rows(n_objects, n_attributes, std::move(transactions->offsets),
                                                        std::move(transactions->items));
      stored = core::StoredContext::from_sparse(formats::generated_names('g', n_objects),
                                                formats::generated_names('m', n_attributes), std::move(incidence));
    }
  }
  if (interrupted) return nullptr;  // KeyboardInterrupt (or what the handler raised) is pending
  if (failure) return python::raise_value_error("parse error: " + failure->display());
  return new_kernel_context(std::move(stored));
}

// read_context(data, filename): the readers of tessara.parse_context, with the
// same choice of format by file name or content; FIMI data is read straight
// into the sparse form.
PyObject* read_context(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    const char* data = nullptr;
    Py_ssize_t size = 0;
    const char* filename = nullptr;
    if (!PyArg_ParseTuple(args, "y#s:read_context", &data, &size, &filename)) return nullptr;
    const std::string_view bytes(data, static_cast<std::size_t>(size));
    const std::string name(filename);
    if (formats::detect_format(name, bytes.substr(0, std::min<std::size_t>(bytes.size(), 256))) ==
        formats::InputFormat::Fimi) {
      if (!formats::text::is_valid_utf8(bytes))
        return python::raise_value_error("parse error: I/O error: stream did not contain valid UTF-8");
      return read_fimi_sparse(bytes);
    }
    const std::string copy(bytes);
    auto parsed = [&] {
      const python::GilRelease unlocked;
      return formats::read_context(copy, name);
    }();
    if (!parsed) return python::raise_value_error("parse error: " + parsed.error().display());
    return new_kernel_context(core::StoredContext::from_context(std::move(*parsed)));
  });
}

PyMethodDef functions[] = {
    {"make_context", make_context, METH_VARARGS, "make_context(objects, attributes, rows) -> Context"},
    {"make_sparse_context", make_sparse_context, METH_VARARGS,
     "make_sparse_context(objects, attributes, offsets, attributes_of_rows) -> Context"},
    {"read_context", read_context, METH_VARARGS, "read_context(data, filename) -> Context"},
};

}  // namespace

PyTypeObject* kernel_context_type() {
  static PyTypeObject* type = nullptr;
  if (type == nullptr) type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&context_spec));
  return type;
}

PyObject* new_kernel_context(std::shared_ptr<const core::StoredContext> stored) {
  PyTypeObject* type = kernel_context_type();
  if (type == nullptr) return nullptr;
  return python::wrap(type, KernelContext{std::move(stored)});
}

PyObject* new_kernel_context(std::shared_ptr<const core::Context> context) {
  return new_kernel_context(core::StoredContext::packed(std::move(context)));
}

const KernelContext* kernel_context_of(const char* parameter, PyObject* object) {
  PyTypeObject* type = kernel_context_type();
  if (type == nullptr) return nullptr;
  if (!PyObject_TypeCheck(object, type)) {
    PyErr_Format(PyExc_TypeError, "argument '%s' must be a tessara._lab.Context", parameter);
    return nullptr;
  }
  return &python::unwrap<KernelContext>(object).value;
}

bool is_sparse(const KernelContext& context) noexcept { return context.stored->is_sparse(); }

const core::SparseIncidence& sparse_incidence(const KernelContext& context) { return *context.stored->sparse(); }

const std::shared_ptr<const core::Context>* kernel_context_argument(const char* parameter, PyObject* object) {
  const KernelContext* context = kernel_context_of(parameter, object);
  if (context == nullptr) return nullptr;
  const auto packed = context->stored->packed();
  if (!packed) {
    python::raise_value_error(packed.error().message());
    return nullptr;
  }
  return *packed;
}

std::span<PyMethodDef> context_functions() { return functions; }

}  // namespace tessara::lab
