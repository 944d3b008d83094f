// CBC decryption with the ARMv8 AES instructions, eight blocks in flight to
// cover AESD+AESIMC latency; the chaining XOR uses ciphertext kept in
// registers. AESD adds its key before InvSubBytes and AESIMC follows it, so
// the middle round keys go through InvMixColumns first (the equivalent
// inverse cipher, FIPS-197 section 5.3.5).
#include "../compiler.h"

#if KESTRELBOX_ARM64 || KESTRELBOX_ARM32

#include "../cbc_path.h"
#include "../wipe.h"
#include "armv8_keys.h"

namespace {

constexpr int in_flight = 8;

// keys[10] first, the middle nine through InvMixColumns, keys[0] last: the
// order the rounds use them in.
void load_decryption_keys(uint8x16_t keys[11], const aes128_context& context) {
    load_round_keys(keys, context);
    KESTRELBOX_UNROLL
    for (int r = 1; r < 10; ++r) {
        keys[r] = vaesimcq_u8(keys[r]);
    }
}

uint8x16_t decrypt_block(uint8x16_t block, const uint8x16_t keys[11]) {
    KESTRELBOX_UNROLL
    for (int r = 10; r > 1; --r) {
        block = vaesimcq_u8(vaesdq_u8(block, keys[r]));
    }
    return veorq_u8(vaesdq_u8(block, keys[1]), keys[0]);
}

}  // namespace

void cbc_decrypt_armv8(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                       std::uint64_t length) {
    if (length == 0) {
        return;
    }
    const std::uint64_t blocks = (length - 1) / 16 + 1;
    uint8x16_t keys[11];
    load_decryption_keys(keys, context);
    uint8x16_t prev = vld1q_u8(context.chain_block);

    std::uint64_t b = 0;
    for (; b + in_flight <= blocks; b += in_flight) {
        uint8x16_t c[in_flight], x[in_flight];
        KESTRELBOX_UNROLL
        for (int i = 0; i < in_flight; ++i) {
            c[i] = vld1q_u8(input + 16 * (b + i));
            x[i] = c[i];
        }
        KESTRELBOX_UNROLL
        for (int r = 10; r > 1; --r) {
            KESTRELBOX_UNROLL
            for (int i = 0; i < in_flight; ++i) {
                x[i] = vaesimcq_u8(vaesdq_u8(x[i], keys[r]));
            }
        }
        KESTRELBOX_UNROLL
        for (int i = 0; i < in_flight; ++i) {
            x[i] = veorq_u8(vaesdq_u8(x[i], keys[1]), keys[0]);
        }
        vst1q_u8(output + 16 * b, veorq_u8(x[0], prev));
        KESTRELBOX_UNROLL
        for (int i = 1; i < in_flight; ++i) {
            vst1q_u8(output + 16 * (b + i), veorq_u8(x[i], c[i - 1]));
        }
        prev = c[in_flight - 1];
    }
    for (; b < blocks; ++b) {
        const uint8x16_t c = vld1q_u8(input + 16 * b);
        vst1q_u8(output + 16 * b, veorq_u8(decrypt_block(c, keys), prev));
        prev = c;
    }
    vst1q_u8(context.chain_block, prev);
    clear_neon_registers();
    wipe(keys, sizeof keys);
}

#endif
