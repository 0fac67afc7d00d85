// libFuzzer target: the fuzzer's bytes go to the loader of saved lattices. It
// must return a lattice or an error with a message; and a document it accepts
// must save again as one that loads to the same lattice. Anything else (a
// crash, a sanitizer report, a hang, memory past the limit) is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "tessara/formats/lattice_document.hpp"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "lattice document fuzzer: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto loaded = tessara::formats::read_lattice_document(bytes);
  if (!loaded) {
    if (loaded.error().display().empty()) fail("an error without a message");
    return 0;
  }
  const auto saved = tessara::formats::write_lattice_document(loaded->context, loaded->lattice);
  const auto again = tessara::formats::read_lattice_document(saved);
  if (!again) fail("a loaded lattice does not load after saving");
  if (!(again->lattice.concepts == loaded->lattice.concepts)) fail("concepts changed by saving");
  if (*again->lattice.cover_cache != *loaded->lattice.cover_cache) fail("cover edges changed by saving");
  return 0;
}
