// The AES-128 key schedule over 32-bit words for the hardware paths whose
// SubWord is one instruction on a vector (ARMv8's AESE, POWER8's VSBOX):
// each passes its own, and the schedule is compiled in its file, with that
// file's instructions.
#pragma once

#include <cstdint>
#include <cstring>

namespace {

// Words as the bytes lie in memory: byte 0 of a word is its lowest.
template <typename SubWord>
inline void expand_key_words(std::uint32_t w[44], const std::uint8_t* key, SubWord sub_word) {
    static const std::uint8_t rcon[10] = {0x01, 0x02, 0x04, 0x08, 0x10,
                                          0x20, 0x40, 0x80, 0x1b, 0x36};
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
}

}  // namespace
