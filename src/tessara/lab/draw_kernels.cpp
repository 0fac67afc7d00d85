// The drawing kernels of tessara.lab: a lattice laid out and labelled once
// (a _lab.Diagram), then written in any of the export formats.
#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tessara/core/concept.hpp"
#include "tessara/core/covering.hpp"
#include "tessara/lab/buffers.hpp"
#include "tessara/lab/draw_kernels.hpp"
#include "tessara/lab/kernel_lattice.hpp"
#include "tessara/lab/lab_pulse.hpp"
#include "tessara/layout/crossing_count.hpp"
#include "tessara/layout/diagram.hpp"
#include "tessara/layout/diagram_writers.hpp"
#include "tessara/layout/layered_layout.hpp"
#include "tessara/layout/sugiyama.hpp"
#include "tessara/python/errors.hpp"
#include "tessara/python/gil.hpp"
#include "tessara/python/py_ref.hpp"
#include "tessara/python/wrapped.hpp"

namespace tessara::lab {
namespace {

using python::guarded;

// A laid-out diagram; immutable, so it is written without the lock.
struct KernelDiagram {
  layout::Diagram diagram;
};

const layout::Diagram& diagram_of(PyObject* self) { return python::unwrap<KernelDiagram>(self).value.diagram; }

PyObject* text_of(const std::string& text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// write(extension) -> str: the diagram in the format the file extension names.
PyObject* write_method(PyObject* self, PyObject* argument) {
  return guarded([&]() -> PyObject* {
    if (!PyUnicode_Check(argument)) {
      PyErr_SetString(PyExc_TypeError, "argument 'extension' must be str");
      return nullptr;
    }
    const python::PyRef encoded = python::PyRef::steal(PyUnicode_AsUTF8String(argument));
    if (!encoded) return nullptr;
    const std::string_view name(PyBytes_AsString(encoded.get()), static_cast<std::size_t>(PyBytes_Size(encoded.get())));
    const auto format = layout::format_by_extension(name);
    if (!format) return python::raise_value_error(layout::unknown_format_message(name));
    std::string text;
    {
      const python::GilRelease unlocked;
      text = layout::write_diagram(diagram_of(self), *format);
    }
    return text_of(text);
  });
}

PyObject* get_width(PyObject* self, void*) { return PyFloat_FromDouble(diagram_of(self).width); }
PyObject* get_height(PyObject* self, void*) { return PyFloat_FromDouble(diagram_of(self).height); }
PyObject* get_crossings(PyObject* self, void*) { return PyLong_FromUnsignedLongLong(diagram_of(self).crossings); }
PyObject* get_n_concepts(PyObject* self, void*) { return PyLong_FromSize_t(diagram_of(self).nodes.size()); }
PyObject* get_labels(PyObject* self, void*) {
  return guarded([&] { return text_of(std::string(layout::name_of(diagram_of(self).label_mode))); });
}
PyObject* get_layout(PyObject* self, void*) {
  return guarded([&] { return text_of(std::string(layout::name_of(diagram_of(self).layout))); });
}
PyObject* get_caption(PyObject* self, void*) {
  return guarded([&] { return text_of(diagram_of(self).caption); });
}

PyMethodDef diagram_methods[] = {
    {"write", write_method, METH_O, "write(extension) -> str: the diagram as .svg, .html, .dot, .tex or .json"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef diagram_properties[] = {
    {"width", get_width, nullptr, "Width of the picture in CSS pixels.", nullptr},
    {"height", get_height, nullptr, "Height of the picture in CSS pixels.", nullptr},
    {"crossings", get_crossings, nullptr, "Edge crossings of the layered drawing.", nullptr},
    {"n_concepts", get_n_concepts, nullptr, "The number of concepts drawn.", nullptr},
    {"labels", get_labels, nullptr, "The labelling drawn: reduced, full, counts or none.", nullptr},
    {"layout", get_layout, nullptr, "The layout drawn: layered or additive.", nullptr},
    {"caption", get_caption, nullptr, "The caption over the picture.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot diagram_slots[] = {
    {Py_tp_doc, const_cast<char*>("A laid-out, labelled lattice diagram held by the lab's kernels.")},
    {Py_tp_new, reinterpret_cast<void*>(python::refuse_construction)},
    {Py_tp_dealloc, reinterpret_cast<void*>(python::dealloc_wrapped<KernelDiagram>)},
    {Py_tp_methods, diagram_methods},
    {Py_tp_getset, diagram_properties},
    {0, nullptr},
};

PyType_Spec diagram_spec = {
    "tessara._lab.Diagram", static_cast<int>(sizeof(python::Wrapped<KernelDiagram>)), 0, Py_TPFLAGS_DEFAULT,
    diagram_slots,
};

// draw(lattice, labels=None, layout="layered", highlight=None, size_by_support=False,
//      shade_by_support=False, counts_above=300, concepts=None, progress=None) -> Diagram.
// labels None picks reduced, or counts (saying why in the caption) for
// lattices of more than counts_above concepts. concepts, the uint32 indices
// of distinct concepts as bytes, draws those alone (a focus view); highlight
// is then a position among them. progress, a callable, gets the number of
// layout steps done, at most every 200 ms.
PyObject* draw(PyObject*, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static const char* keywords[] = {"lattice", "labels", "layout", "highlight", "size_by_support", "shade_by_support",
                                     "counts_above", "concepts", "progress", nullptr};
    PyObject* lattice_object = nullptr;
    const char* labels = nullptr;
    const char* layout_name = "layered";
    PyObject* highlight = Py_None;
    int size_by_support = 0;
    int shade_by_support = 0;
    Py_ssize_t counts_above = 300;
    PyObject* chosen_object = Py_None;
    PyObject* progress = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|zsOppnOO:draw", const_cast<char**>(keywords), &lattice_object,
                                     &labels, &layout_name, &highlight, &size_by_support, &shade_by_support,
                                     &counts_above, &chosen_object, &progress))
      return nullptr;
    if (counts_above < 0) return python::raise_value_error("counts_above must not be negative");
    const KernelLattice* lattice = kernel_lattice_argument("lattice", lattice_object);
    if (lattice == nullptr) return nullptr;
    std::optional<std::vector<std::uint32_t>> chosen;
    if (chosen_object != Py_None) {
      chosen = index_array_argument("concepts", chosen_object, lattice->concepts().size());
      if (!chosen) return nullptr;
      std::vector<std::uint32_t> sorted = *chosen;
      std::sort(sorted.begin(), sorted.end());
      if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end())
        return python::raise_value_error("concepts must be distinct");
    }
    const std::size_t drawn = chosen ? chosen->size() : lattice->concepts().size();
    layout::DiagramOptions options;
    if (labels != nullptr) {
      const auto mode = layout::label_mode_by_name(labels);
      if (!mode) return python::raise_value_error(layout::unknown_label_mode_message(labels));
      options.labels = *mode;
    }
    const auto kind = layout::layout_by_name(layout_name);
    if (!kind) return python::raise_value_error(layout::unknown_layout_message(layout_name));
    options.layout = *kind;
    if (highlight != Py_None) {
      const long long index = PyLong_AsLongLong(highlight);
      if (index == -1 && PyErr_Occurred()) return nullptr;
      if (index < 0 || static_cast<unsigned long long>(index) >= drawn) {
        PyErr_Format(PyExc_IndexError, "highlight %lld is not a concept index of this lattice (0 to %zu)", index,
                     drawn - (drawn == 0 ? 0 : 1));
        return nullptr;
      }
      options.highlight = static_cast<std::uint32_t>(index);
    }
    options.size_by_support = size_by_support != 0;
    options.shade_by_support = shade_by_support != 0;
    options.automatic_counts_above = static_cast<std::size_t>(counts_above);
    const core::Context* context = lattice->packed_context();
    if (context == nullptr) return nullptr;
    KernelDiagram made;
    bool interrupted = false;
    {
      python::GilRelease unlocked;
      // Ctrl-C (or a progress callable that raises) stops the layout between two of its steps; the half-made
      // diagram is dropped.
      LabPulse pulse(unlocked, progress);
      std::uint64_t steps = 0;
      options.keep_going = [&] { return !interrupted && !(interrupted = !pulse(++steps)); };
      made.diagram = chosen ? layout::make_focus_diagram(*context, lattice->concepts(), lattice->edges(),
                                                         *chosen, options)
                            : layout::make_diagram(
                                  layout::DiagramSource{*context, lattice->concepts(), lattice->edges()},
                                  options);
    }
    if (interrupted) return nullptr;  // the signal handler's exception (KeyboardInterrupt) is set
    PyTypeObject* type = kernel_diagram_type();
    if (type == nullptr) return nullptr;
    return python::wrap(type, std::move(made));
  });
}

// layout_crossings(lattice) -> (module, layered): the edge crossings of the
// tessara module's drawing (long edges straight, as its SVG draws them) and
// of the lab's layered layout, for comparisons.
PyObject* layout_crossings(PyObject*, PyObject* argument) {
  return guarded([&]() -> PyObject* {
    const KernelLattice* lattice = kernel_lattice_argument("lattice", argument);
    if (lattice == nullptr) return nullptr;
    std::uint64_t module = 0;
    std::uint64_t layered = 0;
    {
      const python::GilRelease unlocked;
      core::ConceptLattice copy = lattice->lattice;
      const layout::LatticeLayout grid = layout::sugiyama_layout(copy, layout::LayoutConfig{});
      layout::Drawing straight;
      for (const layout::LayoutNode& node : grid.nodes) straight.nodes.push_back(layout::Point{node.x, node.y});
      straight.edges = lattice->edges();
      module = layout::count_crossings(straight);
      const std::size_t n = lattice->concepts().size();
      layered = layout::layered_layout(n, lattice->edges(), std::vector<layout::NodeExtent>(n, {6.0, 6.0, 6.0}))
                    .crossings;
    }
    return Py_BuildValue("(KK)", static_cast<unsigned long long>(module), static_cast<unsigned long long>(layered));
  });
}

PyMethodDef functions[] = {
    {"draw", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(draw)), METH_VARARGS | METH_KEYWORDS,
     "draw(lattice, labels=None, layout='layered', highlight=None, size_by_support=False, shade_by_support=False, "
     "counts_above=300, concepts=None, progress=None) -> Diagram"},
    {"layout_crossings", layout_crossings, METH_O, "layout_crossings(lattice) -> (module, layered)"},
};

}  // namespace

std::span<PyMethodDef> draw_functions() { return functions; }

PyTypeObject* kernel_diagram_type() {
  static PyTypeObject* type = nullptr;
  if (type == nullptr) type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&diagram_spec));
  return type;
}

}  // namespace tessara::lab
