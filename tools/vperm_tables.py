#!/usr/bin/env python3
"""Derives the vector-permute path's 16-byte tables and writes
aes/vperm/vperm_tables.h; first it runs the path's arithmetic byte by byte
and checks it against the S-box built from its definition and FIPS-197's
example cipher, so a table that is wrong is never written.

The S-box inverts in GF(2^8) written as GF(16)[Y]/(Y^2 + Y + lam), GF(16)
being GF(2)[z]/(z^4 + z + 1): a state byte holds a1 (the Y coefficient) in
its high nibble and a0 in its low one. With inv(0) taken as "infinity", a
value whose bit 7 is set, which every later lookup turns into 0, the inverse
a1' Y + a0' is

    a1' = 1 / (lam a1 + 1 / (1/a0 + 1/(a0 + a1)))
    a0' = 1 / (lam / (1/a0 + 1/a1) + lam a1 + a0)

every step a lookup of one nibble or an XOR, and a nibble lookup is one
byte shuffle over a 16-byte table. Linear maps of a byte are two lookups,
one per nibble, XORed.

Run with any Python 3: python3.12 tools/vperm_tables.py
"""

import functools
import operator
import pathlib

AES_POLY = 0x11B


def aes_mul(a, b):
    product = 0
    while b:
        if b & 1:
            product ^= a
        a <<= 1
        if a & 0x100:
            a ^= AES_POLY
        b >>= 1
    return product


def gf16_mul(a, b):
    product = 0
    while b:
        if b & 1:
            product ^= a
        a <<= 1
        if a & 0x10:
            a ^= 0x13  # z^4 + z + 1
        b >>= 1
    return product


def gf16_inv(a):
    return next(b for b in range(1, 16) if gf16_mul(a, b) == 1)


# lam: Y^2 + Y + lam has no root in GF(16), so the tower is a field.
LAM = next(l for l in range(1, 16) if all(gf16_mul(y, y) ^ y ^ l for y in range(16)))


def tower_mul(a, b):
    a1, a0, b1, b0 = a >> 4, a & 15, b >> 4, b & 15
    high = gf16_mul(a1, b1)
    return (high ^ gf16_mul(a1, b0) ^ gf16_mul(a0, b1)) << 4 | gf16_mul(high, LAM) ^ gf16_mul(a0, b0)


def tower_pow(a, n):
    result = 1
    for _ in range(n):
        result = tower_mul(result, a)
    return result


# A root of the AES polynomial in the tower: x^i maps to root^i, a field
# isomorphism and linear over GF(2).
ROOT = next(r for r in range(2, 256)
            if tower_pow(r, 8) ^ tower_pow(r, 4) ^ tower_pow(r, 3) ^ r ^ 1 == 0)


def linear(images):
    """The GF(2)-linear byte map that takes bit i to images[i]."""
    def apply(x):
        y = 0
        for i in range(8):
            if x >> i & 1:
                y ^= images[i]
        return y
    return apply


to_tower = linear([tower_pow(ROOT, i) for i in range(8)])
from_tower_table = {to_tower(x): x for x in range(256)}


def from_tower(t):
    return from_tower_table[t]


def affine_linear(x):
    """The S-box's affine map without its constant 0x63."""
    y = 0
    for i in range(8):
        bit = 0
        for j in (0, 4, 5, 6, 7):
            bit ^= x >> (i + j) % 8 & 1
        y |= bit << i
    return y


inverse_affine_table = {affine_linear(x): x for x in range(256)}


def inverse_affine_linear(x):
    return inverse_affine_table[x]


def aes_inv(x):
    return next((y for y in range(1, 256) if aes_mul(x, y) == 1), 0)


SBOX = [affine_linear(aes_inv(x)) ^ 0x63 for x in range(256)]
INV_SBOX = [SBOX.index(x) for x in range(256)]

INFINITY = 0x80


def lookup(table, index):
    """A byte shuffle: an index with bit 7 set gives 0 (as PSHUFB and TBL do)."""
    return 0 if index & 0x80 else table[index & 15]


INV = [INFINITY] + [gf16_inv(a) for a in range(1, 16)]
LAM_TIMES = [gf16_mul(LAM, a) for a in range(16)]
LAM_OVER = [INFINITY] + [gf16_mul(LAM, gf16_inv(a)) for a in range(1, 16)]


def invert(t):
    """The tower inverse of byte t as its two lookup arguments (arg1, arg0)."""
    lo, hi = t & 15, t >> 4
    i0, i1, i_sum = lookup(INV, lo), lookup(INV, hi), lookup(INV, lo ^ hi)
    lam_hi = lookup(LAM_TIMES, hi)
    return lam_hi ^ lookup(INV, i0 ^ i_sum), lam_hi ^ lo ^ lookup(LAM_OVER, i0 ^ i1)


def output_tables(f):
    """Two tables whose lookups of (arg1, arg0), XORed, give f of the inverse
    in the AES field: each inverts its argument and maps that coefficient."""
    high = [f(from_tower(lookup(INV, a) << 4)) if a else 0 for a in range(16)]
    low = [f(from_tower(lookup(INV, a))) if a else 0 for a in range(16)]
    return high, low


def input_tables(f):
    """Two tables whose lookups of the low and the high nibble of x, XORed,
    give the linear map f(x)."""
    return [f(n) for n in range(16)], [f(n << 4) for n in range(16)]


def apply_output(tables, args):
    return lookup(tables[0], args[0]) ^ lookup(tables[1], args[1])


def apply_input(tables, x):
    return tables[0][x & 15] ^ tables[1][x >> 4]


def times(m):
    return lambda x: aes_mul(m, x)


identity = times(1)

# Encryption: the state between rounds is in the tower basis.
ENC_IN = input_tables(to_tower)
ENC_1 = output_tables(lambda y: to_tower(affine_linear(y)))
ENC_2 = output_tables(lambda y: to_tower(aes_mul(2, affine_linear(y))))
ENC_3 = output_tables(lambda y: to_tower(aes_mul(3, affine_linear(y))))
ENC_LAST = output_tables(affine_linear)
# Decryption: the state is in the tower basis after the inverse affine map,
# so the inversion applies directly; its outputs are the InvMixColumns
# multiples in that basis.
to_dec = lambda x: to_tower(inverse_affine_linear(x))
DEC_IN = input_tables(to_dec)
DEC_M = {m: output_tables(lambda y, m=m: to_dec(aes_mul(m, y))) for m in (9, 11, 13, 14)}
DEC_LAST = output_tables(identity)
# Decryption round keys: InvMixColumns of a standard key byte, in that basis.
KEY_M = {m: input_tables(lambda x, m=m: to_dec(aes_mul(m, x))) for m in (9, 11, 13, 14)}


def shuffle_pattern(f):
    return [f(i % 4, i // 4) for i in range(16)]


def byte_at(r, c):
    return r % 4 + 4 * (c % 4)


SHIFT_ROWS = [shuffle_pattern(lambda r, c, k=k: byte_at(r + k, c + r + k)) for k in range(4)]
INV_SHIFT_ROWS = [shuffle_pattern(lambda r, c, k=k: byte_at(r + k, c - r - k)) for k in range(4)]
ROTATE_WORD = [13, 14, 15, 12] * 4  # RotWord of the last word, in every word


def shuffle(x, pattern):
    return [x[p] for p in pattern]


def xor(*vectors):
    return [functools.reduce(operator.xor, column) for column in zip(*vectors)]


def check():
    for x in range(256):
        t = to_tower(x)
        assert apply_output(ENC_LAST, invert(t)) ^ 0x63 == SBOX[x], x
        assert apply_output(DEC_LAST, invert(to_dec(x) ^ to_dec(0x63))) == INV_SBOX[x], x
    assert SBOX[0x53] == 0xED and INV_SBOX[0xED] == 0x53

    # FIPS-197 C.1 through the path's rounds, with the portable schedule.
    key = bytes(range(16))
    plain = bytes.fromhex("00112233445566778899aabbccddeeff")
    expected = bytes.fromhex("69c4e0d86a7b0430d8cdb78070b4c55a")
    keys = [list(key)]
    rcon = 1
    for _ in range(10):
        last = keys[-1]
        word = [SBOX[last[b]] for b in (13, 14, 15, 12)]
        word[0] ^= rcon
        rcon = aes_mul(rcon, 2)
        new = []
        for w in range(4):
            word = [word[i] ^ last[4 * w + i] for i in range(4)]
            new += word
        keys.append(new)

    def tower_key(k, f):
        return [apply_input(f, b ^ 0x63) for b in k]

    state = [apply_input(ENC_IN, p ^ k) for p, k in zip(plain, keys[0])]
    for r in range(1, 10):
        args = [invert(b) for b in state]
        a = [apply_output(ENC_1, g) for g in args]
        b = [apply_output(ENC_2, g) for g in args]
        c = [apply_output(ENC_3, g) for g in args]
        state = xor(shuffle(b, SHIFT_ROWS[0]), shuffle(c, SHIFT_ROWS[1]),
                    shuffle(a, SHIFT_ROWS[2]), shuffle(a, SHIFT_ROWS[3]), tower_key(keys[r], ENC_IN))
    out = [apply_output(ENC_LAST, invert(b)) for b in state]
    out = xor(shuffle(out, SHIFT_ROWS[0]), [k ^ 0x63 for k in keys[10]])
    assert bytes(out) == expected, bytes(out).hex()

    def dec_key(k):
        products = {m: [apply_input(KEY_M[m], b) for b in k] for m in (9, 11, 13, 14)}
        mixed = xor(products[14], shuffle(products[11], [byte_at(i % 4 + 1, i // 4) for i in range(16)]),
                    shuffle(products[13], [byte_at(i % 4 + 2, i // 4) for i in range(16)]),
                    shuffle(products[9], [byte_at(i % 4 + 3, i // 4) for i in range(16)]))
        return [m ^ to_dec(0x63) for m in mixed]

    state = [apply_input(DEC_IN, c) ^ apply_input(DEC_IN, k ^ 0x63) for c, k in zip(expected, keys[10])]
    for r in range(9, 0, -1):
        args = [invert(b) for b in state]
        d = {m: [apply_output(DEC_M[m], g) for g in args] for m in DEC_M}
        state = xor(shuffle(d[14], INV_SHIFT_ROWS[0]), shuffle(d[11], INV_SHIFT_ROWS[1]),
                    shuffle(d[13], INV_SHIFT_ROWS[2]), shuffle(d[9], INV_SHIFT_ROWS[3]), dec_key(keys[r]))
    out = [apply_output(DEC_LAST, invert(b)) for b in state]
    out = xor(shuffle(out, INV_SHIFT_ROWS[0]), keys[0])
    assert bytes(out) == plain, bytes(out).hex()


def emit():
    tables = [
        ("vperm_inv", INV, "1/x in GF(16), 1/0 infinite"),
        ("vperm_lam_times", LAM_TIMES, f"lam x, lam = {LAM:#x}"),
        ("vperm_lam_over", LAM_OVER, "lam / x, lam / 0 infinite"),
        ("vperm_enc_in_lo", ENC_IN[0], "a byte into the tower basis: its low nibble"),
        ("vperm_enc_in_hi", ENC_IN[1], "and its high nibble"),
        ("vperm_enc_1_hi", ENC_1[0], "S-box output, tower basis, from arg1"),
        ("vperm_enc_1_lo", ENC_1[1], "and from arg0"),
        ("vperm_enc_2_hi", ENC_2[0], "twice the S-box output, tower basis"),
        ("vperm_enc_2_lo", ENC_2[1], ""),
        ("vperm_enc_3_hi", ENC_3[0], "three times the S-box output, tower basis"),
        ("vperm_enc_3_lo", ENC_3[1], ""),
        ("vperm_enc_last_hi", ENC_LAST[0], "S-box output without 0x63, standard basis"),
        ("vperm_enc_last_lo", ENC_LAST[1], ""),
        ("vperm_dec_in_lo", DEC_IN[0], "a byte into the decryption basis"),
        ("vperm_dec_in_hi", DEC_IN[1], ""),
    ]
    for m in (9, 11, 13, 14):
        tables += [(f"vperm_dec_{m}_hi", DEC_M[m][0], f"{m:#04x} times the inverse S-box output, decryption basis"),
                   (f"vperm_dec_{m}_lo", DEC_M[m][1], "")]
    tables += [("vperm_dec_last_hi", DEC_LAST[0], "inverse S-box output, standard basis"),
               ("vperm_dec_last_lo", DEC_LAST[1], "")]
    for m in (9, 11, 13, 14):
        tables += [(f"vperm_key_{m}_lo", KEY_M[m][0], f"{m:#04x} times a key byte, decryption basis"),
                   (f"vperm_key_{m}_hi", KEY_M[m][1], "")]
    for k in range(4):
        tables.append((f"vperm_shift_rows_{k}", SHIFT_ROWS[k],
                       f"ShiftRows, then row r takes row r + {k}"))
    for k in range(4):
        tables.append((f"vperm_inv_shift_rows_{k}", INV_SHIFT_ROWS[k],
                       f"InvShiftRows, then row r takes row r + {k}"))
    for k in range(1, 4):
        tables.append((f"vperm_rotate_rows_{k}", [byte_at(i % 4 + k, i // 4) for i in range(16)],
                       f"row r takes row r + {k}"))
    tables += [("vperm_rotate_word", ROTATE_WORD, "RotWord of the last word, into every word"),
               ("vperm_shift_words_1", [0x80] * 4 + list(range(12)), "word i takes word i - 1, word 0 zero"),
               ("vperm_shift_words_2", [0x80] * 8 + list(range(8)), "word i takes word i - 2, words 0 and 1 zero"),
               ("vperm_enc_constant", [to_tower(0x63)] * 16, "0x63 in the tower basis"),
               ("vperm_dec_constant", [to_dec(0x63)] * 16, "0x63 in the decryption basis")]
    lines = ["// Generated by tools/vperm_tables.py, which derives every table and checks",
             "// them against FIPS-197 before writing them: edit the generator, not this.",
             "#pragma once", "", "#include <cstdint>", ""]
    for name, values, comment in tables:
        if comment:
            lines.append(f"// {comment}")
        body = ", ".join(f"0x{v:02x}" for v in values)
        lines.append(f"alignas(16) inline constexpr std::uint8_t {name}[16] = {{{body}}};")
    path = pathlib.Path(__file__).resolve().parent.parent / "aes" / "vperm" / "vperm_tables.h"
    path.parent.mkdir(exist_ok=True)
    path.write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    check()
    emit()
