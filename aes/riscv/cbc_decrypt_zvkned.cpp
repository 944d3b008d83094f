// CBC decryption with Zvkned over as many blocks as a group of four vector
// registers holds (four at the smallest vector length, 128 bits), a shorter
// group for the last ones. VAESDM adds its key before InvMixColumns, the
// order of the inverse cipher itself, so the round keys serve as they are,
// each from one register for every block of the group (the .vs forms).
// VAESDF takes round key 0 with each block's previous ciphertext already
// added, which finishes the chaining XOR inside it; the previous blocks are
// the group's own moved up by one, below them the block before the group,
// kept from the group before, whose place may already hold plaintext.
#include "../compiler.h"

#if KESTRELBOX_RISCV64

#include <algorithm>

#include "../cbc_path.h"
#include "zvkned_blocks.h"

void cbc_decrypt_zvkned(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                        std::uint64_t length) {
    if (length == 0) {
        return;
    }
    const std::uint64_t elements = ((length - 1) / 16 + 1) * block_elements;
    // A whole number of blocks, since the vector length is a power of two
    // of 128 bits or more; the vector length is set to it exactly, which a
    // request between one and two groups' worth would not be.
    const std::size_t group = __riscv_vsetvlmax_e32m4();
    const std::uint8_t* keys = context.round_keys;
    const block_vector k0 = load_block(keys), k1 = load_block(keys + 16),
                       k2 = load_block(keys + 32), k3 = load_block(keys + 48),
                       k4 = load_block(keys + 64), k5 = load_block(keys + 80),
                       k6 = load_block(keys + 96), k7 = load_block(keys + 112),
                       k8 = load_block(keys + 128), k9 = load_block(keys + 144),
                       k10 = load_block(keys + 160);
    block_vector previous = load_block(context.chain_block);
    for (std::uint64_t e = 0; e < elements;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(group, elements - e));
        const vuint32m4_t c =
            __riscv_vreinterpret_v_u8m4_u32m4(__riscv_vle8_v_u8m4(input + 4 * e, 4 * n));
        vuint32m4_t x = __riscv_vaesz_vs_u32m1_u32m4(c, k10, n);
        x = __riscv_vaesdm_vs_u32m1_u32m4(x, k9, n);
        x = __riscv_vaesdm_vs_u32m1_u32m4(x, k8, n);
        x = __riscv_vaesdm_vs_u32m1_u32m4(x, k7, n);
        x = __riscv_vaesdm_vs_u32m1_u32m4(x, k6, n);
        x = __riscv_vaesdm_vs_u32m1_u32m4(x, k5, n);
        x = __riscv_vaesdm_vs_u32m1_u32m4(x, k4, n);
        x = __riscv_vaesdm_vs_u32m1_u32m4(x, k3, n);
        x = __riscv_vaesdm_vs_u32m1_u32m4(x, k2, n);
        x = __riscv_vaesdm_vs_u32m1_u32m4(x, k1, n);
        const vuint32m4_t chain = __riscv_vslideup_vx_u32m4(
            __riscv_vlmul_ext_v_u32m1_u32m4(previous), c, block_elements, n);
        x = __riscv_vaesdf_vv_u32m4(x, __riscv_vaesz_vs_u32m1_u32m4(chain, k0, n), n);
        // The group's last block for the next, read again before the group's
        // plaintext may overwrite it: a load, where moving it down the
        // group would take longer.
        previous = load_block(input + 4 * (e + n) - 16);
        __riscv_vse8_v_u8m4(output + 4 * e, __riscv_vreinterpret_v_u32m4_u8m4(x), 4 * n);
        e += n;
    }
    store_block(context.chain_block, previous);
    clear_rvv_registers();
}

#endif
