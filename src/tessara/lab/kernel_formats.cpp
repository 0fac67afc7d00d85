#include "tessara/lab/kernel_formats.hpp"

#include <string>

#include "tessara/formats/lattice_document.hpp"
#include "tessara/formats/write_context.hpp"
#include "tessara/lab/kernel_context.hpp"
#include "tessara/lab/kernel_lattice.hpp"
#include "tessara/lab/lab_pulse.hpp"
#include "tessara/python/errors.hpp"
#include "tessara/python/gil.hpp"

namespace tessara::lab {
namespace {

using python::guarded;

// write_context(context, format) -> bytes. ValueError for a format name the
// writers do not know, or a context the format cannot carry.
PyObject* write_context(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    PyObject* context_object = nullptr;
    const char* format_name = nullptr;
    if (!PyArg_ParseTuple(args, "Os:write_context", &context_object, &format_name)) return nullptr;
    const auto* context = kernel_context_argument("context", context_object);
    if (context == nullptr) return nullptr;
    const auto format = formats::output_format_by_name(format_name);
    if (!format) {
      return python::raise_value_error(std::string("unknown format \"") + format_name +
                                       "\": expected one of cxt, csv, tsv, dat, xml, json");
    }
    auto written = [&] {
      const python::GilRelease unlocked;
      return formats::write_context(**context, *format);
    }();
    if (!written) return python::raise_value_error(written.error().message);
    return PyBytes_FromStringAndSize(written->data(), static_cast<Py_ssize_t>(written->size()));
  });
}

// save_lattice(lattice) -> the bytes of its JSON document.
PyObject* save_lattice(PyObject*, PyObject* argument) {
  return guarded([&]() -> PyObject* {
    const KernelLattice* lattice = kernel_lattice_argument("lattice", argument);
    if (lattice == nullptr) return nullptr;
    const core::Context* context = lattice->packed_context();
    if (context == nullptr) return nullptr;
    const std::string document = [&] {
      const python::GilRelease unlocked;
      return formats::write_lattice_document(*context, lattice->lattice);
    }();
    return PyBytes_FromStringAndSize(document.data(), static_cast<Py_ssize_t>(document.size()));
  });
}

// load_lattice(data, progress=None) -> Lattice, checked and without
// enumerating (progress, a callable, gets the number of reading steps done,
// at most every 200 ms); ValueError
// "invalid lattice data: ..." for a document that is malformed, changed or cut.
PyObject* load_lattice(PyObject*, PyObject* args) {
  return guarded([&]() -> PyObject* {
    const char* data = nullptr;
    Py_ssize_t size = 0;
    PyObject* progress = Py_None;
    if (!PyArg_ParseTuple(args, "y#|O:load_lattice", &data, &size, &progress)) return nullptr;
    const std::string copy(data, static_cast<std::size_t>(size));
    bool interrupted = false;
    auto loaded = [&] {
      python::GilRelease unlocked;
      // Ctrl-C (or a progress callable that raises) stops the reading, its exception left set.
      LabPulse pulse(unlocked, progress);
      std::uint64_t steps = 0;
      return formats::read_lattice_document(copy, [&] { return !(interrupted = !pulse(++steps)); });
    }();
    if (interrupted) return nullptr;
    if (!loaded) return python::raise_value_error(loaded.error().display());
    KernelLattice value{core::StoredContext::packed(std::make_shared<const core::Context>(std::move(loaded->context))),
                        std::move(loaded->lattice)};
    return new_kernel_lattice(std::move(value));
  });
}

PyMethodDef functions[] = {
    {"write_context", write_context, METH_VARARGS, "write_context(context, format) -> bytes"},
    {"save_lattice", save_lattice, METH_O, "save_lattice(lattice) -> bytes of its JSON document"},
    {"load_lattice", load_lattice, METH_VARARGS, "load_lattice(data, progress=None) -> Lattice"},
};

}  // namespace

std::span<PyMethodDef> format_functions() { return functions; }

}  // namespace tessara::lab
