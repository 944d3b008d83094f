// CBC decryption with VAES on 512-bit registers (AVX-512F): four blocks per
// instruction, eight registers in flight, thirty-two blocks a round trip. The
// previous-ciphertext operand is built from registers. A tail of fewer than
// thirty-two blocks goes to the AES-NI path.
#include "../compiler.h"

#if KESTRELBOX_X86_64

#include "aesni_keys.h"
#include "../cbc_path.h"
#include "../wipe.h"

namespace {

constexpr int in_flight = 8;                    // registers in flight
constexpr std::uint64_t group = 4 * in_flight;  // blocks per round trip

// The zero-masking forms with every lane selected: the unmasked intrinsics
// start from an undefined register, which GCC 12 warns about.
constexpr __mmask16 all16 = 0xffff;
constexpr __mmask8 all8 = 0xff;

}  // namespace

KESTRELBOX_TARGET("vaes,avx512f,aes,sse4.1") void cbc_decrypt_vaes512(
    aes128_context& context, std::uint8_t* output, const std::uint8_t* input,
    std::uint64_t length) {
    if (length == 0) {
        return;
    }
    const std::uint64_t blocks = (length - 1) / 16 + 1;
    std::uint64_t b = 0;
    if (blocks >= group) {
        __m128i narrow[11];
        __m512i keys[11];
        load_decryption_keys(narrow, context);
        KESTRELBOX_UNROLL
        for (int r = 0; r < 11; ++r) {
            keys[r] = _mm512_maskz_broadcast_i32x4(all16, narrow[r]);
        }
        // Every quarter holds the last ciphertext block; the top one is used.
        __m512i last = _mm512_maskz_broadcast_i32x4(
            all16, _mm_loadu_si128(reinterpret_cast<const __m128i*>(context.chain_block)));
        for (; b + group <= blocks; b += group) {
            const auto* in = reinterpret_cast<const __m512i*>(input + 16 * b);
            auto* out = reinterpret_cast<__m512i*>(output + 16 * b);
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
            // The blocks before c[i]'s four are c[i-1]'s top one and c[i]'s
            // first three: shift the pair right by six 64-bit words.
            __m512i before = last;
            KESTRELBOX_UNROLL
            for (int i = 0; i < in_flight; ++i) {
                const __m512i chain = _mm512_maskz_alignr_epi64(all8, c[i], before, 6);
                _mm512_storeu_si512(out + i, _mm512_xor_si512(x[i], chain));
                before = c[i];
            }
            last = c[in_flight - 1];
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(context.chain_block),
                         _mm512_maskz_extracti32x4_epi32(all8, last, 3));
        clear_zmm_registers();
        wipe(narrow, sizeof narrow);
        wipe(keys, sizeof keys);
    }
    if (b < blocks) {
        cbc_decrypt_aesni(context, output + 16 * b, input + 16 * b, length - 16 * b);
    }
}

#endif
