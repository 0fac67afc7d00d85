#include "tessara/python/context_type.hpp"

#include <string>

namespace tessara::python {
namespace {

constexpr const char* kTypeName = "Context";

PyObject* count_property(PyObject* self, std::uint64_t (core::Context::*count)() const noexcept) {
  return guarded([&]() -> PyObject* {
    const auto access = share<core::Context>(self, kTypeName);
    if (!access) return nullptr;
    return PyLong_FromUnsignedLongLong((unwrap<core::Context>(self).value.*count)());
  });
}

PyObject* get_n_objects(PyObject* self, void*) { return count_property(self, &core::Context::n_objects); }
PyObject* get_n_attributes(PyObject* self, void*) { return count_property(self, &core::Context::n_attributes); }

PyObject* context_repr(PyObject* self) {
  return guarded([&]() -> PyObject* {
    const auto access = share<core::Context>(self, kTypeName);
    if (!access) return nullptr;
    const core::Context& context = unwrap<core::Context>(self).value;
    const std::string text = "Context(objects=" + std::to_string(context.n_objects()) +
                             ", attributes=" + std::to_string(context.n_attributes()) + ")";
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  });
}

PyGetSetDef context_properties[] = {
    {"n_objects", get_n_objects, nullptr, "", nullptr},
    {"n_attributes", get_n_attributes, nullptr, "", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot context_slots[] = {
    {Py_tp_doc, const_cast<char*>("Wraps a parsed `Context` so Python can hold it across calls.")},
    {Py_tp_new, reinterpret_cast<void*>(refuse_construction)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_wrapped<core::Context>)},
    {Py_tp_repr, reinterpret_cast<void*>(context_repr)},
    {Py_tp_getset, context_properties},
    {0, nullptr},
};

PyType_Spec context_spec = {
    "tessara.Context",  static_cast<int>(sizeof(ContextObject)), 0,
    Py_TPFLAGS_DEFAULT,  // no BASETYPE: the class cannot be subclassed
    context_slots,
};

}  // namespace

PyTypeObject* context_type() {
  // Built once, the first time it is needed, and kept for the life of the process.
  static PyTypeObject* type = nullptr;
  if (type == nullptr) type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&context_spec));
  return type;
}

PyObject* new_context_object(core::Context&& context) {
  PyTypeObject* type = context_type();
  if (type == nullptr) return nullptr;
  return wrap(type, std::move(context));
}

}  // namespace tessara::python
