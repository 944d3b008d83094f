// Round keys in NEON registers for the ARMv8 paths. Included only by the
// files in this folder, which are built for the ARMv8 Crypto Extensions;
// everything here has internal linkage, so no other file can end up with a
// copy built for them.
#pragma once

#include "../compiler.h"

// MSVC compiles the AES intrinsics without a flag; GCC and clang need one.
#if !KESTRELBOX_MSVC && !defined(__ARM_FEATURE_AES) && !defined(__ARM_FEATURE_CRYPTO)
#error "aes/arm/ must be built with -march=armv8-a+crypto, and -mfpu=crypto-neon-fp-armv8 on 32-bit ARM (CMakeLists.txt adds them)"
#endif

#include <arm_neon.h>

#include "../aes128.h"

namespace {

inline void load_round_keys(uint8x16_t keys[11], const aes128_context& context) {
    KESTRELBOX_UNROLL
    for (int r = 0; r < 11; ++r) {
        keys[r] = vld1q_u8(context.round_keys + 16 * r);
    }
}

}  // namespace
