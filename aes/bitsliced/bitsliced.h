// The bitsliced representation shared by the files in this folder: four
// blocks in eight 64-bit words, word k holding bit k of every one of their
// 64 bytes. SubBytes becomes a Boolean circuit over whole words and the
// other steps shifts and masks, so no memory address and no branch depends
// on a key or data bit.
//
// Bit 16r + 4c + j of a word belongs to row r, column c of block j: each row
// is a 16-bit field with its four columns as nibbles, so MixColumns rotates
// whole words by one row (16 bits) and ShiftRows would rotate within the
// fields, which fixslicing (below) avoids.
// Blocks enter and leave through little-endian loads and stores spelled out
// byte by byte, so the layout is the same on big- and little-endian machines.
#pragma once

#include <cstdint>

#include "../aes128.h"
#include "../compiler.h"
#include "../wipe.h"

KESTRELBOX_LOCAL_BEGIN

// SubBytes and InvSubBytes on all 64 bytes at once (the S-box circuits).
void aes128_sub_bytes_bitsliced(std::uint64_t q[8]);
void aes128_inv_sub_bytes_bitsliced(std::uint64_t q[8]);

KESTRELBOX_LOCAL_END

namespace {

inline std::uint32_t load_le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline void store_le32(std::uint8_t* p, std::uint32_t x) {
    p[0] = static_cast<std::uint8_t>(x);
    p[1] = static_cast<std::uint8_t>(x >> 8);
    p[2] = static_cast<std::uint8_t>(x >> 16);
    p[3] = static_cast<std::uint8_t>(x >> 24);
}

// The four bytes of x to bytes 0, 2, 4 and 6 of the result, and back.
inline std::uint64_t spread_bytes(std::uint32_t x) {
    std::uint64_t w = x;
    w = (w | w << 16) & 0x0000ffff0000ffffu;
    return (w | w << 8) & 0x00ff00ff00ff00ffu;
}

inline std::uint32_t gather_bytes(std::uint64_t w) {
    w &= 0x00ff00ff00ff00ffu;
    w = (w | w >> 8) & 0x0000ffff0000ffffu;
    return static_cast<std::uint32_t>(w | w >> 16);
}

// Column c of a block in frame `frame` (ShiftRows applied that many times:
// row r, byte 4c + r, rotated left by frame * r columns), little-endian.
inline std::uint32_t load_column(const std::uint8_t* block, int c, int frame) {
    std::uint32_t x = 0;
    for (int r = 0; r < 4; ++r) {
        x |= static_cast<std::uint32_t>(block[4 * ((c + frame * r) & 3) + r]) << 8 * r;
    }
    return x;
}

// Block `slot` (0 to 3) of the words before transpose(), in `frame`: word
// slot takes the even columns, word 4 + slot the odd ones, rows interleaved
// byte by byte, which is where transpose() needs each byte for the layout
// above.
inline void load_block(std::uint64_t w[8], int slot, const std::uint8_t* block, int frame = 0) {
    w[slot] = spread_bytes(load_column(block, 0, frame)) |
              spread_bytes(load_column(block, 2, frame)) << 8;
    w[4 + slot] = spread_bytes(load_column(block, 1, frame)) |
                  spread_bytes(load_column(block, 3, frame)) << 8;
}

inline void store_block(std::uint8_t* block, const std::uint64_t w[8], int slot) {
    store_le32(block, gather_bytes(w[slot]));
    store_le32(block + 8, gather_bytes(w[slot] >> 8));
    store_le32(block + 4, gather_bytes(w[4 + slot]));
    store_le32(block + 12, gather_bytes(w[4 + slot] >> 8));
}

// Exchanges the bits of b selected by mask with those of a `shift` places
// higher.
inline void swap_bits(std::uint64_t& a, std::uint64_t& b, std::uint64_t mask, int shift) {
    const std::uint64_t t = ((a >> shift) ^ b) & mask;
    b ^= t;
    a ^= t << shift;
}

// Within every byte position, the 8x8 bit matrix of word index by bit index
// transposed: bit k of byte n of word m becomes bit m of byte n of word k.
// Its own inverse, so it takes blocks in and out of the bitsliced form.
inline void transpose(std::uint64_t w[8]) {
    const std::uint64_t masks[3] = {0x5555555555555555u, 0x3333333333333333u,
                                    0x0f0f0f0f0f0f0f0fu};
    for (int level = 0; level < 3; ++level) {
        const int distance = 1 << level;
        for (int m = 0; m < 8; ++m) {
            if ((m & distance) == 0) {
                swap_bits(w[m], w[m + distance], masks[level], distance);
            }
        }
    }
}

// Fixslicing: the rounds skip ShiftRows (or InvShiftRows) and leave the
// state in a frame, ShiftRows applied `a` times (0 to 3) to what the cipher
// holds, so no round pays for moving bytes between columns. MixColumns
// reads each row's neighbours in the frame, the round keys are loaded in
// the frame of the round that adds them, and after ten rounds, frame 2 in
// both directions, shift_rows_twice() puts the state back.

// The 11 round keys in bit planes: 88 words. Key r is in frame
// (key0_frame - r) & 3, the frame of the round that adds it. Four keys
// share a transpose, one in each slot, so a slot's frame is known when this
// is compiled; then each key moves to slot 0 and, when all four slots are
// in use, is copied into the other three.
template <int key0_frame>
inline void load_round_keys(std::uint64_t keys[88], const aes128_context& context,
                            bool all_slots) {
    std::uint64_t w[8];
    for (int first = 0; first < 11; first += 4) {
        const int count = first + 4 <= 11 ? 4 : 11 - first;
        KESTRELBOX_UNROLL
        for (int slot = 0; slot < 4; ++slot) {
            load_block(w, slot, context.round_keys + 16 * (first + slot % count),
                       (key0_frame - slot) & 3);
        }
        transpose(w);
        for (int slot = 0; slot < count; ++slot) {
            for (int k = 0; k < 8; ++k) {
                std::uint64_t x = w[k] >> slot & 0x1111111111111111u;
                if (all_slots) {
                    x |= x << 1;
                    x |= x << 2;
                }
                keys[8 * (first + slot) + k] = x;
            }
        }
    }
    wipe(w, sizeof w);
}

inline void add_round_key(std::uint64_t q[8], const std::uint64_t* key) {
    for (int k = 0; k < 8; ++k) {
        q[k] ^= key[k];
    }
}

// Frame 2 back to frame 0 (and the reverse): rows 1 and 3 rotate by two
// columns, which swaps the two bytes of their fields.
inline void shift_rows_twice(std::uint64_t q[8]) {
    for (int k = 0; k < 8; ++k) {
        const std::uint64_t t = (q[k] >> 8 ^ q[k]) & 0x00ff000000ff0000u;
        q[k] ^= t | t << 8;
    }
}

inline std::uint64_t rotate_right(std::uint64_t x, int n) { return x >> n | x << (64 - n); }

// Every row field takes row r + i of x as MixColumns sees it in frame a:
// column p takes column p - a * i, so the word rotates by i rows, and when
// the columns move as well the ones that wrap come from one field further.
template <int i, int a>
inline std::uint64_t row_below(std::uint64_t x) {
    constexpr int columns = a * i % 4;
    if constexpr (columns == 0) {
        return rotate_right(x, 16 * i);
    } else {
        constexpr std::uint64_t kept = ((0xffffu << 4 * columns) & 0xffffu) * 0x0001000100010001u;
        return (rotate_right(x, 16 * i - 4 * columns) & kept) |
               (rotate_right(x, 16 * i + 16 - 4 * columns) & ~kept);
    }
}

// Each column times {02 03 01 01}: with s = a ^ (the row below a), row r
// becomes 02 s_r ^ a_(r+1) ^ s_(r+2). Doubling in bit planes moves plane k
// to k + 1 and folds plane 7 back into planes 0, 1, 3 and 4
// (x^8 = x^4 + x^3 + x + 1).
template <int a>
inline void mix_columns(std::uint64_t q[8]) {
    std::uint64_t a1[8], s[8];
    for (int k = 0; k < 8; ++k) {
        a1[k] = row_below<1, a>(q[k]);
        s[k] = q[k] ^ a1[k];
    }
    const std::uint64_t doubled[8] = {s[7],        s[0] ^ s[7], s[1], s[2] ^ s[7],
                                      s[3] ^ s[7], s[4],        s[5], s[6]};
    for (int k = 0; k < 8; ++k) {
        q[k] = doubled[k] ^ a1[k] ^ row_below<2, a>(s[k]);
    }
}

// {0e 0b 0d 09} is {02 03 01 01} times {05 00 04 00}: first each row r
// takes 04 (a_r ^ a_(r+2)), then MixColumns.
template <int a>
inline void inv_mix_columns(std::uint64_t q[8]) {
    std::uint64_t d[8];
    for (int k = 0; k < 8; ++k) {
        d[k] = q[k] ^ row_below<2, a>(q[k]);
    }
    const std::uint64_t quadrupled[8] = {d[6],        d[6] ^ d[7], d[0] ^ d[7], d[1] ^ d[6],
                                         d[2] ^ d[6] ^ d[7], d[3] ^ d[7], d[4], d[5]};
    for (int k = 0; k < 8; ++k) {
        q[k] ^= quadrupled[k];
    }
    mix_columns<a>(q);
}

}  // namespace
