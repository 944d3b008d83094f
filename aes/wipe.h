// Erases secrets (round keys, chaining blocks, decrypted text) before their
// memory is released or reused, in a way the optimiser cannot drop.
#pragma once

#include <cstddef>

#include "compiler.h"

KESTRELBOX_LOCAL_BEGIN

void wipe(void* memory, std::size_t size);

// The most wipe_stack clears below its caller's frame: the deepest any
// path's stack use is allowed (cbc_path's encrypt_stack and decrypt_stack).
constexpr std::size_t engine_stack_bytes = 2048;

// Clears `size` bytes (at most engine_stack_bytes) of the stack below the
// caller's frame, where the engine's frames were, so that nothing the
// compiler spilled there (round keys, blocks) outlives the call. The codec
// calls it after the engine has run, on every return, with what
// cbc_stack_bytes says the engine's calls used: every byte costs time.
void wipe_stack(std::size_t size);

KESTRELBOX_LOCAL_END
