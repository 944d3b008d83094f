// The key schedule with the ARMv8 AES instruction: SubWord without a table.
// AESE over a zero round key is ShiftRows then SubBytes, and ShiftRows moves
// nothing in a block whose four columns are the same word.
#include "../compiler.h"

#if KESTRELBOX_ARM64 || KESTRELBOX_ARM32

#include <cstring>

#include "../cbc_path.h"
#include "../wipe.h"
#include "armv8_keys.h"

namespace {

std::uint32_t sub_word(std::uint32_t word) {
    const uint8x16_t block = vreinterpretq_u8_u32(vdupq_n_u32(word));
    return vgetq_lane_u32(vreinterpretq_u32_u8(vaeseq_u8(block, vdupq_n_u8(0))), 0);
}

}  // namespace

void aes128_expand_key_armv8(aes128_context& context, const std::uint8_t* key) {
    static const std::uint8_t rcon[10] = {0x01, 0x02, 0x04, 0x08, 0x10,
                                          0x20, 0x40, 0x80, 0x1b, 0x36};
    // Words as the bytes lie in memory: byte 0 of a word is its lowest.
    std::uint32_t w[44];
    std::memcpy(w, key, 16);
    for (int i = 4; i < 44; ++i) {
        std::uint32_t temp = w[i - 1];
        if (i % 4 == 0) {
            // RotWord after SubWord is the same as before it: a byte rotation.
            const std::uint32_t sub = sub_word(temp);
            temp = ((sub >> 8) | (sub << 24)) ^ rcon[i / 4 - 1];
        }
        w[i] = w[i - 4] ^ temp;
    }
    std::memcpy(context.round_keys, w, sizeof w);
    clear_neon_registers();
    wipe(w, sizeof w);
}

#endif
