// CBC encryption with the ARMv8 AES instructions, one block at a time: each
// block needs the previous ciphertext, so AESE+AESMC latency sets the speed.
#include "../compiler.h"

#if KESTRELBOX_ARM64 || KESTRELBOX_ARM32

#include "../cbc_path.h"
#include "../wipe.h"
#include "armv8_keys.h"

void cbc_encrypt_armv8(aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
                       std::uint64_t length) {
    if (length == 0) {
        return;
    }
    const std::uint64_t blocks = (length - 1) / 16 + 1;
    uint8x16_t keys[11];
    load_round_keys(keys, context);
    uint8x16_t state = vld1q_u8(context.chain_block);
    for (std::uint64_t b = 0; b < blocks; ++b) {
        // AESE adds its key first, so the plaintext and round key 0 go in
        // as one operand, computed off the serial chain.
        const uint8x16_t whitened = veorq_u8(vld1q_u8(input + 16 * b), keys[0]);
        state = vaesmcq_u8(vaeseq_u8(state, whitened));
        KESTRELBOX_UNROLL
        for (int r = 1; r < 9; ++r) {
            state = vaesmcq_u8(vaeseq_u8(state, keys[r]));
        }
        state = veorq_u8(vaeseq_u8(state, keys[9]), keys[10]);
        vst1q_u8(output + 16 * b, state);
    }
    vst1q_u8(context.chain_block, state);
    clear_neon_registers();
    wipe(keys, sizeof keys);
}

#endif
