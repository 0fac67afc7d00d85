#include "tessara/formats/lattice_document.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "tessara/core/columns.hpp"
#include "tessara/core/intent_index.hpp"
#include "tessara/core/popcount.hpp"
#include "tessara/formats/json_syntax.hpp"
#include "tessara/formats/limits.hpp"
#include "tessara/formats/text.hpp"
#include "tessara/formats/writers.hpp"

namespace tessara::formats {
namespace {

using Word = std::uint64_t;

constexpr std::string_view kFormat = "lattice";

// Asks the caller whether to go on once every kStepsPerAsk steps (a list read,
// a concept checked), and remembers a refusal.
class ReadCheckpoint {
 public:
  explicit ReadCheckpoint(const KeepReading& keep_reading) : keep_reading_(keep_reading) {}

  bool pass() {
    if (stopped_) return false;
    if (!keep_reading_ || ++steps_ % kStepsPerAsk != 0) return true;
    stopped_ = !keep_reading_();
    return !stopped_;
  }
  bool stopped() const noexcept { return stopped_; }

 private:
  static constexpr std::uint64_t kStepsPerAsk = 1024;
  const KeepReading& keep_reading_;
  std::uint64_t steps_ = 0;
  bool stopped_ = false;
};
constexpr std::string_view kFormatTag = "tessara.lab lattice";
constexpr std::uint64_t kVersion = 1;

// A 64-bit digest of a stream of words (a multiply-rotate round per word, a
// final avalanche), for telling a document apart from a changed copy; not a
// defence against deliberate forgery, which the other checks bound.
class Checksum {
 public:
  void add(std::uint64_t word) noexcept {
    state_ ^= word * 0x9E3779B97F4A7C15ull;
    state_ = std::rotl(state_, 29) * 0xBF58476D1CE4E5B9ull;
  }
  void add(std::string_view bytes) noexcept {
    add(bytes.size());
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      word = (word << 8) | static_cast<unsigned char>(bytes[i]);
      if (i % 8 == 7) add(std::exchange(word, 0));
    }
    add(word);
  }
  // Ends one list, so that [[1], [2]] and [[1, 2]] differ.
  void end_list() noexcept { add(~std::uint64_t{0}); }
  std::uint64_t value() const noexcept {
    std::uint64_t h = state_;
    h ^= h >> 31;
    h *= 0x94D049BB133111EBull;
    return h ^ (h >> 29);
  }

 private:
  std::uint64_t state_ = 0x6A09E667F3BCC908ull;
};

std::string hex16(std::uint64_t value) {
  std::array<char, 16> digits{};
  for (int i = 15; i >= 0; --i, value >>= 4) digits[static_cast<std::size_t>(i)] = "0123456789abcdef"[value & 0xF];
  return std::string(digits.data(), digits.size());
}

// Lists of indices stored flat: list k is values[ends[k - 1] .. ends[k]).
struct IndexLists {
  std::vector<std::uint32_t> values;
  std::vector<std::uint64_t> ends;

  std::size_t size() const noexcept { return ends.size(); }
  std::span<const std::uint32_t> operator[](std::size_t k) const {
    const std::uint64_t start = k == 0 ? 0 : ends[k - 1];
    return std::span<const std::uint32_t>(values.data() + start, ends[k] - start);
  }
};

// The sections of a document, by key.
enum class Section { Format, Version, Checksum, Objects, Attributes, Rows, Intents, Upper };
constexpr std::array<std::string_view, 8> kKeys{"format", "version", "checksum", "objects",
                                                "attributes", "rows", "intents", "upper"};

struct Parts {
  std::string format;
  std::uint64_t version = 0;
  std::string checksum;
  std::vector<std::string> objects;
  std::vector<std::string> attributes;
  IndexLists rows;
  IndexLists intents;
  IndexLists upper;
};

// The checksum of a document's content: each section digested on its own and
// the digests combined in a fixed order, so neither key order nor layout counts.
template <typename NamesOf, typename ListOf>
std::uint64_t content_checksum(std::size_t objects, std::size_t attributes, NamesOf&& name_of,
                               std::array<std::size_t, 3> list_counts, ListOf&& for_each_in_list) {
  Checksum total;
  for (const bool object_side : {true, false}) {
    Checksum names;
    const std::size_t count = object_side ? objects : attributes;
    for (std::size_t i = 0; i < count; ++i) names.add(name_of(object_side, i));
    total.add(names.value());
  }
  for (std::size_t section = 0; section < 3; ++section) {
    Checksum lists;
    for (std::size_t k = 0; k < list_counts[section]; ++k) {
      for_each_in_list(section, k, [&](std::uint32_t value) { lists.add(value); });
      lists.end_list();
    }
    total.add(lists.value());
  }
  return total.value();
}

// Checks every event against the document's shape as it arrives and keeps
// the values; anything out of place stops the parse at once, so nesting never
// goes deeper than three levels.
class Handler final : public json_syntax::EventSink {
 public:
  Handler(Parts& parts, ReadCheckpoint& checkpoint) : parts_(parts), checkpoint_(checkpoint) {}

  std::string take_error() { return std::move(error_); }

  bool null(std::size_t) override { return unexpected("null"); }
  bool boolean(bool, std::size_t) override { return unexpected("a boolean"); }

  bool number(std::string_view literal, std::size_t) override {
    if (literal.starts_with('-')) return unexpected("a negative number");
    if (literal.find_first_of(".eE") != std::string_view::npos) return unexpected("a fraction");
    std::uint64_t value = 0;
    const auto [end, failure] = std::from_chars(literal.data(), literal.data() + literal.size(), value);
    // Digits only here, so the one failure left is a value past 64 bits.
    const bool too_large = failure != std::errc{} || end != literal.data() + literal.size();
    if (depth_ == 1 && section_ == Section::Version) {
      parts_.version = too_large ? ~std::uint64_t{0} : value;
      return true;
    }
    if (depth_ != 3) return unexpected("a number");
    if (too_large || value > 0xFFFFFFFFull)
      return fail(where() + " holds " + std::string(literal) + ", beyond any index");
    current_lists().values.push_back(static_cast<std::uint32_t>(value));
    return true;
  }

  bool string(std::string& value, std::size_t) override {
    if (depth_ == 1 && section_ == Section::Format) {
      parts_.format = std::move(value);
      return true;
    }
    if (depth_ == 1 && section_ == Section::Checksum) {
      parts_.checksum = std::move(value);
      return true;
    }
    if (depth_ == 2 && (section_ == Section::Objects || section_ == Section::Attributes)) {
      (section_ == Section::Objects ? parts_.objects : parts_.attributes).push_back(std::move(value));
      return true;
    }
    return unexpected("a string");
  }

  bool start_object(std::size_t) override {
    if (depth_ != 0) return unexpected("an object");
    depth_ = 1;
    return true;
  }
  bool end_object(std::size_t) override {
    depth_ = 0;
    for (std::size_t k = 0; k < kKeys.size(); ++k)
      if (!seen_[k]) return fail("missing key \"" + std::string(kKeys[k]) + "\"");
    return true;
  }

  bool key(std::string& name, std::size_t) override {
    for (std::size_t k = 0; k < kKeys.size(); ++k) {
      if (kKeys[k] != name) continue;
      if (seen_[k]) return fail("duplicate key \"" + name + "\"");
      seen_[k] = true;
      section_ = static_cast<Section>(k);
      return true;
    }
    return fail("unknown key " + text::quoted(name));
  }

  bool start_array(std::size_t) override {
    const bool names = names_section();
    const bool lists = section_ == Section::Rows || section_ == Section::Intents || section_ == Section::Upper;
    if ((depth_ == 1 && (names || lists)) || (depth_ == 2 && lists)) {
      ++depth_;
      return true;
    }
    return unexpected("an array");
  }
  bool end_array(std::size_t) override {
    if (depth_ == 3) current_lists().ends.push_back(current_lists().values.size());
    --depth_;
    return checkpoint_.pass() || fail("reading was stopped");
  }

 private:
  IndexLists& current_lists() {
    return section_ == Section::Rows ? parts_.rows : section_ == Section::Intents ? parts_.intents : parts_.upper;
  }

  bool names_section() const { return section_ == Section::Objects || section_ == Section::Attributes; }

  // The place being read, for messages: "intents[12]", "objects", "version".
  std::string where() {
    std::string place(1, '"');
    place.append(kKeys[static_cast<std::size_t>(section_)]).push_back('"');
    if (depth_ == 3) place.append("[").append(std::to_string(current_lists().size())).push_back(']');
    return place;
  }

  // What the place being read holds.
  std::string_view expectation() const {
    if (depth_ == 0) return "a JSON object";
    if (depth_ == 3) return "indices (non-negative integers)";
    if (depth_ == 2) return names_section() ? "strings" : "arrays of indices";
    switch (section_) {
      case Section::Format:
      case Section::Checksum:
        return "a string";
      case Section::Version:
        return "a non-negative integer";
      case Section::Objects:
      case Section::Attributes:
        return "an array of strings";
      default:
        return "an array of arrays of indices";
    }
  }

  bool unexpected(std::string_view what) {
    if (depth_ == 0) return fail("expected a JSON object, found " + std::string(what));
    return fail(where() + " holds " + std::string(what) + ", expected " + std::string(expectation()));
  }

  bool fail(std::string message) {
    error_ = std::move(message);
    return false;
  }

  Parts& parts_;
  ReadCheckpoint& checkpoint_;
  int depth_ = 0;
  Section section_ = Section::Format;
  std::array<bool, kKeys.size()> seen_{};
  std::string error_;
};

ParseError invalid(std::string message) { return ParseError::invalid(kFormat, std::move(message)); }

// Nothing when every list is strictly ascending with values below `limit`.
std::optional<ParseError> check_lists(const IndexLists& lists, std::string_view key, std::uint64_t limit,
                                      std::string_view what) {
  for (std::size_t k = 0; k < lists.size(); ++k) {
    const auto list = lists[k];
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::string place = std::string(key) + "[" + std::to_string(k) + "]";
      if (list[i] >= limit)
        return invalid(place + " holds " + std::to_string(list[i]) + ", but there are " + std::to_string(limit) + " " +
                       std::string(what));
      if (i > 0 && list[i] <= list[i - 1]) return invalid(place + " is not strictly ascending");
    }
  }
  return std::nullopt;
}

std::uint64_t parts_checksum(const Parts& parts) {
  const std::array<const IndexLists*, 3> sections{&parts.rows, &parts.intents, &parts.upper};
  return content_checksum(
      parts.objects.size(), parts.attributes.size(),
      [&](bool object_side, std::size_t i) -> std::string_view {
        return object_side ? parts.objects[i] : parts.attributes[i];
      },
      {parts.rows.size(), parts.intents.size(), parts.upper.size()},
      [&](std::size_t section, std::size_t k, auto&& visit) {
        for (const std::uint32_t value : (*sections[section])[k]) visit(value);
      });
}

std::optional<ParseError> check_shape(const Parts& parts) {
  if (parts.format != kFormatTag)
    return invalid("\"format\" is " + text::quoted(parts.format) + ", not \"" + std::string(kFormatTag) + "\"");
  if (parts.version != kVersion)
    return invalid("\"version\" is " + std::to_string(parts.version) + "; this tessara reads version 1");
  if (parts.rows.size() != parts.objects.size())
    return invalid("\"rows\" holds " + std::to_string(parts.rows.size()) + " rows for " +
                   std::to_string(parts.objects.size()) + " objects");
  if (parts.upper.size() != parts.intents.size())
    return invalid("\"upper\" holds " + std::to_string(parts.upper.size()) + " lists for " +
                   std::to_string(parts.intents.size()) + " concepts");
  if (auto too_large = check_context_size(kFormat, parts.objects.size(), parts.attributes.size())) return too_large;
  // The concept records: one extent and one intent per concept, limited like an incidence.
  const std::uint64_t record_bits =
      64 * (core::ObjectSet::word_count(parts.objects.size()) + core::AttributeSet::word_count(parts.attributes.size()));
  const bool too_many_bits = record_bits != 0 && parts.intents.size() > kMaxIncidenceCells / record_bits;
  if (parts.intents.size() >= kMaxIndexCount || too_many_bits)
    return invalid(std::to_string(parts.intents.size()) + " concepts of " + std::to_string(parts.objects.size()) +
                   " objects and " + std::to_string(parts.attributes.size()) +
                   " attributes are too many to hold (the limit is 17179869184 bits of extents and intents)");
  if (auto bad = check_lists(parts.rows, "rows", parts.attributes.size(), "attributes")) return bad;
  if (auto bad = check_lists(parts.intents, "intents", parts.attributes.size(), "attributes")) return bad;
  if (auto bad = check_lists(parts.upper, "upper", parts.intents.size(), "concepts")) return bad;
  return std::nullopt;
}

core::Context context_of(Parts& parts) {
  std::vector<core::AttributeSet> rows;
  rows.reserve(parts.objects.size());
  for (std::size_t g = 0; g < parts.rows.size(); ++g) {
    core::AttributeSet row = core::AttributeSet::empty(parts.attributes.size());
    for (const std::uint32_t m : parts.rows[g]) row.insert(m);
    rows.push_back(std::move(row));
  }
  return core::Context::from_rows(std::move(parts.objects), std::move(parts.attributes), std::move(rows)).value();
}

// The concepts of the stored intents, each extent derived from its intent
// (the objects in every column of it) and the intent checked to be closed
// (exactly the attributes every object of the extent has).
std::expected<core::ConceptList, ParseError> concepts_of(const core::Context& context, const IndexLists& intents,
                                                         ReadCheckpoint& checkpoint) {
  const core::AttributeColumns columns(context);
  core::ConceptList list(context.n_objects(), context.n_attributes());
  core::AttributeSet closed = core::AttributeSet::empty(context.n_attributes());
  const core::AttributeSet all = core::AttributeSet::full(context.n_attributes());
  std::vector<Word> extent(list.extent_stride());
  std::vector<Word> intent(list.intent_stride());
  for (std::size_t k = 0; k < intents.size(); ++k) {
    if (!checkpoint.pass()) return std::unexpected(invalid("reading was stopped"));
    std::fill(intent.begin(), intent.end(), Word{0});
    std::fill(extent.begin(), extent.end(), ~Word{0});
    if (context.n_objects() % 64 != 0 && !extent.empty()) extent.back() = (Word{1} << (context.n_objects() % 64)) - 1;
    for (const std::uint32_t m : intents[k]) {
      intent[m / 64] |= Word{1} << (m % 64);
      const auto column = columns.column(m);
      for (std::size_t w = 0; w < extent.size(); ++w) extent[w] &= column[w];
    }
    auto running = closed.mutable_words();
    std::copy(all.words().begin(), all.words().end(), running.begin());
    core::for_each_bit(std::span<const Word>(extent), [&](std::uint32_t g) {
      const auto row = context.row(g).words();
      for (std::size_t w = 0; w < running.size(); ++w) running[w] &= row[w];
    });
    if (!std::ranges::equal(running, intent))
      return std::unexpected(invalid("intents[" + std::to_string(k) + "] is not a concept intent of the context"));
    list.append(extent, intent);
  }
  // Every concept once: the index finds each intent at its own position.
  const core::IntentIndex index(list);
  for (std::size_t k = 0; k < list.size(); ++k) {
    const std::uint32_t first = index.find(index.intents()[k]).value();
    if (first != k)
      return std::unexpected(
          invalid("intents[" + std::to_string(k) + "] repeats intents[" + std::to_string(first) + "]"));
  }
  return list;
}

// The cover pairs, sorted by (lower, upper); each upper concept must have a
// strictly smaller intent than its lower one.
std::expected<std::vector<core::CoverEdge>, ParseError> edges_of(const core::ConceptList& list,
                                                                  const IndexLists& upper,
                                                                  ReadCheckpoint& checkpoint) {
  std::vector<core::CoverEdge> edges;
  edges.reserve(upper.values.size());
  for (std::uint32_t lower = 0; lower < upper.size(); ++lower) {
    if (!checkpoint.pass()) return std::unexpected(invalid("reading was stopped"));
    for (const std::uint32_t above : upper[lower]) {
      const bool inside = above != lower && list.intent(above).is_subset_of(list.intent(lower));
      if (!inside)
        return std::unexpected(invalid("upper[" + std::to_string(lower) + "] lists concept " + std::to_string(above) +
                                       ", which is not above it"));
      edges.push_back(core::CoverEdge{lower, above});
    }
  }
  return edges;
}

void append_index_lists(std::string& out, std::string_view key, std::size_t count, auto&& for_each_in_list) {
  out += ",\n \"";
  out += key;
  out += "\": [";
  char digits[16];
  for (std::size_t k = 0; k < count; ++k) {
    out += k == 0 ? "\n  [" : ",\n  [";
    bool first = true;
    for_each_in_list(k, [&](std::uint32_t value) {
      if (!first) out += ',';
      first = false;
      out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    });
    out += ']';
  }
  out += ']';
}

void append_names(std::string& out, std::string_view key, const std::vector<std::string>& names) {
  out += ",\n \"";
  out += key;
  out += "\": ";
  append_json_name_list(out, names);
}

}  // namespace

std::string write_lattice_document(const core::Context& context, const core::ConceptLattice& lattice) {
  const core::ConceptList& concepts = lattice.concepts;
  const std::vector<core::CoverEdge>& edges = lattice.cover_cache.value();
  // Edges are sorted by lower concept: starts[k] .. starts[k + 1] are those of concept k.
  std::vector<std::size_t> starts(concepts.size() + 1, edges.size());
  for (std::size_t e = edges.size(); e-- > 0;) starts[edges[e].lower] = e;
  for (std::size_t k = concepts.size(); k-- > 0;) starts[k] = std::min(starts[k], starts[k + 1]);

  const auto for_each_in_list = [&](std::size_t section, std::size_t k, auto&& visit) {
    if (section == 0) context.row(k).for_each_member(visit);
    if (section == 1) concepts[k].intent.for_each_member(visit);
    if (section == 2)
      for (std::size_t e = starts[k]; e < starts[k + 1]; ++e) visit(edges[e].upper);
  };
  const std::uint64_t checksum = content_checksum(
      context.n_objects(), context.n_attributes(),
      [&](bool object_side, std::size_t i) -> std::string_view {
        return object_side ? context.object_name(i) : context.attribute_name(i);
      },
      {context.n_objects(), concepts.size(), concepts.size()}, for_each_in_list);

  std::string out = "{\"format\": \"";
  out += kFormatTag;
  out += "\",\n \"version\": 1,\n \"checksum\": \"";
  out += hex16(checksum);
  out += '"';
  append_names(out, "objects", context.objects());
  append_names(out, "attributes", context.attributes());
  const std::array<std::string_view, 3> keys{"rows", "intents", "upper"};
  for (std::size_t section = 0; section < keys.size(); ++section) {
    append_index_lists(out, keys[section], section == 0 ? context.n_objects() : concepts.size(),
                       [&](std::size_t k, auto&& visit) { for_each_in_list(section, k, visit); });
  }
  out += "}\n";
  return out;
}

std::expected<LatticeDocument, ParseError> read_lattice_document(std::string_view bytes) {
  return read_lattice_document(bytes, KeepReading{});
}

std::expected<LatticeDocument, ParseError> read_lattice_document(std::string_view bytes,
                                                                 const KeepReading& keep_reading) {
  ReadCheckpoint checkpoint(keep_reading);
  Parts parts;
  {
    Handler handler(parts, checkpoint);
    const std::optional<json_syntax::SyntaxError> syntax = json_syntax::parse(bytes, handler);
    std::string error = handler.take_error();
    if (syntax) {
      error.assign("JSON parse error: ");
      error.append(syntax->text).append(" at byte ").append(std::to_string(syntax->end));
    }
    if (!error.empty()) return std::unexpected(invalid(text::is_valid_utf8(error) ? error : text::decode_lossy(error)));
  }
  if (auto bad = check_shape(parts)) return std::unexpected(std::move(*bad));
  // Checked after the structure, so that a change the structure betrays is reported as what it is.
  const bool checksum_matches = hex16(parts_checksum(parts)) == parts.checksum;
  const IndexLists intents = std::move(parts.intents);
  const IndexLists upper = std::move(parts.upper);
  core::Context context = context_of(parts);
  auto concepts = concepts_of(context, intents, checkpoint);
  if (!concepts) return std::unexpected(std::move(concepts.error()));
  auto edges = edges_of(*concepts, upper, checkpoint);
  if (!edges) return std::unexpected(std::move(edges.error()));
  if (!checksum_matches)
    return std::unexpected(invalid("checksum mismatch: the document was changed or damaged after it was saved"));
  return LatticeDocument{std::move(context), core::ConceptLattice{std::move(*concepts), std::move(*edges)}};
}

}  // namespace tessara::formats
