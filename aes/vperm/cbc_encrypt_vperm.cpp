// CBC encryption with the vector-permute S-box, one block at a time, as the
// chaining demands. The state between rounds is in the tower basis; the last
// round's lookups give the standard basis back, and the tower basis as well
// for the next block's chaining XOR.
#include "../compiler.h"

#if KESTRELBOX_X86_64 || KESTRELBOX_ARM64 || KESTRELBOX_ARM32

#include "../cbc_path.h"
#include "../wipe.h"
#include "vperm.h"

KESTRELBOX_VPERM void cbc_encrypt_vperm(aes128_context& context, std::uint8_t* output,
                                        const std::uint8_t* input, std::uint64_t length) {
    if (length == 0) {
        return;
    }
    const std::uint64_t blocks = (length - 1) / 16 + 1;
    const inversion_tables inversion = load_inversion_tables();
    const input_map to_tower = load_input_map(vperm_enc_in_lo, vperm_enc_in_hi);
    const output_map times_1 = load_output_map(vperm_enc_1_hi, vperm_enc_1_lo);
    const output_map times_2 = load_output_map(vperm_enc_2_hi, vperm_enc_2_lo);
    const output_map times_3 = load_output_map(vperm_enc_3_hi, vperm_enc_3_lo);
    const output_map last = load_output_map(vperm_enc_last_hi, vperm_enc_last_lo);
    // Key 0 in the standard basis, added before the block enters the tower
    // basis. Keys 1 to 10, each with the S-box's 0x63 before it, join the
    // S-box output before ShiftRows moves it, so they are kept moved back by
    // InvShiftRows: keys 1 to 9 in the tower basis, key 10 in the standard
    // one for the ciphertext and in the tower basis for the next block.
    vec keys[12];
    keys[0] = load(context.round_keys);
    for (int r = 1; r < 11; ++r) {
        keys[r] = shuffle(vxor(apply(to_tower, load(context.round_keys + 16 * r)),
                               load(vperm_enc_constant)),
                          vperm_inv_shift_rows_0);
    }
    keys[11] = shuffle(vxor(load(context.round_keys + 160), splat_word(0x63636363u)),
                       vperm_inv_shift_rows_0);
    // The previous ciphertext block in the tower basis, as the last round
    // gives it beside the standard one: the chain then needs no map of its
    // own, only the XOR with the next plaintext block's.
    vec state = load(context.chain_block);
    vec chain = apply(to_tower, state);
    for (std::uint64_t b = 0; b < blocks; ++b) {
        vec x = vxor(chain, apply(to_tower, vxor(load(input + 16 * b), keys[0])));
        KESTRELBOX_UNROLL
        for (int r = 1; r < 10; ++r) {
            // MixColumns of ShiftRows: row r takes 02 s_r ^ 03 s_(r+1) ^
            // s_(r+2) ^ s_(r+3), s being the S-box output in its ShiftRows
            // place. Each multiple has its own lookups, so all come at once;
            // the key joins the lookup of arg0, which is ready a step before
            // arg1.
            const inverse_args args = invert(inversion, x);
            const vec s1 = apply(times_1, args), s2 = apply(times_2, args, keys[r]);
            const vec s3 = apply(times_3, args);
            const vec left = vxor(shuffle(s2, vperm_shift_rows_0), shuffle(s3, vperm_shift_rows_1));
            const vec right =
                vxor(shuffle(s1, vperm_shift_rows_2), shuffle(s1, vperm_shift_rows_3));
            x = vxor(settled(left), settled(right));
        }
        const inverse_args args = invert(inversion, x);
        state = shuffle(apply(last, args, keys[11]), vperm_shift_rows_0);
        chain = shuffle(apply(times_1, args, keys[10]), vperm_shift_rows_0);
        store(output + 16 * b, state);
    }
    store(context.chain_block, state);
    clear_vector_registers();
    wipe(keys, sizeof keys);
}

#endif
