// CBC decryption of whole blocks with AES-NI from decryption round keys
// already derived: the AES-NI path's loop, and the VAES paths' tail of fewer
// blocks than their width, which so derive the keys once a call.
#pragma once

#include <cstdint>

#include "aesni_keys.h"

// `blocks` blocks from `input` into `output` under the decryption `keys`;
// `prev` is the ciphertext block before the first, and the last one is
// returned. Not inlined, so it compiles alike for every caller: inlined into
// the VAES-512 path, it spilled its operands and ran a third slower.
// Clears nothing; its callers clear the registers once, as they return.
KESTRELBOX_NOINLINE KESTRELBOX_AESNI __m128i cbc_decrypt_blocks_aesni(
    const __m128i keys[11], __m128i prev, std::uint8_t* output, const std::uint8_t* input,
    std::uint64_t blocks);
