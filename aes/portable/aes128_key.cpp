// Key schedule for Nk = 4 (FIPS-197 section 5.2), byte by byte. Its S-box
// lookups are indexed by key bytes, so it is the reference alone: aes128_init
// uses the schedule of the path it chose.
#include <cstring>

#include "../aes128.h"
#include "tables.h"

void aes128_expand_key(aes128_context& context, const std::uint8_t* key) {
    std::uint8_t* w = context.round_keys;  // word i is bytes 4i .. 4i+3
    std::memcpy(w, key, 16);
    for (int i = 4; i < 44; ++i) {
        std::uint8_t temp[4] = {w[4 * i - 4], w[4 * i - 3], w[4 * i - 2], w[4 * i - 1]};
        if (i % 4 == 0) {
            // SubWord(RotWord(temp)) with the round constant in the first byte only.
            const std::uint8_t first = temp[0];
            temp[0] = aes_sbox[temp[1]] ^ aes_rcon[i / 4];
            temp[1] = aes_sbox[temp[2]];
            temp[2] = aes_sbox[temp[3]];
            temp[3] = aes_sbox[first];
        }
        for (int b = 0; b < 4; ++b) {
            w[4 * i + b] = w[4 * (i - 4) + b] ^ temp[b];
        }
    }
}
