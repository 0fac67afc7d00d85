#include "tessara/python/conversions.hpp"

#include <bit>
#include <type_traits>

#include "tessara/core/popcount.hpp"
#include "tessara/python/errors.hpp"
#include "tessara/python/gc_pause.hpp"

namespace tessara::python {

PyObject* new_str(std::string_view text) {
  return created(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

NameTable::NameTable(const std::vector<std::string>& names) {
  names_.reserve(names.size());
  raw_.reserve(names.size());
  for (const std::string& name : names) {
    names_.push_back(PyRef::steal(new_str(name)));
    raw_.push_back(names_.back().get());
  }
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

template <typename Tag>
PyObject* NameTable::list_of_members(const core::StoredSetView<Tag>& set) const {
  // The caller guarantees that every member indexes a name, so the loop does
  // no checks of its own; PyList_SetItem cannot fail on an index below the
  // list's size and steals the new reference.
  PyObject* const* names = raw_.data();
  PyObject* list = created(PyList_New(static_cast<Py_ssize_t>(set.count())));
  Py_ssize_t position = 0;
  set.for_each_member([&](std::uint32_t g) {
    PyObject* name = names[g];
    Py_INCREF(name);
    PyList_SetItem(list, position++, name);
  });
  return list;
}

PyObject* NameTable::list_of_stored(const core::ExtentView& extent) const { return list_of_members(extent); }
PyObject* NameTable::list_of_stored(const core::IntentView& intent) const { return list_of_members(intent); }

namespace {

// Sets dict[key] = value and drops the caller's reference to value.
void set_item(PyObject* dict, const PyRef& key, PyObject* value) {
  PyRef owned = PyRef::steal(value);
  if (PyDict_SetItem(dict, key.get(), owned.get()) != 0) throw ObjectCreationFailure();
}

PyRef interned(const char* text) { return PyRef::steal(created(PyUnicode_InternFromString(text))); }

}  // namespace

namespace {

constexpr std::size_t kConceptsPerSignalCheck = 8192;

// The concept dicts in one pass, lists made at their final size. With
// `consume`, each chunk of the concept list is given back as soon as its
// concepts are converted, so the records and the dicts are never both whole
// in memory.
template <bool consume>
PyObject* concept_dicts(const core::Context& context,
                        std::conditional_t<consume, core::ConceptList&, const core::ConceptList&> concepts) {
  if (!concepts.empty() &&
      (concepts.n_objects() != context.n_objects() || concepts.n_attributes() != context.n_attributes()))
    throw core::InternalFault(core::fault_text::kSetCapacitiesDiffer);
  const NameTable objects(context.objects());
  const NameTable attributes(context.attributes());
  const PyRef extent_key = interned("extent");
  const PyRef intent_key = interned("intent");
  const CyclicGcPause paused;

  PyRef list = PyRef::steal(created(PyList_New(static_cast<Py_ssize_t>(concepts.size()))));
  for (std::size_t i = 0; i < concepts.size(); ++i) {
    PyRef dict = PyRef::steal(created(PyDict_New()));
    set_item(dict.get(), extent_key, objects.list_of_stored(concepts.extent(i)));
    set_item(dict.get(), intent_key, attributes.list_of_stored(concepts.intent(i)));
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), dict.release());
    if constexpr (consume) concepts.release_before(i + 1);
    // A long conversion answers Ctrl-C too: the half-built list is dropped.
    if (i % kConceptsPerSignalCheck == kConceptsPerSignalCheck - 1 && PyErr_CheckSignals() != 0) return nullptr;
  }
  return list.release();
}

}  // namespace

PyObject* concept_list(const core::Context& context, const core::ConceptList& concepts) {
  return concept_dicts<false>(context, concepts);
}

PyObject* concept_list(const core::Context& context, core::ConceptList&& concepts) {
  return concept_dicts<true>(context, concepts);
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
