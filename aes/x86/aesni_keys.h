// Round keys in XMM registers for the AES-NI and VAES paths.
#pragma once

#include <immintrin.h>

#include "../aes128.h"

#define KESTRELBOX_AESNI __attribute__((target("aes,sse4.1")))

KESTRELBOX_AESNI inline void load_round_keys(__m128i keys[11], const aes128_context& context) {
    #pragma GCC unroll 16
    for (int r = 0; r < 11; ++r) {
        keys[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(context.round_keys + 16 * r));
    }
}

// The equivalent inverse cipher's schedule (FIPS-197 section 5.3.5): round
// keys in reverse, the middle nine through InvMixColumns, derived per call
// so the context keeps one layout for both directions.
KESTRELBOX_AESNI inline void load_decryption_keys(__m128i keys[11], const aes128_context& context) {
    __m128i forward[11];
    load_round_keys(forward, context);
    keys[0] = forward[10];
    #pragma GCC unroll 16
    for (int r = 1; r < 10; ++r) {
        keys[r] = _mm_aesimc_si128(forward[10 - r]);
    }
    keys[10] = forward[0];
}
