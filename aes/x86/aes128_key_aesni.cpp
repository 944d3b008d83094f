// The key schedule with AESENCLAST: the same 176 bytes as the portable
// schedule, without table lookups indexed by key bytes. AESKEYGENASSIST,
// the instruction made for it, has several times AESENCLAST's latency on
// current processors, and the schedule is one chain of ten steps that the
// first block's rounds wait on.
#include "../compiler.h"

#if KESTRELBOX_X86_64

#include "aesni_keys.h"
#include "../cbc_path.h"

namespace {

// w[4r..4r+3] from the previous round key and SubWord(RotWord(w[4r-1])) ^ Rcon:
// the last word, rotated, in all four columns, where ShiftRows moves nothing,
// so AESENCLAST leaves SubWord of it XOR Rcon in each; the running XOR of
// the previous words beside it in two shifts.
template <int rcon>
KESTRELBOX_AESNI __m128i next_round_key(__m128i key) {
    const __m128i rot_word = _mm_setr_epi8(13, 14, 15, 12, 13, 14, 15, 12, 13, 14, 15, 12, 13,
                                           14, 15, 12);
    const __m128i sub_word =
        _mm_aesenclast_si128(_mm_shuffle_epi8(key, rot_word), _mm_set1_epi32(rcon));
    key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
    key = _mm_xor_si128(key, _mm_slli_si128(key, 8));
    return _mm_xor_si128(key, sub_word);
}

}  // namespace

KESTRELBOX_AESNI void aes128_expand_key_aesni(aes128_context& context, const std::uint8_t* key) {
    __m128i k[11];
    k[0] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key));
    k[1] = next_round_key<0x01>(k[0]);
    k[2] = next_round_key<0x02>(k[1]);
    k[3] = next_round_key<0x04>(k[2]);
    k[4] = next_round_key<0x08>(k[3]);
    k[5] = next_round_key<0x10>(k[4]);
    k[6] = next_round_key<0x20>(k[5]);
    k[7] = next_round_key<0x40>(k[6]);
    k[8] = next_round_key<0x80>(k[7]);
    k[9] = next_round_key<0x1b>(k[8]);
    k[10] = next_round_key<0x36>(k[9]);
    KESTRELBOX_UNROLL
    for (int r = 0; r < 11; ++r) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(context.round_keys + 16 * r), k[r]);
    }
    clear_xmm_registers();
}

#endif
