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

 private:
  PyObject* name(std::uint32_t index) const;
  std::vector<PyRef> names_;
};

// The concept dicts ({"extent": [...], "intent": [...]}) in the given order.
PyObject* concept_list(const core::Context& context, const core::ConceptList& concepts);

// The implication dicts ({"premise", "conclusion", "support", "confidence"}).
PyObject* implication_list(const core::Context& context, std::span<const core::Implication> implications);

// A new str from UTF-8 text.
PyObject* new_str(std::string_view text);

}  // namespace tessara::python
