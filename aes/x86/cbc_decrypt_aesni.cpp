// CBC decryption with AES-NI. Unlike encryption, every block's inverse
// cipher is independent, so eight run interleaved to cover AESDEC's latency;
// the chaining XOR uses ciphertext kept in registers.
#include "../compiler.h"

#if KESTRELBOX_X86_64

#include "aesni_blocks.h"
#include "../cbc_path.h"
#include "../wipe.h"

namespace {

constexpr int in_flight = 8;

KESTRELBOX_AESNI __m128i decrypt_block(__m128i block, const __m128i keys[11]) {
    block = _mm_xor_si128(block, keys[0]);
    KESTRELBOX_UNROLL
    for (int r = 1; r < 10; ++r) {
        block = _mm_aesdec_si128(block, keys[r]);
    }
    return _mm_aesdeclast_si128(block, keys[10]);
}

}  // namespace

KESTRELBOX_NOINLINE KESTRELBOX_AESNI __m128i cbc_decrypt_blocks_aesni(
    const __m128i keys[11], __m128i prev, std::uint8_t* output, const std::uint8_t* input,
    std::uint64_t blocks) {
    const auto* in = reinterpret_cast<const __m128i*>(input);
    auto* out = reinterpret_cast<__m128i*>(output);
    std::uint64_t b = 0;
    for (; b + in_flight <= blocks; b += in_flight) {
        __m128i c[in_flight], x[in_flight];
        KESTRELBOX_UNROLL
        for (int i = 0; i < in_flight; ++i) {
            c[i] = _mm_loadu_si128(in + b + i);
            x[i] = _mm_xor_si128(c[i], keys[0]);
        }
        KESTRELBOX_UNROLL
        for (int r = 1; r < 10; ++r) {
            KESTRELBOX_UNROLL
            for (int i = 0; i < in_flight; ++i) {
                x[i] = _mm_aesdec_si128(x[i], keys[r]);
            }
        }
        KESTRELBOX_UNROLL
        for (int i = 0; i < in_flight; ++i) {
            x[i] = _mm_aesdeclast_si128(x[i], keys[10]);
        }
        _mm_storeu_si128(out + b, _mm_xor_si128(x[0], prev));
        KESTRELBOX_UNROLL
        for (int i = 1; i < in_flight; ++i) {
            _mm_storeu_si128(out + b + i, _mm_xor_si128(x[i], c[i - 1]));
        }
        prev = c[in_flight - 1];
    }
    for (; b < blocks; ++b) {
        const __m128i c = _mm_loadu_si128(in + b);
        _mm_storeu_si128(out + b, _mm_xor_si128(decrypt_block(c, keys), prev));
        prev = c;
    }
    return prev;
}

KESTRELBOX_AESNI void cbc_decrypt_aesni(aes128_context& context, std::uint8_t* output,
                                        const std::uint8_t* input, std::uint64_t length) {
    if (length == 0) {
        return;
    }
    const std::uint64_t blocks = (length - 1) / 16 + 1;
    __m128i prev = _mm_loadu_si128(reinterpret_cast<const __m128i*>(context.chain_block));
    if (blocks < in_flight) {
        // Too few blocks for the interleaved loop: the keys stay in
        // registers, with no copy on the stack to wipe.
        __m128i keys[11];
        load_decryption_keys(keys, context);
        const auto* in = reinterpret_cast<const __m128i*>(input);
        auto* out = reinterpret_cast<__m128i*>(output);
        for (std::uint64_t b = 0; b < blocks; ++b) {
            const __m128i c = _mm_loadu_si128(in + b);
            _mm_storeu_si128(out + b, _mm_xor_si128(decrypt_block(c, keys), prev));
            prev = c;
        }
    } else {
        __m128i keys[11];
        load_decryption_keys(keys, context);
        prev = cbc_decrypt_blocks_aesni(keys, prev, output, input, blocks);
        wipe(keys, sizeof keys);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(context.chain_block), prev);
    clear_xmm_registers();
}

#endif
