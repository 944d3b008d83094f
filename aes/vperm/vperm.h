// The vector-permute path's arithmetic (after M. Hamburg, "Accelerating AES
// with vector permute instructions", CHES 2009), written once over a few
// primitives that SSSE3 and NEON each spell in their own instructions: a
// 16-entry table lookup of every byte of a register at once (PSHUFB, TBL,
// two VTBLs on 32-bit ARM),
// XOR, and a byte's two nibbles. The tables are registers loaded from
// constants, indexed by the state: no memory address and no branch depends
// on a key or data byte.
//
// SubBytes inverts in GF(2^8) written as GF(16)[Y]/(Y^2 + Y + lam): a state
// byte is a1 Y + a0, a1 its high nibble and a0 its low one, and every step of
// the inversion is a lookup of one nibble or an XOR; 1/0 is "infinite", a
// byte with bit 7 set, which every lookup turns into 0.
// tools/vperm_tables.py derives the tables and the formulas' zero cases.
// Between rounds the state stays in that basis (after the inverse affine map
// too, when decrypting), so the S-box's output lookups go straight to the
// multiples MixColumns needs in it, and the round keys are put into the
// basis, with the S-box's constant 0x63, once per call.
#pragma once

#include <cstdint>

#include "../aes128.h"
#include "../compiler.h"
#include "vperm_tables.h"

#if KESTRELBOX_X86_64
#include <tmmintrin.h>

#define KESTRELBOX_VPERM KESTRELBOX_TARGET("ssse3")
#elif KESTRELBOX_ARM64 || KESTRELBOX_ARM32
// 32-bit ARM builds this folder for NEON (CMakeLists.txt adds it).
#if KESTRELBOX_ARM32 && !defined(__ARM_NEON)
#error "aes/vperm/ must be built with -mfpu=neon on 32-bit ARM (CMakeLists.txt adds it)"
#endif
#include <arm_neon.h>

#define KESTRELBOX_VPERM
#endif

#if KESTRELBOX_X86_64 || KESTRELBOX_ARM64 || KESTRELBOX_ARM32

namespace {

#if KESTRELBOX_X86_64
using vec = __m128i;

KESTRELBOX_VPERM inline vec load(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
KESTRELBOX_VPERM inline void store(std::uint8_t* p, vec x) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), x);
}
KESTRELBOX_VPERM inline vec vxor(vec a, vec b) { return _mm_xor_si128(a, b); }
// Byte i of the result is table[index[i]], or 0 where bit 7 of index[i] is set.
KESTRELBOX_VPERM inline vec lookup(vec table, vec index) { return _mm_shuffle_epi8(table, index); }
KESTRELBOX_VPERM inline vec low_nibbles(vec x) { return _mm_and_si128(x, _mm_set1_epi8(0x0f)); }
KESTRELBOX_VPERM inline vec high_nibbles(vec x) {
    return _mm_and_si128(_mm_srli_epi16(x, 4), _mm_set1_epi8(0x0f));
}
KESTRELBOX_VPERM inline vec splat_word(std::uint32_t w) {
    return _mm_set1_epi32(static_cast<int>(w));
}
inline void clear_vector_registers() { clear_xmm_registers(); }
KESTRELBOX_VPERM inline vec settled(vec x) {
    KESTRELBOX_OPAQUE_XMM(x);
    return x;
}
#else
using vec = uint8x16_t;

inline vec load(const std::uint8_t* p) { return vld1q_u8(p); }
inline void store(std::uint8_t* p, vec x) { vst1q_u8(p, x); }
inline vec vxor(vec a, vec b) { return veorq_u8(a, b); }
// Byte i of the result is table[index[i]], or 0 where index[i] is 16 or more.
#if KESTRELBOX_ARM64
inline vec lookup(vec table, vec index) { return vqtbl1q_u8(table, index); }
#else
// AArch32's VTBL reads at most a pair of D registers with an 8-byte index:
// each half of the index looks up both halves of the table, and gives 0 past
// them as TBL does.
inline vec lookup(vec table, vec index) {
    const uint8x8x2_t halves = {{vget_low_u8(table), vget_high_u8(table)}};
    return vcombine_u8(vtbl2_u8(halves, vget_low_u8(index)), vtbl2_u8(halves, vget_high_u8(index)));
}
#endif
inline vec low_nibbles(vec x) { return vandq_u8(x, vdupq_n_u8(0x0f)); }
inline vec high_nibbles(vec x) { return vshrq_n_u8(x, 4); }
inline vec splat_word(std::uint32_t w) { return vreinterpretq_u8_u32(vdupq_n_u32(w)); }
inline void clear_vector_registers() { clear_neon_registers(); }
inline vec settled(vec x) {
    KESTRELBOX_OPAQUE_NEON(x);
    return x;
}
#endif

// settled(x) is x, which the compiler cannot merge with the XORs around it:
// a sum of several terms is then added in the tree that is written, not
// chained one term after another as GCC rewrites it (for the processors it
// tunes for by default), which would lengthen the serial chain of CBC
// encryption by a step in every round.

// A byte shuffle is a lookup with the state as the table.
KESTRELBOX_VPERM inline vec shuffle(vec x, const std::uint8_t* pattern) {
    return lookup(x, load(pattern));
}

// A GF(2)-linear map of every byte: one table for each nibble.
struct input_map {
    vec lo, hi;
};

KESTRELBOX_VPERM inline input_map load_input_map(const std::uint8_t* lo, const std::uint8_t* hi) {
    return {load(lo), load(hi)};
}

KESTRELBOX_VPERM inline vec apply(const input_map& map, vec x) {
    return vxor(lookup(map.lo, low_nibbles(x)), lookup(map.hi, high_nibbles(x)));
}

// The inverse's two coefficients before their last inversion, which the
// output tables do: arg1 for the Y coefficient, arg0 for the other.
struct inverse_args {
    vec arg1, arg0;
};

struct inversion_tables {
    vec inv, lam_times, lam_over;
};

KESTRELBOX_VPERM inline inversion_tables load_inversion_tables() {
    return {load(vperm_inv), load(vperm_lam_times), load(vperm_lam_over)};
}

// a1' = 1 / (lam a1 + 1 / (1/a0 + 1/(a0 + a1)))
// a0' = 1 / (lam / (1/a0 + 1/a1) + lam a1 + a0)
KESTRELBOX_VPERM inline inverse_args invert(const inversion_tables& t, vec x) {
    const vec a0 = low_nibbles(x), a1 = high_nibbles(x);
    const vec inv_a0 = lookup(t.inv, a0);
    const vec inv_a1 = lookup(t.inv, a1);
    const vec inv_sum = lookup(t.inv, vxor(a0, a1));
    const vec lam_a1 = lookup(t.lam_times, a1);
    return {vxor(lam_a1, lookup(t.inv, vxor(inv_a0, inv_sum))),
            vxor(settled(vxor(lam_a1, a0)), lookup(t.lam_over, vxor(inv_a0, inv_a1)))};
}

// A linear map of the S-box's inverse: a table for each argument.
struct output_map {
    vec from_arg1, from_arg0;
};

KESTRELBOX_VPERM inline output_map load_output_map(const std::uint8_t* hi, const std::uint8_t* lo) {
    return {load(hi), load(lo)};
}

KESTRELBOX_VPERM inline vec apply(const output_map& map, const inverse_args& x) {
    return vxor(lookup(map.from_arg1, x.arg1), lookup(map.from_arg0, x.arg0));
}

// The same with `extra` added, where arg0, which is ready a step before
// arg1, leaves time for it.
KESTRELBOX_VPERM inline vec apply(const output_map& map, const inverse_args& x, vec extra) {
    return vxor(lookup(map.from_arg1, x.arg1), settled(vxor(lookup(map.from_arg0, x.arg0), extra)));
}

}  // namespace

#endif
