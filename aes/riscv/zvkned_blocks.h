// Blocks and round keys in vector registers for the Zvkned paths. Included
// only by the files in this folder, which are built for the vector AES
// instructions; everything here has internal linkage, so no other file can
// end up with a copy built for them.
#pragma once

#include "../compiler.h"

#if !defined(__riscv_zvkned) || !defined(__riscv_v)
#error "aes/riscv/ must be built with -march=rv64gcv_zvkned (CMakeLists.txt adds it)"
#endif

#include <riscv_vector.h>

#include <cstddef>
#include <cstdint>

#include "../aes128.h"

namespace {

// One block: an element group of four 32-bit elements, the state's bytes in
// memory order (byte 0 the lowest of element 0), as the AES instructions
// read it. Bytes are loaded and stored as bytes, which need no alignment.
using block_vector = vuint32m1_t;
constexpr std::size_t block_elements = 4;

inline block_vector load_block(const std::uint8_t* bytes) {
    return __riscv_vreinterpret_v_u8m1_u32m1(__riscv_vle8_v_u8m1(bytes, 16));
}

inline void store_block(std::uint8_t* bytes, block_vector block) {
    __riscv_vse8_v_u8m1(bytes, __riscv_vreinterpret_v_u32m1_u8m1(block), 16);
}

inline block_vector xor_block(block_vector a, block_vector b) {
    return __riscv_vxor_vv_u32m1(a, b, block_elements);
}

}  // namespace
