#include "wipe.h"

#include <cstring>

// The C library's memset, then an empty asm statement that is told it reads
// the memory: the compiler must assume the zeros are used, so it cannot drop
// the stores as dead. Unlike explicit_bzero (glibc 2.25 and later) it needs
// nothing of the C library beyond memset. Never inlined, so the size stays
// unknown to the compiler and the library's memset, faster than the string
// instruction the compiler would put inline, does the work.
__attribute__((noinline)) void wipe(void* memory, std::size_t size) {
    std::memset(memory, 0, size);
    __asm__ __volatile__("" : : "r"(memory) : "memory");
}

// Not inlined, so its local lies just below the caller's frame.
__attribute__((noinline)) void wipe_stack() {
    unsigned char area[engine_stack_bytes];
    wipe(area, sizeof area);
}
