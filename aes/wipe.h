// Erases secrets (round keys, chaining blocks, decrypted text) before their
// memory is released or reused, in a way the optimiser cannot drop.
#pragma once

#include <cstddef>

#include "compiler.h"

KESTRELBOX_LOCAL_BEGIN

void wipe(void* memory, std::size_t size);

// How much wipe_stack clears below its caller's frame: twice the engine's
// stack use as the residue test measures it (every path leaves nothing from
// 1 KiB up on x86-64, 512 bytes on ARM64). Every byte costs time on every
// call.
constexpr std::size_t engine_stack_bytes = 2048;

// Clears the stack below the caller's frame, where the engine's frames were,
// so that nothing the compiler spilled there (round keys, blocks) outlives
// the call. The codec calls it after the engine has run, on every return.
void wipe_stack();

KESTRELBOX_LOCAL_END
