// The inverse cipher (FIPS-197 section 5.3), byte by byte, over the same
// round keys as the forward cipher. Not constant-time, like its twin.
#include "../aes128.h"
#include "tables.h"
#include "steps.h"

static void inv_sub_bytes(std::uint8_t* state) { substitute_bytes(state, aes_inv_sbox); }

// Row r rotates right by r.
static void inv_shift_rows(std::uint8_t* s) {
    std::uint8_t t = s[13];
    s[13] = s[9];
    s[9] = s[5];
    s[5] = s[1];
    s[1] = t;

    shift_row_two(s);

    t = s[3];
    s[3] = s[7];
    s[7] = s[11];
    s[11] = s[15];
    s[15] = t;
}

// Each column times the {0e 0b 0d 09} circulant. With a2 = 02a, a4 = 04a and
// a8 = 08a: 09a = a8^a, 0b a = a8^a2^a, 0d a = a8^a4^a, 0e a = a8^a4^a2.
static void inv_mix_columns(std::uint8_t* s) {
    for (int c = 0; c < 16; c += 4) {
        std::uint8_t a[4], x2[4], x4[4], x8[4];
        for (int i = 0; i < 4; ++i) {
            a[i] = s[c + i];
            x2[i] = xtime(a[i]);
            x4[i] = xtime(x2[i]);
            x8[i] = xtime(x4[i]);
        }
        for (int i = 0; i < 4; ++i) {
            const int i1 = (i + 1) % 4, i2 = (i + 2) % 4, i3 = (i + 3) % 4;
            const std::uint8_t e = x8[i] ^ x4[i] ^ x2[i];
            const std::uint8_t b = x8[i1] ^ x2[i1] ^ a[i1];
            const std::uint8_t d = x8[i2] ^ x4[i2] ^ a[i2];
            const std::uint8_t n = x8[i3] ^ a[i3];
            s[c + i] = e ^ b ^ d ^ n;
        }
    }
}

void aes128_decrypt_block(std::uint8_t* state, const aes128_context& context) {
    const std::uint8_t* keys = context.round_keys;
    add_round_key(state, keys + 160);
    for (int round = 9; round >= 1; --round) {
        inv_shift_rows(state);
        inv_sub_bytes(state);
        add_round_key(state, keys + 16 * round);
        inv_mix_columns(state);
    }
    inv_shift_rows(state);
    inv_sub_bytes(state);
    add_round_key(state, keys);
}
