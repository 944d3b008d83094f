// Round keys in NEON registers for the ARMv8 paths, and the clearing of
// those registers when a path returns. Included only by the files in this
// folder, which are built for the ARMv8 Crypto Extensions; everything here
// has internal linkage, so no other file can end up with a copy built for
// them.
#pragma once

#if !defined(__ARM_FEATURE_AES) && !defined(__ARM_FEATURE_CRYPTO)
#error "aes/arm/ must be built with -march=armv8-a+crypto (CMakeLists.txt adds it)"
#endif

#include <arm_neon.h>

#include "../aes128.h"

namespace {

inline void load_round_keys(uint8x16_t keys[11], const aes128_context& context) {
#pragma GCC unroll 16
    for (int r = 0; r < 11; ++r) {
        keys[r] = vld1q_u8(context.round_keys + 16 * r);
    }
}

// Nothing of a key or a block stays in a vector register once a path
// returns, where a later call (a lazily bound library function, a context
// switch) could write it to memory. Writing the low half of v8..v15 when the
// caller's values come back clears their upper halves too.
inline void clear_vector_registers() {
    __asm__ volatile(
        "movi v0.16b, #0\n movi v1.16b, #0\n movi v2.16b, #0\n movi v3.16b, #0\n"
        "movi v4.16b, #0\n movi v5.16b, #0\n movi v6.16b, #0\n movi v7.16b, #0\n"
        "movi v8.16b, #0\n movi v9.16b, #0\n movi v10.16b, #0\n movi v11.16b, #0\n"
        "movi v12.16b, #0\n movi v13.16b, #0\n movi v14.16b, #0\n movi v15.16b, #0\n"
        "movi v16.16b, #0\n movi v17.16b, #0\n movi v18.16b, #0\n movi v19.16b, #0\n"
        "movi v20.16b, #0\n movi v21.16b, #0\n movi v22.16b, #0\n movi v23.16b, #0\n"
        "movi v24.16b, #0\n movi v25.16b, #0\n movi v26.16b, #0\n movi v27.16b, #0\n"
        "movi v28.16b, #0\n movi v29.16b, #0\n movi v30.16b, #0\n movi v31.16b, #0\n" ::
            : "v0", "v1", "v2", "v3", "v4", "v5", "v6", "v7", "v8", "v9", "v10", "v11", "v12",
              "v13", "v14", "v15", "v16", "v17", "v18", "v19", "v20", "v21", "v22", "v23", "v24",
              "v25", "v26", "v27", "v28", "v29", "v30", "v31");
}

}  // namespace
