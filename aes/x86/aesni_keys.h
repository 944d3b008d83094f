// Round keys in XMM registers for the AES-NI and VAES paths.
#pragma once

#include <immintrin.h>

#include "../aes128.h"
#include "../compiler.h"

#define KESTRELBOX_AESNI KESTRELBOX_TARGET("aes,sse4.1")

KESTRELBOX_AESNI inline void load_round_keys(__m128i keys[11], const aes128_context& context) {
    KESTRELBOX_UNROLL
    for (int r = 0; r < 11; ++r) {
        keys[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(context.round_keys + 16 * r));
    }
}

// The equivalent inverse cipher's schedule (FIPS-197 section 5.3.5): round
// keys in reverse, the middle nine through InvMixColumns, derived per call
// in the one array the caller wipes, so the context keeps one layout for
// both directions and no second copy of the schedule is made.
KESTRELBOX_AESNI inline void load_decryption_keys(__m128i keys[11], const aes128_context& context) {
    KESTRELBOX_UNROLL
    for (int r = 0; r < 11; ++r) {
        keys[r] = _mm_loadu_si128(
            reinterpret_cast<const __m128i*>(context.round_keys + 16 * (10 - r)));
    }
    KESTRELBOX_UNROLL
    for (int r = 1; r < 10; ++r) {
        keys[r] = _mm_aesimc_si128(keys[r]);
    }
}
