// CBC encryption with Zvkned, one block at a time: each block needs the
// previous ciphertext, so VAESEM's latency sets the speed. VAESEF adds its
// key last, so it takes the last round key with the next block's whitened
// plaintext already added: its result is the next block's first round
// input, and the chain holds ten instructions and nothing else. The round
// keys live in eleven registers, never in memory of the path's own.
#include "../compiler.h"

#if KESTRELBOX_RISCV64

#include "../cbc_path.h"
#include "zvkned_blocks.h"

void cbc_encrypt_zvkned(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                        std::uint64_t length) {
    if (length == 0) {
        return;
    }
    const std::uint64_t blocks = (length - 1) / 16 + 1;
    const std::uint8_t* keys = context.round_keys;
    const block_vector k0 = load_block(keys), k1 = load_block(keys + 16),
                       k2 = load_block(keys + 32), k3 = load_block(keys + 48),
                       k4 = load_block(keys + 64), k5 = load_block(keys + 80),
                       k6 = load_block(keys + 96), k7 = load_block(keys + 112),
                       k8 = load_block(keys + 128), k9 = load_block(keys + 144),
                       k10 = load_block(keys + 160);
    const auto middle_rounds = [&](block_vector state) {
        const std::size_t n = block_elements;
        state = __riscv_vaesem_vv_u32m1(state, k1, n);
        state = __riscv_vaesem_vv_u32m1(state, k2, n);
        state = __riscv_vaesem_vv_u32m1(state, k3, n);
        state = __riscv_vaesem_vv_u32m1(state, k4, n);
        state = __riscv_vaesem_vv_u32m1(state, k5, n);
        state = __riscv_vaesem_vv_u32m1(state, k6, n);
        state = __riscv_vaesem_vv_u32m1(state, k7, n);
        state = __riscv_vaesem_vv_u32m1(state, k8, n);
        return __riscv_vaesem_vv_u32m1(state, k9, n);
    };
    block_vector state =
        xor_block(xor_block(load_block(context.chain_block), load_block(input)), k0);
    for (std::uint64_t b = 0; b + 1 < blocks; ++b) {
        // Read before this block's ciphertext is stored: in place, the two
        // are neighbours, not the same bytes.
        const block_vector whitened = xor_block(load_block(input + 16 * (b + 1)), k0);
        state = __riscv_vaesef_vv_u32m1(middle_rounds(state), xor_block(k10, whitened),
                                        block_elements);
        store_block(output + 16 * b, xor_block(state, whitened));
    }
    state = __riscv_vaesef_vv_u32m1(middle_rounds(state), k10, block_elements);
    store_block(output + 16 * (blocks - 1), state);
    store_block(context.chain_block, state);
    clear_rvv_registers();
}

#endif
