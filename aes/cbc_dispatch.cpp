// The engine's public entry points, each handing over to the fastest path
// the processor has. Every path gives the same bytes and the same
// chain_block, so the choice is invisible but for speed.
#include <cstring>

#include "cbc_path.h"
#include "cpu.h"

static bool always() { return true; }

const cbc_path cbc_paths[] = {
    {"portable", always, aes128_expand_key, cbc_encrypt_portable, cbc_decrypt_portable},
    {"bitsliced", always, aes128_expand_key_bitsliced, cbc_encrypt_bitsliced,
     cbc_decrypt_bitsliced},
#if KESTRELBOX_X86_64
    {"vperm", cpu_has_ssse3, aes128_expand_key_vperm, cbc_encrypt_vperm, cbc_decrypt_vperm},
    {"aesni", cpu_has_aesni, aes128_expand_key_aesni, cbc_encrypt_aesni, cbc_decrypt_aesni},
    {"vaes256", cpu_has_vaes256, aes128_expand_key_aesni, cbc_encrypt_aesni, cbc_decrypt_vaes256},
    {"vaes512", cpu_has_vaes512, aes128_expand_key_aesni, cbc_encrypt_aesni, cbc_decrypt_vaes512},
#endif
#if KESTRELBOX_ARM64
    {"vperm", always, aes128_expand_key_vperm, cbc_encrypt_vperm, cbc_decrypt_vperm},
#elif KESTRELBOX_ARM32
    {"vperm", cpu_has_neon, aes128_expand_key_vperm, cbc_encrypt_vperm, cbc_decrypt_vperm},
#endif
#if KESTRELBOX_ARM64 || KESTRELBOX_ARM32
    {"armv8", cpu_has_armv8_aes, aes128_expand_key_armv8, cbc_encrypt_armv8, cbc_decrypt_armv8},
#endif
};
const std::size_t cbc_path_count = sizeof cbc_paths / sizeof cbc_paths[0];

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

const cbc_path& cbc_fastest_path() {
    // The fastest hardware path the processor has, unless it gives other
    // bytes than the portable path: a path that was never run on such a
    // processor must not give a wrong answer silently. Below them the
    // vector-permute path (SSSE3 or NEON), faster than the bitsliced one in
    // both directions; below that the bitsliced path, plain C++ that the
    // test suite runs on every target, the only one on big-endian and other
    // processors. The portable path's lookups leak the key, so it is never
    // chosen.
    static const cbc_path& chosen = []() -> const cbc_path& {
        for (std::size_t i = cbc_path_count - 1; i > 1; --i) {
            if (cbc_paths[i].available() && cbc_path_agrees_with_portable(cbc_paths[i])) {
                return cbc_paths[i];
            }
        }
        return cbc_paths[1];
    }();
    return chosen;
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
    cbc_fastest_path().decrypt(context, buffer, buffer, length);
}

void cbc_decrypt(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                 std::uint64_t length) {
    cbc_fastest_path().decrypt(context, output, input, length);
}
