// The key schedule with POWER8's VSBOX: SubWord without a table, on a word
// repeated across the vector, since VSBOX substitutes every byte in place.
#include "../compiler.h"

#if KESTRELBOX_PPC64

#include <cstring>

#include "../cbc_path.h"
#include "../wipe.h"
#include "power8_keys.h"

namespace {

std::uint32_t sub_word(std::uint32_t word) {
    const block_vector words = reinterpret_cast<block_vector>(vec_splats(word));
    return vec_extract(reinterpret_cast<__vector unsigned int>(vec_sbox_be(words)), 0);
}

}  // namespace

void aes128_expand_key_power8(aes128_context& context, const std::uint8_t* key) {
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
    clear_vsx_registers();
    wipe(w, sizeof w);
}

#endif
