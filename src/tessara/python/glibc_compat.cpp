// Definitions that keep the module loadable on glibc 2.28. The statically
// linked libstdc++ was built against a newer glibc and refers to symbols it
// added later; defining them here binds those references to these hidden
// copies at link time, so the module asks glibc for none of them.
//   arc4random (glibc 2.36): std::random_device, linked in but never used.
//   __libc_single_threaded (glibc 2.32): libstdc++ skips atomic reference
//     counting when it is set; left at 0, the counts are always atomic.
//   pthread_create, pthread_join, pthread_detach, pthread_once,
//     pthread_key_create, pthread_key_delete, pthread_getspecific,
//     pthread_setspecific (moved from libpthread into libc in glibc 2.34,
//     which links new references to its GLIBC_2.34 versions): std::thread's
//     implementation. The definitions here call the versions every glibc
//     since 2.2.5 has (in libpthread before 2.34, which the interpreter loads).
// getrandom has been in glibc since 2.25. The engine's waits use the system
// clock, so std::condition_variable asks for pthread_cond_timedwait and not
// pthread_cond_clockwait (glibc 2.30).

#include <pthread.h>
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

// References to the oldest versions of the thread functions, under local names.
int tessara_pthread_create(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
int tessara_pthread_join(pthread_t, void**);
int tessara_pthread_detach(pthread_t);
int tessara_pthread_once(pthread_once_t*, void (*)());
int tessara_pthread_key_create(pthread_key_t*, void (*)(void*));
int tessara_pthread_key_delete(pthread_key_t);
void* tessara_pthread_getspecific(pthread_key_t);
// Like glibc's declaration: the value is stored, never read.
__attribute__((access(none, 2))) int tessara_pthread_setspecific(pthread_key_t, const void*);
__asm__(".symver tessara_pthread_create,pthread_create@GLIBC_2.2.5");
__asm__(".symver tessara_pthread_join,pthread_join@GLIBC_2.2.5");
__asm__(".symver tessara_pthread_detach,pthread_detach@GLIBC_2.2.5");
__asm__(".symver tessara_pthread_once,pthread_once@GLIBC_2.2.5");
__asm__(".symver tessara_pthread_key_create,pthread_key_create@GLIBC_2.2.5");
__asm__(".symver tessara_pthread_key_delete,pthread_key_delete@GLIBC_2.2.5");
__asm__(".symver tessara_pthread_getspecific,pthread_getspecific@GLIBC_2.2.5");
__asm__(".symver tessara_pthread_setspecific,pthread_setspecific@GLIBC_2.2.5");

int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                   void* argument) noexcept {
  return tessara_pthread_create(thread, attributes, start, argument);
}
int pthread_join(pthread_t thread, void** result) { return tessara_pthread_join(thread, result); }
int pthread_detach(pthread_t thread) noexcept { return tessara_pthread_detach(thread); }
int pthread_once(pthread_once_t* control, void (*routine)()) { return tessara_pthread_once(control, routine); }
int pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) noexcept {
  return tessara_pthread_key_create(key, destructor);
}
int pthread_key_delete(pthread_key_t key) noexcept { return tessara_pthread_key_delete(key); }
void* pthread_getspecific(pthread_key_t key) noexcept { return tessara_pthread_getspecific(key); }
int pthread_setspecific(pthread_key_t key, const void* value) noexcept { return tessara_pthread_setspecific(key, value); }

}  // extern "C"
