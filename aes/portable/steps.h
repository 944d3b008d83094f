// Steps shared by the forward and the inverse cipher.
#pragma once

#include <cstdint>

// Multiplication by x (02) in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1,
// without a branch on the top bit.
inline std::uint8_t xtime(std::uint8_t x) {
    return static_cast<std::uint8_t>((x << 1) ^ ((x >> 7) * 0x1b));
}

// SubBytes and InvSubBytes: every state byte through a table.
inline void substitute_bytes(std::uint8_t* state, const std::uint8_t* table) {
    for (int i = 0; i < 16; ++i) {
        state[i] = table[state[i]];
    }
}

// Row 2 of ShiftRows rotates by two either way: its own inverse.
inline void shift_row_two(std::uint8_t* s) {
    std::uint8_t t = s[2];
    s[2] = s[10];
    s[10] = t;
    t = s[6];
    s[6] = s[14];
    s[14] = t;
}

inline void add_round_key(std::uint8_t* state, const std::uint8_t* round_key) {
    for (int i = 0; i < 16; ++i) {
        state[i] ^= round_key[i];
    }
}
