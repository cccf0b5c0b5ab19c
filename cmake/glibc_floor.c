/* What the shipped binaries take from the static C++ runtime and an older C library lacks.
 * Linked only into them (cmake/glibc_floor.cmake); everything here stays hidden. */
#include <stdlib.h>

/* The runtime reads it to skip atomic operations while a process has one thread; C
 * libraries from 2.32 on define it. Zero means "more than one thread may run", which is
 * always true, so every reference count stays atomic, as it was before 2.32. */
__attribute__((visibility("hidden"))) char __libc_single_threaded = 0;

/* std::random_device, which needs arc4random (2.36) and getentropy (2.25), is used by
 * nothing here; the runtime's old-string instantiations name one of its members, and
 * would link it in with those. Defined here, that member keeps the rest of it out, and
 * stops the program should anything ever construct one. */
__attribute__((visibility("hidden"), noreturn)) void vnx_no_random_device(const char* token, size_t length)
    __asm__("_ZNSt13random_device7_M_initEPKcj");
void vnx_no_random_device(const char* token, size_t length) {
  (void)token;
  (void)length;
  abort();
}
