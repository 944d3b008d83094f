// Blocks and round keys in vector registers for the POWER8 paths. Included
// only by the files in this folder, which are built for POWER8's vector
// crypto instructions; everything here has internal linkage, so no other
// file can end up with a copy built for them.
#pragma once

#include "../compiler.h"

#if !defined(__CRYPTO__)
#error "aes/ppc/ must be built with -mcpu=power8 (CMakeLists.txt adds it)"
#endif

#include <altivec.h>

#include "../aes128.h"

namespace {

using block_vector = __vector unsigned char;

// VCIPHER and its kin take the block's byte 0 as the vector's most
// significant byte, the order that a big-endian load gives on any POWER.
inline block_vector load_block(const std::uint8_t* bytes) { return vec_xl_be(0, bytes); }

inline void store_block(std::uint8_t* bytes, block_vector block) { vec_xst_be(block, 0, bytes); }

inline void load_round_keys(block_vector keys[11], const aes128_context& context) {
    KESTRELBOX_UNROLL
    for (int r = 0; r < 11; ++r) {
        keys[r] = load_block(context.round_keys + 16 * r);
    }
}

}  // namespace
