// Erases secrets (round keys, chaining blocks, decrypted text) before their
// memory is released or reused, in a way the optimiser cannot drop.
#pragma once

#include <cstddef>

void wipe(void* memory, std::size_t size);
