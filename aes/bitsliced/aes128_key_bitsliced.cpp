// The key schedule with SubWord through the S-box circuit, so no memory
// address depends on a key byte. SubWord needs only four bytes, so they
// need not be transposed into the block layout: plane k holds bit k of byte
// i at bit 8i, and the circuit's other bits are ignored.
#include <cstring>

#include "../cbc_path.h"
#include "../wipe.h"
#include "bitsliced.h"

namespace {

std::uint32_t sub_word(std::uint64_t q[8], std::uint32_t x) {
    for (int k = 0; k < 8; ++k) {
        q[k] = x >> k & 0x01010101u;
    }
    aes128_sub_bytes_bitsliced(q);
    std::uint32_t y = 0;
    for (int k = 0; k < 8; ++k) {
        y |= static_cast<std::uint32_t>(q[k] & 0x01010101u) << k;
    }
    return y;
}

}  // namespace

void aes128_expand_key_bitsliced(aes128_context& context, const std::uint8_t* key) {
    std::uint8_t* w = context.round_keys;  // word i is bytes 4i .. 4i+3
    std::memcpy(w, key, 16);
    std::uint64_t q[8];
    std::uint32_t rcon = 0x01;
    for (int i = 4; i < 44; i += 4) {
        const std::uint32_t last = load_le32(w + 4 * i - 4);
        // RotWord, SubWord, then Rcon into the first byte.
        std::uint32_t t = sub_word(q, last >> 8 | last << 24) ^ rcon;
        rcon = (rcon << 1 ^ (rcon >> 7) * 0x1b) & 0xff;
        for (int j = 0; j < 4; ++j) {
            t ^= load_le32(w + 4 * (i + j) - 16);
            store_le32(w + 4 * (i + j), t);
        }
    }
    wipe(q, sizeof q);
}
