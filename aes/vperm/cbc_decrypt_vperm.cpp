// CBC decryption with the vector-permute S-box, the equivalent inverse cipher
// over `in_flight` blocks interleaved, which hides the lookups' latency; a
// tail of fewer blocks goes one at a time. The state between rounds is in
// the tower basis after the inverse affine map, where the inversion applies
// directly; the output lookups give the four InvMixColumns multiples in it.
#include "../compiler.h"

#if KESTRELBOX_X86_64 || KESTRELBOX_ARM64 || KESTRELBOX_ARM32

#include "../cbc_path.h"
#include "../wipe.h"
#include "vperm.h"

namespace {

constexpr int in_flight = 2;

struct decryption_tables {
    inversion_tables inversion;
    input_map to_basis;
    output_map times_9, times_11, times_13, times_14, last;
};

// InvShiftRows, InvSubBytes, InvMixColumns and the key of rounds 9 to 1, then
// InvShiftRows, InvSubBytes and key 0, on n blocks side by side.
template <int n>
KESTRELBOX_VPERM inline void decrypt_blocks(vec x[n], const decryption_tables& t,
                                             const vec keys[11]) {
    KESTRELBOX_UNROLL
    for (int i = 0; i < n; ++i) {
        x[i] = vxor(apply(t.to_basis, x[i]), keys[10]);
    }
    KESTRELBOX_UNROLL
    for (int r = 9; r > 0; --r) {
        KESTRELBOX_UNROLL
        for (int i = 0; i < n; ++i) {
            const inverse_args args = invert(t.inversion, x[i]);
            const vec m14 = apply(t.times_14, args, keys[r]), m11 = apply(t.times_11, args);
            const vec m13 = apply(t.times_13, args), m9 = apply(t.times_9, args);
            x[i] = vxor(settled(vxor(shuffle(m14, vperm_inv_shift_rows_0),
                                     shuffle(m11, vperm_inv_shift_rows_1))),
                        settled(vxor(shuffle(m13, vperm_inv_shift_rows_2),
                                     shuffle(m9, vperm_inv_shift_rows_3))));
        }
    }
    KESTRELBOX_UNROLL
    for (int i = 0; i < n; ++i) {
        x[i] = shuffle(apply(t.last, invert(t.inversion, x[i]), keys[0]), vperm_inv_shift_rows_0);
    }
}

// Round key r through InvMixColumns into the decryption basis, with the
// S-box's constant that the next inversion takes off.
KESTRELBOX_VPERM inline vec decryption_key(const std::uint8_t* key) {
    const vec k = load(key);
    const vec m14 = apply(load_input_map(vperm_key_14_lo, vperm_key_14_hi), k);
    const vec m11 = apply(load_input_map(vperm_key_11_lo, vperm_key_11_hi), k);
    const vec m13 = apply(load_input_map(vperm_key_13_lo, vperm_key_13_hi), k);
    const vec m9 = apply(load_input_map(vperm_key_9_lo, vperm_key_9_hi), k);
    return vxor(vxor(vxor(m14, shuffle(m11, vperm_rotate_rows_1)),
                     vxor(shuffle(m13, vperm_rotate_rows_2), shuffle(m9, vperm_rotate_rows_3))),
                load(vperm_dec_constant));
}

}  // namespace

KESTRELBOX_VPERM void cbc_decrypt_vperm(aes128_context& context, std::uint8_t* output,
                                        const std::uint8_t* input, std::uint64_t length) {
    if (length == 0) {
        return;
    }
    const std::uint64_t blocks = (length - 1) / 16 + 1;
    const decryption_tables t = {
        load_inversion_tables(),
        load_input_map(vperm_dec_in_lo, vperm_dec_in_hi),
        load_output_map(vperm_dec_9_hi, vperm_dec_9_lo),
        load_output_map(vperm_dec_11_hi, vperm_dec_11_lo),
        load_output_map(vperm_dec_13_hi, vperm_dec_13_lo),
        load_output_map(vperm_dec_14_hi, vperm_dec_14_lo),
        load_output_map(vperm_dec_last_hi, vperm_dec_last_lo),
    };
    // Key 10 with the constant, in the decryption basis after the block's
    // own map. Keys 9 to 1 through InvMixColumns, and key 0 as it is, join
    // the S-box output before InvShiftRows moves it, so they are kept moved
    // back by ShiftRows.
    vec keys[11];
    keys[0] = shuffle(load(context.round_keys), vperm_shift_rows_0);
    for (int r = 1; r < 10; ++r) {
        keys[r] = shuffle(decryption_key(context.round_keys + 16 * r), vperm_shift_rows_0);
    }
    keys[10] = apply(t.to_basis, vxor(load(context.round_keys + 160), splat_word(0x63636363u)));
    vec prev = load(context.chain_block);
    std::uint64_t b = 0;
    for (; b + in_flight <= blocks; b += in_flight) {
        vec c[in_flight], x[in_flight];
        KESTRELBOX_UNROLL
        for (int i = 0; i < in_flight; ++i) {
            c[i] = load(input + 16 * (b + i));
            x[i] = c[i];
        }
        decrypt_blocks<in_flight>(x, t, keys);
        store(output + 16 * b, vxor(x[0], prev));
        KESTRELBOX_UNROLL
        for (int i = 1; i < in_flight; ++i) {
            store(output + 16 * (b + i), vxor(x[i], c[i - 1]));
        }
        prev = c[in_flight - 1];
    }
    for (; b < blocks; ++b) {
        vec c[1] = {load(input + 16 * b)}, x[1] = {c[0]};
        decrypt_blocks<1>(x, t, keys);
        store(output + 16 * b, vxor(x[0], prev));
        prev = c[0];
    }
    store(context.chain_block, prev);
    clear_vector_registers();
    wipe(keys, sizeof keys);
}

#endif
