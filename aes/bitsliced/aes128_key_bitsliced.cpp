// The key schedule with SubWord through the S-box circuit, so no memory
// address depends on a key byte: the rotated word goes into column 0 of a
// block in slot 0, through SubBytes in bit planes, and back out.
#include <cstring>

#include "../cbc_path.h"
#include "../wipe.h"
#include "bitsliced.h"

void aes128_expand_key_bitsliced(aes128_context& context, const std::uint8_t* key) {
    std::uint8_t* w = context.round_keys;  // word i is bytes 4i .. 4i+3
    std::memcpy(w, key, 16);
    std::uint8_t block[16] = {};
    std::uint64_t q[8] = {};
    std::uint8_t rcon = 0x01;
    for (int i = 4; i < 44; i += 4) {
        const std::uint8_t* last = w + 4 * i - 4;
        block[0] = last[1];  // RotWord
        block[1] = last[2];
        block[2] = last[3];
        block[3] = last[0];
        load_block(q, 0, block);
        transpose(q);
        aes128_sub_bytes_bitsliced(q);
        transpose(q);
        store_block(block, q, 0);
        block[0] ^= rcon;
        rcon = static_cast<std::uint8_t>((rcon << 1) ^ ((rcon >> 7) * 0x1b));
        for (int b = 0; b < 16; ++b) {
            w[4 * i + b] = w[4 * i - 16 + b] ^ (b < 4 ? block[b] : w[4 * i + b - 4]);
        }
    }
    wipe(block, sizeof block);
    wipe(q, sizeof q);
}
