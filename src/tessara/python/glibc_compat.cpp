// Definitions that keep the module loadable on glibc 2.28. The statically
// linked libstdc++ was built against a newer glibc and refers to symbols it
// added later; defining them here binds those references to these hidden
// copies at link time, so the module asks glibc for none of them.
//   arc4random (glibc 2.36): std::random_device, linked in but never used.
//   __libc_single_threaded (glibc 2.32): libstdc++ skips atomic reference
//     counting when it is set; left at 0, the counts are always atomic.
// getrandom has been in glibc since 2.25.

#include <sys/random.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <ctime>

namespace {

// SplitMix64 over the clock and an address: only for kernels without the
// getrandom system call, where a value that differs from run to run is all
// that is asked for.
void fill_from_clock(unsigned char* bytes, std::size_t size) noexcept {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::uint64_t state = static_cast<std::uint64_t>(now.tv_sec) * 1000000007u + static_cast<std::uint64_t>(now.tv_nsec) +
                        reinterpret_cast<std::uintptr_t>(bytes);
  for (std::size_t i = 0; i < size; ++i) {
    state += 0x9e3779b97f4a7c15u;
    std::uint64_t mixed = state;
    mixed = (mixed ^ (mixed >> 30)) * 0xbf58476d1ce4e5b9u;
    mixed = (mixed ^ (mixed >> 27)) * 0x94d049bb133111ebu;
    bytes[i] = static_cast<unsigned char>(mixed ^ (mixed >> 31));
  }
}

void fill_random(void* buffer, std::size_t size) noexcept {
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    const ssize_t got = getrandom(bytes, size, 0);
    if (got > 0) {
      bytes += got;
      size -= static_cast<std::size_t>(got);
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  fill_from_clock(bytes, size);
}

}  // namespace

extern "C" {

char __libc_single_threaded = 0;  // NOLINT: the name libstdc++ refers to

std::uint32_t arc4random() noexcept {
  std::uint32_t value = 0;
  fill_random(&value, sizeof value);
  return value;
}

}  // extern "C"
