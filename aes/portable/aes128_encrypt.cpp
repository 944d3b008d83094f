// The forward cipher (FIPS-197 section 5.1), byte by byte. This is the
// reference every other path is tested against; its S-box lookups depend on
// the data, so it is not constant-time.
#include "../aes128.h"
#include "tables.h"
#include "steps.h"

static void sub_bytes(std::uint8_t* state) { substitute_bytes(state, aes_sbox); }

// Row r rotates left by r; byte i is row i % 4, column i / 4.
static void shift_rows(std::uint8_t* s) {
    std::uint8_t t = s[1];
    s[1] = s[5];
    s[5] = s[9];
    s[9] = s[13];
    s[13] = t;

    shift_row_two(s);

    t = s[3];
    s[3] = s[15];
    s[15] = s[11];
    s[11] = s[7];
    s[7] = t;
}

// Each column times {02 03 01 01} circulant, written with xtime alone.
static void mix_columns(std::uint8_t* s) {
    for (int c = 0; c < 16; c += 4) {
        const std::uint8_t a0 = s[c], a1 = s[c + 1], a2 = s[c + 2], a3 = s[c + 3];
        const std::uint8_t t = a0 ^ a1 ^ a2 ^ a3;
        s[c] = a0 ^ t ^ xtime(a0 ^ a1);
        s[c + 1] = a1 ^ t ^ xtime(a1 ^ a2);
        s[c + 2] = a2 ^ t ^ xtime(a2 ^ a3);
        s[c + 3] = a3 ^ t ^ xtime(a3 ^ a0);
    }
}

void aes128_encrypt_block(std::uint8_t* state, const aes128_context& context) {
    const std::uint8_t* keys = context.round_keys;
    add_round_key(state, keys);
    for (int round = 1; round < 10; ++round) {
        sub_bytes(state);
        shift_rows(state);
        mix_columns(state);
        add_round_key(state, keys + 16 * round);
    }
    sub_bytes(state);
    shift_rows(state);
    add_round_key(state, keys + 160);
}
