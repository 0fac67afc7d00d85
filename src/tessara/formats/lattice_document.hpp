#pragma once

#include <expected>
#include <functional>
#include <string>
#include <string_view>

#include "tessara/core/concept.hpp"
#include "tessara/core/context.hpp"
#include "tessara/formats/parse_error.hpp"

// A computed lattice saved as one JSON document, loaded again without
// enumerating the concepts:
//
//   {"format": "tessara.lab lattice", "version": 1, "checksum": "<16 hex digits>",
//    "objects": [names], "attributes": [names],
//    "rows": [[attribute indices of object 0], ...],
//    "intents": [[attribute indices of concept 0], ...],
//    "upper": [[indices of the concepts covering concept 0], ...]}
//
// Index lists are strictly ascending. Extents are not stored: loading derives
// each from its intent (the objects of every column of the intent) and checks
// that the intent is closed, so every stored concept is a concept of the
// stored context; the intents must differ, every cover pair must go from a
// larger intent to a smaller one, and the checksum (of the names and index
// lists, independent of layout and key order) must match, which catches a
// document changed or cut after saving. Memory stays bounded by the size of
// the document and the readers' size limits.
namespace tessara::formats {

struct LatticeDocument {
  core::Context context;
  core::ConceptLattice lattice;  // cover_cache filled
};

// The document of a lattice whose cover_cache is filled.
std::string write_lattice_document(const core::Context& context, const core::ConceptLattice& lattice);

// Reads and checks a document; failures name the format "lattice".
std::expected<LatticeDocument, ParseError> read_lattice_document(std::string_view bytes);

// Asked now and then (every thousand lists read or concepts checked) while a
// document is read; false stops the reading, which then fails with "reading
// was stopped" and keeps nothing.
using KeepReading = std::function<bool()>;
std::expected<LatticeDocument, ParseError> read_lattice_document(std::string_view bytes,
                                                                 const KeepReading& keep_reading);

}  // namespace tessara::formats
