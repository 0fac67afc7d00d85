#include "tessara/core/context.hpp"

#include <charconv>
#include <utility>

namespace tessara::core {
namespace {

std::string decimal(std::uint64_t value) {
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return std::string(buffer, end);
}

AttributeSet pack_row(const IncidenceRow& entries) {
  AttributeSet row = AttributeSet::empty(entries.size());
  auto words = row.mutable_words();
  for (std::size_t j = 0; j < entries.size(); ++j)
    if (entries[j]) words[j / AttributeSet::kWordBits] |= AttributeSet::Word{1} << (j % AttributeSet::kWordBits);
  return row;
}

}  // namespace

std::string ContextError::message() const {
  if (const auto* length = std::get_if<RowLength>(&variant_)) {
    return "incidence row " + decimal(length->row) + " has " + decimal(length->found) + " attributes, expected " +
           decimal(length->expected);
  }
  const auto& count = std::get<RowCount>(variant_);
  return "incidence has " + decimal(count.rows) + " rows, expected " + decimal(count.objects) + " (one per object)";
}

std::expected<Context, ContextError> Context::create(std::vector<std::string> objects,
                                                     std::vector<std::string> attributes,
                                                     std::vector<IncidenceRow> incidence) {
  const std::uint64_t width = attributes.size();
  // Every row is checked before any is converted, so a refused call builds nothing.
  for (std::size_t r = 0; r < incidence.size(); ++r) {
    if (incidence[r].size() != width) return std::unexpected(ContextError(RowLength{r, incidence[r].size(), width}));
  }
  if (incidence.size() != objects.size())
    return std::unexpected(ContextError(RowCount{incidence.size(), objects.size()}));

  std::vector<AttributeSet> rows;
  rows.reserve(incidence.size());
  for (IncidenceRow& entries : incidence) {
    rows.push_back(pack_row(entries));
    IncidenceRow().swap(entries);  // release each input row as soon as it is packed
  }
  return Context(std::move(objects), std::move(attributes), std::move(rows));
}

std::expected<Context, ContextError> Context::from_rows(std::vector<std::string> objects,
                                                        std::vector<std::string> attributes,
                                                        std::vector<AttributeSet> rows) {
  const std::uint64_t width = attributes.size();
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (rows[r].capacity() != width) return std::unexpected(ContextError(RowLength{r, rows[r].capacity(), width}));
  }
  if (rows.size() != objects.size()) return std::unexpected(ContextError(RowCount{rows.size(), objects.size()}));
  return Context(std::move(objects), std::move(attributes), std::move(rows));
}

const std::string& Context::object_name(std::uint64_t g) const {
  if (g >= objects_.size()) throw InternalFault(fault_text::kIndexOutOfRange);
  return objects_[g];
}

const std::string& Context::attribute_name(std::uint64_t m) const {
  if (m >= attributes_.size()) throw InternalFault(fault_text::kIndexOutOfRange);
  return attributes_[m];
}

const AttributeSet& Context::row(std::uint64_t g) const {
  if (g >= rows_.size()) throw InternalFault(fault_text::kIndexOutOfRange);
  return rows_[g];
}

ObjectSet Context::extent_of(const AttributeSet& b) const {
  if (b.capacity() != n_attributes()) throw InternalFault(fault_text::kAttributeSetCapacity);
  ObjectSet extent = ObjectSet::empty(n_objects());
  auto out = extent.mutable_words();
  const auto wanted = b.words();
  for (std::size_t g = 0; g < rows_.size(); ++g) {
    const auto have = rows_[g].words();
    bool holds_all = true;
    for (std::size_t w = 0; w < wanted.size(); ++w) {
      if ((wanted[w] & ~have[w]) != 0) {
        holds_all = false;
        break;
      }
    }
    if (holds_all) out[g / ObjectSet::kWordBits] |= ObjectSet::Word{1} << (g % ObjectSet::kWordBits);
  }
  return extent;
}

AttributeSet Context::intent_of(const ObjectSet& a) const {
  if (a.capacity() != n_objects()) throw InternalFault(fault_text::kObjectSetCapacity);
  AttributeSet intent = AttributeSet::full(n_attributes());
  auto running = intent.mutable_words();
  const auto objects = a.words();
  for (std::size_t w = 0; w < objects.size(); ++w) {
    ObjectSet::Word word = objects[w];
    while (word != 0) {
      const std::size_t g = w * ObjectSet::kWordBits + static_cast<std::size_t>(std::countr_zero(word));
      word &= word - 1;
      const auto row = rows_[g].words();
      AttributeSet::Word any = 0;
      for (std::size_t k = 0; k < running.size(); ++k) {
        running[k] &= row[k];
        any |= running[k];
      }
      // Once the running intersection is empty no further object can change it.
      if (any == 0) return intent;
    }
  }
  return intent;
}

}  // namespace tessara::core
