// The engine's implementations. Each path has the shape of the portable one,
// the table-based reference every other path is tested against, which is
// never chosen at run time. The bitsliced path runs everywhere; the others
// need the CPU features their `available` reports (the vector-permute one
// SSSE3, or NEON, which every ARM64 processor has and 32-bit ones may). The
// public cbc_ functions and aes128_init use the fastest available path,
// chosen once. Each family lives in a folder of its own (portable/,
// bitsliced/, vperm/, x86/, arm/, ppc/, riscv/), every vector and hardware
// file gated inside on the target as compiler.h names it.
//
// Both directions take separate `output` and `input`, which may be the same
// buffer but must not otherwise overlap, so a caller can encrypt or decrypt
// into a copy in one pass. Lengths round up to whole blocks as in aes128.h.
//
// Every path but the portable one is constant-time: no memory address and no
// branch depends on keys or data (the vector-permute path's table lookups
// are shuffles of registers). Each wipes the round keys and blocks it
// copied, and each vector path (vector-permute and hardware) clears the
// vector registers it used, before it returns.
#pragma once

#include <cstddef>
#include <cstdint>

#include "aes128.h"
#include "compiler.h"
#include "cpu.h"

KESTRELBOX_LOCAL_BEGIN

struct cbc_path {
    const char* name;
    bool (*available)();
    void (*expand_key)(aes128_context& context, const std::uint8_t* key);
    void (*encrypt)(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                    std::uint64_t length);
    void (*decrypt)(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                    std::uint64_t length);
    // How far below its caller's frame the key schedule and encryption,
    // decryption, and decryption of at most short_decrypt_blocks, may write:
    // what the codec's stack wipe clears after them, each byte of it time.
    // At least twice the depth the stack-depth test measures with GCC (it
    // checks these on every build), and on Windows x64 room for the copies
    // of XMM6-15 in every frame (KESTRELBOX_XMM_SAVE_BYTES); at most
    // engine_stack_bytes.
    std::size_t encrypt_stack;
    std::size_t decrypt_stack;
    std::size_t short_decrypt_stack;
};

// A short decryption: the codec's last two blocks, and the whole of a
// message under two blocks, where a path's wide loop does not run.
constexpr std::uint64_t short_decrypt_blocks = 2;

// Every path this build has, slowest first; the first is the portable one,
// the second the bitsliced one.
extern const cbc_path cbc_paths[];
extern const std::size_t cbc_path_count;

// The last available entry of `paths` (laid out as cbc_paths) that agrees
// with the portable path, else the bitsliced one.
const cbc_path& cbc_choose_path(const cbc_path* paths, std::size_t count);

// cbc_choose_path over cbc_paths, found on first use and kept.
const cbc_path& cbc_fastest_path();

// The path that decrypts `length` bytes: the fastest one, but on x86 a
// narrower one for buffers too short for a wider path's width to pay.
const cbc_path& cbc_decrypt_path(std::uint64_t length);

#if KESTRELBOX_X86_64
// Which path decrypts `length` bytes fastest, of those `usable` allows: the
// widest VAES path from sixteen blocks, AES-NI below (where the VAES paths
// run AES-NI's loop too), and without AES-NI the vector-permute path, or
// else the bitsliced one.
const cbc_path& cbc_decrypt_path_x86(const x86_cpu_features& usable, std::uint64_t length);
#endif

// Whether `path` gives the portable path's key schedule, ciphertext,
// plaintext and chain_block on a fixed buffer; `path` must be available.
bool cbc_path_agrees_with_portable(const cbc_path& path);

void cbc_encrypt_portable(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                          std::uint64_t length);
void cbc_decrypt_portable(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                          std::uint64_t length);

// Bitsliced: four blocks in eight 64-bit words, the S-box as a Boolean
// circuit, the key schedule through the same circuit. Decryption fills the
// four slots; serial encryption uses one.
void aes128_expand_key_bitsliced(aes128_context& context, const std::uint8_t* key);
void cbc_encrypt_bitsliced(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                           std::uint64_t length);
void cbc_decrypt_bitsliced(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                           std::uint64_t length);

#if KESTRELBOX_X86_64 || KESTRELBOX_ARM64 || KESTRELBOX_ARM32
// Vector permute: the S-box in GF(16) arithmetic through 16-entry table
// lookups held in registers (SSSE3's PSHUFB, NEON's TBL, or two VTBLs on
// 32-bit ARM), one block at a time when encrypting, two interleaved when
// decrypting.
void aes128_expand_key_vperm(aes128_context& context, const std::uint8_t* key);
void cbc_encrypt_vperm(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                       std::uint64_t length);
void cbc_decrypt_vperm(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                       std::uint64_t length);
#endif

#if KESTRELBOX_X86_64
// AES-NI: key schedule with AESENCLAST, serial encryption, and
// decryption eight blocks at a time.
void aes128_expand_key_aesni(aes128_context& context, const std::uint8_t* key);
void cbc_encrypt_aesni(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                       std::uint64_t length);
void cbc_decrypt_aesni(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                       std::uint64_t length);
// VAES: decryption of two (AVX2) or four (AVX-512) blocks per instruction;
// encryption stays serial, so these paths encrypt with AES-NI.
void cbc_decrypt_vaes256(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                         std::uint64_t length);
void cbc_decrypt_vaes512(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                         std::uint64_t length);
#endif

#if KESTRELBOX_ARM64 || KESTRELBOX_ARM32
// ARMv8 Crypto Extensions: key schedule with AESE, serial encryption, and
// decryption eight blocks at a time.
void aes128_expand_key_armv8(aes128_context& context, const std::uint8_t* key);
void cbc_encrypt_armv8(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                       std::uint64_t length);
void cbc_decrypt_armv8(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                       std::uint64_t length);
#endif

#if KESTRELBOX_PPC64
// POWER8 vector crypto: key schedule with VSBOX, serial encryption, and
// decryption eight blocks at a time.
void aes128_expand_key_power8(aes128_context& context, const std::uint8_t* key);
void cbc_encrypt_power8(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                        std::uint64_t length);
void cbc_decrypt_power8(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                        std::uint64_t length);
#endif

#if KESTRELBOX_RISCV64
// RISC-V's vector AES instructions (Zvkned): key schedule with VAESKF1,
// serial encryption, and decryption of as many blocks as four vector
// registers hold.
void aes128_expand_key_zvkned(aes128_context& context, const std::uint8_t* key);
void cbc_encrypt_zvkned(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                        std::uint64_t length);
void cbc_decrypt_zvkned(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                        std::uint64_t length);
#endif

KESTRELBOX_LOCAL_END
