#include "wipe.h"

#include <cstring>

void wipe(void* memory, std::size_t size) {
    if (size == 0) {
        return;
    }
#if defined(__GLIBC__)
    explicit_bzero(memory, size);
#else
    volatile unsigned char* p = static_cast<volatile unsigned char*>(memory);
    for (std::size_t i = 0; i < size; ++i) {
        p[i] = 0;
    }
#endif
}
