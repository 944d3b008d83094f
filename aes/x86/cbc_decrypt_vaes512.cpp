// CBC decryption with VAES on 512-bit registers (AVX-512F): four blocks per
// instruction, eight registers in flight, thirty-two blocks a round trip,
// then four registers for a tail of sixteen or more. The previous-ciphertext
// operand is built from registers. A tail of fewer than sixteen blocks goes
// through AES-NI with the same keys.
#include "../compiler.h"

#if KESTRELBOX_X86_64

#include "aesni_blocks.h"
#include "../cbc_path.h"
#include "../wipe.h"

namespace {

// The zero-masking forms with every lane selected: the unmasked intrinsics
// start from an undefined register, which GCC 12 warns about.
constexpr __mmask16 all16 = 0xffff;
constexpr __mmask8 all8 = 0xff;

// 4 * `in_flight` blocks from `input` into `output`; `last` holds the
// ciphertext block before them in its top quarter, and so does the result
// for the next group.
template <int in_flight>
KESTRELBOX_TARGET("vaes,avx512f,aes,sse4.1") inline __m512i decrypt_group(
    const __m512i keys[11], __m512i last, std::uint8_t* output, const std::uint8_t* input) {
    const auto* in = reinterpret_cast<const __m512i*>(input);
    auto* out = reinterpret_cast<__m512i*>(output);
    __m512i c[in_flight], x[in_flight];
    KESTRELBOX_UNROLL
    for (int i = 0; i < in_flight; ++i) {
        c[i] = _mm512_loadu_si512(in + i);
        x[i] = _mm512_xor_si512(c[i], keys[0]);
    }
    KESTRELBOX_UNROLL
    for (int r = 1; r < 10; ++r) {
        KESTRELBOX_UNROLL
        for (int i = 0; i < in_flight; ++i) {
            x[i] = _mm512_aesdec_epi128(x[i], keys[r]);
        }
    }
    KESTRELBOX_UNROLL
    for (int i = 0; i < in_flight; ++i) {
        x[i] = _mm512_aesdeclast_epi128(x[i], keys[10]);
    }
    // The blocks before c[i]'s four are c[i-1]'s top one and c[i]'s first
    // three: shift the pair right by six 64-bit words.
    __m512i before = last;
    KESTRELBOX_UNROLL
    for (int i = 0; i < in_flight; ++i) {
        const __m512i chain = _mm512_maskz_alignr_epi64(all8, c[i], before, 6);
        _mm512_storeu_si512(out + i, _mm512_xor_si512(x[i], chain));
        before = c[i];
    }
    return c[in_flight - 1];
}

}  // namespace

KESTRELBOX_TARGET("vaes,avx512f,aes,sse4.1") void cbc_decrypt_vaes512(
    aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
    std::uint64_t length) {
    if (length == 0) {
        return;
    }
    const std::uint64_t blocks = (length - 1) / 16 + 1;
    __m128i narrow[11];
    load_decryption_keys(narrow, context);
    __m128i prev = _mm_loadu_si128(reinterpret_cast<const __m128i*>(context.chain_block));
    std::uint64_t b = 0;
    if (blocks >= 16) {
        __m512i keys[11];
        KESTRELBOX_UNROLL
        for (int r = 0; r < 11; ++r) {
            keys[r] = _mm512_maskz_broadcast_i32x4(all16, narrow[r]);
        }
        // Every quarter holds the last ciphertext block; the top one is used.
        __m512i last = _mm512_maskz_broadcast_i32x4(all16, prev);
        for (; b + 32 <= blocks; b += 32) {
            last = decrypt_group<8>(keys, last, output + 16 * b, input + 16 * b);
        }
        if (b + 16 <= blocks) {
            last = decrypt_group<4>(keys, last, output + 16 * b, input + 16 * b);
            b += 16;
        }
        prev = _mm512_maskz_extracti32x4_epi32(all8, last, 3);
        wipe(keys, sizeof keys);
    }
    prev = cbc_decrypt_blocks_aesni(narrow, prev, output + 16 * b, input + 16 * b, blocks - b);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(context.chain_block), prev);
    clear_zmm_registers();
    wipe(narrow, sizeof narrow);
}

#endif
