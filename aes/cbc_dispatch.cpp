// The engine's public entry points, each handing over to the fastest path
// the processor has. Every path gives the same bytes and the same
// chain_block, so the choice is invisible but for speed.
#include <algorithm>
#include <cstring>

#include "cbc_path.h"
#include "cpu.h"

static bool always() { return true; }

const cbc_path cbc_paths[] = {
    {"portable", always, aes128_expand_key, cbc_encrypt_portable, cbc_decrypt_portable, 2048,
     2048, 2048},
    {"bitsliced", always, aes128_expand_key_bitsliced, cbc_encrypt_bitsliced,
     cbc_decrypt_bitsliced, 2048, 2048, 2048},
#if KESTRELBOX_X86_64
    {"vperm", cpu_has_ssse3, aes128_expand_key_vperm, cbc_encrypt_vperm, cbc_decrypt_vperm, 1024,
     1536, 1536},
    // The key schedule, encryption and a short decryption keep everything in
    // registers: their depth is the return address (16 bytes measured).
    {"aesni", cpu_has_aesni, aes128_expand_key_aesni, cbc_encrypt_aesni, cbc_decrypt_aesni,
     64 + KESTRELBOX_XMM_SAVE_BYTES, 512 + KESTRELBOX_XMM_SAVE_BYTES,
     64 + KESTRELBOX_XMM_SAVE_BYTES},
    {"vaes256", cpu_has_vaes256, aes128_expand_key_aesni, cbc_encrypt_aesni, cbc_decrypt_vaes256,
     64 + KESTRELBOX_XMM_SAVE_BYTES, 2048, 2048},
    {"vaes512", cpu_has_vaes512, aes128_expand_key_aesni, cbc_encrypt_aesni, cbc_decrypt_vaes512,
     64 + KESTRELBOX_XMM_SAVE_BYTES, 2048, 2048},
#endif
#if KESTRELBOX_ARM64
    {"vperm", always, aes128_expand_key_vperm, cbc_encrypt_vperm, cbc_decrypt_vperm, 1024, 1024,
     1024},
#elif KESTRELBOX_ARM32
    // 16 Q registers: the tables and round keys live on the stack (1,392 and
    // 1,856 bytes measured under qemu-arm).
    {"vperm", cpu_has_neon, aes128_expand_key_vperm, cbc_encrypt_vperm, cbc_decrypt_vperm, 2048,
     2048, 2048},
#endif
#if KESTRELBOX_ARM64 || KESTRELBOX_ARM32
    {"armv8", cpu_has_armv8_aes, aes128_expand_key_armv8, cbc_encrypt_armv8, cbc_decrypt_armv8,
     640, 640, 640},
#endif
#if KESTRELBOX_PPC64
    {"power8", cpu_has_power8_crypto, aes128_expand_key_power8, cbc_encrypt_power8,
     cbc_decrypt_power8, 1024, 1024, 1024},
#endif
#if KESTRELBOX_RISCV64
    {"zvkned", cpu_has_zvkned, aes128_expand_key_zvkned, cbc_encrypt_zvkned, cbc_decrypt_zvkned,
     256, 256, 256},
#endif
};
const std::size_t cbc_path_count = sizeof cbc_paths / sizeof cbc_paths[0];

#if KESTRELBOX_X86_64
// The x86 entries of cbc_paths, by their place in it.
static const cbc_path& bitsliced_path = cbc_paths[1];
static const cbc_path& vperm_path = cbc_paths[2];
static const cbc_path& aesni_path = cbc_paths[3];
static const cbc_path& vaes256_path = cbc_paths[4];
static const cbc_path& vaes512_path = cbc_paths[5];

// Below sixteen blocks both VAES paths run AES-NI's loop, and AES-NI alone
// saves their wider registers' clearing; from sixteen the widest leads
// (VAES-512 decrypts sixteen in four registers, VAES-256 in eight).
constexpr std::uint64_t vaes_from = 16;

const cbc_path& cbc_decrypt_path_x86(const x86_cpu_features& usable, std::uint64_t length) {
    const std::uint64_t blocks = (length + 15) / 16;
    if (usable.vaes512 && blocks >= vaes_from) {
        return vaes512_path;
    }
    if (usable.vaes256 && blocks >= vaes_from) {
        return vaes256_path;
    }
    if (usable.aesni) {
        return aesni_path;
    }
    return usable.ssse3 ? vperm_path : bitsliced_path;
}
#endif

// A known-answer check against the portable path over enough blocks to
// cover every path's wide loop and its tail, in place and out of place.
bool cbc_path_agrees_with_portable(const cbc_path& path) {
    constexpr std::size_t size = 16 * 75;
    std::uint8_t key[16], plain[size], expected[size], actual[size];
    for (std::size_t i = 0; i < sizeof key; ++i) {
        key[i] = static_cast<std::uint8_t>(0xa5 ^ (i * 29));
    }
    for (std::size_t i = 0; i < size; ++i) {
        plain[i] = static_cast<std::uint8_t>(i * 131 + 7);
    }
    aes128_context reference, context;
    aes128_expand_key(reference, key);
    path.expand_key(context, key);
    std::memcpy(reference.chain_block, plain, 16);
    std::memcpy(context.chain_block, plain, 16);
    bool same = std::memcmp(reference.round_keys, context.round_keys, 176) == 0;

    cbc_encrypt_portable(reference, expected, plain, size);
    path.encrypt(context, actual, plain, size);
    same = same && std::memcmp(expected, actual, size) == 0 &&
           std::memcmp(reference.chain_block, context.chain_block, 16) == 0;

    cbc_decrypt_portable(reference, expected, expected, size);
    path.decrypt(context, actual, actual, size);
    return same && std::memcmp(expected, actual, size) == 0 &&
           std::memcmp(reference.chain_block, context.chain_block, 16) == 0;
}

// The fastest hardware path the processor has, unless it gives other bytes
// than the portable path: a path that was never run on such a processor must
// not give a wrong answer silently. Below them the vector-permute path (SSSE3
// or NEON), faster than the bitsliced one in both directions; below that the
// bitsliced path, plain C++ that the test suite runs on every target, the
// only one on big-endian and other processors. The portable path's lookups
// leak the key, so it is never chosen.
const cbc_path& cbc_choose_path(const cbc_path* paths, std::size_t count) {
    for (std::size_t i = count - 1; i > 1; --i) {
        if (paths[i].available() && cbc_path_agrees_with_portable(paths[i])) {
            return paths[i];
        }
    }
    return paths[1];
}

const cbc_path& cbc_fastest_path() {
    static const cbc_path& chosen = cbc_choose_path(cbc_paths, cbc_path_count);
    return chosen;
}

#if KESTRELBOX_X86_64
// Of the paths the processor has that agree with the portable one, as
// cbc_fastest_path asks, the one that decrypts under vaes_from blocks and
// the one from there. Not inlined, so that the lookup below stays a load
// without this work's register saves.
struct narrow_and_wide {
    const cbc_path* paths[2];
};

static KESTRELBOX_NOINLINE narrow_and_wide choose_decrypt_paths() {
    const auto runs = [](const cbc_path& path) {
        return path.available() && cbc_path_agrees_with_portable(path);
    };
    const x86_cpu_features usable{runs(vperm_path), runs(aesni_path), runs(vaes256_path),
                                  runs(vaes512_path)};
    return narrow_and_wide{{&cbc_decrypt_path_x86(usable, 16 * (vaes_from - 1)),
                            &cbc_decrypt_path_x86(usable, 16 * vaes_from)}};
}
#endif

const cbc_path& cbc_decrypt_path(std::uint64_t length) {
#if KESTRELBOX_X86_64
    static const narrow_and_wide chosen = choose_decrypt_paths();
    return *chosen.paths[(length + 15) / 16 >= vaes_from];
#else
    (void)length;
    return cbc_fastest_path();
#endif
}

std::size_t cbc_stack_bytes(std::uint64_t decrypted) {
    std::size_t bytes = cbc_fastest_path().encrypt_stack;
    if (decrypted > 16 * short_decrypt_blocks) {
        // The choice by size is monotonic: the paths for the sizes up to
        // `decrypted` are those for one block and for `decrypted`.
        bytes = std::max({bytes, cbc_decrypt_path(1).decrypt_stack,
                          cbc_decrypt_path(decrypted).decrypt_stack});
    } else if (decrypted > 0) {
        bytes = std::max(bytes, cbc_decrypt_path(decrypted).short_decrypt_stack);
    }
    return bytes;
}

void aes128_init(aes128_context& context, const std::uint8_t* key, const std::uint8_t* iv) {
    cbc_fastest_path().expand_key(context, key);
    std::memcpy(context.chain_block, iv, 16);
}

void cbc_encrypt_in_place(aes128_context& context, std::uint8_t* buffer, std::uint64_t length) {
    cbc_fastest_path().encrypt(context, buffer, buffer, length);
}

void cbc_encrypt(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                 std::uint64_t length) {
    cbc_fastest_path().encrypt(context, output, input, length);
}

void cbc_decrypt_in_place(aes128_context& context, std::uint8_t* buffer, std::uint64_t length) {
    cbc_decrypt_path(length).decrypt(context, buffer, buffer, length);
}

void cbc_decrypt(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                 std::uint64_t length) {
    cbc_decrypt_path(length).decrypt(context, output, input, length);
}
