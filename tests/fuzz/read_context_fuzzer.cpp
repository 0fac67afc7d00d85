// libFuzzer target: the fuzzer's bytes go to read_context under one fixed file
// name (TESSARA_FUZZ_FILE_NAME), so each build of this file drives one reader,
// or the format detection when the name has no known extension. A reader must
// return either a context or an error with a message; anything else (a crash,
// a sanitizer report, a hang, memory past the limit) is a finding.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "tessara/formats/fimi_transactions.hpp"
#include "tessara/formats/limits.hpp"
#include "tessara/formats/read_context.hpp"

#ifndef TESSARA_FUZZ_FILE_NAME
#error "TESSARA_FUZZ_FILE_NAME must name the file the input is read as"
#endif

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "read_context fuzzer: %s\n", what);
  std::abort();
}

#ifdef TESSARA_FUZZ_BOUND_FIMI
// A FIMI input of a few bytes may legally ask for millions of attributes ("0
// 7798699", in any script's digits) or a context of billions of cells, which
// the reader builds in seconds and hundreds of megabytes: a run spent there
// tries nothing new. The target reads the transactions first (a linear pass,
// cheap beside building) and passes on such an input before the reader sees
// it, so the fuzzer keeps its pace, while an input past the reader's own
// limits still goes in (those are refused before anything is built, and their
// checks are what the fuzzer should reach).
//
// Generating a name per attribute and walking every cell dominate a run (their
// loops' comparisons are all traced): a few hundred attributes and some sixteen
// thousand cells reach every path of the reader, rows past a word included.
constexpr std::uint64_t kFuzzAttributes = std::uint64_t{1} << 8;
constexpr std::uint64_t kFuzzCells = std::uint64_t{1} << 14;

bool builds_a_large_context(std::string_view bytes) {
  const auto transactions = tessara::formats::read_fimi_transactions(bytes);
  if (!transactions) return false;  // refused before anything is built
  const std::uint64_t lines = transactions->count();
  const std::uint64_t width = transactions->width;
  const bool refused_unbuilt = tessara::formats::check_fimi_names(*transactions).has_value() ||
                               tessara::formats::check_context_size("fimi", lines, width).has_value();
  return !refused_unbuilt && (width > kFuzzAttributes || lines * width > kFuzzCells);
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
#ifdef TESSARA_FUZZ_BOUND_FIMI
  if (builds_a_large_context(bytes)) return -1;  // not worth a run, nor a place in the corpus
#endif
  const auto context = tessara::formats::read_context(bytes, TESSARA_FUZZ_FILE_NAME);
  if (!context) {
    if (context.error().display().empty()) fail("an error without a message");
    return 0;
  }
  // Walk what was built so a short row or a dangling name shows up here.
  if (context->rows().size() != context->n_objects()) fail("row count differs from object count");
  if (context->objects().size() != context->n_objects()) fail("object names differ from object count");
  std::uint64_t crosses = 0;
  for (const auto& row : context->rows()) {
    if (row.capacity() != context->n_attributes()) fail("row capacity differs from attribute count");
    crosses += row.count();
  }
  if (crosses > context->n_objects() * context->n_attributes()) fail("more crosses than cells");
  return 0;
}
