// Erases secrets (round keys, chaining blocks, decrypted text) before their
// memory is released or reused, in a way the optimiser cannot drop.
#pragma once

#include <cstddef>

void wipe(void* memory, std::size_t size);

// The engine's stack use, measured over every path with the codec on top,
// with a margin: wipe_stack clears this much below its caller's frame.
constexpr std::size_t engine_stack_bytes = 4096;

// Clears the stack below the caller's frame, where the engine's frames were,
// so that nothing the compiler spilled there (round keys, blocks) outlives
// the call. The codec calls it after the engine has run, on every return.
void wipe_stack();
