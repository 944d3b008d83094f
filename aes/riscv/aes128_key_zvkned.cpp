// The key schedule with Zvkned's VAESKF1, one instruction a round key.
#include "../compiler.h"

#if KESTRELBOX_RISCV64

#include "../cbc_path.h"
#include "zvkned_blocks.h"

void aes128_expand_key_zvkned(aes128_context& context, const std::uint8_t* key) {
    // The round number is part of the instruction, so each step is its own.
    block_vector k = load_block(key);
    store_block(context.round_keys, k);
    k = __riscv_vaeskf1_vi_u32m1(k, 1, block_elements);
    store_block(context.round_keys + 16, k);
    k = __riscv_vaeskf1_vi_u32m1(k, 2, block_elements);
    store_block(context.round_keys + 32, k);
    k = __riscv_vaeskf1_vi_u32m1(k, 3, block_elements);
    store_block(context.round_keys + 48, k);
    k = __riscv_vaeskf1_vi_u32m1(k, 4, block_elements);
    store_block(context.round_keys + 64, k);
    k = __riscv_vaeskf1_vi_u32m1(k, 5, block_elements);
    store_block(context.round_keys + 80, k);
    k = __riscv_vaeskf1_vi_u32m1(k, 6, block_elements);
    store_block(context.round_keys + 96, k);
    k = __riscv_vaeskf1_vi_u32m1(k, 7, block_elements);
    store_block(context.round_keys + 112, k);
    k = __riscv_vaeskf1_vi_u32m1(k, 8, block_elements);
    store_block(context.round_keys + 128, k);
    k = __riscv_vaeskf1_vi_u32m1(k, 9, block_elements);
    store_block(context.round_keys + 144, k);
    k = __riscv_vaeskf1_vi_u32m1(k, 10, block_elements);
    store_block(context.round_keys + 160, k);
    clear_rvv_registers();
}

#endif
