// Erases secrets (round keys, chaining blocks, decrypted text) before their
// memory is released or reused, in a way the optimiser cannot drop.
#pragma once

#include <cstddef>
#include <cstring>

#include "compiler.h"

KESTRELBOX_LOCAL_BEGIN

void wipe(void* memory, std::size_t size);

// The same for a record whose size the compiler knows (the codec's keys and
// blocks, a few hundred bytes): its stores put inline, sixteen bytes each,
// since at that size the call of memset costs more than the stores.
template <typename record>
inline void wipe_record(record& held) {
    static_assert(sizeof held % 16 == 0, "whole 16-byte stores");
    static const unsigned char zeros[16] = {};
    auto* const bytes = reinterpret_cast<unsigned char*>(&held);
    KESTRELBOX_UNROLL
    for (std::size_t done = 0; done < sizeof held; done += sizeof zeros) {
        std::memcpy(bytes + done, zeros, sizeof zeros);
        KESTRELBOX_KEEP_STORES(bytes);
    }
}

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
