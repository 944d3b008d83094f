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
// in the one array the caller wipes, so the context keeps one layout for
// both directions and no second copy of the schedule is made.
KESTRELBOX_AESNI inline void load_decryption_keys(__m128i keys[11], const aes128_context& context) {
    #pragma GCC unroll 16
    for (int r = 0; r < 11; ++r) {
        keys[r] = _mm_loadu_si128(
            reinterpret_cast<const __m128i*>(context.round_keys + 16 * (10 - r)));
    }
    #pragma GCC unroll 16
    for (int r = 1; r < 10; ++r) {
        keys[r] = _mm_aesimc_si128(keys[r]);
    }
}

// Nothing of a key or a block stays in a vector register once a path
// returns, where a later call (the dynamic linker's lazy binding saves them
// with XSAVE, for one) could write it to memory. Every x86-64 vector register
// is the caller's to lose, so all are cleared: XMM0-15 with PXOR on the
// AES-NI paths, which may run without AVX; all of YMM0-15 with VZEROALL on
// the VAES-256 path; and on the AVX-512 path ZMM16-31 as well.
#define KESTRELBOX_XMM_CLOBBERS                                                                 \
    "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10",    \
        "xmm11", "xmm12", "xmm13", "xmm14", "xmm15"

KESTRELBOX_AESNI inline void clear_xmm_registers() {
    __asm__ volatile(
        "pxor %%xmm0, %%xmm0\n pxor %%xmm1, %%xmm1\n pxor %%xmm2, %%xmm2\n pxor %%xmm3, %%xmm3\n"
        "pxor %%xmm4, %%xmm4\n pxor %%xmm5, %%xmm5\n pxor %%xmm6, %%xmm6\n pxor %%xmm7, %%xmm7\n"
        "pxor %%xmm8, %%xmm8\n pxor %%xmm9, %%xmm9\n pxor %%xmm10, %%xmm10\n"
        "pxor %%xmm11, %%xmm11\n pxor %%xmm12, %%xmm12\n pxor %%xmm13, %%xmm13\n"
        "pxor %%xmm14, %%xmm14\n pxor %%xmm15, %%xmm15\n" ::
            : KESTRELBOX_XMM_CLOBBERS);
}

__attribute__((target("avx"))) inline void clear_ymm_registers() {
    __asm__ volatile("vzeroall" ::: KESTRELBOX_XMM_CLOBBERS);
}

__attribute__((target("avx512f"))) inline void clear_zmm_registers() {
    __asm__ volatile(
        "vzeroall\n"
        "vpxord %%zmm16, %%zmm16, %%zmm16\n vpxord %%zmm17, %%zmm17, %%zmm17\n"
        "vpxord %%zmm18, %%zmm18, %%zmm18\n vpxord %%zmm19, %%zmm19, %%zmm19\n"
        "vpxord %%zmm20, %%zmm20, %%zmm20\n vpxord %%zmm21, %%zmm21, %%zmm21\n"
        "vpxord %%zmm22, %%zmm22, %%zmm22\n vpxord %%zmm23, %%zmm23, %%zmm23\n"
        "vpxord %%zmm24, %%zmm24, %%zmm24\n vpxord %%zmm25, %%zmm25, %%zmm25\n"
        "vpxord %%zmm26, %%zmm26, %%zmm26\n vpxord %%zmm27, %%zmm27, %%zmm27\n"
        "vpxord %%zmm28, %%zmm28, %%zmm28\n vpxord %%zmm29, %%zmm29, %%zmm29\n"
        "vpxord %%zmm30, %%zmm30, %%zmm30\n vpxord %%zmm31, %%zmm31, %%zmm31\n" ::
            : KESTRELBOX_XMM_CLOBBERS, "xmm16", "xmm17", "xmm18", "xmm19", "xmm20", "xmm21",
              "xmm22", "xmm23", "xmm24", "xmm25", "xmm26", "xmm27", "xmm28", "xmm29", "xmm30",
              "xmm31");
}
