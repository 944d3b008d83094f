// CBC encryption with AES-NI. Each block needs the previous ciphertext, so
// blocks go one at a time and the ten rounds' latency sets the speed. The
// round keys stay in registers (eleven of the sixteen), never in a copy on
// the stack that would need wiping; the residue test would find one.
#include "../compiler.h"

#if KESTRELBOX_X86_64

#include "aesni_keys.h"
#include "../cbc_path.h"

KESTRELBOX_AESNI void cbc_encrypt_aesni(aes128_context& context, std::uint8_t* output,
                                        const std::uint8_t* input, std::uint64_t length) {
    if (length == 0) {
        return;
    }
    const std::uint64_t blocks = (length - 1) / 16 + 1;
    __m128i keys[11];
    load_round_keys(keys, context);
    __m128i state = _mm_loadu_si128(reinterpret_cast<const __m128i*>(context.chain_block));
    for (std::uint64_t b = 0; b < blocks; ++b) {
        // Whitening the plaintext first keeps one XOR off the serial chain;
        // hidden from the optimiser, it cannot be folded back onto it.
        const auto* block = reinterpret_cast<const __m128i*>(input + 16 * b);
        __m128i whitened = _mm_xor_si128(_mm_loadu_si128(block), keys[0]);
        KESTRELBOX_OPAQUE_XMM(whitened);
        state = _mm_xor_si128(state, whitened);
        KESTRELBOX_UNROLL
        for (int r = 1; r < 10; ++r) {
            state = _mm_aesenc_si128(state, keys[r]);
        }
        state = _mm_aesenclast_si128(state, keys[10]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(output + 16 * b), state);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(context.chain_block), state);
    clear_xmm_registers();
}

#endif
