// The engine's public entry points, each handing over to the fastest path
// the processor has. Every path gives the same bytes and the same
// chain_block, so the choice is invisible but for speed.
#include <cstring>

#include "cbc_path.h"
#include "cpu.h"

static bool always() { return true; }

const cbc_path cbc_paths[] = {
    {"portable", always, aes128_expand_key, cbc_encrypt_portable, cbc_decrypt_portable},
#if defined(__x86_64__)
    {"aesni", cpu_has_aesni, aes128_expand_key_aesni, cbc_encrypt_aesni, cbc_decrypt_aesni},
    {"vaes256", cpu_has_vaes256, aes128_expand_key_aesni, cbc_encrypt_aesni, cbc_decrypt_vaes256},
    {"vaes512", cpu_has_vaes512, aes128_expand_key_aesni, cbc_encrypt_aesni, cbc_decrypt_vaes512},
#endif
};
const std::size_t cbc_path_count = sizeof cbc_paths / sizeof cbc_paths[0];

const cbc_path& cbc_fastest_path() {
    static const cbc_path& chosen = [] () -> const cbc_path& {
        std::size_t best = 0;
        for (std::size_t i = 1; i < cbc_path_count; ++i) {
            if (cbc_paths[i].available()) {
                best = i;
            }
        }
        return cbc_paths[best];
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
