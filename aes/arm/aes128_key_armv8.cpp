// The key schedule with the ARMv8 AES instruction: SubWord without a table.
// AESE over a zero round key is ShiftRows then SubBytes, and ShiftRows moves
// nothing in a block whose four columns are the same word.
#include "../compiler.h"

#if KESTRELBOX_ARM64 || KESTRELBOX_ARM32

#include <cstring>

#include "../cbc_path.h"
#include "../wipe.h"
#include "../key_words.h"
#include "armv8_keys.h"

namespace {

std::uint32_t sub_word(std::uint32_t word) {
    const uint8x16_t block = vreinterpretq_u8_u32(vdupq_n_u32(word));
    return vgetq_lane_u32(vreinterpretq_u32_u8(vaeseq_u8(block, vdupq_n_u8(0))), 0);
}

}  // namespace

void aes128_expand_key_armv8(aes128_context& context, const std::uint8_t* key) {
    std::uint32_t w[44];
    expand_key_words(w, key, sub_word);
    std::memcpy(context.round_keys, w, sizeof w);
    clear_neon_registers();
    wipe(w, sizeof w);
}

#endif
