// libFuzzer target: the fuzzer's bytes go to read_context under one fixed file
// name (TESSARA_FUZZ_FILE_NAME), so each build of this file drives one reader,
// or the format detection when the name has no known extension. A reader must
// return either a context or an error with a message; anything else (a crash,
// a sanitizer report, a hang, memory past the limit) is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "tessara/formats/read_context.hpp"

#ifndef TESSARA_FUZZ_FILE_NAME
#error "TESSARA_FUZZ_FILE_NAME must name the file the input is read as"
#endif

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "read_context fuzzer: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
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
