#include "tessara/lab/kernel_context.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "tessara/formats/read_context.hpp"
#include "tessara/lab/buffers.hpp"
#include "tessara/python/errors.hpp"
#include "tessara/python/gil.hpp"
#include "tessara/python/py_ref.hpp"

namespace tessara::lab {
namespace {

using python::guarded;
using python::PyRef;
using Word = std::uint64_t;

const core::Context& context_of(PyObject* self) { return *python::unwrap<KernelContext>(self).value.context; }

template <typename Set>
PyObject* member_bytes(const Set& set) {
  const std::vector<std::uint32_t> members = set.members();
  return bytes_of(std::span<const std::uint32_t>(members));
}

PyObject* get_n_objects(PyObject* self, void*) { return PyLong_FromUnsignedLongLong(context_of(self).n_objects()); }
PyObject* get_n_attributes(PyObject* self, void*) {
  return PyLong_FromUnsignedLongLong(context_of(self).n_attributes());
}

PyObject* objects_method(PyObject* self, PyObject*) {
  return guarded([&] { return name_list(context_of(self).objects()); });
}

PyObject* attributes_method(PyObject* self, PyObject*) {
  return guarded([&] { return name_list(context_of(self).attributes()); });
}

// The packed rows, object after object, AttributeSet::word_count(n_attributes) words each.
PyObject* rows_method(PyObject* self, PyObject*) {
  return guarded([&]() -> PyObject* {
    const core::Context& context = context_of(self);
    std::vector<Word> words;
    words.reserve(context.n_objects() * core::AttributeSet::word_count(context.n_attributes()));
    for (const core::AttributeSet& row : context.rows()) words.insert(words.end(), row.words().begin(), row.words().end());
    return bytes_of(std::span<const Word>(words));
  });
}

// extent(attributes) -> the objects having every listed attribute, ascending.
PyObject* extent_method(PyObject* self, PyObject* argument) {
  return guarded([&]() -> PyObject* {
    const core::Context& context = context_of(self);
    const auto attributes = index_array_argument("attributes", argument, context.n_attributes());
    if (!attributes) return nullptr;
    core::AttributeSet wanted = core::AttributeSet::empty(context.n_attributes());
    for (const std::uint32_t m : *attributes) wanted.insert(m);
    return member_bytes(context.extent_of(wanted));
  });
}

// intent(objects) -> the attributes every listed object has, ascending.
PyObject* intent_method(PyObject* self, PyObject* argument) {
  return guarded([&]() -> PyObject* {
    const core::Context& context = context_of(self);
    const auto objects = index_array_argument("objects", argument, context.n_objects());
    if (!objects) return nullptr;
    core::ObjectSet chosen = core::ObjectSet::empty(context.n_objects());
    for (const std::uint32_t g : *objects) chosen.insert(g);
    return member_bytes(context.intent_of(chosen));
  });
}

PyMethodDef context_methods[] = {
    {"objects", objects_method, METH_NOARGS, "The object names, in order."},
    {"attributes", attributes_method, METH_NOARGS, "The attribute names, in order."},
    {"rows", rows_method, METH_NOARGS, "The packed incidence rows as bytes of uint64 words."},
    {"extent", extent_method, METH_O, "extent(attributes: bytes of uint32) -> bytes of uint32"},
    {"intent", intent_method, METH_O, "intent(objects: bytes of uint32) -> bytes of uint32"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef context_properties[] = {
    {"n_objects", get_n_objects, nullptr, "The number of objects.", nullptr},
    {"n_attributes", get_n_attributes, nullptr, "The number of attributes.", nullptr},
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
    return new_kernel_context(std::make_shared<const core::Context>(std::move(*context)));
  });
}

// read_context(data, filename): the readers of tessara.parse_context, with the
// same choice of format by file name or content.
PyObject* read_context(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    const char* data = nullptr;
    Py_ssize_t size = 0;
    const char* filename = nullptr;
    if (!PyArg_ParseTuple(args, "y#s:read_context", &data, &size, &filename)) return nullptr;
    const std::string copy(data, static_cast<std::size_t>(size));
    const std::string name(filename);
    auto parsed = [&] {
      const python::GilRelease unlocked;
      return formats::read_context(copy, name);
    }();
    if (!parsed) return python::raise_value_error("parse error: " + parsed.error().display());
    return new_kernel_context(std::make_shared<const core::Context>(std::move(*parsed)));
  });
}

PyMethodDef functions[] = {
    {"make_context", make_context, METH_VARARGS, "make_context(objects, attributes, rows) -> Context"},
    {"read_context", read_context, METH_VARARGS, "read_context(data, filename) -> Context"},
};

}  // namespace

PyTypeObject* kernel_context_type() {
  static PyTypeObject* type = nullptr;
  if (type == nullptr) type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&context_spec));
  return type;
}

PyObject* new_kernel_context(std::shared_ptr<const core::Context> context) {
  PyTypeObject* type = kernel_context_type();
  if (type == nullptr) return nullptr;
  return python::wrap(type, KernelContext{std::move(context)});
}

const std::shared_ptr<const core::Context>* kernel_context_argument(const char* parameter, PyObject* object) {
  PyTypeObject* type = kernel_context_type();
  if (type == nullptr) return nullptr;
  if (!PyObject_TypeCheck(object, type)) {
    PyErr_Format(PyExc_TypeError, "argument '%s' must be a tessara._lab.Context", parameter);
    return nullptr;
  }
  return &python::unwrap<KernelContext>(object).value.context;
}

std::span<PyMethodDef> context_functions() { return functions; }

}  // namespace tessara::lab
