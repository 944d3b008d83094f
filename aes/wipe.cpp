#include "wipe.h"

#include <cstring>

#include "compiler.h"

// The C library's memset, then a barrier that keeps the compiler from
// dropping the stores as dead. Unlike explicit_bzero (glibc 2.25 and later)
// it needs nothing of the C library beyond memset. Never inlined, so the
// size stays unknown to the compiler and the library's memset, faster than
// the string instruction the compiler would put inline, does the work.
KESTRELBOX_NOINLINE void wipe(void* memory, std::size_t size) {
    std::memset(memory, 0, size);
    KESTRELBOX_KEEP_STORES(memory);
}

// Not inlined, so its local lies just below the caller's frame, whose
// nearest `size` bytes are cleared.
KESTRELBOX_NOINLINE void wipe_stack(std::size_t size) {
    unsigned char area[engine_stack_bytes];
    wipe(area + sizeof area - size, size);
}
