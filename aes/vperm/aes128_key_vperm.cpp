// The key schedule with SubWord through the vector-permute S-box: RotWord of
// the last word goes into every word, so one S-box pass on the register
// gives SubWord in each of them, and the four new words are the prefix XOR
// of the old ones with it.
#include "../compiler.h"

#if KESTRELBOX_X86_64 || KESTRELBOX_ARM64 || KESTRELBOX_ARM32

#include "../cbc_path.h"
#include "../portable/tables.h"
#include "vperm.h"

KESTRELBOX_VPERM void aes128_expand_key_vperm(aes128_context& context, const std::uint8_t* key) {
    const inversion_tables inversion = load_inversion_tables();
    const input_map to_tower = load_input_map(vperm_enc_in_lo, vperm_enc_in_hi);
    const output_map sbox = load_output_map(vperm_enc_last_hi, vperm_enc_last_lo);
    vec k = load(key);
    store(context.round_keys, k);
    for (int r = 1; r < 11; ++r) {
        const vec rotated = shuffle(k, vperm_rotate_word);
        // The S-box's constant in every byte, Rcon in each word's first.
        const vec constant = splat_word(0x63636363u ^ aes_rcon[r]);
        const vec t = vxor(apply(sbox, invert(inversion, apply(to_tower, rotated))), constant);
        k = vxor(k, shuffle(k, vperm_shift_words_1));
        k = vxor(k, shuffle(k, vperm_shift_words_2));
        k = vxor(k, t);
        store(context.round_keys + 16 * r, k);
    }
    clear_vector_registers();
}

#endif
