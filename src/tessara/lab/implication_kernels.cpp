#include "tessara/lab/implication_kernels.hpp"

#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "tessara/engine/implication_calculus.hpp"
#include "tessara/engine/implication_closure.hpp"
#include "tessara/engine/run_control.hpp"
#include "tessara/lab/buffers.hpp"
#include "tessara/lab/kernel_context.hpp"
#include "tessara/python/errors.hpp"
#include "tessara/python/gil.hpp"
#include "tessara/python/py_ref.hpp"

namespace tessara::lab {
namespace {

using engine::ImplicationClosure;
using engine::ImplicationList;
using python::guarded;
using python::PyRef;
using Word = ImplicationList::Word;

constexpr const char* kIndexName = "tessara._lab.ImplicationIndex";

// The implications given as (n_attributes, premises, conclusions); nothing
// with an exception set when the byte strings do not hold whole sets of
// equal number.
std::optional<ImplicationList> implication_arguments(unsigned long long n_attributes, PyObject* premise_bytes,
                                                     PyObject* conclusion_bytes) {
  auto premises = array_argument<Word>("premises", premise_bytes);
  if (!premises) return std::nullopt;
  auto conclusions = array_argument<Word>("conclusions", conclusion_bytes);
  if (!conclusions) return std::nullopt;
  ImplicationList list(n_attributes);
  if (premises->size() != conclusions->size() || (list.stride != 0 && premises->size() % list.stride != 0)) {
    python::raise_value_error("premises and conclusions must hold the same number of packed attribute sets");
    return std::nullopt;
  }
  if (list.stride == 0 && !premises->empty()) {
    python::raise_value_error("sets over no attributes take no words");
    return std::nullopt;
  }
  // Bits past the last attribute would name attributes that do not exist.
  if (list.stride != 0 && n_attributes % 64 != 0) {
    const Word tail = ~((Word{1} << (n_attributes % 64)) - 1);
    for (std::size_t k = list.stride - 1; k < premises->size(); k += list.stride)
      if ((((*premises)[k] | (*conclusions)[k]) & tail) != 0) {
        python::raise_value_error("a packed attribute set has bits past the last attribute");
        return std::nullopt;
      }
  }
  list.count = list.stride == 0 ? 0 : premises->size() / list.stride;
  list.premises = std::move(*premises);
  list.conclusions = std::move(*conclusions);
  return list;
}

PyObject* packed_pair(const ImplicationList& list) {
  PyRef premises = PyRef::steal(bytes_of(std::span<const Word>(list.premises)));
  if (!premises) return nullptr;
  PyRef conclusions = PyRef::steal(bytes_of(std::span<const Word>(list.conclusions)));
  if (!conclusions) return nullptr;
  return PyTuple_Pack(2, premises.get(), conclusions.get());
}

engine::RunControl::Pulse interrupt_pulse(python::GilRelease& unlocked) {
  return [&unlocked](std::uint64_t) { return unlocked.check_signals(); };
}

// The index behind an implication_index result, or nullptr with TypeError set.
ImplicationClosure* index_argument(PyObject* capsule) {
  if (PyCapsule_IsValid(capsule, kIndexName) == 0) {
    PyErr_SetString(PyExc_TypeError, "argument 'index' must be an index made by implication_index");
    return nullptr;
  }
  return static_cast<ImplicationClosure*>(PyCapsule_GetPointer(capsule, kIndexName));
}

void release_index(PyObject* capsule) {
  // Takes back the ownership handed to the capsule at creation.
  const std::unique_ptr<ImplicationClosure> owned(
      static_cast<ImplicationClosure*>(PyCapsule_GetPointer(capsule, kIndexName)));
}

// implication_index(n_attributes, premises, conclusions) -> an opaque index
// for implication_closure, built once (LinClosure's attribute lists).
PyObject* implication_index(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    unsigned long long n = 0;
    PyObject* premises = nullptr;
    PyObject* conclusions = nullptr;
    if (!PyArg_ParseTuple(args, "KOO:implication_index", &n, &premises, &conclusions)) return nullptr;
    const auto list = implication_arguments(n, premises, conclusions);
    if (!list) return nullptr;
    auto index = std::make_unique<ImplicationClosure>(*list);
    PyObject* capsule = PyCapsule_New(index.get(), kIndexName, release_index);
    if (capsule != nullptr) static_cast<void>(index.release());
    return capsule;
  });
}

// implication_closure(index, attributes) -> the closure of the attributes
// (bytes of uint32 positions) under the index's implications, ascending.
PyObject* implication_closure(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* capsule = nullptr;
    PyObject* attributes = nullptr;
    if (!PyArg_ParseTuple(args, "OO:implication_closure", &capsule, &attributes)) return nullptr;
    auto* index = index_argument(capsule);
    if (index == nullptr) return nullptr;
    if (!PyBytes_Check(attributes)) {
      PyErr_SetString(PyExc_TypeError, "argument 'attributes' must be bytes");
      return nullptr;
    }
    const auto size = static_cast<std::size_t>(PyBytes_Size(attributes));
    if (size % sizeof(std::uint32_t) != 0)
      return python::raise_value_error("argument 'attributes' is not a whole number of uint32 indices");
    // The set lives on the stack for the usual widths, and the indices are
    // read in place: the result is the only allocation of a call.
    constexpr std::size_t kInline = 16;
    std::array<Word, kInline> inline_words{};
    std::vector<Word> heap_words;
    std::span<Word> set(inline_words.data(), index->stride());
    if (index->stride() > kInline) {
      heap_words.assign(index->stride(), 0);
      set = heap_words;
    }
    const char* data = PyBytes_AsString(attributes);
    for (std::size_t offset = 0; offset < size; offset += sizeof(std::uint32_t)) {
      std::uint32_t m = 0;
      std::memcpy(&m, data + offset, sizeof m);
      if (m >= index->n_attributes()) {
        PyErr_Format(PyExc_IndexError, "argument 'attributes': attribute index %u out of range for %llu attributes",
                     m, static_cast<unsigned long long>(index->n_attributes()));
        return nullptr;
      }
      set[m / 64] |= Word{1} << (m % 64);
    }
    index->close(set);
    std::size_t count = 0;
    for (const Word word : set) count += static_cast<std::size_t>(std::popcount(word));
    PyObject* result = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(count * sizeof(std::uint32_t)));
    if (result == nullptr) return nullptr;
    char* out = PyBytes_AsString(result);
    for (std::size_t w = 0; w < set.size(); ++w)
      for (Word bits = set[w]; bits != 0; bits &= bits - 1) {
        const auto m = static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
        std::memcpy(out, &m, sizeof m);
        out += sizeof m;
      }
    return result;
  });
}

// implications_entailed(index, premises, conclusions) -> bytes of uint8, one
// per implication given: 1 when the index's implications derive it (its
// conclusion lies in the closure of its premise).
PyObject* implications_entailed(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* capsule = nullptr;
    PyObject* premise_bytes = nullptr;
    PyObject* conclusion_bytes = nullptr;
    if (!PyArg_ParseTuple(args, "OOO:implications_entailed", &capsule, &premise_bytes, &conclusion_bytes))
      return nullptr;
    auto* index = index_argument(capsule);
    if (index == nullptr) return nullptr;
    const auto list = implication_arguments(index->n_attributes(), premise_bytes, conclusion_bytes);
    if (!list) return nullptr;
    std::vector<std::uint8_t> entailed(list->size());
    std::vector<Word> set(list->stride);
    for (std::size_t k = 0; k < list->size(); ++k) {
      const auto premise = list->premise(k);
      std::copy(premise.begin(), premise.end(), set.begin());
      entailed[k] = index->close(set, {.target = list->conclusion(k)}) ? 1 : 0;
    }
    return bytes_of(std::span<const std::uint8_t>(entailed));
  });
}

// A whole-set computation run without the interpreter lock, Ctrl-C ending it.
template <typename Compute>
PyObject* run_on_implications(PyObject* args, const char* format, Compute&& compute) {
  return guarded([&]() -> PyObject* {
    unsigned long long n = 0;
    PyObject* premises = nullptr;
    PyObject* conclusions = nullptr;
    if (!PyArg_ParseTuple(args, format, &n, &premises, &conclusions)) return nullptr;
    const auto list = implication_arguments(n, premises, conclusions);
    if (!list) return nullptr;
    std::optional<ImplicationList> result;
    {
      python::GilRelease unlocked;
      engine::RunControl control({}, interrupt_pulse(unlocked));
      result = compute(*list, control);
    }
    if (!result) return nullptr;  // the interrupt left its exception
    return packed_pair(*result);
  });
}

// minimum_cover(n_attributes, premises, conclusions) -> (premises, conclusions),
// each conclusion the closure of its premise.
PyObject* minimum_cover(PyObject*, PyObject* args) {
  return run_on_implications(args, "KOO:minimum_cover", [](const ImplicationList& list, engine::RunControl& control) {
    return engine::implication_calculus::minimum_cover(list, &control);
  });
}

// canonical_of_implications(n_attributes, premises, conclusions) -> (premises,
// conclusions): the Duquenne-Guigues base, lectic order, conclusions closed.
PyObject* canonical_of_implications(PyObject*, PyObject* args) {
  return run_on_implications(args, "KOO:canonical_of_implications",
                             [](const ImplicationList& list, engine::RunControl& control) {
                               return engine::implication_calculus::canonical_base(list, &control);
                             });
}

// closed_sets_of_implications(n_attributes, premises, conclusions, limit) ->
// packed closed sets in lectic order, or None when there are more than limit.
PyObject* closed_sets_of_implications(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    unsigned long long n = 0;
    unsigned long long limit = 0;
    PyObject* premises = nullptr;
    PyObject* conclusions = nullptr;
    if (!PyArg_ParseTuple(args, "KOOK:closed_sets_of_implications", &n, &premises, &conclusions, &limit))
      return nullptr;
    const auto list = implication_arguments(n, premises, conclusions);
    if (!list) return nullptr;
    std::optional<std::vector<Word>> sets;
    bool cancelled = false;
    {
      python::GilRelease unlocked;
      engine::RunControl control({}, interrupt_pulse(unlocked));
      sets = engine::implication_calculus::closed_sets(*list, limit, &control);
      cancelled = control.stopped();
    }
    if (cancelled) return nullptr;
    if (!sets) Py_RETURN_NONE;
    return bytes_of(std::span<const Word>(*sets));
  });
}

// implications_hold(context, premises, conclusions) -> bytes of uint8, one
// per implication: 1 when every object respects it.
PyObject* implications_hold(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* context_object = nullptr;
    PyObject* premises = nullptr;
    PyObject* conclusions = nullptr;
    if (!PyArg_ParseTuple(args, "OOO:implications_hold", &context_object, &premises, &conclusions)) return nullptr;
    const auto* context = kernel_context_argument("context", context_object);
    if (context == nullptr) return nullptr;
    const auto list = implication_arguments((*context)->n_attributes(), premises, conclusions);
    if (!list) return nullptr;
    std::vector<std::uint8_t> holds;
    {
      python::GilRelease unlocked;
      holds = engine::implication_calculus::holds_in(*list, **context);
    }
    return bytes_of(std::span<const std::uint8_t>(holds));
  });
}

PyMethodDef functions[] = {
    {"implication_index", implication_index, METH_VARARGS,
     "implication_index(n_attributes, premises, conclusions) -> index for implication_closure"},
    {"implication_closure", implication_closure, METH_VARARGS,
     "implication_closure(index, attributes: bytes of uint32) -> bytes of uint32"},
    {"implications_entailed", implications_entailed, METH_VARARGS,
     "implications_entailed(index, premises, conclusions) -> bytes of uint8"},
    {"minimum_cover", minimum_cover, METH_VARARGS,
     "minimum_cover(n_attributes, premises, conclusions) -> (premises, conclusions)"},
    {"canonical_of_implications", canonical_of_implications, METH_VARARGS,
     "canonical_of_implications(n_attributes, premises, conclusions) -> (premises, conclusions)"},
    {"closed_sets_of_implications", closed_sets_of_implications, METH_VARARGS,
     "closed_sets_of_implications(n_attributes, premises, conclusions, limit) -> bytes or None"},
    {"implications_hold", implications_hold, METH_VARARGS,
     "implications_hold(context, premises, conclusions) -> bytes of uint8"},
};

}  // namespace

std::span<PyMethodDef> implication_functions() { return functions; }

}  // namespace tessara::lab
