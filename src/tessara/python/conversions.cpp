#include "tessara/python/conversions.hpp"

#include "tessara/python/errors.hpp"

namespace tessara::python {

PyObject* new_str(std::string_view text) {
  return created(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

NameTable::NameTable(const std::vector<std::string>& names) {
  names_.reserve(names.size());
  for (const std::string& name : names) names_.push_back(PyRef::steal(new_str(name)));
}

PyObject* NameTable::name(std::uint32_t index) const {
  if (index >= names_.size()) throw core::InternalFault(core::fault_text::kIndexOutOfRange);
  PyObject* name = names_[index].get();
  Py_INCREF(name);
  return name;
}

template <typename Set>
PyObject* NameTable::list_of(const Set& set) const {
  PyRef list = PyRef::steal(created(PyList_New(static_cast<Py_ssize_t>(set.count()))));
  Py_ssize_t position = 0;
  set.for_each_member([&](std::uint32_t index) {
    PyList_SetItem(list.get(), position++, name(index));  // steals the new reference
  });
  return list.release();
}

namespace {

// Sets dict[key] = value and drops the caller's reference to value.
void set_item(PyObject* dict, const PyRef& key, PyObject* value) {
  PyRef owned = PyRef::steal(value);
  if (PyDict_SetItem(dict, key.get(), owned.get()) != 0) throw ObjectCreationFailure();
}

PyRef interned(const char* text) { return PyRef::steal(created(PyUnicode_InternFromString(text))); }

}  // namespace

PyObject* concept_list(const core::Context& context, const core::ConceptList& concepts) {
  const NameTable objects(context.objects());
  const NameTable attributes(context.attributes());
  const PyRef extent_key = interned("extent");
  const PyRef intent_key = interned("intent");

  PyRef list = PyRef::steal(created(PyList_New(static_cast<Py_ssize_t>(concepts.size()))));
  Py_ssize_t position = 0;
  for (const core::ConceptView concept_record : concepts) {
    PyRef dict = PyRef::steal(created(PyDict_New()));
    set_item(dict.get(), extent_key, objects.list_of(concept_record.extent));
    set_item(dict.get(), intent_key, attributes.list_of(concept_record.intent));
    PyList_SetItem(list.get(), position++, dict.release());
  }
  return list.release();
}

PyObject* implication_list(const core::Context& context, std::span<const core::Implication> implications) {
  const NameTable attributes(context.attributes());
  const PyRef premise_key = interned("premise");
  const PyRef conclusion_key = interned("conclusion");
  const PyRef support_key = interned("support");
  const PyRef confidence_key = interned("confidence");

  PyRef list = PyRef::steal(created(PyList_New(static_cast<Py_ssize_t>(implications.size()))));
  Py_ssize_t position = 0;
  for (const core::Implication& implication : implications) {
    PyRef dict = PyRef::steal(created(PyDict_New()));
    set_item(dict.get(), premise_key, attributes.list_of(implication.premise));
    set_item(dict.get(), conclusion_key, attributes.list_of(implication.conclusion));
    set_item(dict.get(), support_key, created(PyLong_FromUnsignedLongLong(implication.support)));
    set_item(dict.get(), confidence_key, created(PyFloat_FromDouble(implication.confidence)));
    PyList_SetItem(list.get(), position++, dict.release());
  }
  return list.release();
}

}  // namespace tessara::python
