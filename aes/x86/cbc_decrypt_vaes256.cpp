// CBC decryption with VAES on 256-bit registers (AVX2): two blocks per
// instruction, eight registers in flight, sixteen blocks a round trip. The
// previous-ciphertext operand of each pair is built from registers. A tail
// of fewer than sixteen blocks goes through AES-NI with the same keys.
#include "../compiler.h"

#if KESTRELBOX_X86_64

#include "aesni_blocks.h"
#include "../cbc_path.h"
#include "../wipe.h"

namespace {

constexpr int in_flight = 8;                    // registers in flight
constexpr std::uint64_t group = 2 * in_flight;  // blocks per round trip

}  // namespace

KESTRELBOX_TARGET("vaes,avx2,aes,sse4.1") void cbc_decrypt_vaes256(
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
    if (blocks >= group) {
        __m256i keys[11];
        KESTRELBOX_UNROLL
        for (int r = 0; r < 11; ++r) {
            keys[r] = _mm256_broadcastsi128_si256(narrow[r]);
        }
        // Both halves hold the last ciphertext block; the high one is used.
        __m256i last = _mm256_broadcastsi128_si256(prev);
        for (; b + group <= blocks; b += group) {
            const auto* in = reinterpret_cast<const __m256i*>(input + 16 * b);
            auto* out = reinterpret_cast<__m256i*>(output + 16 * b);
            __m256i c[in_flight], x[in_flight];
            KESTRELBOX_UNROLL
            for (int i = 0; i < in_flight; ++i) {
                c[i] = _mm256_loadu_si256(in + i);
                x[i] = _mm256_xor_si256(c[i], keys[0]);
            }
            KESTRELBOX_UNROLL
            for (int r = 1; r < 10; ++r) {
                KESTRELBOX_UNROLL
                for (int i = 0; i < in_flight; ++i) {
                    x[i] = _mm256_aesdec_epi128(x[i], keys[r]);
                }
            }
            KESTRELBOX_UNROLL
            for (int i = 0; i < in_flight; ++i) {
                x[i] = _mm256_aesdeclast_epi128(x[i], keys[10]);
            }
            // The pair before (c[i].lo, c[i].hi) is (c[i-1].hi, c[i].lo).
            __m256i before = last;
            KESTRELBOX_UNROLL
            for (int i = 0; i < in_flight; ++i) {
                const __m256i chain = _mm256_permute2x128_si256(before, c[i], 0x21);
                _mm256_storeu_si256(out + i, _mm256_xor_si256(x[i], chain));
                before = c[i];
            }
            last = c[in_flight - 1];
        }
        prev = _mm256_extracti128_si256(last, 1);
        wipe(keys, sizeof keys);
    }
    prev = cbc_decrypt_blocks_aesni(narrow, prev, output + 16 * b, input + 16 * b, blocks - b);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(context.chain_block), prev);
    clear_ymm_registers();
    wipe(narrow, sizeof narrow);
}

#endif
