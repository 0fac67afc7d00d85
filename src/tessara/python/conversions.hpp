#pragma once

#include <span>
#include <string>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"
#include "tessara/python/py_ref.hpp"

namespace tessara::python {

// New str objects for every name of a list, made once per call and handed out
// as new references, so a name used by many concepts costs one str.
class NameTable {
 public:
  explicit NameTable(const std::vector<std::string>& names);

  // A new list with the names of the set's members, in ascending index order.
  template <typename Set>
  PyObject* list_of(const Set& set) const;

  // The same for a stored extent or intent whose members all index a name.
  PyObject* list_of_stored(const core::ExtentView& extent) const;
  PyObject* list_of_stored(const core::IntentView& intent) const;

 private:
  template <typename Tag>
  PyObject* list_of_members(const core::StoredSetView<Tag>& set) const;
  PyObject* name(std::uint32_t index) const;
  std::vector<PyRef> names_;
  std::vector<PyObject*> raw_;  // borrowed from names_, for the conversion loops
};

// The concept dicts ({"extent": [...], "intent": [...]}) in the given order.
PyObject* concept_list(const core::Context& context, const core::ConceptList& concepts);
// The same, giving the list's memory back as it goes; the list is spent afterwards.
PyObject* concept_list(const core::Context& context, core::ConceptList&& concepts);

// The implication dicts ({"premise", "conclusion", "support", "confidence"}).
PyObject* implication_list(const core::Context& context, std::span<const core::Implication> implications);

// A new str from UTF-8 text.
PyObject* new_str(std::string_view text);

}  // namespace tessara::python
