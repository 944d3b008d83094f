#include "wipe.h"

#include <cstring>

void wipe(void* memory, std::size_t size) {
    if (size == 0) {
        return;
    }
// explicit_bzero came with glibc 2.25; a build for an older glibc (a
// manylinux wheel) must not reference it.
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 25))
    explicit_bzero(memory, size);
#else
    volatile unsigned char* p = static_cast<volatile unsigned char*>(memory);
    for (std::size_t i = 0; i < size; ++i) {
        p[i] = 0;
    }
#endif
}

// Not inlined, so its local lies just below the caller's frame.
__attribute__((noinline)) void wipe_stack() {
    unsigned char area[engine_stack_bytes];
    wipe(area, sizeof area);
    __asm__ volatile("" : : "r"(area) : "memory");
}
